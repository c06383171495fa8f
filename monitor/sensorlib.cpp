// The G-sensor library binding: the monitor opens the sensor once and keeps
// it open until it shuts down; positions come through the registry.
#include "sensorlib.h"

SensorLib g_sensorLib;

int OpenSensor(void)
{
    g_sensorLib.module = LoadLibraryW(TEXT("HTCSensorSDK.dll"));
    if (!g_sensorLib.module)
        return 1;
    g_sensorLib.open = BIND_ENTRY(PFN_HTCSensorOpen, g_sensorLib.module, TEXT("HTCSensorOpen"));
    g_sensorLib.close =
        BIND_ENTRY(PFN_HTCSensorClose, g_sensorLib.module, TEXT("HTCSensorClose"));
    if (!g_sensorLib.open || !g_sensorLib.close)
        return 2;
    g_sensorLib.handle = g_sensorLib.open(1);
    if (!g_sensorLib.handle) {
        CloseSensor();
        return 3;
    }
    return 0;
}

int CloseSensor(void)
{
    int result = -1;
    if (g_sensorLib.close)
        result = (int)g_sensorLib.close(g_sensorLib.handle);
    if (g_sensorLib.module)
        FreeLibrary(g_sensorLib.module);
    // Released: the entry points point into a library that may be gone, so
    // a later close must find nothing to call and nothing to free.
    g_sensorLib.open = NULL;
    g_sensorLib.close = NULL;
    g_sensorLib.module = NULL;
    g_sensorLib.handle = NULL;
    return result;
}
