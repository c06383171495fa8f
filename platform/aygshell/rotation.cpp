// Shell library stand-in: the display rotation service. The rotation is
// device state, so it lives in the registry and outlives every process that
// asks for it. It starts at 0 (portrait).
#include "../aygshell.h"
#include "../standin_log.h"

static const WCHAR kDisplayKey[] = L"Software\\EmulatedPhone\\Display";
static const WCHAR kRotation[] = L"Rotation";

extern "C" LONG WINAPI RotationSet(DWORD code)
{
    HKEY key;
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDisplayKey, 0, NULL, 0, KEY_SET_VALUE, NULL,
                              &key, NULL);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(key, kRotation, 0, REG_DWORD, (const BYTE *)&code, sizeof(code));
        RegCloseKey(key);
    }
    StandinLog(L"aygshell 298 code=%lu", (unsigned long)code);
    return rc == ERROR_SUCCESS ? 0 : -1;
}

extern "C" LONG WINAPI RotationQuery(DWORD *code)
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
    if (code)
        *code = value;
    StandinLog(L"aygshell 299 value=%lu", (unsigned long)value);
    return 0;
}
