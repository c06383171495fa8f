// One sensor event handled in this process, for the roads that cannot be
// seen from outside under Wine: the display-off action of face-down goes
// through the display escape seam, g_displayEscape (monitor/orientation.h),
// because the desktop display driver offers no power escape (and a driver
// without it through the same seam); a display that does not take the
// code asked for goes through the turn seam, g_rotationTurn; when and how
// long the handler waits is seen through its wait seam, g_eventWait; and
// its lookups of the program name through g_procImagePath and
// g_procSnapshot (common/procname.h).
#include <gtest/gtest.h>
#include <vector>
#include "common/config.h"
#include "common/globals.h"
#include "common/procname.h"
#include "common/message.h"
#include "editor/logview.h"
#include "monitor/account.h"
#include "monitor/monitor.h"
#include "monitor/orientation.h"
#include "support/phone.h"
#include "unit/clock_time.h"
#include "res/resource.h"

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
    std::wstring account;  // the account file beside config

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
        account = std::wstring(temp) + L"vorn_event_test.log";
        lstrcpynW(g_monitorConfigPath, config.c_str(), CONFIG_PATH_CAPACITY);
        DeleteFileW(log.c_str());
        DeleteFileW(account.c_str());
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
        DeleteFileW(account.c_str());
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
    // The account names the program whatever decides, once per event.
    {"AccountEmptyList", "#log(1)\r\n", 0x10000, 1, true},
    {"AccountListedByTitle", "#log(1)\r\n#window(inbox)\r\n", 0x10000, 1, false},
    {"AccountListedByProgram", "#log(1)\r\n#window(vorn_unit.exe)\r\n", 0x10000, 1, false},
    {"AccountFaceDown", "#log(1)\r\n#fdscreenoff(1)\r\n", 0x10004, 1, false},
    {"AccountOff", "#log(0)\r\n#window(inbox)\r\n", 0x10000, 0, false},
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

// The foreground window is this program's own: title "Inbox - Messaging",
// class VornUnitMailView, program vorn_unit.exe.
class ForegroundEventTest : public SensorEventTest {
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
    }

    void TearDown() override
    {
        if (foreground)
            DestroyWindow(foreground);
        SensorEventTest::TearDown();
    }
};

class SensorEventSnapshotTest : public ForegroundEventTest,
                                public ::testing::WithParamInterface<SnapshotRun> {
protected:
    void SetUp() override
    {
        ForegroundEventTest::SetUp();
        g_snapshots = g_directLookups = 0;
        g_procSnapshot = CountingSnapshot;
        g_procImagePath = GetParam().direct ? CountingImagePath : NULL;
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

// --- The account of each event ----------------------------------------------

// What the phone does with what the handler asks of it.
enum PhoneKind {
    WHOLE,             // a rotation service that takes each code, a display with power control
    NO_SERVICE,        // no rotation service
    KEEPS_ROTATION,    // the shell keeps code 2 whatever is asked (g_rotationTurn)
    SILENT_AFTER_TURN, // the rotation query is gone once the turn is asked (g_rotationTurn)
    NO_POWER_CONTROL,  // the display driver offers no power escape (g_displayEscape)
    MOVED_ON,          // another turn lands on the display right after the one asked for
};

// A display that refuses every mode: the shell keeps the rotation it had.
int KeptTurn(DWORD)
{
    return 0;
}

// A rotation service that takes the turn and then no longer answers.
int TurnThenSilence(DWORD code)
{
    int result = RotationSet(code);
    g_rotationLibrary = L"vorn_no_rotation_service.dll";
    return result;
}

// The turn asked for, and right after it another, to the code opposite.
int TurnAndMoveOn(DWORD code)
{
    RotationSet(code);
    return RotationSet((code + 2) % 4);
}

// The desktop's display driver, as Wine's: no power escape.
int WINAPI NoPowerDriver(HDC, int escape, int inputSize, LPCSTR input, int, LPSTR)
{
    if (escape == SETPOWERMANAGEMENT && inputSize == 12)
        g_powerStates.push_back(((const VIDEO_POWER_MANAGEMENT *)input)->PowerState);
    return 0;
}

struct AccountCase {
    const char *name;
    const char *config;  // after "#log(1)" and "#timeout(300)"
    DWORD posted;
    DWORD afterWait;     // the sensor's value once the wait is over
    int waitResult;      // 0: an unload cut the wait short
    int phone;           // the phone's part, PhoneKind
    int held;            // the rotation code the display holds before the event
    const char *line;    // the line after its time, "HH:MM:SS | "
};

#define FRONT "\"Inbox - Messaging\" VornUnitMailView vorn_unit.exe"

const AccountCase kAccountCases[] = {
    {"LeftAloneByProgram", "#window(vorn_unit)\r\n", 0x10000, 0x10000, 1, WHOLE, 2,
     "0x00010000 on its side | " FRONT " | #window(vorn_unit) matched the program name | "
     "left alone"},
    {"LeftAloneByTitle", "#window(cprog.exe)\r\n#window(inbox)\r\n", 0x10000, 0x10000, 1, WHOLE, 2,
     "0x00010000 on its side | " FRONT " | #window(inbox) matched the title | left alone"},
    // The class is tested first.
    {"LeftAloneByClass", "#window(inbox)\r\n#window(mailview)\r\n", 0x10001, 0x10001, 1, WHOLE, 2,
     "0x00010001 on its other side | " FRONT " | #window(mailview) matched the class | "
     "left alone"},
    {"OnlyForUnlistedLeftAlone", "#onlyfor(1)\r\n#window(cprog.exe)\r\n", 0x10000, 0x10000, 1,
     WHOLE, 2, "0x00010000 on its side | " FRONT " | no entry matched, onlyfor 1 | left alone"},
    {"Turned", "#window(cprog.exe)\r\n", 0x10001, 0x10001, 1, WHOLE, 2,
     "0x00010001 on its other side | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00010001: turned to code 3"},
    // The display held code 0: only a turn to the code read after the wait
    // gives this line.
    {"TurnedToWhereThePhoneEndedUp", "", 0x10000, 0x10003, 1, WHOLE, 0,
     "0x00010000 on its side | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00010003: turned to code 2"},
    {"OnlyForListedTurned", "#onlyfor(1)\r\n#window(inbox)\r\n", 0x10002, 0x10002, 1, WHOLE, 2,
     "0x00010002 upright | " FRONT " | #window(inbox) matched the title | "
     "waited 300 ms, read 0x00010002: turned to code 0"},
    {"NoWait", "#timeout(-5)\r\n", 0x10003, 0x10000, 1, WHOLE, 2,
     "0x00010003 upside down | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 0 ms, read 0x00010000: turned to code 1"},
    {"NoPosition", "", 0x10003, 0x12345, 1, WHOLE, 2,
     "0x00010003 upside down | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00012345: no position, nothing done"},
    {"UnknownValue", "", 0x12345, 0x12345, 1, WHOLE, 2,
     "0x00012345 unknown value | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00012345: no position, nothing done"},
    {"FaceDownWithoutTheSetting", "#fdscreenoff(0)\r\n", 0x10004, 0x10004, 1, WHOLE, 2,
     "0x00010004 face down | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00010004: no position, nothing done"},
    // The shell kept its rotation: the display did not take the code.
    {"TurnNotTaken", "", 0x10000, 0x10000, 1, KEEPS_ROTATION, 2,
     "0x00010000 on its side | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00010000: asked for code 1; the display answers 2"},
    {"TurnNotAnswered", "", 0x10001, 0x10001, 1, SILENT_AFTER_TURN, 2,
     "0x00010001 on its other side | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00010001: asked for code 3; the display does not answer"},
    // The display held the code asked for: the turn is asked for all the
    // same, and the line says that nothing changed.
    {"AlreadyHeld", "", 0x10001, 0x10001, 1, WHOLE, 3,
     "0x00010001 on its other side | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00010001: the display already held code 3"},
    {"AlreadyHeldUpright", "", 0x10003, 0x10002, 1, WHOLE, 0,
     "0x00010003 upside down | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00010002: the display already held code 0"},
    // What the display answers after the turn wins over what it held.
    {"AlreadyHeldThenMovedOn", "", 0x10000, 0x10000, 1, MOVED_ON, 1,
     "0x00010000 on its side | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00010000: asked for code 1; the display answers 3"},
    {"AlreadyHeldThenNotAnswered", "", 0x10001, 0x10001, 1, SILENT_AFTER_TURN, 3,
     "0x00010001 on its other side | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00010001: asked for code 3; the display does not answer"},
    {"NoRotationService", "", 0x10000, 0x10000, 1, NO_SERVICE, 2,
     "0x00010000 on its side | " FRONT " | no entry matched, onlyfor 0 | "
     "waited 300 ms, read 0x00010000: no rotation service, nothing done"},
    {"UnloadedDuringTheWait", "", 0x10000, 0x10000, 0, WHOLE, 2,
     "0x00010000 on its side | " FRONT " | no entry matched, onlyfor 0 | "
     "unloaded during the wait: event dropped"},
    // Face down: the window list plays no part.
    {"PowerKeyPressed", "#fdscreenoff(2)\r\n#window(inbox)\r\n", 0x10004, 0x10004, 1, WHOLE, 2,
     "0x00010004 face down | " FRONT " | face down, fdscreenoff 2 | "
     "waited 300 ms, still face down: pressed the power key"},
    {"DisplaySwitchedOff", "#fdscreenoff(1)\r\n", 0x10004, 0x10004, 1, WHOLE, 2,
     "0x00010004 face down | " FRONT " | face down, fdscreenoff 1 | "
     "waited 300 ms, still face down: asked the display to switch off"},
    // Nothing was sent: the line does not say that it was.
    {"DisplayWithoutPowerControl", "#fdscreenoff(1)\r\n", 0x10004, 0x10004, 1, NO_POWER_CONTROL, 2,
     "0x00010004 face down | " FRONT " | face down, fdscreenoff 1 | "
     "waited 300 ms, still face down: the display has no power control, nothing done"},
    {"NoLongerFaceDown", "#fdscreenoff(3)\r\n", 0x10004, 0x10002, 1, WHOLE, 2,
     "0x00010004 face down | " FRONT " | face down, fdscreenoff 3 | "
     "waited 300 ms, read 0x00010002: no longer face down, nothing done"},
    {"UnloadedDuringTheFaceDownWait", "#fdscreenoff(1)\r\n", 0x10004, 0x10004, 0, WHOLE, 2,
     "0x00010004 face down | " FRONT " | face down, fdscreenoff 1 | "
     "unloaded during the wait: event dropped"},
};

class SensorEventAccountTest : public ForegroundEventTest,
                               public ::testing::WithParamInterface<AccountCase> {
protected:
    LPCWSTR savedLibrary;
    PFN_RotationTurn savedTurn;

    void SetUp() override
    {
        savedLibrary = g_rotationLibrary;
        savedTurn = g_rotationTurn;
        ForegroundEventTest::SetUp();
    }
    void TearDown() override
    {
        g_rotationLibrary = savedLibrary;
        g_rotationTurn = savedTurn;
        ForegroundEventTest::TearDown();
    }
};

TEST_P(SensorEventAccountTest, OneLineSaysWhatDecidedAndWhatVornDid)
{
    const AccountCase &c = GetParam();
    ASSERT_TRUE(WriteBytes(config, std::string("#log(1)\r\n#timeout(300)\r\n") + c.config));
    SetSensor(c.posted);
    g_waits.clear();
    g_valueAfterWait = c.afterWait;
    g_waitResult = c.waitResult;
    g_eventWait = MovingWait;
    ASSERT_EQ(0, RotationSet((DWORD)c.held));
    DeleteFileW(log.c_str());
    switch (c.phone) {
    case NO_SERVICE:
        g_rotationLibrary = L"vorn_no_rotation_service.dll";
        break;
    case KEEPS_ROTATION:
        g_rotationTurn = KeptTurn;
        break;
    case SILENT_AFTER_TURN:
        g_rotationTurn = TurnThenSilence;
        break;
    case NO_POWER_CONTROL:
        g_displayEscape = NoPowerDriver;
        break;
    case MOVED_ON:
        g_rotationTurn = TurnAndMoveOn;
        break;
    }

    MonitorSettings settings;
    EXPECT_EQ(0, HandleSensorEvent(NULL, c.posted, &settings));

    std::string bytes = ReadBytes(account);
    ASSERT_GE(bytes.size(), 13u) << "no account written";
    EXPECT_EQ(1, CountOccurrences(bytes, "\r\n")) << bytes;
    EXPECT_EQ("\r\n", bytes.substr(bytes.size() - 2));
    EXPECT_TRUE(IsClockTime(bytes.substr(0, 8))) << bytes;
    EXPECT_EQ(std::string(" | ") + c.line, bytes.substr(8, bytes.size() - 10));
    // A display without power control was sent nothing.
    if (c.phone == NO_POWER_CONTROL) {
        EXPECT_TRUE(g_powerStates.empty());
    }
    // A line that says the display holds the code: the turn to it was
    // asked for, once, whatever the display held before.
    const std::string line = c.line;
    if (line.find(": turned to code ") != std::string::npos ||
        line.find(": the display already held code ") != std::string::npos) {
        std::string calls = ReadBytes(log);
        EXPECT_EQ(1, CountOccurrences(calls, "aygshell 298 code=")) << calls;
        EXPECT_EQ(1, CountOccurrences(calls, "aygshell 298 code=" + line.substr(line.size() - 1)))
            << calls;
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, SensorEventAccountTest, ::testing::ValuesIn(kAccountCases),
                         [](const ::testing::TestParamInfo<AccountCase> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(ForegroundEventTest, AccountAddsOneLinePerEvent)
{
    ASSERT_TRUE(WriteBytes(config, "#log(1)\r\n#timeout(0)\r\n#window(inbox)\r\n"));
    SetSensor(0x10000);
    MonitorSettings settings;
    for (int i = 0; i < 3; ++i)
        HandleSensorEvent(NULL, 0x10000, &settings);
    EXPECT_EQ(3, CountOccurrences(ReadBytes(account), "#window(inbox) matched the title"));
    EXPECT_EQ(3, CountOccurrences(ReadBytes(account), "\r\n"));
}

// The editor's view says that new events are not recorded whenever the
// saved file keeps no account (LogViewSentence): the monitor's next event
// then writes no line, though earlier events kept the account on. Whenever
// the view says nothing of the kind of a file it read, the event is
// recorded. The display turns either way.
TEST_F(ForegroundEventTest, TheViewsSentenceHoldsAtTheNextEvent)
{
    const char *const files[] = {
        "#log(0)\r\n",
        "",
        "#window(cprog.exe)\r\n",
        "#log()\r\n",
        "#log(1)\r\n#log(0)\r\n",
        "#log(yes)\r\n",
        // The default text.
        "#window(Manila)\r\n#window(TEETER)\r\n#window(opera)\r\n#window(htcalbum)\r\n"
        "#window(cprog.exe)\r\n#timeout(1000)\r\n#onlyfor(0)\r\n#fdscreenoff(0)\r\n",
        "#log(1)\r\n",
        "#log(0)\r\n#log(1)\r\n",
        "#LOG(2)\r\n",
    };
    g_eventWait = MovingWait;
    g_valueAfterWait = 0x10000;
    g_waitResult = 1;
    int turns = 0;
    for (const char *file : files) {
        for (int before : {1, 0}) {
            SCOPED_TRACE(::testing::PrintToString(std::string(file)) + " after events with #log(" +
                         std::to_string(before) + ")");
            ASSERT_TRUE(WriteBytes(config, file));
            DeleteFileW(account.c_str());
            SetSensor(0x10000);
            bool sentence = LogViewSentence(config.c_str(), 1) == LoadResString(IDS_LOG_OFF);
            MonitorSettings settings;
            settings.log = before;
            EXPECT_EQ(0, HandleSensorEvent(NULL, 0x10000, &settings));
            EXPECT_EQ(!sentence, FileExists(account)) << (sentence ? "the view says not recorded"
                                                                   : "the view says recorded");
            ++turns;
            EXPECT_EQ(turns, CountOccurrences(ReadBytes(log), "aygshell 298 code=1"));
        }
    }
}

// A file that the event cannot read keeps the account as it was: Save
// holds it while it writes, and on a card deletes it before its move, and
// the monitor's default text, written in its place, has no "#log" line.
TEST_F(ForegroundEventTest, AccountGoesOnWhenTheFileIsNotRead)
{
    g_eventWait = MovingWait;
    g_valueAfterWait = 0x10000;
    g_waitResult = 1;
    SetSensor(0x10000);
    MonitorSettings settings;
    settings.log = 1;

    ASSERT_TRUE(WriteBytes(config, "#timeout(0)\r\n"));
    HANDLE writer = CreateFileW(config.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    HandleSensorEvent(NULL, 0x10000, &settings);
    CloseHandle(writer);
    EXPECT_EQ(1, CountOccurrences(ReadBytes(account), "\r\n")) << "held by a writer";

    // The default text comes from this program's resources.
    HINSTANCE savedResources = g_vorn.resModule, savedOwn = g_vorn.ownModule;
    g_vorn.resModule = g_vorn.ownModule = GetModuleHandleW(NULL);
    ASSERT_TRUE(DeleteFileW(config.c_str()));
    HandleSensorEvent(NULL, 0x10000, &settings);
    EXPECT_EQ(2, CountOccurrences(ReadBytes(account), "\r\n")) << "missing";
    EXPECT_TRUE(FileExists(config)) << "no default text written";

    // The default text written then is read at the next event: off.
    HandleSensorEvent(NULL, 0x10000, &settings);
    g_vorn.resModule = savedResources;
    g_vorn.ownModule = savedOwn;
    EXPECT_EQ(2, CountOccurrences(ReadBytes(account), "\r\n")) << "the default text";
}

// The account asks the display what it holds once the turn is asked for;
// without the account the handler asks only whether there is a service.
TEST_F(ForegroundEventTest, RotationIsQueriedAfterTheTurnOnlyForTheAccount)
{
    struct {
        const char *file;
        const char *calls;  // the rotation service's calls, in order
    } cases[] = {
        {"#log(1)\r\n#timeout(0)\r\n", "299 298 299 "},
        {"#log(0)\r\n#timeout(0)\r\n", "299 298 "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        DeleteFileW(log.c_str());
        ASSERT_TRUE(WriteBytes(config, c.file));
        SetSensor(0x10001);
        MonitorSettings settings;
        EXPECT_EQ(0, HandleSensorEvent(NULL, 0x10001, &settings));
        std::string bytes = ReadBytes(log), calls;
        for (size_t at = bytes.find("aygshell 29"); at != std::string::npos;
             at = bytes.find("aygshell 29", at + 1))
            calls += bytes.substr(at + 9, 3) + " ";
        EXPECT_EQ(c.calls, calls);
    }
}

// A log that cannot be written changes nothing else: the display turns.
TEST_F(ForegroundEventTest, AccountThatCannotBeWrittenChangesNothing)
{
    ASSERT_TRUE(CreateDirectoryW(account.c_str(), NULL));
    ASSERT_TRUE(WriteBytes(config, "#log(1)\r\n#timeout(0)\r\n"));
    SetSensor(0x10001);
    MonitorSettings settings;
    EXPECT_EQ(0, HandleSensorEvent(NULL, 0x10001, &settings));
    EXPECT_EQ(1, CountOccurrences(ReadBytes(log), "aygshell 298 code=3"));
    RemoveDirectoryW(account.c_str());
}

}  // namespace
