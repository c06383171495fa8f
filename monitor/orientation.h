// What the monitor does with each sensor event: the foreground-window test,
// the rotation of the display and the face-down action.
#pragma once
#include "wince.h"
#include "common/config.h"
#include "common/strlist.h"

// Positions the sensor driver reports, named by the turn of the display
// they call for.
#define SENSOR_TURNED_90 0x10000
#define SENSOR_TURNED_270 0x10001
#define SENSOR_UPRIGHT 0x10002
#define SENSOR_UPSIDE_DOWN 0x10003
#define SENSOR_FACE_DOWN 0x10004

#define WINDOW_NAME_CAPACITY 128

#define FDSCREENOFF_POWER_KEY 2

// Handles one WMU_SENSOR_EVENT carrying the posted value for the monitor
// window; returns 0.
LRESULT HandleSensorEvent(HWND window, DWORD value, MonitorSettings *settings);
// Handles one WMU_FRONT_CHANGE: another app came to the front. A held
// window turns the display to its hold at once; leaving holds gives the
// display back; any other window that may turn is turned to the position
// the phone is in now. Never waits; returns 0.
LRESULT HandleFrontChange(HWND window, MonitorSettings *settings);

// The phone's moments in which the display keeps its rotation, as bits.
#define MOMENT_NONE 0
#define MOMENT_CALL 1
#define MOMENT_KEYBOARD 2

// 1 when the value published for the moment says it is on.
int MomentInProgress(int moment, DWORD value);
// The moments the phone publishes as on now, of both kinds (MOMENT_ bits).
int PublishedMoments(void);
// The moment that keeps the display now, of those the settings watch: a
// call before the keyboard; MOMENT_NONE for none.
int MomentNow(const MonitorSettings *settings);
// The moments in progress as last told (MOMENT_ bits): read when the
// monitor registers, kept by each change told.
extern int g_momentsSeen;

// Handles one WMU_CALL_CHANGE or WMU_KEYBOARD_CHANGE with the value
// published: when a moment the settings watch ends, the display follows at
// once, as at a front change. Never waits; returns 0.
LRESULT HandleMomentChange(HWND window, int moment, DWORD value, MonitorSettings *settings);
// Handles WMU_START_LOOK: a held window in front when the monitor starts
// is handled as at a front change; any other, nothing. Returns 0.
LRESULT HandleStartLook(HWND window, MonitorSettings *settings);

// The owners a held window's own windows are followed up through, at most:
// a chain that loops must not hold the monitor.
#define OWNER_CHAIN_LIMIT 16

#define NO_SAVED_CODE -1

// What the monitor keeps for its holds from one event or front change to
// the next, as at start until then.
struct HoldMemory {
    int savedCode;      // the display's code from before the first hold, or NO_SAVED_CODE
    int landscapeCode;  // the code of the last landscape position seen: 1, or 3
};
extern HoldMemory g_holdMemory;

// The code a landscape hold turns to for a value read, while the display
// holds the code held: the sensor's landscape, else the landscape the
// display keeps, else the last one seen.
int LandscapeCodeFor(DWORD value, int held, int lastLandscape);

// The wait before the position is read again. The monitor's queue is
// watched meanwhile: a shut-down request (WMU_UNLOAD or WM_CLOSE) for the
// window ends it early and stays queued for the message loop, as does every
// other message. Returns 1 after the whole wait, 0 when it was cut short.
int WaitUnlessShutDown(HWND window, DWORD ms);
// The event handler's wait. Tests replace it to see when, and how long, the
// handler waits.
typedef int (*PFN_EventWait)(HWND window, DWORD ms);
extern PFN_EventWait g_eventWait;
// The queue wait inside WaitUnlessShutDown: WaitForQueue, which calls
// MsgWaitForMultipleObjects and returns as soon as any one of the handles
// is signalled or a message of wakeMask comes. The handles are not const:
// the phone's headers declare the wait so. Tests replace it with one that
// returns at once, as the platform may.
typedef DWORD (*PFN_QueueWait)(DWORD count, HANDLE *handles, DWORD ms, DWORD wakeMask);
extern PFN_QueueWait g_queueWait;
DWORD WaitForQueue(DWORD count, HANDLE *handles, DWORD ms, DWORD wakeMask);

int MatchesAnyEntry(const CStrList *list, LPCWSTR name);
// Index of the first entry of the list that occurs in the name, or -1.
int FindMatchingEntry(const CStrList *list, LPCWSTR name);
// 1 when the foreground window with these names is to be left alone.
int IsExemptWindow(const CStrList *list, int onlyfor, LPCWSTR className, LPCWSTR title,
                   LPCWSTR processName);
// Rotation code for a sensor value, or -1 for a value that does not rotate.
int RotationCodeFor(DWORD value);

int RotationQuery(void);
int RotationSet(DWORD code);
// The library that RotationQuery and RotationSet take the rotation service
// from. Tests name one without it.
extern LPCWSTR g_rotationLibrary;
// The same, with the rotation exports of the named library: taken from the
// loaded module when there is one, else loaded for the call and released.
int RotationQueryFrom(LPCWSTR library);
int RotationSetFrom(LPCWSTR library, DWORD code);
// The turn the event handler asks for (RotationSet). Tests replace it with
// one that the display does not take, as a display that refuses a mode.
typedef int (*PFN_RotationTurn)(DWORD code);
extern PFN_RotationTurn g_rotationTurn;
// 1 when the request went to the display; 0 when the display has no power
// control (the desktop's never has) and nothing was sent.
int SetDisplayPower(int on);
void PressPowerKey(void);

// The display driver's escape call. Tests replace it, because the desktop
// display driver does not offer the power escape.
typedef int(WINAPI *PFN_DisplayEscape)(HDC dc, int escape, int inputSize, LPCSTR input,
                                       int outputSize, LPSTR output);
extern PFN_DisplayEscape g_displayEscape;
