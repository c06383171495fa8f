// The configuration editor ("vorn.exe #CONFIG") driven from outside: its
// text, Save, Restore default, About, Exit, and the file's bytes on disk.
#include "editor_session.h"

namespace {

const std::string kDefaultBytes = DEFAULT_CONFIG_TEXT;
const std::wstring kDefaultText = WIDEN(DEFAULT_CONFIG_TEXT);

TEST_F(EditorTest, OpensFullScreenWithMenuBarAndOneEdit)
{
    OpenEditor();
    EXPECT_EQ(L"VORN", WindowText(window));
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(0, r.top);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), r.right);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), r.bottom);
    EXPECT_TRUE(WaitLog(L"aygshell SHInitDialog mask=1 flags=5"));
    EXPECT_TRUE(WaitLog(L"flags=16 id=20012"));
    EXPECT_NE(nullptr, GetMenu(window));
    EXPECT_TRUE(IsWindowVisible(edit));
    // Picked lines go straight into that edit: there is no other.
    EXPECT_EQ(edit, FindWindowExW(window, NULL, L"EDIT", NULL));
    EXPECT_EQ(nullptr, FindWindowExW(window, edit, L"EDIT", NULL));
    // The visible edit fills the client area but for a one-pixel frame.
    RECT client, inner;
    GetClientRect(window, &client);
    GetWindowRect(edit, &inner);
    MapWindowPoints(NULL, window, (POINT *)&inner, 2);
    EXPECT_EQ(client.left + 1, inner.left);
    EXPECT_EQ(client.top + 1, inner.top);
    EXPECT_EQ(client.right - 1, inner.right);
    EXPECT_EQ(client.bottom - 1, inner.bottom);
    ExitEditor();
}

TEST_F(EditorTest, MissingFileShowsDefaultAndWritesItOnlyOnSave)
{
    OpenEditor();
    EXPECT_EQ(kDefaultText, EditText());
    Sync();
    EXPECT_FALSE(FileExists(ConfigPath())) << "the editor wrote the file before Save";

    Command(IDM_SAVE);
    EXPECT_EQ(kDefaultBytes, ReadBytes(ConfigPath()));
    EXPECT_EQ(135u, ReadBytes(ConfigPath()).size());
    EXPECT_TRUE(SaveLeftovers().empty());
    ExitEditor();
}

TEST_F(EditorTest, EmptyFileShowsDefaultAndStaysEmptyUntilSave)
{
    ASSERT_TRUE(WriteBytes(ConfigPath(), ""));
    OpenEditor();
    EXPECT_EQ(kDefaultText, EditText());
    ExitEditor();
    EXPECT_TRUE(FileExists(ConfigPath()));
    EXPECT_EQ("", ReadBytes(ConfigPath()));
}

TEST_F(EditorTest, ShowsTheFileAsItStands)
{
    ASSERT_TRUE(WriteBytes(ConfigPath(), "#window(notes)\r\n#timeout(250)\r\n"));
    OpenEditor();
    EXPECT_EQ(L"#window(notes)\r\n#timeout(250)\r\n", EditText());
    ExitEditor();
}

struct SaveCase {
    const char *name;
    const wchar_t *text;  // what the edit holds
    const char *bytes;    // what the file must hold afterwards
};

const SaveCase kSaveCases[] = {
    {"crlf lines keep one CR", L"#window(a)\r\n#timeout(5)\r\n", "#window(a)\r\n#timeout(5)\r\n"},
    {"bare LF becomes CR LF", L"#window(a)\n#window(b)\n", "#window(a)\r\n#window(b)\r\n"},
    {"lone CR is dropped", L"#window(a)\r#window(b)\r", "#window(a)#window(b)"},
    {"mixed line ends", L"a\r\nb\nc\rd", "a\r\nb\r\ncd"},
    {"percent signs as they stand", L"#window(100%)\r\n%s %d %% %\r\n",
     "#window(100%)\r\n%s %d %% %\r\n"},
    {"no line end at all", L"#onlyfor(1)", "#onlyfor(1)"},
    {"only CRs leaves an empty file", L"\r\r", ""},
};

TEST_F(EditorTest, SaveWritesTheEditTextWithCrLfLineEnds)
{
    ASSERT_TRUE(WriteBytes(ConfigPath(), "#window(before)\r\n"));
    OpenEditor();
    for (const SaveCase &c : kSaveCases) {
        SCOPED_TRACE(c.name);
        SetEditText(c.text);
        ASSERT_EQ(c.text, EditText()) << "the edit changed the text it was given";
        Command(IDM_SAVE);
        EXPECT_EQ(c.bytes, ReadBytes(ConfigPath()));
        EXPECT_TRUE(SaveLeftovers().empty());
        // Saving changes the file, not what the user sees.
        EXPECT_EQ(c.text, EditText());
    }
    ExitEditor();
}

TEST_F(EditorTest, SecondSaveLeavesOnlyTheSecondText)
{
    ASSERT_TRUE(WriteBytes(ConfigPath(), "#window(old one)\r\n#window(old two)\r\n"));
    OpenEditor();
    SetEditText(L"#window(first save, a long line)\r\n#timeout(3000)\r\n");
    Command(IDM_SAVE);
    SetEditText(L"#onlyfor(1)\r\n");
    Command(IDM_SAVE);
    EXPECT_EQ("#onlyfor(1)\r\n", ReadBytes(ConfigPath()));
    ExitEditor();
    EXPECT_EQ("#onlyfor(1)\r\n", ReadBytes(ConfigPath()));
}

TEST_F(EditorTest, SaveWithEmptyEditLeavesFileUntouched)
{
    const std::string bytes = "#window(kept)\r\nno line end";
    for (bool present : {true, false}) {
        SCOPED_TRACE(present ? "file present" : "file missing");
        DeleteFileW(ConfigPath().c_str());
        if (present) {
            ASSERT_TRUE(WriteBytes(ConfigPath(), bytes));
        }
        OpenEditor();
        SetEditText(L"");
        Command(IDM_SAVE);
        EXPECT_EQ(present, FileExists(ConfigPath()));
        EXPECT_EQ(present ? bytes : "", ReadBytes(ConfigPath()));
        EXPECT_TRUE(SaveLeftovers().empty());
        ExitEditor();
    }
}

TEST_F(EditorTest, RestoreDefaultThenExitLeavesFileThenSaveWritesDefault)
{
    const std::string mine = "#window(mine)\r\n#fdscreenoff(2)\r\n";
    ASSERT_TRUE(WriteBytes(ConfigPath(), mine));

    OpenEditor();
    Command(IDM_RESTORE_DEFAULT);
    EXPECT_EQ(kDefaultText, EditText());
    ExitEditor();
    EXPECT_EQ(mine, ReadBytes(ConfigPath()));

    OpenEditor();
    EXPECT_EQ(L"#window(mine)\r\n#fdscreenoff(2)\r\n", EditText());
    Command(IDM_RESTORE_DEFAULT);
    Command(IDM_SAVE);
    EXPECT_EQ(kDefaultBytes, ReadBytes(ConfigPath()));
    ExitEditor();
}

// RunEditor's result does not leave the process (its exit code is always 0):
// what the process did is the file it left. The result itself is checked in
// the unit tests (EditorRun).
TEST_F(EditorTest, ClosingDropsUnsavedEditsAndEndsTheProcess)
{
    ASSERT_TRUE(WriteBytes(ConfigPath(), "#window(saved)\r\n"));
    for (UINT close : {(UINT)WM_CLOSE, (UINT)WM_COMMAND}) {
        OpenEditor();
        SetEditText(L"#window(never saved)\r\n");
        if (close == WM_CLOSE)
            PostMessageW(window, WM_CLOSE, 0, 0);
        else
            PostCommand(IDM_EXIT);
        ASSERT_TRUE(WaitExit(editor));
        EXPECT_EQ(0u, ExitCode(editor));
        EXPECT_EQ("#window(saved)\r\n", ReadBytes(ConfigPath()));
    }
}

TEST_F(EditorTest, DoneButtonAndEditNotificationsGetDefaultHandling)
{
    OpenEditor();
    SetEditText(L"#window(x)\r\n");
    // IDOK (the Done button) and the edits' own ids are not commands.
    Command(IDOK);
    SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(7, EN_CHANGE), (LPARAM)edit,
                        SMTO_ABORTIFHUNG, 5000, NULL);
    SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(7, EN_UPDATE), (LPARAM)edit,
                        SMTO_ABORTIFHUNG, 5000, NULL);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(L"#window(x)\r\n", EditText());
    EXPECT_FALSE(FileExists(ConfigPath()));
    ExitEditor();
}

TEST_F(EditorTest, EditCommandsReachTheVisibleEdit)
{
    OpenEditor();
    SetEditText(L"#window(one)");
    SetClipboardText(L"clip");
    Command(IDM_SELECTALL);
    EXPECT_EQ(MAKELONG(0, 12), Selection());
    Command(IDM_COPY);
    EXPECT_EQ(L"#window(one)", ClipboardText());
    Command(IDM_CUT);
    EXPECT_EQ(L"", EditText());
    Command(IDM_PASTE);
    Command(IDM_PASTE);
    EXPECT_EQ(L"#window(one)#window(one)", EditText());
    Command(IDM_UNDO);
    EXPECT_EQ(L"#window(one)", EditText()) << "the last paste was not undone";
    ExitEditor();
}

// A window of the monitor's class in the test process stands for a running
// monitor; each About must look for it again.
class EditorAboutTest : public EditorTest {
protected:
    HWND monitor = NULL;

    void TearDown() override
    {
        StopMonitor();
        EditorTest::TearDown();
    }

    void StartMonitor()
    {
        monitor = CreateFakeMonitor(DefWindowProcW);
        ASSERT_NE(nullptr, monitor);
    }

    void StopMonitor()
    {
        if (monitor)
            DestroyWindow(monitor);
        monitor = NULL;
    }

    void ExpectAbout(const wchar_t *status)
    {
        PostCommand(IDM_ABOUT);
        MessageBoxInfo box = WaitMessageBox(editor);
        ASSERT_NE(nullptr, box.box);
        EXPECT_EQ(L"Vorn G-Sensor Rotation - by the Vorn team", box.caption);
        std::wstring head = std::wstring(L"Ver.1.2\nStatus ") + status + L"\n\n";
        EXPECT_EQ(head, box.text.substr(0, head.size())) << Narrow(box.text);
        EXPECT_TRUE(box.hasOk);
        EXPECT_FALSE(box.hasYes);
        AnswerMessageBox(box.box, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box.box); }));
    }
};

TEST_F(EditorAboutTest, LooksForTheMonitorAgainEachTime)
{
    OpenEditor();
    ExpectAbout(L"OFF");
    StartMonitor();
    ExpectAbout(L"ON");
    StopMonitor();
    ExpectAbout(L"OFF");
    ExitEditor();
}

TEST_F(EditorAboutTest, MonitorRunningWhenEditorStartsThenGone)
{
    StartMonitor();
    OpenEditor();
    ExpectAbout(L"ON");
    StopMonitor();
    ExpectAbout(L"OFF");
    ExitEditor();
}

// Save writes the new text to a file of its own beside the configuration
// file and then replaces the file in one step. A name that is taken, by a
// file or folder of the user's or by one left from an earlier run, is never
// written to or removed: Save takes the next one. A replacement that cannot
// happen leaves the old file whole.
enum ObstacleKind { OBSTACLE_NONE, OBSTACLE_FOLDER, OBSTACLE_READ_ONLY, OBSTACLE_FILE };

struct AtomicCase {
    const char *name;
    ObstacleKind obstacle;
    const wchar_t *obstacleName;  // in the program folder
    bool configHeld;              // a reader holds the file, sharing reading only
    bool replaced;                // whether the Save can go through
};

const AtomicCase kAtomicCases[] = {
    {"temp path is a folder", OBSTACLE_FOLDER, L"vorn.txt.new", false, true},
    {"temp path is a read-only file", OBSTACLE_READ_ONLY, L"vorn.txt.new", false, true},
    {"stale temp file from an earlier run", OBSTACLE_FILE, L"vorn.txt.new", false, true},
    {"first temporary name is a folder", OBSTACLE_FOLDER, L"~vorn1.tmp", false, true},
    {"first temporary name is a read-only file", OBSTACLE_READ_ONLY, L"~vorn1.tmp", false, true},
    {"first temporary name is taken by a file", OBSTACLE_FILE, L"~vorn1.tmp", false, true},
    {"file held by a reader throughout", OBSTACLE_NONE, L"", true, false},
};

void PrintTo(const AtomicCase &c, std::ostream *os) { *os << c.name; }

class EditorAtomicSaveTest : public EditorTest,
                             public ::testing::WithParamInterface<AtomicCase> {
protected:
    std::wstring ObstaclePath() const { return Path(GetParam().obstacleName); }

    void RemoveObstacle() const
    {
        if (GetParam().obstacle == OBSTACLE_NONE)
            return;
        SetFileAttributesW(ObstaclePath().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(ObstaclePath().c_str());
        RemoveDirectoryW(ObstaclePath().c_str());
    }

    void SetUp() override
    {
        EditorTest::SetUp();
        RemoveObstacle();
    }

    void TearDown() override
    {
        EditorTest::TearDown();
        RemoveObstacle();
    }
};

TEST_P(EditorAtomicSaveTest, ReplacesInOneStepOrNotAtAll)
{
    const std::string old = "#window(old)\r\n#timeout(700)\r\n#onlyfor(1)\r\n";
    const std::string theirs = "#window(half written";
    ASSERT_TRUE(WriteBytes(ConfigPath(), old));
    switch (GetParam().obstacle) {
    case OBSTACLE_NONE:
        break;
    case OBSTACLE_FOLDER:
        ASSERT_TRUE(CreateDirectoryW(ObstaclePath().c_str(), NULL));
        break;
    case OBSTACLE_READ_ONLY:
        ASSERT_TRUE(WriteBytes(ObstaclePath(), theirs));
        ASSERT_TRUE(SetFileAttributesW(ObstaclePath().c_str(), FILE_ATTRIBUTE_READONLY));
        break;
    case OBSTACLE_FILE:
        ASSERT_TRUE(WriteBytes(ObstaclePath(), theirs));
        break;
    }

    OpenEditor();
    SetEditText(L"#window(new)\r\n");
    HANDLE reader = INVALID_HANDLE_VALUE;
    if (GetParam().configHeld) {
        reader = CreateFileW(ConfigPath().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                             OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    }
    Command(IDM_SAVE);
    if (reader != INVALID_HANDLE_VALUE)
        CloseHandle(reader);

    if (GetParam().replaced) {
        EXPECT_EQ("#window(new)\r\n", ReadBytes(ConfigPath()));
    } else {
        EXPECT_EQ(old, ReadBytes(ConfigPath()));
    }
    // Whatever was in the way is as it was, and Save left nothing else.
    std::vector<std::wstring> expected;
    switch (GetParam().obstacle) {
    case OBSTACLE_NONE:
        break;
    case OBSTACLE_FOLDER:
        EXPECT_NE(0u, GetFileAttributesW(ObstaclePath().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
        expected.push_back(GetParam().obstacleName);
        break;
    case OBSTACLE_READ_ONLY:
    case OBSTACLE_FILE:
        EXPECT_EQ(theirs, ReadBytes(ObstaclePath()));
        expected.push_back(GetParam().obstacleName);
        break;
    }
    EXPECT_EQ(expected, SaveLeftovers());
    // The editor goes on: the text is still there to save again.
    EXPECT_EQ(L"#window(new)\r\n", EditText());
    ExitEditor();
    if (!GetParam().replaced) {
        EXPECT_EQ(old, ReadBytes(ConfigPath()));
    }
}

INSTANTIATE_TEST_SUITE_P(Editor, EditorAtomicSaveTest, ::testing::ValuesIn(kAtomicCases),
                         [](const ::testing::TestParamInfo<AtomicCase> &info) {
                             std::string name;
                             for (const char *p = info.param.name; *p; ++p)
                                 name += isalnum((unsigned char)*p) ? *p : '_';
                             return name;
                         });

TEST_F(EditorTest, SaveToAFolderOfTheFilesNameChangesNothing)
{
    DeleteFileW(ConfigPath().c_str());
    RemoveDirectoryW(ConfigPath().c_str());
    ASSERT_TRUE(CreateDirectoryW(ConfigPath().c_str(), NULL));
    OpenEditor();
    EXPECT_EQ(kDefaultText, EditText());
    SetEditText(L"#window(x)\r\n");
    Command(IDM_SAVE);
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY,
              GetFileAttributesW(ConfigPath().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(SaveLeftovers().empty());
    ExitEditor();
    RemoveDirectoryW(ConfigPath().c_str());
}

}  // namespace
