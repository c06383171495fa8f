// Windows CE on the desktop: the few places where desktop Win32 differs from
// the phone's platform. Include this instead of <windows.h> so that the
// program's own code can stay written for the phone. This is the only file
// that tells the phone (_WIN32_WCE) from the desktop; on the phone it is
// little more than <windows.h>.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>
#include <tlhelp32.h>

// Older phone SDKs lack these.
#ifndef INVALID_FILE_ATTRIBUTES
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#endif
#ifndef CLEARTYPE_QUALITY
#define CLEARTYPE_QUALITY 5
#endif
// The phone's documentation gives these failure values as 0xFFFFFFFF only.
#ifndef INVALID_SET_FILE_POINTER
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#endif
#ifndef INVALID_FILE_SIZE
#define INVALID_FILE_SIZE ((DWORD)-1)
#endif

// Every share of a file that the platform knows. On the desktop a reader
// that takes them all never stands in the way of a writer, who may also
// delete or replace the file. The phone's CreateFile knows reading and
// writing only: while a reader holds the file, it cannot be deleted or
// replaced, and a writer who moves another file into its place must try
// again.
#ifdef _WIN32_WCE
#define CE_FILE_SHARE_ALL (FILE_SHARE_READ | FILE_SHARE_WRITE)
#else
#define CE_FILE_SHARE_ALL (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
#endif

// The phone's power key.
#ifndef VK_OFF
#define VK_OFF 0xDF
#endif

// Display power escape and its request record, which the phone's display
// drivers take but its application headers do not declare.
#ifndef SETPOWERMANAGEMENT
#define SETPOWERMANAGEMENT 6147
#endif
#ifndef QUERYESCSUPPORT
#define QUERYESCSUPPORT 8
#endif
typedef enum _VIDEO_POWER_STATE {
    VideoPowerOn = 1,
    VideoPowerStandBy,
    VideoPowerSuspend,
    VideoPowerOff
} VIDEO_POWER_STATE;
typedef struct _VIDEO_POWER_MANAGEMENT {
    ULONG Length;
    ULONG DPMSVersion;
    ULONG PowerState;
} VIDEO_POWER_MANAGEMENT;

// A process snapshot can leave out the heap lists, which Vorn never reads.
#ifndef TH32CS_SNAPNOHEAPS
#define TH32CS_SNAPNOHEAPS 0x40000000
#endif

// Size of the platform's process record, as its dwSize expects it.
#define CE_PROCESSENTRY32_SIZE sizeof(PROCESSENTRY32)

#ifdef _WIN32_WCE

#include <shlobj.h>
#include <wchar.h>

// The phone's core library has no lstrcpynW. The same copy: at most
// capacity - 1 characters of from, and always the terminator (wcsncpy alone
// leaves it out when from is longer).
inline LPWSTR CeCopyTextCut(LPWSTR to, LPCWSTR from, int capacity)
{
    if (capacity <= 0)
        return to;
    wcsncpy(to, from, (size_t)(capacity - 1));
    to[capacity - 1] = 0;
    return to;
}
#define lstrcpynW CeCopyTextCut

// With no buffer the phone hands back a pointer to the stored, read-only
// text as the result, or null when the module has no such string.
inline LPCWSTR LoadStringPointer(HINSTANCE module, UINT id)
{
    if (!module)
        return NULL;
    return (LPCWSTR)(INT_PTR)LoadStringW(module, id, NULL, 0);
}

// Puts the file from in the place of the file to. The phone replaces a file
// in one step only on its object store, and only a file that exists; when
// that fails (no file there yet, or a storage card) the old file, if any,
// has to go first. From then on *oldGone is 1: the file at to may be missing
// or be another process's new file, and from holds the only copy of its
// text. A file that appears at to in between makes the move fail with
// ERROR_ALREADY_EXISTS; calling again deletes it and moves again.
inline BOOL MoveFileOver(LPCWSTR from, LPCWSTR to, int *oldGone)
{
    if (DeleteAndRenameFile(to, from))
        return TRUE;
    if (GetLastError() == ERROR_SHARING_VIOLATION)
        return FALSE;
    if (GetFileAttributesW(to) != INVALID_FILE_ATTRIBUTES && !DeleteFileW(to))
        return FALSE;
    *oldGone = 1;
    return MoveFileW(from, to);
}

// The path of a shell folder (CSIDL_...) in folder (MAX_PATH characters),
// the folder made when it is missing; empty when it is unknown. Some of the
// phone's shell versions answer FALSE even when they filled the folder in,
// so the text alone tells. 1 when there is a folder.
inline int GetShellFolderPath(int csidl, LPWSTR folder)
{
    folder[0] = 0;
    SHGetSpecialFolderPath(NULL, folder, csidl, TRUE);
    return folder[0] != 0;
}

#else  // the desktop

// With no buffer the desktop hands the pointer to the stored text back
// through the buffer argument, and the length as the result.
inline LPCWSTR LoadStringPointer(HINSTANCE module, UINT id)
{
    LPCWSTR text = NULL;
    if (!module || LoadStringW(module, id, (LPWSTR)&text, 0) <= 0)
        return NULL;
    return text;
}

// Puts the file from in the place of the file to, in one step: the old
// file is never gone before the new one is there, so *oldGone stays as it is.
inline BOOL MoveFileOver(LPCWSTR from, LPCWSTR to, int *oldGone)
{
    (void)oldGone;
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// The shell's folder lookup, declared as the desktop's shell header does, so
// that not every source takes in that whole header.
#ifndef CSIDL_STARTUP
#define CSIDL_STARTUP 0x0007
#endif
extern "C" DECLSPEC_IMPORT BOOL WINAPI SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl,
                                                              BOOL create);

// The path of a shell folder (CSIDL_...) in folder (MAX_PATH characters),
// the folder made when it is missing; empty when it is unknown. 1 when
// there is a folder.
inline int GetShellFolderPath(int csidl, LPWSTR folder)
{
    folder[0] = 0;
    if (!SHGetSpecialFolderPathW(NULL, folder, csidl, TRUE))
        folder[0] = 0;
    return folder[0] != 0;
}

// The phone's WinMain takes the wide command line.
#define WinMain wWinMain

// Registry paths: the phone accepts a leading backslash and ignores the
// access mask; the desktop refuses the first and needs read access.
inline LONG CeRegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD options,
                            REGSAM access, PHKEY result)
{
    while (subKey && *subKey == L'\\')
        ++subKey;
    if (access == 0)
        access = KEY_READ;
    return ::RegOpenKeyExW(root, subKey, options, access, result);
}
#define RegOpenKeyExW CeRegOpenKeyExW

// The phone looks entry points up by wide name, or by ordinal.
inline FARPROC GetProcAddressW(HMODULE module, LPCWSTR name)
{
    if (IS_INTRESOURCE(name))
        return ::GetProcAddress(module, MAKEINTRESOURCEA(LOWORD((ULONG_PTR)name)));
    char narrow[256];
    if (!WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, sizeof(narrow), NULL, NULL))
        return NULL;
    return ::GetProcAddress(module, narrow);
}

// On the phone a null window with GW_CHILD gives the first top-level window.
inline HWND CeGetWindow(HWND window, UINT command)
{
    if (window == NULL && command == GW_CHILD)
        window = GetDesktopWindow();
    return ::GetWindow(window, command);
}
#define GetWindow CeGetWindow

// Thread priority levels of the phone: 0 is the highest, 3 is normal, 7 idle.
inline BOOL CeSetThreadPriority(HANDLE thread, int level)
{
    static const int desktop[8] = {
        THREAD_PRIORITY_TIME_CRITICAL, THREAD_PRIORITY_HIGHEST,
        THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_NORMAL,
        THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_LOWEST,
        THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_IDLE,
    };
    if (level < 0 || level > 7)
        return FALSE;
    return ::SetThreadPriority(thread, desktop[level]);
}
#define SetThreadPriority CeSetThreadPriority

// Process snapshots: the phone has its own close call.
inline BOOL CloseToolhelp32Snapshot(HANDLE snapshot)
{
    return CloseHandle(snapshot);
}

#endif

// The path of a running process's program, asked of that one process. 1
// with the path in buffer (capacity characters); 0 when there is no direct
// way, or the process cannot be opened or has ended: the caller then looks
// for the process in a snapshot of all of them.
#ifdef _WIN32_WCE

// The phone's documentation names no call that gives another process's
// program: only the snapshot does.
inline int QueryProcessImagePath(DWORD processId, LPWSTR buffer, DWORD capacity)
{
    (void)processId;
    if (buffer && capacity > 0)
        buffer[0] = 0;
    return 0;
}

#else  // the desktop

inline int QueryProcessImagePath(DWORD processId, LPWSTR buffer, DWORD capacity)
{
    if (!buffer || capacity == 0)
        return 0;
    buffer[0] = 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return 0;
    // A process that has ended is no longer in a snapshot either: it must
    // not have a name here.
    DWORD exitCode = 0;
    DWORD length = capacity;
    int found = GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE &&
                QueryFullProcessImageNameW(process, 0, buffer, &length);
    CloseHandle(process);
    if (!found)
        buffer[0] = 0;
    return found;
}

#endif
