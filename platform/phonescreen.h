// The emulated phone's screen as every stand-in sees it: a 480x640 panel
// that the display shows in portrait (480x640) or landscape (640x480), with
// the shell's status bar along its top. The work area, the screen less that
// bar, is worked out from the screen's size, never read: the desktop keeps
// no work area that follows the screen into other processes.
#pragma once
#include <windows.h>

#define PHONE_SCREEN_SHORT 480
#define PHONE_SCREEN_LONG 640
#define PHONE_STATUS_BAR_HEIGHT 26

// WM_SETTINGCHANGE's wParam after the display turned.
#ifndef SETTINGCHANGE_RESET
#define SETTINGCHANGE_RESET 0x3002
#endif

// The screen's size for a rotation code: codes 0 and 2 show portrait, 1 and
// 3 landscape.
inline void PhoneScreenSizeFor(DWORD code, int *width, int *height)
{
    *width = code % 2 ? PHONE_SCREEN_LONG : PHONE_SCREEN_SHORT;
    *height = code % 2 ? PHONE_SCREEN_SHORT : PHONE_SCREEN_LONG;
}

// The work area of a screen of that size: all of it under the status bar.
inline void PhoneWorkAreaOf(int width, int height, RECT *area)
{
    SetRect(area, 0, PHONE_STATUS_BAR_HEIGHT, width, height);
}

// The work area of the screen as it is now.
inline void PhoneWorkArea(RECT *area)
{
    PhoneWorkAreaOf(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), area);
}
