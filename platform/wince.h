// Windows CE on the desktop: the few places where desktop Win32 differs from
// the phone's platform. Include this instead of <windows.h> so that the
// program's own code can stay written for the phone.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>
#include <tlhelp32.h>

// The phone's WinMain takes the wide command line.
#define WinMain wWinMain

// The phone's power key.
#ifndef VK_OFF
#define VK_OFF 0xDF
#endif

// Display power escape and its request record.
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

// Process snapshots: the phone has its own close call, and its entry record
// is smaller than the desktop's.
inline BOOL CloseToolhelp32Snapshot(HANDLE snapshot)
{
    return CloseHandle(snapshot);
}
#define CE_PROCESSENTRY32_SIZE sizeof(PROCESSENTRY32W)
