// Front changes on the emulated phone: the shell's publisher (shellfront)
// writes the app in front, the stand-in notification tells the monitor, and
// the real rotation service turns the screen. A held app turns the display
// when it comes to the front, leaving it gives the display back, a burst
// ends where its last change asks, the monitor costs nothing while nothing
// happens, and an unload is heard in the middle of a burst.
#include "monitor_front_support.h"
#include "support/cputime.h"

namespace {

// The monitor's processor time over the quiet spell may not exceed one tick
// of the threads' clock (10 ms here). A monitor that waits for its messages
// spends none; one that looked at the front itself every 20 ms spent 30 ms
// in those 5 s here.
#define QUIET_SPELL_MS 5000
#define QUIET_CPU_BOUND_MS 10.0

// --- A held app comes to the front ---------------------------------------------

struct HeldCase {
    const char *name;
    const char *hold;          // the configuration's hold line
    DWORD sensor;              // where the phone lies, written before the monitor starts
    DWORD turnFirst;           // a sensor event with Notes in front first, or 0
    DWORD turnedCode;          // and the code it turns the display to
    const wchar_t *title;      // the held app
    const wchar_t *exe;
    DWORD code;                // the display's code then
    const char *decided;       // the account's fourth field
};

const HeldCase kHeldCases[] = {
    {"LandscapeInAnUprightPhone", "#landscape(Reader)", SENSOR_UPRIGHT, 0, 0, L"Reader",
     L"appwin.exe", 1, "#landscape(Reader) matched the title"},
    {"LandscapeOnTheOtherSide", "#landscape(Reader)", SENSOR_TURNED_270, 0, 0, L"Reader",
     L"appwin.exe", 3, "#landscape(Reader) matched the title"},
    {"LandscapeByProgramName", "#landscape(reader.exe)", SENSOR_UPRIGHT, 0, 0, L"Library",
     L"reader.exe", 1, "#landscape(reader.exe) matched the program name"},
    {"PortraitOnItsSide", "#portrait(Dialer)", SENSOR_TURNED_90, SENSOR_TURNED_90, 1,
     L"Dialer", L"appwin.exe", 0, "#portrait(Dialer) matched the title"},
};

class MonitorHeldFrontTest : public MonitorFrontTest,
                             public ::testing::WithParamInterface<HeldCase> {};

TEST_P(MonitorHeldFrontTest, TurnsTheScreenWithNoSensorEvent)
{
    const HeldCase &c = GetParam();
    WriteConfig(std::string("#timeout(0)\r\n#log(1)\r\n") + c.hold + "\r\n");
    if (!c.turnFirst)
        SetSensor(c.sensor);  // before the monitor registers: no event
    Open(L"Notes", L"NotesView");
    StartShell();
    LoadMonitor();
    if (c.turnFirst) {
        Turn(c.turnFirst);
        ASSERT_TRUE(WaitDisplay(c.turnedCode));
    }
    int events = SensorEvents();
    size_t calls = RotationCalls().size(), lines = Account().size();

    Open(c.title, L"HeldView", c.exe);
    EXPECT_TRUE(WaitDisplay(c.code)) << "the display holds " << Rotation();
    std::string line = WaitAccount(lines);
    EXPECT_EQ(events, SensorEvents()) << "a sensor event came";
    std::vector<int> after = RotationCalls();
    after.erase(after.begin(), after.begin() + calls);
    EXPECT_EQ(std::vector<int>{(int)c.code}, after);
    EXPECT_NE(std::string::npos, line.find("front change, read ")) << line;
    EXPECT_NE(std::string::npos, line.find(" | " + std::string(c.decided) + " | ")) << line;
    EXPECT_NE(std::string::npos, line.find("turned to code " + std::to_string(c.code)))
        << line;
    Finish();
}

INSTANTIATE_TEST_SUITE_P(Holds, MonitorHeldFrontTest, ::testing::ValuesIn(kHeldCases),
                         [](const ::testing::TestParamInfo<HeldCase> &info) {
                             return std::string(info.param.name);
                         });

// --- Leaving a held app ----------------------------------------------------------

// The display starts upside down (code 2, from a sensor event), Reader's hold
// turns it to landscape and saves code 2, the phone moves while Reader is in
// front, then another app comes to the front.
struct LeaveCase {
    const char *name;
    DWORD sensorWhileHeld;  // a sensor event while Reader is in front
    bool toExempt;          // Calculator, listed; else Notes comes back
    DWORD code;             // the display's code then
    const char *deed;
};

const LeaveCase kLeaveCases[] = {
    // An exempt window gets the code from before the hold, wherever the
    // phone points.
    {"ExemptWindowGetsTheSavedCode", SENSOR_UPRIGHT, true, 2, "gave back code 2"},
    // Any other window turns to where the phone lies now...
    {"OtherWindowTurnsToTheSensor", SENSOR_UPRIGHT, false, 0, "turned to code 0"},
    // ...unless it points nowhere: then the saved code comes back.
    {"OtherWindowFaceDownGetsTheSavedCode", SENSOR_FACE_DOWN, false, 2, "gave back code 2"},
};

class MonitorLeaveHoldTest : public MonitorFrontTest,
                             public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(MonitorLeaveHoldTest, GivesBackOrTurnsToTheSensor)
{
    const LeaveCase &c = GetParam();
    WriteConfig("#timeout(0)\r\n#log(1)\r\n#window(Calculator)\r\n#landscape(Reader)\r\n");
    HWND notes = Open(L"Notes", L"NotesView");
    StartShell();
    LoadMonitor();
    Turn(SENSOR_UPSIDE_DOWN);
    ASSERT_TRUE(WaitDisplay(2));

    size_t lines = Account().size();
    Open(L"Reader", L"ReaderView");
    ASSERT_TRUE(WaitDisplay(1)) << "the hold did not turn the display";
    lines = WaitAccount(lines).empty() ? lines : Account().size();
    Turn(c.sensorWhileHeld);
    std::string line = WaitAccount(lines);
    EXPECT_NE(std::string::npos, line.find("#landscape(Reader)")) << line;
    EXPECT_EQ(1u, Rotation()) << "the held app's landscape did not stay";

    lines = Account().size();
    if (c.toExempt)
        Open(L"Calculator", L"CalcFrame");
    else
        Bring(notes);
    EXPECT_TRUE(WaitDisplay(c.code)) << "the display holds " << Rotation();
    line = WaitAccount(lines);
    EXPECT_NE(std::string::npos, line.find("front change, read ")) << line;
    EXPECT_NE(std::string::npos, line.find(c.deed)) << line;
    Finish();
}

INSTANTIATE_TEST_SUITE_P(Windows, MonitorLeaveHoldTest, ::testing::ValuesIn(kLeaveCases),
                         [](const ::testing::TestParamInfo<LeaveCase> &info) {
                             return std::string(info.param.name);
                         });

// --- A burst of front changes ---------------------------------------------------

#define BURST 50

struct BurstCase {
    const char *name;
    bool endsOnReader;  // Reader, held in landscape; else Notes, held in portrait
    DWORD code;
};

const BurstCase kBurstCases[] = {
    {"EndsOnTheLandscapeHold", true, 1},
    {"EndsOnThePortraitHold", false, 0},
};

class MonitorFrontBurstTest : public MonitorFrontTest,
                              public ::testing::WithParamInterface<BurstCase> {};

// Reader and Notes come to the front by turns, each change told before the
// next comes. The monitor's display keeps the code only: under Wine an app
// that asks for the front while the screen switches may lose it to the
// desktop for a moment, and the monitor would be right to handle that too.
// The screen's own turns are the held apps' tests' to show.
TEST_P(MonitorFrontBurstTest, EndsInTheStateTheLastChangeAsksFor)
{
    const BurstCase &c = GetParam();
    WriteConfig("#timeout(0)\r\n#log(1)\r\n#landscape(Reader)\r\n#portrait(Notes)\r\n");
    SetSensor(SENSOR_UPRIGHT);
    // The app the burst ends on is in front before it: an even burst starts
    // with the other one and ends on it.
    HWND notes = NULL, reader = NULL;
    if (c.endsOnReader)
        notes = Open(L"Notes", L"NotesView");
    reader = Open(L"Reader", L"ReaderView");
    if (!c.endsOnReader)
        notes = Open(L"Notes", L"NotesView");
    HWND last = c.endsOnReader ? reader : notes, other = c.endsOnReader ? notes : reader;
    StartShell();
    SetEnvironmentVariableW(L"PHONE_SCREEN_FIXED", L"1");
    LoadMonitor();
    SetEnvironmentVariableW(L"PHONE_SCREEN_FIXED", NULL);
    int told = Told();
    for (int i = 0; i < BURST; i++)
        Bring(i % 2 ? last : other);
    EXPECT_EQ(told + BURST, Told());
    // Under Wine the front may still pass between the two apps for a moment
    // after the last change, and the publisher tells that too: the burst is
    // over once the last app is in front and nothing more is told for a
    // while.
    int seen = Told();
    DWORD quietSince = GetTickCount();
    EXPECT_TRUE(WaitUntil([&] {
        if (Told() != seen || GetForegroundWindow() != last) {
            seen = Told();
            quietSince = GetTickCount();
        }
        return GetTickCount() - quietSince >= 300;
    })) << "the front did not settle after the burst";
    // A sensor event behind the burst: once it is handled, every change is.
    // It finds the display already in the last change's state. (While an
    // app takes the front from another, Wine has none in front for a
    // moment: a change handled then does nothing, so the changes handled
    // are not counted.)
    Settle(SENSOR_UPRIGHT);
    std::vector<std::string> account = Account();
    ASSERT_GE(account.size(), 2u);
    EXPECT_NE(std::string::npos,
              account.back().find("the display already held code " + std::to_string(c.code)))
        << account.back();
    std::string lastChange;
    for (size_t i = account.size() - 1; i-- > 0 && lastChange.empty();)
        if (account[i].find("front change") != std::string::npos)
            lastChange = account[i];
    EXPECT_NE(std::string::npos, lastChange.find("front change")) << lastChange;
    EXPECT_NE(std::string::npos,
              lastChange.find(c.endsOnReader ? "\"Reader\"" : "\"Notes\""))
        << lastChange;
    EXPECT_EQ(c.code, Rotation());
    std::vector<int> calls = RotationCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ((int)c.code, calls.back());
    Finish();
}

INSTANTIATE_TEST_SUITE_P(Bursts, MonitorFrontBurstTest, ::testing::ValuesIn(kBurstCases),
                         [](const ::testing::TestParamInfo<BurstCase> &info) {
                             return std::string(info.param.name);
                         });

// --- Nothing happens --------------------------------------------------------------

using MonitorQuietTest = MonitorFrontTest;

// The publisher looks at the front every 20 ms at its own cost; the monitor
// waits for its messages and spends nothing in between.
TEST_F(MonitorQuietTest, TakesNoProcessorTimeWhileNothingHappens)
{
    WriteConfig("#timeout(0)\r\n#log(1)\r\n#landscape(Reader)\r\n");
    SetSensor(SENSOR_UPRIGHT);
    HWND notes = Open(L"Notes", L"NotesView");
    StartShell();
    LoadMonitor();
    // A front change and its turn, there and back, before the quiet spell.
    Open(L"Reader", L"ReaderView");
    ASSERT_TRUE(WaitDisplay(1));
    Bring(notes);
    ASSERT_TRUE(WaitDisplay(0));
    Settle(SENSOR_UPRIGHT);

    int told = Told(), events = SensorEvents();
    size_t calls = RotationCalls().size();
    double before = ProcessCpuMs(monitor.dwProcessId);
    ASSERT_GE(before, 0.0);
    DWORD start = GetTickCount();
    // The spell is measured, not waited for: nothing may end it early.
    EXPECT_FALSE(WaitUntil([&] { return Told() > told || SensorEvents() > events; },
                           QUIET_SPELL_MS));
    double spent = ProcessCpuMs(monitor.dwProcessId) - before;
    EXPECT_GE(GetTickCount() - start, (DWORD)QUIET_SPELL_MS);
    EXPECT_LE(spent, QUIET_CPU_BOUND_MS) << "the monitor spent " << spent << " ms in "
                                         << QUIET_SPELL_MS << " ms of quiet";
    EXPECT_EQ(calls, RotationCalls().size());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(monitor.hProcess, 0));
    Finish();
}

// --- An unload in the middle of a burst -----------------------------------------

struct UnloadCase {
    const char *name;
    const char *timeout;  // the configuration's #timeout line
    bool busy;            // a sensor event waits while the burst comes
};

const UnloadCase kUnloadCases[] = {
    // The whole burst waits in the queue behind the event's long wait.
    {"BehindAWaitingEvent", "#timeout(600000)", true},
    // The monitor handles the burst as it comes.
    {"WhileTheBurstIsHandled", "#timeout(0)", false},
};

class MonitorFrontUnloadTest : public MonitorFrontTest,
                               public ::testing::WithParamInterface<UnloadCase> {};

TEST_P(MonitorFrontUnloadTest, UnloadIsHeardAtOnce)
{
    const UnloadCase &c = GetParam();
    WriteConfig(std::string(c.timeout) + "\r\n#landscape(Reader)\r\n");
    SetSensor(SENSOR_UPRIGHT);
    // Notes, not held, is in front when the monitor starts: a held app there
    // would be turned at once.
    HWND reader = Open(L"Reader", L"ReaderView");
    HWND notes = Open(L"Notes", L"NotesView");
    StartShell();
    LoadMonitor();
    if (c.busy)
        Turn(SENSOR_TURNED_90);
    // Half of the burst, each change told; the unload; the other half, each
    // change published while the monitor goes.
    for (int i = 0; i < BURST / 2; i++)
        Bring(i % 2 ? notes : reader);
    size_t callsBefore = RotationCalls().size();
    FILETIME unloaded;
    GetSystemTimeAsFileTime(&unloaded);
    PostMessageW(FindMonitor(), WMU_UNLOAD, 0, 0);
    publishing = false;
    for (int i = BURST / 2; i < BURST; i++) {
        int published = Publications();
        Bring(i % 2 ? notes : reader);
        EXPECT_TRUE(WaitUntil([&] { return Publications() > published; }));
    }
    ASSERT_TRUE(WaitExit(monitor)) << "the monitor did not end";
    EXPECT_EQ(0u, ExitCode(monitor));
    FILETIME created, exited, kernel, user;
    ASSERT_TRUE(GetProcessTimes(monitor.hProcess, &created, &exited, &kernel, &user));
    ULARGE_INTEGER from, to;
    from.LowPart = unloaded.dwLowDateTime;
    from.HighPart = unloaded.dwHighDateTime;
    to.LowPart = exited.dwLowDateTime;
    to.HighPart = exited.dwHighDateTime;
    double endedAfterMs = ((double)to.QuadPart - (double)from.QuadPart) / 10000.0;
    EXPECT_LT(endedAfterMs, 1000.0) << "the monitor ended " << endedAfterMs
                                    << " ms after the unload";
    EXPECT_TRUE(WaitNoMonitor());
    EXPECT_EQ(MONITOR_REGISTRATIONS, CountLog(L"aygshell RegistryCloseNotification handle=set"));
    if (c.busy) {
        // The event's wait was cut short and every change behind it dropped.
        EXPECT_TRUE(RotationCalls().empty());
        EXPECT_EQ(0, CountLog(L"aygshell 299"));
    } else {
        // At most the change being handled when the unload came turned the
        // display; those behind it were dropped.
        EXPECT_LE(RotationCalls().size() - callsBefore, 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Bursts, MonitorFrontUnloadTest, ::testing::ValuesIn(kUnloadCases),
                         [](const ::testing::TestParamInfo<UnloadCase> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
