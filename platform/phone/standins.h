// The phone's form of the program, run on the desktop: the phone-only calls
// come from standins.cpp, and the calls that the phone answers differently
// from the desktop are sent there too. Included first, before any other
// header, in the builds of the phone's form that run under test; never on
// the phone.
#pragma once

#include "sdk.h"
#include <windows.h>
#include <shlobj.h>

#ifdef __cplusplus
extern "C" {
#endif

// LoadStringW as the phone answers it: with no buffer, the pointer to the
// stored text is the result (the phone is 32-bit; a 64-bit build gets 0).
int WINAPI StandInLoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int capacity);
// SHGetSpecialFolderPath as some of the phone's shell versions answer it:
// FALSE, even when the folder is filled in.
BOOL WINAPI StandInSHGetSpecialFolderPath(HWND owner, LPWSTR path, int csidl, BOOL create);
// The phone's process snapshot calls, which take the phone's record and
// fail, as the phone may, when its dwSize is not the phone record's size.
BOOL WINAPI StandInProcess32First(HANDLE snapshot, LPPHONEPROCESSENTRY32 entry);
BOOL WINAPI StandInProcess32Next(HANDLE snapshot, LPPHONEPROCESSENTRY32 entry);

#ifdef __cplusplus
}
#endif

#define LoadStringW StandInLoadStringW
#undef SHGetSpecialFolderPath
#define SHGetSpecialFolderPath StandInSHGetSpecialFolderPath
#define Process32First StandInProcess32First
#define Process32Next StandInProcess32Next
// The desktop's current thread, not the phone's pseudo handle.
#undef GetCurrentThread
