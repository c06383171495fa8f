// Handling of one sensor event: who is in the foreground, what the
// configuration file says now, and then the face-down action or the turn of
// the display to the position the sensor holds after the wait. And of one
// front change: the display follows the app that comes to the front, held
// by its hold or turned to where the phone already lies.
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
HoldMemory g_holdMemory = {NO_SAVED_CODE, 1};
int g_momentsSeen;

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
// That macro drops the choice to wait for all the handles, so the wait here
// is always for any one of them.
DWORD WaitForQueue(DWORD count, HANDLE *handles, DWORD ms, DWORD wakeMask)
{
    return MsgWaitForMultipleObjects(count, handles, FALSE, ms, wakeMask);
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
        DWORD woke = g_queueWait(0, NULL, ms - elapsed, QS_POSTMESSAGE);
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

// Reads a window's title and class; the program name waits until it is
// asked for.
static void ReadWindowNames(HWND window, FrontWindow *names)
{
    names->window = window;
    names->title[0] = 0;
    names->className[0] = 0;
    names->program[0] = 0;
    names->programRead = 0;
    if (window) {
        if (!GetWindowTextW(window, names->title, WINDOW_NAME_CAPACITY))
            names->title[0] = 0;
        if (!GetClassNameW(window, names->className, WINDOW_NAME_CAPACITY))
            names->className[0] = 0;
    }
}

// The last entry of the hold list that names the window in front, and by
// what: a later line overrides an earlier one. The program name is looked
// up only for an entry that neither the class nor the title matched.
static int FindHold(const CStrList *holds, FrontWindow *front, int *entry)
{
    for (UINT i = holds->count; i-- > 0;) {
        LPCWSTR name = HoldName(holds, i);
        *entry = (int)i;
        if (FindNoCase(front->className, name))
            return DECIDED_BY_CLASS;
        if (FindNoCase(front->title, name))
            return DECIDED_BY_TITLE;
        if (FindNoCase(FrontProgram(front), name))
            return DECIDED_BY_PROGRAM;
    }
    *entry = -1;
    return DECIDED_NO_MATCH;
}

int LandscapeCodeFor(DWORD value, int held, int lastLandscape)
{
    if (value == SENSOR_TURNED_90 || value == SENSOR_TURNED_270)
        return RotationCodeFor(value);
    // Upright, upside down, face down, unreadable or unknown: the phone
    // gives no landscape, so the display keeps the one it has.
    if (held == 1 || held == 3)
        return held;
    return lastLandscape;
}

// Every landscape position the monitor sees, posted or read, is the one a
// landscape hold turns to while the phone points nowhere useful.
static void NoteLandscape(DWORD value)
{
    if (value == SENSOR_TURNED_90 || value == SENSOR_TURNED_270)
        g_holdMemory.landscapeCode = RotationCodeFor(value);
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
    NoteLandscape(value);
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

// Reads the window in front, title and class; the program name waits
// until it is asked for. Returns the window, null when none is in front.
static HWND ReadFrontWindow(FrontWindow *front)
{
    ReadWindowNames(GetForegroundWindow(), front);
    return front->window;
}

static void StartAccount(EventAccount *account, const FrontWindow *front)
{
    ZeroMemory(account, sizeof(*account));
    account->front = front->window;
    account->title = front->title;
    account->className = front->className;
    account->program = front->program;
}

// The first hold keeps the code the display held before it, for the first
// window that is not held to give back.
static void SaveCodeBeforeHold(int held)
{
    if (g_holdMemory.savedCode == NO_SAVED_CODE)
        g_holdMemory.savedCode = held;
}

// Turns the display to the account's code, unless it holds that code
// already. Returns the deed.
static int TurnUnlessHeld(const MonitorSettings *settings, EventAccount *account, int held)
{
    if (held == account->code)
        return DID_ALREADY_HELD;
    g_rotationTurn((DWORD)account->code);
    // Only the account asks what the display holds now.
    if (!settings->log)
        return DID_TURN;
    account->answered = RotationQuery();
    return account->answered == account->code ? DID_TURN : DID_TURN_NOT_TAKEN;
}

// The last hold that names the window in front goes into the account;
// 0 when none does.
static int FindHoldOf(MonitorSettings *settings, FrontWindow *front, EventAccount *account)
{
    int entry;
    account->decided = FindHold(&settings->holds, front, &entry);
    // A held app's own dialogs and message boxes keep its hold: its chain of
    // owners is followed up to the first window that has none.
    HWND owner = front->window;
    for (int depth = 0; account->decided == DECIDED_NO_MATCH && settings->holds.count > 0 &&
                        depth < OWNER_CHAIN_LIMIT;
         ++depth) {
        owner = owner ? GetWindow(owner, GW_OWNER) : NULL;
        if (!owner)
            break;
        FrontWindow names;
        ReadWindowNames(owner, &names);
        account->decided = FindHold(&settings->holds, &names, &entry);
        account->byOwner = account->decided != DECIDED_NO_MATCH;
    }
    if (account->decided == DECIDED_NO_MATCH)
        return 0;
    account->hold = HoldKind(&settings->holds, (UINT)entry);
    account->entry = HoldName(&settings->holds, (UINT)entry);
    return 1;
}

// Turns the display to the hold of the window in front, the value read
// (for a landscape) being the account's. Returns the deed.
static int KeepHold(const MonitorSettings *settings, EventAccount *account)
{
    int held = RotationQuery();
    if (held == -1)
        return DID_NOTHING_NO_SERVICE;
    SaveCodeBeforeHold(held);
    account->code = account->hold == HOLD_PORTRAIT
                        ? 0
                        : LandscapeCodeFor(account->read, held, g_holdMemory.landscapeCode);
    return TurnUnlessHeld(settings, account, held);
}

// A sensor event with a held window in front. Portrait needs no position,
// so no wait either; landscape follows the sensor between its two sides.
static LRESULT HandleHeldAtEvent(HWND window, MonitorSettings *settings, EventAccount *account)
{
    if (account->hold == HOLD_PORTRAIT) {
        account->unwaited = 1;
    } else {
        if (!g_eventWait(window, account->waitedMs))
            return EndEvent(settings, account, DID_DROP_UNLOADED);
        account->read = ReadSensorValue();
    }
    return EndEvent(settings, account, KeepHold(settings, account));
}

int MomentInProgress(int moment, DWORD value)
{
    if (moment == MOMENT_CALL)
        return (value & PHONE_CALL_TALKING) != 0;
    return value != 0;
}

static int PublishedMoment(int moment)
{
    DWORD value = 0;
    if (moment == MOMENT_CALL)
        RegReadDword(HKEY_LOCAL_MACHINE, PHONE_KEY_PATH, PHONE_STATUS_VALUE_NAME, &value);
    else
        RegReadDword(HKEY_CURRENT_USER, KEYBOARD_KEY_PATH, KEYBOARD_VALUE_NAME, &value);
    return MomentInProgress(moment, value) ? moment : MOMENT_NONE;
}

int PublishedMoments(void)
{
    return PublishedMoment(MOMENT_CALL) | PublishedMoment(MOMENT_KEYBOARD);
}

int MomentNow(const MonitorSettings *settings)
{
    if (settings->call && PublishedMoment(MOMENT_CALL))
        return MOMENT_CALL;
    if (settings->keyboard && PublishedMoment(MOMENT_KEYBOARD))
        return MOMENT_KEYBOARD;
    return MOMENT_NONE;
}

// The account's reason for a moment.
static int DecidedByMoment(int moment)
{
    return moment == MOMENT_CALL ? DECIDED_CALL : DECIDED_KEYBOARD;
}

LRESULT HandleSensorEvent(HWND window, DWORD value, MonitorSettings *settings)
{
    FrontWindow front;
    ReadFrontWindow(&front);
    NoteLandscape(value);

    // Read afresh at every event, so an edited file counts at once.
    ReadMonitorSettings(g_monitorConfigPath, settings);

    EventAccount account;
    StartAccount(&account, &front);
    account.posted = value;
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

    // At the ear, or under the thumbs on the keyboard, the phone's position
    // says nothing about how the screen is read: the display keeps its
    // rotation, a hold's included.
    int moment = MomentNow(settings);
    if (moment != MOMENT_NONE) {
        account.decided = DecidedByMoment(moment);
        return EndEvent(settings, &account, DID_LEAVE_ALONE);
    }

    // A hold says what the window needs, whatever the list says.
    if (FindHoldOf(settings, &front, &account))
        return HandleHeldAtEvent(window, settings, &account);

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
    // The window that is not held now decides: nothing is given back.
    g_holdMemory.savedCode = NO_SAVED_CODE;
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

// A front change keeps a line only when it asked for a turn or a held
// window came to the front; the program name is looked up for it only then.
static LRESULT EndFrontChange(const MonitorSettings *settings, FrontWindow *front,
                              EventAccount *account, int did)
{
    account->did = did;
    if (settings->log) {
        FrontProgram(front);
        KeepAccount(g_monitorConfigPath, account);
    }
    return 0;
}

// The moment whose end is the point, or MOMENT_NONE.
static int EndedMoment(int point)
{
    if (point == POINT_CALL_ENDED)
        return MOMENT_CALL;
    if (point == POINT_KEYBOARD_IN)
        return MOMENT_KEYBOARD;
    return MOMENT_NONE;
}

static int MomentWatched(const MonitorSettings *settings, int moment)
{
    return moment == MOMENT_CALL ? settings->call : settings->keyboard;
}

// The display follows the window in front, with no wait: another app came
// to the front, a moment ended, or the monitor started (point, POINT_...).
static LRESULT FollowFront(HWND window, MonitorSettings *settings, int point)
{
    // The monitor is leaving: the front change is dropped, as an event's
    // wait is cut short.
    if (ShutDownQueued(window))
        return 0;
    FrontWindow front;
    if (!ReadFrontWindow(&front))
        return 0;
    // The file is only read here: the first sensor event creates it.
    ReadMonitorSettings(g_monitorConfigPath, settings, SETTINGS_LEAVE_MISSING);
    // The end of a moment that the file does not watch changes nothing: the
    // display followed all along.
    int ended = EndedMoment(point);
    if (ended != MOMENT_NONE && !MomentWatched(settings, ended))
        return 0;

    EventAccount account;
    StartAccount(&account, &front);
    account.frontChange = point;
    account.unwaited = 1;
    // Once, with no wait: the phone is already in the hand.
    account.read = ReadSensorValue();

    int isHeld = FindHoldOf(settings, &front, &account);
    // At start only a held window is looked at.
    if (!isHeld && point == POINT_START)
        return 0;
    // A moment keeps the display whoever comes to the front; its end, or
    // the other moment's, brings the window in front to the display.
    int moment = MomentNow(settings);
    if (moment != MOMENT_NONE) {
        account.decided = DecidedByMoment(moment);
        return EndFrontChange(settings, &front, &account, DID_LEAVE_ALONE);
    }
    // A held window: its hold at once.
    if (isHeld)
        return EndFrontChange(settings, &front, &account, KeepHold(settings, &account));

    int entry;
    account.decided = FindListing(&settings->windows, &front, &entry);
    account.entry = entry >= 0 ? settings->windows.At((UINT)entry) : NULL;
    account.setting = settings->onlyfor;
    int exempt = ExemptWhenListed(settings->onlyfor, account.decided != DECIDED_NO_MATCH);
    // Leaving the holds: the code saved before them is used up here.
    int saved = g_holdMemory.savedCode;
    g_holdMemory.savedCode = NO_SAVED_CODE;
    if (saved == NO_SAVED_CODE && exempt)
        return 0;
    account.code = RotationCodeFor(account.read);
    // An exempt window, or a phone that gives no position: the display
    // goes back to what it held before the holds.
    int giveBack = saved != NO_SAVED_CODE && (exempt || account.code < 0);
    if (giveBack)
        account.code = saved;
    if (account.code < 0)
        return 0;
    int held = RotationQuery();
    // No service, or nothing to turn: nothing asked, nothing to tell.
    if (held == -1 || held == account.code)
        return 0;
    int did = TurnUnlessHeld(settings, &account, held);
    return EndFrontChange(settings, &front, &account,
                          giveBack && did == DID_TURN ? DID_GIVE_BACK : did);
}

LRESULT HandleFrontChange(HWND window, MonitorSettings *settings)
{
    return FollowFront(window, settings, POINT_FRONT_CHANGE);
}

LRESULT HandleMomentChange(HWND window, int moment, DWORD value, MonitorSettings *settings)
{
    int was = g_momentsSeen & moment;
    if (MomentInProgress(moment, value)) {
        g_momentsSeen |= moment;
        return 0;
    }
    g_momentsSeen &= ~moment;
    // Another bit of the phone's status that changes ends no call.
    if (!was)
        return 0;
    return FollowFront(window, settings,
                       moment == MOMENT_CALL ? POINT_CALL_ENDED : POINT_KEYBOARD_IN);
}

LRESULT HandleStartLook(HWND window, MonitorSettings *settings)
{
    return FollowFront(window, settings, POINT_START);
}
