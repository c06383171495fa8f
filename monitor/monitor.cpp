// The resident monitor: one hidden window whose existence marks the running
// instance, the open sensor, and the registrations for sensor events, for
// changes of the app in front and for the phone's call and keyboard.
#include "monitor.h"
#include "common/globals.h"
#include "common/message.h"
#include "orientation.h"
#include "regnotify.h"
#include "sensorlib.h"
#include "res/resource.h"

// The phone program runs no static constructor: every record below starts
// as zeros, and the entry sets up the rest.
static DWORD QueryOsMajorVersion(void)
{
    OSVERSIONINFOW info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    return GetVersionExW(&info) ? info.dwMajorVersion : 0;
}

DWORD g_osMajorVersion;
HREGNOTIFY g_notifyHandle;
HREGNOTIFY g_frontNotifyHandle;
HREGNOTIFY g_callNotifyHandle;
HREGNOTIFY g_keyboardNotifyHandle;
WCHAR g_monitorConfigPath[CONFIG_PATH_CAPACITY];
static HWND s_monitorWindow;
static MonitorSettings *s_settings;

void StartMonitorRecords(MonitorSettings *settings)
{
    g_osMajorVersion = QueryOsMajorVersion();
    s_settings = settings;
}

void EndMonitorRecords(void)
{
    s_settings = NULL;
}

void RegisterMonitorClass(HINSTANCE instance, LPCWSTR className)
{
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MonitorWndProc;
    wc.hInstance = instance;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = className;
    RegisterClassW(&wc);
}

int CreateMonitorWindow(HINSTANCE instance, LPCWSTR className)
{
    s_monitorWindow = CreateWindowExW(0, className, TEXT(""), 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, instance, NULL);
    return s_monitorWindow ? 1 : 0;
}

int RunMonitor(HINSTANCE instance, LPCWSTR className)
{
    RegisterMonitorClass(instance, className);
    if (!CreateMonitorWindow(instance, className))
        return 0;
    ShowWindow(s_monitorWindow, SW_HIDE);
    MSG msg;
    msg.wParam = 0;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return (int)msg.wParam;
}

static LRESULT OnCreate(HWND window)
{
    int code = OpenSensor();
    if (code != 0) {
        ShowMessageF(window, LoadResString(IDS_CAPTION), 0, LoadResString(IDS_SENSOR_ERROR),
                     code);
        CloseSensor();
        PostQuitMessage(0);
        return 0;
    }
    if (g_osMajorVersion >= 5) {
        RegNotifyLib shell;
        shell.Load();
        shell.NotifyWindow(HKEY_LOCAL_MACHINE, SENSOR_KEY_PATH, SENSOR_VALUE_NAME, window,
                           WMU_SENSOR_EVENT, 0, NULL, &g_notifyHandle);
        // The same broker publishes the app in front; the sensor comes first.
        shell.NotifyWindow(HKEY_CURRENT_USER, FRONT_KEY_PATH, FRONT_VALUE_NAME, window,
                           WMU_FRONT_CHANGE, 0, NULL, &g_frontNotifyHandle);
        // And the phone's moments that keep the display: a call, the keyboard.
        shell.NotifyWindow(HKEY_LOCAL_MACHINE, PHONE_KEY_PATH, PHONE_STATUS_VALUE_NAME, window,
                           WMU_CALL_CHANGE, 0, NULL, &g_callNotifyHandle);
        shell.NotifyWindow(HKEY_CURRENT_USER, KEYBOARD_KEY_PATH, KEYBOARD_VALUE_NAME, window,
                           WMU_KEYBOARD_CHANGE, 0, NULL, &g_keyboardNotifyHandle);
        shell.Release();
        // Read once registered: a change from now on is told.
        g_momentsSeen = PublishedMoments();
        // A held app already in front is not left unheld until something
        // happens: it is looked at once the loop runs.
        PostMessageW(window, WMU_START_LOOK, 0, 0);
    }
    GetConfigPath(g_vorn.ownModule, g_monitorConfigPath);
    return 0;
}

// A second shut-down message can arrive before the loop ends; the platform
// must not be handed a registration it has already freed.
static void CloseRegistration(RegNotifyLib *shell, HREGNOTIFY *handle)
{
    if (*handle) {
        shell->CloseNotification(*handle);
        *handle = NULL;
    }
}

static LRESULT OnShutDown(void)
{
    RegNotifyLib shell;
    shell.Load();
    CloseRegistration(&shell, &g_notifyHandle);
    CloseRegistration(&shell, &g_frontNotifyHandle);
    CloseRegistration(&shell, &g_callNotifyHandle);
    CloseRegistration(&shell, &g_keyboardNotifyHandle);
    shell.Release();
    CloseSensor();
    PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK MonitorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_DESTROY:
    case WM_ACTIVATE:
    case WM_PAINT:
        return 0;
    case WM_CLOSE:
    case WMU_UNLOAD:
        return OnShutDown();
    case WM_COMMAND:
        if (LOWORD(wParam) == 1) {
            PostQuitMessage(0);
            return 0;
        }
        break;
    case WMU_SENSOR_EVENT:
        return s_settings ? HandleSensorEvent(window, (DWORD)wParam, s_settings) : 0;
    case WMU_FRONT_CHANGE:
        return s_settings ? HandleFrontChange(window, s_settings) : 0;
    case WMU_CALL_CHANGE:
        return s_settings ? HandleMomentChange(window, MOMENT_CALL, (DWORD)wParam, s_settings) : 0;
    case WMU_KEYBOARD_CHANGE:
        return s_settings ? HandleMomentChange(window, MOMENT_KEYBOARD, (DWORD)wParam, s_settings)
                          : 0;
    case WMU_START_LOOK:
        return s_settings ? HandleStartLook(window, s_settings) : 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
