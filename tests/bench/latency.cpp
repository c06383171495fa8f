// How quickly the monitor follows the sensor, and what it costs while the
// phone lies still. Three figures from one run on one machine:
//
//   1. the platform's registry change notification alone: a value written,
//      a waiting thread woken (RegNotifyChangeKeyValue);
//   2. the shell library's notification as the monitor gets it: a value
//      written, the message posted by RegistryNotifyWindow received;
//   3. the monitor at "#timeout(0)": "EventChanged" written, the display's
//      rotation set (seen through a change notification on the display
//      state, the same kind of wake-up as in 1);
//
// then the monitor's processor time over a quiet spell (GetProcessTimes).
//
//   vorn_bench.exe [events] [idle-seconds]      defaults: 100 and 30
//
// It runs its own copy of the program folder (build\benchrun) and needs
// that no monitor is running.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <string>
#include <vector>
#include "aygshell.h"

namespace {

const wchar_t kSensorKey[] = L"Software\\HTC\\HTCSensor\\GSensor";
const wchar_t kSensorValue[] = L"EventChanged";
const wchar_t kDisplayKey[] = L"Software\\EmulatedPhone\\Display";
const wchar_t kBenchKey[] = L"Software\\EmulatedPhone\\Bench";
const UINT kBenchMessage = WM_APP + 7;

LARGE_INTEGER g_frequency;

double Ms(LONGLONG ticks) { return ticks * 1000.0 / g_frequency.QuadPart; }

LONGLONG Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

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

void Report(const char *what, Figures f)
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
    printf("%-44s n=%-4zu median %7.3f  p90 %7.3f  max %7.3f  mean %7.3f ms", what, n,
           f.ms[n / 2], f.ms[std::min(n - 1, n * 9 / 10)], f.ms.back(), sum / n);
    if (f.lost)
        printf("  (%d lost)", f.lost);
    printf("\n");
}

// 1. Registry change notification: write, waiting thread woken.
struct WakeRun {
    HKEY key;
    HANDLE changed, armed, woke, done;
    LONGLONG wokeAt;
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

Figures MeasureRegistryWake(int events)
{
    Figures f;
    WakeRun run = {};
    run.key = OpenForNotify(kBenchKey);
    run.changed = CreateEventW(NULL, FALSE, FALSE, NULL);
    run.armed = CreateEventW(NULL, FALSE, FALSE, NULL);
    run.woke = CreateEventW(NULL, FALSE, FALSE, NULL);
    run.done = CreateEventW(NULL, TRUE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, WakeThread, &run, 0, NULL);
    for (int i = 0; i < events; i++) {
        if (WaitForSingleObject(run.armed, 5000) != WAIT_OBJECT_0) {
            f.lost += events - i;
            break;
        }
        LONGLONG start = Now();
        WriteDword(kBenchKey, L"Value", (DWORD)i);
        if (WaitForSingleObject(run.woke, 5000) != WAIT_OBJECT_0) {
            f.lost += events - i;
            break;
        }
        f.ms.push_back(Ms(run.wokeAt - start));
    }
    SetEvent(run.done);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    CloseHandle(run.changed);
    CloseHandle(run.armed);
    CloseHandle(run.woke);
    CloseHandle(run.done);
    RegCloseKey(run.key);
    return f;
}

// 2. The shell library's RegistryNotifyWindow: write, message received.
Figures MeasureShellNotification(const std::wstring &folder, int events)
{
    Figures f;
    HMODULE shell = LoadLibraryW((folder + L"\\aygshell.dll").c_str());
    if (!shell)
        return f;
    PFN_RegistryNotifyWindow notify =
        (PFN_RegistryNotifyWindow)(void (*)(void))GetProcAddress(shell, "RegistryNotifyWindow");
    PFN_RegistryCloseNotification close = (PFN_RegistryCloseNotification)(void (*)(void))
        GetProcAddress(shell, "RegistryCloseNotification");
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL,
                                  NULL);
    HREGNOTIFY handle = NULL;
    WriteDword(kBenchKey, L"Shell", 0xFFFFFFFF);
    if (!notify || !close || !window ||
        notify(HKEY_LOCAL_MACHINE, kBenchKey, L"Shell", window, kBenchMessage, 0, NULL,
               &handle) != S_OK) {
        FreeLibrary(shell);
        return f;
    }
    for (int i = 0; i < events; i++) {
        LONGLONG start = Now();
        WriteDword(kBenchKey, L"Shell", (DWORD)i);
        LONGLONG got = 0;
        DWORD begin = GetTickCount();
        while (!got && GetTickCount() - begin < 5000) {
            MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_POSTMESSAGE);
            MSG msg;
            while (PeekMessageW(&msg, NULL, kBenchMessage, kBenchMessage, PM_REMOVE))
                if (msg.wParam == (WPARAM)i)
                    got = Now();
        }
        if (got)
            f.ms.push_back(Ms(got - start));
        else
            f.lost++;
    }
    close(handle);
    DestroyWindow(window);
    FreeLibrary(shell);
    return f;
}

// 3. The monitor: "EventChanged" written, rotation set.
Figures MeasureMonitor(int events)
{
    Figures f;
    HKEY display = OpenForNotify(kDisplayKey);
    HANDLE changed = CreateEventW(NULL, FALSE, FALSE, NULL);
    for (int i = 0; i < events; i++) {
        // Portrait and landscape by turns, so that every event changes the
        // display: codes 1 and 3.
        DWORD value = (i % 2) ? 0x10001 : 0x10000;
        DWORD code = (i % 2) ? 3 : 1;
        Arm(display, changed);
        LONGLONG start = Now();
        WriteDword(kSensorKey, kSensorValue, value);
        LONGLONG got = 0;
        DWORD begin = GetTickCount();
        while (GetTickCount() - begin < 5000) {
            if (WaitForSingleObject(changed, 5000) != WAIT_OBJECT_0)
                break;
            if (ReadDword(kDisplayKey, L"Rotation") == code) {
                got = Now();
                break;
            }
            Arm(display, changed);
        }
        if (got)
            f.ms.push_back(Ms(got - start));
        else
            f.lost++;
    }
    CloseHandle(changed);
    RegCloseKey(display);
    return f;
}

LONGLONG CpuTicks100ns(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return -1;
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (LONGLONG)(k.QuadPart + u.QuadPart);
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
    HANDLE config = CreateFileW((folder + L"\\vorn.txt").c_str(), GENERIC_WRITE, 0, NULL,
                                CREATE_ALWAYS, 0, NULL);
    DWORD written;
    WriteFile(config, "#timeout(0)\r\n", 13, &written, NULL);
    CloseHandle(config);
    DeleteValue(kSensorKey, kSensorValue);
    DeleteValue(kDisplayKey, L"Rotation");

    printf("Vorn monitor benchmark: %d events per figure, %d s quiet spell\n\n", events,
           idleSeconds);
    Report("registry notification (write -> wake)", MeasureRegistryWake(events));
    Report("RegistryNotifyWindow (write -> message)", MeasureShellNotification(folder, events));

    std::wstring command = L"\"" + folder + L"\\vorn.exe\" #load";
    std::vector<WCHAR> line(command.begin(), command.end());
    line.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, folder.c_str(), &si,
                        &pi)) {
        fprintf(stderr, "bench: cannot start the monitor\n");
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
        return 1;
    }
    Report("monitor (EventChanged -> rotation set)", MeasureMonitor(events));

    Sleep(1000);  // let the last event settle before the quiet spell
    LONGLONG before = CpuTicks100ns(pi.hProcess);
    Sleep((DWORD)idleSeconds * 1000);
    LONGLONG after = CpuTicks100ns(pi.hProcess);
    printf("%-44s %.3f ms over %d s (%.3f ms before it, since start)\n",
           "monitor CPU time while the phone lies still", (after - before) / 10000.0,
           idleSeconds, before / 10000.0);

    HWND window = FindWindowW(L"QZGSENSOR_CLASS", NULL);
    if (window)
        PostMessageW(window, 1234, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    DeleteValue(kSensorKey, kSensorValue);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kBenchKey);
    return 0;
}
