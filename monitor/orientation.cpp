// Handling of one sensor event: who is in the foreground, what the
// configuration file says now, and then the face-down action or the turn of
// the display to the position the sensor holds after the wait.
#include "orientation.h"
#include "account.h"
#include "monitor.h"
#include "common/globals.h"
#include "sensorlib.h"
#include "aygshell.h"
#include "common/procname.h"
#include "common/registry.h"
#include "common/textsearch.h"

PFN_DisplayEscape g_displayEscape = ExtEscape;
PFN_EventWait g_eventWait = WaitUnlessShutDown;
PFN_QueueWait g_queueWait = WaitForQueue;
LPCWSTR g_rotationLibrary = TEXT("aygshell.dll");
PFN_RotationTurn g_rotationTurn = RotationSet;

// The pause before looking again after a queue wait that brought nothing:
// short, so that an unload is still heard at once.
#define QUEUE_IDLE_SLICE_MS 10

// The wait before the position is read again. A negative timeout would be
// an endless wait; it means no wait.
static DWORD EventWaitMs(int timeout)
{
    return timeout > 0 ? (DWORD)timeout : 0;
}

// The phone's headers make MsgWaitForMultipleObjects a macro over its Ex
// form, so the plain name has no address to keep: this call stands for it.
DWORD WINAPI WaitForQueue(DWORD count, const HANDLE *handles, BOOL waitAll, DWORD ms,
                          DWORD wakeMask)
{
    (void)waitAll;  // the phone's macro leaves it out: the wait is for any
    return MsgWaitForMultipleObjects(count, handles, waitAll, ms, wakeMask);
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

int FindMatchingEntry(const CStrList *list, LPCWSTR name)
{
    for (UINT i = 0; i < list->count; i++) {
        if (FindNoCase(name, list->At(i)))
            return (int)i;
    }
    return -1;
}

int MatchesAnyEntry(const CStrList *list, LPCWSTR name)
{
    return FindMatchingEntry(list, name) >= 0;
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

// The window in front, as the event sees it.
struct FrontWindow {
    HWND window;
    WCHAR title[WINDOW_NAME_CAPACITY];
    WCHAR className[WINDOW_NAME_CAPACITY];
    WCHAR program[WINDOW_NAME_CAPACITY];
    int programRead;
};

// The program name costs a lookup of the owning process: it is read once,
// and only when asked for.
static LPCWSTR FrontProgram(FrontWindow *front)
{
    if (!front->programRead) {
        GetWindowProcessName(front->window, front->program, WINDOW_NAME_CAPACITY);
        front->programRead = 1;
    }
    return front->program;
}

// Which entry of the list names the window in front, and by what, in the
// order class, title, program name. The program name is looked up only
// when the list could still name the window by it: never for an empty
// list, never once the class or the title matched.
static int FindListing(const CStrList *list, FrontWindow *front, int *entry)
{
    *entry = FindMatchingEntry(list, front->className);
    if (*entry >= 0)
        return DECIDED_BY_CLASS;
    *entry = FindMatchingEntry(list, front->title);
    if (*entry >= 0)
        return DECIDED_BY_TITLE;
    if (list->count > 0) {
        *entry = FindMatchingEntry(list, FrontProgram(front));
        if (*entry >= 0)
            return DECIDED_BY_PROGRAM;
    }
    return DECIDED_NO_MATCH;
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
    return RotationQueryFrom(g_rotationLibrary);
}

int RotationSet(DWORD code)
{
    return RotationSetFrom(g_rotationLibrary, code);
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

// Ends the event: with the account on, its line goes to the log first.
static LRESULT EndEvent(const MonitorSettings *settings, EventAccount *account, int did)
{
    account->did = did;
    if (settings->log)
        KeepAccount(g_monitorConfigPath, account);
    return 0;
}

LRESULT HandleSensorEvent(HWND window, DWORD value, MonitorSettings *settings)
{
    FrontWindow front;
    front.title[0] = 0;
    front.className[0] = 0;
    front.program[0] = 0;
    front.programRead = 0;

    front.window = GetForegroundWindow();
    if (front.window) {
        if (!GetWindowTextW(front.window, front.title, WINDOW_NAME_CAPACITY))
            front.title[0] = 0;
        if (!GetClassNameW(front.window, front.className, WINDOW_NAME_CAPACITY))
            front.className[0] = 0;
    }

    // Read afresh at every event, so an edited file counts at once.
    ReadMonitorSettings(g_monitorConfigPath, settings);

    EventAccount account;
    ZeroMemory(&account, sizeof(account));
    account.posted = value;
    account.front = front.window;
    account.title = front.title;
    account.className = front.className;
    account.program = front.program;
    account.waitedMs = EventWaitMs(settings->timeout);
    // The account names the program whatever decides.
    if (settings->log)
        FrontProgram(&front);

    // A shut-down request during a wait ends the event: the monitor is
    // leaving, and a long timeout must not keep it deaf to being unloaded.
    if (settings->fdscreenoff > 0 && value == SENSOR_FACE_DOWN) {
        account.decided = DECIDED_FACE_DOWN;
        account.setting = settings->fdscreenoff;
        // Only a phone that still lies face down after the wait counts: one
        // that is merely being turned over keeps its display.
        if (!g_eventWait(window, account.waitedMs))
            return EndEvent(settings, &account, DID_DROP_UNLOADED);
        account.read = ReadSensorValue();
        if (account.read != SENSOR_FACE_DOWN)
            return EndEvent(settings, &account, DID_NOTHING_NOT_FACE_DOWN);
        if (settings->fdscreenoff == FDSCREENOFF_POWER_KEY) {
            PressPowerKey();
            return EndEvent(settings, &account, DID_PRESS_POWER_KEY);
        }
        if (!SetDisplayPower(0))
            return EndEvent(settings, &account, DID_NOTHING_NO_POWER_CONTROL);
        return EndEvent(settings, &account, DID_SWITCH_DISPLAY_OFF);
    }

    int entry;
    account.decided = FindListing(&settings->windows, &front, &entry);
    account.entry = entry >= 0 ? settings->windows.At((UINT)entry) : NULL;
    account.setting = settings->onlyfor;
    if (ExemptWhenListed(settings->onlyfor, account.decided != DECIDED_NO_MATCH))
        return EndEvent(settings, &account, DID_LEAVE_ALONE);

    if (!g_eventWait(window, account.waitedMs))
        return EndEvent(settings, &account, DID_DROP_UNLOADED);
    // The position after the wait decides, not the one posted.
    account.read = ReadSensorValue();
    account.code = RotationCodeFor(account.read);
    if (account.code < 0)
        return EndEvent(settings, &account, DID_NOTHING_NO_POSITION);
    int held = RotationQuery();
    if (held == -1)
        return EndEvent(settings, &account, DID_NOTHING_NO_SERVICE);
    // Asked for even when the display holds the code already: only the
    // account tells the two apart.
    g_rotationTurn((DWORD)account.code);
    // The set's result says only that the service was called: the shell may
    // keep the old rotation. The account asks what the display holds now;
    // without the account there is no such call.
    if (!settings->log)
        return 0;
    account.answered = RotationQuery();
    if (account.answered != account.code)
        return EndEvent(settings, &account, DID_TURN_NOT_TAKEN);
    return EndEvent(settings, &account, held == account.code ? DID_ALREADY_HELD : DID_TURN);
}
