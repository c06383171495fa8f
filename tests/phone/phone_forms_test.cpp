// PhoneForms: the phone's form of platform/wince.h and of the code that
// calls it, compiled with _WIN32_WCE and run here through the stand-ins of
// platform/phone. A phone form that the desktop build never runs belongs
// here.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
// From here on, the phone's form, as the code under test was compiled.
#define _WIN32_WCE 0x502
#include "phone/phone_forms.h"
#include "phone/faults.h"
#include "common/procname.h"
#include "editor/editor.h"
#include "editor/logview.h"
#include "editor/startup.h"
#include "monitor/account.h"
#include "common/config.h"
#include "common/globals.h"
#include "common/message.h"
#include "res/resource.h"

namespace {

std::vector<std::wstring> NamesIn(const std::wstring &folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE walk = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (walk == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(walk, &found));
    FindClose(walk);
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string bytes;
    char block[512];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof(block), &got, NULL) && got > 0)
        bytes.append(block, got);
    CloseHandle(file);
    return bytes;
}

bool WriteAll(const std::wstring &path, const std::string &bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool whole = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL) &&
                 written == bytes.size();
    return CloseHandle(file) && whole;
}

const char kOldBytes[] = "#window(old)\r\n";
const wchar_t kNewText[] = L"#window(new)\r\n#timeout(500)\r\n";
const char kNewBytes[] = "#window(new)\r\n#timeout(500)\r\n";
const char kLeftoverBytes[] = "#window(left by an earlier Save)\r\n";

// Save on the phone's road, where the file is replaced in one step only on
// the object store and only when it exists; elsewhere it is deleted first.
enum Place { OBJECT_STORE, STORAGE_CARD };
enum Content { OLD_TEXT, NEW_TEXT, DEFAULT_TEXT, NO_FILE };

struct SaveCase {
    const char *name;
    Place place;
    bool oldFile;    // a configuration file is there before Save
    bool held;       // a reader holds it, sharing reading only, all through Save
    bool leftover;   // a temporary file of an earlier Save lies beside it
    int reappear;    // moves before which the monitor writes its default text
    DWORD moveFails; // nonzero: every move fails with this error
    int result;
    Content file;    // the configuration file afterwards
    bool tempKept;   // the new text stays in Save's temporary file
};

const SaveCase kSaveCases[] = {
    {"ObjectStore", OBJECT_STORE, true, false, false, 0, 0, 1, NEW_TEXT, false},
    {"StorageCard", STORAGE_CARD, true, false, false, 0, 0, 1, NEW_TEXT, false},
    {"NoFileYet", OBJECT_STORE, false, false, false, 0, 0, 1, NEW_TEXT, false},
    {"NoFileYetOnStorageCard", STORAGE_CARD, false, false, false, 0, 0, 1, NEW_TEXT, false},
    {"ReappearsAfterTheDelete", STORAGE_CARD, true, false, false, 1, 0, 1, NEW_TEXT, false},
    {"AppearsWhenThereWasNoFile", OBJECT_STORE, false, false, false, 1, 0, 1, NEW_TEXT, false},
    {"ReappearsAtEveryMove", STORAGE_CARD, true, false, false, 1000, 0, 0, DEFAULT_TEXT, true},
    {"ReaderHoldsTheFile", OBJECT_STORE, true, true, false, 0, 0, 0, OLD_TEXT, false},
    {"ReaderHoldsTheFileOnStorageCard", STORAGE_CARD, true, true, false, 0, 0, 0, OLD_TEXT,
     false},
    {"MoveFailsForGood", STORAGE_CARD, true, false, false, 0, ERROR_NOT_READY, 0, NO_FILE, true},
    {"MoveFailsForGoodWithNoFileYet", OBJECT_STORE, false, false, false, 0, ERROR_NOT_READY, 0,
     NO_FILE, true},
    {"LeftoverTemporaryFile", OBJECT_STORE, true, false, true, 0, 0, 1, NEW_TEXT, false},
    {"LeftoverTemporaryFileAndMoveFailsForGood", STORAGE_CARD, true, false, true, 0,
     ERROR_NOT_READY, 0, NO_FILE, true},
};

// The object store's folder and a storage card in it, empty, with no
// fault planted at the move.
template <class Case>
class PhoneFolderTest : public ::testing::TestWithParam<Case> {
protected:
    std::wstring root;  // the object store's folder
    std::wstring card;  // a storage card in it

    void MakeFolders(const wchar_t *name)
    {
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root = std::wstring(temp) + name;
        card = root + L"\\Storage Card";
        CreateDirectoryW(root.c_str(), NULL);
        CreateDirectoryW(card.c_str(), NULL);
        Clean(root);
        Clean(card);
        g_moveFaults = MoveFaults();
    }

    void TearDown() override
    {
        g_moveFaults = MoveFaults();
        Clean(card);
        Clean(root);
    }

    static void Clean(const std::wstring &in)
    {
        for (const std::wstring &name : NamesIn(in)) {
            std::wstring p = in + L"\\" + name;
            SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(p.c_str());
        }
    }
};

class PhoneForms : public PhoneFolderTest<SaveCase> {
protected:
    std::wstring folder;  // where this case's configuration file lies

    void SetUp() override { MakeFolders(L"vorn_phone_forms"); }

    // Save's temporary files in the folder, but for the leftover one.
    std::vector<std::wstring> SaveTemps(bool leftover) const
    {
        std::vector<std::wstring> temps;
        for (const std::wstring &name : NamesIn(folder)) {
            bool ours = name.compare(0, 5, L"~vorn") == 0 && name.size() > 4 &&
                        name.compare(name.size() - 4, 4, L".tmp") == 0;
            if (ours && !(leftover && name == L"~vorn1.tmp"))
                temps.push_back(name);
        }
        return temps;
    }

    // After a Save, the file holds the old text or the whole new one; or,
    // where the old file went before the move, the file is missing or holds
    // the monitor's default text and the whole new text is in a temporary
    // file of that Save.
    ::testing::AssertionResult PromiseKept(const std::wstring &path, bool hadOld,
                                           bool leftover) const
    {
        std::string bytes = ReadAll(path);
        bool present = Exists(path);
        if (present && hadOld && bytes == kOldBytes)
            return ::testing::AssertionSuccess();
        if (present && bytes == kNewBytes)
            return ::testing::AssertionSuccess();
        if (!present || bytes == kMonitorDefaultBytes) {
            for (const std::wstring &temp : SaveTemps(leftover)) {
                if (ReadAll(folder + L"\\" + temp) == kNewBytes)
                    return ::testing::AssertionSuccess();
            }
            return ::testing::AssertionFailure()
                   << "the new text is lost: the file " << (present ? "holds the default text"
                                                                    : "is missing")
                   << " and no temporary file holds the new text";
        }
        return ::testing::AssertionFailure() << "the file holds \"" << bytes << "\"";
    }
};

TEST_P(PhoneForms, SaveLeavesTheOldTextOrTheWholeNewOne)
{
    const SaveCase &c = GetParam();
    folder = c.place == STORAGE_CARD ? card : root;
    std::wstring path = folder + L"\\vorn.txt";
    std::wstring leftover = folder + L"\\~vorn1.tmp";
    if (c.oldFile) {
        ASSERT_TRUE(WriteAll(path, kOldBytes));
    }
    if (c.leftover) {
        ASSERT_TRUE(WriteAll(leftover, kLeftoverBytes));
    }
    HANDLE reader = INVALID_HANDLE_VALUE;
    if (c.held) {
        reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0,
                             NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    }
    g_moveFaults.reappear = c.reappear;
    g_moveFaults.fail = c.moveFails;

    std::wstring text = kNewText;
    text.resize(text.size() + 6);
    int result = SaveConfigText(path.c_str(), &text[0], (UINT)text.size());
    if (reader != INVALID_HANDLE_VALUE)
        CloseHandle(reader);

    EXPECT_TRUE(PromiseKept(path, c.oldFile, c.leftover));
    EXPECT_EQ(c.result, result);
    switch (c.file) {
    case OLD_TEXT:
        EXPECT_EQ(kOldBytes, ReadAll(path));
        break;
    case NEW_TEXT:
        EXPECT_EQ(kNewBytes, ReadAll(path));
        break;
    case DEFAULT_TEXT:
        EXPECT_EQ(kMonitorDefaultBytes, ReadAll(path));
        break;
    case NO_FILE:
        EXPECT_FALSE(Exists(path));
        break;
    }
    std::vector<std::wstring> temps = SaveTemps(c.leftover);
    if (c.tempKept) {
        ASSERT_EQ(1u, temps.size()) << "the temporary file of this Save is gone";
        EXPECT_EQ(kNewBytes, ReadAll(folder + L"\\" + temps[0]));
    } else {
        EXPECT_TRUE(temps.empty()) << "a temporary file is left behind";
    }
    if (c.leftover) {
        EXPECT_EQ(kLeftoverBytes, ReadAll(leftover)) << "an earlier Save's file was touched";
    }
    // The object store replaces in one step: the monitor never got a
    // chance there, and the move went round only for a missing file.
    if (c.place == OBJECT_STORE && c.oldFile) {
        EXPECT_EQ(0, g_moveFaults.moves);
    }
}

INSTANTIATE_TEST_SUITE_P(Save, PhoneForms, ::testing::ValuesIn(kSaveCases),
                         [](const ::testing::TestParamInfo<SaveCase> &info) {
                             return std::string(info.param.name);
                         });

// The account log begins anew on the phone's road: the kept lines and the
// new one are written whole to a temporary file, which is then renamed to
// the new file; the new file takes the log's place in one step on the
// object store; on a storage card the old log is deleted first. A reader
// holds up the move for as long as it has the log open (the phone has no
// delete sharing): the move is tried again for a moment, and when the
// reader still holds on, the new file keeps the lines, whole, and takes the
// log's place before the next line is written. On a card that takes no
// move, the temporary file takes the log's place itself; once the old log
// is gone it keeps the lines, and becomes the new file at the next line.
// A temporary file left from a stop goes.
enum LogAfter { LOG_OLD, LOG_NEW, LOG_GONE };

struct LogCase {
    const char *name;
    Place place;
    bool held;        // a reader holds the log, sharing reading and writing
    bool letGo;       // the reader lets go after the first failed try
    DWORD moveFails;  // nonzero: every move fails with this error
    bool staleTemp;   // a temporary file left from a stop lies beside the log
    int result;
    LogAfter log;     // what the log holds; for LOG_OLD the new file holds the
                      // lines, for LOG_GONE the temporary file
};

const LogCase kLogCases[] = {
    {"ObjectStore", OBJECT_STORE, false, false, 0, false, 1, LOG_NEW},
    {"StorageCard", STORAGE_CARD, false, false, 0, false, 1, LOG_NEW},
    {"ReaderHoldsTheLog", OBJECT_STORE, true, false, 0, false, 0, LOG_OLD},
    {"ReaderHoldsTheLogOnStorageCard", STORAGE_CARD, true, false, 0, false, 0, LOG_OLD},
    {"ReaderLetsGoAfterTheFirstTry", OBJECT_STORE, true, true, 0, false, 1, LOG_NEW},
    {"ReaderLetsGoAfterTheFirstTryOnStorageCard", STORAGE_CARD, true, true, 0, false, 1,
     LOG_NEW},
    {"MoveFailsForGoodOnStorageCard", STORAGE_CARD, false, false, ERROR_NOT_READY, false, 0,
     LOG_GONE},
    {"StaleTemporaryFile", OBJECT_STORE, false, false, 0, true, 1, LOG_NEW},
    {"StaleTemporaryFileOnStorageCard", STORAGE_CARD, false, false, 0, true, 1, LOG_NEW},
};

std::string LogLine(int number)
{
    char line[96];
    snprintf(line, sizeof(line), "event %05d %.*s\r\n", number, 30 + number % 41,
             "....................................................................");
    return line;
}

HANDLE g_logReader = INVALID_HANDLE_VALUE;
int g_logMoves;

// The phone's move; the reader lets go of the log once the first try has
// failed.
BOOL MoveThenLetGo(LPCWSTR from, LPCWSTR to, int *oldGone)
{
    ++g_logMoves;
    BOOL moved = MoveFileOver(from, to, oldGone);
    if (!moved && g_logReader != INVALID_HANDLE_VALUE) {
        CloseHandle(g_logReader);
        g_logReader = INVALID_HANDLE_VALUE;
    }
    return moved;
}

BOOL CountedMove(LPCWSTR from, LPCWSTR to, int *oldGone)
{
    ++g_logMoves;
    return MoveFileOver(from, to, oldGone);
}

class PhoneFormsAccount : public PhoneFolderTest<LogCase> {
protected:
    void SetUp() override
    {
        MakeFolders(L"vorn_phone_forms_log");
        g_logMoves = 0;
    }
    void TearDown() override
    {
        g_accountMove = MoveFileOver;
        if (g_logReader != INVALID_HANDLE_VALUE)
            CloseHandle(g_logReader);
        g_logReader = INVALID_HANDLE_VALUE;
        PhoneFolderTest<LogCase>::TearDown();
        RemoveDirectoryW(card.c_str());
        RemoveDirectoryW(root.c_str());
    }
};

TEST_P(PhoneFormsAccount, LogBegunAnewHoldsTheOldLinesOrTheNewOnes)
{
    const LogCase &c = GetParam();
    std::wstring folder = c.place == STORAGE_CARD ? card : root;
    std::wstring path = folder + L"\\vorn.log";
    std::wstring next = path + L".next";
    std::wstring temp = path + L".tmp";
    // A log that must begin anew for one more line.
    std::string old;
    int last = 0;
    while (old.size() + LogLine(last + 1).size() <= ACCOUNT_FILE_LIMIT)
        old += LogLine(++last);
    ASSERT_TRUE(WriteAll(path, old));
    if (c.staleTemp) {
        // Stopped while it was written, at a line end.
        ASSERT_TRUE(WriteAll(temp, LogLine(1) + LogLine(2)));
    }
    if (c.held) {
        // As a reader of the account does while the monitor may write: the
        // monitor opens the log, but the log cannot be replaced meanwhile.
        g_logReader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, g_logReader);
    }
    g_accountMove = c.letGo ? MoveThenLetGo : CountedMove;
    g_moveFaults.fail = c.moveFails;

    std::string line = LogLine(last + 1);
    std::wstring wide(line.begin(), line.end() - 2);
    int result = AppendAccountLine(path.c_str(), wide.c_str());
    if (g_logReader != INVALID_HANDLE_VALUE)
        CloseHandle(g_logReader);
    g_logReader = INVALID_HANDLE_VALUE;

    EXPECT_EQ(c.result, result);
    // The held log was tried for a moment; a move that fails for good, once.
    EXPECT_EQ(c.held && !c.letGo ? REPLACE_ATTEMPTS : c.letGo ? 2 : 1, g_logMoves);
    // Whatever became of the log, the latest lines of the old log's last
    // half, whole, then the new one, are in the log or the new file.
    std::string now = ReadAll(c.log == LOG_NEW ? path : c.log == LOG_OLD ? next : temp);
    EXPECT_LE(now.size(), (size_t)ACCOUNT_FILE_LIMIT / 2 + line.size());
    size_t kept = now.size() - line.size();
    EXPECT_EQ(old.substr(old.size() - kept) + line, now);
    EXPECT_EQ(0, (int)old.compare(old.size() - kept - 2, 2, "\r\n"))
        << "the kept lines begin within a line";
    EXPECT_EQ(c.log == LOG_OLD, Exists(next)) << "the new file";
    EXPECT_EQ(c.log == LOG_GONE, Exists(temp)) << "the temporary file";
    EXPECT_EQ(c.log != LOG_GONE, Exists(path)) << "the log";
    if (c.log == LOG_OLD) {
        EXPECT_TRUE(ReadAll(path) == old) << "the old log changed";
    }
    // Meanwhile the editor's view shows the newest lines of the two.
    if (c.log == LOG_GONE) {
        LPWSTR tail = ReadLogTail(path.c_str());
        ASSERT_NE(nullptr, tail);
        std::wstring shown = tail;
        free(tail);
        EXPECT_EQ(std::wstring(line.begin(), line.end()),
                  shown.substr(shown.size() - std::min(shown.size(), line.size())));
    }

    // The next line: the new file left behind takes the log's place first,
    // and no line is lost.
    g_moveFaults.fail = 0;
    std::string then = LogLine(last + 2);
    std::wstring thenWide(then.begin(), then.end() - 2);
    EXPECT_EQ(1, AppendAccountLine(path.c_str(), thenWide.c_str()));
    EXPECT_EQ(now + then, ReadAll(path));
    EXPECT_FALSE(Exists(next)) << "the new file is still there";
    EXPECT_FALSE(Exists(temp)) << "the temporary file is still there";
}

INSTANTIATE_TEST_SUITE_P(Account, PhoneFormsAccount, ::testing::ValuesIn(kLogCases),
                         [](const ::testing::TestParamInfo<LogCase> &info) {
                             return std::string(info.param.name);
                         });

// A line of about 1000 characters, so that few lines fill the file.
std::string LongLogLine(int number)
{
    char head[16];
    snprintf(head, sizeof(head), "event %05d ", number);
    return std::string(head) + std::string(900 + number % 91, '.') + "\r\n";
}

class PhoneFormsHeldLog : public PhoneFolderTest<Place> {
protected:
    void SetUp() override { MakeFolders(L"vorn_phone_forms_held"); }
    void TearDown() override
    {
        PhoneFolderTest<Place>::TearDown();
        RemoveDirectoryW(card.c_str());
        RemoveDirectoryW(root.c_str());
    }
};

// While a reader holds the log, the lines go on in the new file; past the
// limit the new file begins anew as the log would, its temporary file put
// in its place (in one step on the object store; on a card the old new
// file is deleted first). No line is lost and the file never passes the
// limit; once the reader lets go, the new file takes the log's place.
TEST_P(PhoneFormsHeldLog, NewFileBeginsAnewPastTheLimit)
{
    std::wstring folder = GetParam() == STORAGE_CARD ? card : root;
    std::wstring path = folder + L"\\vorn.log";
    std::wstring next = path + L".next";
    std::string all;
    int last = 0;
    while (all.size() + LongLogLine(last + 1).size() <= ACCOUNT_FILE_LIMIT)
        all += LongLogLine(++last);
    ASSERT_TRUE(WriteAll(path, all));
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    int shrunk = 0;
    size_t previous = 0;
    for (int i = 0; i < 45; ++i) {
        std::string line = LongLogLine(++last);
        all += line;
        std::wstring wide(line.begin(), line.end() - 2);
        EXPECT_EQ(0, AppendAccountLine(path.c_str(), wide.c_str()));
        // The latest lines, whole, from a line's start.
        std::string kept = ReadAll(next);
        ASSERT_LE(kept.size(), (size_t)ACCOUNT_FILE_LIMIT);
        ASSERT_GE(kept.size(), (size_t)ACCOUNT_FILE_LIMIT / 2 - line.size());
        ASSERT_EQ(0, all.compare(all.size() - kept.size(), kept.size(), kept))
            << "the new file lost a line, after line " << last;
        ASSERT_EQ('\n', all[all.size() - kept.size() - 1]);
        shrunk += kept.size() < previous;
        previous = kept.size();
    }
    EXPECT_GE(shrunk, 1) << "the new file never began anew";
    CloseHandle(reader);

    std::string kept = ReadAll(next);
    std::string line = LongLogLine(++last);
    std::wstring wide(line.begin(), line.end() - 2);
    EXPECT_EQ(1, AppendAccountLine(path.c_str(), wide.c_str()));
    EXPECT_EQ(kept + line, ReadAll(path));
    EXPECT_FALSE(Exists(next)) << "the new file is still there";
    EXPECT_FALSE(Exists(path + L".tmp")) << "the temporary file is still there";
}

INSTANTIATE_TEST_SUITE_P(Account, PhoneFormsHeldLog, ::testing::Values(OBJECT_STORE, STORAGE_CARD),
                         [](const ::testing::TestParamInfo<Place> &info) {
                             return std::string(info.param == STORAGE_CARD ? "StorageCard"
                                                                           : "ObjectStore");
                         });

// The StartUp folder on a shell that answers FALSE even when it filled the
// folder in: the text tells.
TEST(PhoneForms, StartupFolderIsJudgedByItsText)
{
    WCHAR folder[MAX_PATH] = L"";
    ASSERT_TRUE(SHGetSpecialFolderPathW(NULL, folder, CSIDL_STARTUP, TRUE));
    ASSERT_NE(L'\0', folder[0]);
    WCHAR path[STARTUP_PATH_CAPACITY];
    EXPECT_EQ(1, StartupShortcutPath(path));
    EXPECT_EQ(std::wstring(folder) + L"\\VornStart.lnk", std::wstring(path));
}

#ifndef _WIN64
// The string lookup with no buffer: the phone gives the pointer to the
// stored text as the result. The phone is 32-bit, and so is this case.
struct StringCase {
    const char *name;
    bool module;
    UINT id;
    bool found;
};

const StringCase kStringCases[] = {
    {"TheDefaultText", true, IDS_DEFAULT_CONFIG, true},
    {"TheCaption", true, IDS_CAPTION, true},
    {"NoSuchString", true, 9999, false},
    {"NoModule", false, IDS_CAPTION, false},
};

TEST(PhoneForms, StringLookupWithoutABufferGivesThePointer)
{
    HINSTANCE self = GetModuleHandleW(NULL);
    for (const StringCase &c : kStringCases) {
        SCOPED_TRACE(c.name);
        HINSTANCE module = c.module ? self : NULL;
        // The desktop's way hands the pointer back through the buffer.
        LPCWSTR stored = NULL;
        if (module && LoadStringW(module, c.id, (LPWSTR)&stored, 0) <= 0)
            stored = NULL;
        ASSERT_EQ(c.found, stored != NULL);
        EXPECT_EQ(stored, LoadStringPointer(module, c.id));
        g_vorn.resModule = module;
        g_vorn.ownModule = module;
        EXPECT_EQ(stored, LoadResString(c.id));
    }
}
#endif

int g_snapshots;
HANDLE(WINAPI *g_platformSnapshot)(DWORD, DWORD);

HANDLE WINAPI CountedSnapshot(DWORD flags, DWORD processId)
{
    ++g_snapshots;
    return g_platformSnapshot(flags, processId);
}

// The phone has no direct way to another process's program: its form of
// the lookup answers nothing, whatever it is given, and the name comes
// from the snapshot.
TEST(PhoneForms, ProgramNameComesFromTheSnapshot)
{
    WCHAR buffer[MAX_PATH] = L"left over";
    EXPECT_EQ(0, QueryProcessImagePath(GetCurrentProcessId(), buffer, MAX_PATH));
    EXPECT_STREQ(L"", buffer);
    WCHAR untouched[4] = L"abc";
    EXPECT_EQ(0, QueryProcessImagePath(GetCurrentProcessId(), untouched, 0));
    EXPECT_STREQ(L"abc", untouched);
    EXPECT_EQ(0, QueryProcessImagePath(GetCurrentProcessId(), NULL, MAX_PATH));

    // The name of this process's window, through the lookup as the program
    // makes it: one snapshot, and the snapshot's name.
    HWND window = CreateWindowExW(0, L"STATIC", L"phone form", 0, 0, 0, 0, 0, NULL, NULL,
                                  GetModuleHandleW(NULL), NULL);
    ASSERT_NE(nullptr, window);
    g_snapshots = 0;
    g_platformSnapshot = g_procSnapshot;
    g_procSnapshot = CountedSnapshot;
    WCHAR name[MAX_PATH];
    GetWindowProcessName(window, name, MAX_PATH);
    g_procSnapshot = g_platformSnapshot;
    DestroyWindow(window);
    EXPECT_STREQ(L"vorn_phone_forms.exe", name);
    EXPECT_EQ(1, g_snapshots);
}

// The phone's process record is 564 bytes, the desktop's wide one 556: the
// lookup hands the phone's snapshot calls a record of the phone's size (the
// stand-ins fail any other, and the lookup above finds nothing then).
TEST(PhoneForms, ProcessRecordHasThePhonesSize)
{
    EXPECT_EQ(564u, sizeof(PROCESSENTRY32));
    EXPECT_EQ(564u, (size_t)CE_PROCESSENTRY32_SIZE);
    EXPECT_EQ(556u, offsetof(PROCESSENTRY32, th32MemoryBase));
}

// The phone's core library has no lstrcpynW: the phone form's bounded copy
// cuts at the capacity and always terminates, as the program's callers rely
// on, and writes nothing past the capacity.
struct CopyCase {
    const char *name;
    const wchar_t *from;
    int capacity;
    const wchar_t *copied;
};

const CopyCase kCopyCases[] = {
    {"Shorter", L"abc", 8, L"abc"},
    {"JustFits", L"abcdefg", 8, L"abcdefg"},
    {"AtTheCapacity", L"abcdefgh", 8, L"abcdefg"},
    {"Longer", L"abcdefghijk", 8, L"abcdefg"},
    {"RoomForTheTerminatorOnly", L"abc", 1, L""},
};

TEST(PhoneForms, BoundedCopyCutsAtTheCapacityAndTerminates)
{
    const int kSize = 12;
    for (const CopyCase &c : kCopyCases) {
        SCOPED_TRACE(c.name);
        WCHAR buffer[kSize];
        std::fill(buffer, buffer + kSize, L'#');
        EXPECT_EQ(buffer, lstrcpynW(buffer, c.from, c.capacity));
        EXPECT_STREQ(c.copied, buffer);
        EXPECT_EQ(std::wstring(kSize - c.capacity, L'#'),
                  std::wstring(buffer + c.capacity, buffer + kSize));
    }

    // Through a caller: this program's name (20 characters) in a buffer
    // of 20, cut by one; in one of 21, whole.
    HWND window = CreateWindowExW(0, L"STATIC", L"phone form", 0, 0, 0, 0, 0, NULL, NULL,
                                  GetModuleHandleW(NULL), NULL);
    ASSERT_NE(nullptr, window);
    WCHAR name[24];
    std::fill(name, name + 24, L'#');
    GetWindowProcessName(window, name, 20);
    EXPECT_STREQ(L"vorn_phone_forms.ex", name);
    EXPECT_EQ(L'#', name[20]);
    GetWindowProcessName(window, name, 21);
    EXPECT_STREQ(L"vorn_phone_forms.exe", name);
    DestroyWindow(window);
}

}  // namespace
