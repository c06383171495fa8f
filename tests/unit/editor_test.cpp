// The editor in-process: loading the text, the font, RunEditor's result,
// the window without its menu bar, the repaint after EN_UPDATE, and Save's
// replacement of the file.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>
#include "support/phone.h"
#include "editor/editor.h"
#include "common/config.h"
#include "common/globals.h"
#include "common/message.h"
#include "res/resource.h"

namespace {

const wchar_t kClass[] = L"QZSGCFGEDIT";

std::wstring DefaultText() { return LoadResString(IDS_DEFAULT_CONFIG); }

// Names of the files and folders a pattern finds, sorted.
std::vector<std::wstring> NamesIn(const std::wstring &pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE walk = FindFirstFileW(pattern.c_str(), &found);
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

    // Empties the folder: files of any attribute and empty folders.
    void Clean() const
    {
        for (const std::wstring &name : Entries()) {
            std::wstring p = folder + L"\\" + name;
            SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(p.c_str());
            RemoveDirectoryW(p.c_str());
        }
    }

    // Names in the folder, sorted.
    std::vector<std::wstring> Entries() const { return NamesIn(folder + L"\\*"); }
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

HWND FindOwnEditor() { return FindProcessWindow(GetCurrentProcessId(), kClass, false); }

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

// Save through a file of its own beside the configuration file: the
// replacement happens in one step, or not at all, and no other file in the
// folder is written to or removed.
enum Obstacle { NOTHING, USER_FILE, USER_FOLDER, READ_ONLY_FILE };

struct SaveCase {
    const char *name;
    const wchar_t *text;
    Obstacle obstacle;
    const wchar_t *obstacleName;  // in the configuration file's folder
    bool configHeld;  // open in a reader that shares reading only, all through Save
    int replaced;
    const char *bytes;  // the configuration file afterwards
};

const SaveCase kSaveCases[] = {
    {"replaced", L"#a\r\n#b\r\n", NOTHING, L"", false, 1, "#a\r\n#b\r\n"},
    {"line feeds only", L"x\ny", NOTHING, L"", false, 1, "x\r\ny"},
    {"a file of the user's named like the old temporary file", L"#new\r\n", USER_FILE,
     L"vorn.txt.new", false, 1, "#new\r\n"},
    {"a folder named like the old temporary file", L"#new\r\n", USER_FOLDER, L"vorn.txt.new", false,
     1, "#new\r\n"},
    {"a file under the first temporary name", L"#new\r\n", USER_FILE, L"~vorn1.tmp", false, 1,
     "#new\r\n"},
    {"a folder under the first temporary name", L"#new\r\n", USER_FOLDER, L"~vorn1.tmp", false, 1,
     "#new\r\n"},
    {"a read-only file under the first temporary name", L"#new\r\n", READ_ONLY_FILE,
     L"~vorn1.tmp", false, 1, "#new\r\n"},
    {"configuration file held by a reader", L"#new\r\n", NOTHING, L"", true, 0,
     "#window(old)\r\n"},
};

TEST_F(EditorFileTest, SaveConfigTextReplacesOrLeavesTheFileWhole)
{
    const std::string old = "#window(old)\r\n";
    const std::string mine = "the user's own";
    for (const SaveCase &c : kSaveCases) {
        SCOPED_TRACE(c.name);
        Clean();
        ASSERT_TRUE(WriteBytes(path, old));
        std::wstring obstacle = folder + L"\\" + c.obstacleName;
        std::vector<std::wstring> expected = {L"vorn.txt"};
        if (c.obstacle != NOTHING) {
            expected.push_back(c.obstacleName);
            std::sort(expected.begin(), expected.end());
        }
        if (c.obstacle == USER_FOLDER) {
            ASSERT_TRUE(CreateDirectoryW(obstacle.c_str(), NULL));
        } else if (c.obstacle != NOTHING) {
            ASSERT_TRUE(WriteBytes(obstacle, mine));
            if (c.obstacle == READ_ONLY_FILE) {
                ASSERT_TRUE(SetFileAttributesW(obstacle.c_str(), FILE_ATTRIBUTE_READONLY));
            }
        }
        HANDLE reader = INVALID_HANDLE_VALUE;
        if (c.configHeld) {
            reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                 0, NULL);
            ASSERT_NE(INVALID_HANDLE_VALUE, reader);
        }

        std::wstring text = c.text;
        text.resize(text.size() + 6);
        int replaced = SaveConfigText(path.c_str(), &text[0], (UINT)text.size());
        if (reader != INVALID_HANDLE_VALUE)
            CloseHandle(reader);
        EXPECT_EQ(c.replaced, replaced);
        EXPECT_EQ(c.bytes, ReadBytes(path));
        // Nothing left behind, and nothing of anyone else's touched.
        EXPECT_EQ(expected, Entries());
        if (c.obstacle == USER_FOLDER) {
            EXPECT_NE(0u, GetFileAttributesW(obstacle.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
        } else if (c.obstacle != NOTHING) {
            EXPECT_EQ(mine, ReadBytes(obstacle));
        }
    }
}

// A folder whose configuration path is exactly length characters long,
// built under the temporary folder. Such paths pass the platform's
// 248-character limit for folders, so they are made through the "\\?\" form.
class DeepFolderTest : public ::testing::Test {
protected:
    std::wstring root;

    void SetUp() override
    {
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root = std::wstring(temp) + L"vorn_unit_deep";
        RemoveTree(root);
        ASSERT_TRUE(CreateDirectoryW(root.c_str(), NULL));
    }

    void TearDown() override { RemoveTree(root); }

    static std::wstring Long(const std::wstring &path) { return L"\\\\?\\" + path; }

    static void RemoveTree(const std::wstring &path)
    {
        WIN32_FIND_DATAW found;
        HANDLE walk = FindFirstFileW(Long(path + L"\\*").c_str(), &found);
        if (walk != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                std::wstring child = path + L"\\" + name;
                SetFileAttributesW(Long(child).c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(child);
                else
                    DeleteFileW(Long(child).c_str());
            } while (FindNextFileW(walk, &found));
            FindClose(walk);
        }
        RemoveDirectoryW(Long(path).c_str());
    }

    // The path of "vorn.txt" in a folder deep enough that the path has
    // length characters; its folders are made. Empty when that cannot be.
    std::wstring ConfigPathOfLength(size_t length)
    {
        const std::wstring name = L"\\vorn.txt";
        std::wstring folder = root;
        if (folder.size() + name.size() > length)
            return L"";
        for (;;) {
            size_t remaining = length - name.size() - folder.size();
            if (remaining == 0)
                break;
            // Each folder takes a backslash and at least one character, and
            // never leaves a single character over.
            size_t step = remaining - 1;
            if (step > 100)
                step = std::min<size_t>(100, remaining - 3);
            if (step == 0)
                return L"";
            folder += L"\\" + std::wstring(step, L'd');
            if (!CreateDirectoryW(Long(folder).c_str(), NULL))
                return L"";
        }
        return folder + name;
    }

    std::vector<std::wstring> Beside(const std::wstring &path) const
    {
        return NamesIn(Long(path.substr(0, path.rfind(L'\\')) + L"\\*"));
    }
};

// Lengths of the configuration path around the last ones at which Save's
// temporary name ("~vorn1.tmp", two characters longer than "vorn.txt")
// still fits in 260 characters with its terminator: at 256 and 257 the
// file is replaced in one step, at 258 and 259 it is deleted and written
// anew. Either way the new text must land, and nothing else be left.
TEST_F(DeepFolderTest, SaveWritesTheFileWhetherOrNotATemporaryNameFits)
{
    for (size_t length : {200u, 256u, 257u, 258u, 259u}) {
        SCOPED_TRACE(length);
        RemoveTree(root);
        ASSERT_TRUE(CreateDirectoryW(root.c_str(), NULL));
        std::wstring path = ConfigPathOfLength(length);
        ASSERT_EQ(length, path.size()) << "the deep folder could not be made";
        ASSERT_TRUE(WriteBytes(path, "#window(old)\r\n"));

        WCHAR temp[CONFIG_PATH_CAPACITY];
        EXPECT_EQ(length <= 257 ? 1 : 0, SaveTempName(path.c_str(), 1, temp));

        std::wstring text = L"#window(new)\r\n#timeout(300)\r\n";
        text.resize(text.size() + 6);
        EXPECT_EQ(1, SaveConfigText(path.c_str(), &text[0], (UINT)text.size()));
        EXPECT_EQ("#window(new)\r\n#timeout(300)\r\n", ReadBytes(path));
        EXPECT_EQ(std::vector<std::wstring>{L"vorn.txt"}, Beside(path));
    }
}

// The fallback for a folder too deep for a temporary name: the file is
// deleted and written anew, never appended to. A file that cannot be
// deleted (here a read-only one) is left as it was.
TEST_F(DeepFolderTest, SaveWithoutTemporaryNameNeverAppends)
{
    std::wstring path = ConfigPathOfLength(259);
    ASSERT_EQ(259u, path.size());
    WCHAR temp[CONFIG_PATH_CAPACITY];
    ASSERT_EQ(0, SaveTempName(path.c_str(), 1, temp));

    ASSERT_TRUE(WriteBytes(path, "#window(old)\r\n"));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring text = L"#window(new)\r\n";
    text.resize(text.size() + 6);
    EXPECT_EQ(0, SaveConfigText(path.c_str(), &text[0], (UINT)text.size()));
    EXPECT_EQ("#window(old)\r\n", ReadBytes(path));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

struct TempNameCase {
    const char *name;
    std::wstring path;
    int serial;
    std::wstring temp;  // empty: no name fits
};

// A folder of n characters under the root.
std::wstring FolderOf(size_t n) { return L"C:\\" + std::wstring(n - 3, L'd'); }

TEST(SaveTempName, SameFolderAndOnlyWhenItFits)
{
    const TempNameCase cases[] = {
        {"beside the file", L"\\Program Files\\Vorn\\vorn.txt", 1,
         L"\\Program Files\\Vorn\\~vorn1.tmp"},
        {"serial in decimal", L"\\Vorn\\vorn.txt", 32, L"\\Vorn\\~vorn32.tmp"},
        {"no folder", L"vorn.txt", 1, L"~vorn1.tmp"},
        {"root folder", L"\\vorn.txt", 2, L"\\~vorn2.tmp"},
        {"257 characters: the name fits", FolderOf(248) + L"\\vorn.txt", 1,
         FolderOf(248) + L"\\~vorn1.tmp"},
        {"258 characters: it does not", FolderOf(249) + L"\\vorn.txt", 1, L""},
        {"256 characters, two-digit serial", FolderOf(247) + L"\\vorn.txt", 10,
         FolderOf(247) + L"\\~vorn10.tmp"},
        {"257 characters, two-digit serial", FolderOf(248) + L"\\vorn.txt", 10, L""},
        {"a short file name in a deep folder", FolderOf(250) + L"\\v.txt", 1, L""},
    };
    for (const TempNameCase &c : cases) {
        SCOPED_TRACE(c.name);
        WCHAR temp[CONFIG_PATH_CAPACITY];
        EXPECT_EQ(c.temp.empty() ? 0 : 1, SaveTempName(c.path.c_str(), c.serial, temp));
        EXPECT_EQ(c.temp, std::wstring(temp));
    }
}

}  // namespace
