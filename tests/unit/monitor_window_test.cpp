// The monitor window in this process, with the real stand-in libraries:
// what creation binds and registers, and what each message of its table
// does. The library folder is reached through SetDllDirectoryW.
#include <gtest/gtest.h>
#include "common/globals.h"
#include "monitor/monitor.h"
#include "monitor/orientation.h"
#include "monitor/sensorlib.h"
#include "support/phone.h"

namespace {

const wchar_t kClass[] = L"QZGSENSOR_UNIT_CLASS";

class MonitorWindowTest : public ::testing::Test {
protected:
    std::wstring log;
    HMODULE shell = NULL;
    HWND window = NULL;
    DWORD savedVersion = 0;
    // What a test may change of the monitor's records, given back whatever
    // it asserts.
    std::wstring savedConfigPath;
    HoldMemory savedMemory;
    // A test's own window and configuration file, gone after it however it ended.
    HWND ownWindow = NULL;
    std::wstring ownConfig;

    void SetUp() override
    {
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        log = std::wstring(temp) + L"vorn_window_calls.log";
        DeleteFileW(log.c_str());
        SetEnvironmentVariableW(L"PHONE_CALL_LOG", log.c_str());
        ASSERT_TRUE(SetDllDirectoryW((BinDir()).c_str()));
        // The notification's watcher runs inside the shell library; vorn.exe
        // imports that library, so it stays loaded while the monitor runs.
        shell = LoadLibraryW(L"aygshell.dll");
        ASSERT_NE(nullptr, shell);
        savedVersion = g_osMajorVersion;
        savedConfigPath = g_monitorConfigPath;
        savedMemory = g_holdMemory;
        RegisterMonitorClass(GetModuleHandleW(NULL), kClass);
    }

    void TearDown() override
    {
        if (window) {
            SendMessageW(window, WMU_UNLOAD, 0, 0);
            QuitPosted();
            DestroyWindow(window);
        }
        if (ownWindow)
            DestroyWindow(ownWindow);
        if (!ownConfig.empty())
            DeleteFileW(ownConfig.c_str());
        g_osMajorVersion = savedVersion;
        lstrcpynW(g_monitorConfigPath, savedConfigPath.c_str(), CONFIG_PATH_CAPACITY);
        g_holdMemory = savedMemory;
        SetDllDirectoryW(NULL);
        SetEnvironmentVariableW(L"PHONE_CALL_LOG", NULL);
        DeleteFileW(log.c_str());
        if (shell)
            FreeLibrary(shell);
    }

    void Create()
    {
        ASSERT_EQ(1, CreateMonitorWindow(GetModuleHandleW(NULL), kClass));
        window = FindWindowW(kClass, NULL);
        ASSERT_NE(nullptr, window);
    }

    void Destroy()
    {
        DestroyWindow(window);
        window = NULL;
    }

    static bool QuitPosted()
    {
        MSG msg;
        return PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
    }

    int Count(const std::string &text) const { return CountOccurrences(ReadBytes(log), text); }
};

TEST_F(MonitorWindowTest, VersionIsReadBeforeAnyTestRuns)
{
    // Wine reports 6.1.
    EXPECT_EQ(6u, savedVersion);
}

struct VersionCase {
    DWORD major;
    bool registers;
};

// The sensor, the app in front and the phone's two moments, all through the
// shell's broker: the sensor is registered first, and each is closed at
// shut-down.
TEST_F(MonitorWindowTest, RegistersForSensorEventsFromVersionFiveOn)
{
    const std::string sensor = "RegistryNotifyWindow root=0x80000002 "
                               "key=\"\\Software\\HTC\\HTCSensor\\GSensor\" "
                               "value=\"EventChanged\" msg=1235 user=0 condition=none";
    const std::string front = "RegistryNotifyWindow root=0x80000001 "
                              "key=\"System\\State\\Shell\" value=\"Active Application\" "
                              "msg=1236 user=0 condition=none";
    const std::string call = "RegistryNotifyWindow root=0x80000002 "
                             "key=\"System\\State\\Phone\" value=\"Status\" "
                             "msg=1237 user=0 condition=none";
    const std::string keyboard = "RegistryNotifyWindow root=0x80000001 "
                                 "key=\"Software\\Microsoft\\Shell\" value=\"HasKeyboard\" "
                                 "msg=1238 user=0 condition=none";
    const VersionCase cases[] = {{0, false}, {4, false}, {5, true}, {6, true}};
    for (const VersionCase &c : cases) {
        SCOPED_TRACE(c.major);
        DeleteFileW(log.c_str());
        g_osMajorVersion = c.major;
        Create();
        EXPECT_EQ(1, Count("HTCSensorOpen sensor=1 "));
        EXPECT_EQ(c.registers ? MONITOR_REGISTRATIONS : 0, Count("RegistryNotifyWindow armed"));
        EXPECT_EQ(c.registers ? 1 : 0, Count(sensor));
        EXPECT_EQ(c.registers ? 1 : 0, Count(front));
        EXPECT_EQ(c.registers ? 1 : 0, Count(call));
        EXPECT_EQ(c.registers ? 1 : 0, Count(keyboard));
        if (c.registers) {
            std::string calls = ReadBytes(log);
            EXPECT_LT(calls.find(sensor), calls.find(front)) << "the sensor comes first";
        }
        EXPECT_EQ(c.registers, g_notifyHandle != NULL);
        EXPECT_EQ(c.registers, g_frontNotifyHandle != NULL);
        EXPECT_EQ(c.registers, g_callNotifyHandle != NULL);
        EXPECT_EQ(c.registers, g_keyboardNotifyHandle != NULL);
        std::wstring path = g_monitorConfigPath;
        EXPECT_EQ(L"vorn_unit.txt", path.substr(path.find_last_of(L'\\') + 1));

        EXPECT_EQ(0, SendMessageW(window, WMU_UNLOAD, 0, 0));
        EXPECT_TRUE(QuitPosted());
        EXPECT_EQ(c.registers ? MONITOR_REGISTRATIONS : 0,
                  Count("RegistryCloseNotification handle=set"));
        EXPECT_EQ(1, Count("HTCSensorClose"));
        EXPECT_EQ(nullptr, g_notifyHandle);
        EXPECT_EQ(nullptr, g_frontNotifyHandle);
        EXPECT_EQ(nullptr, g_callNotifyHandle);
        EXPECT_EQ(nullptr, g_keyboardNotifyHandle);
        Destroy();
    }
}

TEST_F(MonitorWindowTest, CommandOneEndsTheLoopAndNothingElse)
{
    Create();
    EXPECT_EQ(0, SendMessageW(window, WM_COMMAND, MAKEWPARAM(1, 0), 0));
    EXPECT_TRUE(QuitPosted());
    EXPECT_EQ(0, Count("RegistryCloseNotification"));
    EXPECT_EQ(0, Count("HTCSensorClose"));
    EXPECT_NE(nullptr, g_sensorLib.module);
    EXPECT_NE(nullptr, g_notifyHandle);
    EXPECT_NE(nullptr, g_frontNotifyHandle);
    EXPECT_NE(nullptr, g_callNotifyHandle);
    EXPECT_NE(nullptr, g_keyboardNotifyHandle);
    // Any other command id goes to the default handling, which ends nothing.
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(2, 0), 0);
    EXPECT_FALSE(QuitPosted());
}

TEST_F(MonitorWindowTest, QuietMessagesAnswerZeroAndDoNothing)
{
    Create();
    std::string before = ReadBytes(log);
    for (UINT message : {WM_DESTROY, WM_ACTIVATE, WM_PAINT}) {
        EXPECT_EQ(0, SendMessageW(window, message, 0, 0)) << message;
    }
    EXPECT_FALSE(QuitPosted());
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(before, ReadBytes(log));
}

// The front change reaches its handler: a window of this program, held in
// portrait, comes to the front while the display is in landscape.
TEST_F(MonitorWindowTest, FrontChangeTurnsToTheHoldOfTheWindowInFront)
{
    Create();
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    ownConfig = std::wstring(temp) + L"vorn_window_front.txt";
    ASSERT_TRUE(WriteBytes(ownConfig, "#portrait(Held in portrait)\r\n"));
    lstrcpynW(g_monitorConfigPath, ownConfig.c_str(), CONFIG_PATH_CAPACITY);
    ownWindow = CreateWindowExW(0, L"STATIC", L"Held in portrait", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                0, 0, 200, 100, NULL, NULL, GetModuleHandleW(NULL), NULL);
    HWND held = ownWindow;
    ASSERT_NE(nullptr, held);
    SetForegroundWindow(held);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == held; }));
    ASSERT_EQ(0, RotationSet(1));

    EXPECT_EQ(0, SendMessageW(window, WMU_FRONT_CHANGE, 0, 0));
    EXPECT_EQ(1, Count("aygshell 298 code=0"));
    EXPECT_EQ(0, RotationQuery());
}

TEST_F(MonitorWindowTest, UnloadAndCloseShutDownOnceBetweenThem)
{
    Create();
    EXPECT_EQ(0, SendMessageW(window, WMU_UNLOAD, 0, 0));
    EXPECT_EQ(0, SendMessageW(window, WM_CLOSE, 0, 0));
    EXPECT_TRUE(QuitPosted());
    EXPECT_TRUE(IsWindow(window)) << "shut-down leaves the window to the process end";
    EXPECT_EQ(MONITOR_REGISTRATIONS, Count("RegistryCloseNotification"));
    EXPECT_EQ(1, Count("HTCSensorClose"));
}

}  // namespace
