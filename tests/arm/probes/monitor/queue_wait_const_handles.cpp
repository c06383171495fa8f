// The queue wait handed const handles: the phone's documentation declares
// them LPHANDLE, and its compilers refuse to drop the const.
#include "wince.h"

DWORD ProbeWaitOnConst(const HANDLE *handles, DWORD ms)
{
    return MsgWaitForMultipleObjects(1, handles, FALSE, ms, QS_POSTMESSAGE);
}
