// One sensor event handled in this process, for the roads that cannot be
// seen from outside under Wine: the display-off action of face-down goes
// through the display escape seam, g_displayEscape (monitor/orientation.h),
// because the desktop display driver offers no power escape; when and how
// long the handler waits is seen through its wait seam, g_eventWait; and
// its lookups of the program name through g_procImagePath and
// g_procSnapshot (common/procname.h).
#include <gtest/gtest.h>
#include <vector>
#include "common/procname.h"
#include "monitor/monitor.h"
#include "monitor/orientation.h"
#include "support/phone.h"

namespace {

std::vector<DWORD> g_powerStates;  // PowerState of each request sent

int WINAPI PowerDriver(HDC, int escape, int inputSize, LPCSTR input, int, LPSTR)
{
    if (escape == QUERYESCSUPPORT)
        return 1;
    if (escape == SETPOWERMANAGEMENT && inputSize == 12)
        g_powerStates.push_back(((const VIDEO_POWER_MANAGEMENT *)input)->PowerState);
    return 1;
}

bool WriteSensor(DWORD value)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, SENSOR_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(key, SENSOR_VALUE, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

class SensorEventTest : public ::testing::Test {
protected:
    PFN_DisplayEscape savedEscape;
    PFN_EventWait savedWait;
    HANDLE(WINAPI *savedSnapshot)(DWORD flags, DWORD processId);
    int (*savedImagePath)(DWORD processId, LPWSTR buffer, DWORD capacity);
    std::wstring savedPath;
    std::wstring config;
    std::wstring log;

    void SetUp() override
    {
        savedWait = g_eventWait;
        savedSnapshot = g_procSnapshot;
        savedImagePath = g_procImagePath;
        savedEscape = g_displayEscape;
        g_displayEscape = PowerDriver;
        g_powerStates.clear();
        savedPath = g_monitorConfigPath;
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        config = std::wstring(temp) + L"vorn_event_test.txt";
        log = std::wstring(temp) + L"vorn_event_calls.log";
        lstrcpynW(g_monitorConfigPath, config.c_str(), CONFIG_PATH_CAPACITY);
        DeleteFileW(log.c_str());
        SetEnvironmentVariableW(L"PHONE_CALL_LOG", log.c_str());
    }

    void TearDown() override
    {
        g_eventWait = savedWait;
        g_procSnapshot = savedSnapshot;
        g_procImagePath = savedImagePath;
        g_displayEscape = savedEscape;
        lstrcpynW(g_monitorConfigPath, savedPath.c_str(), CONFIG_PATH_CAPACITY);
        SetEnvironmentVariableW(L"PHONE_CALL_LOG", NULL);
        DeleteFileW(config.c_str());
        DeleteFileW(log.c_str());
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SENSOR_KEY, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueW(key, SENSOR_VALUE);
            RegCloseKey(key);
        }
    }

    void SetSensor(DWORD value) { ASSERT_TRUE(WriteSensor(value)); }
};

struct DisplayOffCase {
    const char *fdscreenoff;
    DWORD afterWait;  // the sensor's value when it is read again
    bool off;         // a display-off request is sent
};

TEST_F(SensorEventTest, FaceDownSwitchesTheDisplayOff)
{
    const DisplayOffCase cases[] = {
        {"1", 0x10004, true},
        {"3", 0x10004, true},
        {"9", 0x10004, true},
        {"1", 0x10000, false},  // turned back over during the wait
        {"0", 0x10004, false},
        {"-1", 0x10004, false},
    };
    for (const DisplayOffCase &c : cases) {
        SCOPED_TRACE(c.fdscreenoff);
        g_powerStates.clear();
        DeleteFileW(log.c_str());
        ASSERT_TRUE(WriteBytes(config, std::string("#timeout(0)\r\n#fdscreenoff(") +
                                           c.fdscreenoff + ")\r\n"));
        SetSensor(c.afterWait);
        MonitorSettings settings;
        EXPECT_EQ(0, HandleSensorEvent(NULL, 0x10004, &settings));
        EXPECT_EQ(c.off ? std::vector<DWORD>{4} : std::vector<DWORD>{}, g_powerStates);
        // Face-down never turns the display.
        EXPECT_EQ(std::string::npos, ReadBytes(log).find("aygshell 298"));
    }
}

// --- The wait before the position is read again ---------------------------

struct WaitRecord {
    HWND window;
    DWORD ms;
};
std::vector<WaitRecord> g_waits;
DWORD g_valueAfterWait;  // the sensor's value once the wait is over
int g_waitResult;        // 0: a shut-down request cut the wait short

// The phone moves while the handler waits: only a handler that reads the
// position after its wait sees where it ended up.
int MovingWait(HWND window, DWORD ms)
{
    g_waits.push_back({window, ms});
    EXPECT_TRUE(WriteSensor(g_valueAfterWait));
    return g_waitResult;
}

struct WaitCase {
    const char *name;
    const char *config;
    DWORD posted;       // value posted with the event
    DWORD beforeWait;   // the sensor's value when the event is handled
    DWORD afterWait;    // and once the wait is over
    int waitResult;
    DWORD waitedMs;     // the wait asked for
    bool displayOff;    // a display-off request is sent
    int rotation;       // rotation code set, -1 for none
};

const WaitCase kWaitCases[] = {
    // Briefly face down while being turned over: only the value after the
    // wait may switch the display off.
    {"FaceDownReadAfterTheWait", "#timeout(250)\r\n#fdscreenoff(1)\r\n", 0x10004, 0x10002,
     0x10004, 1, 250, true, -1},
    {"FaceDownTurnedBackDuringTheWait", "#timeout(250)\r\n#fdscreenoff(1)\r\n", 0x10004,
     0x10004, 0x10002, 1, 250, false, -1},
    {"FaceDownWaitCutShort", "#timeout(250)\r\n#fdscreenoff(1)\r\n", 0x10004, 0x10004,
     0x10004, 0, 250, false, -1},
    {"TurnReadAfterTheWait", "#timeout(400)\r\n", 0x10000, 0x10002, 0x10000, 1, 400, false, 1},
    {"TurnWaitCutShort", "#timeout(400)\r\n", 0x10000, 0x10000, 0x10000, 0, 400, false, -1},
    {"NegativeTimeoutWaitsNothing", "#timeout(-5)\r\n", 0x10001, 0x10002, 0x10001, 1, 0,
     false, 3},
};

class SensorEventWaitTest : public SensorEventTest,
                            public ::testing::WithParamInterface<WaitCase> {};

TEST_P(SensorEventWaitTest, PositionIsReadOnceTheWholeTimeoutIsOver)
{
    const WaitCase &c = GetParam();
    ASSERT_TRUE(WriteBytes(config, c.config));
    SetSensor(c.beforeWait);
    g_waits.clear();
    g_valueAfterWait = c.afterWait;
    g_waitResult = c.waitResult;
    g_eventWait = MovingWait;
    HWND monitorWindow = (HWND)(ULONG_PTR)0x4242;  // only handed on to the wait

    MonitorSettings settings;
    EXPECT_EQ(0, HandleSensorEvent(monitorWindow, c.posted, &settings));

    ASSERT_EQ(1u, g_waits.size()) << "one wait before the value is read again";
    EXPECT_EQ(monitorWindow, g_waits[0].window);
    EXPECT_EQ(c.waitedMs, g_waits[0].ms);
    EXPECT_EQ(c.displayOff ? std::vector<DWORD>{4} : std::vector<DWORD>{}, g_powerStates);
    std::string calls = ReadBytes(log);
    if (c.rotation < 0) {
        EXPECT_EQ(std::string::npos, calls.find("aygshell 298"));
    } else {
        EXPECT_EQ(1, CountOccurrences(calls, "aygshell 298 code=" + std::to_string(c.rotation)));
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, SensorEventWaitTest, ::testing::ValuesIn(kWaitCases),
                         [](const ::testing::TestParamInfo<WaitCase> &info) {
                             return std::string(info.param.name);
                         });

// --- Lookups of the program name ----------------------------------------------

int g_snapshots;
int g_directLookups;

HANDLE WINAPI CountingSnapshot(DWORD flags, DWORD processId)
{
    ++g_snapshots;
    return CreateToolhelp32Snapshot(flags, processId);
}

int CountingImagePath(DWORD processId, LPWSTR buffer, DWORD capacity)
{
    ++g_directLookups;
    return QueryProcessImagePath(processId, buffer, capacity);
}

const wchar_t kForegroundClass[] = L"VornUnitMailView";
const wchar_t kForegroundTitle[] = L"Inbox - Messaging";

LRESULT CALLBACK QuietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

struct SnapshotCase {
    const char *name;
    const char *config;  // after "#timeout(0)"
    DWORD value;         // posted, and still held after the wait
    int lookups;         // of the program name, by either way
    bool rotates;
};

// The foreground window is this program's own: title "Inbox - Messaging",
// class VornUnitMailView, program vorn_unit.exe.
const SnapshotCase kSnapshotCases[] = {
    {"EmptyList", "", 0x10000, 0, true},
    {"EmptyListOnlyFor", "#onlyfor(1)\r\n", 0x10000, 0, false},
    {"ListedByTitle", "#window(inbox)\r\n", 0x10000, 0, false},
    {"ListedByClass", "#window(mailview)\r\n", 0x10000, 0, false},
    {"OnlyForListedByTitle", "#onlyfor(1)\r\n#window(inbox)\r\n", 0x10000, 0, true},
    {"ListedByProgram", "#window(vorn_unit.exe)\r\n", 0x10000, 1, false},
    {"OnlyForListedByProgram", "#onlyfor(1)\r\n#window(vorn_unit.exe)\r\n", 0x10000, 1,
     true},
    {"Unlisted", "#window(cprog.exe)\r\n", 0x10000, 1, true},
    {"FaceDown", "#fdscreenoff(1)\r\n#window(cprog.exe)\r\n", 0x10004, 0, false},
};

// Each case by the two ways: the direct way first (a running process then
// costs no walk over the processes), and the snapshot alone.
struct SnapshotRun {
    SnapshotCase c;
    bool direct;
};

std::vector<SnapshotRun> SnapshotRuns()
{
    std::vector<SnapshotRun> runs;
    for (bool direct : {true, false})
        for (const SnapshotCase &c : kSnapshotCases)
            runs.push_back({c, direct});
    return runs;
}

class SensorEventSnapshotTest : public SensorEventTest,
                                public ::testing::WithParamInterface<SnapshotRun> {
protected:
    HWND foreground = NULL;

    void SetUp() override
    {
        SensorEventTest::SetUp();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = QuietProc;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.lpszClassName = kForegroundClass;
        RegisterClassW(&wc);
        foreground = CreateWindowExW(0, kForegroundClass, kForegroundTitle,
                                     WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, NULL,
                                     NULL, GetModuleHandleW(NULL), NULL);
        ASSERT_NE(nullptr, foreground);
        SetForegroundWindow(foreground);
        ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == foreground; }));
        g_snapshots = g_directLookups = 0;
        g_procSnapshot = CountingSnapshot;
        g_procImagePath = GetParam().direct ? CountingImagePath : NULL;
    }

    void TearDown() override
    {
        if (foreground)
            DestroyWindow(foreground);
        SensorEventTest::TearDown();
    }
};

TEST_P(SensorEventSnapshotTest, ProgramNameIsLookedUpOnlyWhenItCanDecide)
{
    const SnapshotCase &c = GetParam().c;
    ASSERT_TRUE(WriteBytes(config, std::string("#timeout(0)\r\n") + c.config));
    SetSensor(c.value);
    MonitorSettings settings;
    EXPECT_EQ(0, HandleSensorEvent(NULL, c.value, &settings));
    if (GetParam().direct) {
        EXPECT_EQ(c.lookups, g_directLookups);
        EXPECT_EQ(0, g_snapshots) << "the running program's name walked the processes";
    } else {
        EXPECT_EQ(c.lookups, g_snapshots);
    }
    EXPECT_EQ(c.rotates ? 1 : 0, CountOccurrences(ReadBytes(log), "aygshell 298 code=1"));
}

INSTANTIATE_TEST_SUITE_P(Lists, SensorEventSnapshotTest, ::testing::ValuesIn(SnapshotRuns()),
                         [](const ::testing::TestParamInfo<SnapshotRun> &info) {
                             return std::string(info.param.c.name) +
                                    (info.param.direct ? "_Direct" : "_Snapshot");
                         });

}  // namespace
