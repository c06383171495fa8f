// Sensor events on the emulated phone: which rotation the display gets for
// each position, which foreground windows are left alone, what face-down
// does, and how the configuration file is read at every event.
#include "monitor_support.h"
#include <algorithm>
#include <iterator>

namespace {

using MonitorEventTest = MonitorPhoneTest;

// --- Sensor values -------------------------------------------------------

struct SensorCase {
    const char *name;
    DWORD value;
    int code;  // rotation code passed to the display, -1 for none
};

const SensorCase kSensorCases[] = {
    {"Portrait", SENSOR_TURNED_90, 1},
    {"LandscapeLeft", SENSOR_TURNED_270, 3},
    {"UpsideDown", SENSOR_UPRIGHT, 0},
    {"LandscapeRight", SENSOR_UPSIDE_DOWN, 2},
    {"FaceDownWithoutSetting", SENSOR_FACE_DOWN, -1},
    {"Unknown", 0x12345, -1},
};

class MonitorSensorValueTest : public MonitorPhoneTest,
                               public ::testing::WithParamInterface<SensorCase> {};

TEST_P(MonitorSensorValueTest, TurnsTheDisplayByTheTable)
{
    const SensorCase &c = GetParam();
    WriteConfig("#timeout(0)\r\n");
    SetRotation(ROTATION_UNTOUCHED);
    LoadMonitor();
    Turn(c.value);
    Finish();

    std::vector<int> calls = RotationCalls();
    if (c.code < 0) {
        EXPECT_TRUE(calls.empty());
        EXPECT_EQ(0, CountLog(L"aygshell 299"));
        EXPECT_EQ((DWORD)ROTATION_UNTOUCHED, Rotation());
    } else {
        EXPECT_EQ(std::vector<int>{c.code}, calls);
        EXPECT_EQ((DWORD)c.code, Rotation());
        // The rotation service is asked whether it is there first.
        std::vector<std::wstring> log = CallLog();
        auto set = std::find_if(log.begin(), log.end(), [](const std::wstring &line) {
            return line.find(L"aygshell 298 ") != std::wstring::npos;
        });
        ASSERT_NE(log.end(), set);
        // The notification's own thread may log between the two calls.
        auto asked = std::find_if(std::make_reverse_iterator(set), log.rend(),
                                  [](const std::wstring &line) {
                                      return line.find(L"aygshell 299 ") != std::wstring::npos;
                                  });
        ASSERT_NE(log.rend(), asked) << "the rotation service was not asked first";
        EXPECT_NE(std::wstring::npos, asked->find(L"aygshell 299 value=9"));
    }
}

INSTANTIATE_TEST_SUITE_P(Values, MonitorSensorValueTest, ::testing::ValuesIn(kSensorCases),
                         [](const ::testing::TestParamInfo<SensorCase> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(MonitorEventTest, ValueReadAfterTheWaitDecides)
{
    WriteConfig("#timeout(0)\r\n");
    SetRotation(ROTATION_UNTOUCHED);
    SetSensor(SENSOR_UPSIDE_DOWN);  // before the monitor registers: no event
    LoadMonitor();
    // The platform's message says portrait, the sensor meanwhile says
    // landscape.
    PostMessageW(FindMonitor(), WMU_SENSOR_EVENT, SENSOR_TURNED_90, 0);
    Finish();
    EXPECT_EQ(std::vector<int>{2}, RotationCalls());
    EXPECT_EQ(2u, Rotation());
}

TEST_F(MonitorEventTest, NegativeTimeoutDoesNotWait)
{
    WriteConfig("#timeout(-1)\r\n");
    LoadMonitor();
    Turn(SENSOR_TURNED_270);
    EXPECT_TRUE(WaitUntil([&] { return Rotation() == 3; })) << "the monitor is still waiting";
    Finish();
}

TEST_F(MonitorEventTest, BurstIsHandledInOrderAndTheLastDecides)
{
    WriteConfig("#timeout(0)\r\n");
    SetRotation(ROTATION_UNTOUCHED);
    LoadMonitor();
    // The driver reports a phone turned round quickly, without pauses.
    ASSERT_TRUE(WriteBytes(Path(L"burst.trace"),
                           "0 0x10000\r\n0 0x10001\r\n0 0x10002\r\n0 0x10003\r\n0 0x10000\r\n"
                           "0 0x10001\r\n0 0x10003\r\n"));
    PROCESS_INFORMATION driver = Start(L"play burst.trace", L"sensordrv.exe");
    ASSERT_TRUE(WaitExit(driver));
    ASSERT_EQ(0u, ExitCode(driver));
    // The last write has been seen once its value is posted, or it was
    // still the value read when the previous event was posted.
    ASSERT_TRUE(WaitUntil([&] {
        std::vector<std::wstring> log = CallLog();
        for (auto line = log.rbegin(); line != log.rend(); ++line)
            if (line->find(L"aygshell notify posted=") != std::wstring::npos)
                return line->find(L"posted=65539") != std::wstring::npos;
        return false;
    }));
    Finish();

    // Every posted event was handled, each with its own re-read, and the
    // last one left the display in the last position.
    std::vector<int> calls = RotationCalls();
    EXPECT_EQ((size_t)CountLog(L"aygshell notify posted="), calls.size());
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(2, calls.back());
    EXPECT_EQ(2u, Rotation());
}

// --- Foreground windows left alone -----------------------------------------

struct ExemptionCase {
    const char *name;
    const char *config;  // after "#timeout(0)"
    const wchar_t *exe;
    const wchar_t *title;
    const wchar_t *className;
    bool rotates;
};

const ExemptionCase kExemptionCases[] = {
    {"ListedTitleLeftAlone", "#onlyfor(0)\r\n#window(inbox)\r\n", L"appwin.exe",
     L"Inbox - Messaging", L"MsgView", false},
    {"ListedClassLeftAlone", "#onlyfor(0)\r\n#window(TMAIL)\r\n", L"appwin.exe", L"Messages",
     L"tmailView", false},
    {"ListedProcessAloneLeftAlone", "#onlyfor(0)\r\n#window(cprog.exe)\r\n", L"cprog.exe",
     L"Phone", L"DialerView", false},
    {"UnlistedTurns", "#onlyfor(0)\r\n#window(cprog.exe)\r\n#window(inbox)\r\n", L"appwin.exe",
     L"Notes", L"NotesView", true},
    {"OnlyForTitleTurns", "#onlyfor(1)\r\n#window(inbox)\r\n", L"appwin.exe",
     L"Inbox - Messaging", L"MsgView", true},
    {"OnlyForClassTurns", "#onlyfor(1)\r\n#window(TMAIL)\r\n", L"appwin.exe", L"Messages",
     L"tmailView", true},
    {"OnlyForProcessAloneTurns", "#onlyfor(1)\r\n#window(cprog.exe)\r\n", L"cprog.exe",
     L"Phone", L"DialerView", true},
    {"OnlyForUnlistedLeftAlone", "#onlyfor(1)\r\n#window(inbox)\r\n", L"appwin.exe", L"Notes",
     L"NotesView", false},
    {"EmptyListEveryWindowTurns", "#onlyfor(0)\r\n", L"appwin.exe", L"Notes", L"NotesView",
     true},
    {"EmptyListOnlyForNoneTurns", "#onlyfor(1)\r\n", L"appwin.exe", L"Notes", L"NotesView",
     false},
};

class MonitorExemptionTest : public MonitorPhoneTest,
                             public ::testing::WithParamInterface<ExemptionCase> {};

TEST_P(MonitorExemptionTest, ForegroundWindowAgainstTheWindowList)
{
    const ExemptionCase &c = GetParam();
    WriteConfig(std::string("#timeout(0)\r\n") + c.config);
    SetRotation(ROTATION_UNTOUCHED);
    HWND app = OpenApp(c.title, c.className, c.exe);
    LoadMonitor();
    ASSERT_EQ(app, GetForegroundWindow());
    Turn(SENSOR_TURNED_90);
    Finish();
    if (c.rotates) {
        EXPECT_EQ(std::vector<int>{1}, RotationCalls());
        EXPECT_EQ(1u, Rotation());
    } else {
        EXPECT_TRUE(RotationCalls().empty());
        EXPECT_EQ(0, CountLog(L"aygshell 299"));  // left alone before any wait
        EXPECT_EQ((DWORD)ROTATION_UNTOUCHED, Rotation());
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, MonitorExemptionTest, ::testing::ValuesIn(kExemptionCases),
                         [](const ::testing::TestParamInfo<ExemptionCase> &info) {
                             return std::string(info.param.name);
                         });

// --- Face down ---------------------------------------------------------------

// Key events of the power key, seen by a low-level keyboard hook of the test
// process. The hook runs while the test pumps its messages (WaitUntil).
std::vector<WPARAM> g_powerKeyEvents;

LRESULT CALLBACK PowerKeyHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && ((KBDLLHOOKSTRUCT *)lParam)->vkCode == 0xDF)
        g_powerKeyEvents.push_back(wParam);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

struct FaceDownCase {
    const char *name;
    const char *fdscreenoff;
    bool listed;         // the foreground window is on the window list
    DWORD afterWait;     // 0: still face down; else the value the sensor holds
    bool pressed;        // one press and release of the power key
};

const FaceDownCase kFaceDownCases[] = {
    {"PowerKey", "#fdscreenoff(2)", false, 0, true},
    // Face-down comes before the window test.
    {"PowerKeyOverListedWindow", "#fdscreenoff(2)", true, 0, true},
    {"TurnedBackDuringTheWait", "#fdscreenoff(2)", false, SENSOR_TURNED_90, false},
    // Display off: no key. The request itself is checked in the unit tests,
    // since the desktop display driver offers no power escape.
    {"DisplayOffPressesNoKey", "#fdscreenoff(1)", false, 0, false},
    {"SettingOff", "#fdscreenoff(0)", false, 0, false},
    {"SettingNegative", "#fdscreenoff(-2)", false, 0, false},
};

class PowerKeyWatchTest : public MonitorPhoneTest {
protected:
    HHOOK hook = NULL;

    void SetUp() override
    {
        MonitorPhoneTest::SetUp();
        g_powerKeyEvents.clear();
        hook = SetWindowsHookExW(WH_KEYBOARD_LL, PowerKeyHook, GetModuleHandleW(NULL), 0);
        ASSERT_NE(nullptr, hook);
    }

    void TearDown() override
    {
        if (hook)
            UnhookWindowsHookEx(hook);
        MonitorPhoneTest::TearDown();
    }
};

class MonitorFaceDownTest : public PowerKeyWatchTest,
                            public ::testing::WithParamInterface<FaceDownCase> {};

TEST_P(MonitorFaceDownTest, PowerKeyOnlyWhenStillFaceDownWithSettingTwo)
{
    const FaceDownCase &c = GetParam();
    WriteConfig(std::string("#timeout(0)\r\n") + c.fdscreenoff + "\r\n" +
                (c.listed ? "#window(Notes)\r\n" : ""));
    SetRotation(ROTATION_UNTOUCHED);
    OpenApp(L"Notes", L"NotesView");
    if (c.afterWait)
        SetSensor(c.afterWait);
    LoadMonitor();
    if (c.afterWait)
        PostMessageW(FindMonitor(), WMU_SENSOR_EVENT, SENSOR_FACE_DOWN, 0);
    else
        Turn(SENSOR_FACE_DOWN);
    if (c.pressed) {
        EXPECT_TRUE(WaitUntil([] { return g_powerKeyEvents.size() >= 2; }));
    }
    Finish();

    std::vector<WPARAM> expected;
    if (c.pressed)
        expected = {WM_KEYDOWN, WM_KEYUP};
    EXPECT_EQ(expected, g_powerKeyEvents);
    EXPECT_TRUE(RotationCalls().empty());
    EXPECT_EQ((DWORD)ROTATION_UNTOUCHED, Rotation());
}

INSTANTIATE_TEST_SUITE_P(Settings, MonitorFaceDownTest, ::testing::ValuesIn(kFaceDownCases),
                         [](const ::testing::TestParamInfo<FaceDownCase> &info) {
                             return std::string(info.param.name);
                         });

// --- Shut down while an event waits -------------------------------------------

// A long #timeout, a typo away from a short one, must not keep the monitor
// from being unloaded: the request ends the wait, the event is dropped and
// the monitor shuts down as always. The request may reach the monitor
// before its handler has begun the wait or during it; both end the same way.
struct LongWaitCase {
    const char *name;
    const char *config;
    DWORD value;          // the event, and the sensor's value throughout
    const wchar_t *verb;  // run "vorn.exe <verb>", or
    UINT message;         // post this message to the monitor window
};

const LongWaitCase kLongWaitCases[] = {
    {"UnloadVerbDuringTurnWait", "#timeout(600000)\r\n", SENSOR_TURNED_90, L"#unload", 0},
    {"UnloadMessageDuringTurnWait", "#timeout(2147483647)\r\n", SENSOR_TURNED_270, nullptr,
     WMU_UNLOAD},
    {"CloseMessageDuringTurnWait", "#timeout(600000)\r\n", SENSOR_UPSIDE_DOWN, nullptr,
     WM_CLOSE},
    {"UnloadMessageDuringFaceDownWait", "#timeout(600000)\r\n#fdscreenoff(2)\r\n",
     SENSOR_FACE_DOWN, nullptr, WMU_UNLOAD},
};

class MonitorLongWaitTest : public PowerKeyWatchTest,
                            public ::testing::WithParamInterface<LongWaitCase> {};

TEST_P(MonitorLongWaitTest, ShutDownRequestEndsTheWaitAndTheMonitor)
{
    const LongWaitCase &c = GetParam();
    WriteConfig(c.config);
    SetRotation(ROTATION_UNTOUCHED);
    LoadMonitor();
    Turn(c.value);
    if (c.verb) {
        PROCESS_INFORMATION verb = Start(c.verb);
        EXPECT_TRUE(WaitExit(verb));
    } else {
        PostMessageW(FindMonitor(), c.message, 0, 0);
    }
    // Far less than the timeout: the wait was cut short.
    ASSERT_TRUE(WaitExit(monitor)) << "the monitor is still waiting";
    EXPECT_EQ(0u, ExitCode(monitor));
    EXPECT_TRUE(WaitNoMonitor());
    EXPECT_EQ(MONITOR_REGISTRATIONS, CountLog(L"aygshell RegistryCloseNotification handle=set"));
    EXPECT_EQ(1, CountLog(L"htcsensor HTCSensorClose handle=0x5e"));
    // The event was dropped: no turn, no key.
    EXPECT_EQ(0, CountLog(L"aygshell 299"));
    EXPECT_TRUE(RotationCalls().empty());
    EXPECT_EQ((DWORD)ROTATION_UNTOUCHED, Rotation());
    EXPECT_TRUE(g_powerKeyEvents.empty());
}

INSTANTIATE_TEST_SUITE_P(Requests, MonitorLongWaitTest, ::testing::ValuesIn(kLongWaitCases),
                         [](const ::testing::TestParamInfo<LongWaitCase> &info) {
                             return std::string(info.param.name);
                         });

// --- The configuration file at each event -----------------------------------

const char kDefaultConfig[] =
    "#window(Manila)\r\n#window(TEETER)\r\n#window(opera)\r\n#window(htcalbum)\r\n"
    "#window(cprog.exe)\r\n#timeout(1000)\r\n#onlyfor(0)\r\n#fdscreenoff(0)\r\n";

TEST_F(MonitorEventTest, MissingFileIsCreatedAtTheFirstEventAndObeyed)
{
    SetRotation(ROTATION_UNTOUCHED);
    OpenApp(L"Phone", L"DialerView", L"cprog.exe");
    LoadMonitor();
    EXPECT_FALSE(FileExists(ConfigPath())) << "the file is written at an event, not at start";
    Turn(SENSOR_TURNED_90);
    Finish();
    EXPECT_EQ(std::string(kDefaultConfig), ReadBytes(ConfigPath()));
    // The default list names cprog.exe: already this event leaves it alone.
    EXPECT_TRUE(RotationCalls().empty());
    EXPECT_EQ((DWORD)ROTATION_UNTOUCHED, Rotation());
}

TEST_F(MonitorEventTest, EditedFileIsObeyedAtTheNextEvent)
{
    WriteConfig("#timeout(0)\r\n");
    SetRotation(ROTATION_UNTOUCHED);
    OpenApp(L"Notes", L"NotesView");
    LoadMonitor();
    Turn(SENSOR_TURNED_90);
    ASSERT_TRUE(WaitUntil([&] { return Rotation() == 1; }));
    // The user lists the window while the monitor runs.
    WriteConfig("#timeout(0)\r\n#window(notes)\r\n");
    Turn(SENSOR_TURNED_270);
    Finish();
    EXPECT_EQ(std::vector<int>{1}, RotationCalls());
    EXPECT_EQ(1u, Rotation());
}

}  // namespace
