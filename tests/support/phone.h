// The emulated phone for end-to-end tests: each test gets a program folder
// of its own holding vorn.exe, the stand-in libraries and the tools, a call
// log of the stand-ins, and a reset sensor and display.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#define SENSOR_KEY L"Software\\HTC\\HTCSensor\\GSensor"
#define SENSOR_VALUE L"EventChanged"
#define DISPLAY_KEY L"Software\\EmulatedPhone\\Display"
// Where the phone's shell publishes the app in front (HKEY_CURRENT_USER).
#define SHELL_KEY L"System\\State\\Shell"
#define FRONT_VALUE L"Active Application"
// The phone's moments: its status (HKEY_LOCAL_MACHINE; a call in progress
// sets CALL_TALKING) and its shell's keyboard (HKEY_CURRENT_USER).
#define PHONE_KEY L"System\\State\\Phone"
#define PHONE_STATUS_VALUE L"Status"
#define CALL_TALKING 0x20000000
#define KEYBOARD_KEY L"Software\\Microsoft\\Shell"
#define KEYBOARD_VALUE L"HasKeyboard"
// The monitor's registrations: the sensor, the app in front, the call and
// the keyboard.
#define MONITOR_REGISTRATIONS 4

// Writes one of the moments' DWORD values, as the phone publishes it.
bool SetMoment(HKEY root, const wchar_t *path, const wchar_t *name, DWORD value);

// Waits until done() holds or ms have passed, pumping this thread's
// messages meanwhile. Returns the last answer of done().
bool WaitUntil(const std::function<bool()> &done, DWORD ms = 10000);

// Folder of the build's program files (build\bin) and of the variants.
std::wstring BinDir();
std::wstring BuildDir();

std::string ReadBytes(const std::wstring &path);  // "" when missing

// A console program run to its end (30 s at most), started in folder with
// the command line "exe" args. Its standard output goes to the file
// outPath and its standard error to errPath, or to outPath too when errPath
// is empty; both are read back when it has ended.
struct ToolRun {
    DWORD exitCode;      // 0xFFFFFFFF when it did not start
    std::string output;  // what it printed on stdout (and stderr, when merged)
    std::string errors;  // what it printed on stderr
};
ToolRun RunToEnd(const std::wstring &exe, const std::wstring &args, const std::wstring &folder,
                 const std::wstring &outPath, const std::wstring &errPath);
bool WriteBytes(const std::wstring &path, const std::string &bytes);
bool FileExists(const std::wstring &path);
std::string Narrow(const std::wstring &text);

// Names of parameterized cases, so that a test names its row: the letters
// and digits of text, each run of other characters as one underscore.
std::string CaseName(const std::string &text);
// A verb case: its command line and whether an instance runs, as in
// "load_with_instance"; null and empty command lines are named as such.
std::string VerbCaseName(const wchar_t *commandLine, bool instance);

// Times text occurs in bytes.
int CountOccurrences(const std::string &bytes, const std::string &text);

// The screen's size as every process sees it; back to the phone's portrait
// screen, 480x640 (false when the display refuses).
bool ScreenIs(int width, int height);
bool ResetScreen();

// A window of the monitor's class in the test process: it stands for a
// running monitor. proc handles its messages (the class may already have
// been registered by another test with a procedure of its own).
HWND CreateFakeMonitor(WNDPROC proc);

// Text of a window of another process.
std::wstring WindowText(HWND window);
std::wstring ClassOf(HWND window);

// First top-level window of that class owned by the process, or NULL.
HWND FindProcessWindow(DWORD processId, const wchar_t *className, bool visibleOnly);

// Blocks in use on the general heap (the C library's malloc heap), or -1
// when it cannot be walked: leak checks compare counts around a call.
int HeapBlocksInUse();

// Message boxes of another process.
struct MessageBoxInfo {
    HWND box;
    std::wstring caption;
    std::wstring text;
    bool topmost;
    bool hasYes, hasNo, hasOk;
};
HWND FindMessageBox(DWORD processId);  // first visible "#32770" of that process
MessageBoxInfo ReadMessageBox(HWND box);
void AnswerMessageBox(HWND box, int id);  // IDYES, IDNO, IDOK

// A monitor window of another process (the test's own stand-in windows are
// left out), or NULL.
HWND FindMonitor();

class PhoneTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::wstring dir;      // the phone's program folder, ends without backslash
    std::wstring logPath;  // stand-ins' call log

    std::wstring Path(const std::wstring &name) const { return dir + L"\\" + name; }
    std::wstring ConfigPath() const { return Path(L"vorn.txt"); }

    // Starts exe from the program folder with the given arguments.
    PROCESS_INFORMATION Start(const std::wstring &args, const std::wstring &exe = L"vorn.exe");
    bool WaitExit(const PROCESS_INFORMATION &process, DWORD ms = 10000);
    DWORD ExitCode(const PROCESS_INFORMATION &process);

    // A box of the process: waits for it, reads it.
    MessageBoxInfo WaitMessageBox(const PROCESS_INFORMATION &process, DWORD ms = 10000);

    // A monitor window of another process, waiting for it to appear or vanish.
    HWND WaitMonitor(DWORD ms = 10000);
    bool WaitNoMonitor(DWORD ms = 10000);
    // Starts "vorn.exe #load" and waits until it is registered for sensor
    // events, front changes and the phone's moments (each of the stand-in's
    // notifications is armed).
    PROCESS_INFORMATION StartMonitor();

    // Stand-in call log lines; waiting for a line that holds text.
    std::vector<std::wstring> CallLog() const;
    int CountLog(const std::wstring &text) const;
    bool WaitLog(const std::wstring &text, int count = 1, DWORD ms = 10000);

    // Starts another program's window (appwin.exe, copied as exe) and waits
    // until it is the foreground window.
    HWND OpenApp(const std::wstring &title, const std::wstring &className,
                 const std::wstring &exe = L"appwin.exe");

    // The shell's publisher of the app in front (shellfront.exe): started,
    // it has taken its first look at the foreground once this returns. Only
    // tests of front changes start it: with it, every app switch is one.
    PROCESS_INFORMATION StartPublisher();
    // "Active Application" as published: the previous app's title, ESC and
    // the new one's; "" while none is published.
    std::wstring FrontApp() const;
    int Publications() const;  // front changes the publisher has written so far

    // Sensor and display state of the emulated phone.
    void SetSensor(DWORD value);
    void ClearSensor();
    DWORD Rotation() const;  // rotation code kept by the display stand-in

    std::vector<PROCESS_INFORMATION> started;
};
