// The resident monitor: hidden window, sensor binding and sensor events.
#pragma once
#include "wince.h"
#include "aygshell.h"
#include "common/config.h"

// The sensor's position as the driver publishes it.
#define SENSOR_KEY_PATH TEXT("\\Software\\HTC\\HTCSensor\\GSensor")
#define SENSOR_VALUE_NAME TEXT("EventChanged")

int RunMonitor(HINSTANCE instance, LPCWSTR className);
void RegisterMonitorClass(HINSTANCE instance, LPCWSTR className);
int CreateMonitorWindow(HINSTANCE instance, LPCWSTR className);
LRESULT CALLBACK MonitorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// OS major version, read once before WinMain runs; 0 when unknown.
// Sensor notifications are only asked for from version 5 on.
extern DWORD g_osMajorVersion;
// Registration for changes of the sensor value; 0 while none is held.
extern HREGNOTIFY g_notifyHandle;
// The configuration file the sensor events read, set when the window is made.
extern WCHAR g_monitorConfigPath[CONFIG_PATH_CAPACITY];
