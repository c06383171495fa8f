// The command-line verbs of vorn.exe, seen from outside: which process ends,
// which monitor starts, what a running instance is sent, which boxes appear
// and whether the start-up registration is made.
#include "support/phone.h"

namespace {

// A window of the monitor's class in the test process stands for a running
// instance and counts the unload requests it receives.
int g_unloads;

LRESULT CALLBACK FakeInstanceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == 1234 && wParam == 0 && lParam == 0) {
        ++g_unloads;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class VerbTest : public PhoneTest {
protected:
    HWND fake = NULL;

    void TearDown() override
    {
        if (fake)
            DestroyWindow(fake);
        PhoneTest::TearDown();
    }

    void StartFakeInstance()
    {
        fake = CreateFakeMonitor(FakeInstanceProc);
        ASSERT_NE(nullptr, fake);
        g_unloads = 0;
    }

    int Registrations() const { return CountLog(L"aygshell 12 "); }

    std::wstring QuotedExe() const { return L"\"" + Path(L"vorn.exe") + L"\""; }

    // The process must end by itself, with exit code 0.
    void ExpectEnds(const PROCESS_INFORMATION &p)
    {
        ASSERT_TRUE(WaitExit(p)) << "the process did not end";
        EXPECT_EQ(0u, ExitCode(p));
    }

    // The process must become the monitor; it is then unloaded again.
    void ExpectMonitorStarts(const PROCESS_INFORMATION &p)
    {
        HWND monitor = WaitMonitor();
        ASSERT_NE(nullptr, monitor) << "no monitor started";
        DWORD pid = 0;
        GetWindowThreadProcessId(monitor, &pid);
        EXPECT_EQ(p.dwProcessId, pid);
        PostMessageW(monitor, 1234, 0, 0);
        ExpectEnds(p);
    }
};

// Verbs that end without a box, and what they do to a running instance.
struct QuietCase {
    const wchar_t *args;
    bool instance;
    int unloads;          // WMU_UNLOAD posted to the instance
    bool registers;       // the start-up registration call is made
    bool monitorStarts;   // else the process ends
};

const QuietCase kQuietCases[] = {
    {L"#load", true, 0, false, false},
    {L"#load", false, 0, false, true},
    {L"#toggle", true, 1, false, false},
    {L"#toggle", false, 0, false, true},
    {L"#unload", true, 1, false, false},
    {L"#unload", false, 0, false, false},
    {L"#register", true, 0, true, false},
    {L"#register", false, 0, true, false},
    {L"", false, 0, true, true},
    // Any letter case, inside longer words, and the fixed order of tests.
    {L"#LOAD", true, 0, false, false},
    {L"xx#Loadyy", true, 0, false, false},
    {L"#about #load", true, 0, false, false},
    {L"#unload #toggle", true, 1, false, false},
    {L"#UnLoAd", true, 1, false, false},
    {L"#register #CONFIG", false, 0, true, false},
    {L"#config #REGISTER", false, 0, true, false},
    {L"#about #register", false, 0, true, false},
    {L"please#unloadnow", false, 0, false, false},
};

class QuietVerbTest : public VerbTest, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(QuietVerbTest, EndsOrStartsMonitor)
{
    const QuietCase &c = GetParam();
    if (c.instance)
        StartFakeInstance();
    PROCESS_INFORMATION p = Start(c.args);
    if (c.monitorStarts) {
        ExpectMonitorStarts(p);
    } else {
        ExpectEnds(p);
        EXPECT_EQ(nullptr, FindMessageBox(p.dwProcessId));
        EXPECT_EQ(nullptr, FindMonitor());
    }
    // Posted messages reach the fake instance while we pump.
    WaitUntil([&] { return g_unloads >= c.unloads; }, 2000);
    if (c.instance) {
        EXPECT_EQ(c.unloads, g_unloads);
    }
    EXPECT_EQ(c.registers ? 1 : 0, Registrations());
}

INSTANTIATE_TEST_SUITE_P(Verbs, QuietVerbTest, ::testing::ValuesIn(kQuietCases),
                         [](const ::testing::TestParamInfo<QuietCase> &info) {
                             return VerbCaseName(info.param.args, info.param.instance);
                         });

TEST_F(VerbTest, RegistrationCallCarriesClassAndQuotedPath)
{
    PROCESS_INFORMATION p = Start(L"#register");
    ExpectEnds(p);
    std::vector<std::wstring> log = CallLog();
    ASSERT_EQ(1u, log.size());
    std::wstring q = QuotedExe();
    std::wstring expected = L"aygshell 12 name=\":QZVORN\" flags=31 record={0,\"QZGSENSOR_CLASS\",\"" +
                            q + L"\",0,31,0} command=\"" + q + L"\" same_command=1";
    EXPECT_EQ(0, CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, expected.c_str(), -1,
                                log[0].c_str(), -1) - CSTR_EQUAL)
        << Narrow(log[0]) << "\nexpected\n" << Narrow(expected);
}

struct AboutCase {
    bool instance;
    const wchar_t *status;
};

class AboutTest : public VerbTest, public ::testing::WithParamInterface<AboutCase> {};

TEST_P(AboutTest, ShowsVersionAndStatus)
{
    if (GetParam().instance)
        StartFakeInstance();
    PROCESS_INFORMATION p = Start(L"#about");
    MessageBoxInfo box = WaitMessageBox(p);
    ASSERT_NE(nullptr, box.box);
    EXPECT_EQ(L"Vorn G-Sensor Rotation - by the Vorn team", box.caption);
    std::wstring head = std::wstring(L"Ver.1.2\nStatus ") + GetParam().status + L"\n\n";
    EXPECT_EQ(head, box.text.substr(0, head.size())) << Narrow(box.text);
    // Wine does not mark a box topmost; the flags are checked through the
    // message-box seam in the unit tests.
    EXPECT_TRUE(box.hasOk);
    EXPECT_FALSE(box.hasYes);
    EXPECT_EQ(1, Registrations());
    AnswerMessageBox(box.box, IDOK);
    ExpectEnds(p);
    EXPECT_EQ(nullptr, FindMonitor());
    EXPECT_EQ(0, g_unloads);
}

INSTANTIATE_TEST_SUITE_P(Verbs, AboutTest,
                         ::testing::Values(AboutCase{true, L"ON"}, AboutCase{false, L"OFF"}),
                         [](const ::testing::TestParamInfo<AboutCase> &info) {
                             return VerbCaseName(L"#about", info.param.instance);
                         });

struct PromptCase {
    int answer;
    int unloads;
};

class UnloadPromptTest : public VerbTest, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(UnloadPromptTest, EmptyCommandLineAsksBeforeUnloading)
{
    StartFakeInstance();
    PROCESS_INFORMATION p = Start(L"");
    MessageBoxInfo box = WaitMessageBox(p);
    ASSERT_NE(nullptr, box.box);
    EXPECT_EQ(L"Vorn G-Sensor Rotation - by the Vorn team", box.caption);
    EXPECT_EQ(L"Ver.1.2\nStatus ON.\nUnload program?", box.text);
    EXPECT_TRUE(box.hasYes);
    EXPECT_TRUE(box.hasNo);
    AnswerMessageBox(box.box, GetParam().answer);
    ExpectEnds(p);
    WaitUntil([&] { return g_unloads >= GetParam().unloads; }, 2000);
    EXPECT_EQ(GetParam().unloads, g_unloads);
    EXPECT_EQ(1, Registrations());
    EXPECT_EQ(nullptr, FindMonitor());
}

INSTANTIATE_TEST_SUITE_P(Verbs, UnloadPromptTest,
                         ::testing::Values(PromptCase{IDYES, 1}, PromptCase{IDNO, 0}),
                         [](const ::testing::TestParamInfo<PromptCase> &info) {
                             return std::string(info.param.answer == IDYES ? "answer_yes"
                                                                           : "answer_no");
                         });

class ConfigVerbTest : public VerbTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ConfigVerbTest, OpensEditorAndNeverStartsMonitor)
{
    if (GetParam())
        StartFakeInstance();
    PROCESS_INFORMATION p = Start(L"#CONFIG");
    HWND editor = NULL;
    ASSERT_TRUE(WaitUntil([&] { return (editor = FindWindowW(L"QZSGCFGEDIT", NULL)) != NULL; }));
    EXPECT_EQ(L"VORN", WindowText(editor));
    EXPECT_EQ(1, Registrations());
    PostMessageW(editor, WM_CLOSE, 0, 0);
    ExpectEnds(p);
    EXPECT_EQ(nullptr, FindMonitor());
    EXPECT_EQ(0, g_unloads);
}

INSTANTIATE_TEST_SUITE_P(Verbs, ConfigVerbTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return VerbCaseName(L"#CONFIG", info.param);
                         });

TEST_F(VerbTest, VerbsThatEndWriteNoConfiguration)
{
    for (const wchar_t *args : {L"#unload", L"#register"}) {
        PROCESS_INFORMATION p = Start(args);
        ExpectEnds(p);
    }
    EXPECT_FALSE(FileExists(ConfigPath()));
}

}  // namespace
