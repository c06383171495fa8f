// What the phone's SDK headers declare and the desktop's do not: the
// phone-only calls of platform/wince.h and the phone's entry point. With the
// desktop headers, include this first to compile the phone's form. It
// holds declarations and the entry point's name, nothing else.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Core library: replaces the existing file dest by the file source.
BOOL WINAPI DeleteAndRenameFile(LPCWSTR dest, LPCWSTR source);
// Core library: entry points by wide name, or by ordinal.
FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR name);
// Tool-help library: the close call of a process snapshot.
BOOL WINAPI CloseToolhelp32Snapshot(HANDLE snapshot);

#ifdef __cplusplus
}
#endif

// The phone's WinMain takes the wide command line.
#define WinMain wWinMain
