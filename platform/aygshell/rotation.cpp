// Shell library stand-in: the display rotation service. The rotation is
// device state, so it lives in the registry and outlives every process that
// asks for it. It starts at 0 (portrait).
//
// A turn does what the phone's shell does around it: the screen switches
// between portrait and landscape, and every top-level window is told that
// the settings changed, so that apps lay themselves out anew. The telling
// goes on beside the caller, as the shell's would: the caller is free once
// the code is kept and the screen switched. A process that
// sets PHONE_SCREEN_FIXED (unit tests calling the service in-process) keeps
// the screen as it is: only the code is kept.
#include "../aygshell.h"
#include "../phonescreen.h"
#include "../standin_log.h"

static const WCHAR kDisplayKey[] = L"Software\\EmulatedPhone\\Display";
static const WCHAR kRotation[] = L"Rotation";

// How long one window may take over the news of a turn: a window nobody
// pumps must not hold the service up.
#define TELL_WINDOW_TIMEOUT_MS 100

static DWORD StoredRotation()
{
    DWORD value = 0, size = sizeof(value), type = 0;
    HKEY key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDisplayKey, 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        if (RegQueryValueExW(key, kRotation, NULL, &type, (BYTE *)&value, &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            value = 0;
        RegCloseKey(key);
    }
    return value;
}

static LONG StoreRotation(DWORD code)
{
    HKEY key;
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDisplayKey, 0, NULL, 0, KEY_SET_VALUE, NULL,
                              &key, NULL);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(key, kRotation, 0, REG_DWORD, (const BYTE *)&code, sizeof(code));
        RegCloseKey(key);
    }
    return rc;
}

static int ScreenFixed()
{
    return GetEnvironmentVariableW(L"PHONE_SCREEN_FIXED", NULL, 0) != 0;
}

// Switches the display to width x height; DISP_CHANGE_SUCCESSFUL when it took.
static LONG SwitchScreen(int width, int height)
{
    DEVMODEW mode;
    ZeroMemory(&mode, sizeof(mode));
    mode.dmSize = sizeof(mode);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = (DWORD)width;
    mode.dmPelsHeight = (DWORD)height;
    return ChangeDisplaySettingsExW(NULL, &mode, NULL, 0, NULL);
}

static void TellWindows(DWORD code)
{
    DWORD_PTR result;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0,
                        SMTO_ABORTIFHUNG, TELL_WINDOW_TIMEOUT_MS, &result);
    StandinLog(L"aygshell told the windows of the turn to %lu", (unsigned long)code);
}

// The thread holds a reference to this library, so that it stays loaded
// until the telling is done.
static DWORD WINAPI TellWindowsThread(LPVOID param)
{
    HMODULE self = NULL;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCWSTR)(void *)TellWindowsThread, &self);
    TellWindows((DWORD)(UINT_PTR)param);
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

static void TellWindowsBeside(DWORD code)
{
    HMODULE self = NULL;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           (LPCWSTR)(void *)TellWindowsThread, &self)) {
        HANDLE thread =
            CreateThread(NULL, 0, TellWindowsThread, (LPVOID)(UINT_PTR)code, 0, NULL);
        if (thread) {
            CloseHandle(thread);
            return;
        }
        FreeLibrary(self);
    }
    TellWindows(code);
}

extern "C" LONG WINAPI RotationSet(DWORD code)
{
    if (code > 3) {
        StandinLog(L"aygshell 298 code=%lu unknown, nothing changed", (unsigned long)code);
        return -1;
    }
    DWORD old = StoredRotation();
    // The code is the device state, and the caller's work ends once it is
    // kept: the screen follows.
    if (StoreRotation(code) != ERROR_SUCCESS) {
        StandinLog(L"aygshell 298 code=%lu cannot keep the code", (unsigned long)code);
        return -1;
    }
    int width, height;
    PhoneScreenSizeFor(code, &width, &height);
    int fixed = ScreenFixed();
    if (!fixed && (GetSystemMetrics(SM_CXSCREEN) != width ||
                   GetSystemMetrics(SM_CYSCREEN) != height)) {
        LONG refused = SwitchScreen(width, height);
        if (refused != DISP_CHANGE_SUCCESSFUL) {
            StoreRotation(old);
            StandinLog(L"aygshell 298 code=%lu refused=%ld: the display stays %dx%d, code %lu kept",
                       (unsigned long)code, refused, GetSystemMetrics(SM_CXSCREEN),
                       GetSystemMetrics(SM_CYSCREEN), (unsigned long)old);
            return -1;
        }
    }
    StandinLog(L"aygshell 298 code=%lu screen=%dx%d", (unsigned long)code,
               GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    if (!fixed && code != old)
        TellWindowsBeside(code);
    return 0;
}

// The code kept, whatever the screen shows.
extern "C" LONG WINAPI RotationQuery(DWORD *code)
{
    DWORD value = StoredRotation();
    if (code)
        *code = value;
    StandinLog(L"aygshell 299 value=%lu", (unsigned long)value);
    return 0;
}
