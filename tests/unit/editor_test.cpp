// The editor in-process: loading the text, the font, RunEditor's result,
// the window without its menu bar, the repaint after EN_UPDATE, and Save's
// replacement of the file.
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include "support/phone.h"
#include "editor/editor.h"
#include "app/globals.h"
#include "app/message.h"
#include "res/resource.h"

namespace {

const wchar_t kClass[] = L"QZSGCFGEDIT";

std::wstring DefaultText() { return LoadResString(IDS_DEFAULT_CONFIG); }

// A folder of this test's own with the configuration path in it.
class EditorFileTest : public ::testing::Test {
protected:
    std::wstring folder;
    std::wstring path;

    void SetUp() override
    {
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"vorn_unit_editor";
        CreateDirectoryW(folder.c_str(), NULL);
        path = folder + L"\\vorn.txt";
        Clean();
    }

    void TearDown() override { Clean(); }

    void Clean() const
    {
        for (const std::wstring &p : {path, path + L".new"}) {
            SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(p.c_str());
            RemoveDirectoryW(p.c_str());
        }
    }
};

enum PathKind { MISSING, FILE_WITH, FOLDER };

struct LoadCase {
    const char *name;
    PathKind kind;
    const char *bytes;
    const wchar_t *text;  // NULL: the default text
};

const LoadCase kLoadCases[] = {
    {"missing file", MISSING, "", NULL},
    {"empty file", FILE_WITH, "", NULL},
    {"folder of that name", FOLDER, "", NULL},
    {"text as it stands", FILE_WITH, "#window(a)\r\n#timeout(9)", L"#window(a)\r\n#timeout(9)"},
    {"bare line feeds", FILE_WITH, "a\nb\n", L"a\nb\n"},
};

TEST_F(EditorFileTest, LoadEditorTextShowsFileOrDefault)
{
    for (const LoadCase &c : kLoadCases) {
        SCOPED_TRACE(c.name);
        Clean();
        if (c.kind == FILE_WITH) {
            ASSERT_TRUE(WriteBytes(path, c.bytes));
        } else if (c.kind == FOLDER) {
            ASSERT_TRUE(CreateDirectoryW(path.c_str(), NULL));
        }
        LoadEditorText(path.c_str());
        EXPECT_EQ(path.c_str(), g_editor.configPath);
        ASSERT_NE(nullptr, g_editor.text);
        EXPECT_EQ(c.text ? std::wstring(c.text) : DefaultText(), g_editor.text);
        // The text is the editor's own copy, never the stored resource.
        EXPECT_NE(LoadResString(IDS_DEFAULT_CONFIG), (LPCWSTR)g_editor.text);
        EXPECT_EQ(c.kind == FILE_WITH ? std::string(c.bytes) : std::string(), ReadBytes(path))
            << "loading changed the file";
        EXPECT_EQ(c.kind != MISSING, FileExists(path));
    }
}

TEST(EditorFont, TahomaAtTheDisplaysResolution)
{
    HDC dc = GetDC(GetDesktopWindow());
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(GetDesktopWindow(), dc);

    HFONT font = NULL;
    CreateEditorFont(&font, 10);
    ASSERT_NE(nullptr, font);
    LOGFONTW lf;
    ASSERT_EQ((int)sizeof(lf), GetObjectW(font, sizeof(lf), &lf));
    EXPECT_EQ(std::wstring(L"Tahoma"), lf.lfFaceName);
    EXPECT_EQ(-(10 * dpi / 72), lf.lfHeight);
    if (dpi == 96) {
        EXPECT_EQ(-13, lf.lfHeight);
    }
    EXPECT_EQ(0, lf.lfWidth);
    EXPECT_EQ(400, lf.lfWeight);
    EXPECT_EQ(0, lf.lfItalic + lf.lfUnderline + lf.lfStrikeOut);
    EXPECT_EQ(0, lf.lfCharSet);
    EXPECT_EQ(5, lf.lfQuality);
    EXPECT_EQ(0, lf.lfPitchAndFamily);

    // A new size replaces the font and releases the old one.
    HFONT old = font;
    CreateEditorFont(&font, 20);
    ASSERT_NE(nullptr, font);
    EXPECT_EQ(0u, GetObjectType(old));
    ASSERT_EQ((int)sizeof(lf), GetObjectW(font, sizeof(lf), &lf));
    EXPECT_EQ(-(20 * dpi / 72), lf.lfHeight);
    DeleteObject(font);
}

HWND FindOwnEditor()
{
    for (HWND w = FindWindowExW(NULL, NULL, kClass, NULL); w;
         w = FindWindowExW(NULL, w, kClass, NULL)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId())
            return w;
    }
    return NULL;
}

// RunEditor on a thread of its own, as it runs on the editor process's one
// thread; the test drives its window from outside, the way a user would.
class EditorRunTest : public EditorFileTest {
protected:
    std::thread runner;
    int result = -2;
    HWND window = NULL;
    HWND edit = NULL;

    void Open()
    {
        runner = std::thread([this] {
            result = RunEditor(g_vorn.ownModule, kClass, path.c_str(), L"VORN");
        });
        ASSERT_TRUE(WaitUntil([&] {
            window = FindOwnEditor();
            return window && (edit = GetDlgItem(window, 7)) != NULL;
        }));
    }

    // Closes the window if it is still there and returns RunEditor's result.
    int Finish()
    {
        if (IsWindow(window))
            PostMessageW(window, WM_CLOSE, 0, 0);
        runner.join();
        return result;
    }

    void TearDown() override
    {
        if (runner.joinable())
            Finish();
        EditorFileTest::TearDown();
    }

    void Command(int id) { SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    void SetText(const wchar_t *text) { SendMessageW(edit, WM_SETTEXT, 0, (LPARAM)text); }
};

TEST_F(EditorRunTest, ResultIsOneAfterSaveAndExit)
{
    Open();
    SetText(L"#window(a)\r\n");
    Command(IDM_SAVE);
    Command(IDM_EXIT);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(1, Finish());
    EXPECT_EQ("#window(a)\r\n", ReadBytes(path));
}

TEST_F(EditorRunTest, ResultIsZeroWithoutSave)
{
    Open();
    SetText(L"#window(a)\r\n");
    Command(IDM_RESTORE_DEFAULT);
    Command(IDM_EXIT);
    EXPECT_EQ(0, Finish());
    EXPECT_FALSE(FileExists(path));
}

TEST_F(EditorRunTest, SaveOfAnEmptyEditCountsAsSave)
{
    Open();
    SetText(L"");
    Command(IDM_SAVE);
    EXPECT_EQ(1, Finish());  // closed without Exit
    EXPECT_FALSE(FileExists(path));
}

TEST_F(EditorRunTest, ResultIsMinusOneWithoutWindow)
{
    // No class can be registered under an empty name, so no window can be
    // made. (A name over 255 characters would do too, but corrupts Wine's
    // heap.)
    EXPECT_EQ(-1, RunEditor(g_vorn.ownModule, L"", path.c_str(), L"VORN"));
    EXPECT_EQ(nullptr, FindOwnEditor());
    EXPECT_FALSE(FileExists(path));
}

// The editor window made on this thread, without a message loop, so that
// nothing is painted behind the test's back.
class EditorWindowTest : public EditorFileTest {
protected:
    HWND window = NULL;

    void Create()
    {
        LoadEditorText(path.c_str());
        ASSERT_TRUE(CreateEditorWindow(g_vorn.ownModule, kClass, L"VORN"));
        window = FindOwnEditor();
        ASSERT_NE(nullptr, window);
    }

    void TearDown() override
    {
        if (IsWindow(window))
            DestroyWindow(window);
        // The editor's quit message must not reach the next test.
        MSG msg;
        while (PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE))
            ;
        EditorFileTest::TearDown();
    }
};

int g_erases;
WNDPROC g_editProc;

LRESULT CALLBACK CountErase(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        ++g_erases;
    return CallWindowProcW(g_editProc, window, message, wParam, lParam);
}

TEST_F(EditorWindowTest, EditUpdateRepaintsVisibleEditWithoutErasing)
{
    Create();
    HWND edit = GetDlgItem(window, 7);
    ASSERT_NE(nullptr, edit);
    // Whichever edit sends the update: another one of the window's children.
    HWND other = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 10, 10, window, (HMENU)(INT_PTR)8,
                                 GetModuleHandleW(NULL), NULL);
    ASSERT_NE(nullptr, other);
    g_editProc = (WNDPROC)SetWindowLongPtrW(edit, GWLP_WNDPROC, (LONG_PTR)CountErase);
    RECT client;
    GetClientRect(edit, &client);

    // The seam works: an erasing invalidation is seen.
    ValidateRect(edit, NULL);
    InvalidateRect(edit, NULL, TRUE);
    g_erases = 0;
    GetUpdateRect(edit, NULL, TRUE);
    ASSERT_EQ(1, g_erases) << "the erase cannot be observed here";

    struct {
        HWND sender;
        WORD code;
        bool repaint;
    } cases[] = {
        {other, EN_UPDATE, true},
        {edit, EN_UPDATE, true},
        {edit, EN_CHANGE, false},
        {other, EN_CHANGE, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(GetDlgCtrlID(c.sender)) + " code " + std::to_string(c.code));
        ValidateRect(edit, NULL);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c.sender), c.code),
                     (LPARAM)c.sender);
        RECT update = {};
        EXPECT_EQ(c.repaint, GetUpdateRect(edit, &update, FALSE) != FALSE);
        if (c.repaint) {
            EXPECT_TRUE(EqualRect(&client, &update)) << "not the whole edit";
            g_erases = 0;
            GetUpdateRect(edit, NULL, TRUE);
            EXPECT_EQ(0, g_erases) << "the background is erased";
        }
    }
    SetWindowLongPtrW(edit, GWLP_WNDPROC, (LONG_PTR)g_editProc);
}

TEST_F(EditorWindowTest, WithoutMenuBarTheWindowHasNoEdits)
{
    // The menu bar comes from the own module: one without menu 20012.
    HINSTANCE own = g_vorn.ownModule;
    g_vorn.ownModule = GetModuleHandleW(L"kernel32.dll");
    Create();
    g_vorn.ownModule = own;
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(nullptr, GetMenu(window));
    EXPECT_EQ(nullptr, GetDlgItem(window, 7));
    EXPECT_EQ(nullptr, FindWindowExW(window, NULL, L"EDIT", NULL));
    // Save finds no text to write.
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(1, g_editor.saved);
}

TEST_F(EditorWindowTest, VisibleEditGetsTheFontAndTheText)
{
    ASSERT_TRUE(WriteBytes(path, "#onlyfor(1)\r\n"));
    Create();
    HWND edit = GetDlgItem(window, 7);
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ(g_editor.font, (HFONT)SendMessageW(edit, WM_GETFONT, 0, 0));
    EXPECT_EQ(0x50301004u, (DWORD)GetWindowLongW(edit, GWL_STYLE) & 0x50301004u);
    // Picked lines go straight into it: it is the window's only edit.
    EXPECT_EQ(edit, FindWindowExW(window, NULL, L"EDIT", NULL));
    EXPECT_EQ(nullptr, FindWindowExW(window, edit, L"EDIT", NULL));
    WCHAR text[64];
    GetWindowTextW(edit, text, 64);
    EXPECT_EQ(std::wstring(L"#onlyfor(1)\r\n"), text);
    EXPECT_EQ(sizeof(SHACTIVATEINFO), g_editor.activation.cbSize);
    EXPECT_EQ(0, g_editor.saved);
    // The font goes with the window.
    HFONT font = g_editor.font;
    DestroyWindow(window);
    EXPECT_EQ(nullptr, g_editor.font);
    EXPECT_EQ(0u, GetObjectType(font));
}

// Save through a file beside the configuration file: the replacement
// happens in one step, or not at all.
TEST_F(EditorFileTest, SaveConfigTextReplacesOrLeavesTheFileWhole)
{
    const std::string old = "#window(old)\r\n";
    struct {
        const char *name;
        const wchar_t *text;
        bool tempIsFolder;
        int replaced;
        const char *bytes;
    } cases[] = {
        {"replaced", L"#a\r\n#b\r\n", false, 1, "#a\r\n#b\r\n"},
        {"temp path taken by a folder", L"#new\r\n", true, 0, "#window(old)\r\n"},
        {"line feeds only", L"x\ny", false, 1, "x\r\ny"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Clean();
        ASSERT_TRUE(WriteBytes(path, old));
        if (c.tempIsFolder) {
            ASSERT_TRUE(CreateDirectoryW((path + L".new").c_str(), NULL));
        }
        std::wstring text = c.text;
        text.resize(text.size() + 6);
        EXPECT_EQ(c.replaced, SaveConfigText(path.c_str(), &text[0], (UINT)text.size()));
        EXPECT_EQ(c.bytes, ReadBytes(path));
        EXPECT_EQ(c.tempIsFolder, FileExists(path + L".new"));
    }
}

}  // namespace
