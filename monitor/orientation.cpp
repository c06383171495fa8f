// Handling of one sensor event: who is in the foreground, what the
// configuration file says now, and then the face-down action or the turn of
// the display to the position the sensor holds after the wait.
#include "orientation.h"
#include "monitor.h"
#include "globals.h"
#include "sensorlib.h"
#include "aygshell.h"
#include "common/procname.h"
#include "common/registry.h"
#include "common/textsearch.h"

PFN_DisplayEscape g_displayEscape = ExtEscape;
PFN_EventWait g_eventWait = WaitUnlessShutDown;
PFN_QueueWait g_queueWait = MsgWaitForMultipleObjects;

// The pause before looking again after a queue wait that brought nothing:
// short, so that an unload is still heard at once.
#define QUEUE_IDLE_SLICE_MS 10

// The wait before the position is read again. A negative timeout would be
// an endless wait; it means no wait.
static DWORD EventWaitMs(int timeout)
{
    return timeout > 0 ? (DWORD)timeout : 0;
}

static int ShutDownQueued(HWND window)
{
    MSG msg;
    return PeekMessageW(&msg, window, WMU_UNLOAD, WMU_UNLOAD, PM_NOREMOVE) ||
           PeekMessageW(&msg, window, WM_CLOSE, WM_CLOSE, PM_NOREMOVE);
}

int WaitUnlessShutDown(HWND window, DWORD ms)
{
    DWORD start = GetTickCount();
    int idle = 0;  // returns of the queue wait in a row that did not end it
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return 1;
        // Looking into the queue makes what is in it old news, so the wait
        // below wakes only for a message posted after the look. Nothing is
        // taken out: the loop handles every message in order after the wait.
        if (ShutDownQueued(window))
            return 0;
        // The platform may end the wait with nothing new for the thread (on
        // an activation, say), and the monitor runs above normal priority:
        // after a failure, or a second return in a row, it pauses first.
        DWORD woke = g_queueWait(0, NULL, FALSE, ms - elapsed, QS_POSTMESSAGE);
        if (woke == WAIT_FAILED || ++idle >= 2) {
            elapsed = GetTickCount() - start;
            if (elapsed < ms)
                Sleep(ms - elapsed < QUEUE_IDLE_SLICE_MS ? ms - elapsed : QUEUE_IDLE_SLICE_MS);
        }
    }
}

int MatchesAnyEntry(const CStrList *list, LPCWSTR name)
{
    for (UINT i = 0; i < list->count; i++) {
        if (FindNoCase(name, list->At(i)))
            return 1;
    }
    return 0;
}

// The list names the windows left alone, or with onlyfor the only windows
// that turn.
static int ExemptWhenListed(int onlyfor, int listed)
{
    return onlyfor == 0 ? listed : !listed;
}

int IsExemptWindow(const CStrList *list, int onlyfor, LPCWSTR className, LPCWSTR title,
                   LPCWSTR processName)
{
    int listed = MatchesAnyEntry(list, className) || MatchesAnyEntry(list, title) ||
                 MatchesAnyEntry(list, processName);
    return ExemptWhenListed(onlyfor, listed);
}

// IsExemptWindow for the foreground window. Its process name costs a walk
// over every running process, so it is looked up only when the list could
// still name the window by it: never for an empty list, never once the
// class or the title matched.
static int IsForegroundExempt(const CStrList *list, int onlyfor, HWND foreground,
                              LPCWSTR className, LPCWSTR title)
{
    int listed = MatchesAnyEntry(list, className) || MatchesAnyEntry(list, title);
    if (!listed && list->count > 0) {
        WCHAR processName[WINDOW_NAME_CAPACITY];
        GetWindowProcessName(foreground, processName, WINDOW_NAME_CAPACITY);
        listed = MatchesAnyEntry(list, processName);
    }
    return ExemptWhenListed(onlyfor, listed);
}

int RotationCodeFor(DWORD value)
{
    switch (value) {
    case SENSOR_TURNED_90:
        return 1;
    case SENSOR_TURNED_270:
        return 3;
    case SENSOR_UPRIGHT:
        return 0;
    case SENSOR_UPSIDE_DOWN:
        return 2;
    }
    return -1;
}

// The shell library is linked to the program and so normally loaded:
// binding through the loaded module spares a load and a release at every
// turn. Only a library that is absent is loaded for the call.
static HMODULE TakeLibrary(LPCWSTR name, int *loadedHere)
{
    HMODULE module = GetModuleHandleW(name);
    *loadedHere = 0;
    if (!module) {
        module = LoadLibraryW(name);
        *loadedHere = module != NULL;
    }
    return module;
}

static void GiveBackLibrary(HMODULE module, int loadedHere)
{
    if (loadedHere)
        FreeLibrary(module);
}

int RotationQueryFrom(LPCWSTR library)
{
    int loadedHere;
    HMODULE shell = TakeLibrary(library, &loadedHere);
    if (!shell)
        return -1;
    int result = -1;
    PFN_RotationQuery query = BIND_ENTRY(PFN_RotationQuery, shell,
                                         MAKEINTRESOURCEW(AYG_ORDINAL_ROTATION_QUERY));
    if (query) {
        DWORD value = 0;
        query(&value);
        result = (int)value;
    }
    GiveBackLibrary(shell, loadedHere);
    return result;
}

int RotationSetFrom(LPCWSTR library, DWORD code)
{
    int loadedHere;
    HMODULE shell = TakeLibrary(library, &loadedHere);
    if (!shell)
        return -1;
    int result = -1;
    PFN_RotationSet set = BIND_ENTRY(PFN_RotationSet, shell,
                                     MAKEINTRESOURCEW(AYG_ORDINAL_ROTATION_SET));
    if (set) {
        set(code);
        result = 0;
    }
    GiveBackLibrary(shell, loadedHere);
    return result;
}

int RotationQuery(void)
{
    return RotationQueryFrom(TEXT("aygshell.dll"));
}

int RotationSet(DWORD code)
{
    return RotationSetFrom(TEXT("aygshell.dll"), code);
}

int SetDisplayPower(int on)
{
    HDC screen = GetDC(NULL);
    if (!screen)
        return 0;
    int result = 0;
    DWORD escape = SETPOWERMANAGEMENT;
    if (g_displayEscape(screen, QUERYESCSUPPORT, sizeof(escape), (LPCSTR)&escape, 0, NULL) > 0) {
        VIDEO_POWER_MANAGEMENT request;
        request.Length = sizeof(request);
        request.DPMSVersion = 1;
        request.PowerState = on ? VideoPowerOn : VideoPowerOff;
        g_displayEscape(screen, SETPOWERMANAGEMENT, sizeof(request), (LPCSTR)&request, 0, NULL);
        result = 1;
    }
    ReleaseDC(NULL, screen);
    return result;
}

void PressPowerKey(void)
{
    keybd_event(VK_OFF, 0, 0, 0);
    keybd_event(VK_OFF, 0, KEYEVENTF_KEYUP, 0);
}

static DWORD ReadSensorValue(void)
{
    DWORD value = 0;
    RegReadDword(HKEY_LOCAL_MACHINE, SENSOR_KEY_PATH, SENSOR_VALUE_NAME, &value);
    return value;
}

LRESULT HandleSensorEvent(HWND window, DWORD value, MonitorSettings *settings)
{
    WCHAR title[WINDOW_NAME_CAPACITY];
    WCHAR className[WINDOW_NAME_CAPACITY];
    title[0] = 0;
    className[0] = 0;

    HWND foreground = GetForegroundWindow();
    if (foreground) {
        if (!GetWindowTextW(foreground, title, WINDOW_NAME_CAPACITY))
            title[0] = 0;
        if (!GetClassNameW(foreground, className, WINDOW_NAME_CAPACITY))
            className[0] = 0;
    }

    // Read afresh at every event, so an edited file counts at once.
    ReadMonitorSettings(g_monitorConfigPath, settings);

    // A shut-down request during a wait ends the event: the monitor is
    // leaving, and a long timeout must not keep it deaf to being unloaded.
    if (settings->fdscreenoff > 0 && value == SENSOR_FACE_DOWN) {
        // Only a phone that still lies face down after the wait counts: one
        // that is merely being turned over keeps its display.
        if (!g_eventWait(window, EventWaitMs(settings->timeout)))
            return 0;
        if (ReadSensorValue() == SENSOR_FACE_DOWN) {
            if (settings->fdscreenoff == FDSCREENOFF_POWER_KEY)
                PressPowerKey();
            else
                SetDisplayPower(0);
        }
        return 0;
    }

    if (IsForegroundExempt(&settings->windows, settings->onlyfor, foreground, className, title))
        return 0;

    if (!g_eventWait(window, EventWaitMs(settings->timeout)))
        return 0;
    // The position after the wait decides, not the one posted.
    int code = RotationCodeFor(ReadSensorValue());
    if (code >= 0 && RotationQuery() != -1)
        RotationSet((DWORD)code);
    return 0;
}
