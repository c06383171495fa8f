// What another process does to the configuration file at the moment Save
// moves its new text into place, on the phone's road.
#pragma once
#include <windows.h>

struct MoveFaults {
    int reappear;  // moves before which the monitor writes its default text at the target
    DWORD fail;    // nonzero: every move fails with this error
    int moves;     // moves tried
};
extern MoveFaults g_moveFaults;

// The bytes of the monitor's default text, as it writes them.
extern const char kMonitorDefaultBytes[];
