// The emulated phone's own parts: the sensor driver tool, the shell's
// publisher of the app in front, the stand-in app, the picture tool, the
// shell library's registry notification and the sensor library stand-in
// with its failing variants.
#include <string>
#include <vector>
#include "aygshell.h"
#include "support/phone.h"
#include "tools/phoneframe.h"

namespace {

#define APPWIN_ACTIVATE (WM_APP + 1)


class Tools : public PhoneTest {
protected:
    // Runs a console tool of the program folder to its end, its output
    // going to a file of the folder.
    ToolRun Run(const std::wstring &exe, const std::wstring &args)
    {
        // Files per run: the console host Wine starts beside a console
        // program may hold the inherited handles a little past its end.
        ++runs;
        return RunToEnd(Path(exe), args, dir, Path(L"tool-" + std::to_wstring(runs) + L".out"),
                        Path(L"tool-" + std::to_wstring(runs) + L".err"));
    }

    // "EventChanged" as the monitor would find it; false when not set.
    bool Sensor(DWORD *value)
    {
        DWORD size = sizeof(*value), type = 0;
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SENSOR_KEY, 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS)
            return false;
        LONG rc = RegQueryValueExW(key, SENSOR_VALUE, NULL, &type, (BYTE *)value, &size);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(*value);
    }

    std::vector<std::wstring> DriverLog()
    {
        std::vector<std::wstring> lines;
        for (const std::wstring &line : CallLog())
            if (line.rfind(L"sensordrv ", 0) == 0)
                lines.push_back(line);
        return lines;
    }

    int runs = 0;
};

struct SetCase {
    const wchar_t *argument;
    DWORD value;
    const char *printed;
};

const SetCase kSetCases[] = {
    {L"65540", 65540, "EventChanged=65540 (0x00010004)\r\n"},
    {L"0x10002", 0x10002, "EventChanged=65538 (0x00010002)\r\n"},
    {L"0XfffFFFFF", 0xFFFFFFFF, "EventChanged=4294967295 (0xFFFFFFFF)\r\n"},
    {L"0", 0, "EventChanged=0 (0x00000000)\r\n"},
    {L"010", 10, "EventChanged=10 (0x0000000A)\r\n"},  // decimal, not octal
};

TEST_F(Tools, SensorDriverSetsThePosition)
{
    EXPECT_EQ(1u, Run(L"sensordrv.exe", L"get").exitCode) << "not set yet";
    for (const SetCase &c : kSetCases) {
        SCOPED_TRACE(Narrow(c.argument));
        ToolRun run = Run(L"sensordrv.exe", std::wstring(L"set ") + c.argument);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_EQ(c.printed, run.output);
        DWORD value = 0;
        EXPECT_TRUE(Sensor(&value));
        EXPECT_EQ(c.value, value);
        EXPECT_EQ(L"sensordrv EventChanged=" + std::to_wstring(c.value), DriverLog().back());

        run = Run(L"sensordrv.exe", L"get");
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_EQ(c.printed, run.output);
    }
}

TEST_F(Tools, SensorDriverRefusesWhatIsNotANumber)
{
    SetSensor(7);
    const wchar_t *const bad[] = {L"set 12x", L"set 0x", L"set 4294967296", L"set -1",
                                  L"set", L"set 1 2", L"play", L"spin 1", L""};
    for (const wchar_t *args : bad) {
        SCOPED_TRACE(Narrow(args));
        ToolRun run = Run(L"sensordrv.exe", args);
        EXPECT_EQ(2u, run.exitCode);
        EXPECT_EQ("", run.output);
        EXPECT_NE("", run.errors) << "says nothing";
        DWORD value = 0;
        EXPECT_TRUE(Sensor(&value));
        EXPECT_EQ(7u, value);
    }
    EXPECT_TRUE(DriverLog().empty());
}

TEST_F(Tools, SensorDriverPlaysATrace)
{
    ASSERT_TRUE(WriteBytes(Path(L"turn.trace"),
                           "; portrait, landscape, back\r\n"
                           "\r\n"
                           "0 1\r\n"
                           "  20\t0x10002  \n"
                           "; a comment between steps\n"
                           "10 65540\n"
                           "0 0x10004"));  // no line end at the end
    ToolRun run = Run(L"sensordrv.exe", L"play turn.trace");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("after 0 ms: EventChanged=1 (0x00000001)\r\n"
              "after 20 ms: EventChanged=65538 (0x00010002)\r\n"
              "after 10 ms: EventChanged=65540 (0x00010004)\r\n"
              "after 0 ms: EventChanged=65540 (0x00010004)\r\n",
              run.output);
    std::vector<std::wstring> expected = {
        L"sensordrv EventChanged=1", L"sensordrv EventChanged=65538",
        L"sensordrv EventChanged=65540", L"sensordrv EventChanged=65540"};
    EXPECT_EQ(expected, DriverLog());
    DWORD value = 0;
    EXPECT_TRUE(Sensor(&value));
    EXPECT_EQ(0x10004u, value);
}

TEST_F(Tools, SensorDriverPlaysNothingOfABadTrace)
{
    SetSensor(7);
    struct BadTrace {
        const char *text;
        const char *error;
    };
    const BadTrace traces[] = {
        {"0 1\n0 2\n5\n", "bad.trace line 3:"},        // a step without its value
        {"0 1\n\nten 2\n", "bad.trace line 3:"},       // not a number
        {"0 1\n0 2 3\n", "bad.trace line 2:"},         // a third field
        {"0 0x100000000\n", "bad.trace line 1:"},       // more than 32 bits
        {"0 1\n-5 2\n", "bad.trace line 2:"},          // no waiting back in time
    };
    for (const BadTrace &trace : traces) {
        SCOPED_TRACE(trace.text);
        ASSERT_TRUE(WriteBytes(Path(L"bad.trace"), trace.text));
        ToolRun run = Run(L"sensordrv.exe", L"play bad.trace");
        EXPECT_EQ(2u, run.exitCode);
        EXPECT_EQ("", run.output);
        EXPECT_NE(std::string::npos, run.errors.find(trace.error)) << run.errors;
        DWORD value = 0;
        EXPECT_TRUE(Sensor(&value));
        EXPECT_EQ(7u, value);
    }
    EXPECT_EQ(2u, Run(L"sensordrv.exe", L"play missing.trace").exitCode);
    EXPECT_TRUE(DriverLog().empty());
}

// --- The shell's publisher of the app in front ---------------------------------

// "Active Application" as the publisher writes it: the previous app's title,
// ESC, the new one's.
std::wstring Front(const std::wstring &previous, const std::wstring &now)
{
    return previous + L"\x1b" + now;
}

// The phone's moments as the phone publishes them: the call is one bit of
// the phone's status, whose other bits stay; the keyboard is 1 or 0, and
// out it turns the screen to landscape through the rotation service, as a
// slider's shell does.
DWORD ReadMoment(HKEY root, const wchar_t *path, const wchar_t *name)
{
    DWORD value = 0xBAD, size = sizeof(value);
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, name, NULL, NULL, (BYTE *)&value, &size);
        RegCloseKey(key);
    }
    return value;
}

TEST_F(Tools, PhoneStateWritesTheCallAndTheKeyboard)
{
    ASSERT_TRUE(SetMoment(HKEY_LOCAL_MACHINE, PHONE_KEY, PHONE_STATUS_VALUE, 0x11));
    const struct {
        const wchar_t *args;
        DWORD status, keyboard, rotation;
        const char *printed;
    } steps[] = {
        {L"call on", 0x20000011, 0, 0, "Status=0x20000011 (call on)\r\n"},
        {L"call on", 0x20000011, 0, 0, "Status=0x20000011 (call on)\r\n"},
        {L"CALL off", 0x11, 0, 0, "Status=0x00000011 (call off)\r\n"},
        {L"keyboard out", 0x11, 1, 1, "HasKeyboard=1 (keyboard out)\r\n"},
        {L"keyboard in", 0x11, 0, 1, "HasKeyboard=0 (keyboard in)\r\n"},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(Narrow(step.args));
        ToolRun run = Run(L"phonestate.exe", step.args);
        EXPECT_EQ(0u, run.exitCode) << run.errors;
        EXPECT_EQ(step.printed, run.output);
        EXPECT_EQ(step.status, ReadMoment(HKEY_LOCAL_MACHINE, PHONE_KEY, PHONE_STATUS_VALUE));
        EXPECT_EQ(step.keyboard, ReadMoment(HKEY_CURRENT_USER, KEYBOARD_KEY, KEYBOARD_VALUE));
        EXPECT_EQ(step.rotation, Rotation());
    }
    EXPECT_TRUE(ScreenIs(640, 480)) << "the keyboard's landscape";
    EXPECT_EQ(1, CountLog(L"aygshell 298 code=1"));
    for (const wchar_t *args : {L"", L"call", L"call maybe", L"keyboard on", L"ring on",
                                L"call on now"}) {
        SCOPED_TRACE(Narrow(args));
        ToolRun run = Run(L"phonestate.exe", args);
        EXPECT_EQ(2u, run.exitCode);
        EXPECT_EQ("", run.output);
        EXPECT_NE("", run.errors) << "says nothing";
    }
    EXPECT_EQ(0x11u, ReadMoment(HKEY_LOCAL_MACHINE, PHONE_KEY, PHONE_STATUS_VALUE));
}


class ShellFront : public Tools {
protected:
    // Starts a stand-in app and waits until it is in front and done with its
    // own start: an app that brings itself to the front after another was
    // asked to come would take the front back.
    HWND OpenApp(const std::wstring &title, const std::wstring &className)
    {
        int before = CountLog(L"appwin foreground ");
        Start(L"\"" + title + L"\" \"" + className + L"\"", L"appwin.exe");
        HWND window = NULL;
        EXPECT_TRUE(WaitUntil([&] {
            window = FindWindowW(className.c_str(), title.c_str());
            return window && CountLog(L"appwin foreground ") > before &&
                   GetForegroundWindow() == window;
        })) << "the app did not come to the front";
        return window;
    }

    void Activate(HWND window)
    {
        PostMessageW(window, APPWIN_ACTIVATE, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == window; }))
            << "the app did not come back to the front";
    }
};

TEST_F(ShellFront, PublishesEachAppThatComesToTheFront)
{
    HWND inbox = OpenApp(L"Inbox", L"MailApp");
    ASSERT_NE(nullptr, inbox);
    StartPublisher();
    EXPECT_EQ(1, CountLog(L"shellfront ready front=\"Inbox\""));

    // Nothing is published at start: the first value tells the first change.
    HWND notes = OpenApp(L"Notes", L"NotesApp");
    ASSERT_NE(nullptr, notes);
    EXPECT_TRUE(WaitUntil([&] { return FrontApp() == Front(L"Inbox", L"Notes"); }))
        << Narrow(FrontApp());

    Activate(inbox);
    EXPECT_TRUE(WaitUntil([&] { return FrontApp() == Front(L"Notes", L"Inbox"); }))
        << Narrow(FrontApp());

    // Long titles are cut, so that the value fits what a notification holds.
    std::wstring longTitle(200, L'r');
    ASSERT_NE(nullptr, OpenApp(longTitle, L"LongApp"));
    EXPECT_TRUE(WaitUntil([&] { return FrontApp() == Front(L"Inbox", longTitle.substr(0, 127)); }))
        << Narrow(FrontApp());
    Activate(notes);
    EXPECT_TRUE(WaitUntil([&] {
        return FrontApp() == Front(longTitle.substr(0, 127), L"Notes");
    })) << Narrow(FrontApp());

    // One write per change, each as it happened.
    std::vector<std::wstring> published;
    for (const std::wstring &line : CallLog())
        if (line.rfind(L"shellfront front ", 0) == 0)
            published.push_back(line);
    std::wstring cut(127, L'r');
    std::vector<std::wstring> expected = {
        L"shellfront front \"Inbox\" -> \"Notes\"",
        L"shellfront front \"Notes\" -> \"Inbox\"",
        L"shellfront front \"Inbox\" -> \"" + cut + L"\"",
        L"shellfront front \"" + cut + L"\" -> \"Notes\"",
    };
    EXPECT_EQ(expected, published);
}

TEST_F(ShellFront, PublishesNoForegroundOfNone)
{
    HWND window = OpenApp(L"Notes", L"NotesApp");
    ASSERT_NE(nullptr, window);
    PROCESS_INFORMATION notes = started.back();
    StartPublisher();
    // The only app ends: nothing is in front.
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitExit(notes));
    ASSERT_TRUE(WaitUntil([] { return GetForegroundWindow() == NULL; }))
        << "a window is still in front";
    // The publisher looks every 20 ms: many looks find nothing to publish.
    EXPECT_FALSE(WaitUntil([&] { return Publications() > 0; }, 500));
    EXPECT_EQ(L"", FrontApp());

    // The next app is told against the last one that was in front.
    ASSERT_NE(nullptr, OpenApp(L"Inbox", L"MailApp"));
    EXPECT_TRUE(WaitUntil([&] { return FrontApp() == Front(L"Notes", L"Inbox"); }))
        << Narrow(FrontApp());
    EXPECT_EQ(1, Publications());
}

TEST_F(ShellFront, RefusesArguments)
{
    for (const wchar_t *args : {L"x", L"run now"}) {
        SCOPED_TRACE(Narrow(args));
        ToolRun run = Run(L"shellfront.exe", args);
        EXPECT_EQ(2u, run.exitCode);
        EXPECT_NE("", run.errors) << "says nothing";
    }
    EXPECT_EQ(0, CountLog(L"shellfront "));
    EXPECT_EQ(L"", FrontApp());
}

DWORD ProcessOf(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

TEST_F(Tools, AppWindowComesToTheForeground)
{
    PROCESS_INFORMATION notes = Start(L"\"Notes - Phone\" PhoneNotesClass", L"appwin.exe");
    HWND first = NULL;
    ASSERT_TRUE(WaitUntil([&] {
        first = FindWindowW(L"PhoneNotesClass", L"Notes - Phone");
        return first && GetForegroundWindow() == first;
    })) << "not in the foreground";
    EXPECT_EQ(notes.dwProcessId, ProcessOf(first));
    EXPECT_EQ(L"Notes - Phone", WindowText(first));
    EXPECT_EQ(L"PhoneNotesClass", ClassOf(first));
    EXPECT_TRUE(IsWindowVisible(first));
    EXPECT_EQ(NULL, GetParent(first));

    // Under another file name it is another program.
    ASSERT_TRUE(CopyFileW(Path(L"appwin.exe").c_str(), Path(L"cprog.exe").c_str(), FALSE));
    PROCESS_INFORMATION other = Start(L"\"Calculator\" CalcClass", L"cprog.exe");
    HWND second = NULL;
    ASSERT_TRUE(WaitUntil([&] {
        second = FindWindowW(L"CalcClass", L"Calculator");
        return second && GetForegroundWindow() == second;
    }));
    EXPECT_EQ(other.dwProcessId, ProcessOf(GetForegroundWindow()));
    EXPECT_TRUE(WaitLog(L"appwin foreground window=", 2));

    // Asked to, the first comes back to the front.
    PostMessageW(first, APPWIN_ACTIVATE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == first; }));

    // Started again, the second comes back to the front, and no other
    // window of it opens.
    PROCESS_INFORMATION again = Start(L"\"Calculator\" CalcClass", L"cprog.exe");
    EXPECT_TRUE(WaitExit(again));
    EXPECT_EQ(0u, ExitCode(again));
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == second; }));
    EXPECT_EQ(1, CountLog(L"title=Calculator class=CalcClass"));

    PostMessageW(first, WM_CLOSE, 0, 0);
    PostMessageW(second, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitExit(notes));
    EXPECT_TRUE(WaitExit(other));
    EXPECT_EQ(0u, ExitCode(notes));
    EXPECT_EQ(0u, ExitCode(other));
    EXPECT_EQ(1, CountLog(L"title=Notes - Phone class=PhoneNotesClass"));
    EXPECT_EQ(1, CountLog(L"title=Calculator class=CalcClass"));
    EXPECT_EQ(2, CountLog(L"appwin closed window=0x"));
}

// The display's rotation service of the program folder's shell library,
// called from this process as the monitor would call it.
LONG TurnDisplay(const std::wstring &folder, DWORD code)
{
    HMODULE shell = LoadLibraryW((folder + L"\\aygshell.dll").c_str());
    if (!shell)
        return -2;
    typedef LONG(WINAPI * SetFn)(DWORD);
    SetFn set = (SetFn)(void *)GetProcAddress(shell, MAKEINTRESOURCEA(298));
    LONG result = set ? set(code) : -2;
    FreeLibrary(shell);
    return result;
}

// The app covers the work area of a width x height screen, all of it under
// the status bar, and shows which way is up: its coloured top bar spans the
// whole width, with the white head of its arrow in the middle.
bool CoversWorkArea(HWND app, int width, int height)
{
    RECT outer, work = {0, 26, width, height};
    return GetWindowRect(app, &outer) && EqualRect(&outer, &work);
}

bool AppLaidOutFor(HWND app, int width, int height)
{
    RECT client;
    if (!CoversWorkArea(app, width, height) || !GetClientRect(app, &client))
        return false;
    POINT origin = {0, 0};
    ClientToScreen(app, &origin);
    int bar = client.bottom / 8;
    HDC screen = GetDC(NULL);
    COLORREF left = GetPixel(screen, origin.x + 2, origin.y + 2);
    COLORREF right = GetPixel(screen, origin.x + client.right - 3, origin.y + 2);
    COLORREF head = GetPixel(screen, origin.x + client.right / 2, origin.y + bar * 2 / 3);
    ReleaseDC(NULL, screen);
    return left == right && left != RGB(255, 255, 255) && head == RGB(255, 255, 255);
}

TEST_F(Tools, AppFillsTheWorkAreaAgainAfterATurn)
{
    Start(L"\"Inbox\" MailApp", L"appwin.exe");
    HWND inbox = NULL;
    ASSERT_TRUE(WaitUntil([&] {
        inbox = FindWindowW(L"MailApp", L"Inbox");
        return inbox && AppLaidOutFor(inbox, 480, 640);
    })) << "the app does not cover the portrait work area";

    ASSERT_EQ(0, TurnDisplay(dir, 1));
    EXPECT_TRUE(ScreenIs(640, 480));
    EXPECT_TRUE(WaitUntil([&] { return AppLaidOutFor(inbox, 640, 480); }))
        << "the app does not follow the turn";
    EXPECT_TRUE(WaitLog(L"appwin fitted window="));

    // An app started in landscape sizes itself to the screen as it is then.
    Start(L"\"Notes\" NotesApp", L"appwin.exe");
    HWND notes = NULL;
    EXPECT_TRUE(WaitUntil([&] {
        notes = FindWindowW(L"NotesApp", L"Notes");
        return notes && AppLaidOutFor(notes, 640, 480);
    })) << "an app started after the turn does not cover the landscape work area";

    ASSERT_EQ(0, TurnDisplay(dir, 0));
    EXPECT_TRUE(ScreenIs(480, 640));
    EXPECT_TRUE(WaitUntil([&] {
        return AppLaidOutFor(notes, 480, 640) && CoversWorkArea(inbox, 480, 640);
    })) << "the apps do not follow the turn back";
}

TEST_F(Tools, RotationServiceAnswersTheKeptCodeAndRefusesUnknownOnes)
{
    // A code the display does not know changes nothing, and says so.
    EXPECT_EQ(-1, TurnDisplay(dir, 4));
    EXPECT_EQ(0u, Rotation());
    EXPECT_TRUE(ScreenIs(480, 640));
    EXPECT_EQ(1, CountLog(L"aygshell 298 code=4 unknown"));

    // Upside down keeps the portrait screen; the code is what is asked back.
    EXPECT_EQ(0, TurnDisplay(dir, 2));
    EXPECT_TRUE(ScreenIs(480, 640));
    EXPECT_EQ(1, CountLog(L"aygshell 298 code=2 screen=480x640"));

    // The query answers the kept code, not the screen.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, DISPLAY_KEY, 0, NULL, 0,
                                             KEY_SET_VALUE, NULL, &key, NULL));
    DWORD code = 3;
    RegSetValueExW(key, L"Rotation", 0, REG_DWORD, (const BYTE *)&code, sizeof(code));
    RegCloseKey(key);
    HMODULE shell = LoadLibraryW(Path(L"aygshell.dll").c_str());
    ASSERT_NE(nullptr, shell);
    typedef LONG(WINAPI * QueryFn)(DWORD *);
    QueryFn query = (QueryFn)(void *)GetProcAddress(shell, MAKEINTRESOURCEA(299));
    ASSERT_NE(nullptr, query);
    DWORD answer = 0;
    EXPECT_EQ(0, query(&answer));
    FreeLibrary(shell);
    EXPECT_EQ(3u, answer);
    EXPECT_TRUE(ScreenIs(480, 640));
}

// Width and height from a PNG file's header, after checking its signature
// and that the header chunk comes first; false when it is no PNG.
bool PngSize(const std::string &bytes, unsigned *width, unsigned *height)
{
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n", 8) != 0 ||
        bytes.compare(12, 4, "IHDR") != 0)
        return false;
    const unsigned char *b = (const unsigned char *)bytes.data();
    *width = (unsigned)b[16] << 24 | (unsigned)b[17] << 16 | (unsigned)b[18] << 8 | b[19];
    *height = (unsigned)b[20] << 24 | (unsigned)b[21] << 16 | (unsigned)b[22] << 8 | b[23];
    return true;
}

TEST_F(Tools, PhonePicturesArePngFiles)
{
    Start(L"\"Inbox\" MailApp", L"appwin.exe");
    ASSERT_TRUE(WaitUntil([] {
        HWND app = FindWindowW(L"MailApp", L"Inbox");
        return app && GetForegroundWindow() == app;
    }));
    SetSensor(0x10000);

    // A frame of the phone as it is now, twice, then both on a sheet.
    ToolRun run = Run(L"phonepic.exe", L"frame first.png --step 1 --did \"Vorn turned it\"");
    EXPECT_EQ(0u, run.exitCode) << run.errors;
    SetSensor(0x10004);
    run = Run(L"phonepic.exe", L"frame second.png --step 2 --screen-off");
    EXPECT_EQ(0u, run.exitCode) << run.errors;
    for (const wchar_t *name : {L"first.png", L"second.png"}) {
        SCOPED_TRACE(Narrow(name));
        unsigned width = 0, height = 0;
        ASSERT_TRUE(PngSize(ReadBytes(Path(name)), &width, &height));
        EXPECT_EQ((unsigned)PHONE_FRAME_WIDTH, width);
        EXPECT_EQ((unsigned)PHONE_FRAME_HEIGHT, height);
    }
    run = Run(L"phonepic.exe", L"sheet story.png \"The story\" first.png second.png");
    EXPECT_EQ(0u, run.exitCode) << run.errors;
    int sheetWidth = 0, sheetHeight = 0;
    SheetSize(2, &sheetWidth, &sheetHeight);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(PngSize(ReadBytes(Path(L"story.png")), &width, &height));
    EXPECT_EQ((unsigned)sheetWidth, width);
    EXPECT_EQ((unsigned)sheetHeight, height);

    // A frame that is not there spoils the sheet; a wrong word is a usage error.
    EXPECT_EQ(1u, Run(L"phonepic.exe", L"sheet none.png Title first.png missing.png").exitCode);
    EXPECT_FALSE(FileExists(Path(L"none.png")));
    const wchar_t *const usage[] = {L"", L"frame", L"frame x.png --step", L"frame x.png --step 1x",
                                    L"frame x.png --turn", L"sheet x.png Title", L"draw x.png"};
    for (const wchar_t *args : usage) {
        SCOPED_TRACE(Narrow(args));
        run = Run(L"phonepic.exe", args);
        EXPECT_EQ(2u, run.exitCode);
        EXPECT_NE("", run.errors) << "says nothing";
    }
    EXPECT_FALSE(FileExists(Path(L"x.png")));
}

TEST_F(Tools, MenuCommandReachesTheEditor)
{
    ASSERT_TRUE(WriteBytes(ConfigPath(), "#log(0)\r\n"));
    PROCESS_INFORMATION editor = Start(L"#CONFIG");
    // Show log (40010), chosen as soon as the editor is up.
    ToolRun run = Run(L"menucmd.exe", L"QZSGCFGEDIT 40010");
    EXPECT_EQ(0u, run.exitCode) << run.errors;
    HWND window = FindProcessWindow(editor.dwProcessId, L"QZSGCFGEDIT", true);
    ASSERT_NE(nullptr, window);
    HWND view = GetDlgItem(window, 8);  // the account's view
    ASSERT_NE(nullptr, view);
    EXPECT_TRUE(IsWindowVisible(view));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, 7)));

    const wchar_t *const usage[] = {L"", L"QZSGCFGEDIT", L"QZSGCFGEDIT 4x", L"QZSGCFGEDIT 70000",
                                    L"QZSGCFGEDIT 1 2"};
    for (const wchar_t *args : usage) {
        SCOPED_TRACE(Narrow(args));
        run = Run(L"menucmd.exe", args);
        EXPECT_EQ(2u, run.exitCode);
        EXPECT_NE("", run.errors) << "says nothing";
    }
    EXPECT_TRUE(IsWindowVisible(view)) << "a usage error chose a command";
}

// --- The shell library's registry notification ---------------------------------

#define NOTIFY_KEY L"Software\\EmulatedPhone\\NotifyTest"
#define NOTIFY_MESSAGE (WM_APP + 40)
#define NOTIFY_USER 77

// Messages of the notification, as the window got them: the test's waits
// pump this thread's messages.
std::vector<MSG> g_told;

LRESULT CALLBACK RecordNotification(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == NOTIFY_MESSAGE) {
        MSG msg = {window, message, wParam, lParam, 0, {0, 0}};
        g_told.push_back(msg);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// RegistryNotifyWindow of the program folder's shell library, watching one
// value of a key of this test, with messages to a window of this thread.
class ShellNotification : public PhoneTest {
protected:
    void SetUp() override
    {
        PhoneTest::SetUp();
        RegDeleteKeyW(HKEY_CURRENT_USER, NOTIFY_KEY);
        module = LoadLibraryW(Path(L"aygshell.dll").c_str());
        ASSERT_NE(nullptr, module);
        notify = (PFN_RegistryNotifyWindow)(void *)GetProcAddress(module,
                                                                  "RegistryNotifyWindow");
        close = (PFN_RegistryCloseNotification)(void *)GetProcAddress(
            module, "RegistryCloseNotification");
        ASSERT_NE(nullptr, notify);
        ASSERT_NE(nullptr, close);
        window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL,
                                 NULL);
        ASSERT_NE(nullptr, window);
        SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)RecordNotification);
        g_told.clear();
    }

    void TearDown() override
    {
        if (handle)
            close(handle);
        if (window)
            DestroyWindow(window);
        if (module)
            FreeLibrary(module);
        RegDeleteKeyW(HKEY_CURRENT_USER, NOTIFY_KEY);
        PhoneTest::TearDown();
    }

    void Register()
    {
        ASSERT_EQ(S_OK, notify(HKEY_CURRENT_USER, NOTIFY_KEY, L"Watched", window, NOTIFY_MESSAGE,
                               NOTIFY_USER, NULL, &handle));
    }

    static void Write(const std::function<void(HKEY)> &change)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, NOTIFY_KEY, 0, NULL, 0,
                                                 KEY_SET_VALUE, NULL, &key, NULL));
        change(key);
        RegCloseKey(key);
    }

    // Lines of the watcher, one for each change of the key it has seen.
    std::vector<std::wstring> WatcherLines() const
    {
        std::vector<std::wstring> lines;
        for (const std::wstring &line : CallLog())
            if (line.rfind(L"aygshell notify ", 0) == 0)
                lines.push_back(line);
        return lines;
    }

    // Changes the key and waits until the watcher has looked at it; its
    // line then. The message, if any, was posted before the line.
    std::wstring Change(const std::function<void(HKEY)> &change)
    {
        size_t before = WatcherLines().size();
        Write(change);
        std::vector<std::wstring> lines;
        EXPECT_TRUE(WaitUntil([&] { return (lines = WatcherLines()).size() > before; }, 5000))
            << "the watcher saw no change";
        EXPECT_EQ(before + 1, lines.size());
        return lines.size() > before ? lines[before] : L"";
    }

    // Messages of the notification waiting for this thread.
    std::vector<MSG> Told()
    {
        MSG msg;
        while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        std::vector<MSG> told;
        told.swap(g_told);
        return told;
    }

    HMODULE module = NULL;
    PFN_RegistryNotifyWindow notify = NULL;
    PFN_RegistryCloseNotification close = NULL;
    HWND window = NULL;
    HREGNOTIFY handle = NULL;
};

void WriteText(HKEY key, const std::wstring &text)
{
    RegSetValueExW(key, L"Watched", 0, REG_SZ, (const BYTE *)text.c_str(),
                   (DWORD)(text.size() + 1) * sizeof(WCHAR));
}

// Another value of the watched key, a new text each time.
void WriteOther(HKEY key)
{
    static int n = 0;
    std::wstring text = std::to_wstring(++n);
    RegSetValueExW(key, L"Other", 0, REG_SZ, (const BYTE *)text.c_str(),
                   (DWORD)(text.size() + 1) * sizeof(WCHAR));
}

struct NotifyStep {
    const char *what;
    // Each action changes the key once, so that the watcher looks once. The
    // registry tells no write of the same bytes: the same value again comes
    // with a write of another value of the key.
    enum { kText, kTextAgain, kDword, kDwordAgain, kDelete, kOtherValue } action;
    std::wstring text;
    DWORD value;
    const wchar_t *line;  // the watcher's line; "posted" ones post the message
};

TEST_F(ShellNotification, TellsEachChangeOfAStringOrDwordOnce)
{
    const std::wstring two = L"Inbox\x1bNotes", back = L"Notes\x1bInbox";
    const std::wstring longest(256, L'a'), tooLong(257, L'a');
    const NotifyStep steps[] = {
        {"a first string", NotifyStep::kText, two, 0,
         L"aygshell notify posted text=\"Inbox\\x1bNotes\""},
        {"the same text again", NotifyStep::kTextAgain, two, 0, L"aygshell notify unchanged"},
        {"another value of the key", NotifyStep::kOtherValue, L"", 0,
         L"aygshell notify unchanged"},
        {"a changed string", NotifyStep::kText, back, 0,
         L"aygshell notify posted text=\"Notes\\x1bInbox\""},
        {"the value deleted", NotifyStep::kDelete, L"", 0, L"aygshell notify unreadable"},
        {"the same text after the deletion", NotifyStep::kText, back, 0,
         L"aygshell notify posted text=\"Notes\\x1bInbox\""},
        {"the longest string held", NotifyStep::kText, longest, 0, nullptr},
        {"the longest string again", NotifyStep::kTextAgain, longest, 0,
         L"aygshell notify unchanged"},
        {"a string too long to hold", NotifyStep::kText, tooLong, 0,
         L"aygshell notify unreadable"},
        {"the longest string after it", NotifyStep::kText, longest, 0, nullptr},
        {"an empty string", NotifyStep::kText, L"", 0, L"aygshell notify posted text=\"\""},
        {"a DWORD in its place", NotifyStep::kDword, L"", 0x10000,
         L"aygshell notify posted=65536"},
        {"the same DWORD again", NotifyStep::kDwordAgain, L"", 0x10000,
         L"aygshell notify unchanged"},
        {"its digits as a string", NotifyStep::kText, L"65536", 0,
         L"aygshell notify posted text=\"65536\""},
        {"the DWORD deleted", NotifyStep::kDelete, L"", 0, L"aygshell notify unreadable"},
        {"the same DWORD after the deletion", NotifyStep::kDword, L"", 0x10000,
         L"aygshell notify posted=65536"},
    };
    Register();
    for (const NotifyStep &step : steps) {
        SCOPED_TRACE(step.what);
        std::wstring line = Change([&](HKEY key) {
            switch (step.action) {
            case NotifyStep::kText:
                WriteText(key, step.text);
                break;
            case NotifyStep::kTextAgain:
                WriteText(key, step.text);
                WriteOther(key);
                break;
            case NotifyStep::kDword:
            case NotifyStep::kDwordAgain:
                RegSetValueExW(key, L"Watched", 0, REG_DWORD, (const BYTE *)&step.value,
                               sizeof(step.value));
                if (step.action == NotifyStep::kDwordAgain)
                    WriteOther(key);
                break;
            case NotifyStep::kDelete:
                RegDeleteValueW(key, L"Watched");
                break;
            case NotifyStep::kOtherValue:
                WriteOther(key);
                break;
            }
        });
        std::wstring expected = step.line ? step.line
                                          : L"aygshell notify posted text=\"" + step.text + L"\"";
        EXPECT_EQ(expected, line);
        std::vector<MSG> told = Told();
        if (expected.find(L"posted") == std::wstring::npos) {
            EXPECT_TRUE(told.empty()) << "told";
            continue;
        }
        ASSERT_EQ(1u, told.size());
        // A DWORD comes in the first parameter; a string is read by the
        // receiver.
        EXPECT_EQ(step.action == NotifyStep::kDword ? step.value : 0u, (DWORD)told[0].wParam);
        EXPECT_EQ((LPARAM)NOTIFY_USER, told[0].lParam);
    }
}

TEST_F(ShellNotification, ValueHeldAtRegistrationIsNotToldAgain)
{
    Write([](HKEY key) { WriteText(key, L"Inbox\x1bNotes"); });
    Register();
    EXPECT_EQ(L"aygshell notify unchanged", Change([](HKEY key) {
                  WriteText(key, L"Inbox\x1bNotes");
                  WriteOther(key);
              }));
    EXPECT_TRUE(Told().empty());
    EXPECT_EQ(L"aygshell notify posted text=\"Notes\\x1bInbox\"",
              Change([](HKEY key) { WriteText(key, L"Notes\x1bInbox"); }));
    EXPECT_EQ(1u, Told().size());
}

typedef HANDLE(WINAPI *OpenFn)(DWORD);
typedef DWORD(WINAPI *CloseFn)(HANDLE);

std::wstring Hex(ULONG_PTR value)
{
    WCHAR text[32];
    _snwprintf(text, 32, L"0x%llx", (unsigned long long)value);
    return text;
}

class SensorLibrary : public PhoneTest {
protected:
    void TearDown() override
    {
        if (module)
            FreeLibrary(module);
        PhoneTest::TearDown();
    }
    HMODULE Load(const std::wstring &path)
    {
        module = LoadLibraryW(path.c_str());
        return module;
    }
    std::wstring Variant(const wchar_t *name)
    {
        return BuildDir() + L"\\variants\\" + name + L"\\HTCSensorSDK.dll";
    }
    HMODULE module = NULL;
};

TEST_F(SensorLibrary, OpensAndClosesTheSensor)
{
    ASSERT_NE(nullptr, Load(Path(L"HTCSensorSDK.dll")));
    OpenFn open = (OpenFn)(void *)GetProcAddress(module, "HTCSensorOpen");
    CloseFn close = (CloseFn)(void *)GetProcAddress(module, "HTCSensorClose");
    ASSERT_NE(nullptr, open);
    ASSERT_NE(nullptr, close);

    HANDLE first = open(1);
    HANDLE second = open(1);
    EXPECT_NE(nullptr, first);
    EXPECT_NE(nullptr, second);
    EXPECT_NE(first, second);
    EXPECT_LE((ULONG_PTR)first, 0xFFFFFFFFu) << "the phone keeps a 32-bit handle";
    EXPECT_EQ(1u, close(first));
    EXPECT_EQ(0u, close(first)) << "closed twice";
    EXPECT_EQ(0u, close((HANDLE)(ULONG_PTR)0x1234));
    EXPECT_EQ(0u, close(NULL));
    EXPECT_EQ(1u, close(second));

    std::vector<std::wstring> expected = {
        L"htcsensor HTCSensorOpen sensor=1 handle=" + Hex((ULONG_PTR)first),
        L"htcsensor HTCSensorOpen sensor=1 handle=" + Hex((ULONG_PTR)second),
        L"htcsensor HTCSensorClose handle=" + Hex((ULONG_PTR)first) + L" result=1",
        L"htcsensor HTCSensorClose handle=" + Hex((ULONG_PTR)first) + L" result=0",
        L"htcsensor HTCSensorClose handle=0x1234 result=0",
        L"htcsensor HTCSensorClose handle=0x0 result=0",
        L"htcsensor HTCSensorClose handle=" + Hex((ULONG_PTR)second) + L" result=1",
    };
    EXPECT_EQ(expected, CallLog());
}

TEST_F(SensorLibrary, VariantThatCannotOpen)
{
    ASSERT_NE(nullptr, Load(Variant(L"noopen")));
    OpenFn open = (OpenFn)(void *)GetProcAddress(module, "HTCSensorOpen");
    ASSERT_NE(nullptr, open);
    EXPECT_NE(nullptr, GetProcAddress(module, "HTCSensorClose"));
    EXPECT_EQ(nullptr, open(1));
    std::vector<std::wstring> expected = {L"htcsensor HTCSensorOpen sensor=1 handle=0x0"};
    EXPECT_EQ(expected, CallLog());
}

TEST_F(SensorLibrary, VariantWithoutClose)
{
    ASSERT_NE(nullptr, Load(Variant(L"noclose")));
    EXPECT_NE(nullptr, GetProcAddress(module, "HTCSensorOpen"));
    EXPECT_EQ(nullptr, GetProcAddress(module, "HTCSensorClose"));
}

TEST_F(SensorLibrary, VariantsStayOutOfTheProgramFolder)
{
    // Only the working library is copied beside the program.
    EXPECT_TRUE(FileExists(Path(L"HTCSensorSDK.dll")));
    EXPECT_FALSE(FileExists(Path(L"variants")));
    EXPECT_TRUE(FileExists(Variant(L"noopen")));
    EXPECT_TRUE(FileExists(Variant(L"noclose")));
}

}  // namespace
