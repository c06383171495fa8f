// The phone-only calls of platform/wince.h, on the desktop, behaving as the
// phone's documentation describes them; and the calls that the phone answers
// differently. Linked only into the phone's form under test.
#include "sdk.h"
#include "standins.h"
#undef LoadStringW
#undef SHGetSpecialFolderPath

// The phone's older headers lack it; platform/wince.h gives it to the program.
#ifndef INVALID_FILE_ATTRIBUTES
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#endif
// sdk.h takes the desktop's move flags away from the phone's form; the
// stand-ins are the desktop's side of it.
#ifndef MOVEFILE_REPLACE_EXISTING
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#endif

// The phone keeps its files on the object store, where a file can be
// replaced in one step; a storage card is a folder of that name in the root.
static int OnStorageCard(LPCWSTR path)
{
    static const WCHAR card[] = L"\\storage card\\";
    const int length = (int)(sizeof(card) / sizeof(card[0])) - 1;
    for (int left = lstrlenW(path); left >= length; --left, ++path) {
        if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, path, length, card, length) ==
            CSTR_EQUAL)
            return 1;
    }
    return 0;
}

BOOL WINAPI DeleteAndRenameFile(LPCWSTR dest, LPCWSTR source)
{
    if (!dest || !source) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Only on the object store, and only over a file that exists.
    if (OnStorageCard(dest) || OnStorageCard(source)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (GetFileAttributesW(dest) == INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (MoveFileExW(source, dest, MOVEFILE_REPLACE_EXISTING))
        return TRUE;
    // A file that another process holds open cannot be replaced.
    if (GetLastError() == ERROR_ACCESS_DENIED)
        SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
}

FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR name)
{
    if (IS_INTRESOURCE(name))
        return GetProcAddress(module, MAKEINTRESOURCEA(LOWORD((ULONG_PTR)name)));
    char narrow[256];
    if (!WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, sizeof(narrow), NULL, NULL))
        return NULL;
    return GetProcAddress(module, narrow);
}

BOOL WINAPI CloseToolhelp32Snapshot(HANDLE snapshot)
{
    return CloseHandle(snapshot);
}

int WINAPI StandInLoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int capacity)
{
    if (buffer)
        return LoadStringW(module, id, buffer, capacity);
    LPCWSTR text = NULL;
    if (LoadStringW(module, id, (LPWSTR)&text, 0) <= 0 || !text)
        return 0;
    // Only a 32-bit pointer fits the result, as on the phone.
    if ((INT_PTR)(int)(INT_PTR)text != (INT_PTR)text)
        return 0;
    return (int)(INT_PTR)text;
}

BOOL WINAPI StandInSHGetSpecialFolderPath(HWND owner, LPWSTR path, int csidl, BOOL create)
{
    SHGetSpecialFolderPathW(owner, path, csidl, create);
    return FALSE;
}

// The desktop's answer, copied into the phone's record field by field: the
// two records differ in size, and in a 64-bit build in layout too.
static BOOL PhoneRecordFrom(BOOL found, const PROCESSENTRY32W *desktop,
                            LPPHONEPROCESSENTRY32 entry)
{
    if (!found)
        return FALSE;
    entry->cntUsage = desktop->cntUsage;
    entry->th32ProcessID = desktop->th32ProcessID;
    entry->th32DefaultHeapID = (DWORD)desktop->th32DefaultHeapID;
    entry->th32ModuleID = desktop->th32ModuleID;
    entry->cntThreads = desktop->cntThreads;
    entry->th32ParentProcessID = desktop->th32ParentProcessID;
    entry->pcPriClassBase = desktop->pcPriClassBase;
    entry->dwFlags = desktop->dwFlags;
    memcpy(entry->szExeFile, desktop->szExeFile, sizeof(entry->szExeFile));
    entry->th32MemoryBase = 0;
    entry->th32AccessKey = 0;
    return TRUE;
}

static BOOL PhoneProcessWalk(HANDLE snapshot, LPPHONEPROCESSENTRY32 entry, int first)
{
    if (!entry || entry->dwSize != sizeof(PHONEPROCESSENTRY32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PROCESSENTRY32W desktop;
    ZeroMemory(&desktop, sizeof(desktop));
    desktop.dwSize = sizeof(desktop);
    BOOL found = first ? Process32FirstW(snapshot, &desktop) : Process32NextW(snapshot, &desktop);
    return PhoneRecordFrom(found, &desktop, entry);
}

BOOL WINAPI StandInProcess32First(HANDLE snapshot, LPPHONEPROCESSENTRY32 entry)
{
    return PhoneProcessWalk(snapshot, entry, 1);
}

BOOL WINAPI StandInProcess32Next(HANDLE snapshot, LPPHONEPROCESSENTRY32 entry)
{
    return PhoneProcessWalk(snapshot, entry, 0);
}
