// A desktop constant that the phone lacks, named in the phone form: the
// test gives it as PROBE_CONSTANT. The phone's headers, in place of
// platform/wince.h, which gives some of them back.
#include <windows.h>

DWORD g_probeConstant = (DWORD)(PROBE_CONSTANT);
