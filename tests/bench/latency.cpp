// How quickly the monitor follows the sensor, and what it costs while the
// phone lies still, on a phone as busy as a real one: 20 stand-in apps run
// for the whole benchmark (started here and ended again). From one run on
// one machine:
//
//   1. the platform's registry change notification alone: a value written,
//      a waiting thread woken (RegNotifyChangeKeyValue);
//   2. the shell library's notification as the monitor gets it: a value
//      written, the message posted by RegistryNotifyWindow received;
//   3. the monitor at "#timeout(0)": "EventChanged" written, the display's
//      rotation set (seen through a change notification on the display
//      state, the same kind of wake-up as in 1), with
//        a. an empty window list,
//        b. a list that names the foreground app by its title,
//        c. a list that names it only by its program file, so that every
//           event looks up the program of the app's process;
//   4. the monitor at a front change: "Active Application" written by the
//      bench itself (no publisher runs here) once another app is in front,
//      the display's rotation set; the apps in front are, by turns, one held
//      in landscape and one that is not (turned back to where the phone
//      lies, upright), with a hold that names the held app
//        a. by its title,
//        b. only by its program file;
//
// each of 1, 3 and 4 also as a multiple of 2. The figures are taken in
// rounds, every row by turns in each round, and every timed write comes
// after the same short pause (see kRestMs and the rounds in wmain). Then
// the monitor's processor time over a quiet spell (the times of its
// threads: this Wine answers GetProcessTimes for another process with the
// caller's own times).
//
//   vorn_bench.exe [events] [idle-seconds]      defaults: 100 and 30
//
// It runs its own copy of the program folder (build\benchrun) and needs
// that no monitor is running.
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <string>
#include <vector>
#include "aygshell.h"
#include "support/cputime.h"

namespace {

const wchar_t kSensorKey[] = L"Software\\HTC\\HTCSensor\\GSensor";
const wchar_t kSensorValue[] = L"EventChanged";
const wchar_t kDisplayKey[] = L"Software\\EmulatedPhone\\Display";
const wchar_t kBenchKey[] = L"Software\\EmulatedPhone\\Bench";
// The bare notification's own key: it wakes for any value of its key, and
// the shell library's figure writes into kBenchKey between its rounds.
const wchar_t kWakeKey[] = L"Software\\EmulatedPhone\\BenchWake";
// Where the phone's shell publishes the app in front (HKEY_CURRENT_USER).
const wchar_t kShellKey[] = L"System\\State\\Shell";
const wchar_t kFrontValue[] = L"Active Application";
const UINT kBenchMessage = WM_APP + 7;
const UINT kAppActivate = WM_APP + 1;  // brings a stand-in app to the foreground
const int kApps = 20;
const int kRounds = 10;

// The app in the foreground while the monitor is measured, and how the
// window lists name it.
const wchar_t kFrontExe[] = L"benchfront.exe";
const wchar_t kFrontTitle[] = L"Bench Front";
const wchar_t kFrontClass[] = L"BenchFrontView";

LARGE_INTEGER g_frequency;

double Ms(LONGLONG ticks) { return ticks * 1000.0 / g_frequency.QuadPart; }

LONGLONG Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

// Every timed write comes after the same pause. A front change can only be
// timed after another app has come to the front, which takes Wine a few
// polls; a machine that has just idled wakes a process more slowly (here
// the notification's round trip goes from about 0.15 to 0.29 ms, the
// sensor event from about 0.5 to 0.8 ms), so writes back to back would
// compare a warm path with a cold one. A phone in the hand also meets each
// event after a pause.
const DWORD kRestMs = 10;

void Rest() { Sleep(kRestMs); }

std::wstring Folder(const std::wstring &path) { return path.substr(0, path.find_last_of(L'\\')); }

bool WriteDword(const wchar_t *keyPath, const wchar_t *name, DWORD value)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

DWORD ReadDword(const wchar_t *keyPath, const wchar_t *name)
{
    DWORD value = 0, size = sizeof(value);
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, name, NULL, NULL, (BYTE *)&value, &size);
        RegCloseKey(key);
    }
    return value;
}

void DeleteValue(const wchar_t *keyPath, const wchar_t *name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}

HKEY OpenForNotify(const wchar_t *keyPath)
{
    HKEY key = NULL;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, NULL, 0, KEY_NOTIFY | KEY_QUERY_VALUE,
                    NULL, &key, NULL);
    return key;
}

bool Arm(HKEY key, HANDLE event)
{
    return RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE) ==
           ERROR_SUCCESS;
}

struct Figures {
    std::vector<double> ms;
    int lost = 0;
};

double Median(Figures f)
{
    if (f.ms.empty())
        return 0;
    std::sort(f.ms.begin(), f.ms.end());
    return f.ms[f.ms.size() / 2];
}

// Prints one row, with its median as a multiple of the reference median.
void Report(const char *what, Figures f, double reference)
{
    if (f.ms.empty()) {
        printf("%-44s no samples (%d lost)\n", what, f.lost);
        return;
    }
    std::sort(f.ms.begin(), f.ms.end());
    double sum = 0;
    for (double v : f.ms)
        sum += v;
    size_t n = f.ms.size();
    double median = f.ms[n / 2];
    printf("%-44s n=%-4zu median %7.3f  p90 %7.3f  max %7.3f  mean %7.3f ms", what, n, median,
           f.ms[std::min(n - 1, n * 9 / 10)], f.ms.back(), sum / n);
    if (reference > 0)
        printf("  = %5.1fx notification", median / reference);
    if (f.lost)
        printf("  (%d lost)", f.lost);
    printf("\n");
}

// 1. Registry change notification: write, waiting thread woken.
struct WakeRun {
    HKEY key;
    HANDLE changed, armed, woke, done, thread;
    LONGLONG wokeAt;
    DWORD next;
};

DWORD WINAPI WakeThread(void *param)
{
    WakeRun *run = (WakeRun *)param;
    for (;;) {
        if (!Arm(run->key, run->changed))
            return 1;
        SetEvent(run->armed);
        HANDLE both[2] = {run->done, run->changed};
        if (WaitForMultipleObjects(2, both, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return 0;
        run->wokeAt = Now();
        SetEvent(run->woke);
    }
}

// Started once; each round then times a batch of writes.
bool StartWake(WakeRun *run)
{
    run->key = OpenForNotify(kWakeKey);
    run->changed = CreateEventW(NULL, FALSE, FALSE, NULL);
    run->armed = CreateEventW(NULL, FALSE, FALSE, NULL);
    run->woke = CreateEventW(NULL, FALSE, FALSE, NULL);
    run->done = CreateEventW(NULL, TRUE, FALSE, NULL);
    run->next = 0;
    run->thread = CreateThread(NULL, 0, WakeThread, run, 0, NULL);
    return run->key && run->thread;
}

void WakeBatch(WakeRun *run, int events, Figures *f)
{
    for (int i = 0; i < events; i++) {
        if (WaitForSingleObject(run->armed, 5000) != WAIT_OBJECT_0) {
            f->lost += events - i;
            return;
        }
        Rest();
        LONGLONG start = Now();
        WriteDword(kWakeKey, L"Value", run->next++);
        if (WaitForSingleObject(run->woke, 5000) != WAIT_OBJECT_0) {
            f->lost += events - i;
            return;
        }
        f->ms.push_back(Ms(run->wokeAt - start));
    }
}

void EndWake(WakeRun *run)
{
    SetEvent(run->done);
    WaitForSingleObject(run->thread, 5000);
    CloseHandle(run->thread);
    CloseHandle(run->changed);
    CloseHandle(run->armed);
    CloseHandle(run->woke);
    CloseHandle(run->done);
    RegCloseKey(run->key);
}

// 2. The shell library's RegistryNotifyWindow: write, message received.
struct ShellProbe {
    HMODULE shell;
    PFN_RegistryCloseNotification close;
    HWND window;
    HREGNOTIFY handle;
    DWORD next;
};

bool StartShellProbe(const std::wstring &folder, ShellProbe *probe)
{
    *probe = ShellProbe();
    probe->shell = LoadLibraryW((folder + L"\\aygshell.dll").c_str());
    if (!probe->shell)
        return false;
    PFN_RegistryNotifyWindow notify = (PFN_RegistryNotifyWindow)(void (*)(void))GetProcAddress(
        probe->shell, "RegistryNotifyWindow");
    probe->close = (PFN_RegistryCloseNotification)(void (*)(void))GetProcAddress(
        probe->shell, "RegistryCloseNotification");
    probe->window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL,
                                    NULL);
    WriteDword(kBenchKey, L"Shell", 0xFFFFFFFF);
    return notify && probe->close && probe->window &&
           notify(HKEY_LOCAL_MACHINE, kBenchKey, L"Shell", probe->window, kBenchMessage, 0, NULL,
                  &probe->handle) == S_OK;
}

void ShellBatch(ShellProbe *probe, int events, Figures *f)
{
    for (int i = 0; i < events; i++) {
        DWORD value = probe->next++;
        Rest();
        LONGLONG start = Now();
        WriteDword(kBenchKey, L"Shell", value);
        LONGLONG got = 0;
        DWORD begin = GetTickCount();
        while (!got && GetTickCount() - begin < 5000) {
            MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_POSTMESSAGE);
            MSG msg;
            while (PeekMessageW(&msg, NULL, kBenchMessage, kBenchMessage, PM_REMOVE))
                if (msg.wParam == (WPARAM)value)
                    got = Now();
        }
        if (got)
            f->ms.push_back(Ms(got - start));
        else
            f->lost++;
    }
}

void EndShellProbe(ShellProbe *probe)
{
    if (probe->handle)
        probe->close(probe->handle);
    if (probe->window)
        DestroyWindow(probe->window);
    if (probe->shell)
        FreeLibrary(probe->shell);
}

// The moment the display holds one of the codes (bit N of codes for code N),
// from the display state's change notification armed before the write; 0
// when it does not within 5 s.
LONGLONG WaitForDisplayCode(HKEY display, HANDLE changed, unsigned codes)
{
    DWORD begin = GetTickCount();
    while (GetTickCount() - begin < 5000) {
        if (WaitForSingleObject(changed, 5000) != WAIT_OBJECT_0)
            return 0;
        DWORD code = ReadDword(kDisplayKey, L"Rotation");
        if (code < 32 && (codes & (1u << code)))
            return Now();
        Arm(display, changed);
    }
    return 0;
}

// 3. The monitor: "EventChanged" written, rotation set.
void MonitorBatch(int events, Figures *f)
{
    HKEY display = OpenForNotify(kDisplayKey);
    HANDLE changed = CreateEventW(NULL, FALSE, FALSE, NULL);
    for (int i = 0; i < events; i++) {
        // Portrait and landscape by turns, so that every event changes the
        // display: codes 1 and 3.
        DWORD value = (i % 2) ? 0x10001 : 0x10000;
        DWORD code = (i % 2) ? 3 : 1;
        Rest();
        Arm(display, changed);
        LONGLONG start = Now();
        WriteDword(kSensorKey, kSensorValue, value);
        LONGLONG got = WaitForDisplayCode(display, changed, 1u << code);
        if (got)
            f->ms.push_back(Ms(got - start));
        else
            f->lost++;
    }
    CloseHandle(changed);
    RegCloseKey(display);
}

// 4. The monitor at a front change: "Active Application" written, rotation
// set. Each change brings the other of two apps to the front first (not
// timed), then tells it.
bool BringToFront(HWND window);

bool WriteFrontApp(const std::wstring &text)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kShellKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(key, kFrontValue, 0, REG_SZ, (const BYTE *)text.c_str(),
                             (DWORD)(text.size() + 1) * sizeof(WCHAR));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void FrontBatch(int events, HWND held, HWND other, Figures *f)
{
    HKEY display = OpenForNotify(kDisplayKey);
    HANDLE changed = CreateEventW(NULL, FALSE, FALSE, NULL);
    for (int i = 0; i < events; i++) {
        // The held app turns the display to landscape (code 1 or 3, the
        // last side the phone lay on); the other one turns it back to the
        // upright phone's portrait (code 0).
        bool toHeld = i % 2 == 0;
        if (!BringToFront(toHeld ? held : other)) {
            f->lost++;
            continue;
        }
        Rest();
        Arm(display, changed);
        LONGLONG start = Now();
        WriteFrontApp(toHeld ? L"Bench app 1\x1b" + std::wstring(kFrontTitle)
                             : std::wstring(kFrontTitle) + L"\x1b" L"Bench app 1");
        LONGLONG got = WaitForDisplayCode(display, changed, toHeld ? (1u << 1) | (1u << 3) : 1u);
        if (got)
            f->ms.push_back(Ms(got - start));
        else
            f->lost++;
    }
    CloseHandle(changed);
    RegCloseKey(display);
}

// The phone laid upright: a sensor event, and the display in portrait
// (code 0) within 5 s.
bool SettleUpright()
{
    // Written again unchanged, the position is not told.
    if (ReadDword(kSensorKey, kSensorValue) == 0x10002 && ReadDword(kDisplayKey, L"Rotation") == 0)
        return true;
    HKEY display = OpenForNotify(kDisplayKey);
    HANDLE changed = CreateEventW(NULL, FALSE, FALSE, NULL);
    Arm(display, changed);
    WriteDword(kSensorKey, kSensorValue, 0x10002);
    LONGLONG got = WaitForDisplayCode(display, changed, 1u);
    CloseHandle(changed);
    RegCloseKey(display);
    return got != 0;
}

bool CopyProgramFolder(const std::wstring &from, const std::wstring &to)
{
    CreateDirectoryW(to.c_str(), NULL);
    WIN32_FIND_DATAW found;
    HANDLE walk = FindFirstFileW((from + L"\\*").c_str(), &found);
    if (walk == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        ok &= CopyFileW((from + L"\\" + found.cFileName).c_str(),
                        (to + L"\\" + found.cFileName).c_str(), FALSE) != 0;
    } while (FindNextFileW(walk, &found));
    FindClose(walk);
    return ok;
}

bool WriteConfig(const std::wstring &folder, const char *text)
{
    HANDLE config = CreateFileW((folder + L"\\vorn.txt").c_str(), GENERIC_WRITE, 0, NULL,
                                CREATE_ALWAYS, 0, NULL);
    if (config == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(config, text, (DWORD)strlen(text), &written, NULL);
    CloseHandle(config);
    return ok && written == strlen(text);
}

bool Launch(const std::wstring &exe, const std::wstring &args, const std::wstring &folder,
            PROCESS_INFORMATION *pi)
{
    std::wstring command = L"\"" + exe + L"\" " + args;
    std::vector<WCHAR> line(command.begin(), command.end());
    line.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    return CreateProcessW(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, folder.c_str(), &si,
                          pi) != 0;
}

HWND WaitWindow(const wchar_t *className, const wchar_t *title)
{
    for (int tries = 0; tries < 500; tries++) {
        HWND window = FindWindowW(className, title);
        if (window)
            return window;
        Sleep(10);
    }
    return NULL;
}

bool BringToFront(HWND window)
{
    for (int tries = 0; tries < 500; tries++) {
        if (GetForegroundWindow() == window)
            return true;
        if (tries % 50 == 0)
            PostMessageW(window, kAppActivate, 0, 0);
        Sleep(10);
    }
    return false;
}

// The phone's load: stand-in apps, each a process with a window of its own;
// the last one, under a program name of its own, stays in the foreground.
struct Apps {
    std::vector<PROCESS_INFORMATION> processes;
    std::vector<HWND> windows;
    HWND front = NULL;
};

bool StartApps(const std::wstring &folder, Apps *apps)
{
    std::wstring appwin = folder + L"\\appwin.exe";
    std::wstring front = folder + L"\\" + kFrontExe;
    if (!CopyFileW(appwin.c_str(), front.c_str(), FALSE))
        return false;
    for (int i = 0; i < kApps; i++) {
        bool last = i == kApps - 1;
        std::wstring title = last ? kFrontTitle : L"Bench app " + std::to_wstring(i + 1);
        std::wstring className = last ? kFrontClass : L"BenchApp" + std::to_wstring(i + 1);
        PROCESS_INFORMATION pi = {};
        if (!Launch(last ? front : appwin, L"\"" + title + L"\" \"" + className + L"\"", folder,
                    &pi))
            return false;
        apps->processes.push_back(pi);
        HWND window = WaitWindow(className.c_str(), title.c_str());
        if (!window)
            return false;
        apps->windows.push_back(window);
        if (last)
            apps->front = window;
    }
    return BringToFront(apps->front);
}

void EndApps(Apps *apps)
{
    for (HWND window : apps->windows)
        PostMessageW(window, WM_CLOSE, 0, 0);
    for (PROCESS_INFORMATION &pi : apps->processes) {
        if (WaitForSingleObject(pi.hProcess, 5000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    apps->processes.clear();
    apps->windows.clear();
}

// One monitor row: the window list, and what it makes of the foreground app.
// Each names #onlyfor: the monitor keeps the last value read.
struct MonitorRow {
    const char *what;
    const char *config;
};

// One front-change row: the hold that names the foreground app.
const MonitorRow kFrontRows[] = {
    {"front change, hold names the title", "#timeout(0)\r\n#onlyfor(0)\r\n"
                                            "#landscape(Bench Front)\r\n"},
    {"front change, hold needs the program name", "#timeout(0)\r\n#onlyfor(0)\r\n"
                                                  "#landscape(benchfront.exe)\r\n"},
};

const MonitorRow kMonitorRows[] = {
    {"monitor, empty window list", "#timeout(0)\r\n#onlyfor(0)\r\n"},
    {"monitor, list names the app by its title", "#timeout(0)\r\n#onlyfor(1)\r\n"
                                                  "#window(Bench Front)\r\n"},
    {"monitor, list needs the program name", "#timeout(0)\r\n#onlyfor(1)\r\n"
                                              "#window(benchfront.exe)\r\n"},
};

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    int events = argc > 1 ? _wtoi(argv[1]) : 100;
    int idleSeconds = argc > 2 ? _wtoi(argv[2]) : 30;
    if (events <= 0)
        events = 100;
    if (idleSeconds < 0)
        idleSeconds = 30;
    QueryPerformanceFrequency(&g_frequency);
    SetEnvironmentVariableW(L"PHONE_CALL_LOG", NULL);  // no call log: nothing but the work

    if (FindWindowW(L"QZGSENSOR_CLASS", NULL)) {
        fprintf(stderr, "bench: a monitor is already running; unload it first\n");
        return 1;
    }
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    std::wstring build = Folder(Folder(self));
    std::wstring folder = build + L"\\benchrun";
    if (!CopyProgramFolder(build + L"\\bin", folder)) {
        fprintf(stderr, "bench: cannot copy the program folder\n");
        return 1;
    }
    WriteConfig(folder, kMonitorRows[0].config);
    DeleteValue(kSensorKey, kSensorValue);
    DeleteValue(kDisplayKey, L"Rotation");

    Apps apps;
    if (!StartApps(folder, &apps)) {
        fprintf(stderr, "bench: the stand-in apps did not start, or not in the foreground\n");
        EndApps(&apps);
        return 1;
    }

    WakeRun wakeRun = {};
    ShellProbe shellProbe;
    if (!StartWake(&wakeRun) || !StartShellProbe(folder, &shellProbe)) {
        fprintf(stderr, "bench: cannot watch the registry\n");
        EndApps(&apps);
        return 1;
    }

    // The monitor's work ends when the rotation code is kept. The shell's
    // part of a turn (the screen switched, every window told) is left out
    // for it: 200 turns back to back would otherwise leave the next event a
    // backlog of the shell's work, which no phone held in a hand sees.
    SetEnvironmentVariableW(L"PHONE_SCREEN_FIXED", L"1");
    PROCESS_INFORMATION pi = {};
    if (!Launch(folder + L"\\vorn.exe", L"#load", folder, &pi)) {
        fprintf(stderr, "bench: cannot start the monitor\n");
        EndApps(&apps);
        return 1;
    }
    // Registered once a write turns the display.
    bool ready = false;
    for (int tries = 0; tries < 50 && !ready; tries++) {
        DWORD code = (tries % 2) ? 2 : 0;
        WriteDword(kSensorKey, kSensorValue, (tries % 2) ? 0x10003 : 0x10002);
        for (int wait = 0; wait < 20 && !ready; wait++) {
            Sleep(10);
            DWORD size = sizeof(DWORD), value = 0;
            ready = RegGetValueW(HKEY_LOCAL_MACHINE, kDisplayKey, L"Rotation", RRF_RT_REG_DWORD,
                                 NULL, &value, &size) == ERROR_SUCCESS &&
                    value == code;
        }
    }
    if (!ready) {
        fprintf(stderr, "bench: the monitor does not answer\n");
        TerminateProcess(pi.hProcess, 1);
        EndApps(&apps);
        return 1;
    }

    // Every row is measured in rounds, the rows by turns within each
    // round: how long a wake-up takes depends on where the scheduler has
    // put the monitor, the wineserver and the bench, which changes now and
    // then in a run (on a machine with two processors, a run's figures move
    // between about 0.45 and 1.2 ms at such a change). Taken by turns, every
    // row sees the same mix, and the ratios compare like with like. A front
    // change batch is even, so that it ends on the app that is not held.
    int rounds = events < kRounds ? 1 : kRounds;
    int batch = (events + rounds - 1) / rounds;
    int frontBatch = batch + batch % 2;
    printf("Vorn monitor benchmark: %d events per figure (%d rounds, the rows by turns), "
           "%d s quiet spell, %d apps running\n\n",
           rounds * batch, rounds, idleSeconds, kApps);
    const int monitorRows = sizeof(kMonitorRows) / sizeof(kMonitorRows[0]);
    const int frontRows = sizeof(kFrontRows) / sizeof(kFrontRows[0]);
    Figures wake, shell, monitor[monitorRows], fronts[frontRows];
    HWND other = apps.windows[0];
    for (int round = 0; round < rounds; round++) {
        WakeBatch(&wakeRun, batch, &wake);
        ShellBatch(&shellProbe, batch, &shell);
        for (int row = 0; row < monitorRows; row++) {
            WriteConfig(folder, kMonitorRows[row].config);
            if (!BringToFront(apps.front))
                fprintf(stderr, "bench: the app lost the foreground\n");
            MonitorBatch(batch, &monitor[row]);
        }
        for (int row = 0; row < frontRows; row++) {
            // The phone lies upright, the app that is not held in front and
            // the display in portrait: the first change, to the held app,
            // turns it.
            WriteConfig(folder, kFrontRows[row].config);
            if (!BringToFront(other) || !SettleUpright())
                fprintf(stderr, "bench: the display did not settle upright\n");
            FrontBatch(frontBatch, apps.front, other, &fronts[row]);
        }
    }
    double notification = Median(shell);
    Report("registry notification (write -> wake)", wake, notification);
    Report("RegistryNotifyWindow (write -> message)", shell, notification);
    for (int row = 0; row < monitorRows; row++)
        Report(kMonitorRows[row].what, monitor[row], notification);
    for (int row = 0; row < frontRows; row++)
        Report(kFrontRows[row].what, fronts[row], notification);
    EndShellProbe(&shellProbe);
    EndWake(&wakeRun);

    Sleep(1000);  // let the last event settle before the quiet spell
    double before = ProcessCpuMs(pi.dwProcessId);
    Sleep((DWORD)idleSeconds * 1000);
    double after = ProcessCpuMs(pi.dwProcessId);
    printf("%-44s %.3f ms over %d s (%.3f ms before it, since start)\n",
           "monitor CPU time while the phone lies still", after - before, idleSeconds, before);

    HWND window = FindWindowW(L"QZGSENSOR_CLASS", NULL);
    if (window)
        PostMessageW(window, 1234, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EndApps(&apps);
    DeleteValue(kSensorKey, kSensorValue);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kBenchKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kWakeKey);
    HKEY front;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellKey, 0, KEY_SET_VALUE, &front) == ERROR_SUCCESS) {
        RegDeleteValueW(front, kFrontValue);
        RegCloseKey(front);
    }
    return 0;
}
