// The account file of the sensor events: where it sits, how a line reads,
// and that it keeps the latest lines within its size bound. The line of
// each road of the event handler is tested with the handler
// (monitor_event_test.cpp).
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "common/config.h"
#include "monitor/account.h"
#include "support/phone.h"
#include "unit/clock_time.h"

namespace {

struct PathCase {
    std::wstring config;
    std::wstring log;
};

TEST(AccountPath, BesideTheConfigurationFile)
{
    const std::wstring folder = L"\\Program Files\\Vorn\\";
    const PathCase cases[] = {
        {folder + L"vorn.txt", folder + L"vorn.log"},
        {L"C:\\phone\\VORN.TXT", L"C:\\phone\\VORN.log"},
        {L"C:\\a.txt\\vorn", L"C:\\a.txt\\vorn.log"},
        {L"C:\\phone\\vorn.txt.bak", L"C:\\phone\\vorn.txt.bak.log"},
        {L"", L""},
        // The longest paths: one that fits with its new ending, one that
        // would not.
        {std::wstring(251, L'p') + L".txt", std::wstring(251, L'p') + L".log"},
        {std::wstring(256, L'p'), L""},
    };
    for (const PathCase &c : cases) {
        SCOPED_TRACE(Narrow(c.config));
        WCHAR path[CONFIG_PATH_CAPACITY];
        EXPECT_EQ(path, GetAccountPath(c.config.c_str(), path));
        EXPECT_EQ(c.log, std::wstring(path));
        if (!c.config.empty()) {
            EXPECT_NE(c.config, std::wstring(path)) << "the log would be the configuration file";
        }
    }
    WCHAR path[CONFIG_PATH_CAPACITY] = L"stale";
    EXPECT_STREQ(L"", GetAccountPath(NULL, path));
}

struct NextPathCase {
    const char *name;
    std::wstring log;
    std::wstring next;
    std::wstring temp;
};

// The file a rollover begins anew in, and the temporary file it is written
// in first: ".next" and ".tmp" added while the path stays within
// MAX_PATH - 1 characters, judged by its length alone; else a sibling name
// as long as the log's own.
TEST(AccountPath, NewFileBesideTheLog)
{
    const std::wstring folder = L"\\Storage Card\\";
    const std::wstring longest = folder + std::wstring(254 - folder.size() - 4, L'p') + L".log";
    const std::wstring over = folder + std::wstring(255 - folder.size() - 4, L'p') + L".log";
    const std::wstring full = folder + std::wstring(259 - folder.size() - 4, L'p') + L".log";
    const std::wstring cut = full.substr(0, full.size() - 1);
    const NextPathCase cases[] = {
        {"beside the log", folder + L"vorn.log", folder + L"vorn.log.next",
         folder + L"vorn.log.tmp"},
        {"the longest path that takes .next", longest, longest + L".next", longest + L".tmp"},
        {"one character more: .tmp still fits", over, over.substr(0, over.size() - 1) + L"~",
         over + L".tmp"},
        {"the longest log path", full, cut + L"~", cut + L"-"},
        {"a long name that ends in ~ already", over + L"~", over + L"_", over + L"-"},
        {"a long name that ends in - already", cut + L"-", cut + L"~", cut + L"="},
        {"no log", L"", L"", L""},
        {"a log path too long for any", std::wstring(260, L'p'), L"", L""},
    };
    ASSERT_EQ(254u, longest.size());
    for (const NextPathCase &c : cases) {
        SCOPED_TRACE(c.name);
        WCHAR next[CONFIG_PATH_CAPACITY], temp[CONFIG_PATH_CAPACITY];
        EXPECT_EQ(next, GetAccountNextPath(c.log.c_str(), next));
        EXPECT_EQ(c.next, std::wstring(next));
        EXPECT_LE(lstrlenW(next), MAX_PATH - 1);
        EXPECT_EQ(temp, GetAccountTempPath(c.log.c_str(), temp));
        EXPECT_EQ(c.temp, std::wstring(temp));
        EXPECT_LE(lstrlenW(temp), MAX_PATH - 1);
        if (!c.next.empty()) {
            EXPECT_NE(c.log, std::wstring(next)) << "the new file would be the log";
            EXPECT_NE(c.log, std::wstring(temp)) << "the temporary file would be the log";
            EXPECT_NE(std::wstring(next), std::wstring(temp))
                << "the temporary file would be the new file";
        }
    }
    WCHAR next[CONFIG_PATH_CAPACITY] = L"stale";
    EXPECT_STREQ(L"", GetAccountNextPath(NULL, next));
    WCHAR temp[CONFIG_PATH_CAPACITY] = L"stale";
    EXPECT_STREQ(L"", GetAccountTempPath(NULL, temp));
}

struct LineCase {
    const char *name;
    SYSTEMTIME time;
    EventAccount account;
    const wchar_t *line;
};

SYSTEMTIME At(WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME time = {};
    time.wYear = 2009;
    time.wMonth = 3;
    time.wDay = 1;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

EventAccount Account(DWORD posted, HWND front, const wchar_t *title, const wchar_t *className,
                     const wchar_t *program, int decided, const wchar_t *entry, int setting,
                     int did, DWORD waitedMs, DWORD read, int code)
{
    EventAccount account = {};
    account.posted = posted;
    account.front = front;
    account.title = title;
    account.className = className;
    account.program = program;
    account.decided = decided;
    account.entry = entry;
    account.setting = setting;
    account.did = did;
    account.waitedMs = waitedMs;
    account.read = read;
    account.code = code;
    return account;
}

const HWND kFront = (HWND)(ULONG_PTR)0x1234;

// How the fields are written; which road gives which line is the handler's.
TEST(AccountLine, Fields)
{
    const LineCase cases[] = {
        {"the first example line of the account", At(7, 5, 9),
         Account(0x10000, kFront, L"Calculator", L"CalcFrame", L"cprog.exe",
                 DECIDED_BY_PROGRAM, L"cprog.exe", 0, DID_LEAVE_ALONE, 300, 0, -1),
         L"07:05:09 | 0x00010000 on its side | \"Calculator\" CalcFrame cprog.exe | "
         L"#window(cprog.exe) matched the program name | left alone"},
        {"the second example line", At(23, 59, 0),
         Account(0x10001, kFront, L"Inbox", L"MailApp", L"appwin.exe", DECIDED_NO_MATCH, NULL,
                 0, DID_TURN, 300, 0x10001, 3),
         L"23:59:00 | 0x00010001 on its other side | \"Inbox\" MailApp appwin.exe | "
         L"no entry matched, onlyfor 0 | waited 300 ms, read 0x00010001: turned to code 3"},
        {"no window in front, a value of all digits", At(0, 0, 0),
         Account(0xFEDCBA98, NULL, L"", L"", L"", DECIDED_NO_MATCH, NULL, -2,
                 DID_NOTHING_NO_POSITION, 4294967295u, 0xABCDEF01, -1),
         L"00:00:00 | 0xFEDCBA98 unknown value | no window in front | no entry matched, "
         L"onlyfor -2 | waited 4294967295 ms, read 0xABCDEF01: no position, nothing done"},
        {"a title with line breaks stays on one line", At(12, 0, 1),
         Account(0x10002, kFront, L"two\r\nlines", L"View", L"", DECIDED_BY_TITLE, L"two", 1,
                 DID_TURN, 0, 0x10002, 0),
         L"12:00:01 | 0x00010002 upright | \"two  lines\" View  | #window(two) matched the "
         L"title | waited 0 ms, read 0x00010002: turned to code 0"},
        {"the display already held the code", At(8, 15, 0),
         Account(0x10001, kFront, L"Inbox", L"MailApp", L"appwin.exe", DECIDED_NO_MATCH, NULL,
                 0, DID_ALREADY_HELD, 300, 0x10001, 3),
         L"08:15:00 | 0x00010001 on its other side | \"Inbox\" MailApp appwin.exe | "
         L"no entry matched, onlyfor 0 | waited 300 ms, read 0x00010001: the display already "
         L"held code 3"},
        {"an entry with parentheses and a percent sign", At(9, 30, 45),
         Account(0x10003, kFront, L"Tool (beta) 100%", L"ToolView", L"tool.exe",
                 DECIDED_BY_CLASS, L"Tool (beta) 100%", 0, DID_LEAVE_ALONE, 0, 0, -1),
         L"09:30:45 | 0x00010003 upside down | \"Tool (beta) 100%\" ToolView tool.exe | "
         L"#window(Tool (beta) 100%) matched the class | left alone"},
    };
    for (const LineCase &c : cases) {
        SCOPED_TRACE(c.name);
        WCHAR line[ACCOUNT_LINE_CAPACITY];
        int length = FormatAccountLine(&c.time, &c.account, line, ACCOUNT_LINE_CAPACITY);
        EXPECT_EQ(std::wstring(c.line), std::wstring(line));
        EXPECT_EQ(lstrlenW(c.line), length);
    }
}

TEST(AccountLine, CutToTheCapacity)
{
    SYSTEMTIME time = At(7, 5, 9);
    EventAccount account = Account(0x10000, NULL, L"", L"", L"", DECIDED_NO_MATCH, NULL, 0,
                                   DID_LEAVE_ALONE, 0, 0, -1);
    std::vector<WCHAR> line(12, L'#');
    int length = FormatAccountLine(&time, &account, line.data(), 11);
    EXPECT_EQ(L"07:05:09 |", std::wstring(line.data()));
    EXPECT_EQ(L'#', line[11]);
    EXPECT_GT(length, 10);
}

// --- The file -----------------------------------------------------------------

class AccountFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path = std::wstring(temp) + L"vorn_account_" + std::to_wstring(GetCurrentProcessId()) +
               L".log";
        DeleteFileW(path.c_str());
    }
    void TearDown() override
    {
        DeleteFileW(path.c_str());
        DeleteFileW((path + L".next").c_str());
        DeleteFileW((path + L".tmp").c_str());
    }

    // The numbered test line: "line 00042 " and filler, 100 characters.
    static std::string Line(int number)
    {
        char head[16];
        snprintf(head, sizeof(head), "line %05d ", number);
        return std::string(head) + std::string(100 - strlen(head), 'x');
    }

    bool Append(int number)
    {
        std::string text = Line(number);
        return AppendAccountLine(path.c_str(), std::wstring(text.begin(), text.end()).c_str());
    }

    // The file's numbered lines; fails the test on anything else.
    std::vector<int> Numbers()
    {
        std::vector<int> numbers;
        std::string bytes = ReadBytes(path);
        size_t at = 0;
        while (at < bytes.size()) {
            size_t end = bytes.find("\r\n", at);
            if (end == std::string::npos) {
                ADD_FAILURE() << "the file does not end with a line end";
                break;
            }
            std::string line = bytes.substr(at, end - at);
            int number = atoi(line.c_str() + 5);
            if (line != Line(number))
                ADD_FAILURE() << "not a whole test line: " << line;
            numbers.push_back(number);
            at = end + 2;
        }
        return numbers;
    }

    std::wstring path;
};

TEST_F(AccountFile, AppendsOneCrLfLinePerCall)
{
    ASSERT_TRUE(Append(1));
    ASSERT_TRUE(Append(2));
    EXPECT_EQ(Line(1) + "\r\n" + Line(2) + "\r\n", ReadBytes(path));

    // ANSI, like the configuration file.
    DeleteFileW(path.c_str());
    ASSERT_TRUE(AppendAccountLine(path.c_str(), L"\"\x00C4pfel\""));
    EXPECT_EQ("\"\xC4pfel\"\r\n", ReadBytes(path));
}

// Line after line, the file never passes the bound, and what it holds is
// always the latest lines, whole and in order.
TEST_F(AccountFile, NeverGrowsPastTheBoundAndKeepsTheLatestLines)
{
    const int lines = 1500;  // about 150 KB: the file begins anew more than once
    int shrunk = 0;
    DWORD last = 0;
    for (int i = 1; i <= lines; ++i) {
        ASSERT_TRUE(Append(i)) << "line " << i;
        std::string bytes = ReadBytes(path);
        ASSERT_LE(bytes.size(), (size_t)ACCOUNT_FILE_LIMIT) << "after line " << i;
        shrunk += bytes.size() < last;
        last = (DWORD)bytes.size();
    }
    EXPECT_GE(shrunk, 2);
    std::vector<int> numbers = Numbers();
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(lines, numbers.back());
    for (size_t i = 1; i < numbers.size(); ++i)
        ASSERT_EQ(numbers[i - 1] + 1, numbers[i]) << "a line went missing";
    // At least the last half of the bound's worth of lines stays.
    EXPECT_GE(numbers.size() * 102, (size_t)ACCOUNT_FILE_LIMIT / 2 - 102);
}

// A file already past the bound (made by someone else) is cut at the next
// line; so is one whose last half holds no line end at all.
TEST_F(AccountFile, FileAlreadyPastTheBoundIsCut)
{
    std::string big;
    for (int i = 1; i <= 2000; ++i)
        big += Line(i) + "\r\n";
    ASSERT_TRUE(WriteBytes(path, big));
    ASSERT_TRUE(Append(2001));
    EXPECT_LE(ReadBytes(path).size(), (size_t)ACCOUNT_FILE_LIMIT);
    std::vector<int> numbers = Numbers();
    ASSERT_GE(numbers.size(), 2u);
    EXPECT_EQ(2001, numbers.back());
    EXPECT_EQ(2000, numbers[numbers.size() - 2]);

    ASSERT_TRUE(WriteBytes(path, std::string(ACCOUNT_FILE_LIMIT, 'z')));
    ASSERT_TRUE(Append(7));
    EXPECT_EQ(Line(7) + "\r\n", ReadBytes(path));
}

// --- Faults while the log is written -------------------------------------------
//
// Through the seams g_accountWrite (the log's WriteFile), g_accountRead
// (the read of the lines it keeps) and g_accountMove (MoveFileOver, which
// puts the begun-anew log in the old one's place): at every write and at
// the move the log on disk is looked at, as a program stopped at that step
// would leave it; a write can stop short, as on a full card, the read and
// the move can fail, and the program can stop at a step, as at a battery
// pull.

enum AccountFault {
    NO_FAULT,
    SHORT_FIRST_WRITE,   // the first write stops halfway, as on a full card
    SHORT_SECOND_WRITE,
    SHORT_EVERY_WRITE,   // no room at all
    MOVE_FAILS,          // a reader holds the log through every try
    MOVE_FAILS_ONCE,     // the reader lets go after the first try
    MOVE_FAILS_OLD_GONE, // the phone's card: the old log was deleted first
    READ_FAILS,          // the kept lines cannot be read
    // The program stops, and the next event comes after a new start:
    STOP_CUT_AT_LINE_END,  // within the first write, with part of it on
                           // disk that ends at a line end
    STOP_CUT_WITHIN_LINE,  // within the first write, part of a line on disk
    STOP_AT_SECOND_WRITE,  // the first write whole, the second not begun
    STOP_AT_MOVE,          // all written, the move not begun
};

// What the log holds afterwards.
enum LogAfter {
    LOG_APPENDED,   // the old lines and the new one
    LOG_BEGUN_ANEW, // the latest lines of the old log's last half and the new one
    LOG_TWO_LINES,  // a line that says older lines were dropped and why, and the new one
    LOG_AS_BEFORE,
    LOG_MISSING,    // deleted before the move, which then failed
};

struct FaultCase {
    const char *name;
    bool full;           // the log is close to the bound: it begins anew
    AccountFault fault;
    int appended;        // AppendAccountLine's answer
    LogAfter log;
    bool nextKept;       // the new file stays, holding the kept lines and the new one
    int moves;           // tries at the move
};

const FaultCase kFaultCases[] = {
    {"AppendedWhole", false, NO_FAULT, 1, LOG_APPENDED, false, 0},
    {"AppendStoppedShort", false, SHORT_FIRST_WRITE, 0, LOG_AS_BEFORE, false, 0},
    {"BegunAnewWhole", true, NO_FAULT, 1, LOG_BEGUN_ANEW, false, 1},
    {"KeptLinesStoppedShort", true, SHORT_FIRST_WRITE, 1, LOG_TWO_LINES, false, 1},
    {"NewLineStoppedShort", true, SHORT_SECOND_WRITE, 1, LOG_TWO_LINES, false, 1},
    {"NoRoomEvenForTwoLines", true, SHORT_EVERY_WRITE, 0, LOG_AS_BEFORE, false, 0},
    {"MoveFailed", true, MOVE_FAILS, 0, LOG_AS_BEFORE, true, REPLACE_ATTEMPTS},
    {"MoveFailedOnce", true, MOVE_FAILS_ONCE, 1, LOG_BEGUN_ANEW, false, 2},
    {"MoveFailedOldLogGone", true, MOVE_FAILS_OLD_GONE, 0, LOG_MISSING, true, 1},
    {"KeptLinesNotRead", true, READ_FAILS, 1, LOG_TWO_LINES, false, 1},
};

// Why the line says older lines were dropped.
const char *DroppedReason(AccountFault fault)
{
    return fault == READ_FAILS ? "the log could not be read" : "no room to begin the log anew";
}

// The log as a program stopped at one step would leave it.
struct Step {
    bool exists;
    std::string bytes;
    bool deletedOnPurpose;  // the move on a card has deleted the old log, and
                            // no file has taken its place yet
};

AccountFault g_fault;
HANDLE g_stopped;           // set when the program has stopped at its step
HANDLE g_writtenAtStop;     // the file that was being written then
int g_writes;
int g_moves;
std::wstring g_moveFrom;             // the file the last move put in the log's place
bool g_logDeleted;
std::wstring g_faultLog;             // the log's path
std::vector<Step> g_seen;            // the log at each step

void SeeTheLog()
{
    g_seen.push_back({FileExists(g_faultLog), ReadBytes(g_faultLog), g_logDeleted});
}

// The program stops here for good: nothing after this step runs. The test
// ends its thread and closes the file it was writing, as the phone's
// restart does.
void StopHere(HANDLE writing)
{
    g_writtenAtStop = writing;
    SetEvent(g_stopped);
    Sleep(INFINITE);
}

// Part of the bytes: up to a line end past their middle, or to the middle.
DWORD CutAt(const char *bytes, DWORD size, bool atLineEnd)
{
    DWORD cut = size / 2;
    if (atLineEnd) {
        while (cut < size && bytes[cut - 1] != '\n')
            ++cut;
    } else if (bytes[cut - 1] == '\n') {
        ++cut;
    }
    return cut < size ? cut : size / 2;
}

BOOL WINAPI FaultyWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                        LPOVERLAPPED overlapped)
{
    SeeTheLog();
    ++g_writes;
    if ((g_fault == STOP_CUT_AT_LINE_END || g_fault == STOP_CUT_WITHIN_LINE) && g_writes == 1) {
        WriteFile(file, bytes, CutAt((const char *)bytes, size, g_fault == STOP_CUT_AT_LINE_END),
                  written, overlapped);
        StopHere(file);
    }
    if (g_fault == STOP_AT_SECOND_WRITE && g_writes == 2)
        StopHere(file);
    if ((g_fault == SHORT_FIRST_WRITE && g_writes == 1) ||
        (g_fault == SHORT_SECOND_WRITE && g_writes == 2) || g_fault == SHORT_EVERY_WRITE) {
        WriteFile(file, bytes, size / 2, written, overlapped);
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    BOOL ok = WriteFile(file, bytes, size, written, overlapped);
    SeeTheLog();
    return ok;
}

BOOL WINAPI FaultyRead(HANDLE file, LPVOID bytes, DWORD size, LPDWORD got,
                       LPOVERLAPPED overlapped)
{
    if (g_fault == READ_FAILS) {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    return ReadFile(file, bytes, size, got, overlapped);
}

BOOL FaultyMove(LPCWSTR from, LPCWSTR to, int *oldGone)
{
    SeeTheLog();
    if (g_fault == STOP_AT_MOVE)
        StopHere(INVALID_HANDLE_VALUE);
    ++g_moves;
    g_moveFrom = from;
    if (g_fault == MOVE_FAILS || (g_fault == MOVE_FAILS_ONCE && g_moves == 1)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (g_fault == MOVE_FAILS_OLD_GONE) {
        // The one step at which the log is missing on purpose: the phone
        // deletes the old log on a card before the move.
        DeleteFileW(to);
        *oldGone = 1;
        g_logDeleted = true;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    BOOL ok = MoveFileOver(from, to, oldGone);
    if (ok)
        g_logDeleted = false;
    SeeTheLog();
    return ok;
}

// Test lines of many lengths, so that a rewrite in place leaves a part of a
// line behind.
std::string VaryingLine(int number)
{
    char head[16];
    snprintf(head, sizeof(head), "line %05d ", number);
    return std::string(head) + std::string(20 + (number * 37) % 91, (char)('a' + number % 26));
}

std::string VaryingLines(int first, int last)
{
    std::string text;
    for (int i = first; i <= last; ++i)
        text += VaryingLine(i) + "\r\n";
    return text;
}

// "" when bytes is a run of whole, consecutive test lines ending in the
// line numbered last; else what is wrong.
std::string WholeLinesUpTo(const std::string &bytes, int last)
{
    size_t at = 0;
    int previous = -1;
    while (at < bytes.size()) {
        size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos)
            return "a line without its line end: " + bytes.substr(at, 40);
        std::string line = bytes.substr(at, end - at);
        int number = atoi(line.c_str() + 5);
        if (line != VaryingLine(number))
            return "not a whole line: " + line.substr(0, 40);
        if (previous >= 0 && number != previous + 1)
            return "line " + std::to_string(number) + " follows line " + std::to_string(previous);
        previous = number;
        at = end + 2;
    }
    if (previous != last)
        return "the last line is " + std::to_string(previous);
    return "";
}

// "" when bytes is the line that says older lines were dropped, and why,
// then the test line numbered last; else what is wrong.
std::string DroppedThen(const std::string &bytes, int last, const std::string &reason)
{
    const std::string note = " | older lines dropped: " + reason + "\r\n";
    size_t end = bytes.find("\r\n");
    if (end == std::string::npos || !IsClockTime(bytes.substr(0, 8)) ||
        bytes.compare(8, note.size(), note) != 0)
        return "no line says that older lines were dropped: " + bytes.substr(0, 70);
    return WholeLinesUpTo(bytes.substr(8 + note.size()), last) +
           (bytes.size() - 8 - note.size() == VaryingLine(last).size() + 2 ? ""
                                                                          : " (more than one)");
}

class AccountFaultTest : public AccountFile, public ::testing::WithParamInterface<FaultCase> {
protected:
    void SetUp() override
    {
        AccountFile::SetUp();
        next = path + L".next";
        DeleteFileW(next.c_str());
        g_faultLog = path;
        g_seen.clear();
        g_writes = 0;
        g_moves = 0;
        g_logDeleted = false;
        temp = path + L".tmp";
        DeleteFileW(temp.c_str());
        g_fault = GetParam().fault;
        g_accountWrite = FaultyWrite;
        g_accountRead = FaultyRead;
        g_accountMove = FaultyMove;
    }
    void TearDown() override
    {
        g_accountWrite = WriteFile;
        g_accountRead = ReadFile;
        g_accountMove = MoveFileOver;
        DeleteFileW(next.c_str());
        AccountFile::TearDown();
    }

    // A log that takes one more line, or one that must begin anew for it;
    // its last line's number in *last.
    static std::string LogBefore(bool full, int *last)
    {
        *last = 10;
        std::string before = VaryingLines(1, *last);
        while (full && before.size() + VaryingLine(*last + 1).size() + 2 <= ACCOUNT_FILE_LIMIT)
            before += VaryingLine(++*last) + "\r\n";
        return before;
    }

    bool AppendVarying(int number)
    {
        std::string text = VaryingLine(number);
        return AppendAccountLine(path.c_str(), std::wstring(text.begin(), text.end()).c_str());
    }

    // Stopped at any step, the program leaves the log as it was before, as
    // it is after, or as a new file left behind (left, when not empty) made
    // it: never emptied, never torn, and missing only once the move on a
    // card has deleted it on purpose.
    void ExpectNoTornStep(const std::string &before, const std::string &after, int last,
                          const std::string &left = "")
    {
        for (size_t i = 0; i < g_seen.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const Step &step = g_seen[i];
            if (!step.exists) {
                EXPECT_TRUE(step.deletedOnPurpose) << "the log is missing";
            } else if (step.bytes != before && step.bytes != after &&
                       (left.empty() || step.bytes != left)) {
                ADD_FAILURE() << "the log is torn: " << WholeLinesUpTo(step.bytes, last);
            }
        }
    }

    std::wstring next;  // the file the log begins anew in
    std::wstring temp;  // the file that is written whole before it takes that name
};

TEST_P(AccountFaultTest, LogHoldsWholeLinesOnlyOldOrNew)
{
    const FaultCase &c = GetParam();
    int last = 0;
    const std::string before = LogBefore(c.full, &last);
    ASSERT_TRUE(WriteBytes(path, before));

    EXPECT_EQ(c.appended, AppendVarying(last + 1));

    std::string after = ReadBytes(path);
    EXPECT_EQ(c.log != LOG_MISSING, FileExists(path));
    switch (c.log) {
    case LOG_APPENDED:
        EXPECT_EQ(before + VaryingLine(last + 1) + "\r\n", after);
        break;
    case LOG_BEGUN_ANEW:
        EXPECT_EQ("", WholeLinesUpTo(after, last + 1));
        EXPECT_LT(after.size(), before.size());
        EXPECT_GE(after.size(), (size_t)ACCOUNT_FILE_LIMIT / 2 - 120) << "too few lines kept";
        break;
    case LOG_TWO_LINES:
        EXPECT_EQ("", DroppedThen(after, last + 1, DroppedReason(c.fault)));
        break;
    case LOG_AS_BEFORE:
        EXPECT_TRUE(after == before) << "the log changed: " << WholeLinesUpTo(after, last + 1);
        break;
    case LOG_MISSING:
        break;
    }
    EXPECT_LE(after.size(), (size_t)ACCOUNT_FILE_LIMIT);
    if (c.nextKept) {
        // The kept lines and the new one, whole, in the new file.
        std::string kept = ReadBytes(next);
        EXPECT_EQ("", WholeLinesUpTo(kept, last + 1));
        EXPECT_GE(kept.size(), (size_t)ACCOUNT_FILE_LIMIT / 2 - 120) << "too few lines kept";
    } else {
        EXPECT_FALSE(FileExists(next)) << "the new file was left behind";
    }
    EXPECT_FALSE(FileExists(temp)) << "the temporary file was left behind";
    EXPECT_GE(g_writes, 1);
    EXPECT_EQ(c.moves, g_moves);
    ExpectNoTornStep(before, after, last + 1);

    // The next line goes on after the fault: a new file left behind takes
    // the log's place first.
    g_fault = NO_FAULT;
    g_seen.clear();
    const std::string left = ReadBytes(next);
    ASSERT_TRUE(AppendVarying(last + 2));
    std::string then = ReadBytes(path);
    const std::string newest = VaryingLine(last + 2) + "\r\n";
    ASSERT_GE(then.size(), newest.size());
    EXPECT_EQ(newest, then.substr(then.size() - newest.size()));
    std::string older = then.substr(0, then.size() - newest.size());
    if (c.log == LOG_TWO_LINES) {
        EXPECT_EQ("", DroppedThen(older, last + 1, DroppedReason(c.fault)));
    } else {
        // The line of the fault is there whenever it was kept.
        EXPECT_EQ("", WholeLinesUpTo(older, c.appended || c.nextKept ? last + 1 : last));
    }
    EXPECT_FALSE(FileExists(next)) << "the new file is still there";
    ExpectNoTornStep(after, then, last + 2, left);
}

INSTANTIATE_TEST_SUITE_P(Faults, AccountFaultTest, ::testing::ValuesIn(kFaultCases),
                         [](const ::testing::TestParamInfo<FaultCase> &info) {
                             return std::string(info.param.name);
                         });

// --- Stopped while the log begins anew ------------------------------------------
//
// The program stops at a step of a rollover (a battery pull): the file it
// was writing holds what reached it. At the next event the log keeps every
// line it held: the kept lines of its last half, whole, then the line of
// the stopped event if it was written whole, then the new line.
// Here "appended" is 1 when the line of the stopped event is kept.

const FaultCase kStopCases[] = {
    {"NewFileCutAtALineEnd", true, STOP_CUT_AT_LINE_END, 0, LOG_AS_BEFORE, false, 0},
    {"NewFileCutWithinALine", true, STOP_CUT_WITHIN_LINE, 0, LOG_AS_BEFORE, false, 0},
    {"KeptLinesWrittenLineNot", true, STOP_AT_SECOND_WRITE, 0, LOG_AS_BEFORE, false, 0},
    {"NewFileWholeMoveNotBegun", true, STOP_AT_MOVE, 1, LOG_AS_BEFORE, false, 0},
};

struct AppendCall {
    std::wstring path;
    std::wstring line;
};

DWORD WINAPI AppendOnAThread(LPVOID call)
{
    const AppendCall *c = (const AppendCall *)call;
    return (DWORD)AppendAccountLine(c->path.c_str(), c->line.c_str());
}

class AccountStopTest : public AccountFaultTest {
protected:
    void SetUp() override
    {
        AccountFaultTest::SetUp();
        g_stopped = CreateEventW(NULL, TRUE, FALSE, NULL);
        g_writtenAtStop = INVALID_HANDLE_VALUE;
    }
    void TearDown() override
    {
        CloseHandle(g_stopped);
        AccountFaultTest::TearDown();
    }

    // Adds the line on a thread of its own, which stops at the planted step:
    // true when it stopped there, within a bounded wait.
    bool AppendAndStop(int number)
    {
        std::string text = VaryingLine(number);
        AppendCall call = {path, std::wstring(text.begin(), text.end())};
        HANDLE thread = CreateThread(NULL, 0, AppendOnAThread, &call, 0, NULL);
        if (!thread)
            return false;
        HANDLE waits[2] = {g_stopped, thread};
        DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 10000);
        bool stopped = woke == WAIT_OBJECT_0;
        if (woke != WAIT_OBJECT_0 + 1) {
            TerminateThread(thread, 0);
            WaitForSingleObject(thread, 10000);
        }
        CloseHandle(thread);
        if (g_writtenAtStop != INVALID_HANDLE_VALUE)
            CloseHandle(g_writtenAtStop);
        g_writtenAtStop = INVALID_HANDLE_VALUE;
        return stopped;
    }
};

TEST_P(AccountStopTest, NextEventKeepsTheLogsLines)
{
    const FaultCase &c = GetParam();
    int last = 0;
    const std::string before = LogBefore(true, &last);
    ASSERT_TRUE(WriteBytes(path, before));
    ASSERT_TRUE(AppendAndStop(last + 1)) << "the program did not reach the planted step";
    EXPECT_EQ(before, ReadBytes(path)) << "the log changed before the move";

    // After the new start.
    g_fault = NO_FAULT;
    ASSERT_TRUE(AppendVarying(last + 2));
    const std::string then = ReadBytes(path);
    const std::string newest = VaryingLine(last + 2) + "\r\n";
    ASSERT_GE(then.size(), newest.size());
    EXPECT_EQ(newest, then.substr(then.size() - newest.size()));
    const std::string older = then.substr(0, then.size() - newest.size());
    EXPECT_EQ("", WholeLinesUpTo(older, c.appended ? last + 1 : last)) << "the log lost lines";
    EXPECT_GE(older.size(), (size_t)ACCOUNT_FILE_LIMIT / 2 - 120) << "too few lines kept";
    EXPECT_LE(then.size(), (size_t)ACCOUNT_FILE_LIMIT);
    EXPECT_FALSE(FileExists(next)) << "the new file is still there";
    EXPECT_FALSE(FileExists(temp)) << "the temporary file is still there";
}

INSTANTIATE_TEST_SUITE_P(Stops, AccountStopTest, ::testing::ValuesIn(kStopCases),
                         [](const ::testing::TestParamInfo<FaultCase> &info) {
                             return std::string(info.param.name);
                         });

// --- A new file left from an earlier event ------------------------------------

struct LeftCase {
    const char *name;
    int log;              // the log holds lines 1 to log; 0: there is no log
    std::string next;     // the new file left beside it; empty: none
    std::string temp;     // the temporary file left beside it; empty: none
    bool held;            // a reader holds the log all through
    int appended;
    int logLast;          // the log's last line afterwards
    int nextLast;         // the new file's last line afterwards, 0: gone
};

// Before a line is added, a new file left behind takes the log's place,
// when it is whole: one cut short beside a whole log goes. While a reader
// holds the log, the line goes on in the new file, the newest copy. A
// temporary file left from a stop goes; with neither the log nor the new
// file there, it was whole when a move on a card deleted the file it was to
// replace, and it is all there is.
TEST_F(AccountFile, NewFileLeftBehindTakesTheLogsPlaceFirst)
{
    const std::string three = VaryingLines(1, 3);
    const std::string two = VaryingLines(1, 2);
    const std::string cut = two + "line 00003 ab";
    const LeftCase cases[] = {
        {"TakesTheMissingLogsPlace", 0, three, "", false, 1, 4, 0},
        {"TakesTheOldLogsPlace", 2, three, "", false, 1, 4, 0},
        // Stopped while it was written: it holds less than the log.
        {"CutShortBesideTheLogGoes", 3, cut, "", false, 1, 4, 0},
        {"EndingInZerosBesideTheLogGoes", 3, two + std::string(16, '\0'), "", false, 1, 4, 0},
        {"ReaderHoldsTheLog", 2, three, "", true, 0, 2, 4},
        // Stopped while it was written, at a line end or within a line.
        {"StaleTempBesideTheLogGoes", 3, "", VaryingLines(1, 1), false, 1, 4, 0},
        {"StaleTempCutWithinALineGoes", 3, "", cut, false, 1, 4, 0},
        {"StaleTempBesideTheNewFileGoes", 0, three, VaryingLines(1, 1), false, 1, 4, 0},
        {"StaleTempBesideBothGoes", 1, three, two, false, 1, 4, 0},
        {"TempAloneIsAllThereIs", 0, "", three, false, 1, 4, 0},
    };
    const std::wstring next = path + L".next", temp = path + L".tmp";
    for (const LeftCase &c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(path.c_str());
        if (c.log) {
            ASSERT_TRUE(WriteBytes(path, VaryingLines(1, c.log)));
        }
        if (!c.next.empty()) {
            ASSERT_TRUE(WriteBytes(next, c.next));
        }
        if (!c.temp.empty()) {
            ASSERT_TRUE(WriteBytes(temp, c.temp));
        }
        HANDLE reader = INVALID_HANDLE_VALUE;
        if (c.held) {
            reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 NULL, OPEN_EXISTING, 0, NULL);
            ASSERT_NE(INVALID_HANDLE_VALUE, reader);
        }
        std::string line = VaryingLine(4);
        EXPECT_EQ(c.appended,
                  AppendAccountLine(path.c_str(), std::wstring(line.begin(), line.end()).c_str()));
        if (reader != INVALID_HANDLE_VALUE)
            CloseHandle(reader);
        EXPECT_EQ("", WholeLinesUpTo(ReadBytes(path), c.logLast));
        EXPECT_EQ(c.nextLast != 0, FileExists(next));
        if (c.nextLast) {
            EXPECT_EQ("", WholeLinesUpTo(ReadBytes(next), c.nextLast));
        }
        EXPECT_FALSE(FileExists(temp)) << "the temporary file is still there";
        DeleteFileW(next.c_str());
        DeleteFileW(temp.c_str());
    }
}

// The numbered test line of about 1000 characters, so that few lines fill
// the file.
std::string LongLine(int number)
{
    char head[16];
    snprintf(head, sizeof(head), "line %05d ", number);
    return std::string(head) + std::string(900 + (number * 37) % 91, (char)('a' + number % 26));
}

// "" when bytes is a run of whole, consecutive long test lines ending in
// the line numbered last; else what is wrong.
std::string WholeLongLinesUpTo(const std::string &bytes, int last)
{
    size_t at = 0;
    int previous = -1;
    while (at < bytes.size()) {
        size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos)
            return "a line without its line end";
        std::string line = bytes.substr(at, end - at);
        int number = atoi(line.c_str() + 5);
        if (line != LongLine(number))
            return "not a whole line: " + line.substr(0, 40);
        if (previous >= 0 && number != previous + 1)
            return "line " + std::to_string(number) + " follows line " + std::to_string(previous);
        previous = number;
        at = end + 2;
    }
    return previous == last ? "" : "the last line is " + std::to_string(previous);
}

struct HeldCase {
    const char *name;
    DWORD share;  // what the reader shares
    int lines;    // lines added while it holds the log
};

// While a reader holds the log, no line is lost: the log is opened with a
// few tries, and after them (a reader that shares reading only) its lines
// and the line go to the new file. Lines go on in the new file while the
// reader holds the log; past the limit it begins anew as the log would,
// never growing past the limit. Once the reader lets go, the new file takes
// the log's place at the next line.
TEST_F(AccountFile, ReaderHoldingTheLogLosesNoLine)
{
    const HeldCase cases[] = {
        {"SharingReadingOnly", FILE_SHARE_READ, 1},
        {"NewFilePastTheLimit", FILE_SHARE_READ | FILE_SHARE_WRITE, 45},
        {"NewFilePastTheLimitSharingReadingOnly", FILE_SHARE_READ, 45},
    };
    const std::wstring next = path + L".next", temp = path + L".tmp";
    for (const HeldCase &c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(next.c_str());
        // Room for a few more lines before the log begins anew.
        int last = 0;
        std::string before;
        while (before.size() + LongLine(last + 1).size() + 2 <= ACCOUNT_FILE_LIMIT - 3000)
            before += LongLine(++last) + "\r\n";
        ASSERT_TRUE(WriteBytes(path, before));
        HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, c.share, NULL, OPEN_EXISTING, 0,
                                    NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, reader);
        const int first = last + 1;
        int shrunk = 0;
        size_t previous = 0;
        for (int i = 0; i < c.lines; ++i) {
            std::string line = LongLine(++last);
            AppendAccountLine(path.c_str(), std::wstring(line.begin(), line.end()).c_str());
            // Lines the log takes while the reader shares writing and the
            // log has room.
            if (!FileExists(next)) {
                ASSERT_EQ("", WholeLongLinesUpTo(ReadBytes(path), last)) << "the line is lost";
                continue;
            }
            std::string kept = ReadBytes(next);
            ASSERT_EQ("", WholeLongLinesUpTo(kept, last)) << "the new file lost a line";
            ASSERT_LE(kept.size(), (size_t)ACCOUNT_FILE_LIMIT);
            shrunk += kept.size() < previous;
            previous = kept.size();
        }
        if (c.lines > 1) {
            EXPECT_GE(shrunk, 1) << "the new file never began anew";
        }
        CloseHandle(reader);

        std::string line = LongLine(++last);
        EXPECT_EQ(1,
                  AppendAccountLine(path.c_str(), std::wstring(line.begin(), line.end()).c_str()));
        std::string after = ReadBytes(path);
        EXPECT_EQ("", WholeLongLinesUpTo(after, last));
        if (c.lines == 1) {
            EXPECT_EQ(before + LongLine(first) + "\r\n" + line + "\r\n", after);
        }
        EXPECT_GE(after.size(), (size_t)ACCOUNT_FILE_LIMIT / 2);
        EXPECT_LE(after.size(), (size_t)ACCOUNT_FILE_LIMIT);
        EXPECT_FALSE(FileExists(next)) << "the new file is still there";
        EXPECT_FALSE(FileExists(temp)) << "the temporary file is still there";
    }
}


// A log whose ".next" would pass MAX_PATH - 1 characters begins anew in a
// sibling of its own length, though the file system takes the longer path.
TEST_F(AccountFile, LongPathBeginsAnewInASibling)
{
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"vorn_account_long_";
    folder += std::wstring(MAX_PATH - 1 - 3 - folder.size() - 9, L'f');
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
    const std::wstring log = folder + L"\\vorn.log";
    ASSERT_EQ((size_t)MAX_PATH - 4, log.size());
    const std::wstring dotNext = log + L".next", sibling = folder + L"\\vorn.lo~";
    DeleteFileW(dotNext.c_str());
    DeleteFileW(sibling.c_str());

    int last = 0;
    std::string before;
    while (before.size() + VaryingLine(last + 1).size() + 2 <= ACCOUNT_FILE_LIMIT)
        before += VaryingLine(++last) + "\r\n";
    ASSERT_TRUE(WriteBytes(log, before));
    std::string line = VaryingLine(last + 1);
    g_faultLog = log;
    g_seen.clear();
    g_fault = NO_FAULT;
    g_moves = 0;
    g_logDeleted = false;
    g_accountMove = FaultyMove;
    EXPECT_EQ(1, AppendAccountLine(log.c_str(), std::wstring(line.begin(), line.end()).c_str()));
    g_accountMove = MoveFileOver;
    std::string after = ReadBytes(log);
    EXPECT_EQ("", WholeLinesUpTo(after, last + 1));
    EXPECT_LT(after.size(), before.size());
    EXPECT_EQ(1, g_moves);
    EXPECT_EQ(sibling, g_moveFrom);
    EXPECT_FALSE(FileExists(dotNext)) << "a path past MAX_PATH - 1 characters was made";
    EXPECT_FALSE(FileExists(sibling));
    DeleteFileW(log.c_str());
    DeleteFileW(dotNext.c_str());
    DeleteFileW(sibling.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(AccountFile, FileThatCannotBeWrittenGivesZero)
{
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring missing = std::wstring(temp) + L"vorn no such folder\\vorn.log";
    EXPECT_EQ(0, AppendAccountLine(missing.c_str(), L"line"));
    EXPECT_FALSE(FileExists(missing));

    ASSERT_TRUE(CreateDirectoryW(path.c_str(), NULL));
    EXPECT_EQ(0, AppendAccountLine(path.c_str(), L"line"));
    RemoveDirectoryW(path.c_str());

    EXPECT_EQ(0, AppendAccountLine(NULL, L"line"));
    EXPECT_EQ(0, AppendAccountLine(L"", L"line"));
}

}  // namespace
