// Holds and front changes handled in this process: what the monitor does
// for each kind of window in front, at a sensor event and when another app
// comes to the front, with the display's code before, the code saved from
// before a hold and the last landscape seen. The rotation service is the
// shell stand-in's (the code only, PHONE_SCREEN_FIXED); its calls are read
// from the call log. The handler's wait goes through g_eventWait, a display
// that keeps its rotation through g_rotationTurn.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "common/globals.h"
#include "monitor/account.h"
#include "monitor/monitor.h"
#include "monitor/orientation.h"
#include "support/phone.h"

namespace {

const wchar_t kReaderClass[] = L"VornUnitReaderView";
const wchar_t kReaderTitle[] = L"Reader - Book";
// The window in front as the account names it.
#define READER "\"Reader - Book\" VornUnitReaderView vorn_unit.exe"

#define NO_CODE -1           // no code: no turn asked for, or none saved
#define NO_SENSOR 0       // the sensor's value is not there (reads as 0)

LRESULT CALLBACK QuietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

bool WriteSensor(DWORD value)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, SENSOR_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return false;
    LONG rc;
    if (value == NO_SENSOR) {
        rc = RegDeleteValueW(key, SENSOR_VALUE);
        if (rc == ERROR_FILE_NOT_FOUND)
            rc = ERROR_SUCCESS;
    } else {
        rc = RegSetValueExW(key, SENSOR_VALUE, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

// The event handler's wait: the phone moves meanwhile.
int g_waits;
DWORD g_valueAfterWait;
int g_waitResult;

int MovingWait(HWND, DWORD)
{
    ++g_waits;
    EXPECT_TRUE(WriteSensor(g_valueAfterWait));
    return g_waitResult;
}

// A display that refuses every mode: the shell keeps the rotation it had.
int KeptTurn(DWORD)
{
    return 0;
}

// What the phone does with what the handler asks of it.
enum PhoneKind {
    WHOLE,           // a rotation service that takes each code
    NO_SERVICE,      // no rotation service
    KEEPS_ROTATION,  // the shell keeps its code whatever is asked (g_rotationTurn)
};

// The foreground window is this program's own: title "Reader - Book", class
// VornUnitReaderView, program vorn_unit.exe. Each test starts as the
// monitor does: no code saved, no landscape seen.
class HoldTest : public ::testing::Test {
protected:
    PFN_EventWait savedWait;
    PFN_RotationTurn savedTurn;
    LPCWSTR savedLibrary;
    HoldMemory savedMemory;
    int savedMoments;
    std::wstring savedPath;
    std::wstring config, log, account;
    HWND foreground = NULL;
    MonitorSettings settings;

    void SetUp() override
    {
        savedWait = g_eventWait;
        savedTurn = g_rotationTurn;
        savedLibrary = g_rotationLibrary;
        savedMemory = g_holdMemory;
        savedMoments = g_momentsSeen;
        g_momentsSeen = MOMENT_NONE;
        SetMoments(0, 0);
        savedPath = g_monitorConfigPath;
        g_holdMemory.savedCode = NO_SAVED_CODE;
        g_holdMemory.landscapeCode = 1;
        g_eventWait = MovingWait;
        g_waits = 0;
        g_waitResult = 1;
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        config = std::wstring(temp) + L"vorn_hold_test.txt";
        account = std::wstring(temp) + L"vorn_hold_test.log";
        log = std::wstring(temp) + L"vorn_hold_calls.log";
        lstrcpynW(g_monitorConfigPath, config.c_str(), CONFIG_PATH_CAPACITY);
        DeleteFileW(config.c_str());
        DeleteFileW(account.c_str());
        DeleteFileW(log.c_str());
        SetEnvironmentVariableW(L"PHONE_CALL_LOG", log.c_str());

        WNDCLASSW wc = {};
        wc.lpfnWndProc = QuietProc;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.lpszClassName = kReaderClass;
        RegisterClassW(&wc);
        foreground = CreateWindowExW(0, kReaderClass, kReaderTitle,
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
        g_eventWait = savedWait;
        g_rotationTurn = savedTurn;
        g_rotationLibrary = savedLibrary;
        g_holdMemory = savedMemory;
        g_momentsSeen = savedMoments;
        SetMoments(0, 0);
        lstrcpynW(g_monitorConfigPath, savedPath.c_str(), CONFIG_PATH_CAPACITY);
        SetEnvironmentVariableW(L"PHONE_CALL_LOG", NULL);
        DeleteFileW(config.c_str());
        DeleteFileW(account.c_str());
        DeleteFileW(log.c_str());
        WriteSensor(NO_SENSOR);
    }

    // The display holds code before the test's moment; the call log starts
    // after it.
    void SetDisplay(int code)
    {
        ASSERT_EQ(0, RotationSet((DWORD)code));
        DeleteFileW(log.c_str());
    }

    // The phone's status and its keyboard, as the phone publishes them.
    static void SetMoments(DWORD status, DWORD keyboard)
    {
        EXPECT_TRUE(SetMoment(HKEY_LOCAL_MACHINE, PHONE_KEY, PHONE_STATUS_VALUE, status));
        EXPECT_TRUE(SetMoment(HKEY_CURRENT_USER, KEYBOARD_KEY, KEYBOARD_VALUE, keyboard));
    }

    void SetPhone(int kind)
    {
        if (kind == NO_SERVICE)
            g_rotationLibrary = L"vorn_no_rotation_service.dll";
        else if (kind == KEEPS_ROTATION)
            g_rotationTurn = KeptTurn;
    }

    // Codes the rotation service was asked to turn to, in order.
    std::vector<int> Turns() const
    {
        std::vector<int> codes;
        std::string bytes = ReadBytes(log);
        const std::string key = "aygshell 298 code=";
        for (size_t at = bytes.find(key); at != std::string::npos; at = bytes.find(key, at + 1))
            codes.push_back(atoi(bytes.c_str() + at + key.size()));
        return codes;
    }

    static std::vector<int> Expected(int code)
    {
        return code == NO_CODE ? std::vector<int>{} : std::vector<int>{code};
    }

    void FrontChange() { EXPECT_EQ(0, HandleFrontChange(NULL, &settings)); }
    void SensorEvent(DWORD posted) { EXPECT_EQ(0, HandleSensorEvent(NULL, posted, &settings)); }
};

// --- The landscape rule -----------------------------------------------------

// Each sensor value against each code the display may hold and each last
// landscape seen: the sensor's sides give their own code, every other value
// keeps a landscape the display holds and else takes the last one seen.
TEST(LandscapeRuleTest, SidesFollowTheSensorEverythingElseKeepsALandscape)
{
    struct {
        DWORD value;
        int lastOne[4];    // the code for the display's codes 0 to 3, last landscape 1
        int lastThree[4];  // the same, last landscape 3
    } rows[] = {
        {SENSOR_TURNED_90, {1, 1, 1, 1}, {1, 1, 1, 1}},
        {SENSOR_TURNED_270, {3, 3, 3, 3}, {3, 3, 3, 3}},
        {SENSOR_UPRIGHT, {1, 1, 1, 3}, {3, 1, 3, 3}},
        {SENSOR_UPSIDE_DOWN, {1, 1, 1, 3}, {3, 1, 3, 3}},
        {SENSOR_FACE_DOWN, {1, 1, 1, 3}, {3, 1, 3, 3}},
        {0, {1, 1, 1, 3}, {3, 1, 3, 3}},  // unreadable
        {0x12345, {1, 1, 1, 3}, {3, 1, 3, 3}},
        {0x10005, {1, 1, 1, 3}, {3, 1, 3, 3}},
    };
    for (const auto &r : rows) {
        for (int held = 0; held <= 3; ++held) {
            SCOPED_TRACE(testing::Message() << std::hex << r.value << std::dec << " held " << held);
            EXPECT_EQ(r.lastOne[held], LandscapeCodeFor(r.value, held, 1)) << "last 1";
            EXPECT_EQ(r.lastThree[held], LandscapeCodeFor(r.value, held, 3)) << "last 3";
        }
    }
}

// --- Another app comes to the front -----------------------------------------

struct FrontCase {
    const char *name;
    const char *config;
    DWORD sensor;    // the sensor's value, NO_SENSOR for none
    int display;     // the code the display holds before
    int saved;       // the code saved before, NO_CODE for none
    int landscape;   // the last landscape seen before
    int turnedTo;    // the code asked for, NO_CODE for none
    int savedAfter;  // NO_CODE for none
};

const FrontCase kFrontCases[] = {
    // Held portrait: at once, and the code from before the hold is kept.
    {"HeldPortraitTurns", "#portrait(reader)", 0x10000, 1, NO_CODE, 1, 0, 1},
    {"HeldPortraitAlreadyHeld", "#portrait(reader)", 0x10000, 0, NO_CODE, 1, NO_CODE, 0},
    {"HeldPortraitKeepsTheCodeFromBeforeAnEarlierHold", "#portrait(book)", 0x10002, 3, 2, 1, 0,
     2},
    {"HeldPortraitByClass", "#portrait(readerview)", 0x10001, 3, NO_CODE, 1, 0, 3},
    // Held landscape: the sensor's side, else the display's landscape,
    // else the last one seen.
    {"HeldLandscapeFollowsTheSensor", "#landscape(reader)", 0x10001, 1, NO_CODE, 1, 3, 1},
    {"HeldLandscapeUprightTakesTheLastLandscapeSeen", "#landscape(reader)", 0x10002, 0, NO_CODE,
     3, 3, 0},
    {"HeldLandscapeUprightKeepsTheDisplaysLandscape", "#landscape(reader)", 0x10002, 3, NO_CODE,
     1, NO_CODE, 3},
    {"HeldLandscapeFaceDown", "#landscape(reader)", 0x10004, 2, NO_CODE, 1, 1, 2},
    {"HeldLandscapeUnreadable", "#landscape(reader)", NO_SENSOR, 0, NO_CODE, 3, 3, 0},
    {"HeldLandscapeByProgram", "#landscape(vorn_unit.exe)", 0x10000, 0, NO_CODE, 3, 1, 0},
    // A hold wins over "#window" and "#onlyfor"; the last entry that names
    // the window wins.
    {"HoldWinsOverWindow", "#window(reader)\r\n#landscape(reader)", 0x10002, 0, NO_CODE, 1, 1, 0},
    {"HoldWinsOverOnlyfor", "#onlyfor(1)\r\n#portrait(reader)", 0x10000, 1, NO_CODE, 1, 0, 1},
    {"LastHoldWins", "#portrait(reader)\r\n#landscape(book)", 0x10002, 0, NO_CODE, 1, 1, 0},
    {"LastHoldWinsTheOtherWay", "#landscape(book)\r\n#portrait(reader)", 0x10002, 1, NO_CODE, 1,
     0, 1},
    {"HoldOfAnotherWindowHoldsNothing", "#portrait(dialer)", 0x10001, 0, NO_CODE, 1, 3, NO_CODE},
    // Blanks alone name nothing, though the title in front holds one.
    {"BlankPortraitHoldsNothing", "#portrait( )", 0x10001, 0, NO_CODE, 1, 3, NO_CODE},
    {"BlankLandscapeHoldsNothing", "#landscape( )", 0x10002, 0, NO_CODE, 1, NO_CODE, NO_CODE},
    // Exempt: nothing, unless a hold came before.
    {"ExemptAfterARestart", "#window(reader)", 0x10000, 0, NO_CODE, 1, NO_CODE, NO_CODE},
    {"ExemptByOnlyforAfterARestart", "#onlyfor(1)\r\n#window(dialer)", 0x10000, 0, NO_CODE, 1,
     NO_CODE, NO_CODE},
    {"ExemptAfterAHoldGivesBack", "#window(reader)", 0x10000, 0, 2, 1, 2, NO_CODE},
    {"ExemptByOnlyforAfterAHoldGivesBack", "#onlyfor(1)", 0x10001, 3, 0, 1, 0, NO_CODE},
    {"ExemptAfterAHoldAlreadyThere", "#window(reader)", 0x10000, 2, 2, 1, NO_CODE, NO_CODE},
    // Not exempt after a hold: the position now, else the saved code.
    {"AfterAHoldTurnsToThePosition", "", 0x10001, 0, 2, 1, 3, NO_CODE},
    {"AfterAHoldFaceDownGivesBack", "", 0x10004, 1, 0, 1, 0, NO_CODE},
    {"AfterAHoldUnreadableGivesBack", "", NO_SENSOR, 1, 2, 1, 2, NO_CODE},
    {"AfterAHoldUnknownValueGivesBack", "", 0x12345, 3, 2, 1, 2, NO_CODE},
    {"AfterAHoldAlreadyInPosition", "", 0x10002, 0, 1, 1, NO_CODE, NO_CODE},
    // Not exempt, nothing saved: the position now, once.
    {"TurnsToThePosition", "", 0x10000, 0, NO_CODE, 1, 1, NO_CODE},
    {"TurnsUpsideDown", "#window(dialer)", 0x10003, 0, NO_CODE, 1, 2, NO_CODE},
    {"AlreadyInPosition", "", 0x10000, 1, NO_CODE, 1, NO_CODE, NO_CODE},
    {"FaceDownDoesNothing", "#fdscreenoff(2)", 0x10004, 1, NO_CODE, 1, NO_CODE, NO_CODE},
    {"UnreadableDoesNothing", "", NO_SENSOR, 1, NO_CODE, 1, NO_CODE, NO_CODE},
};

class FrontChangeTest : public HoldTest, public ::testing::WithParamInterface<FrontCase> {};

TEST_P(FrontChangeTest, DisplayFollowsTheAppInFront)
{
    const FrontCase &c = GetParam();
    ASSERT_TRUE(WriteBytes(config, c.config));
    ASSERT_TRUE(WriteSensor(c.sensor));
    SetDisplay(c.display);
    g_holdMemory.savedCode = c.saved == NO_CODE ? NO_SAVED_CODE : c.saved;
    g_holdMemory.landscapeCode = c.landscape;

    FrontChange();

    EXPECT_EQ(Expected(c.turnedTo), Turns());
    EXPECT_EQ(c.turnedTo == NO_CODE ? c.display : c.turnedTo, RotationQuery());
    EXPECT_EQ(c.savedAfter == NO_CODE ? NO_SAVED_CODE : c.savedAfter, g_holdMemory.savedCode);
    EXPECT_EQ(0, g_waits) << "a front change never waits";
    EXPECT_EQ(c.config, ReadBytes(config)) << "a front change never writes the file";
}

INSTANTIATE_TEST_SUITE_P(Windows, FrontChangeTest, ::testing::ValuesIn(kFrontCases),
                         [](const ::testing::TestParamInfo<FrontCase> &info) {
                             return std::string(info.param.name);
                         });

// No file yet: the front change reads the default text, which lists no
// window of this program, and leaves the file to the first sensor event.
TEST_F(HoldTest, FrontChangeWithoutAFileReadsTheDefaultText)
{
    ASSERT_TRUE(WriteSensor(0x10001));
    SetDisplay(0);
    FrontChange();
    EXPECT_EQ(std::vector<int>{3}, Turns());
    EXPECT_FALSE(FileExists(config));
    EXPECT_EQ(5u, settings.windows.count);
}

// Without a rotation service a held window changes nothing, and nothing is
// saved for later.
TEST_F(HoldTest, HeldWindowWithoutARotationServiceDoesNothing)
{
    ASSERT_TRUE(WriteBytes(config, "#portrait(reader)\r\n"));
    ASSERT_TRUE(WriteSensor(0x10000));
    SetDisplay(1);
    SetPhone(NO_SERVICE);
    FrontChange();
    SensorEvent(0x10000);
    EXPECT_TRUE(Turns().empty());
    EXPECT_EQ(NO_SAVED_CODE, g_holdMemory.savedCode);
}

// A front change handled while a shut-down request waits in the queue is
// dropped: it neither asks the display nor turns it.
TEST_F(HoldTest, FrontChangeIsDroppedWhileAShutDownWaits)
{
    ASSERT_TRUE(WriteBytes(config, "#landscape(reader)\r\n"));
    ASSERT_TRUE(WriteSensor(0x10000));
    for (UINT request : {(UINT)WMU_UNLOAD, (UINT)WM_CLOSE}) {
        SCOPED_TRACE(request);
        SetDisplay(0);
        ASSERT_TRUE(PostMessageW(foreground, request, 0, 0));
        EXPECT_EQ(0, HandleFrontChange(foreground, &settings));
        EXPECT_EQ(0, CountOccurrences(ReadBytes(log), "aygshell 29"));
        MSG msg;
        EXPECT_TRUE(PeekMessageW(&msg, foreground, request, request, PM_REMOVE))
            << "the request stays queued for the loop";
    }
    // Without one it turns.
    EXPECT_EQ(0, HandleFrontChange(foreground, &settings));
    EXPECT_EQ(std::vector<int>{1}, Turns());
}

// --- A sensor event with a held window, and the saved code ------------------

struct EventCase {
    const char *name;
    const char *config;  // after "#timeout(300)"
    DWORD posted;
    DWORD afterWait;     // the sensor's value once the wait is over
    int waitResult;      // 0: an unload cut the wait short
    int display;
    int saved;
    int landscape;
    int waits;
    int turnedTo;
    int savedAfter;
};

const EventCase kEventCases[] = {
    // Portrait: no wait, a turn only to leave another code.
    {"PortraitTurnsWithoutAWait", "#portrait(reader)", 0x10000, 0x10000, 1, 1, NO_CODE, 1, 0, 0,
     1},
    {"PortraitAlreadyHeld", "#portrait(reader)", 0x10001, 0x10001, 1, 0, NO_CODE, 1, 0, NO_CODE, 0},
    {"PortraitKeepsTheSavedCode", "#portrait(reader)", 0x10001, 0x10001, 1, 3, 2, 1, 0, 0, 2},
    // Landscape: the wait and the read as for any window, then only a
    // landscape.
    {"LandscapeReadsAfterTheWait", "#landscape(reader)", 0x10000, 0x10001, 1, 0, NO_CODE, 1, 1, 3,
     0},
    {"LandscapeUprightKeepsTheDisplaysLandscape", "#landscape(reader)", 0x10002, 0x10002, 1, 3,
     NO_CODE, 1, 1, NO_CODE, 3},
    {"LandscapeUprightTakesTheLastLandscapeSeen", "#landscape(reader)", 0x10002, 0x10003, 1, 2,
     NO_CODE, 3, 1, 3, 2},
    // The posted side is seen too.
    {"LandscapeUprightAfterAPostedSide", "#landscape(reader)", 0x10001, 0x10002, 1, 0, NO_CODE, 1,
     1, 3, 0},
    {"LandscapeFaceDownWithoutTheSetting", "#landscape(reader)\r\n#fdscreenoff(0)", 0x10004,
     0x10004, 1, 0, NO_CODE, 1, 1, 1, 0},
    {"LandscapeWaitCutShort", "#landscape(reader)", 0x10000, 0x10000, 0, 0, NO_CODE, 1, 1, NO_CODE,
     NO_CODE},
    // The face-down action comes first, as ever.
    {"FaceDownActsFirst", "#portrait(reader)\r\n#fdscreenoff(1)", 0x10004, 0x10004, 1, 1, NO_CODE,
     1, 1, NO_CODE, NO_CODE},
    {"HoldWinsOverWindow", "#window(reader)\r\n#portrait(reader)", 0x10000, 0x10000, 1, 1, NO_CODE,
     1, 0, 0, 1},
    {"HoldWinsOverOnlyfor", "#onlyfor(1)\r\n#landscape(reader)", 0x10000, 0x10000, 1, 0, NO_CODE,
     1, 1, 1, 0},
    {"LastHoldWins", "#landscape(reader)\r\n#portrait(book)", 0x10001, 0x10001, 1, 3, NO_CODE, 1,
     0, 0, 3},
    // Windows that are not held.
    {"ExemptKeepsTheSavedCode", "#window(reader)", 0x10000, 0x10000, 1, 0, 2, 1, 0, NO_CODE, 2},
    {"TurnEmptiesTheSavedCode", "", 0x10001, 0x10001, 1, 0, 2, 1, 1, 3, NO_CODE},
    {"NoPositionKeepsTheSavedCode", "", 0x10001, 0x10004, 1, 0, 2, 1, 1, NO_CODE, 2},
    {"AfterARestartTurns", "", 0x10000, 0x10000, 1, 0, NO_CODE, 1, 1, 1, NO_CODE},
};

class HeldEventTest : public HoldTest, public ::testing::WithParamInterface<EventCase> {};

TEST_P(HeldEventTest, HoldDecidesTheTurn)
{
    const EventCase &c = GetParam();
    ASSERT_TRUE(WriteBytes(config, std::string("#timeout(300)\r\n") + c.config));
    ASSERT_TRUE(WriteSensor(c.posted));
    SetDisplay(c.display);
    g_holdMemory.savedCode = c.saved == NO_CODE ? NO_SAVED_CODE : c.saved;
    g_holdMemory.landscapeCode = c.landscape;
    g_valueAfterWait = c.afterWait;
    g_waitResult = c.waitResult;

    SensorEvent(c.posted);

    EXPECT_EQ(c.waits, g_waits);
    EXPECT_EQ(Expected(c.turnedTo), Turns());
    EXPECT_EQ(c.savedAfter == NO_CODE ? NO_SAVED_CODE : c.savedAfter, g_holdMemory.savedCode);
}

INSTANTIATE_TEST_SUITE_P(Windows, HeldEventTest, ::testing::ValuesIn(kEventCases),
                         [](const ::testing::TestParamInfo<EventCase> &info) {
                             return std::string(info.param.name);
                         });

// The code from before the first hold lasts from one held window to the
// next and through sensor events with a held window in front, and is given
// back once, by the first window that is not held.
TEST_F(HoldTest, CodeFromBeforeTheHoldsIsKeptUntilAWindowThatIsNotHeld)
{
    ASSERT_TRUE(WriteSensor(0x10001));
    SetDisplay(2);
    ASSERT_TRUE(WriteBytes(config, "#timeout(0)\r\n#portrait(reader)\r\n"));
    FrontChange();
    EXPECT_EQ(2, g_holdMemory.savedCode);
    ASSERT_TRUE(WriteBytes(config, "#timeout(0)\r\n#landscape(reader)\r\n"));
    FrontChange();
    g_valueAfterWait = 0x10000;
    SensorEvent(0x10000);
    EXPECT_EQ(2, g_holdMemory.savedCode);
    ASSERT_TRUE(WriteBytes(config, "#timeout(0)\r\n#window(reader)\r\n"));
    FrontChange();
    EXPECT_EQ(NO_SAVED_CODE, g_holdMemory.savedCode);
    FrontChange();
    EXPECT_EQ((std::vector<int>{0, 3, 1, 2}), Turns());
    EXPECT_EQ(2, RotationQuery());
}

// --- The account ------------------------------------------------------------

enum Moment { FRONT_CHANGE, SENSOR_EVENT };

struct HoldAccountCase {
    const char *name;
    int moment;
    const char *config;  // after "#log(1)" and "#timeout(300)"
    DWORD sensor;        // the value at a front change, or posted with the event
    DWORD afterWait;
    int waitResult;
    int display;
    int saved;
    int phone;           // PhoneKind
    const char *line;    // after the time, "HH:MM:SS | "
};

const HoldAccountCase kHoldAccountCases[] = {
    {"FrontHeldLandscapeTurned", FRONT_CHANGE, "#landscape(book)", 0x10002, 0, 1, 0, NO_CODE,
     WHOLE,
     "front change, read 0x00010002 upright | " READER " | #landscape(book) matched the title "
     "| turned to code 1"},
    {"FrontHeldPortraitAlreadyHeld", FRONT_CHANGE, "#portrait(readerview)", 0x10000, 0, 1, 0,
     NO_CODE, WHOLE,
     "front change, read 0x00010000 on its side | " READER " | #portrait(readerview) matched "
     "the class | the display already held code 0"},
    {"FrontHeldByProgram", FRONT_CHANGE, "#landscape(vorn_unit)", 0x10001, 0, 1, 0, NO_CODE, WHOLE,
     "front change, read 0x00010001 on its other side | " READER " | #landscape(vorn_unit) "
     "matched the program name | turned to code 3"},
    {"FrontHeldWithoutAService", FRONT_CHANGE, "#portrait(book)", 0x10000, 0, 1, 1, NO_CODE,
     NO_SERVICE,
     "front change, read 0x00010000 on its side | " READER " | #portrait(book) matched the "
     "title | no rotation service, nothing done"},
    {"FrontHeldTurnNotTaken", FRONT_CHANGE, "#portrait(book)", 0x10000, 0, 1, 2, NO_CODE,
     KEEPS_ROTATION,
     "front change, read 0x00010000 on its side | " READER " | #portrait(book) matched the "
     "title | asked for code 0; the display answers 2"},
    {"FrontGaveBackForAListedWindow", FRONT_CHANGE, "#window(book)", 0x10000, 0, 1, 0, 2,
     WHOLE,
     "front change, read 0x00010000 on its side | " READER " | #window(book) matched the title "
     "| gave back code 2"},
    {"FrontGaveBackFaceDown", FRONT_CHANGE, "", 0x10004, 0, 1, 0, 1, WHOLE,
     "front change, read 0x00010004 face down | " READER " | no entry matched, onlyfor 0 | "
     "gave back code 1"},
    {"FrontGaveBackNotTaken", FRONT_CHANGE, "#window(book)", 0x10000, 0, 1, 0, 2,
     KEEPS_ROTATION,
     "front change, read 0x00010000 on its side | " READER " | #window(book) matched the title "
     "| asked for code 2; the display answers 0"},
    {"FrontTurnedAfterAHold", FRONT_CHANGE, "", 0x10001, 0, 1, 0, 2, WHOLE,
     "front change, read 0x00010001 on its other side | " READER " | no entry matched, "
     "onlyfor 0 | turned to code 3"},
    {"FrontTurned", FRONT_CHANGE, "#onlyfor(1)\r\n#window(book)", 0x10000, 0, 1, 0, NO_CODE,
     WHOLE,
     "front change, read 0x00010000 on its side | " READER " | #window(book) matched the "
     "title | turned to code 1"},
    {"FrontTurnNotTaken", FRONT_CHANGE, "", 0x10003, 0, 1, 0, NO_CODE, KEEPS_ROTATION,
     "front change, read 0x00010003 upside down | " READER " | no entry matched, onlyfor 0 | "
     "asked for code 2; the display answers 0"},
    {"EventHeldPortraitTurned", SENSOR_EVENT, "#portrait(book)", 0x10000, 0x10000, 1, 1, NO_CODE,
     WHOLE,
     "0x00010000 on its side | " READER " | #portrait(book) matched the title | turned to "
     "code 0"},
    {"EventHeldPortraitAlreadyHeld", SENSOR_EVENT, "#window(book)\r\n#portrait(book)",
     0x10001, 0x10001, 1, 0, NO_CODE, WHOLE,
     "0x00010001 on its other side | " READER " | #portrait(book) matched the title | the "
     "display already held code 0"},
    {"EventHeldPortraitWithoutAService", SENSOR_EVENT, "#portrait(book)", 0x10001, 0x10001, 1,
     1, NO_CODE, NO_SERVICE,
     "0x00010001 on its other side | " READER " | #portrait(book) matched the title | no "
     "rotation service, nothing done"},
    {"EventHeldLandscapeTurned", SENSOR_EVENT, "#landscape(readerview)", 0x10002, 0x10001, 1, 0,
     NO_CODE, WHOLE,
     "0x00010002 upright | " READER " | #landscape(readerview) matched the class | waited 300 "
     "ms, read 0x00010001: turned to code 3"},
    {"EventHeldLandscapeAlreadyHeld", SENSOR_EVENT, "#landscape(book)", 0x10002, 0x10002, 1,
     1, NO_CODE, WHOLE,
     "0x00010002 upright | " READER " | #landscape(book) matched the title | waited 300 ms, "
     "read 0x00010002: the display already held code 1"},
    {"EventHeldLandscapeNotTaken", SENSOR_EVENT, "#landscape(book)", 0x10000, 0x10000, 1, 0,
     NO_CODE, KEEPS_ROTATION,
     "0x00010000 on its side | " READER " | #landscape(book) matched the title | waited 300 "
     "ms, read 0x00010000: asked for code 1; the display answers 0"},
    {"EventHeldLandscapeUnloaded", SENSOR_EVENT, "#landscape(book)", 0x10000, 0x10000, 0, 0,
     NO_CODE, WHOLE,
     "0x00010000 on its side | " READER " | #landscape(book) matched the title | unloaded "
     "during the wait: event dropped"},
};

class HoldAccountTest : public HoldTest,
                        public ::testing::WithParamInterface<HoldAccountCase> {};

TEST_P(HoldAccountTest, LineNamesTheHoldAndSaysWhatWasDone)
{
    const HoldAccountCase &c = GetParam();
    ASSERT_TRUE(WriteBytes(config, std::string("#log(1)\r\n#timeout(300)\r\n") + c.config));
    ASSERT_TRUE(WriteSensor(c.sensor));
    SetDisplay(c.display);
    g_holdMemory.savedCode = c.saved == NO_CODE ? NO_SAVED_CODE : c.saved;
    g_valueAfterWait = c.afterWait;
    g_waitResult = c.waitResult;
    SetPhone(c.phone);

    if (c.moment == FRONT_CHANGE)
        FrontChange();
    else
        SensorEvent(c.sensor);

    std::string bytes = ReadBytes(account);
    ASSERT_GE(bytes.size(), 13u) << "no account written";
    EXPECT_EQ(1, CountOccurrences(bytes, "\r\n")) << bytes;
    EXPECT_EQ(std::string(" | ") + c.line, bytes.substr(8, bytes.size() - 10));
}

INSTANTIATE_TEST_SUITE_P(Roads, HoldAccountTest, ::testing::ValuesIn(kHoldAccountCases),
                         [](const ::testing::TestParamInfo<HoldAccountCase> &info) {
                             return std::string(info.param.name);
                         });

// A front change that asks for no turn, with no held window in front,
// keeps no line.
TEST_F(HoldTest, FrontChangeThatAsksNothingKeepsNoLine)
{
    const struct {
        const char *name;
        const char *config;  // after "#log(1)"
        DWORD sensor;
        int display;
        int saved;
        int phone;
    } cases[] = {
        {"exempt", "#window(reader)", 0x10000, 0, NO_CODE, WHOLE},
        {"already in position", "", 0x10000, 1, NO_CODE, WHOLE},
        {"face down", "", 0x10004, 1, NO_CODE, WHOLE},
        {"after a hold, already in position", "", 0x10002, 0, 2, WHOLE},
        {"after a hold, already given back", "#window(reader)", 0x10000, 2, 2, WHOLE},
        {"no rotation service", "", 0x10000, 0, NO_CODE, NO_SERVICE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytes(config, std::string("#log(1)\r\n") + c.config));
        ASSERT_TRUE(WriteSensor(c.sensor));
        SetDisplay(c.display);
        g_holdMemory.savedCode = c.saved == NO_CODE ? NO_SAVED_CODE : c.saved;
        g_rotationLibrary = savedLibrary;
        SetPhone(c.phone);
        FrontChange();
        EXPECT_TRUE(Turns().empty());
        EXPECT_FALSE(FileExists(account));
    }
}


// --- The phone's moments ------------------------------------------------------

// Where the monitor meets a moment: a sensor event, a front change, or the
// change told of the phone's status (a call) or of its keyboard.
enum Point { AT_EVENT, AT_FRONT_CHANGE, CALL_TOLD, KEYBOARD_TOLD };

struct MomentCase {
    const char *name;
    int point;
    const char *config;  // after "#log(1)" and "#timeout(300)"
    DWORD status;        // the phone's status as published (and told, at CALL_TOLD)
    DWORD keyboard;      // the keyboard as published (and told, at KEYBOARD_TOLD)
    int seen;            // the moments in progress as last told (MOMENT_ bits)
    DWORD sensor;        // posted and read after the wait, or read at once
    int display;
    int saved;
    int turnedTo;        // NO_CODE for none
    int savedAfter;
    const char *line;    // the account's line after the time; null for none
};

#define CALL CALL_TALKING
#define BOTH (MOMENT_CALL | MOMENT_KEYBOARD)

const MomentCase kMomentCases[] = {
    // A sensor event in a moment turns nothing, a held window's neither; the
    // face-down action comes first.
    {"EventCallLeavesAlone", AT_EVENT, "", CALL, 0, MOMENT_CALL, 0x10000, 0, NO_CODE, NO_CODE,
     NO_CODE, "0x00010000 on its side | " READER " | a call is in progress | left alone"},
    {"EventKeyboardLeavesAlone", AT_EVENT, "", 0, 1, MOMENT_KEYBOARD, 0x10002, 1, NO_CODE,
     NO_CODE, NO_CODE, "0x00010002 upright | " READER " | the keyboard is out | left alone"},
    {"EventCallKeepsAHeldWindow", AT_EVENT, "#portrait(book)", CALL, 0, MOMENT_CALL, 0x10000,
     1, NO_CODE, NO_CODE, NO_CODE,
     "0x00010000 on its side | " READER " | a call is in progress | left alone"},
    {"EventKeyboardKeepsTheSavedCode", AT_EVENT, "", 0, 1, MOMENT_KEYBOARD, 0x10000, 1, 2,
     NO_CODE, 2, "0x00010000 on its side | " READER " | the keyboard is out | left alone"},
    {"EventCallBeforeTheKeyboard", AT_EVENT, "", CALL, 1, BOTH, 0x10000, 0, NO_CODE, NO_CODE,
     NO_CODE, "0x00010000 on its side | " READER " | a call is in progress | left alone"},
    {"EventCallBeforeTheWindowList", AT_EVENT, "#onlyfor(1)\r\n#window(book)", CALL, 0,
     MOMENT_CALL, 0x10000, 0, NO_CODE, NO_CODE, NO_CODE,
     "0x00010000 on its side | " READER " | a call is in progress | left alone"},
    {"EventFaceDownActsFirst", AT_EVENT, "#fdscreenoff(1)", CALL, 1, BOTH, 0x10004, 0, NO_CODE,
     NO_CODE, NO_CODE,
     "0x00010004 face down | " READER " | face down, fdscreenoff 1 | waited 300 ms, still face "
     "down: the display has no power control, nothing done"},
    {"EventCallOffTurns", AT_EVENT, "#call(0)", CALL, 0, MOMENT_CALL, 0x10000, 0, NO_CODE, 1,
     NO_CODE,
     "0x00010000 on its side | " READER " | no entry matched, onlyfor 0 | waited 300 ms, read "
     "0x00010000: turned to code 1"},
    {"EventCallOffTurnsToTheHold", AT_EVENT, "#call(0)\r\n#portrait(book)", CALL, 0,
     MOMENT_CALL, 0x10000, 1, NO_CODE, 0, 1,
     "0x00010000 on its side | " READER " | #portrait(book) matched the title | turned to "
     "code 0"},
    {"EventKeyboardOffTurns", AT_EVENT, "#keyboard(0)", 0, 1, MOMENT_KEYBOARD, 0x10000, 0,
     NO_CODE, 1, NO_CODE,
     "0x00010000 on its side | " READER " | no entry matched, onlyfor 0 | waited 300 ms, read "
     "0x00010000: turned to code 1"},
    {"EventKeyboardOffCallStillHolds", AT_EVENT, "#keyboard(0)", CALL, 1, BOTH, 0x10000, 0,
     NO_CODE, NO_CODE, NO_CODE,
     "0x00010000 on its side | " READER " | a call is in progress | left alone"},
    {"EventCallOffKeyboardStillHolds", AT_EVENT, "#call(0)", CALL, 1, BOTH, 0x10000, 0, NO_CODE,
     NO_CODE, NO_CODE, "0x00010000 on its side | " READER " | the keyboard is out | left alone"},
    {"EventOtherStatusBitsTurn", AT_EVENT, "", 0x00400010, 0, MOMENT_NONE, 0x10000, 0, NO_CODE,
     1, NO_CODE,
     "0x00010000 on its side | " READER " | no entry matched, onlyfor 0 | waited 300 ms, read "
     "0x00010000: turned to code 1"},
    // A front change in a moment turns nothing either, and keeps the code
    // saved before a hold for the moment's end.
    {"FrontCallLeavesAlone", AT_FRONT_CHANGE, "", CALL, 0, MOMENT_CALL, 0x10000, 0, NO_CODE,
     NO_CODE, NO_CODE,
     "front change, read 0x00010000 on its side | " READER " | a call is in progress | left "
     "alone"},
    {"FrontKeyboardKeepsAHeldWindowOut", AT_FRONT_CHANGE, "#portrait(book)", 0, 1,
     MOMENT_KEYBOARD, 0x10002, 1, NO_CODE, NO_CODE, NO_CODE,
     "front change, read 0x00010002 upright | " READER " | the keyboard is out | left alone"},
    {"FrontKeyboardKeepsTheSavedCode", AT_FRONT_CHANGE, "#window(book)", 0, 1,
     MOMENT_KEYBOARD, 0x10002, 1, 3, NO_CODE, 3,
     "front change, read 0x00010002 upright | " READER " | the keyboard is out | left alone"},
    {"FrontCallOffHolds", AT_FRONT_CHANGE, "#call(0)\r\n#portrait(book)", CALL, 0, MOMENT_CALL,
     0x10000, 1, NO_CODE, 0, 1,
     "front change, read 0x00010000 on its side | " READER " | #portrait(book) matched the "
     "title | turned to code 0"},
    {"FrontKeyboardOffTurns", AT_FRONT_CHANGE, "#keyboard(0)", 0, 1, MOMENT_KEYBOARD, 0x10000, 0,
     NO_CODE, 1, NO_CODE,
     "front change, read 0x00010000 on its side | " READER " | no entry matched, onlyfor 0 | "
     "turned to code 1"},
    // A call's end: the display follows at once, as at a front change.
    {"CallEndsTurnsToThePosition", CALL_TOLD, "", 0, 0, MOMENT_CALL, 0x10002, 1, NO_CODE, 0,
     NO_CODE,
     "call ended, read 0x00010002 upright | " READER " | no entry matched, onlyfor 0 | turned "
     "to code 0"},
    {"CallEndsTurnsToTheHold", CALL_TOLD, "#landscape(book)", 0x10, 0, MOMENT_CALL, 0x10002, 0,
     NO_CODE, 1, 0,
     "call ended, read 0x00010002 upright | " READER " | #landscape(book) matched the title "
     "| turned to code 1"},
    {"CallEndsGivesBack", CALL_TOLD, "#window(book)", 0, 0, MOMENT_CALL, 0x10000, 1, 2, 2,
     NO_CODE,
     "call ended, read 0x00010000 on its side | " READER " | #window(book) matched the title "
     "| gave back code 2"},
    {"CallEndsAlreadyInPosition", CALL_TOLD, "", 0, 0, MOMENT_CALL, 0x10002, 0, NO_CODE, NO_CODE,
     NO_CODE, nullptr},
    {"CallEndsListedWindowStays", CALL_TOLD, "#window(book)", 0, 0, MOMENT_CALL, 0x10002, 1,
     NO_CODE, NO_CODE, NO_CODE, nullptr},
    {"CallEndsFaceDown", CALL_TOLD, "#fdscreenoff(1)", 0, 0, MOMENT_CALL, 0x10004, 1, NO_CODE,
     NO_CODE, NO_CODE, nullptr},
    {"CallEndsKeyboardStillOut", CALL_TOLD, "", 0, 1, BOTH, 0x10002, 1, NO_CODE, NO_CODE,
     NO_CODE,
     "call ended, read 0x00010002 upright | " READER " | the keyboard is out | left alone"},
    {"CallEndsUnwatched", CALL_TOLD, "#call(0)", 0, 0, MOMENT_CALL, 0x10002, 1, NO_CODE, NO_CODE,
     NO_CODE, nullptr},
    {"CallBegins", CALL_TOLD, "", CALL, 0, MOMENT_NONE, 0x10002, 1, NO_CODE, NO_CODE, NO_CODE,
     nullptr},
    {"StatusChangesWithoutACall", CALL_TOLD, "", 0x10, 0, MOMENT_NONE, 0x10002, 1, NO_CODE,
     NO_CODE, NO_CODE, nullptr},
    // The keyboard's going in: the same.
    {"KeyboardInTurnsToThePosition", KEYBOARD_TOLD, "", 0, 0, MOMENT_KEYBOARD, 0x10002, 1,
     NO_CODE, 0, NO_CODE,
     "keyboard in, read 0x00010002 upright | " READER " | no entry matched, onlyfor 0 | turned "
     "to code 0"},
    {"KeyboardInTurnsToTheHold", KEYBOARD_TOLD, "#portrait(book)", 0, 0, MOMENT_KEYBOARD,
     0x10000, 1, NO_CODE, 0, 1,
     "keyboard in, read 0x00010000 on its side | " READER " | #portrait(book) matched the "
     "title | turned to code 0"},
    {"KeyboardInCallGoesOn", KEYBOARD_TOLD, "", CALL, 0, BOTH, 0x10002, 1, NO_CODE, NO_CODE,
     NO_CODE,
     "keyboard in, read 0x00010002 upright | " READER " | a call is in progress | left alone"},
    {"KeyboardInUnwatched", KEYBOARD_TOLD, "#keyboard(0)", 0, 0, MOMENT_KEYBOARD, 0x10002, 1,
     NO_CODE, NO_CODE, NO_CODE, nullptr},
    {"KeyboardOut", KEYBOARD_TOLD, "", 0, 1, MOMENT_NONE, 0x10002, 1, NO_CODE, NO_CODE, NO_CODE,
     nullptr},
};

class MomentTest : public HoldTest, public ::testing::WithParamInterface<MomentCase> {};

TEST_P(MomentTest, DisplayKeepsItsRotationUntilTheMomentEnds)
{
    const MomentCase &c = GetParam();
    ASSERT_TRUE(WriteBytes(config, std::string("#log(1)\r\n#timeout(300)\r\n") + c.config));
    ASSERT_TRUE(WriteSensor(c.sensor));
    SetMoments(c.status, c.keyboard);
    SetDisplay(c.display);
    g_holdMemory.savedCode = c.saved == NO_CODE ? NO_SAVED_CODE : c.saved;
    g_momentsSeen = c.seen;
    g_valueAfterWait = c.sensor;

    int moment = c.point == KEYBOARD_TOLD ? MOMENT_KEYBOARD : MOMENT_CALL;
    switch (c.point) {
    case AT_EVENT:
        SensorEvent(c.sensor);
        break;
    case AT_FRONT_CHANGE:
        FrontChange();
        break;
    default:
        EXPECT_EQ(0, HandleMomentChange(NULL, moment,
                                        c.point == CALL_TOLD ? c.status : c.keyboard, &settings));
        EXPECT_EQ(0, g_waits) << "a moment's change never waits";
        int inProgress = c.point == CALL_TOLD ? (c.status & CALL_TALKING) != 0 : c.keyboard != 0;
        EXPECT_EQ((c.seen & ~moment) | (inProgress ? moment : 0), g_momentsSeen);
        break;
    }

    EXPECT_EQ(Expected(c.turnedTo), Turns());
    EXPECT_EQ(c.turnedTo == NO_CODE ? c.display : c.turnedTo, RotationQuery());
    EXPECT_EQ(c.savedAfter == NO_CODE ? NO_SAVED_CODE : c.savedAfter, g_holdMemory.savedCode);
    std::string bytes = ReadBytes(account);
    if (!c.line) {
        EXPECT_EQ("", bytes);
        return;
    }
    ASSERT_GE(bytes.size(), 13u) << "no account written";
    EXPECT_EQ(1, CountOccurrences(bytes, "\r\n")) << bytes;
    EXPECT_EQ(std::string(" | ") + c.line, bytes.substr(8, bytes.size() - 10));
}

INSTANTIATE_TEST_SUITE_P(Points, MomentTest, ::testing::ValuesIn(kMomentCases),
                         [](const ::testing::TestParamInfo<MomentCase> &info) {
                             return std::string(info.param.name);
                         });

// The values as the phone publishes them: only bit 0x20000000 of the phone's
// status is a call; any keyboard value but 0 is one that is out.
TEST(MomentValueTest, CallBitAndKeyboardValue)
{
    EXPECT_TRUE(MomentInProgress(MOMENT_CALL, CALL_TALKING));
    EXPECT_TRUE(MomentInProgress(MOMENT_CALL, 0xFFFFFFFF));
    EXPECT_FALSE(MomentInProgress(MOMENT_CALL, 0xDFFFFFFF));
    EXPECT_FALSE(MomentInProgress(MOMENT_CALL, 0));
    EXPECT_TRUE(MomentInProgress(MOMENT_KEYBOARD, 1));
    EXPECT_TRUE(MomentInProgress(MOMENT_KEYBOARD, 0x100));
    EXPECT_FALSE(MomentInProgress(MOMENT_KEYBOARD, 0));
}

// --- A held app's own windows --------------------------------------------------

const wchar_t kBoxClass[] = L"VornUnitBox";
const wchar_t kOwnerClass[] = L"VornUnitOwnerView";
#define BOX "\"Bookmark\" VornUnitBox vorn_unit.exe"

struct OwnerCase {
    const char *name;
    int point;                  // AT_EVENT or AT_FRONT_CHANGE
    const char *config;         // after "#log(1)" and "#timeout(0)"
    const wchar_t *owners[3];   // the box's owner, its owner, ...; null ends the chain
    DWORD sensor;
    int display;
    int turnedTo;
    const char *line;           // after the time; null for none
};

const OwnerCase kOwnerCases[] = {
    {"OwnedByAHeldWindow", AT_FRONT_CHANGE, "#landscape(reader)", {L"Reader"}, 0x10002, 0, 1,
     "front change, read 0x00010002 upright | " BOX " | #landscape(reader) matched the owner's "
     "title | turned to code 1"},
    {"OwnedByAWindowHeldByClass", AT_FRONT_CHANGE, "#portrait(ownerview)", {L"Reader"}, 0x10000,
     1, 0,
     "front change, read 0x00010000 on its side | " BOX " | #portrait(ownerview) matched the "
     "owner's class | turned to code 0"},
    {"OwnedByAHeldWindowAtAnEvent", AT_EVENT, "#portrait(reader)", {L"Reader"}, 0x10000, 1, 0,
     "0x00010000 on its side | " BOX " | #portrait(reader) matched the owner's title | turned "
     "to code 0"},
    {"TwoLevelsUp", AT_FRONT_CHANGE, "#landscape(reader)", {L"Settings", L"Reader"}, 0x10002, 0,
     1,
     "front change, read 0x00010002 upright | " BOX " | #landscape(reader) matched the owner's "
     "title | turned to code 1"},
    {"NearestHeldOwnerFirst", AT_FRONT_CHANGE, "#portrait(notes)\r\n#landscape(reader)",
     {L"Notes", L"Reader"}, 0x10000, 1, 0,
     "front change, read 0x00010000 on its side | " BOX " | #portrait(notes) matched the "
     "owner's title | turned to code 0"},
    {"BoxItselfHeldFirst", AT_FRONT_CHANGE, "#landscape(reader)\r\n#portrait(bookmark)",
     {L"Reader"}, 0x10000, 1, 0,
     "front change, read 0x00010000 on its side | " BOX " | #portrait(bookmark) matched the "
     "title | turned to code 0"},
    {"OwnedByAnUnheldWindow", AT_FRONT_CHANGE, "#landscape(reader)", {L"Notes"}, 0x10002, 1, 0,
     "front change, read 0x00010002 upright | " BOX " | no entry matched, onlyfor 0 | turned "
     "to code 0"},
    {"NoOwner", AT_FRONT_CHANGE, "#landscape(reader)", {nullptr}, 0x10002, 1, 0,
     "front change, read 0x00010002 upright | " BOX " | no entry matched, onlyfor 0 | turned "
     "to code 0"},
    // Only holds look at owners.
    {"WindowListNamesTheOwnerOnly", AT_FRONT_CHANGE, "#window(reader)", {L"Reader"}, 0x10000, 0,
     1,
     "front change, read 0x00010000 on its side | " BOX " | no entry matched, onlyfor 0 | "
     "turned to code 1"},
    {"OnlyforNamesTheOwnerOnly", AT_EVENT, "#onlyfor(1)\r\n#window(reader)", {L"Reader"},
     0x10000, 0, NO_CODE,
     "0x00010000 on its side | " BOX " | no entry matched, onlyfor 1 | left alone"},
};

class OwnerTest : public HoldTest, public ::testing::WithParamInterface<OwnerCase> {
protected:
    std::vector<HWND> windows;

    void TearDown() override
    {
        for (size_t i = windows.size(); i-- > 0;)
            DestroyWindow(windows[i]);
        HoldTest::TearDown();
    }

    // The chain's windows from the top down, each owned by the one above
    // it, and the box, owned by the first, in front.
    HWND OpenBox(const wchar_t *const *owners)
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = QuietProc;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.lpszClassName = kBoxClass;
        RegisterClassW(&wc);
        wc.lpszClassName = kOwnerClass;
        RegisterClassW(&wc);
        int count = 0;
        while (count < 3 && owners[count])
            ++count;
        HWND owner = NULL;
        for (int i = count; i-- > 0;) {
            owner = CreateWindowExW(0, kOwnerClass, owners[i], WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                    0, 0, 200, 100, owner, NULL, GetModuleHandleW(NULL), NULL);
            EXPECT_NE(nullptr, owner);
            windows.push_back(owner);
        }
        HWND box = CreateWindowExW(0, kBoxClass, L"Bookmark", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                   10, 10, 150, 80, owner, NULL, GetModuleHandleW(NULL), NULL);
        EXPECT_NE(nullptr, box);
        windows.push_back(box);
        EXPECT_EQ(owner, GetWindow(box, GW_OWNER));
        SetForegroundWindow(box);
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == box; }));
        return box;
    }
};

TEST_P(OwnerTest, HeldOwnerHoldsItsOwnWindows)
{
    const OwnerCase &c = GetParam();
    ASSERT_TRUE(WriteBytes(config, std::string("#log(1)\r\n#timeout(0)\r\n") + c.config));
    ASSERT_TRUE(WriteSensor(c.sensor));
    OpenBox(c.owners);
    SetDisplay(c.display);
    g_valueAfterWait = c.sensor;

    if (c.point == AT_EVENT)
        SensorEvent(c.sensor);
    else
        FrontChange();

    EXPECT_EQ(Expected(c.turnedTo), Turns());
    std::string bytes = ReadBytes(account);
    if (!c.line) {
        EXPECT_EQ("", bytes);
        return;
    }
    ASSERT_GE(bytes.size(), 13u) << "no account written";
    EXPECT_EQ(std::string(" | ") + c.line, bytes.substr(8, bytes.size() - 10));
}

INSTANTIATE_TEST_SUITE_P(Chains, OwnerTest, ::testing::ValuesIn(kOwnerCases),
                         [](const ::testing::TestParamInfo<OwnerCase> &info) {
                             return std::string(info.param.name);
                         });

// At start only a held window in front is looked at: the display takes its
// hold, and the code before it is saved.
TEST_F(HoldTest, StartLookHandlesOnlyAHeldWindow)
{
    ASSERT_TRUE(WriteSensor(0x10002));
    for (const char *text :
         {"#log(1)\r\n#window(book)", "#log(1)\r\n#portrait(notes)", "#log(1)"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(WriteBytes(config, text));
        SetDisplay(1);
        EXPECT_EQ(0, HandleStartLook(NULL, &settings));
        EXPECT_TRUE(Turns().empty());
        EXPECT_FALSE(FileExists(account));
    }
    ASSERT_TRUE(WriteBytes(config, "#log(1)\r\n#landscape(book)"));
    SetDisplay(0);
    EXPECT_EQ(0, HandleStartLook(NULL, &settings));
    EXPECT_EQ(std::vector<int>{1}, Turns());
    EXPECT_EQ(0, g_holdMemory.savedCode) << "the code before the hold is saved";
    std::string bytes = ReadBytes(account);
    EXPECT_EQ(" | start, read 0x00010002 upright | " READER " | #landscape(book) matched the "
              "title | turned to code 1",
              bytes.substr(8, bytes.size() - 10));
    // In a moment a held window at start is left as it is.
    SetMoments(CALL_TALKING, 0);
    SetDisplay(0);
    DeleteFileW(account.c_str());
    g_holdMemory.savedCode = NO_SAVED_CODE;
    EXPECT_EQ(0, HandleStartLook(NULL, &settings));
    EXPECT_TRUE(Turns().empty());
    bytes = ReadBytes(account);
    EXPECT_NE(std::string::npos, bytes.find(" | start, read 0x00010002 upright | " READER
                                            " | a call is in progress | left alone"))
        << bytes;
}

}  // namespace
