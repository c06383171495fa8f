// Binding of the G-sensor library. It stays loaded, with the sensor open,
// for as long as the monitor runs.
#pragma once
#include "wince.h"

typedef HANDLE(WINAPI *PFN_HTCSensorOpen)(DWORD sensor);
typedef DWORD(WINAPI *PFN_HTCSensorClose)(HANDLE sensor);

struct SensorLib {
    PFN_HTCSensorOpen open;
    PFN_HTCSensorClose close;
    HMODULE module;
    HANDLE handle;  // open sensor, 0 when not open
};

extern SensorLib g_sensorLib;

// 0 when the sensor is open; 1 no library, 2 an entry point missing,
// 3 the sensor refused to open.
int OpenSensor(void);
// HTCSensorClose's result, or -1 when nothing is bound. Releases the
// library; a second call finds the binding empty and does nothing.
int CloseSensor(void);

// Entry point of a loaded library, typed for the caller.
#define BIND_ENTRY(type, module, name) ((type)(void (*)(void))GetProcAddressW((module), (name)))
