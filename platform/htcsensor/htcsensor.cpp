// Sensor library stand-in: opening and closing the G-sensor. The phone's
// library hands out a handle per open and takes it back on close; the
// monitor only keeps the sensor open while it runs, so nothing else of the
// library is emulated. Every call is written to the call log.
//
// Variant builds reach the monitor's failure roads:
//   SENSOR_OPEN_FAILS  HTCSensorOpen answers 0 (no sensor handle).
//   (htcsensor_noclose.def exports HTCSensorOpen only.)
#include <windows.h>
#include "../standin_log.h"

// Handles are small numbers from a counter, never pointers, so that they fit
// the 32-bit handle the phone's callers keep.
#define SENSOR_HANDLE_BASE 0x5E000000UL
#define MAX_OPEN_SENSORS 32

static volatile LONG s_lastHandle = 0;
static volatile LONG s_open[MAX_OPEN_SENSORS];  // open handles; 0 = free slot

static ULONG_PTR OpenHandle()
{
#ifdef SENSOR_OPEN_FAILS
    return 0;
#else
    LONG handle = (LONG)(SENSOR_HANDLE_BASE + (ULONG)InterlockedIncrement(&s_lastHandle));
    for (int i = 0; i < MAX_OPEN_SENSORS; i++) {
        if (InterlockedCompareExchange(&s_open[i], handle, 0) == 0)
            return (ULONG)handle;
    }
    return 0;  // too many open at once: the library refuses
#endif
}

static DWORD CloseHandleOf(ULONG_PTR handle)
{
    if (handle == 0 || handle > 0xFFFFFFFFUL)
        return 0;
    for (int i = 0; i < MAX_OPEN_SENSORS; i++) {
        if (InterlockedCompareExchange(&s_open[i], 0, (LONG)handle) == (LONG)handle)
            return 1;
    }
    return 0;  // never opened here, or closed already
}

extern "C" HANDLE WINAPI HTCSensorOpen(DWORD sensor)
{
    ULONG_PTR handle = OpenHandle();
    StandinLog(L"htcsensor HTCSensorOpen sensor=%lu handle=0x%llx", (unsigned long)sensor,
               (unsigned long long)handle);
    return (HANDLE)handle;
}

extern "C" DWORD WINAPI HTCSensorClose(HANDLE sensor)
{
    DWORD result = CloseHandleOf((ULONG_PTR)sensor);
    StandinLog(L"htcsensor HTCSensorClose handle=0x%llx result=%lu",
               (unsigned long long)(ULONG_PTR)sensor, (unsigned long)result);
    return result;
}
