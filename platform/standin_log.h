// Call record of the stand-in libraries: each call appends one line to the
// file named by PHONE_CALL_LOG. Nothing is written while it is unset.
#pragma once
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>

inline void StandinLog(const wchar_t *format, ...)
{
    WCHAR path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"PHONE_CALL_LOG", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    WCHAR line[2048];
    va_list args;
    va_start(args, format);
    int len = _vsnwprintf(line, 2045, format, args);
    va_end(args);
    if (len < 0)
        len = 2045;
    line[len++] = L'\r';
    line[len++] = L'\n';
    line[len] = 0;
    char bytes[8192];
    int size = WideCharToMultiByte(CP_UTF8, 0, line, len, bytes, sizeof(bytes), NULL, NULL);
    // Several processes and threads append to one record: one writer at a
    // time, or lines written at the same moment overwrite each other.
    HANDLE lock = CreateMutexW(NULL, FALSE, L"Local\\PhoneCallLogWriter");
    DWORD waited = lock ? WaitForSingleObject(lock, 5000) : WAIT_FAILED;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        SetFilePointer(file, 0, NULL, FILE_END);
        WriteFile(file, bytes, (DWORD)size, &written, NULL);
        CloseHandle(file);
    }
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        ReleaseMutex(lock);
    if (lock)
        CloseHandle(lock);
}
