// The emulated phone's moments, written as the phone publishes them: its
// phone status (a call in progress) and its shell's keyboard (slid out).
//
//   phonestate call on|off        sets or clears bit 0x20000000 of
//                                 HKEY_LOCAL_MACHINE "System\State\Phone"
//                                 "Status", keeping its other bits
//   phonestate keyboard out|in    writes 1 or 0 into HKEY_CURRENT_USER
//                                 "Software\Microsoft\Shell" "HasKeyboard";
//                                 out also turns the screen to landscape
//                                 (code 1), as a slider's shell does
//
// The turn goes through the rotation service of the shell library beside
// the tool, as every turn of the emulated phone does.
//
// Exit code 0 on success, 1 when a value cannot be written or the screen
// does not turn, 2 on a usage error.
#include <windows.h>
#include <stdio.h>
#include "aygshell.h"
#include "standin_log.h"

static const WCHAR kPhoneKey[] = L"System\\State\\Phone";
static const WCHAR kStatusValue[] = L"Status";
static const WCHAR kShellKey[] = L"Software\\Microsoft\\Shell";
static const WCHAR kKeyboardValue[] = L"HasKeyboard";

#define CALL_TALKING 0x20000000
// The landscape a slider's shell turns to when the keyboard comes out.
#define KEYBOARD_LANDSCAPE_CODE 1

static int WriteDword(HKEY root, const WCHAR *path, const WCHAR *name, DWORD value)
{
    HKEY key;
    LONG rc = RegCreateKeyExW(root, path, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) {
        fprintf(stderr, "phonestate: cannot write %ls (error %ld)\n", name, (long)rc);
        return 0;
    }
    return 1;
}

static DWORD ReadDword(HKEY root, const WCHAR *path, const WCHAR *name)
{
    HKEY key;
    DWORD value = 0, size = sizeof(value), type = 0;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExW(key, name, NULL, &type, (BYTE *)&value, &size) != ERROR_SUCCESS ||
            type != REG_DWORD)
            value = 0;
        RegCloseKey(key);
    }
    return value;
}

static int Call(int on)
{
    DWORD status = ReadDword(HKEY_LOCAL_MACHINE, kPhoneKey, kStatusValue);
    status = on ? status | CALL_TALKING : status & ~(DWORD)CALL_TALKING;
    if (!WriteDword(HKEY_LOCAL_MACHINE, kPhoneKey, kStatusValue, status))
        return 1;
    StandinLog(L"phonestate Status=0x%08lx", (unsigned long)status);
    printf("Status=0x%08lX (call %s)\n", (unsigned long)status, on ? "on" : "off");
    return 0;
}

// The shell's own turn, through the rotation service beside the tool.
static int TurnToLandscape()
{
    HMODULE shell = LoadLibraryW(L"aygshell.dll");
    PFN_RotationSet set =
        shell ? (PFN_RotationSet)(void *)GetProcAddress(
                    shell, MAKEINTRESOURCEA(AYG_ORDINAL_ROTATION_SET))
              : NULL;
    LONG result = set ? set(KEYBOARD_LANDSCAPE_CODE) : -1;
    if (shell)
        FreeLibrary(shell);
    if (result != 0) {
        fprintf(stderr, "phonestate: the screen did not turn to landscape\n");
        return 0;
    }
    return 1;
}

static int Keyboard(int out)
{
    if (!WriteDword(HKEY_CURRENT_USER, kShellKey, kKeyboardValue, out ? 1 : 0))
        return 1;
    StandinLog(L"phonestate HasKeyboard=%d", out ? 1 : 0);
    printf("HasKeyboard=%d (keyboard %s)\n", out ? 1 : 0, out ? "out" : "in");
    return out && !TurnToLandscape() ? 1 : 0;
}

static int Usage()
{
    fprintf(stderr,
            "usage: phonestate call on|off\n"
            "       phonestate keyboard out|in\n");
    return 2;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3)
        return Usage();
    if (lstrcmpiW(argv[1], L"call") == 0) {
        if (lstrcmpiW(argv[2], L"on") == 0)
            return Call(1);
        if (lstrcmpiW(argv[2], L"off") == 0)
            return Call(0);
    } else if (lstrcmpiW(argv[1], L"keyboard") == 0) {
        if (lstrcmpiW(argv[2], L"out") == 0)
            return Keyboard(1);
        if (lstrcmpiW(argv[2], L"in") == 0)
            return Keyboard(0);
    }
    return Usage();
}
