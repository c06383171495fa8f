// Compiles in the phone form: constants the phone has, the control beside
// the desktop's constant, so that it fails for what it names.
#include <windows.h>

DWORD g_probeShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
