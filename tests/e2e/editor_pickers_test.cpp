// The editor's window pickers, for real: other programs' windows (appwin.exe
// under other names), the popup menu driven with the keyboard messages its
// modal loop reads, and the line that lands at the caret while the
// clipboard is left alone.
#include "editor_session.h"
#include <algorithm>
#include <thread>

namespace {

#define APPWIN_ACTIVATE (WM_APP + 1)

// Visible top-level windows, topmost first.
std::vector<HWND> StackingOrder()
{
    std::vector<HWND> order;
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (IsWindowVisible(w))
            order.push_back(w);
    }
    return order;
}


class EditorPickerTest : public EditorTest {
protected:
    // Starts appwin.exe as exeName with a window of that title and class.
    HWND StartApp(const std::wstring &title, const std::wstring &cls, const std::wstring &exeName)
    {
        EXPECT_TRUE(CopyFileW(Path(L"appwin.exe").c_str(), Path(exeName).c_str(), FALSE));
        Start(L"\"" + title + L"\" \"" + cls + L"\"", exeName);
        HWND app = NULL;
        EXPECT_TRUE(WaitUntil([&] {
            return (app = FindWindowW(cls.c_str(), NULL)) != NULL && IsWindowVisible(app);
        })) << Narrow(cls) << " did not open";
        return app;
    }

    // Brings windows to the top in the order given, so that the last one
    // ends up topmost; the menu lists them in that stacking order. The
    // editor is a window without a manager: while it is active it puts
    // itself back on top a moment later. So the last window is also made
    // the foreground one, and the order counts once the editor has handled
    // what that sent it.
    void Raise(std::initializer_list<HWND> windows)
    {
        std::vector<HWND> expected(windows.begin(), windows.end());
        std::reverse(expected.begin(), expected.end());
        auto onTop = [&] {
            std::vector<HWND> order = StackingOrder();
            return order.size() >= expected.size() &&
                   std::equal(expected.begin(), expected.end(), order.begin());
        };
        ASSERT_TRUE(WaitUntil([&] {
            for (HWND w : windows)
                SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            SetForegroundWindow(expected.front());
            Sync();
            return GetForegroundWindow() == expected.front() && onTop();
        })) << "the windows to pick are not on top of the stacking order";
    }

    HWND WaitMenu()
    {
        HWND menu = NULL;
        WaitUntil([&] {
            return (menu = FindProcessWindow(editor.dwProcessId, L"#32768", true)) != NULL;
        });
        return menu;
    }

    // Runs a pick command: item k of the menu is chosen with k presses of
    // the down key and the return key; k = 0 dismisses the menu.
    void Pick(int command, int item)
    {
        std::wstring before = EditText();
        PostCommand(command);
        HWND menu = WaitMenu();
        ASSERT_NE(nullptr, menu) << "no popup menu appeared";
        if (item == 0) {
            PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        } else {
            for (int i = 0; i < item; ++i)
                PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
        }
        ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); })) << "the menu stayed";
        // The menu's modal loop answers sent messages too, so Sync alone
        // could return before the insertion: wait for the inserted line.
        if (item > 0) {
            EXPECT_TRUE(WaitUntil([&] { return EditText() != before; })) << "nothing inserted";
        }
        Sync();
    }
};

struct InsertCase {
    const char *name;
    int command;
    int selStart, selEnd;  // the edit's selection before the pick
    const wchar_t *name1;  // the name that must be inserted
    const wchar_t *after;  // the edit's text afterwards
};

const wchar_t kText[] = L"#timeout(1000)\r\n#onlyfor(0)";

const InsertCase kInsertCases[] = {
    {"title splits the line at the caret", IDM_PICK_TITLE, 5, 5, L"Pick Me Title",
     L"#time\r\n#window(Pick Me Title)\r\nout(1000)\r\n#onlyfor(0)"},
    {"class at the start of the text", IDM_PICK_CLASS, 0, 0, L"PickMeClass",
     L"\r\n#window(PickMeClass)\r\n#timeout(1000)\r\n#onlyfor(0)"},
    {"process name at the end of the text", IDM_PICK_PROCESS, 27, 27, L"pickme.exe",
     L"#timeout(1000)\r\n#onlyfor(0)\r\n#window(pickme.exe)\r\n"},
    {"title replaces the selection", IDM_PICK_TITLE, 0, 14, L"Pick Me Title",
     L"\r\n#window(Pick Me Title)\r\n\r\n#onlyfor(0)"},
};

// The editor thread's keyboard focus.
HWND FocusOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info))
        return NULL;
    return info.hwndFocus;
}

TEST_F(EditorPickerTest, ChosenNameIsInsertedAtTheCaretAndTheClipboardIsLeftAlone)
{
    HWND app = StartApp(L"Pick Me Title", L"PickMeClass", L"pickme.exe");
    OpenEditor();
    for (const InsertCase &c : kInsertCases) {
        SCOPED_TRACE(c.name);
        SetEditText(kText);
        Select(c.selStart, c.selEnd);
        SetClipboardText(L"held before the pick");
        Raise({app});
        Pick(c.command, 1);

        std::wstring line = std::wstring(L"\r\n#window(") + c.name1 + L")\r\n";
        EXPECT_EQ(c.after, EditText());
        EXPECT_EQ(L"held before the pick", ClipboardText());
        DWORD caret = (DWORD)(c.selStart + line.size());
        EXPECT_EQ(MAKELONG(caret, caret), Selection());
        EXPECT_EQ(edit, FocusOf(window)) << "the edit does not have the focus";
        // The pick is one step of the edit's undo.
        Command(IDM_UNDO);
        EXPECT_EQ(kText, EditText());
    }
    ExitEditor();
    EXPECT_FALSE(FileExists(ConfigPath())) << "a pick wrote the file";
}

// Another program holding the clipboard open, played by a thread of the test.
class ClipboardHolder {
public:
    ClipboardHolder()
        : held(CreateEventW(NULL, TRUE, FALSE, NULL)),
          release(CreateEventW(NULL, TRUE, FALSE, NULL)),
          thread([this] {
              // Opened for a window, as a program does: only that window
              // may then use the clipboard.
              HWND owner = CreateWindowExW(0, L"STATIC", L"clipboard holder", 0, 0, 0, 0, 0,
                                           HWND_MESSAGE, NULL, GetModuleHandleW(NULL), NULL);
              opened = owner && WaitUntil([&] { return OpenClipboard(owner) != FALSE; }, 5000);
              SetEvent(held);
              if (opened) {
                  WaitForSingleObject(release, 60000);
                  CloseClipboard();
              }
              if (owner)
                  DestroyWindow(owner);
          })
    {
        // Pumping meanwhile: opening the clipboard may send a message to its
        // owner, a window of this thread.
        WaitUntil([this] { return WaitForSingleObject(held, 0) == WAIT_OBJECT_0; });
    }
    ~ClipboardHolder()
    {
        SetEvent(release);
        thread.join();
        CloseHandle(held);
        CloseHandle(release);
    }
    bool opened = false;

private:
    HANDLE held, release;
    std::thread thread;
};

TEST_F(EditorPickerTest, ChosenNameIsInsertedWhileAnotherProgramHoldsTheClipboard)
{
    HWND app = StartApp(L"Pick Me Title", L"PickMeClass", L"pickme.exe");
    OpenEditor();
    SetEditText(kText);
    Select(5, 5);
    SetClipboardText(L"held before the pick");
    Raise({app});
    {
        ClipboardHolder holder;
        ASSERT_TRUE(holder.opened) << "the clipboard could not be held";
        if (OpenClipboard(NULL)) {
            CloseClipboard();
            FAIL() << "holding the clipboard keeps nobody out";
        }
        Pick(IDM_PICK_CLASS, 1);
        EXPECT_EQ(L"#time\r\n#window(PickMeClass)\r\nout(1000)\r\n#onlyfor(0)", EditText());
    }
    EXPECT_EQ(L"held before the pick", ClipboardText());
    ExitEditor();
}

TEST_F(EditorPickerTest, MenuListsEveryWindowInStackingOrder)
{
    // Two windows with the same title make two equal items.
    HWND a = StartApp(L"Twin Title", L"TwinClassA", L"twina.exe");
    HWND b = StartApp(L"Twin Title", L"TwinClassB", L"twinb.exe");
    OpenEditor();
    struct {
        int command, item;
        const wchar_t *name;
    } picks[] = {
        {IDM_PICK_CLASS, 1, L"TwinClassB"}, {IDM_PICK_CLASS, 2, L"TwinClassA"},
        {IDM_PICK_TITLE, 1, L"Twin Title"}, {IDM_PICK_TITLE, 2, L"Twin Title"},
        {IDM_PICK_PROCESS, 1, L"twinb.exe"}, {IDM_PICK_PROCESS, 2, L"twina.exe"},
    };
    for (const auto &p : picks) {
        SCOPED_TRACE(Narrow(p.name) + " as item " + std::to_string(p.item));
        SetEditText(L"");
        Raise({a, b});
        Pick(p.command, p.item);
        EXPECT_EQ(std::wstring(L"\r\n#window(") + p.name + L")\r\n", EditText());
    }
    ExitEditor();
}

// n characters of running digits.
std::wstring Digits(size_t n)
{
    std::wstring text;
    while (text.size() < n)
        text += (wchar_t)(L'0' + text.size() % 10);
    return text;
}

struct NameCase {
    const char *name;
    std::wstring title;
    std::wstring cls;
    std::wstring inserted;  // the value of the line the window-name picker inserts
};

const NameCase kNameCases[] = {
    {"empty title gives an empty value", L"", L"PickNoTitle", L""},
    {"long title is cut to 71 characters", Digits(70) + L"ABCDEFGHIJ", L"PickLongTitle",
     Digits(70) + L"A"},
    // A title is matched within one line: only its first line is listed.
    {"title with a line break gives its first line", L"First line\r\nsecond line",
     L"PickTwoLines", L"First line"},
    // The filter sees 63 characters only.
    {"softkey beyond the 63rd character is offered", Digits(63) + L"MS_SOFTKEY",
     L"PickLateSoftkey", Digits(63) + L"MS_SOFTK"},
};

void PrintTo(const NameCase &c, std::ostream *os) { *os << c.name; }

class EditorPickerNameTest : public EditorPickerTest,
                             public ::testing::WithParamInterface<NameCase> {};

TEST_P(EditorPickerNameTest, TitleOfTheTopWindowIsInserted)
{
    const NameCase &c = GetParam();
    HWND app = StartApp(c.title, c.cls, L"namecase.exe");
    OpenEditor();
    SetEditText(L"");
    Raise({app});
    Pick(IDM_PICK_TITLE, 1);
    EXPECT_EQ(L"\r\n#window(" + c.inserted + L")\r\n", EditText());
    ExitEditor();
}

INSTANTIATE_TEST_SUITE_P(Editor, EditorPickerNameTest, ::testing::ValuesIn(kNameCases),
                         [](const ::testing::TestParamInfo<NameCase> &info) {
                             return CaseName(info.param.name);
                         });

// The menu opens at the corner of the screen as it is: the phone really
// turns (the monitor turns it at a sensor event), and the screen's corner
// moves with it.
TEST_F(EditorPickerTest, MenuOpensAtTheCornerOfTheScreenAsItIs)
{
    HWND app = StartApp(L"Pick Me Title", L"PickMeClass", L"pickme.exe");
    ASSERT_TRUE(WriteBytes(ConfigPath(), "#timeout(50)\r\n"));
    OpenEditor();
    StartMonitor();
    const struct {
        const char *name;
        DWORD sensor;
        DWORD code;
        int width, height;
    } screens[] = {
        {"portrait", 0x10002, 0, 480, 640},
        {"landscape", 0x10000, 1, 640, 480},
        {"landscape the other way", 0x10001, 3, 640, 480},
        {"portrait again", 0x10002, 0, 480, 640},
    };
    for (const auto &screen : screens) {
        SCOPED_TRACE(screen.name);
        SetSensor(screen.sensor);
        ASSERT_TRUE(WaitUntil([&] {
            return Rotation() == screen.code && ScreenIs(screen.width, screen.height);
        })) << "the phone did not turn";
        Raise({app});
        PostCommand(IDM_PICK_TITLE);
        HWND menu = WaitMenu();
        ASSERT_NE(nullptr, menu) << "no popup menu appeared";
        RECT r = {};
        EXPECT_TRUE(GetWindowRect(menu, &r));
        EXPECT_EQ(screen.width, r.right);
        EXPECT_EQ(screen.height, r.bottom);
        EXPECT_GE(r.left, 0) << "the menu is not wholly on the screen";
        EXPECT_GE(r.top, 0) << "the menu is not wholly on the screen";
        EXPECT_LT(r.left, r.right);
        EXPECT_LT(r.top, r.bottom);
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); })) << "the menu stayed";
        Sync();
    }
    ExitEditor();
}

TEST_F(EditorPickerTest, DismissedMenuChangesNothing)
{
    HWND app = StartApp(L"Pick Me Title", L"PickMeClass", L"pickme.exe");
    OpenEditor();
    for (int command : {IDM_PICK_TITLE, IDM_PICK_CLASS, IDM_PICK_PROCESS}) {
        SCOPED_TRACE(command);
        SetEditText(kText);
        Select(2, 6);
        SetClipboardText(L"keep me");
        Raise({app});
        Pick(command, 0);
        EXPECT_EQ(kText, EditText());
        EXPECT_EQ(MAKELONG(2, 6), Selection());
        EXPECT_EQ(L"keep me", ClipboardText());
    }
    ExitEditor();
}

}  // namespace
