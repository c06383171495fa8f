// The move of the phone's form, with the faults a test has arranged.
#include "phone/faults.h"
#include "phone/phone_forms.h"
#undef MoveFileW

MoveFaults g_moveFaults;
const char kMonitorDefaultBytes[] = "#window(Manila)\r\n#timeout(1000)\r\n";

// As the monitor does at a sensor event that finds no file: into a file of
// its own, never over another.
static void WriteDefaultText(LPCWSTR path)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, kMonitorDefaultBytes, (DWORD)lstrlenA(kMonitorDefaultBytes), &written, NULL);
    CloseHandle(file);
}

BOOL WINAPI PhoneFormsMoveFileW(LPCWSTR from, LPCWSTR to)
{
    ++g_moveFaults.moves;
    if (g_moveFaults.reappear > 0) {
        --g_moveFaults.reappear;
        WriteDefaultText(to);
    }
    if (g_moveFaults.fail) {
        SetLastError(g_moveFaults.fail);
        return FALSE;
    }
    return MoveFileW(from, to);
}
