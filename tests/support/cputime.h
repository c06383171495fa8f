// The processor time another process has spent, for the quiet-spell test and
// the benchmark.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

inline double CpuMs(const FILETIME &kernel, const FILETIME &user)
{
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (double)(k.QuadPart + u.QuadPart) / 10000.0;
}

// The processor time of a process, in ms: the sum of its threads' times;
// -1 when they cannot be read. This Wine answers GetProcessTimes for another
// process with the caller's own times (a caller that spins for a second sees
// an idle process spend that second), so the threads are asked one by one.
inline double ProcessCpuMs(DWORD processId)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    double sum = 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more;
         more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        FILETIME created, exited, kernel, user;
        if (thread && GetThreadTimes(thread, &created, &exited, &kernel, &user))
            sum += CpuMs(kernel, user);
        if (thread)
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return sum;
}
