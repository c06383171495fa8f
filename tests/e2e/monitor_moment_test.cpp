// The phone's moments on the emulated phone: the phone's tool (phonestate)
// publishes a call and the slid-out keyboard as the phone does, the
// stand-in notification tells the monitor, and the real rotation service
// turns the screen. While a moment lasts, sensor events turn nothing; when
// it ends the display follows at once. A held app's own message box keeps
// its hold, and a held app in front when the monitor starts is turned with
// no event.
#include "monitor_front_support.h"
#include <string.h>

namespace {

#define APPWIN_ASK (WM_APP + 2)

class MonitorMomentTest : public MonitorFrontTest {
protected:
    // Runs the phone's tool and waits until the monitor has been told of
    // the value it wrote.
    void PhoneState(const std::wstring &args, DWORD told)
    {
        int before = Posted(told);
        PROCESS_INFORMATION tool = Start(args, L"phonestate.exe");
        ASSERT_TRUE(WaitExit(tool));
        ASSERT_EQ(0u, ExitCode(tool)) << Narrow(args);
        ASSERT_TRUE(WaitLog(L"aygshell notify posted=" + std::to_wstring(told), before + 1))
            << "the monitor was not told of " << Narrow(args);
    }
};

// --- A moment holds the display ----------------------------------------------

struct MomentCase {
    const char *name;
    const wchar_t *begins;  // phonestate's arguments
    DWORD toldBegins;       // the value published
    const wchar_t *ends;
    DWORD toldEnds;
    const char *reason;     // the account's fourth field meanwhile
    const char *point;      // the end's line opens so
};

const MomentCase kMomentCases[] = {
    {"Call", L"call on", CALL_TALKING, L"call off", 0, "a call is in progress",
     "call ended, read 0x00010002 upright"},
    {"Keyboard", L"keyboard out", 1, L"keyboard in", 0, "the keyboard is out",
     "keyboard in, read 0x00010002 upright"},
};

class MonitorMomentHoldTest : public MonitorMomentTest,
                              public ::testing::WithParamInterface<MomentCase> {};

// Notes lies on its side in landscape (the call), or the keyboard comes out
// and the shell turns the screen to landscape; three sensor events then
// turn nothing, and the end of the moment brings the display to where the
// phone points, upright, at once.
TEST_P(MonitorMomentHoldTest, SensorEventsTurnNothingUntilTheMomentEnds)
{
    const MomentCase &c = GetParam();
    WriteConfig("#timeout(0)\r\n#log(1)\r\n");
    Open(L"Notes", L"NotesView");
    LoadMonitor();
    if (c.toldBegins == CALL_TALKING) {
        Turn(SENSOR_TURNED_90);
        ASSERT_TRUE(WaitDisplay(1));
    }
    size_t lines = Account().size();
    PhoneState(c.begins, c.toldBegins);
    ASSERT_TRUE(WaitDisplay(1)) << "the display holds " << Rotation();
    size_t calls = RotationCalls().size();

    const DWORD moves[] = {SENSOR_UPRIGHT, SENSOR_UPSIDE_DOWN, SENSOR_UPRIGHT};
    for (DWORD move : moves) {
        Turn(move);
        std::string line = WaitAccount(lines);
        lines = Account().size();
        EXPECT_NE(std::string::npos, line.find(" | " + std::string(c.reason) + " | left alone"))
            << line;
    }
    EXPECT_EQ(calls, RotationCalls().size()) << "a sensor event turned the display";
    EXPECT_EQ(1u, Rotation());

    PhoneState(c.ends, c.toldEnds);
    EXPECT_TRUE(WaitDisplay(0)) << "the display holds " << Rotation();
    std::string line = WaitAccount(lines);
    EXPECT_EQ(" | " + std::string(c.point), line.substr(8, 3 + strlen(c.point))) << line;
    EXPECT_NE(std::string::npos, line.find("no entry matched, onlyfor 0 | turned to code 0"))
        << line;
    Finish();
    // Each registration, the moments' too, closed once.
    EXPECT_EQ(MONITOR_REGISTRATIONS, CountLog(L"aygshell RegistryNotifyWindow armed"));
    EXPECT_EQ(MONITOR_REGISTRATIONS, CountLog(L"aygshell RegistryCloseNotification handle=set"));
}

INSTANTIATE_TEST_SUITE_P(Moments, MonitorMomentHoldTest, ::testing::ValuesIn(kMomentCases),
                         [](const ::testing::TestParamInfo<MomentCase> &info) {
                             return std::string(info.param.name);
                         });

// --- A held app's own message box -----------------------------------------------

// Reader, held in landscape in the upright phone, asks a question in its own
// message box: the box comes to the front, and the display keeps Reader's
// hold there and at a sensor event, instead of following the phone.
TEST_F(MonitorMomentTest, MessageBoxOfAHeldAppKeepsTheHold)
{
    WriteConfig("#timeout(0)\r\n#log(1)\r\n#landscape(Reader)\r\n");
    SetSensor(SENSOR_UPRIGHT);
    Open(L"Notes", L"NotesView");
    StartShell();
    LoadMonitor();
    size_t lines = Account().size();
    HWND reader = Open(L"Reader", L"BookView");
    ASSERT_TRUE(WaitDisplay(1));
    // Reader's own line comes after its turn.
    WaitAccount(lines);
    lines = Account().size();
    size_t calls = RotationCalls().size();

    int told = Told();
    PostMessageW(reader, APPWIN_ASK, 0, 0);
    HWND box = NULL;
    ASSERT_TRUE(WaitUntil([&] {
        box = GetForegroundWindow();
        return box && box != reader && GetWindow(box, GW_OWNER) == reader;
    })) << "the box did not come to the front";
    WaitTold(told, box);
    std::string line = WaitAccount(lines);
    EXPECT_NE(std::string::npos, line.find("front change, read 0x00010002 upright | \"Bookmark\""))
        << line;
    EXPECT_NE(std::string::npos,
              line.find(" | #landscape(Reader) matched the owner's title | the display already "
                        "held code 1"))
        << line;

    // A sensor event with the box in front keeps the hold too.
    Settle(SENSOR_UPRIGHT);
    line = Account().back();
    EXPECT_NE(std::string::npos, line.find("\"Bookmark\"")) << line;
    EXPECT_NE(std::string::npos, line.find("#landscape(Reader) matched the owner's title"))
        << line;
    EXPECT_EQ(1u, Rotation());
    EXPECT_EQ(calls, RotationCalls().size()) << "the display was turned away from the hold";
    AnswerMessageBox(box, IDOK);
    Finish();
}

// --- A held app at start ------------------------------------------------------------

struct StartCase {
    const char *name;
    const wchar_t *title;  // the app in front when the monitor starts
    int code;              // the code it is turned to, -1 for none
    const char *line;      // the account's line for the start, after the time
};

const StartCase kStartCases[] = {
    {"HeldAppIsTurned", L"Reader", 1,
     " | start, read 0x00010002 upright | \"Reader\" StartView appwin.exe | #landscape(Reader) "
     "matched the title | turned to code 1"},
    {"OtherAppIsLeftAsItIs", L"Notes", -1, nullptr},
};

class MonitorStartTest : public MonitorMomentTest,
                         public ::testing::WithParamInterface<StartCase> {};

// No sensor event and no front change: the monitor looks at the window in
// front once, when it has registered. A sensor event posted behind that
// look shows it has been taken.
TEST_P(MonitorStartTest, WindowInFrontIsTurnedOnlyWhenHeld)
{
    const StartCase &c = GetParam();
    WriteConfig("#timeout(0)\r\n#log(1)\r\n#landscape(Reader)\r\n");
    SetSensor(SENSOR_UPRIGHT);
    Open(c.title, L"StartView");
    LoadMonitor();
    if (c.code >= 0) {
        EXPECT_TRUE(WaitDisplay((DWORD)c.code)) << "the display holds " << Rotation();
        WaitAccount(0);
    }
    Settle(SENSOR_UPRIGHT);
    std::vector<std::string> account = Account();
    EXPECT_EQ(0, Posted(SENSOR_UPRIGHT)) << "a sensor event came";
    std::vector<int> calls = RotationCalls();
    if (c.code < 0) {
        // Only the posted event's own line and turn, asked for code 0.
        ASSERT_EQ(1u, account.size());
        EXPECT_EQ(std::vector<int>{0}, calls);
    } else {
        // The start's turn; the event finds the display as the hold needs it.
        ASSERT_EQ(2u, account.size());
        EXPECT_EQ(std::string(c.line), account[0].substr(8));
        EXPECT_EQ(std::vector<int>{c.code}, calls);
    }
    Finish();
}

INSTANTIATE_TEST_SUITE_P(Windows, MonitorStartTest, ::testing::ValuesIn(kStartCases),
                         [](const ::testing::TestParamInfo<StartCase> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
