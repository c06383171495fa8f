// Watches the phone's keys the way the hardware sees them: a low-level
// keyboard hook records every key going down or up in the call log.
#include <windows.h>
#include "standin_log.h"

static LRESULT CALLBACK KeyHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const KBDLLHOOKSTRUCT *key = (const KBDLLHOOKSTRUCT *)lParam;
        BOOL up = wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
        StandinLog(L"keywatch %ls vk=0x%02lx", up ? L"up" : L"down", (unsigned long)key->vkCode);
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyHook, instance, 0);
    if (!hook)
        return 1;
    StandinLog(L"keywatch ready");
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0)
        DispatchMessageW(&msg);
    UnhookWindowsHookEx(hook);
    return 0;
}
