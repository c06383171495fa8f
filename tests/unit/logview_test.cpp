// The editor's view of the account: the log's tail read while the monitor
// may hold it, its lines newest first, and the cut at what fits the view.
#include <gtest/gtest.h>
#include <algorithm>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "support/phone.h"
#include "editor/editor.h"
#include "editor/logview.h"
#include "monitor/account.h"
#include "common/globals.h"
#include "common/message.h"
#include "res/resource.h"

namespace {

const wchar_t kClass[] = L"QZSGCFGEDIT";

std::wstring Sentence() { return LoadResString(IDS_LOG_OFF); }

// A folder of this test's own with vorn.txt and vorn.log in it.
class LogViewFileTest : public ::testing::Test {
protected:
    std::wstring folder, config, log;

    void SetUp() override
    {
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"vorn_unit_logview";
        CreateDirectoryW(folder.c_str(), NULL);
        config = folder + L"\\vorn.txt";
        log = folder + L"\\vorn.log";
        Clean();
    }

    void TearDown() override { Clean(); }

    void Clean() const
    {
        DeleteFileW(config.c_str());
        DeleteFileW(log.c_str());
        DeleteFileW((log + L".next").c_str());
        DeleteFileW((folder + L"\\moved.log").c_str());
    }
};

// ComposeLogView's block, through its seam, with a guard pattern after the
// size it asked for: under Wine a write a little past the heap block does
// not crash, so the pattern shows it.
const size_t kGuardBytes = 32768;
const unsigned char kGuard = 0xA5;
unsigned char *g_block = nullptr;
size_t g_asked = 0;

void *GuardedAlloc(size_t size)
{
    g_block = (unsigned char *)malloc(size + kGuardBytes);
    g_asked = size;
    if (g_block)
        memset(g_block + size, kGuard, kGuardBytes);
    return g_block;
}

// Bytes written past the block asked for, as far as the guard tells.
size_t WrittenPast()
{
    size_t past = 0;
    for (size_t i = 0; g_block && i < kGuardBytes; ++i) {
        if (g_block[g_asked + i] != kGuard)
            past = i + 1;
    }
    return past;
}

class ComposeLogViewTest : public ::testing::Test {
protected:
    void SetUp() override { g_logViewAlloc = GuardedAlloc; }
    void TearDown() override { g_logViewAlloc = malloc; }

    // The view's text as composed, checked against the guard before it
    // is freed; ends and events as ComposeLogView gives them.
    bool Compose(const wchar_t *sentence, const std::wstring *tail, int maxEvents,
                 std::wstring *text, std::vector<int> *ends)
    {
        g_block = nullptr;
        g_asked = 0;
        std::vector<int> all(maxEvents > 0 ? maxEvents : 1, -1);
        int events = -1;
        LPWSTR composed =
            ComposeLogView(sentence, tail ? tail->c_str() : nullptr, all.data(), maxEvents, &events);
        ends->assign(all.begin(), all.begin() + (events > 0 ? events : 0));
        if (!composed) {
            EXPECT_EQ(0, events);
            return false;
        }
        EXPECT_EQ((void *)composed, (void *)g_block) << "not the seam's block";
        EXPECT_EQ(0u, WrittenPast()) << "written past the " << g_asked << "-byte block";
        *text = composed;
        free(composed);
        return true;
    }
};

struct ComposeCase {
    const char *name;
    const wchar_t *sentence;  // null: none
    const wchar_t *tail;      // null: no log
    int maxEvents;
    const wchar_t *text;      // null: nothing to show
    std::vector<int> ends;
};

const ComposeCase kComposeCases[] = {
    {"two lines newest first", nullptr, L"one\r\ntwo\r\n", 8, L"two\r\n\r\none", {3, 10}},
    {"sentence before the lines", L"Off.", L"one\r\ntwo\r\n", 8, L"Off.\r\n\r\ntwo\r\n\r\none",
     {11, 18}},
    {"sentence alone", L"Off.", nullptr, 8, L"Off.", {}},
    {"nothing at all", nullptr, nullptr, 8, nullptr, {}},
    {"an empty log", nullptr, L"", 8, nullptr, {}},
    {"bare line feeds and empty lines", nullptr, L"a\n\r\n\nb\n", 8, L"b\r\n\r\na", {1, 6}},
    {"only the newest beyond the room", nullptr, L"1\r\n2\r\n3\r\n", 2, L"3\r\n\r\n2", {1, 6}},
};

TEST_F(ComposeLogViewTest, NewestFirstAfterTheSentence)
{
    for (const ComposeCase &c : kComposeCases) {
        SCOPED_TRACE(c.name);
        std::wstring tail = c.tail ? c.tail : L"";
        std::wstring text;
        std::vector<int> ends;
        bool shown = Compose(c.sentence, c.tail ? &tail : nullptr, c.maxEvents, &text, &ends);
        if (!c.text) {
            EXPECT_FALSE(shown);
            continue;
        }
        ASSERT_TRUE(shown);
        EXPECT_EQ(std::wstring(c.text), text);
        EXPECT_EQ(c.ends, ends);
    }
}

// One-character lines grow the most: "x" and a line end in, the line and
// the blank line after it out. A bare CR ends no line: the log's lines end
// in LF, so such a log is one line with CRs in it.
TEST_F(ComposeLogViewTest, OneCharacterLinesStayWithinTheBlock)
{
    const struct {
        const char *name;
        const wchar_t *end;
    } lineEnds[] = {{"LF", L"\n"}, {"CR LF", L"\r\n"}, {"bare CR", L"\r"}};
    const struct {
        const char *name;
        int lines;         // 0: as many as fill the tail the view reads
        bool sentence;
    } sizes[] = {
        {"12 lines, the account on", 12, false},
        {"8 lines and the sentence", 8, true},
        {"100 lines", 100, false},
        {"100 lines and the sentence", 100, true},
        {"the tail the view reads", 0, false},
    };
    const std::wstring sentence = Sentence();
    ASSERT_FALSE(sentence.empty());
    for (const auto &lineEnd : lineEnds) {
        for (const auto &size : sizes) {
            const int lineLength = 1 + lstrlenW(lineEnd.end);
            const int lines = size.lines ? size.lines : LOG_VIEW_BYTES / lineLength;
            std::wstring tail;
            for (int i = 0; i < lines; ++i)
                tail += std::wstring(1, (wchar_t)(L'a' + i % 26)) + lineEnd.end;
            const bool oneLine = lineEnd.end[0] == L'\r' && !lineEnd.end[1];
            // The view's bound on events, and none.
            for (int maxEvents : {LOG_VIEW_EVENTS, lines}) {
                SCOPED_TRACE(std::string(lineEnd.name) + ", " + size.name + ", at most " +
                             std::to_string(maxEvents) + " events");
                std::wstring expected = size.sentence ? sentence : L"";
                std::vector<int> expectedEnds;
                if (oneLine) {
                    expected += (expected.empty() ? L"" : L"\r\n\r\n") +
                                tail.substr(0, tail.size() - 1);
                    expectedEnds.push_back((int)expected.size());
                }
                for (int i = lines - 1; !oneLine && i >= 0 && lines - i <= maxEvents; --i) {
                    expected += (expected.empty() ? L"" : L"\r\n\r\n") +
                                std::wstring(1, (wchar_t)(L'a' + i % 26));
                    expectedEnds.push_back((int)expected.size());
                }
                std::wstring text;
                std::vector<int> ends;
                ASSERT_TRUE(Compose(size.sentence ? sentence.c_str() : nullptr, &tail, maxEvents,
                                    &text, &ends));
                EXPECT_EQ(expected, text);
                EXPECT_EQ(expectedEnds, ends);
            }
        }
    }
}

TEST_F(LogViewFileTest, ReadLogTailGivesWholeLinesOnly)
{
    std::string many;
    for (int i = 0; many.size() < 3 * LOG_VIEW_BYTES; ++i)
        many += "event " + std::to_string(i) + " | what decided | what Vorn did\r\n";
    const struct {
        const char *name;
        bool exists;
        std::string bytes;
        const wchar_t *tail;  // null: none; else the start of the tail
        const char *ends;     // the tail's end
    } cases[] = {
        {"no log", false, "", nullptr, ""},
        {"an empty log", true, "", nullptr, ""},
        {"whole lines", true, "a | b\r\nc | d\r\n", L"a | b\r\nc | d\r\n", "c | d\r\n"},
        {"a line still being written", true, "a | b\r\nc | ", L"a | b\r\n", "a | b\r\n"},
        {"no whole line", true, "c | ", nullptr, ""},
        {"a log longer than the view reads", true, many, L"event ",
         "what Vorn did\r\n"},
        // A card's file after a battery pull may end in zeros, and the
        // monitor then writes its next lines after them.
        {"zeros, then new lines", true, "a | b\r\n" + std::string(300, '\0') + "c | d\r\n",
         L"a | b\r\nc | d\r\n", "c | d\r\n"},
        {"zeros inside and at the end", true,
         std::string("a | b\r\nc\0\0 | d\r\n", 16) + std::string(300, '\0'),
         L"a | b\r\nc | d\r\n", "c | d\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Clean();
        if (c.exists) {
            ASSERT_TRUE(WriteBytes(log, c.bytes));
        }
        LPWSTR tail = ReadLogTail(log.c_str());
        if (!c.tail) {
            EXPECT_EQ(nullptr, tail);
            continue;
        }
        ASSERT_NE(nullptr, tail);
        std::wstring got = tail;
        free(tail);
        EXPECT_EQ(0u, got.find(c.tail)) << Narrow(got.substr(0, 40));
        std::string end = c.ends;
        std::wstring wideEnd(end.begin(), end.end());
        ASSERT_GE(got.size(), wideEnd.size());
        EXPECT_EQ(wideEnd, got.substr(got.size() - wideEnd.size()));
        EXPECT_LE(got.size(), (size_t)LOG_VIEW_BYTES);
        // The tail is the file's end but for its zeros: its newest line is
        // the tail's last.
        std::string bytes = c.bytes.substr(0, c.bytes.rfind('\n') + 1);
        bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
        EXPECT_EQ(bytes.substr(bytes.size() - got.size()), Narrow(got));
    }
}

TEST_F(LogViewFileTest, ReadLogTailWhileTheMonitorWritesAndLetsGoAtOnce)
{
    ASSERT_TRUE(WriteBytes(log, "a | b\r\n"));
    // The monitor's way of holding the log: writing, sharing reading only.
    HANDLE monitor = CreateFileW(log.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, monitor);
    LPWSTR tail = ReadLogTail(log.c_str());
    CloseHandle(monitor);
    ASSERT_NE(nullptr, tail);
    EXPECT_EQ(std::wstring(L"a | b\r\n"), tail);
    free(tail);
    // Nothing is left open: the monitor can write, replace and move it.
    tail = ReadLogTail(log.c_str());
    free(tail);
    HANDLE writer = CreateFileW(log.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, writer);
    CloseHandle(writer);
    std::wstring moved = folder + L"\\moved.log";
    EXPECT_TRUE(MoveFileExW(log.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING));
}

// After a move that failed once the old log was gone (a storage card), the
// new file holds the latest lines until the next event puts it in the
// log's place: the view reads it while the log is missing, and the log
// whenever the log is there.
TEST_F(LogViewFileTest, ReadLogTailReadsTheNewFileWhileTheLogIsMissing)
{
    WCHAR nextPath[CONFIG_PATH_CAPACITY];
    const std::wstring next = GetAccountNextPath(log.c_str(), nextPath);
    ASSERT_EQ(log + L".next", next);
    ASSERT_TRUE(WriteBytes(next, "new | lines\r\n"));
    LPWSTR tail = ReadLogTail(log.c_str());
    ASSERT_NE(nullptr, tail);
    EXPECT_EQ(std::wstring(L"new | lines\r\n"), tail);
    free(tail);

    ASSERT_TRUE(WriteBytes(log, "old | lines\r\n"));
    tail = ReadLogTail(log.c_str());
    ASSERT_NE(nullptr, tail);
    EXPECT_EQ(std::wstring(L"old | lines\r\n"), tail);
    free(tail);

    DeleteFileW(next.c_str());
    DeleteFileW(log.c_str());
    EXPECT_EQ(nullptr, ReadLogTail(log.c_str()));
}

// A line of the account as the monitor writes it, at second s of 09:41.
std::string AccountLine(int s, const std::wstring &title, const wchar_t *deed_entry = L"x")
{
    SYSTEMTIME time = {};
    time.wHour = 9;
    time.wMinute = 41 + s / 60;
    time.wSecond = (WORD)(s % 60);
    EventAccount account = {};
    account.posted = 0x10001;
    account.front = (HWND)1;
    account.title = title.c_str();
    account.className = L"MailApp";
    account.program = L"appwin.exe";
    account.decided = DECIDED_BY_TITLE;
    account.entry = deed_entry;
    account.did = DID_TURN;
    account.waitedMs = 300;
    account.read = 0x10001;
    account.code = 3;
    WCHAR line[ACCOUNT_LINE_CAPACITY];
    FormatAccountLine(&time, &account, line, ACCOUNT_LINE_CAPACITY);
    return Narrow(line);
}

std::wstring Wide(const std::string &text) { return std::wstring(text.begin(), text.end()); }

HWND FindOwnEditor() { return FindProcessWindow(GetCurrentProcessId(), kClass, false); }

short Row(HWND view, int index)
{
    return (short)HIWORD(SendMessageW(view, EM_POSFROMCHAR, index, 0));
}

// Whether every row of the view's text lies wholly in its client area, as
// the edit itself places the rows.
bool AllRowsVisible(HWND view)
{
    int rows = (int)SendMessageW(view, EM_GETLINECOUNT, 0, 0);
    if (rows < 2 || SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0) != 0)
        return rows == 1;
    int height = Row(view, (int)SendMessageW(view, EM_LINEINDEX, 1, 0)) -
                 Row(view, (int)SendMessageW(view, EM_LINEINDEX, 0, 0));
    RECT client;
    GetClientRect(view, &client);
    int last = Row(view, (int)SendMessageW(view, EM_LINEINDEX, rows - 1, 0));
    return height > 0 && last + height <= client.bottom;
}

// The editor window on this thread, without a message loop.
class LogViewWindowTest : public LogViewFileTest {
protected:
    HWND window = NULL;
    HWND edit = NULL;

    void Open()
    {
        LoadEditorText(config.c_str());
        ASSERT_TRUE(CreateEditorWindow(g_vorn.ownModule, kClass, L"VORN"));
        window = FindOwnEditor();
        ASSERT_NE(nullptr, window);
        edit = GetDlgItem(window, EDITOR_VISIBLE_EDIT_ID);
        ASSERT_NE(nullptr, edit);
    }

    HWND View() const { return GetDlgItem(window, EDITOR_LOG_VIEW_ID); }
    std::wstring ViewText() const { return WindowText(View()); }
    void ShowLog() const { SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_SHOW_LOG, 0), 0); }

    void TearDown() override
    {
        if (IsWindow(window))
            DestroyWindow(window);
        MSG msg;
        while (PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE))
            ;
        LogViewFileTest::TearDown();
    }
};

// The view's first sentence is true as it stands. A configuration file
// that is missing, or that a writer holds, says nothing of the account (the
// running monitor keeps it as it was): the view says only that.
TEST_F(LogViewWindowTest, SentenceOnlyWhenTheSavedConfigurationKeepsNoAccount)
{
    const std::string lines = AccountLine(1, L"Inbox") + "\r\n" + AccountLine(2, L"Notes") + "\r\n";
    const std::wstring newestFirst =
        Wide(AccountLine(2, L"Notes")) + L"\r\n\r\n" + Wide(AccountLine(1, L"Inbox"));
    const std::wstring missing = L"The configuration file is missing.";
    const std::wstring unread = L"The configuration file could not be read.";
    const struct {
        const char *name;
        const char *config;  // null: no file
        bool log;
        std::wstring text;
        bool held;           // a writer holds the file
    } cases[] = {
        {"log(1)", "#log(1)\r\n", true, newestFirst, false},
        {"log(1) and no log yet", "#log(1)\r\n", false, LoadResString(IDS_LOG_EMPTY), false},
        {"log(0)", "#window(a)\r\n#log(0)\r\n", true, Sentence() + L"\r\n\r\n" + newestFirst,
         false},
        {"log(0) and no log yet", "#log(0)\r\n", false, Sentence(), false},
        {"the last #log line counts", "#log(1)\r\n#log(0)\r\n", false, Sentence(), false},
        // What the sentence asks for, done to a text that turns it off.
        {"the text ends with #log(1)", "#log(0)\r\n#window(a)\r\n#log(1)\r\n", true,
         newestFirst, false},
        {"no #log line", "#timeout(0)\r\n", false, Sentence(), false},
        {"an empty file", "", false, Sentence(), false},
        {"no configuration file", nullptr, false, missing, false},
        {"no configuration file, and a log", nullptr, true, missing + L"\r\n\r\n" + newestFirst,
         false},
        {"held by a writer", "#log(0)\r\n", false, unread, true},
        {"held by a writer, and a log", "#log(1)\r\n", true, unread + L"\r\n\r\n" + newestFirst,
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Clean();
        if (c.config) {
            ASSERT_TRUE(WriteBytes(config, c.config));
        }
        if (c.log) {
            ASSERT_TRUE(WriteBytes(log, lines));
        }
        HANDLE writer = INVALID_HANDLE_VALUE;
        if (c.held) {
            writer = CreateFileW(config.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                 OPEN_EXISTING, 0, NULL);
            ASSERT_NE(INVALID_HANDLE_VALUE, writer);
        }
        Open();
        ShowLog();
        std::wstring shown = ViewText();
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        ASSERT_NE(nullptr, View());
        EXPECT_TRUE(IsWindowVisible(View()));
        EXPECT_FALSE(IsWindowVisible(edit));
        EXPECT_EQ(c.text, shown);
        // Showing the account writes nothing.
        EXPECT_EQ(c.config ? std::string(c.config) : std::string(), ReadBytes(config));
        EXPECT_EQ(c.config != nullptr, FileExists(config));
        EXPECT_EQ(c.log ? lines : std::string(), ReadBytes(log));
        DestroyWindow(window);
    }
}

TEST_F(LogViewWindowTest, AsManyAsFitNewestFirstWithALongTitle)
{
    ASSERT_TRUE(WriteBytes(config, "#log(1)\r\n"));
    std::vector<std::string> lines;
    std::string bytes;
    for (int i = 0; i < 40; ++i) {
        lines.push_back(AccountLine(i, L"Inbox " + std::to_wstring(i)));
        bytes += lines.back() + "\r\n";
    }
    // The newest: a title as long as a window's title gets, in one word.
    lines.push_back(AccountLine(59, std::wstring(127, L'W'), L"last entry"));
    bytes += lines.back() + "\r\n";
    ASSERT_TRUE(WriteBytes(log, bytes));
    Open();
    ShowLog();
    HWND view = View();
    ASSERT_NE(nullptr, view);

    std::wstring shown = ViewText();
    std::wstring expected;
    int count = 0;
    for (int i = (int)lines.size() - 1; i >= 0; --i) {
        std::wstring next = (expected.empty() ? L"" : expected + L"\r\n\r\n") + Wide(lines[i]);
        if (next.size() > shown.size())
            break;
        expected = next;
        ++count;
    }
    EXPECT_EQ(expected, shown) << "not the newest lines, newest first";
    EXPECT_GT(count, 1);
    EXPECT_LT(count, (int)lines.size()) << "the test's log fits whole: it shows no cut";
    EXPECT_TRUE(AllRowsVisible(view)) << "a line shown lies beyond the view";

    // The newest line's decision and outcome lie within the view.
    RECT client;
    GetClientRect(view, &client);
    int outcomeEnd = (int)Wide(lines.back()).size() - 1;
    LRESULT at = SendMessageW(view, EM_POSFROMCHAR, outcomeEnd, 0);
    EXPECT_LT((short)LOWORD(at), client.right);
    EXPECT_LT((short)HIWORD(at), client.bottom);
    EXPECT_NE(std::wstring::npos, shown.find(L"#window(last entry) matched the title | waited 300 "
                                             L"ms, read 0x00010001: turned to code 3"));

    // One more line would not have fitted whole.
    std::wstring more = expected + L"\r\n\r\n" + Wide(lines[lines.size() - 1 - count]);
    SetWindowTextW(view, more.c_str());
    EXPECT_FALSE(AllRowsVisible(view)) << "a line that fits was left out";
}

TEST_F(LogViewWindowTest, ComingBackToTheFrontReadsTheLogAgain)
{
    ASSERT_TRUE(WriteBytes(config, "#log(1)\r\n"));
    const std::string older = AccountLine(1, L"Inbox") + "\r\n";
    ASSERT_TRUE(WriteBytes(log, older));
    Open();
    ShowLog();
    ASSERT_EQ(Wide(AccountLine(1, L"Inbox")), ViewText());
    // An event while another app is in front.
    ASSERT_TRUE(WriteBytes(log, older + AccountLine(2, L"Notes") + "\r\n"));
    SendMessageW(window, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(Wide(AccountLine(1, L"Inbox")), ViewText()) << "read on going behind";
    SendMessageW(window, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(Wide(AccountLine(2, L"Notes")) + L"\r\n\r\n" + Wide(AccountLine(1, L"Inbox")),
              ViewText());
    EXPECT_TRUE(IsWindowVisible(View()));
    EXPECT_FALSE(IsWindowVisible(edit));
    // With the text shown, coming back leaves the view hidden.
    ShowLog();
    ASSERT_FALSE(IsWindowVisible(View()));
    SendMessageW(window, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_FALSE(IsWindowVisible(View()));
    EXPECT_TRUE(IsWindowVisible(edit));
}

TEST_F(LogViewWindowTest, TheTextComesBackAsItWas)
{
    ASSERT_TRUE(WriteBytes(config, "#log(1)\r\n"));
    ASSERT_TRUE(WriteBytes(log, AccountLine(1, L"Inbox") + "\r\n"));
    const struct {
        const char *name;
        UINT message;
        WPARAM command;  // for WM_COMMAND
    } ways[] = {
        {"the command again", WM_COMMAND, IDM_SHOW_LOG},
        {"another command", WM_COMMAND, IDM_SELECTALL},
        {"a tap on the view", WM_LBUTTONDOWN, 0},
    };
    for (const auto &way : ways) {
        SCOPED_TRACE(way.name);
        Open();
        SetWindowTextW(edit, L"#window(unsaved)\r\n");
        SendMessageW(edit, EM_SETSEL, 3, 5);
        ShowLog();
        ASSERT_TRUE(IsWindowVisible(View()));
        // Keys go to no text while the account shows.
        EXPECT_NE(edit, GetFocus());
        if (way.message == WM_COMMAND) {
            SendMessageW(window, WM_COMMAND, MAKEWPARAM(way.command, 0), 0);
        } else {
            SendMessageW(View(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
            SendMessageW(View(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        }
        EXPECT_FALSE(IsWindowVisible(View()));
        EXPECT_TRUE(IsWindowVisible(edit));
        EXPECT_EQ(L"#window(unsaved)\r\n", WindowText(edit));
        if (way.command != IDM_SELECTALL) {
            DWORD start = 0, end = 0;
            SendMessageW(edit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
            EXPECT_EQ(3u, start);
            EXPECT_EQ(5u, end);
        }
        EXPECT_FALSE(FileExists(folder + L"\\~vorn1.tmp"));
        EXPECT_EQ("#log(1)\r\n", ReadBytes(config));
        DestroyWindow(window);
    }
}

}  // namespace
