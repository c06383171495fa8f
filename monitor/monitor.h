// The resident monitor: hidden window, sensor binding, sensor events and
// front changes.
#pragma once
#include "wince.h"
#include "aygshell.h"
#include "common/config.h"

// The sensor's position as the driver publishes it.
#define SENSOR_KEY_PATH TEXT("\\Software\\HTC\\HTCSensor\\GSensor")
#define SENSOR_VALUE_NAME TEXT("EventChanged")
// The app in front, as the phone's shell publishes it (under
// HKEY_CURRENT_USER): the monitor is told of each change, never reads it.
#define FRONT_KEY_PATH TEXT("System\\State\\Shell")
#define FRONT_VALUE_NAME TEXT("Active Application")
// The phone's moments, as its broker publishes them: the phone's status
// (HKEY_LOCAL_MACHINE), whose bit PHONE_CALL_TALKING is set during a call,
// and the shell's keyboard (HKEY_CURRENT_USER), non-zero while it is out.
#define PHONE_KEY_PATH TEXT("System\\State\\Phone")
#define PHONE_STATUS_VALUE_NAME TEXT("Status")
#define PHONE_CALL_TALKING 0x20000000
#define KEYBOARD_KEY_PATH TEXT("Software\\Microsoft\\Shell")
#define KEYBOARD_VALUE_NAME TEXT("HasKeyboard")

int RunMonitor(HINSTANCE instance, LPCWSTR className);
void RegisterMonitorClass(HINSTANCE instance, LPCWSTR className);
int CreateMonitorWindow(HINSTANCE instance, LPCWSTR className);
LRESULT CALLBACK MonitorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The monitor's records, set up at the entry before anything else runs and
// released at the end, so that the program needs no static constructor or
// destructor: reads the OS version and hands the monitor the settings
// record that the entry keeps for the program's life. Events that reach a
// monitor window without a record change nothing.
void StartMonitorRecords(MonitorSettings *settings);
void EndMonitorRecords(void);

// OS major version, read at the entry; 0 when unknown. Sensor
// notifications are only asked for from version 5 on.
extern DWORD g_osMajorVersion;
// Registration for changes of the sensor value; 0 while none is held.
extern HREGNOTIFY g_notifyHandle;
// Registration for changes of the app in front; 0 while none is held.
extern HREGNOTIFY g_frontNotifyHandle;
// Registrations for changes of the phone's status and of its keyboard; 0
// while none is held.
extern HREGNOTIFY g_callNotifyHandle;
extern HREGNOTIFY g_keyboardNotifyHandle;
// The configuration file the sensor events read, set when the window is made.
extern WCHAR g_monitorConfigPath[CONFIG_PATH_CAPACITY];
