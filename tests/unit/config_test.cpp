// The configuration file: location, file helpers, directives and settings.
#include <gtest/gtest.h>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>
#include "common/config.h"
#include "common/globals.h"
#include "common/message.h"
#include "res/resource.h"
#include "support/phone.h"

namespace {

const char kDefaultText[] =
    "#window(Manila)\r\n#window(TEETER)\r\n#window(opera)\r\n#window(htcalbum)\r\n"
    "#window(cprog.exe)\r\n#timeout(1000)\r\n#onlyfor(0)\r\n#fdscreenoff(0)\r\n";

std::string Ansi(const std::wstring &text)
{
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string bytes(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), &bytes[0], n, NULL, NULL);
    return bytes;
}


// The bytes of text saved as UTF-16 (little-endian, as the platform does).
std::string Utf16Bytes(const std::wstring &text)
{
    return std::string((const char *)text.data(), text.size() * sizeof(wchar_t));
}

// The resource strings of the test program stand in for vorn.exe's.
void UseOwnResources()
{
    g_vorn.resModule = g_vorn.ownModule = GetModuleHandleW(NULL);
}

std::vector<std::wstring> Strings(const CStrList &list)
{
    std::vector<std::wstring> out;
    for (UINT i = 0; i < list.count; ++i)
        out.push_back(list.At(i));
    return out;
}

// Each test gets an empty folder of its own under the temporary folder.
class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int serial;
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir = std::wstring(temp) + L"vorn_config_" + std::to_wstring(GetCurrentProcessId()) +
              L"_" + std::to_wstring(++serial);
        RemoveTree(dir);
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
    }
    void TearDown() override { RemoveTree(dir); }

    static void RemoveTree(const std::wstring &path)
    {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                std::wstring child = path + L"\\" + name;
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(child);
                else
                    DeleteFileW(child.c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryW(path.c_str());
    }

    std::wstring Path(const std::wstring &name) const { return dir + L"\\" + name; }

    std::wstring dir;
};

// ---- location ---------------------------------------------------------

TEST(GetConfigPath, ExecutableGetsTheTextFileBesideIt)
{
    WCHAR module[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, module, MAX_PATH);
    ASSERT_GT(n, 4u);
    std::wstring exe(module, n);
    ASSERT_EQ(L".exe", exe.substr(exe.size() - 4));

    WCHAR path[CONFIG_PATH_CAPACITY];
    EXPECT_EQ(path, GetConfigPath(NULL, path));
    EXPECT_EQ(exe.substr(0, exe.size() - 4) + L".txt", std::wstring(path));
}

// A module path without ".exe" must not give the module itself, or the
// editor's Save would delete the program. A system library stands in for
// such a module.
TEST(GetConfigPath, ModuleWithoutExeNeverNamesItself)
{
    HMODULE library = GetModuleHandleW(L"kernel32.dll");
    ASSERT_NE(nullptr, library);
    WCHAR module[MAX_PATH];
    DWORD n = GetModuleFileNameW(library, module, MAX_PATH);
    ASSERT_GT(n, 0u);

    WCHAR path[CONFIG_PATH_CAPACITY];
    GetConfigPath(library, path);
    EXPECT_NE(0, lstrcmpiW(module, path));
    EXPECT_EQ(std::wstring(module) + L".txt", std::wstring(path));
}

// ---- path kinds -------------------------------------------------------

TEST_F(ConfigFileTest, PathKinds)
{
    ASSERT_TRUE(WriteBytes(Path(L"file.txt"), "x"));
    ASSERT_TRUE(CreateDirectoryW(Path(L"folder").c_str(), NULL));

    EXPECT_EQ(PATH_MISSING, GetPathKind(Path(L"missing.txt").c_str()));
    EXPECT_EQ(PATH_MISSING, GetPathKind(nullptr));
    EXPECT_EQ(PATH_FILE, GetPathKind(Path(L"file.txt").c_str()));
    EXPECT_EQ(PATH_DIRECTORY, GetPathKind(Path(L"folder").c_str()));
    EXPECT_EQ(PATH_DIRECTORY, GetPathKind(dir.c_str()));
}

TEST_F(ConfigFileTest, TemporaryFolder)
{
    std::wstring folder = Path(L"temp");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY);
    if (!(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_TEMPORARY))
        GTEST_SKIP() << "this file system keeps no temporary attribute on folders";
    EXPECT_EQ(PATH_TEMP_DIRECTORY, GetPathKind(folder.c_str()));
}

// ---- reading whole files ----------------------------------------------

TEST_F(ConfigFileTest, ReadFileAllAddsFourZeroBytes)
{
    const std::string bytes("ab\ncd\0e", 7);
    ASSERT_TRUE(WriteBytes(Path(L"c.txt"), bytes));
    BYTE *block = ReadFileAll(Path(L"c.txt").c_str());
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(bytes, std::string((const char *)block, bytes.size()));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(0, block[bytes.size() + i]) << i;
    free(block);
}

// No bytes for them; of them only the empty file was read.
TEST_F(ConfigFileTest, ReadFileAllFailsForMissingEmptyAndFolder)
{
    ASSERT_TRUE(WriteBytes(Path(L"empty.txt"), ""));
    ASSERT_TRUE(WriteBytes(Path(L"c.txt"), "#log(1)"));
    const struct {
        const char *name;
        std::wstring path;
        bool bytes;
        int read;
    } cases[] = {
        {"missing", Path(L"missing.txt"), false, 0},
        {"empty", Path(L"empty.txt"), false, 1},
        {"folder", dir, false, 0},
        {"a file", Path(L"c.txt"), true, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        int read = 7;
        BYTE *block = ReadFileAll(c.path.c_str(), &read);
        EXPECT_EQ(c.bytes, block != nullptr);
        EXPECT_EQ(c.read, read);
        free(block);
        block = ReadFileAll(c.path.c_str());
        EXPECT_EQ(c.bytes, block != nullptr);
        free(block);
    }
    int read = 7;
    EXPECT_EQ(nullptr, ReadFileAll(nullptr, &read));
    EXPECT_EQ(0, read);
    EXPECT_EQ(nullptr, ReadFileAll(nullptr));
}

// The file is shared for reading only: while a writer has it open the read
// fails (the caller sees no lines); other readers do not stop it.
TEST_F(ConfigFileTest, ReadFileAllSharesReadingOnly)
{
    std::wstring path = Path(L"c.txt");
    ASSERT_TRUE(WriteBytes(path, "#timeout(5)\n"));

    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    BYTE *block = ReadFileAll(path.c_str());
    EXPECT_NE(nullptr, block);
    free(block);
    CloseHandle(reader);

    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    int read = 7;
    EXPECT_EQ(nullptr, ReadFileAll(path.c_str(), &read));
    EXPECT_EQ(0, read) << "a file held by a writer was not read";
    CloseHandle(writer);
}

TEST(AnsiToWide, ConvertsFromTheAnsiCodePage)
{
    struct {
        const char *text;
        const wchar_t *wide;
    } cases[] = {{"abc", L"abc"}, {"", L""}, {"#window(a b)\r", L"#window(a b)\r"}};
    for (const auto &c : cases) {
        LPWSTR wide = AnsiToWide(c.text);
        ASSERT_NE(nullptr, wide) << c.text;
        EXPECT_STREQ(c.wide, wide);
        free(wide);
    }
    EXPECT_EQ(nullptr, AnsiToWide(nullptr));

    std::string umlauts = Ansi(L"\x00C4pfel \x00FC");
    LPWSTR wide = AnsiToWide(umlauts.c_str());
    ASSERT_NE(nullptr, wide);
    EXPECT_STREQ(L"\x00C4pfel \x00FC", wide);
    free(wide);
}

// ---- line reader ------------------------------------------------------

std::vector<std::wstring> ReadLines(const std::wstring &path, int capacity = CONFIG_LINE_CAPACITY)
{
    LineReader reader;
    std::vector<std::wstring> lines;
    std::vector<WCHAR> line(capacity);
    reader.Load(path.c_str());
    while (reader.NextLine(line.data(), capacity))
        lines.push_back(line.data());
    return lines;
}

struct LinesCase {
    std::string bytes;
    std::vector<std::wstring> lines;
};

TEST_F(ConfigFileTest, LineReaderSplitsLines)
{
    const LinesCase cases[] = {
        {"a\nb\n", {L"a", L"b"}},
        {"a\r\nb\r\n", {L"a\r", L"b\r"}},  // the CR stays in the line
        {"a\nb", {L"a", L"b"}},             // no final line end
        {"a\n\n\nb\n", {L"a", L"", L"", L"b"}},
        {"\n", {L""}},
        {"\n\nz", {L"", L"", L"z"}},
        {std::string("a\0b\n", 4), {L"a", L"b"}},   // a zero byte ends a line
        {std::string("a\n\0b", 4), {L"a"}},         // ... and, first in a line, the reading
        {std::string("#\0w\0\n\0", 6), {L"#", L"w", L""}},  // UTF-16 falls apart
    };
    for (const LinesCase &c : cases) {
        ASSERT_TRUE(WriteBytes(Path(L"c.txt"), c.bytes));
        EXPECT_EQ(c.lines, ReadLines(Path(L"c.txt"))) << ::testing::PrintToString(c.bytes);
    }
}

TEST_F(ConfigFileTest, LongLineIsCutAndTheNextLineFollows)
{
    std::string line(300, 'x');
    ASSERT_TRUE(WriteBytes(Path(L"c.txt"), line + "\nnext\n"));
    std::vector<std::wstring> lines = ReadLines(Path(L"c.txt"));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(std::wstring(255, L'x'), lines[0]);
    EXPECT_EQ(L"next", lines[1]);
}

TEST_F(ConfigFileTest, LineReaderLifecycle)
{
    WCHAR line[CONFIG_LINE_CAPACITY];
    LineReader reader;
    EXPECT_EQ(nullptr, reader.buffer);
    EXPECT_EQ(nullptr, reader.NextLine(line, CONFIG_LINE_CAPACITY));

    EXPECT_EQ(nullptr, reader.Load(Path(L"missing.txt").c_str()));
    EXPECT_EQ(nullptr, reader.NextLine(line, CONFIG_LINE_CAPACITY));

    ASSERT_TRUE(WriteBytes(Path(L"one.txt"), "first\nsecond\n"));
    ASSERT_TRUE(WriteBytes(Path(L"two.txt"), "other\n"));
    ASSERT_NE(nullptr, reader.Load(Path(L"one.txt").c_str()));
    ASSERT_NE(nullptr, reader.NextLine(line, CONFIG_LINE_CAPACITY));
    EXPECT_STREQ(L"first", line);
    EXPECT_EQ(0, reader.buffer[5]);  // the LF became the line's end

    // A second load starts over with the new file.
    ASSERT_NE(nullptr, reader.Load(Path(L"two.txt").c_str()));
    ASSERT_NE(nullptr, reader.NextLine(line, CONFIG_LINE_CAPACITY));
    EXPECT_STREQ(L"other", line);
    EXPECT_EQ(nullptr, reader.NextLine(line, CONFIG_LINE_CAPACITY));
    EXPECT_EQ(nullptr, reader.NextLine(line, CONFIG_LINE_CAPACITY));

    reader.Free();
    EXPECT_EQ(nullptr, reader.buffer);
    EXPECT_EQ(nullptr, reader.cursor);
    EXPECT_EQ(nullptr, reader.NextLine(line, CONFIG_LINE_CAPACITY));
}

// The reader owns one block, the file; each line's conversion is given
// back at once, and a new load or Free gives back the old file.
TEST_F(ConfigFileTest, LineReaderKeepsOnlyTheFile)
{
    ASSERT_TRUE(WriteBytes(Path(L"one.txt"), "first\nsecond\nthird"));
    ASSERT_TRUE(WriteBytes(Path(L"two.txt"), "other\n"));
    std::wstring one = Path(L"one.txt"), two = Path(L"two.txt");
    WCHAR line[CONFIG_LINE_CAPACITY];

    int before = HeapBlocksInUse();
    int loaded, read, reloaded, freed;
    {
        LineReader reader;
        reader.Load(one.c_str());
        loaded = HeapBlocksInUse();
        while (reader.NextLine(line, CONFIG_LINE_CAPACITY)) {
        }
        read = HeapBlocksInUse();
        reader.Load(two.c_str());
        reloaded = HeapBlocksInUse();
        reader.Free();
        freed = HeapBlocksInUse();
        reader.Load(one.c_str());
    }
    int destroyed = HeapBlocksInUse();
    ASSERT_GE(before, 0) << "heap cannot be walked";
    EXPECT_EQ(before + 1, loaded);
    EXPECT_EQ(before + 1, read);
    EXPECT_EQ(before + 1, reloaded);
    EXPECT_EQ(before, freed);
    EXPECT_EQ(before, destroyed);
}

// ---- directives -------------------------------------------------------

struct DirectiveCase {
    const wchar_t *name;
    const wchar_t *line;
    int found;
    const wchar_t *value;
    wchar_t open, close;
};

const DirectiveCase kDirectiveCases[] = {
    {L"#timeout", L"#timeout(500)", 1, L"500", '(', ')'},
    {L"#timeout", L"#TIMEOUT(500)", 1, L"500", '(', ')'},
    {L"#timeout", L"  #timeout(500)  trailing words", 1, L"500", '(', ')'},
    {L"#window", L"xx #Window(Inbox) yy", 1, L"Inbox", '(', ')'},
    {L"#window", L"#window (Inbox)", 0, L"", '(', ')'},
    {L"#window", L"#windows(Inbox)", 0, L"", '(', ')'},
    {L"#window", L"#window", 0, L"", '(', ')'},
    {L"#window", L"", 0, L"", '(', ')'},
    {L"#window", L"#window()", 1, L"", '(', ')'},
    {L"#window", L"#window(Tool (beta))", 1, L"Tool (beta)", '(', ')'},
    {L"#window", L"#window(a(b(c))d) tail)", 1, L"a(b(c))d", '(', ')'},
    {L"#window", L"#window(a) #window(b)", 1, L"a", '(', ')'},
    {L"#onlyfor", L"#timeout(500) #onlyfor(1)", 1, L"1", '(', ')'},
    {L"#window", L"#window( Inbox )", 1, L" Inbox ", '(', ')'},
    {L"#window", L"#window(Inbox)\r", 1, L"Inbox", '(', ')'},
    {L"#window", L"#window(x) ) more", 1, L"x", '(', ')'},
    // Unclosed: a picked name with an unbalanced "(" keeps its own text ...
    {L"#window", L"#window(Calc (beta)\r", 1, L"Calc (beta", '(', ')'},
    // ... and with no closing character at all the rest of the line counts,
    // without its line end.
    {L"#window", L"#window(Calc\r", 1, L"Calc", '(', ')'},
    {L"#timeout", L"#timeout(12", 1, L"12", '(', ')'},
    {L"#window", L"#window(\r", 1, L"", '(', ')'},
    // Other brackets; the same character for both ends the value at once.
    {L"#window", L"#window[a[b]] c]", 1, L"a[b]", '[', ']'},
    {L"#x", L"#x|a|b|", 1, L"a", '|', '|'},
    {L"#x", L"#x|a(b)", 1, L"a(b)", '|', '|'},
};

TEST(GetDirective, Table)
{
    for (const DirectiveCase &c : kDirectiveCases) {
        WCHAR output[DIRECTIVE_VALUE_CAPACITY];
        lstrcpyW(output, L"stale");
        EXPECT_EQ(c.found, GetDirective(c.name, c.line, output, c.open, c.close)) << c.line;
        EXPECT_STREQ(c.value, output) << c.line;
    }
}

TEST(GetDirective, NullsFindNothing)
{
    WCHAR output[16] = L"stale";
    EXPECT_EQ(0, GetDirective(L"#window", nullptr, output, '(', ')'));
    EXPECT_STREQ(L"", output);
    lstrcpyW(output, L"stale");
    EXPECT_EQ(0, GetDirective(nullptr, L"#window(a)", output, '(', ')'));
    EXPECT_STREQ(L"", output);
    EXPECT_EQ(0, GetDirective(L"#window", L"#window(a)", nullptr, '(', ')'));
}

// At most 1023 characters after the "(" are looked at.
TEST(GetDirective, LooksAtMost1023Characters)
{
    WCHAR output[DIRECTIVE_VALUE_CAPACITY];
    std::wstring closedInside = L"#window(" + std::wstring(1022, L'a') + L")";
    EXPECT_EQ(1, GetDirective(L"#window", closedInside.c_str(), output, '(', ')'));
    EXPECT_EQ(std::wstring(1022, L'a'), output);

    std::wstring closedBeyond = L"#window(" + std::wstring(2000, L'b') + L")";
    EXPECT_EQ(1, GetDirective(L"#window", closedBeyond.c_str(), output, '(', ')'));
    EXPECT_EQ(std::wstring(1023, L'b'), output);
}

// ---- writing ----------------------------------------------------------

struct AppendCase {
    const wchar_t *format;
    const wchar_t *argument;
    std::string bytes;
};

TEST_F(ConfigFileTest, AppendTextFWritesAnsiWithCrLf)
{
    const AppendCase cases[] = {
        {L"%s", L"a\nb\n", "a\r\nb\r\n"},
        {L"%s", L"a\r\nb", "a\r\nb"},  // an LF after a CR gets no second CR
        {L"%s", L"\n", "\r\n"},
        {L"%s", L"100% sure %d", "100% sure %d"},
        {L"%s", L"", ""},
        {L"1#\"%s\" #load", L"\\Program Files\\Tool\\vorn.exe",
         "1#\"\\Program Files\\Tool\\vorn.exe\" #load"},
    };
    int serial = 0;
    for (const AppendCase &c : cases) {
        std::wstring path = Path(L"out" + std::to_wstring(++serial) + L".txt");
        AppendTextF(path.c_str(), c.format, c.argument);
        EXPECT_TRUE(FileExists(path)) << c.argument;
        EXPECT_EQ(c.bytes, ReadBytes(path)) << ::testing::PrintToString(std::wstring(c.argument));
    }
}

TEST_F(ConfigFileTest, AppendTextFAddsAtTheEnd)
{
    std::wstring path = Path(L"c.txt");
    ASSERT_TRUE(WriteBytes(path, "old\r\n"));
    AppendTextF(path.c_str(), L"%s", L"new\n");
    AppendTextF(path.c_str(), L"%s", L"\x00C4pfel");
    EXPECT_EQ("old\r\nnew\r\n" + Ansi(L"\x00C4pfel"), ReadBytes(path));
}

TEST_F(ConfigFileTest, AppendTextFCannotOpenAFolder)
{
    AppendTextF(dir.c_str(), L"%s", L"text");
    EXPECT_EQ(PATH_DIRECTORY, GetPathKind(dir.c_str()));
    AppendTextF(Path(L"no\\such\\folder.txt").c_str(), L"%s", L"text");
    EXPECT_EQ(PATH_MISSING, GetPathKind(Path(L"no").c_str()));
}

// CreateTextFileF writes the bytes AppendTextF would, but only into a file
// it makes itself: whatever is at the path already stays as it is.
TEST_F(ConfigFileTest, CreateTextFileFMakesOnlyNewFiles)
{
    enum Before { NONE, FILE_THERE, FOLDER_THERE, NO_PARENT };
    const struct {
        const char *name;
        Before before;
        const wchar_t *text;
        int made;
        std::string bytes;  // the file afterwards
    } cases[] = {
        {"missing file", NONE, L"a\nb %d 100%\n", 1, "a\r\nb %d 100%\r\n"},
        {"empty text", NONE, L"", 1, ""},
        {"default text stored as it stands", NONE, L"#timeout(1000)\r\n", 1,
         "#timeout(1000)\r\n"},
        {"existing file", FILE_THERE, L"#window(x)\n", 0, "#window(mine)\r\n"},
        {"folder of that name", FOLDER_THERE, L"#window(x)\n", 0, ""},
        {"folder missing", NO_PARENT, L"#window(x)\n", 0, ""},
    };
    int serial = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring path = c.before == NO_PARENT ? Path(L"no such folder\\vorn.txt")
                                                  : Path(L"new" + std::to_wstring(++serial));
        if (c.before == FILE_THERE) {
            ASSERT_TRUE(WriteBytes(path, "#window(mine)\r\n"));
        } else if (c.before == FOLDER_THERE) {
            ASSERT_TRUE(CreateDirectoryW(path.c_str(), NULL));
        }
        EXPECT_EQ(c.made, CreateTextFileF(path.c_str(), L"%s", c.text));
        EXPECT_EQ(c.bytes, ReadBytes(path));
        EXPECT_EQ(c.before == FOLDER_THERE ? PATH_DIRECTORY
                  : c.before == NO_PARENT  ? PATH_MISSING
                                           : PATH_FILE,
                  GetPathKind(path.c_str()));
    }
    EXPECT_EQ(0, CreateTextFileF(nullptr, L"%s", L"x"));
}

// ---- the monitor's settings -------------------------------------------

TEST(DefaultText, IsTheStoredString)
{
    UseOwnResources();
    ASSERT_NE(nullptr, LoadResString(IDS_DEFAULT_CONFIG));
    EXPECT_EQ(135, lstrlenW(LoadResString(IDS_DEFAULT_CONFIG)));
    EXPECT_EQ(std::string(kDefaultText), Ansi(LoadResString(IDS_DEFAULT_CONFIG)));
}

class SettingsTest : public ConfigFileTest {
protected:
    void SetUp() override
    {
        ConfigFileTest::SetUp();
        path = Path(L"vorn.txt");
        UseOwnResources();
    }
    void Read() { ReadMonitorSettings(path.c_str(), &settings); }

    std::wstring path;
    MonitorSettings settings;
};

const std::vector<std::wstring> kDefaultWindows = {L"Manila", L"TEETER", L"opera", L"htcalbum",
                                                   L"cprog.exe"};

TEST_F(SettingsTest, MissingFileGetsTheDefaultText)
{
    settings.timeout = 300;
    settings.onlyfor = 1;
    settings.fdscreenoff = 1;
    Read();
    EXPECT_EQ(std::string(kDefaultText), ReadBytes(path));
    EXPECT_EQ(kDefaultWindows, Strings(settings.windows));
    EXPECT_EQ(1000, settings.timeout);
    EXPECT_EQ(0, settings.onlyfor);
    EXPECT_EQ(0, settings.fdscreenoff);

    // Read again: the list is rebuilt, not doubled, and the file left alone.
    Read();
    EXPECT_EQ(kDefaultWindows, Strings(settings.windows));
    EXPECT_EQ(std::string(kDefaultText), ReadBytes(path));
}

struct SettingsCase {
    std::string file;
    int timeout, onlyfor, fdscreenoff;
    std::vector<std::wstring> windows;
};

// Every case starts from timeout 300, onlyfor 7, fdscreenoff 1 and a window
// list holding "old": the list and the face-down action are rebuilt at every
// reading, the other two keep their values unless the file gives them.
TEST_F(SettingsTest, Table)
{
    const std::string longLine = "#window(" + std::string(292, 'x') + ")";
    const SettingsCase cases[] = {
        {"", 300, 7, 0, {}},
        {"#TIMEOUT(500)", 500, 7, 0, {}},
        {"  #timeout(500)  trailing words\n", 500, 7, 0, {}},
        {"#timeout(500)\n#timeout(700)\n", 700, 7, 0, {}},
        {"#timeout(abc)", 0, 7, 0, {}},
        {"#timeout()\n#onlyfor()\n#fdscreenoff()\n#window()", 300, 7, 0, {}},
        {"#onlyfor( 1 )", 300, 1, 0, {}},
        {"#onlyfor(0)", 300, 0, 0, {}},
        {"#onlyfor(-3)", 300, -3, 0, {}},
        {"#onlyfor(+4x)", 300, 4, 0, {}},
        {"#fdscreenoff(2)", 300, 7, 2, {}},
        {"#timeout(500) #onlyfor(1) #fdscreenoff(1) #window(w)", 500, 1, 1, {L"w"}},
        // A negative wait would be endless; it is no wait at all.
        {"#timeout(-1)", 0, 7, 0, {}},
        {"#timeout(-2147483648)", 0, 7, 0, {}},
        // Values beyond 32 bits stop at the range's ends.
        {"#timeout(99999999999)", INT_MAX, 7, 0, {}},
        {"#onlyfor(-99999999999)", 300, INT_MIN, 0, {}},
        {"#window (Inbox)\n#window()\n#window(Tool (beta))\n", 300, 7, 0, {L"Tool (beta)"}},
        {"#window(a) #window(b)\n", 300, 7, 0, {L"a"}},
        {"#window( Inbox )\r\n", 300, 7, 0, {L" Inbox "}},
        // Blanks alone are a value too, unlike in a hold.
        {"#window( )\r\n", 300, 7, 0, {L" "}},
        {"#window(a)\n#WINDOW(a)\n#window(100%)", 300, 7, 0, {L"a", L"a", L"100%"}},
        {"#window(a)\n\n\n#window(b)", 300, 7, 0, {L"a", L"b"}},
        {"any text #window(a) more text\nno directive here\n", 300, 7, 0, {L"a"}},
        // Only the first 255 characters of a line count.
        {longLine + "\n#timeout(5)\n", 5, 7, 0, {std::wstring(247, L'x')}},
        {std::string(250, ' ') + "#timeout(5)\n", 300, 7, 0, {}},
        // A file saved in UTF-16 yields no directives.
        {Utf16Bytes(L"\xFEFF#timeout(5)\r\n#window(a)\r\n"), 300, 7, 0, {}},
    };
    for (const SettingsCase &c : cases) {
        ASSERT_TRUE(WriteBytes(path, c.file));
        settings.timeout = 300;
        settings.onlyfor = 7;
        settings.fdscreenoff = 1;
        settings.windows.Clear();
        settings.windows.Add(L"old");
        Read();
        SCOPED_TRACE(::testing::PrintToString(c.file));
        EXPECT_EQ(c.timeout, settings.timeout);
        EXPECT_EQ(c.onlyfor, settings.onlyfor);
        EXPECT_EQ(c.fdscreenoff, settings.fdscreenoff);
        EXPECT_EQ(c.windows, Strings(settings.windows));
    }
}

struct LogCase {
    std::string file;
    int before;  // the account's value from the readings before
    int after;
};

// "#log" is read like "#fdscreenoff": every file read starts it anew, so a
// file without it, the default text among them, keeps no account.
TEST_F(SettingsTest, LogIsReadLikeFdscreenoff)
{
    const LogCase cases[] = {
        {"#log(1)", 0, 1},
        {"#LOG(5)\r\n", 0, 5},
        {"#log(0)", 1, 0},
        {"", 1, 0},
        {"#log()", 1, 0},
        {"#log(yes)", 1, 0},
        {"#log (1)", 0, 0},
        {"#log(1)\n#log(0)\n", 1, 0},
        {"#log(0)\n#log(1)\n", 0, 1},
        {"#timeout(5) #log(1) #onlyfor(0)", 0, 1},
        {"#logo(1)", 0, 0},
        {"#logo(1)", 1, 0},
        {kDefaultText, 0, 0},
        {kDefaultText, 1, 0},
    };
    for (const LogCase &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.file) + " from " + std::to_string(c.before));
        ASSERT_TRUE(WriteBytes(path, c.file));
        settings.log = c.before;
        Read();
        EXPECT_EQ(c.after, settings.log);
    }
    EXPECT_EQ(0, MonitorSettings().log) << "off until a file turns it on";
}

// "#call" and "#keyboard" are on unless the file turns them off, read anew
// at every reading: a file without the line turns them back on.
TEST_F(SettingsTest, CallAndKeyboardAreOnUnlessTheFileSaysNo)
{
    const struct {
        const char *file;
        int before;  // both settings before the reading
        int call, keyboard;
    } cases[] = {
        {"", 0, 1, 1},
        {kDefaultText, 0, 1, 1},
        {"#call(0)", 1, 0, 1},
        {"#keyboard(0)", 1, 1, 0},
        {"#CALL(0) #Keyboard(0)", 1, 0, 0},
        {"#call()\n#keyboard()", 0, 1, 1},
        {"#call(no)", 1, 0, 1},
        {"#call(0)\n#call(1)\n", 0, 1, 1},
        {"#keyboard(1)\n#keyboard(0)\n", 1, 1, 0},
        {"#callback(0)", 1, 1, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.file) + " from " + std::to_string(c.before));
        ASSERT_TRUE(WriteBytes(path, c.file));
        settings.call = c.before;
        settings.keyboard = c.before;
        Read();
        EXPECT_EQ(c.call, settings.call);
        EXPECT_EQ(c.keyboard, settings.keyboard);
    }
    EXPECT_EQ(1, MonitorSettings().call);
    EXPECT_EQ(1, MonitorSettings().keyboard);
}

// A file that is not read says nothing about the account, which keeps its
// last value: one held by a writer, and one found missing (on a card, Save
// deletes it before its move), for which the default text is written.
TEST_F(SettingsTest, LogKeepsItsValueWhenTheFileIsNotRead)
{
    for (int before : {1, 0}) {
        SCOPED_TRACE("from " + std::to_string(before));
        ASSERT_TRUE(WriteBytes(path, "#fdscreenoff(1)\r\n"));
        HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, writer);
        settings.log = before;
        Read();
        CloseHandle(writer);
        EXPECT_EQ(before, settings.log) << "held by a writer";

        ASSERT_TRUE(DeleteFileW(path.c_str()));
        Read();
        EXPECT_EQ(std::string(kDefaultText), ReadBytes(path));
        EXPECT_EQ(before, settings.log) << "missing";

        // From then on the default text is the file, and it is read.
        Read();
        EXPECT_EQ(0, settings.log) << "the default text";
        ASSERT_TRUE(DeleteFileW(path.c_str()));
    }
}

TEST_F(SettingsTest, CrLfAndLfReadTheSame)
{
    std::string lf = kDefaultText;
    for (size_t at; (at = lf.find('\r')) != std::string::npos;)
        lf.erase(at, 1);
    ASSERT_TRUE(WriteBytes(path, lf + "#timeout(250)\n#onlyfor(1)\n#fdscreenoff(2)\n"));
    settings.timeout = 9;
    Read();
    EXPECT_EQ(kDefaultWindows, Strings(settings.windows));
    EXPECT_EQ(250, settings.timeout);
    EXPECT_EQ(1, settings.onlyfor);
    EXPECT_EQ(2, settings.fdscreenoff);
}

// The editor saves its text with every CR removed, through AppendTextF; the
// monitor must read the same settings back.
TEST_F(SettingsTest, EditorTextReadsBack)
{
    AppendTextF(path.c_str(), L"%s", L"#window(\x00C4pfel)\n#window(50%)\n#timeout(1500)\n");
    Read();
    EXPECT_EQ((std::vector<std::wstring>{L"\x00C4pfel", L"50%"}), Strings(settings.windows));
    EXPECT_EQ(1500, settings.timeout);
}

// A reading keeps nothing but the window list: the file, the lines and the
// list of the reading before are all given back.
TEST_F(SettingsTest, ReadingKeepsOnlyTheWindowList)
{
    ASSERT_TRUE(WriteBytes(path, kDefaultText));
    Read();
    int before = HeapBlocksInUse();
    Read();
    Read();
    int after = HeapBlocksInUse();
    ASSERT_GE(before, 0) << "heap cannot be walked";
    EXPECT_EQ(before, after);
    settings.windows.Clear();
    EXPECT_EQ(before - 6, HeapBlocksInUse());  // five names and the array
}

TEST_F(SettingsTest, EmptyFileIsNotRewritten)
{
    ASSERT_TRUE(WriteBytes(path, ""));
    Read();
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ("", ReadBytes(path));
    EXPECT_TRUE(Strings(settings.windows).empty());
    EXPECT_EQ(1000, settings.timeout);
}

// A file that cannot be created: the reading ends at once with no lines.
TEST_F(SettingsTest, UncreatableFileGivesNoLines)
{
    path = Path(L"no such folder\\vorn.txt");
    settings.timeout = 300;
    settings.fdscreenoff = 1;
    settings.windows.Add(L"old");
    Read();
    EXPECT_EQ(PATH_MISSING, GetPathKind(path.c_str()));
    EXPECT_TRUE(Strings(settings.windows).empty());
    EXPECT_EQ(300, settings.timeout);
    EXPECT_EQ(0, settings.fdscreenoff);
}

// The check for a missing file and the write of the default text are two
// steps; the seam g_configPathKind stands for the check, so a file can
// appear between them. The default text must then never land on it.
namespace race {
std::wstring g_path;
std::string g_bytes;

// The check finds no file; the editor's Save lands right after it.
int SaveLandsAfterTheCheck(LPCWSTR)
{
    WriteBytes(g_path, g_bytes);
    return PATH_MISSING;
}

// The attribute read fails for a moment on a file that exists.
int CheckFailsForAMoment(LPCWSTR) { return PATH_MISSING; }

// Puts the real check back however the test ends.
struct SeamGuard {
    explicit SeamGuard(int (*check)(LPCWSTR)) { g_configPathKind = check; }
    ~SeamGuard() { g_configPathKind = GetPathKind; }
};
}  // namespace race

TEST_F(SettingsTest, DefaultTextNeverLandsOnAFileThatExists)
{
    const std::string user = "#window(mine)\r\n#timeout(250)\r\n#onlyfor(1)\r\n#fdscreenoff(2)\r\n";
    const struct {
        const char *name;
        bool fileBefore;
        int (*check)(LPCWSTR);
    } cases[] = {
        {"the editor's Save lands between the check and the write", false,
         race::SaveLandsAfterTheCheck},
        {"the check fails for a moment on an existing file", true, race::CheckFailsForAMoment},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(path.c_str());
        if (c.fileBefore) {
            ASSERT_TRUE(WriteBytes(path, user));
        }
        race::g_path = path;
        race::g_bytes = user;
        settings.timeout = 1000;
        settings.onlyfor = 0;
        {
            race::SeamGuard guard(c.check);
            Read();
        }
        EXPECT_EQ(user, ReadBytes(path));
        EXPECT_EQ(std::vector<std::wstring>{L"mine"}, Strings(settings.windows));
        EXPECT_EQ(250, settings.timeout);
        EXPECT_EQ(1, settings.onlyfor);
        EXPECT_EQ(2, settings.fdscreenoff);
    }
}

// While another process writes the file the read is refused; that reading
// sees no lines, and the next one sees the file again.
TEST_F(SettingsTest, FileHeldByAWriterGivesNoLines)
{
    ASSERT_TRUE(WriteBytes(path, kDefaultText));
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    Read();
    EXPECT_TRUE(Strings(settings.windows).empty());
    CloseHandle(writer);
    Read();
    EXPECT_EQ(kDefaultWindows, Strings(settings.windows));
}

// ---- holds: "#portrait" and "#landscape" ---------------------------------

// The hold list as "portrait:NAME" and "landscape:NAME", in list order.
std::vector<std::wstring> Holds(const CStrList &holds)
{
    std::vector<std::wstring> out;
    for (UINT i = 0; i < holds.count; ++i) {
        WCHAR kind = HoldKind(&holds, i);
        out.push_back(std::wstring(kind == HOLD_PORTRAIT    ? L"portrait:"
                                   : kind == HOLD_LANDSCAPE ? L"landscape:"
                                                            : L"?:") +
                      HoldName(&holds, i));
    }
    return out;
}

struct HoldListCase {
    std::string file;
    std::vector<std::wstring> holds;
};

// The grammar of "#window": any letter case, anywhere in a line, nested
// parentheses, blanks kept, the first of a name in a line; an empty value
// adds nothing. Within a line "#portrait" is tried first; across lines the
// file's order stands. Every case starts from a list holding "old".
TEST_F(SettingsTest, HoldListsFollowTheFile)
{
    const HoldListCase cases[] = {
        {"", {}},
        {"#portrait(Dialer)", {L"portrait:Dialer"}},
        {"#LANDSCAPE(reader)\r\n", {L"landscape:reader"}},
        {"any text #Portrait(home) more text\n", {L"portrait:home"}},
        {"#portrait()\n#landscape()\n", {}},
        // A value of blanks only names nothing either.
        {"#portrait( )\n#landscape(   )\n#portrait(\t \t)\n", {}},
        {"#landscape(a)\n#portrait( )\n", {L"landscape:a"}},
        {"#portrait (x)\n#landscape (y)\n", {}},
        {"#portraits(x)\n#landscap(y)\n", {}},
        {"#landscape(Tool (beta))", {L"landscape:Tool (beta)"}},
        {"#portrait( Inbox )\r\n", {L"portrait: Inbox "}},
        {"#portrait(a) #portrait(b)\n", {L"portrait:a"}},
        {"#landscape(a) #portrait(b)\n", {L"portrait:b", L"landscape:a"}},
        {"#landscape(a)\n#portrait(b)\n#landscape(a)\n#portrait(c)",
         {L"landscape:a", L"portrait:b", L"landscape:a", L"portrait:c"}},
        {"#landscape(a)\n\n\n#portrait()\n#portrait(b)", {L"landscape:a", L"portrait:b"}},
        {kDefaultText, {}},
        {std::string(kDefaultText) + "#landscape(maps)\r\n", {L"landscape:maps"}},
        // A line counts only to its 255th character.
        {"#landscape(" + std::string(292, 'x') + ")", {L"landscape:" + std::wstring(244, L'x')}},
        {std::string(250, ' ') + "#portrait(x)\n", {}},
    };
    for (const HoldListCase &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.file));
        ASSERT_TRUE(WriteBytes(path, c.file));
        settings.holds.Clear();
        settings.holds.Add(L"Pold");
        Read();
        EXPECT_EQ(c.holds, Holds(settings.holds));
    }
}

// A hold names a window as "#window" does; the two lists are kept apart.
TEST_F(SettingsTest, HoldsAndWindowsAreListedApart)
{
    ASSERT_TRUE(WriteBytes(path, "#window(reader) #landscape(reader) #portrait(dial)\r\n"
                                 "#window(cprog.exe)\r\n"));
    Read();
    EXPECT_EQ((std::vector<std::wstring>{L"reader", L"cprog.exe"}), Strings(settings.windows));
    EXPECT_EQ((std::vector<std::wstring>{L"portrait:dial", L"landscape:reader"}),
              Holds(settings.holds));
}

// At a front change the file is only read: a missing one reads as the
// default text and stays missing, for the next sensor event to create.
TEST_F(SettingsTest, FrontChangeReadsAMissingFileAsTheDefaultText)
{
    settings.timeout = 300;
    settings.onlyfor = 1;
    settings.fdscreenoff = 1;
    settings.holds.Add(L"Pold");
    ReadMonitorSettings(path.c_str(), &settings, SETTINGS_LEAVE_MISSING);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(kDefaultWindows, Strings(settings.windows));
    EXPECT_TRUE(Holds(settings.holds).empty());
    EXPECT_EQ(1000, settings.timeout);
    EXPECT_EQ(0, settings.onlyfor);
    EXPECT_EQ(0, settings.fdscreenoff);

    // A file that exists is read as at a sensor event, and left as it is.
    const std::string user = "#landscape(reader)\r\n#timeout(250)\r\n#window(mine)\r\n";
    ASSERT_TRUE(WriteBytes(path, user));
    ReadMonitorSettings(path.c_str(), &settings, SETTINGS_LEAVE_MISSING);
    EXPECT_EQ(user, ReadBytes(path));
    EXPECT_EQ(std::vector<std::wstring>{L"mine"}, Strings(settings.windows));
    EXPECT_EQ(std::vector<std::wstring>{L"landscape:reader"}, Holds(settings.holds));
    EXPECT_EQ(250, settings.timeout);
}

// Reading the default text in place of the file leaves nothing behind.
TEST_F(SettingsTest, DefaultTextReadInPlaceOfTheFileIsGivenBack)
{
    ReadMonitorSettings(path.c_str(), &settings, SETTINGS_LEAVE_MISSING);
    int before = HeapBlocksInUse();
    ReadMonitorSettings(path.c_str(), &settings, SETTINGS_LEAVE_MISSING);
    ReadMonitorSettings(path.c_str(), &settings, SETTINGS_LEAVE_MISSING);
    ASSERT_GE(before, 0) << "heap cannot be walked";
    EXPECT_EQ(before, HeapBlocksInUse());
    EXPECT_FALSE(FileExists(path));
}

}  // namespace
