// Shell library stand-in: start-up registration and the window helpers the
// editor uses. Every call is recorded (see standin_log.h).
#include "../aygshell.h"
#include "../phonescreen.h"
#include "../standin_log.h"
#include <stddef.h>

static const WCHAR *Str(LPCWSTR text)
{
    return text ? text : L"(null)";
}

extern "C" HRESULT WINAPI RegisterWithShell(LPCWSTR name, DWORD flags,
                                            const UINT_PTR *record, LPCWSTR command)
{
    if (!record) {
        StandinLog(L"aygshell 12 name=\"%ls\" flags=%lu record=null command=\"%ls\"",
                   Str(name), (unsigned long)flags, Str(command));
        return S_OK;
    }
    StandinLog(L"aygshell 12 name=\"%ls\" flags=%lu record={%Iu,\"%ls\",\"%ls\",%Iu,%Iu,%Iu} "
               L"command=\"%ls\" same_command=%d",
               Str(name), (unsigned long)flags, record[0], Str((LPCWSTR)record[1]),
               Str((LPCWSTR)record[2]), record[3], record[4], record[5], Str(command),
               (LPCWSTR)record[2] == command ? 1 : 0);
    return S_OK;
}

extern "C" BOOL WINAPI SHInitDialog(PSHINITDLGINFO info)
{
    if (!info)
        return FALSE;
    StandinLog(L"aygshell SHInitDialog mask=%lu flags=%lu", (unsigned long)info->dwMask,
               (unsigned long)info->dwFlags);
    if ((info->dwMask & SHIDIM_FLAGS) &&
        (info->dwFlags & (SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR))) {
        SetWindowPos(info->hDlg, NULL, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                     GetSystemMetrics(SM_CYSCREEN), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return TRUE;
}

extern "C" BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO *info)
{
    if (!info || info->cbSize < sizeof(DWORD) * 4)
        return FALSE;
    StandinLog(L"aygshell SHCreateMenuBar size=%lu flags=%lu id=%u", (unsigned long)info->cbSize,
               (unsigned long)info->dwFlags, info->nToolBarId);
    if (!(info->dwFlags & SHCMBF_HMENU))
        return FALSE;
    HMENU menu = LoadMenuW(info->hInstRes, MAKEINTRESOURCEW(info->nToolBarId));
    if (!menu)
        return FALSE;
    if (!SetMenu(info->hwndParent, menu)) {
        DestroyMenu(menu);
        return FALSE;
    }
    // The desktop draws the bar as part of the window itself.
    if (info->cbSize >= offsetof(SHMENUBARINFO, hwndMB) + sizeof(HWND))
        info->hwndMB = info->hwndParent;
    return TRUE;
}

extern "C" BOOL WINAPI SHHandleWMActivate(HWND, WPARAM wParam, LPARAM, SHACTIVATEINFO *info,
                                          DWORD flags)
{
    StandinLog(L"aygshell SHHandleWMActivate active=%u flags=%lu size=%lu",
               (unsigned)LOWORD(wParam), (unsigned long)flags,
               info ? (unsigned long)info->cbSize : 0ul);
    return TRUE;
}

// After a turn, a window that covered the whole screen, or the work area, of
// either orientation covers the same of the screen as it is now.
static void FitToTurnedScreen(HWND window)
{
    RECT now;
    if (!window || !GetWindowRect(window, &now))
        return;
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    RECT screen, turnedScreen, work, turnedWork, fit;
    SetRect(&screen, 0, 0, width, height);
    SetRect(&turnedScreen, 0, 0, height, width);
    PhoneWorkAreaOf(width, height, &work);
    PhoneWorkAreaOf(height, width, &turnedWork);
    if (EqualRect(&now, &screen) || EqualRect(&now, &turnedScreen))
        fit = screen;
    else if (EqualRect(&now, &work) || EqualRect(&now, &turnedWork))
        fit = work;
    else
        return;
    if (!EqualRect(&now, &fit))
        SetWindowPos(window, NULL, fit.left, fit.top, fit.right - fit.left,
                     fit.bottom - fit.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

extern "C" BOOL WINAPI SHHandleWMSettingChange(HWND window, WPARAM wParam, LPARAM,
                                               SHACTIVATEINFO *info)
{
    if (wParam == SETTINGCHANGE_RESET)
        FitToTurnedScreen(window);
    StandinLog(L"aygshell SHHandleWMSettingChange wparam=%Iu size=%lu", (UINT_PTR)wParam,
               info ? (unsigned long)info->cbSize : 0ul);
    return TRUE;
}
