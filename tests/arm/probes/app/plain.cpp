// Compiles in the phone form: the control beside the faults, so that they
// fail for what they plant and not for a header or a flag.
#include "wince.h"

DWORD ProbeQueueWait(DWORD ms)
{
    WCHAR copy[8];
    lstrcpynW(copy, L"probe", 8);
    return lstrlenW(copy) ? MsgWaitForMultipleObjects(0, NULL, FALSE, ms, QS_ALLINPUT) : 0;
}
