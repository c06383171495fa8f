// The resident monitor seen from outside: it starts hidden with the sensor
// open and registered for events, it is found by its class, it shuts down
// on every road the same way, and a sensor that cannot be reached ends it
// after one box.
#include "monitor_support.h"

namespace {

const wchar_t kCaption[] = L"Vorn G-Sensor Rotation - by the Vorn team";

int MonitorWindows()
{
    struct Count {
        static BOOL CALLBACK Proc(HWND window, LPARAM param)
        {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid != GetCurrentProcessId() && ClassOf(window) == L"QZGSENSOR_CLASS")
                ++*(int *)param;
            return TRUE;
        }
    };
    int n = 0;
    EnumWindows(Count::Proc, (LPARAM)&n);
    return n;
}

using MonitorLifecycleTest = MonitorPhoneTest;

TEST_F(MonitorLifecycleTest, StartsHiddenWithTheSensorOpenAndRegistered)
{
    LoadMonitor();
    HWND window = FindMonitor();
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(L"", WindowText(window));
    EXPECT_EQ(1, CountLog(L"htcsensor HTCSensorOpen sensor=1 handle=0x5e"));
    EXPECT_EQ(1, CountLog(L"aygshell RegistryNotifyWindow root=0x80000002 "
                          L"key=\"\\Software\\HTC\\HTCSensor\\GSensor\" value=\"EventChanged\" "
                          L"msg=1235 user=0 condition=none"));
    EXPECT_EQ(1, CountLog(L"aygshell RegistryNotifyWindow root=0x80000001 "
                          L"key=\"System\\State\\Shell\" value=\"Active Application\" "
                          L"msg=1236 user=0 condition=none"));
    EXPECT_EQ(1, CountLog(L"aygshell RegistryNotifyWindow root=0x80000002 "
                          L"key=\"System\\State\\Phone\" value=\"Status\" "
                          L"msg=1237 user=0 condition=none"));
    EXPECT_EQ(1, CountLog(L"aygshell RegistryNotifyWindow root=0x80000001 "
                          L"key=\"Software\\Microsoft\\Shell\" value=\"HasKeyboard\" "
                          L"msg=1238 user=0 condition=none"));
    EXPECT_EQ(MONITOR_REGISTRATIONS, CountLog(L"aygshell RegistryNotifyWindow armed"));
    EXPECT_EQ(0, CountLog(L"HTCSensorClose"));
    Finish();
}

// The roads out of a running monitor; each closes the registration and the
// sensor once and ends the process.
struct ShutDownRoad {
    const char *name;
    const wchar_t *verb;  // run "vorn.exe <verb>", or
    UINT message;         // post this message to the monitor window
};

const ShutDownRoad kShutDownRoads[] = {
    {"UnloadVerb", L"#unload", 0},
    {"ToggleVerb", L"#toggle", 0},
    {"UnloadMessage", nullptr, WMU_UNLOAD},
    {"CloseMessage", nullptr, WM_CLOSE},
};

class MonitorShutDownTest : public MonitorPhoneTest,
                            public ::testing::WithParamInterface<ShutDownRoad> {};

TEST_P(MonitorShutDownTest, ClosesRegistrationAndSensorThenEnds)
{
    const ShutDownRoad &road = GetParam();
    LoadMonitor();
    if (road.verb) {
        PROCESS_INFORMATION verb = Start(road.verb);
        EXPECT_TRUE(WaitExit(verb));
    } else {
        PostMessageW(FindMonitor(), road.message, 0, 0);
    }
    ASSERT_TRUE(WaitExit(monitor)) << "the monitor did not end";
    EXPECT_EQ(0u, ExitCode(monitor));
    EXPECT_TRUE(WaitNoMonitor());
    // The sensor's registration, the front change's and the two moments'.
    EXPECT_EQ(MONITOR_REGISTRATIONS, CountLog(L"aygshell RegistryCloseNotification handle=set"));
    EXPECT_EQ(1, CountLog(L"htcsensor HTCSensorClose handle=0x5e"));
    EXPECT_EQ(1, CountLog(L"result=1"));
}

INSTANTIATE_TEST_SUITE_P(Roads, MonitorShutDownTest, ::testing::ValuesIn(kShutDownRoads),
                         [](const ::testing::TestParamInfo<ShutDownRoad> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(MonitorLifecycleTest, ToggleStartsTheMonitorWhenNoneRuns)
{
    monitor = Start(L"#toggle");
    ASSERT_NE(nullptr, WaitMonitor());
    ASSERT_TRUE(WaitLog(L"RegistryNotifyWindow armed", MONITOR_REGISTRATIONS));
    DWORD pid = 0;
    GetWindowThreadProcessId(FindMonitor(), &pid);
    EXPECT_EQ(monitor.dwProcessId, pid);
    PROCESS_INFORMATION second = Start(L"#toggle");
    EXPECT_TRUE(WaitExit(second));
    ASSERT_TRUE(WaitExit(monitor)) << "the second #toggle did not unload the monitor";
    EXPECT_TRUE(WaitNoMonitor());
}

TEST_F(MonitorLifecycleTest, SecondLoadStartsNothing)
{
    LoadMonitor();
    PROCESS_INFORMATION second = Start(L"#load");
    ASSERT_TRUE(WaitExit(second));
    EXPECT_EQ(0u, ExitCode(second));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(monitor.hProcess, 0));
    EXPECT_EQ(1, MonitorWindows());
    EXPECT_EQ(1, CountLog(L"HTCSensorOpen"));
    EXPECT_EQ(MONITOR_REGISTRATIONS, CountLog(L"RegistryNotifyWindow armed"));
    Finish();
}

TEST_F(MonitorLifecycleTest, CommandOneEndsTheLoopWithoutClosing)
{
    LoadMonitor();
    PostMessageW(FindMonitor(), WM_COMMAND, 1, 0);
    ASSERT_TRUE(WaitExit(monitor));
    EXPECT_EQ(0u, ExitCode(monitor));
    EXPECT_EQ(0, CountLog(L"RegistryCloseNotification"));
    EXPECT_EQ(0, CountLog(L"HTCSensorClose"));
}

TEST_F(MonitorLifecycleTest, SecondShutDownMessageClosesNothingAgain)
{
    // The monitor is kept busy with an event for a moment, so that both
    // shut-down messages wait in its queue and both are handled before the
    // loop sees the quit message.
    WriteConfig("#timeout(400)\r\n");
    LoadMonitor();
    HWND window = FindMonitor();
    PostMessageW(window, WMU_SENSOR_EVENT, SENSOR_TURNED_90, 0);
    PostMessageW(window, WMU_UNLOAD, 0, 0);
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitExit(monitor));
    EXPECT_EQ(0u, ExitCode(monitor));
    EXPECT_EQ(MONITOR_REGISTRATIONS, CountLog(L"RegistryCloseNotification"));
    EXPECT_EQ(1, CountLog(L"HTCSensorClose"));
}

TEST_F(MonitorLifecycleTest, QuietMessagesAreAnsweredWithZero)
{
    WriteConfig("#timeout(0)\r\n");
    LoadMonitor();
    HWND window = FindMonitor();
    for (UINT message : {WM_PAINT, WM_ACTIVATE, WM_DESTROY}) {
        DWORD_PTR result = 0xBAD;
        ASSERT_NE(0, SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
        EXPECT_EQ(0u, result) << "message " << message;
    }
    // Nothing was shut down: the window is there and still turns the display.
    EXPECT_EQ(window, FindMonitor());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(monitor.hProcess, 0));
    Turn(SENSOR_TURNED_90);
    EXPECT_TRUE(WaitUntil([&] { return Rotation() == 1; }));
    EXPECT_EQ(0, CountLog(L"HTCSensorClose"));
    Finish();
}

// The sensor library missing, incomplete, or refusing to open.
struct SensorFailure {
    const char *name;
    int code;
    const wchar_t *variant;  // folder under variants\, or null to delete the library
    int closes;              // HTCSensorClose calls expected
};

const SensorFailure kSensorFailures[] = {
    {"NoLibrary", 1, nullptr, 0},
    {"NoCloseEntry", 2, L"noclose", 0},
    // Closed once, although the close is reached twice on this road.
    {"OpenRefused", 3, L"noopen", 1},
};

class MonitorSensorFailureTest : public MonitorPhoneTest,
                                 public ::testing::WithParamInterface<SensorFailure> {};

TEST_P(MonitorSensorFailureTest, ShowsTheCodeOnceThenEnds)
{
    const SensorFailure &failure = GetParam();
    std::wstring library = Path(L"HTCSensorSDK.dll");
    if (failure.variant) {
        std::wstring from =
            BuildDir() + L"\\variants\\" + failure.variant + L"\\HTCSensorSDK.dll";
        ASSERT_TRUE(CopyFileW(from.c_str(), library.c_str(), FALSE)) << Narrow(from);
    } else {
        ASSERT_TRUE(DeleteFileW(library.c_str()));
    }

    PROCESS_INFORMATION p = Start(L"#load");
    MessageBoxInfo box = WaitMessageBox(p);
    ASSERT_NE(nullptr, box.box) << "no box";
    EXPECT_EQ(L"Cannot connect to GSensor (" + std::to_wstring(failure.code) + L")", box.text);
    EXPECT_EQ(kCaption, box.caption);
    EXPECT_TRUE(box.hasOk);
    AnswerMessageBox(box.box, IDOK);

    ASSERT_TRUE(WaitExit(p)) << "the process did not end after the box";
    EXPECT_EQ(0u, ExitCode(p));
    EXPECT_EQ(nullptr, FindMonitor());
    EXPECT_EQ(0, CountLog(L"RegistryNotifyWindow"));
    EXPECT_EQ(failure.closes, CountLog(L"HTCSensorClose"));
    EXPECT_EQ(failure.code == 3 ? 1 : 0, CountLog(L"HTCSensorOpen"));
}

INSTANTIATE_TEST_SUITE_P(Codes, MonitorSensorFailureTest, ::testing::ValuesIn(kSensorFailures),
                         [](const ::testing::TestParamInfo<SensorFailure> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
