// The account in the editor: Edit > Show log puts the log's latest lines,
// newest first and read-only, in place of the text, as many as fit the
// screen as it is; the text comes back as it was, unsaved edits and all.
#include "editor_session.h"

namespace {

const wchar_t kOffSentence[] = L"New events are not recorded: to record them, end the text "
                               L"with the line #log(1) and choose Save.";

std::wstring Wide(const std::string &text) { return std::wstring(text.begin(), text.end()); }

// The lines of a log, without their line ends.
std::vector<std::string> LogLines(const std::string &bytes)
{
    std::vector<std::string> lines;
    size_t at = 0, end;
    while ((end = bytes.find("\r\n", at)) != std::string::npos) {
        lines.push_back(bytes.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// A line as the monitor writes it, at second s, with the window in front.
std::string Line(int s, const std::string &title)
{
    char time[16];
    snprintf(time, sizeof(time), "09:%02d:%02d", 41 + s / 60, s % 60);
    return std::string(time) + " | 0x00010001 on its other side | \"" + title +
           "\" MailApp appwin.exe | no entry matched, onlyfor 0 | waited 0 ms, read "
           "0x00010001: turned to code 3";
}

short RowOf(HWND view, int index)
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
    int height = RowOf(view, (int)SendMessageW(view, EM_LINEINDEX, 1, 0)) -
                 RowOf(view, (int)SendMessageW(view, EM_LINEINDEX, 0, 0));
    RECT client;
    GetClientRect(view, &client);
    int last = RowOf(view, (int)SendMessageW(view, EM_LINEINDEX, rows - 1, 0));
    return height > 0 && last + height <= client.bottom;
}

class EditorLogTest : public EditorTest {
protected:
    // The account's view: the editor's edit that is not the text.
    HWND View() const
    {
        for (HWND child = FindWindowExW(window, NULL, L"EDIT", NULL); child;
             child = FindWindowExW(window, child, L"EDIT", NULL)) {
            if (child != edit)
                return child;
        }
        return NULL;
    }
    bool ViewShown() const
    {
        HWND view = View();
        return view && IsWindowVisible(view) && !IsWindowVisible(edit);
    }
    bool TextShown() const
    {
        HWND view = View();
        return IsWindowVisible(edit) && (!view || !IsWindowVisible(view));
    }
    std::wstring ViewText() const { return WindowText(View()); }
    std::wstring LogPath() const { return Path(L"vorn.log"); }

    // Whether the view lies on the width x height screen, on the editor's
    // client area but for a one-pixel frame, and shows every row it holds.
    bool FitsScreen(int width, int height) const
    {
        HWND view = View();
        RECT client, inner;
        if (!view || !GetClientRect(window, &client) || !GetWindowRect(view, &inner))
            return false;
        RECT screen = {0, 0, width, height}, onScreen;
        IntersectRect(&onScreen, &inner, &screen);
        bool onTheScreen = EqualRect(&onScreen, &inner) != FALSE;
        MapWindowPoints(NULL, window, (POINT *)&inner, 2);
        RECT placed = {client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
        return ScreenIs(width, height) && onTheScreen && EqualRect(&inner, &placed) &&
               AllRowsVisible(view);
    }
};

TEST_F(EditorLogTest, TwoEventsNewestFirst)
{
    ASSERT_TRUE(WriteBytes(ConfigPath(), "#log(1)\r\n#timeout(0)\r\n"));
    StartMonitor();
    SetSensor(0x10000);
    ASSERT_TRUE(WaitUntil([&] { return LogLines(ReadBytes(LogPath())).size() == 1; }));
    SetSensor(0x10002);
    ASSERT_TRUE(WaitUntil([&] { return LogLines(ReadBytes(LogPath())).size() == 2; }));
    std::vector<std::string> lines = LogLines(ReadBytes(LogPath()));
    ASSERT_NE(std::string::npos, lines[0].find("on its side"));
    ASSERT_NE(std::string::npos, lines[1].find("upright"));

    OpenEditor();
    Command(IDM_SHOW_LOG);
    EXPECT_TRUE(ViewShown());
    EXPECT_EQ(Wide(lines[1]) + L"\r\n\r\n" + Wide(lines[0]), ViewText());
    // Read-only: the view takes no text of the user's.
    EXPECT_NE(0, GetWindowLongW(View(), GWL_STYLE) & ES_READONLY);
    ExitEditor();
}

TEST_F(EditorLogTest, LogZeroAndNoLogShowTheOneSentence)
{
    ASSERT_TRUE(WriteBytes(ConfigPath(), "#log(0)\r\n"));
    OpenEditor();
    Command(IDM_SHOW_LOG);
    EXPECT_TRUE(ViewShown());
    EXPECT_EQ(kOffSentence, ViewText());
    EXPECT_FALSE(FileExists(LogPath()));
    EXPECT_EQ("#log(0)\r\n", ReadBytes(ConfigPath()));
    ExitEditor();
}

struct WayBack {
    const char *name;
    bool tap;     // a tap on the view; else the command
    int command;
};

const WayBack kWaysBack[] = {
    {"the command again", false, IDM_SHOW_LOG},
    {"a tap on the view", true, 0},
    {"another command", false, IDM_COPY},
};

TEST_F(EditorLogTest, AnUnsavedEditSurvives)
{
    const std::string saved = "#log(1)\r\n";
    ASSERT_TRUE(WriteBytes(ConfigPath(), saved));
    ASSERT_TRUE(WriteBytes(LogPath(), Line(1, "Inbox") + "\r\n"));
    OpenEditor();
    const std::wstring unsaved = L"#log(1)\r\n#window(unsaved)\r\n";
    SetEditText(unsaved);
    for (const WayBack &way : kWaysBack) {
        SCOPED_TRACE(way.name);
        Select(12, 15);
        Command(IDM_SHOW_LOG);
        ASSERT_TRUE(ViewShown());
        EXPECT_EQ(Wide(Line(1, "Inbox")), ViewText());
        if (way.tap) {
            HWND view = View();
            PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
            PostMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        } else {
            Command(way.command);
        }
        EXPECT_TRUE(WaitUntil([&] { return TextShown(); })) << "the text does not come back";
        EXPECT_EQ(unsaved, EditText());
        EXPECT_EQ((DWORD)MAKELONG(12, 15), Selection());
    }
    EXPECT_EQ(saved, ReadBytes(ConfigPath()));
    EXPECT_TRUE(SaveLeftovers().empty());
    // The edit is the user's still: Save writes it.
    Command(IDM_SAVE);
    EXPECT_EQ(Narrow(unsaved), ReadBytes(ConfigPath()));
    ExitEditor();
}

struct Orientation {
    const char *name;
    DWORD sensor;  // 0: as the phone starts
    int width, height;
};

TEST_F(EditorLogTest, FitsTheScreenInBothOrientations)
{
    // The monitor turns the display and keeps no account: the view shows
    // the sentence, then the lines planted here, the newest with a title
    // as long as a window's title gets.
    ASSERT_TRUE(WriteBytes(ConfigPath(), "#log(0)\r\n#timeout(0)\r\n"));
    std::string bytes;
    for (int i = 0; i < 30; ++i)
        bytes += Line(i, "Inbox " + std::to_string(i)) + "\r\n";
    const std::string newest = Line(59, std::string(127, 'W'));
    bytes += newest + "\r\n";
    ASSERT_TRUE(WriteBytes(LogPath(), bytes));
    OpenEditor();
    StartMonitor();
    Command(IDM_SHOW_LOG);

    const Orientation steps[] = {{"portrait", 0, 480, 640},
                                 {"landscape", 0x10000, 640, 480},
                                 {"portrait again", 0x10002, 480, 640}};
    int portraitLines = 0;
    for (const Orientation &step : steps) {
        SCOPED_TRACE(step.name);
        if (step.sensor)
            SetSensor(step.sensor);
        EXPECT_TRUE(WaitUntil([&] { return FitsScreen(step.width, step.height); }))
            << "the view does not fit the " << step.width << "x" << step.height << " screen";
        // The view is placed before it is filled anew: let the editor end
        // what it does for the turn.
        Sync();
        EXPECT_TRUE(ViewShown());
        std::wstring shown = ViewText();
        // The sentence and the log's lines, a blank line between. Back in
        // portrait the view holds as many as it did before the turns, not
        // the fewer of the landscape screen.
        int lines = CountOccurrences(Narrow(shown), "\r\n\r\n") + 1;
        if (!step.sensor) {
            portraitLines = lines;
        } else if (step.height > step.width) {
            EXPECT_EQ(portraitLines, lines) << "the view is still cut for the turned screen";
        }
        const std::wstring head = std::wstring(kOffSentence) + L"\r\n\r\n" + Wide(newest);
        EXPECT_EQ(0u, shown.find(head)) << Narrow(shown.substr(0, 200));
        // The newest line's decision and outcome, after the long title, lie
        // on the view.
        HWND view = View();
        RECT client;
        GetClientRect(view, &client);
        LRESULT at = SendMessageW(view, EM_POSFROMCHAR, (WPARAM)(head.size() - 1), 0);
        EXPECT_LT((short)LOWORD(at), client.right);
        EXPECT_LT((short)HIWORD(at), client.bottom);
        EXPECT_LT(shown.size(), Wide(bytes).size()) << "all 31 lines shown: no cut to test";
    }
    ExitEditor();
}

TEST_F(EditorLogTest, ComingBackToTheFrontShowsWhatHappenedBehind)
{
    // The app in front is listed: the event leaves the display alone, so
    // nothing turns and nothing of the editor, behind it, is placed anew.
    ASSERT_TRUE(WriteBytes(ConfigPath(), "#log(1)\r\n#timeout(0)\r\n#window(cprog.exe)\r\n"));
    const std::string older = Line(1, "Inbox");
    ASSERT_TRUE(WriteBytes(LogPath(), older + "\r\n"));
    OpenEditor();
    StartMonitor();
    Command(IDM_SHOW_LOG);
    ASSERT_TRUE(ViewShown());
    ASSERT_EQ(Wide(older), ViewText());

    OpenApp(L"Calculator", L"CalcFrame", L"cprog.exe");
    DWORD rotation = Rotation();
    SetSensor(0x10000);
    std::vector<std::string> lines;
    ASSERT_TRUE(WaitUntil([&] {
        lines = LogLines(ReadBytes(LogPath()));
        return lines.size() == 2;
    })) << "the event was not recorded";
    EXPECT_NE(std::string::npos, lines[1].find("| \"Calculator\" CalcFrame cprog.exe | "
                                                "#window(cprog.exe) matched the program name | "
                                                "left alone"))
        << lines[1];
    EXPECT_EQ(rotation, Rotation());
    EXPECT_TRUE(ScreenIs(480, 640));
    // Behind, the view waits for the user: no timer wakes the phone for it.
    EXPECT_EQ(Wide(older), ViewText());

    // The user comes back to the editor, with the view open still.
    ASSERT_TRUE(WaitUntil([&] {
        SetForegroundWindow(window);
        Sync();
        return GetForegroundWindow() == window;
    })) << "the editor did not come back to the front";
    const std::wstring newestFirst = Wide(lines[1]) + L"\r\n\r\n" + Wide(older);
    EXPECT_TRUE(WaitUntil([&] { return ViewText() == newestFirst; }))
        << "the view does not show the new line on top: " << Narrow(ViewText());
    EXPECT_TRUE(ViewShown());
    ExitEditor();
}

}  // namespace
