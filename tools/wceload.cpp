// The emulated phone's installer: a stand-in for the phone's wceload. It
// reads the provisioning document _setup.xml of a CAB and does what its
// Install and FileOperation parts say, inside the folder that plays the
// phone's file system.
//
//   wceload <file.cab>
//
// The phone's root folder "\" is the folder named by PHONE_ROOT (a Windows
// path), or C:\ of the Wine prefix when it is not set. The phone's folder
// macros are its folders under that root ("Windows CE Strings (PPC Only)"):
//   %CE1%  \Program Files              %CE2%  \Windows
//   %CE4%  \Windows\StartUp            %CE5%  \My Documents
//   %CE8%  \Program Files\Games        %CE11% \Windows\Start Menu\Programs
//   %CE14% \Windows\Start Menu\Programs\Games
//   %CE15% \Windows\Fonts              %CE17% \Windows\Start Menu
// The other macros are not supported on the phone; a document naming one is
// refused.
//
// What it understands, from Microsoft's pages:
// - "Setup XML in .cab and .cpf Files": the CAB carries _setup.xml, a
//   wap-provisioningdoc that holds every step of the install.
// - "Provisioning XML Document for Install Configuration Service Provider":
//   the Install characteristic: InstallPhase "install", AppName (at most 70
//   characters), InstallDir, and the counts NumDirs, NumFiles, NumRegKeys,
//   NumRegVals and NumShortcuts of what the rest of the document lists
//   (here: one per MakeDir, Extract and Shortcut; no registry).
// - "FileOperation Configuration Service Provider": a characteristic per
//   folder holds MakeDir and a characteristic per file; a file's Extract
//   takes the CAB's file named by its Source parm, its Shortcut makes a
//   shortcut to the program its Source parm names. translation="install"
//   turns the folder macros into the phone's folders; "filesystem" (and no
//   translation) only removes doubled backslashes.
// - "SHCreateShortcut": a target followed by arguments is quoted. A phone
//   shortcut is a text file: the number of characters after '#', '#', the
//   quoted target and its arguments, as in 18#"\Windows\a.exe" #CONFIG.
//
// Everything is read and checked before anything is written: a document
// that is not well-formed or not understood, counts that disagree with what
// the document lists, or a file the CAB lacks is refused with a line naming
// it, and nothing is written. A second install over the first replaces its
// files and shortcuts. Unlike the phone's, it never deletes the CAB.
//
// Exit code 0 when installed, 1 when refused, 2 on a usage error, 3 when a
// folder or file could not be written.
#include <windows.h>
#include <fcntl.h>
#include <fdi.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <map>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring &text)
{
    if (text.empty())
        return "";
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], size, NULL, NULL);
    return out;
}

// Text that is not UTF-8 gives false.
bool Widen(const std::string &text, std::wstring *out)
{
    out->clear();
    if (text.empty())
        return true;
    int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), (int)text.size(),
                                   NULL, 0);
    if (size <= 0)
        return false;
    out->assign(size, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), (int)text.size(), &(*out)[0],
                        size);
    return true;
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t &c : text)
        c = (wchar_t)towlower(c);
    return text;
}

void Say(const std::string &line) { printf("%s\n", line.c_str()); }

// ---------------------------------------------------------------------------
// The CAB's files, read into memory with the system's cabinet library.

std::map<std::wstring, std::string> g_members;  // by lower-case name
std::map<std::wstring, std::wstring> g_memberNames;  // lower-case name -> as stored
std::wstring g_duplicate;  // a name the CAB holds twice

FNALLOC(CabAlloc) { return malloc(cb); }
FNFREE(CabFree) { free(pv); }
FNOPEN(CabOpen) { return _open(pszFile, oflag | _O_BINARY, pmode); }
FNREAD(CabRead) { return (UINT)_read((int)hf, pv, cb); }
// Only the extracted files are written: into memory.
FNWRITE(CabWrite)
{
    ((std::string *)hf)->append((const char *)pv, cb);
    return cb;
}
FNCLOSE(CabClose) { return _close((int)hf); }
FNSEEK(CabSeek) { return _lseek((int)hf, dist, seektype); }

FNFDINOTIFY(CabNotify)
{
    switch (fdint) {
    case fdintCOPY_FILE: {
        std::string raw = pfdin->psz1 ? pfdin->psz1 : "";
        std::wstring name;
        if (pfdin->attribs & _A_NAME_IS_UTF) {
            if (!Widen(raw, &name))
                return -1;
        } else {
            int size = MultiByteToWideChar(CP_ACP, 0, raw.c_str(), (int)raw.size(), NULL, 0);
            name.assign(size, L'\0');
            if (size)
                MultiByteToWideChar(CP_ACP, 0, raw.c_str(), (int)raw.size(), &name[0], size);
        }
        std::wstring key = Lower(name);
        if (g_members.count(key))
            g_duplicate = name;
        g_memberNames[key] = name;
        std::string *data = &g_members[key];  // a map's elements stay where they are
        data->clear();
        return (INT_PTR)data;
    }
    case fdintCLOSE_FILE_INFO:
        return TRUE;
    case fdintNEXT_CABINET:
        return -1;  // a CAB spread over several files is not the phone's
    default:
        return 0;
    }
}

// Reads every file of the CAB; false with a reason when it cannot.
bool ReadCab(const std::wstring &path, std::string *why)
{
    std::wstring full(MAX_PATH * 4, L'\0');
    DWORD got = GetFullPathNameW(path.c_str(), (DWORD)full.size(), &full[0], NULL);
    if (!got || got >= full.size()) {
        *why = "cannot find " + Narrow(path);
        return false;
    }
    full.resize(got);
    size_t slash = full.find_last_of(L"\\/");
    std::wstring folder = full.substr(0, slash + 1), name = full.substr(slash + 1);
    char cabFolder[MAX_PATH * 2], cabName[MAX_PATH * 2];
    if (!WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, cabFolder, sizeof(cabFolder), NULL,
                             NULL) ||
        !WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, cabName, sizeof(cabName), NULL, NULL)) {
        *why = "cannot name " + Narrow(path);
        return false;
    }
    if (GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *why = "there is no file " + Narrow(path);
        return false;
    }
    ERF erf;
    HFDI fdi = FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek,
                         cpuUNKNOWN, &erf);
    if (!fdi) {
        *why = "the cabinet library did not start";
        return false;
    }
    std::string fullPath = std::string(cabFolder) + cabName;
    int fd = _open(fullPath.c_str(), _O_RDONLY | _O_BINARY);
    FDICABINETINFO info;
    bool cabinet = fd >= 0 && FDIIsCabinet(fdi, fd, &info);
    if (fd >= 0)
        _close(fd);
    if (!cabinet) {
        FDIDestroy(fdi);
        *why = Narrow(path) + " is not a cabinet file";
        return false;
    }
    bool copied = FDICopy(fdi, cabName, cabFolder, 0, CabNotify, NULL, NULL);
    FDIDestroy(fdi);
    if (!copied) {
        *why = Narrow(path) + " cannot be read whole (cabinet error " +
               std::to_string(erf.erfOper) + ")";
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// A small, strict XML reader: elements, attributes and the five named
// character references (and numeric ones). Text between elements may only be
// white space; declarations, comments and nothing else.

struct Node {
    std::string name;
    std::vector<std::pair<std::string, std::string> > attributes;
    std::vector<Node> children;
    int line;
};

class XmlReader {
public:
    explicit XmlReader(const std::string &text) : text_(text), at_(0), line_(1), unsupported_(false) {}

    // Whether Read failed on well-formed XML that a provisioning document
    // does not hold (a document type, CDATA, text).
    bool Unsupported() const { return unsupported_; }

    // False with a reason ("line N: ...") when the text is not well-formed.
    bool Read(Node *root, std::string *why)
    {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0)
            at_ = 3;
        if (Ahead("<?xml")) {
            size_t end = text_.find("?>", at_);
            if (end == std::string::npos)
                return Fail("the XML declaration is not closed", why);
            Advance(end + 2 - at_);
        }
        if (!Misc(why))
            return false;
        if (Ahead("<!DOCTYPE"))
            return Unsupported("a document type declaration", why);
        if (!Ahead("<"))
            return Fail("no root element", why);
        if (!Element(root, why))
            return false;
        if (!Misc(why))
            return false;
        if (at_ != text_.size())
            return Fail("something after the root element", why);
        return true;
    }

private:
    bool Unsupported(const std::string &what, std::string *why)
    {
        unsupported_ = true;
        return Fail(what, why);
    }
    bool Fail(const std::string &what, std::string *why)
    {
        *why = "line " + std::to_string(line_) + ": " + what;
        return false;
    }
    bool Ahead(const char *s) const { return text_.compare(at_, strlen(s), s) == 0; }
    void Advance(size_t n)
    {
        for (size_t i = 0; i < n && at_ < text_.size(); i++, at_++)
            if (text_[at_] == '\n')
                line_++;
    }
    static bool Space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void SkipSpace()
    {
        while (at_ < text_.size() && Space(text_[at_]))
            Advance(1);
    }
    // White space and comments.
    bool Misc(std::string *why)
    {
        for (;;) {
            SkipSpace();
            if (!Ahead("<!--"))
                return true;
            size_t end = text_.find("-->", at_ + 4);
            if (end == std::string::npos)
                return Fail("a comment is not closed", why);
            Advance(end + 3 - at_);
        }
    }
    static bool NameStart(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    }
    static bool NameChar(char c)
    {
        return NameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
    }
    bool Name(std::string *name, std::string *why)
    {
        if (at_ >= text_.size() || !NameStart(text_[at_]))
            return Fail("a name was expected", why);
        size_t start = at_;
        while (at_ < text_.size() && NameChar(text_[at_]))
            at_++;
        *name = text_.substr(start, at_ - start);
        return true;
    }
    bool Value(std::string *value, std::string *why)
    {
        if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\''))
            return Fail("an attribute value must be quoted", why);
        char quote = text_[at_];
        Advance(1);
        value->clear();
        for (;;) {
            if (at_ >= text_.size())
                return Fail("an attribute value is not closed", why);
            char c = text_[at_];
            if (c == quote) {
                Advance(1);
                return true;
            }
            if (c == '<')
                return Fail("'<' inside an attribute value", why);
            if (c == '&') {
                if (!Reference(value, why))
                    return false;
                continue;
            }
            value->push_back(c);
            Advance(1);
        }
    }
    bool Reference(std::string *out, std::string *why)
    {
        size_t end = text_.find(';', at_);
        if (end == std::string::npos || end - at_ > 10)
            return Fail("a character reference is not closed", why);
        std::string ref = text_.substr(at_ + 1, end - at_ - 1);
        static const char *const names[][2] = {
            {"lt", "<"}, {"gt", ">"}, {"amp", "&"}, {"quot", "\""}, {"apos", "'"}};
        for (const auto &n : names)
            if (ref == n[0]) {
                out->append(n[1]);
                Advance(end + 1 - at_);
                return true;
            }
        if (ref.size() > 1 && ref[0] == '#') {
            unsigned long code = 0;
            bool hex = ref[1] == 'x';
            size_t i = hex ? 2 : 1;
            if (i >= ref.size())
                return Fail("an empty character reference", why);
            for (; i < ref.size(); i++) {
                char c = ref[i];
                int digit = c >= '0' && c <= '9' ? c - '0'
                            : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                            : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                          : -1;
                if (digit < 0 || code > 0x10FFFF)
                    return Fail("a bad character reference &" + ref + ";", why);
                code = code * (hex ? 16 : 10) + digit;
            }
            if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                return Fail("a bad character reference &" + ref + ";", why);
            // As UTF-8.
            if (code < 0x80) {
                out->push_back((char)code);
            } else if (code < 0x800) {
                out->push_back((char)(0xC0 | (code >> 6)));
                out->push_back((char)(0x80 | (code & 0x3F)));
            } else if (code < 0x10000) {
                out->push_back((char)(0xE0 | (code >> 12)));
                out->push_back((char)(0x80 | ((code >> 6) & 0x3F)));
                out->push_back((char)(0x80 | (code & 0x3F)));
            } else {
                out->push_back((char)(0xF0 | (code >> 18)));
                out->push_back((char)(0x80 | ((code >> 12) & 0x3F)));
                out->push_back((char)(0x80 | ((code >> 6) & 0x3F)));
                out->push_back((char)(0x80 | (code & 0x3F)));
            }
            Advance(end + 1 - at_);
            return true;
        }
        return Fail("an unknown entity &" + ref + ";", why);
    }
    bool Element(Node *node, std::string *why)
    {
        node->line = line_;
        Advance(1);  // '<'
        if (!Name(&node->name, why))
            return false;
        for (;;) {
            size_t before = at_;
            SkipSpace();
            if (Ahead("/>")) {
                Advance(2);
                return true;
            }
            if (Ahead(">")) {
                Advance(1);
                break;
            }
            if (at_ == before)
                return Fail("white space must come before an attribute", why);
            std::string name, value;
            if (!Name(&name, why))
                return false;
            SkipSpace();
            if (!Ahead("="))
                return Fail("'=' must follow the attribute " + name, why);
            Advance(1);
            SkipSpace();
            if (!Value(&value, why))
                return false;
            for (const auto &a : node->attributes)
                if (a.first == name)
                    return Fail("the attribute " + name + " is given twice", why);
            node->attributes.push_back(std::make_pair(name, value));
        }
        for (;;) {
            if (!Misc(why))
                return false;
            if (at_ >= text_.size())
                return Fail("<" + node->name + "> is not closed", why);
            if (Ahead("</")) {
                Advance(2);
                std::string name;
                if (!Name(&name, why))
                    return false;
                if (name != node->name)
                    return Fail("</" + name + "> closes <" + node->name + ">", why);
                SkipSpace();
                if (!Ahead(">"))
                    return Fail("'>' must end </" + name, why);
                Advance(1);
                return true;
            }
            if (Ahead("<![CDATA[") || Ahead("<?") || Ahead("<!"))
                return Unsupported("markup that a provisioning document does not hold", why);
            if (Ahead("<")) {
                node->children.push_back(Node());
                if (!Element(&node->children.back(), why))
                    return false;
                continue;
            }
            return Unsupported("text inside <" + node->name + ">", why);
        }
    }

    const std::string &text_;
    size_t at_;
    int line_;
    bool unsupported_;
};

// ---------------------------------------------------------------------------
// The document, understood as steps.

struct Plan {
    std::wstring appName;
    std::vector<std::wstring> folders;  // phone paths the document makes
    struct File {
        std::wstring path;    // phone path
        std::wstring member;  // the CAB's file
    };
    std::vector<File> files;
    struct Shortcut {
        std::wstring path;  // phone path of the .lnk
        std::string text;   // what the file holds
    };
    std::vector<Shortcut> shortcuts;
};

// Why the document is refused.
std::string g_why;

bool Refuse(const Node &node, const std::string &what)
{
    g_why = "line " + std::to_string(node.line) + ": " + what;
    return false;
}

const std::string *Attribute(const Node &node, const char *name)
{
    for (const auto &a : node.attributes)
        if (a.first == name)
            return &a.second;
    return NULL;
}

// Only the named attributes, each at most once (the reader saw to that).
bool OnlyAttributes(const Node &node, std::initializer_list<const char *> allowed)
{
    for (const auto &a : node.attributes) {
        bool known = false;
        for (const char *name : allowed)
            known = known || a.first == name;
        if (!known)
            return Refuse(node, "<" + node.name + "> has an attribute " + a.first +
                                    " that the installer does not understand");
    }
    return true;
}

struct Macro {
    int number;
    const wchar_t *folder;
};
const Macro kMacros[] = {
    {1, L"\\Program Files"},
    {2, L"\\Windows"},
    {4, L"\\Windows\\StartUp"},
    {5, L"\\My Documents"},
    {8, L"\\Program Files\\Games"},
    {11, L"\\Windows\\Start Menu\\Programs"},
    {14, L"\\Windows\\Start Menu\\Programs\\Games"},
    {15, L"\\Windows\\Fonts"},
    {17, L"\\Windows\\Start Menu"},
};

// A path of the document as a phone path: rooted, no doubled backslashes, no
// "." or ".." parts, the macros turned into folders when translated.
bool PhonePath(const Node &node, const std::string &raw, const std::string *translation,
               std::wstring *out)
{
    std::wstring text;
    if (!Widen(raw, &text))
        return Refuse(node, "a path that is not UTF-8");
    bool install = translation && *translation == "install";
    if (translation && !install && *translation != "filesystem")
        return Refuse(node, "the translation \"" + *translation + "\" is not understood");
    std::wstring path;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != L'%') {
            path.push_back(text[i++]);
            continue;
        }
        size_t end = text.find(L'%', i + 1);
        std::wstring macro = text.substr(i, end == std::wstring::npos ? std::wstring::npos
                                                                      : end + 1 - i);
        if (!install)
            return Refuse(node, "the macro " + Narrow(macro) + " in " + raw +
                                    " is not translated (translation=\"install\" is missing)");
        const wchar_t *folder = NULL;
        for (const Macro &m : kMacros)
            if (macro == L"%CE" + std::to_wstring(m.number) + L"%")
                folder = m.folder;
        if (!folder)
            return Refuse(node, "the folder macro " + Narrow(macro) + " in " + raw +
                                    " is not one of the phone's");
        path += folder;
        i = end + 1;
    }
    // Doubled backslashes removed, as both translations do.
    std::wstring clean;
    for (wchar_t c : path)
        if (!(c == L'\\' && !clean.empty() && clean.back() == L'\\'))
            clean.push_back(c);
    while (clean.size() > 1 && clean.back() == L'\\')
        clean.pop_back();
    if (clean.empty() || clean[0] != L'\\')
        return Refuse(node, "the path " + raw + " is not a phone path (it must begin with \\ or a folder macro)");
    if (clean.find(L'/') != std::wstring::npos || clean.find(L':') != std::wstring::npos)
        return Refuse(node, "the path " + raw + " is not a phone path");
    std::wstring part;
    for (size_t i = 1; i <= clean.size(); i++) {
        if (i == clean.size() || clean[i] == L'\\') {
            if (part == L"." || part == L"..")
                return Refuse(node, "the path " + raw + " climbs out of its folder");
            part.clear();
        } else {
            part.push_back(clean[i]);
        }
    }
    *out = clean;
    return true;
}

// A file's own name: no folder in it.
bool FileName(const Node &node, const std::string &raw, std::wstring *out)
{
    if (!Widen(raw, out))
        return Refuse(node, "a file name that is not UTF-8");
    if (out->empty() || *out == L"." || *out == L".." ||
        out->find_first_of(L"\\/:*?\"<>|%") != std::wstring::npos)
        return Refuse(node, "\"" + raw + "\" is not a file name");
    return true;
}

bool ReadCount(const Node &parm, const std::string &value, int *out)
{
    if (value.empty() || value.size() > 6 || value.find_first_not_of("0123456789") != std::string::npos)
        return Refuse(parm, "the count " + value + " is not a number");
    *out = atoi(value.c_str());
    return true;
}

// The Source parm of an Extract or Shortcut step, and only it.
bool SourceParm(const Node &step, const Node **parm)
{
    if (!step.attributes.empty() && !OnlyAttributes(step, {"type"}))
        return false;
    *parm = NULL;
    for (const Node &child : step.children) {
        const std::string *name = Attribute(child, "name");
        if (child.name != "parm" || !name || *name != "Source" || !Attribute(child, "value"))
            return Refuse(child, "a " + *Attribute(step, "type") +
                                     " step takes one parm named Source with a value");
        if (!OnlyAttributes(child, {"name", "value", "translation"}))
            return false;
        if (*parm)
            return Refuse(child, "a second Source");
        *parm = &child;
    }
    if (!*parm)
        return Refuse(step, *Attribute(step, "type") + " without a Source parm");
    return true;
}

// "target" args, or a bare target, as the shortcut's phone text.
bool ShortcutText(const Node &parm, std::string *text)
{
    const std::string &value = *Attribute(parm, "value");
    std::string target = value, args;
    if (!value.empty() && value[0] == '"') {
        size_t close = value.find('"', 1);
        if (close == std::string::npos)
            return Refuse(parm, "the shortcut's quoted target is not closed");
        target = value.substr(1, close - 1);
        args = value.substr(close + 1);
        if (!args.empty() && args[0] != ' ')
            return Refuse(parm, "the shortcut's arguments must follow its target after a space");
        size_t start = args.find_first_not_of(' ');
        args = start == std::string::npos ? "" : args.substr(start);
    } else if (value.find('"') != std::string::npos) {
        return Refuse(parm, "a quote inside the shortcut's target");
    }
    std::wstring phone;
    if (!PhonePath(parm, target, Attribute(parm, "translation"), &phone))
        return false;
    std::wstring wargs;
    if (!Widen(args, &wargs))
        return Refuse(parm, "arguments that are not UTF-8");
    std::wstring body = L"\"" + phone + L"\"" + (wargs.empty() ? L"" : L" " + wargs);
    // The phone's shortcut files are in its code page.
    int size = WideCharToMultiByte(CP_ACP, 0, body.c_str(), (int)body.size(), NULL, 0, NULL, NULL);
    std::string narrow(size, '\0');
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, 0, body.c_str(), (int)body.size(), &narrow[0], size, NULL, &lost);
    if (lost)
        return Refuse(parm, "the shortcut's text has characters outside the phone's code page");
    *text = std::to_string(body.size()) + "#" + narrow;
    return true;
}

bool ReadInstall(const Node &install, Plan *plan, int counts[5])
{
    static const char *const kCounts[] = {"NumDirs", "NumFiles", "NumRegKeys", "NumRegVals",
                                          "NumShortcuts"};
    bool seen[5] = {false, false, false, false, false};
    bool phase = false, app = false;
    if (!OnlyAttributes(install, {"type"}))
        return false;
    for (const Node &parm : install.children) {
        const std::string *name = Attribute(parm, "name"), *value = Attribute(parm, "value");
        if (parm.name != "parm" || !name || !value)
            return Refuse(parm, "the Install characteristic holds only parms with a name and a value");
        if (!OnlyAttributes(parm, {"name", "value", "translation"}))
            return false;
        bool known = false;
        for (int i = 0; i < 5; i++)
            if (*name == kCounts[i]) {
                if (seen[i])
                    return Refuse(parm, *name + " is given twice");
                if (!ReadCount(parm, *value, &counts[i]))
                    return false;
                seen[i] = known = true;
            }
        if (known)
            continue;
        if (*name == "InstallPhase") {
            if (*value != "install")
                return Refuse(parm, "InstallPhase \"" + *value + "\": only \"install\" is understood");
            phase = true;
        } else if (*name == "AppName") {
            if (!Widen(*value, &plan->appName) || plan->appName.empty() ||
                plan->appName.size() > 70)
                return Refuse(parm, "AppName must be 1 to 70 characters");
            app = true;
        } else if (*name == "InstallDir") {
            std::wstring dir;
            if (!PhonePath(parm, *value, Attribute(parm, "translation"), &dir))
                return false;
        } else if (*name == "OSVersionMin" || *name == "OSVersionMax" ||
                   *name == "BuildNumberMin" || *name == "BuildNumberMax") {
            // The emulated phone meets any version.
        } else {
            return Refuse(parm, "the Install parm " + *name + " is not understood");
        }
    }
    if (!phase)
        return Refuse(install, "the Install characteristic lacks InstallPhase");
    if (!app)
        return Refuse(install, "the Install characteristic lacks AppName");
    for (int i = 0; i < 5; i++)
        if (!seen[i])
            return Refuse(install, std::string("the Install characteristic lacks ") + kCounts[i]);
    return true;
}

bool ReadFileOperation(const Node &operations, Plan *plan)
{
    if (!OnlyAttributes(operations, {"type"}))
        return false;
    for (const Node &folderNode : operations.children) {
        const std::string *type = Attribute(folderNode, "type");
        if (folderNode.name != "characteristic" || !type)
            return Refuse(folderNode, "FileOperation holds only folder characteristics");
        if (!OnlyAttributes(folderNode, {"type", "translation"}))
            return false;
        std::wstring folder;
        if (!PhonePath(folderNode, *type, Attribute(folderNode, "translation"), &folder))
            return false;
        for (const Node &item : folderNode.children) {
            const std::string *itemType = Attribute(item, "type");
            if (item.name != "characteristic" || !itemType)
                return Refuse(item, "a folder holds only characteristics");
            if (*itemType == "MakeDir") {
                if (!item.children.empty() || !OnlyAttributes(item, {"type"}))
                    return Refuse(item, "MakeDir takes nothing");
                plan->folders.push_back(folder);
                continue;
            }
            if (!OnlyAttributes(item, {"type", "translation"}))
                return false;
            std::wstring name;
            if (!FileName(item, *itemType, &name))
                return false;
            if (item.children.size() != 1)
                return Refuse(item, "a file characteristic holds one step");
            const Node &step = item.children[0];
            const std::string *stepType = Attribute(step, "type");
            if (step.name != "characteristic" || !stepType)
                return Refuse(step, "a file's step is a characteristic");
            std::wstring path = folder + L"\\" + name;
            const Node *source = NULL;
            if (*stepType == "Extract") {
                if (!SourceParm(step, &source))
                    return false;
                std::wstring member;
                if (!Widen(*Attribute(*source, "value"), &member) || member.empty())
                    return Refuse(*source, "Extract needs the name of a file of the CAB");
                plan->files.push_back(Plan::File{path, member});
            } else if (*stepType == "Shortcut") {
                if (!SourceParm(step, &source))
                    return false;
                std::string text;
                if (!ShortcutText(*source, &text))
                    return false;
                plan->shortcuts.push_back(Plan::Shortcut{path, text});
            } else {
                return Refuse(step, "the file operation " + *stepType +
                                        " is not understood (only MakeDir, Extract and Shortcut)");
            }
        }
    }
    return true;
}

bool ReadPlan(const Node &root, Plan *plan)
{
    if (root.name != "wap-provisioningdoc")
        return Refuse(root, "the document is a <" + root.name + ">, not a wap-provisioningdoc");
    if (!OnlyAttributes(root, {"version"}))
        return false;
    int counts[5] = {0, 0, 0, 0, 0};
    bool install = false;
    for (const Node &part : root.children) {
        const std::string *type = Attribute(part, "type");
        if (part.name != "characteristic" || !type)
            return Refuse(part, "the document holds only characteristics");
        if (*type == "Install") {
            if (install)
                return Refuse(part, "a second Install characteristic");
            if (&part != &root.children[0])
                return Refuse(part, "the Install characteristic must come first");
            if (!ReadInstall(part, plan, counts))
                return false;
            install = true;
        } else if (*type == "FileOperation") {
            if (!ReadFileOperation(part, plan))
                return false;
        } else {
            return Refuse(part, "the configuration service provider " + *type +
                                    " is not understood (only Install and FileOperation)");
        }
    }
    if (!install)
        return Refuse(root, "the document has no Install characteristic");
    const int listed[5] = {(int)plan->folders.size(), (int)plan->files.size(), 0, 0,
                           (int)plan->shortcuts.size()};
    static const char *const kNames[] = {"NumDirs", "NumFiles", "NumRegKeys", "NumRegVals",
                                         "NumShortcuts"};
    static const char *const kWhat[] = {"MakeDir", "Extract", "registry key", "registry value",
                                        "Shortcut"};
    for (int i = 0; i < 5; i++)
        if (counts[i] != listed[i])
            return Refuse(root.children[0], std::string(kNames[i]) + " says " +
                                                std::to_string(counts[i]) + ", the document lists " +
                                                std::to_string(listed[i]) + " " + kWhat[i]);
    return true;
}

// ---------------------------------------------------------------------------
// Writing.

std::wstring g_root;  // the phone's root folder, without a final backslash

std::wstring Local(const std::wstring &phonePath) { return g_root + phonePath; }

bool MakeFolders(const std::wstring &phonePath)
{
    for (size_t i = 1; i <= phonePath.size(); i++) {
        if (i != phonePath.size() && phonePath[i] != L'\\')
            continue;
        std::wstring local = Local(phonePath.substr(0, i));
        if (!CreateDirectoryW(local.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
            Say("wceload: cannot make the folder " + Narrow(local) + " (error " +
                std::to_string(GetLastError()) + ")");
            return false;
        }
    }
    return true;
}

bool WriteWhole(const std::wstring &phonePath, const std::string &bytes)
{
    size_t slash = phonePath.find_last_of(L'\\');
    if (slash > 0 && !MakeFolders(phonePath.substr(0, slash)))
        return false;
    std::wstring local = Local(phonePath);
    HANDLE file = CreateFileW(local.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD wrote = 0;
    bool ok = file != INVALID_HANDLE_VALUE &&
              WriteFile(file, bytes.data(), (DWORD)bytes.size(), &wrote, NULL) &&
              wrote == bytes.size();
    DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        ok = CloseHandle(file) && ok;
    if (!ok)
        Say("wceload: cannot write " + Narrow(local) + " (error " + std::to_string(error) + ")");
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2 || argv[1][0] == L'/' || argv[1][0] == L'-') {
        fprintf(stderr, "usage: wceload <file.cab>\n");
        return 2;
    }
    std::wstring cab = argv[1];
    WCHAR root[MAX_PATH * 2];
    DWORD got = GetEnvironmentVariableW(L"PHONE_ROOT", root, MAX_PATH * 2);
    g_root = got && got < MAX_PATH * 2 ? std::wstring(root) : std::wstring(L"C:\\");
    while (!g_root.empty() && (g_root.back() == L'\\' || g_root.back() == L'/'))
        g_root.pop_back();
    DWORD rootAttributes = GetFileAttributesW((g_root + L"\\").c_str());
    if (rootAttributes == INVALID_FILE_ATTRIBUTES || !(rootAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Say("wceload: refused: the phone's root folder " + Narrow(g_root) + "\\ does not exist");
        return 1;
    }

    std::string why;
    if (!ReadCab(cab, &why)) {
        Say("wceload: refused: " + why);
        return 1;
    }
    if (!g_duplicate.empty()) {
        Say("wceload: refused: " + Narrow(cab) + " holds two files named " + Narrow(g_duplicate));
        return 1;
    }
    std::map<std::wstring, std::string>::iterator setup = g_members.find(L"_setup.xml");
    if (setup == g_members.end()) {
        Say("wceload: refused: " + Narrow(cab) + " has no _setup.xml");
        return 1;
    }
    Node doc;
    XmlReader reader(setup->second);
    if (!reader.Read(&doc, &why)) {
        if (reader.Unsupported())
            Say("wceload: refused: _setup.xml: " + why + " is not understood");
        else
            Say("wceload: refused: _setup.xml is not well-formed XML (" + why + ")");
        return 1;
    }
    Plan plan;
    if (!ReadPlan(doc, &plan)) {
        Say("wceload: refused: _setup.xml: " + g_why);
        return 1;
    }
    for (const Plan::File &file : plan.files)
        if (g_members.find(Lower(file.member)) == g_members.end()) {
            Say("wceload: refused: the CAB lacks the file " + Narrow(file.member) + " that " +
                Narrow(file.path) + " comes from");
            return 1;
        }

    Say("wceload: installing " + Narrow(plan.appName) + " into " + Narrow(g_root) + "\\");
    for (const std::wstring &folder : plan.folders) {
        if (!MakeFolders(folder))
            return 3;
        Say("  folder   " + Narrow(folder));
    }
    for (const Plan::File &file : plan.files) {
        if (!WriteWhole(file.path, g_members[Lower(file.member)]))
            return 3;
        Say("  file     " + Narrow(file.path) + " (from " + Narrow(g_memberNames[Lower(file.member)]) +
            ")");
    }
    for (const Plan::Shortcut &shortcut : plan.shortcuts) {
        if (!WriteWhole(shortcut.path, shortcut.text))
            return 3;
        Say("  shortcut " + Narrow(shortcut.path) + ": " + shortcut.text);
    }
    Say("wceload: " + Narrow(plan.appName) + " installed: " + std::to_string(plan.files.size()) +
        " file(s), " + std::to_string(plan.shortcuts.size()) + " shortcut(s)");
    return 0;
}
