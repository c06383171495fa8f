// The editor's "Startup" command: the shortcut VornStart.lnk in the
// prefix's StartUp folder, its questions and its exact bytes.
#include "editor_session.h"

namespace {

#define SHELL_FOLDERS_KEY L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"

const wchar_t kAddQuestion[] = L"Add Vorn shortcut to windows startup?";
const wchar_t kDeleteQuestion[] = L"Delete Vorn shortcut from windows startup?";

// The StartUp folder as the platform gives it to every program of the
// prefix (the test links no shell library, so it is looked up here).
std::wstring StartupFolder()
{
    typedef BOOL(WINAPI * FolderPath)(HWND, LPWSTR, int, BOOL);
    HMODULE shell = LoadLibraryW(L"shell32.dll");
    FolderPath get = shell ? (FolderPath)(void *)GetProcAddress(shell, "SHGetSpecialFolderPathW")
                           : NULL;
    wchar_t path[MAX_PATH] = L"";
    if (!get || !get(NULL, path, 7 /* CSIDL_STARTUP */, TRUE))
        path[0] = 0;
    return path;
}

class EditorStartupTest : public EditorTest {
protected:
    std::wstring shortcut;

    void SetUp() override
    {
        EditorTest::SetUp();
        std::wstring folder = StartupFolder();
        ASSERT_FALSE(folder.empty());
        shortcut = folder + L"\\VornStart.lnk";
        RemoveShortcut();
    }

    void TearDown() override
    {
        EditorTest::TearDown();
        RemoveShortcut();
    }

    void RemoveShortcut() const
    {
        SetFileAttributesW(shortcut.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(shortcut.c_str());
        RemoveDirectoryW(shortcut.c_str());
    }

    // Runs "Startup", checks its question and answers it.
    void Startup(const wchar_t *question, int answer)
    {
        PostCommand(IDM_STARTUP);
        MessageBoxInfo box = WaitMessageBox(editor);
        ASSERT_NE(nullptr, box.box) << "no question";
        EXPECT_EQ(question, box.text);
        EXPECT_EQ(L"", box.caption);
        EXPECT_TRUE(box.hasYes);
        EXPECT_TRUE(box.hasNo);
        EXPECT_EQ(GetParent(box.box) ? GetParent(box.box) : GetWindow(box.box, GW_OWNER), window)
            << "the question is not owned by the editor";
        AnswerMessageBox(box.box, answer);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box.box); }));
        Sync();
    }

    // A copy of the program folder whose path has blanks in it.
    std::wstring CopyProgramTo(const std::wstring &folder)
    {
        std::wstring target = Path(folder);
        CreateDirectoryW(target.c_str(), NULL);
        WIN32_FIND_DATAW found;
        HANDLE walk = FindFirstFileW((dir + L"\\*").c_str(), &found);
        EXPECT_NE(INVALID_HANDLE_VALUE, walk);
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            std::wstring name = found.cFileName;
            CopyFileW(Path(name).c_str(), (target + L"\\" + name).c_str(), FALSE);
        } while (FindNextFileW(walk, &found));
        FindClose(walk);
        return target;
    }
};

TEST_F(EditorStartupTest, AddWritesQuotedPathThenNextCommandOffersRemoval)
{
    std::wstring folder = CopyProgramTo(L"Program With Blanks");
    std::wstring exe = folder + L"\\vorn.exe";
    OpenEditor(L"Program With Blanks\\vorn.exe");

    Startup(kAddQuestion, IDYES);
    ASSERT_TRUE(FileExists(shortcut));
    std::string expected = "1#\"" + Narrow(exe) + "\" #load";
    std::string bytes = ReadBytes(shortcut);
    EXPECT_EQ(expected, bytes);
    // 1, #, two quotes, a blank and "#load" around the path; no line end.
    EXPECT_EQ(exe.size() + 10, bytes.size());

    Startup(kDeleteQuestion, IDYES);
    EXPECT_FALSE(FileExists(shortcut));
    Startup(kAddQuestion, IDNO);
    EXPECT_FALSE(FileExists(shortcut));
    ExitEditor();
    EXPECT_FALSE(FileExists(Path(L"Program With Blanks\\vorn.txt")));
}

TEST_F(EditorStartupTest, AnsweringNoChangesNothing)
{
    OpenEditor();
    Startup(kAddQuestion, IDNO);
    EXPECT_FALSE(FileExists(shortcut));

    // A shortcut made by hand counts by its name alone.
    const std::string byHand = "27#\"\\Windows\\other.exe\" -x\r\n";
    ASSERT_TRUE(WriteBytes(shortcut, byHand));
    Startup(kDeleteQuestion, IDNO);
    EXPECT_EQ(byHand, ReadBytes(shortcut));
    Startup(kDeleteQuestion, IDYES);
    EXPECT_FALSE(FileExists(shortcut));
    ExitEditor();
}

TEST_F(EditorStartupTest, FolderOfTheShortcutsNameCountsAsNoShortcut)
{
    OpenEditor();
    ASSERT_TRUE(CreateDirectoryW(shortcut.c_str(), NULL));
    // A folder of the shortcut's name is no shortcut; the write then fails
    // without a word.
    Startup(kAddQuestion, IDYES);
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY,
              GetFileAttributesW(shortcut.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(nullptr, FindMessageBox(editor.dwProcessId));
    ASSERT_TRUE(RemoveDirectoryW(shortcut.c_str()));
    ExitEditor();
}

// The StartUp folder is pointed below a file, where the platform cannot make
// it: the command then has no place for the shortcut and must do nothing.
class EditorNoStartupFolderTest : public EditorStartupTest {
protected:
    std::vector<BYTE> saved;
    DWORD savedType = 0;
    bool hadValue = false;

    void SetUp() override
    {
        EditorStartupTest::SetUp();
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, 0,
                                               KEY_QUERY_VALUE | KEY_SET_VALUE, &key));
        DWORD size = 0;
        hadValue = RegQueryValueExW(key, L"Startup", NULL, &savedType, NULL, &size) ==
                   ERROR_SUCCESS;
        if (hadValue) {
            saved.resize(size);
            RegQueryValueExW(key, L"Startup", NULL, &savedType, saved.data(), &size);
        }
        ASSERT_TRUE(WriteBytes(Path(L"afile"), "x"));
        std::wstring bad = Path(L"afile\\StartUp");
        RegSetValueExW(key, L"Startup", 0, REG_EXPAND_SZ, (const BYTE *)bad.c_str(),
                       (DWORD)((bad.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

    void TearDown() override
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            if (hadValue)
                RegSetValueExW(key, L"Startup", 0, savedType, saved.data(), (DWORD)saved.size());
            else
                RegDeleteValueW(key, L"Startup");
            RegCloseKey(key);
        }
        EditorStartupTest::TearDown();
    }
};

TEST_F(EditorNoStartupFolderTest, StartupCommandDoesNothing)
{
    EXPECT_EQ(L"", StartupFolder()) << "the StartUp folder can still be made";
    OpenEditor();
    // Sent, not posted: a question would keep the editor from answering.
    Command(IDM_STARTUP);
    EXPECT_EQ(nullptr, FindMessageBox(editor.dwProcessId));
    // No shortcut landed anywhere the file name alone could lead.
    EXPECT_FALSE(FileExists(Path(L"VornStart.lnk")));
    EXPECT_FALSE(FileExists(L"\\VornStart.lnk"));
    EXPECT_FALSE(FileExists(Path(L"afile\\StartUp\\VornStart.lnk")));
    EXPECT_FALSE(FileExists(shortcut));
    EXPECT_EQ("x", ReadBytes(Path(L"afile")));
    ExitEditor();
}

}  // namespace
