// Handling of one sensor event: who is in the foreground, what the
// configuration file says now, and then the face-down action or the turn of
// the display to the position the sensor holds after the wait.
#include "orientation.h"
#include "monitor.h"
#include "sensorlib.h"
#include "aygshell.h"
#include "common/procname.h"
#include "common/registry.h"
#include "common/textsearch.h"

PFN_DisplayEscape g_displayEscape = ExtEscape;

// The wait before the position is read again. A negative timeout would be
// an endless wait for Sleep; it means no wait.
static DWORD EventWaitMs(int timeout)
{
    return timeout > 0 ? (DWORD)timeout : 0;
}

int MatchesAnyEntry(const CStrList *list, LPCWSTR name)
{
    for (UINT i = 0; i < list->count; i++) {
        if (FindNoCase(name, list->At(i)))
            return 1;
    }
    return 0;
}

int IsExemptWindow(const CStrList *list, int onlyfor, LPCWSTR className, LPCWSTR title,
                   LPCWSTR processName)
{
    int listed = MatchesAnyEntry(list, className) || MatchesAnyEntry(list, title) ||
                 MatchesAnyEntry(list, processName);
    // The list names the windows left alone, or with onlyfor the only
    // windows that turn.
    return onlyfor == 0 ? listed : !listed;
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

int RotationQuery(void)
{
    HMODULE shell = LoadLibraryW(TEXT("aygshell.dll"));
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
    FreeLibrary(shell);
    return result;
}

int RotationSet(DWORD code)
{
    HMODULE shell = LoadLibraryW(TEXT("aygshell.dll"));
    if (!shell)
        return -1;
    int result = -1;
    PFN_RotationSet set = BIND_ENTRY(PFN_RotationSet, shell,
                                     MAKEINTRESOURCEW(AYG_ORDINAL_ROTATION_SET));
    if (set) {
        set(code);
        result = 0;
    }
    FreeLibrary(shell);
    return result;
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

LRESULT HandleSensorEvent(DWORD value, MonitorSettings *settings)
{
    WCHAR title[WINDOW_NAME_CAPACITY];
    WCHAR className[WINDOW_NAME_CAPACITY];
    WCHAR processName[WINDOW_NAME_CAPACITY];
    title[0] = 0;
    className[0] = 0;
    processName[0] = 0;

    HWND foreground = GetForegroundWindow();
    if (foreground) {
        if (!GetWindowTextW(foreground, title, WINDOW_NAME_CAPACITY))
            title[0] = 0;
        if (!GetClassNameW(foreground, className, WINDOW_NAME_CAPACITY))
            className[0] = 0;
    }
    GetWindowProcessName(foreground, processName, WINDOW_NAME_CAPACITY);

    // Read afresh at every event, so an edited file counts at once.
    ReadMonitorSettings(g_monitorConfigPath, settings);

    if (settings->fdscreenoff > 0 && value == SENSOR_FACE_DOWN) {
        Sleep(EventWaitMs(settings->timeout));
        // Only a phone that still lies face down after the wait counts.
        if (ReadSensorValue() == SENSOR_FACE_DOWN) {
            if (settings->fdscreenoff == FDSCREENOFF_POWER_KEY)
                PressPowerKey();
            else
                SetDisplayPower(0);
        }
        return 0;
    }

    if (IsExemptWindow(&settings->windows, settings->onlyfor, className, title, processName))
        return 0;

    Sleep(EventWaitMs(settings->timeout));
    // The position after the wait decides, not the one posted.
    int code = RotationCodeFor(ReadSensorValue());
    if (code >= 0 && RotationQuery() != -1)
        RotationSet((DWORD)code);
    return 0;
}
