// Entry point: every start of the program passes through here.
#include "wince.h"
#include <objbase.h>
#include "commands.h"
#include "common/globals.h"
#include "monitor/monitor.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    g_vorn.resModule = instance;
    g_vorn.ownModule = instance;
    if (HandleCommandLine(commandLine))
        return 0;
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
    SetThreadPriority(GetCurrentThread(), 2);
    RunMonitor(instance, MONITOR_CLASS);
    return 0;
}
