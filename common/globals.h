// Program-wide values shared by the entry point, the monitor and the editor.
#pragma once
#include "wince.h"

#define VERSION_MAJOR 1
#define VERSION_MINOR 2

// Private window messages between instances and from the platform.
#define WMU_UNLOAD 1234        // both parameters 0
#define WMU_SENSOR_EVENT 1235  // wParam: new value of "EventChanged"
#define WMU_FRONT_CHANGE 1236  // another app came to the front; neither parameter is used
#define WMU_CALL_CHANGE 1237   // wParam: new value of the phone's "Status"
#define WMU_KEYBOARD_CHANGE 1238  // wParam: new value of the shell's "HasKeyboard"
#define WMU_START_LOOK 1239    // the monitor's own, once registered: a look at the window
                               // in front; neither parameter is used

#define MONITOR_CLASS TEXT("QZGSENSOR_CLASS")
#define EDITOR_CLASS TEXT("QZSGCFGEDIT")

struct VornGlobals {
    HINSTANCE resModule;   // resource strings are looked up here first
    HINSTANCE ownModule;   // the executable: fallback for strings, window instance
    HWND runningInstance;  // the monitor window found at start, or 0
};

extern VornGlobals g_vorn;
