// Entry point: every start of the program passes through here.
//
// On the phone this function is the image's entry itself, with no run-time
// start-up before it. It assumes of the phone's loader what the phone's
// own programs rely on: it is called in ARM state with WinMain's four
// arguments in r0 to r3 (the instance, none, the command line as wide text
// without the program's name, the show state), the process ends when it
// returns, and nothing needs running before it: no static constructor, no
// C run-time set-up (the C functions the program calls are the core
// library's own).
#include "wince.h"
#include <objbase.h>
#include "commands.h"
#include "common/globals.h"
#include "monitor/monitor.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    // The monitor's settings live here, from the entry to the end.
    MonitorSettings settings;
    StartMonitorRecords(&settings);
    g_vorn.resModule = instance;
    g_vorn.ownModule = instance;
    if (!HandleCommandLine(commandLine)) {
        CoInitializeEx(NULL, COINIT_MULTITHREADED);
        SetThreadPriority(GetCurrentThread(), 2);
        RunMonitor(instance, MONITOR_CLASS);
    }
    EndMonitorRecords();
    return 0;
}
