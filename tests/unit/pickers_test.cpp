// The window pickers in-process: the filter over real windows of this
// process, the walk over the top-level windows, and the popup menu driven
// with the keyboard messages its modal loop reads.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "support/phone.h"
#include "editor/pickers.h"
#include "common/strlist.h"

namespace {

std::wstring Repeat(wchar_t c, size_t n) { return std::wstring(n, c); }

// Windows of this process with any class name and title.
class PickerWindows : public ::testing::Test {
protected:
    std::vector<HWND> windows;

    std::vector<std::wstring> registered;

    void TearDown() override
    {
        for (HWND w : windows)
            DestroyWindow(w);
        windows.clear();
        // Class names ignore case: "hhtaskbar" can only be made once
        // "HHTaskBar" is gone.
        for (const std::wstring &cls : registered)
            UnregisterClassW(cls.c_str(), GetModuleHandleW(NULL));
        registered.clear();
    }

    HWND Make(const std::wstring &cls, const std::wstring &title, bool visible = true)
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.lpszClassName = cls.c_str();
        EXPECT_NE(0, RegisterClassW(&wc)) << Narrow(cls);
        registered.push_back(cls);
        HWND w = CreateWindowExW(0, cls.c_str(), title.c_str(), WS_POPUP, 0, 0, 40, 40, NULL,
                                 NULL, GetModuleHandleW(NULL), NULL);
        EXPECT_NE(nullptr, w) << Narrow(cls);
        if (!w)
            return NULL;
        windows.push_back(w);
        // Shown without activation, as a window of another program would be.
        if (visible)
            ShowWindow(w, SW_SHOWNA);
        EXPECT_EQ(ClassOf(w), cls) << "the class is not the one asked for";
        return w;
    }

    // Puts the window on top of the stacking order.
    static void Raise(HWND w)
    {
        SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
};

struct FilterCase {
    std::wstring cls;
    std::wstring title;
    bool visible;
    bool pickable;
};

const FilterCase kFilterCases[] = {
    {L"PlainApp", L"Notes", true, true},
    {L"PlainApp", L"Notes", false, false},
    {L"PlainApp", L"", true, true},
    // An untitled "Dialog" is a shell pop-up; a titled one is an app.
    {L"Dialog", L"", true, false},
    {L"Dialog", L"Settings", true, true},
    {L"dialog", L"", true, true},
    // The shell's own windows: exact and case-sensitive over the whole name.
    {L"HHTaskBar", L"x", true, false},
    {L"hhtaskbar", L"x", true, true},
    {L"HHTaskBar2", L"x", true, true},
    {L"SipWndClass", L"x", true, false},
    {L"SipBackDropWndClass", L"x", true, false},
    {L"menu_worker", L"x", true, false},
    {L"MSPOutlook", L"x", true, false},
    {L"MS_SIPBUTTON", L"x", true, false},
    {L"QZMBatt", L"x", true, false},
    {L"QZMClose", L"x", true, false},
    {L"QZMenu", L"x", true, false},
    {L"qzmenu", L"x", true, true},
    {L"QZMenuBar", L"x", true, true},
    // Soft keys anywhere, in any case, in the class or the title.
    {L"MS_SOFTKEY_CE_1.0", L"", true, false},
    {L"my_ms_SoftKey_bar", L"x", true, false},
    {L"PlainApp", L"the MS_softkey bar", true, false},
    // Only the first 63 characters are looked at.
    {Repeat(L'c', 53) + L"MS_SOFTKEY", L"x", true, false},
    {Repeat(L'c', 54) + L"MS_SOFTKEY", L"x", true, true},
    {L"PlainApp", Repeat(L't', 53) + L"MS_SOFTKEY", true, false},
    {L"PlainApp", Repeat(L't', 54) + L"MS_SOFTKEY", true, true},
};

TEST_F(PickerWindows, FilterDecidesWhichWindowsAreOffered)
{
    EXPECT_FALSE(IsPickableWindow(NULL));
    for (const FilterCase &c : kFilterCases) {
        SCOPED_TRACE("class '" + Narrow(c.cls) + "' title '" + Narrow(c.title) + "'" +
                     (c.visible ? "" : " hidden"));
        HWND w = Make(c.cls, c.title, c.visible);
        EXPECT_EQ(c.pickable, IsPickableWindow(w) != FALSE);
        TearDown();
    }
}

// Index of text in list, or -1.
int IndexOf(const CStrList &list, const std::wstring &text)
{
    for (UINT i = 0; i < list.count; ++i) {
        if (text == list.At(i))
            return (int)i;
    }
    return -1;
}

TEST_F(PickerWindows, WalkListsTopLevelWindowsInStackingOrderWithListsInStep)
{
    HWND bottom = Make(L"WalkBottom", L"Walk bottom");
    HWND middle = Make(L"WalkMiddle", L"");
    HWND top = Make(L"WalkTop" + Repeat(L'k', 70), L"Walk top " + Repeat(L'x', 80));
    HWND child = CreateWindowExW(0, L"STATIC", L"Walk child", WS_CHILD | WS_VISIBLE, 0, 0, 5, 5,
                                 top, NULL, GetModuleHandleW(NULL), NULL);
    ASSERT_NE(nullptr, child);
    Make(L"WalkHidden", L"Walk hidden", false);
    Make(L"Dialog", L"");
    Make(L"HHTaskBar", L"Walk taskbar");
    Raise(bottom);
    Raise(middle);
    Raise(top);

    CStrList titles, classes, processes;
    titles.Add(L"left over");
    CollectWindowNames(&titles, &classes, &processes);

    ASSERT_EQ(titles.count, classes.count);
    ASSERT_EQ(titles.count, processes.count);
    EXPECT_EQ(-1, IndexOf(titles, L"left over")) << "the lists were not emptied first";

    // Names are cut to 71 characters.
    std::wstring topClass = (L"WalkTop" + Repeat(L'k', 70)).substr(0, 71);
    std::wstring topTitle = (L"Walk top " + Repeat(L'x', 80)).substr(0, 71);
    int t = IndexOf(classes, topClass);
    int m = IndexOf(classes, L"WalkMiddle");
    int b = IndexOf(classes, L"WalkBottom");
    ASSERT_NE(-1, t);
    ASSERT_NE(-1, m);
    ASSERT_NE(-1, b);
    EXPECT_LT(t, m);
    EXPECT_LT(m, b);
    EXPECT_EQ(0, t) << "the topmost window is not listed first";

    EXPECT_EQ(topTitle, titles.At(t));
    EXPECT_EQ(std::wstring(L""), titles.At(m)) << "an empty title keeps its place";
    EXPECT_EQ(std::wstring(L"Walk bottom"), titles.At(b));
    for (int i : {t, m, b})
        EXPECT_EQ(std::wstring(L"vorn_unit.exe"), processes.At(i));

    EXPECT_EQ(-1, IndexOf(titles, L"Walk child")) << "a child window was listed";
    EXPECT_EQ(-1, IndexOf(classes, L"WalkHidden"));
    EXPECT_EQ(-1, IndexOf(classes, L"Dialog"));
    EXPECT_EQ(-1, IndexOf(titles, L"Walk taskbar"));
}

TEST_F(PickerWindows, NamesAreCutAtTheirFirstLineBreak)
{
    struct {
        const wchar_t *cls, *title;
        const wchar_t *listedClass, *listedTitle;
    } cases[] = {
        {L"BreakCrLf", L"first line\r\nsecond line", L"BreakCrLf", L"first line"},
        {L"BreakLf", L"first\nsecond\r\nthird", L"BreakLf", L"first"},
        {L"BreakCr", L"first\rsecond", L"BreakCr", L"first"},
        // Nothing before the break: listed empty, still in step with its class.
        {L"BreakFirst", L"\r\nsecond line", L"BreakFirst", L""},
        {L"BreakClass\nrest", L"one line", L"BreakClass", L"one line"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(Narrow(c.listedClass));
        HWND w = Make(c.cls, c.title);
        ASSERT_NE(nullptr, w);
        Raise(w);
        CStrList titles, classes, processes;
        CollectWindowNames(&titles, &classes, &processes);
        ASSERT_LT(0u, titles.count);
        EXPECT_EQ(std::wstring(c.listedClass), classes.At(0));
        EXPECT_EQ(std::wstring(c.listedTitle), titles.At(0));
        EXPECT_EQ(std::wstring(L"vorn_unit.exe"), processes.At(0));
        TearDown();
    }
}

// The popup menu runs its own modal loop on this thread; keyboard messages
// posted to the thread beforehand are what it reads.
class PickerMenu : public PickerWindows {
protected:
    HWND owner = NULL;
    WCHAR buffer[260];

    void SetUp() override
    {
        owner = Make(L"PickOwner", L"Pick owner");
        lstrcpyW(buffer, L"untouched");
    }

    void Keys(std::initializer_list<WPARAM> keys)
    {
        for (WPARAM key : keys)
            PostMessageW(owner, WM_KEYDOWN, key, 0);
    }
};

TEST_F(PickerMenu, ChosenItemIsFormattedAsWindowLine)
{
    HWND second = Make(L"PickSecond", L"Pick second");
    HWND first = Make(L"PickFirst", L"Pick first");
    Raise(second);
    Raise(first);

    struct {
        int selector;
        std::initializer_list<WPARAM> keys;
        const wchar_t *line;
    } cases[] = {
        {PICK_CLASSES, {VK_DOWN, VK_RETURN}, L"\r\n#window(PickFirst)\r\n"},
        {PICK_CLASSES, {VK_DOWN, VK_DOWN, VK_RETURN}, L"\r\n#window(PickSecond)\r\n"},
        {PICK_TITLES, {VK_DOWN, VK_DOWN, VK_RETURN}, L"\r\n#window(Pick second)\r\n"},
        {PICK_PROCESSES, {VK_DOWN, VK_RETURN}, L"\r\n#window(vorn_unit.exe)\r\n"},
        // Any other selector shows the process names.
        {7, {VK_DOWN, VK_RETURN}, L"\r\n#window(vorn_unit.exe)\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(Narrow(c.line));
        lstrcpyW(buffer, L"untouched");
        Keys(c.keys);
        EXPECT_EQ(0, PickWindowEntry(owner, c.selector, buffer, 260));
        EXPECT_EQ(std::wstring(c.line), buffer);
    }
}

TEST_F(PickerMenu, DismissedMenuLeavesBufferAsItWas)
{
    for (int selector : {PICK_TITLES, PICK_CLASSES, PICK_PROCESSES}) {
        Keys({VK_DOWN, VK_ESCAPE});
        EXPECT_EQ(0, PickWindowEntry(owner, selector, buffer, 260));
        EXPECT_EQ(std::wstring(L"untouched"), buffer);
    }
}

}  // namespace
