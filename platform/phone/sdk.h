// What the phone's SDK headers say and the desktop's do not, for compiling
// the phone's form with the desktop headers. Included first, before any other
// header: by the ARM compile of the phone form (the ArmCompile tests), and,
// through standins.h, by the phone form that runs under test (PhoneForms),
// which then sends some of these calls back to the desktop's.
//
// It holds:
// - the phone-only calls of platform/wince.h and the phone's entry point;
// - the names that the phone's libraries export where the desktop's
//   differ (no "W" for the shell folder and the process snapshot calls);
// - the queue wait's Ex form as the phone's documentation declares it, its
//   handles LPHANDLE, not const (MsgWaitForMultipleObjectsEx:
//   https://learn.microsoft.com/en-us/previous-versions/windows/embedded/aa931971(v=msdn.10));
// - the phone headers' macros over other calls: MsgWaitForMultipleObjects
//   over its Ex form (the core library exports only that, so the plain name
//   has no address), lstrcpyW and lstrlenW over wcscpy and wcslen, and the
//   current thread's pseudo handle given inline (no export);
// - the constants that older phone headers lack taken away again, so that
//   the fallbacks of platform/wince.h are the ones compiled
//   (CLEARTYPE_QUALITY, INVALID_FILE_ATTRIBUTES);
// - the desktop's constants that the phone lacks and that the code names
//   taken away, so that a use of one in the phone's branch does not
//   compile. Each with the page of the phone's documentation that shows it
//   missing:
//   FILE_SHARE_DELETE: CreateFile shares for reading and for writing only
//     https://learn.microsoft.com/en-us/previous-versions/aa914735(v=msdn.10)
//   INVALID_SET_FILE_POINTER: SetFilePointer fails with 0xFFFFFFFF, no name
//     https://learn.microsoft.com/en-us/previous-versions/windows/embedded/ms891933(v=msdn.10)
//   INVALID_FILE_SIZE: GetFileSize fails with 0xFFFFFFFF, no name
//     https://learn.microsoft.com/en-us/previous-versions/windows/embedded/ms890939(v=msdn.10)
//   MOVEFILE_REPLACE_EXISTING, MOVEFILE_WRITE_THROUGH: no MoveFileEx among
//     the file calls; MoveFile and DeleteAndRenameFile move
//     https://learn.microsoft.com/en-us/previous-versions/windows/embedded/aa516939(v=msdn.10)
//   PROCESS_QUERY_LIMITED_INFORMATION: OpenProcess takes no access rights
//     (zero)
//     https://learn.microsoft.com/en-us/previous-versions/windows/embedded/ms886766(v=msdn.10)
//   Shared code that names one of the two failure values gets it from
//   platform/wince.h, as 0xFFFFFFFF.
#pragma once

#ifdef _INC_TOOLHELP32
#error "platform/phone/sdk.h must come before the desktop's tlhelp32.h"
#endif

// The desktop's declarations of these names are put out of the way: on the
// phone the names are macros, or declared otherwise below. A source that
// took in the desktop's windows.h before this header (some PhoneForms test
// sources) keeps the desktop's queue waits beside the macro; it never calls
// them.
#ifndef _WINUSER_
#define MsgWaitForMultipleObjects PhoneSdkDesktopMsgWaitForMultipleObjects
#define MsgWaitForMultipleObjectsEx PhoneSdkDesktopMsgWaitForMultipleObjectsEx
#include <windows.h>
#undef MsgWaitForMultipleObjects
#undef MsgWaitForMultipleObjectsEx
#define PHONE_SDK_QUEUE_WAIT
#else
#include <windows.h>
#endif
#define Process32First PhoneSdkDesktopProcess32First
#define Process32Next PhoneSdkDesktopProcess32Next
#pragma push_macro("UNICODE")
#undef UNICODE
#include <tlhelp32.h>
#pragma pop_macro("UNICODE")
#undef Process32First
#undef Process32Next
#include <shlobj.h>
#include <string.h>
#include <wchar.h>
#undef SHGetSpecialFolderPath

// Older phone headers lack these; platform/wince.h gives them.
#undef CLEARTYPE_QUALITY
#undef INVALID_FILE_ATTRIBUTES

// The phone has none of these (see the list at the top); platform/wince.h
// gives back the two failure values.
#undef FILE_SHARE_DELETE
#undef INVALID_SET_FILE_POINTER
#undef INVALID_FILE_SIZE
#undef MOVEFILE_REPLACE_EXISTING
#undef MOVEFILE_WRITE_THROUGH
#undef PROCESS_QUERY_LIMITED_INFORMATION

// The phone's process record: wide, its heap id a DWORD, and two more
// fields at the end, so 564 bytes where the desktop's wide one is 556
// (PROCESSENTRY32:
// https://learn.microsoft.com/en-us/previous-versions/windows/embedded/ms886774(v=msdn.10)).
// A snapshot call handed a record of another size fails on the phone, or
// writes past a smaller one.
typedef struct tagPHONEPROCESSENTRY32 {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    DWORD th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    WCHAR szExeFile[MAX_PATH];
    DWORD th32MemoryBase;
    DWORD th32AccessKey;
} PHONEPROCESSENTRY32, *LPPHONEPROCESSENTRY32;
#undef PROCESSENTRY32
#undef PPROCESSENTRY32
#undef LPPROCESSENTRY32
#define PROCESSENTRY32 PHONEPROCESSENTRY32
#define PPROCESSENTRY32 LPPHONEPROCESSENTRY32
#define LPPROCESSENTRY32 LPPHONEPROCESSENTRY32

#ifdef __cplusplus
extern "C" {
#endif

// Core library: replaces the existing file dest by the file source.
BOOL WINAPI DeleteAndRenameFile(LPCWSTR dest, LPCWSTR source);
// Core library: entry points by wide name, or by ordinal.
FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR name);
// Core library: the path of a shell folder, by this name only.
BOOL WINAPI SHGetSpecialFolderPath(HWND owner, LPWSTR path, int csidl,
                                    BOOL create);
// Tool-help library: the process snapshot, by these names.
BOOL WINAPI Process32First(HANDLE snapshot, LPPHONEPROCESSENTRY32 entry);
BOOL WINAPI Process32Next(HANDLE snapshot, LPPHONEPROCESSENTRY32 entry);
BOOL WINAPI CloseToolhelp32Snapshot(HANDLE snapshot);
#ifdef PHONE_SDK_QUEUE_WAIT
// Core library: the queue wait, its handles not const.
DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD count, LPHANDLE handles, DWORD ms,
                                         DWORD wakeMask, DWORD flags);
#endif

#ifdef __cplusplus
}
#endif

// The phone headers' macros.
#define MsgWaitForMultipleObjects(count, handles, waitAll, ms, wakeMask) \
    MsgWaitForMultipleObjectsEx(count, handles, ms, wakeMask, 0)
#undef lstrcpyW
#undef lstrlenW
#define lstrcpyW wcscpy
#define lstrlenW wcslen
// The current thread's pseudo handle (system handle base 64, slot 1).
#define GetCurrentThread() ((HANDLE)(64 + 1))

// The phone's WinMain takes the wide command line.
#define WinMain wWinMain
