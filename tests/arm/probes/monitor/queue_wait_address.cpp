// The queue wait kept by address: the phone's core library exports only the
// Ex form, and its headers make the plain name a macro.
#include "wince.h"

typedef DWORD(WINAPI *ProbeWait)(DWORD, const HANDLE *, BOOL, DWORD, DWORD);
ProbeWait g_probeWait = MsgWaitForMultipleObjects;
