#include "procname.h"
#include <stdlib.h>
#include <string.h>

HANDLE(WINAPI *g_procSnapshot)(DWORD flags, DWORD processId) = CreateToolhelp32Snapshot;
void *(*g_procRecordAlloc)(size_t size) = malloc;
int (*g_procImagePath)(DWORD processId, LPWSTR buffer, DWORD capacity) = QueryProcessImagePath;

static PROCESSENTRY32 *RecordAt(const CLPA &list, UINT index)
{
    return (PROCESSENTRY32 *)(ULONG_PTR)list.entries[index];
}

int CProcList::Snapshot()
{
    HANDLE snapshot = g_procSnapshot(TH32CS_SNAPNOHEAPS | TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;

    PROCESSENTRY32 entry;
    ZeroMemory(&entry, sizeof(entry));
    entry.dwSize = CE_PROCESSENTRY32_SIZE;
    BOOL more = Process32First(snapshot, &entry);
    while (more) {
        // A record that cannot be kept is left out; the walk goes on.
        PROCESSENTRY32 *record = (PROCESSENTRY32 *)g_procRecordAlloc(CE_PROCESSENTRY32_SIZE);
        if (record) {
            memcpy(record, &entry, CE_PROCESSENTRY32_SIZE);
            record->szExeFile[MAX_PATH - 1] = 0;
            if (!Add((__int64)(ULONG_PTR)record))
                free(record);
        }
        more = Process32Next(snapshot, &entry);
    }
    CloseToolhelp32Snapshot(snapshot);
    return (int)count;
}

LPCWSTR CProcList::FindExeName(DWORD processId)
{
    LPCWSTR name = NULL;
    // Ids are unique within one snapshot; the last match would win.
    for (UINT i = 0; i < count; i++) {
        PROCESSENTRY32 *record = RecordAt(*this, i);
        if (record && record->th32ProcessID == processId)
            name = record->szExeFile;
    }
    return name;
}

void CProcList::FreeAll()
{
    for (UINT i = 0; i < count; i++) {
        if (entries[i])
            free((void *)(ULONG_PTR)entries[i]);
    }
    Free();
}

// The file part of a path: what a snapshot names a process by.
static LPCWSTR FilePart(LPCWSTR path)
{
    LPCWSTR name = path;
    for (LPCWSTR p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/')
            name = p + 1;
    }
    return name;
}

// One process asked for its program, without a walk over all of them.
// 1 with the name in buffer, 0 when that way gave nothing.
static int NameFromProcess(DWORD processId, LPWSTR buffer, int capacity)
{
    WCHAR path[MAX_PATH];
    if (!g_procImagePath || !g_procImagePath(processId, path, MAX_PATH))
        return 0;
    path[MAX_PATH - 1] = 0;
    LPCWSTR name = FilePart(path);
    if (!*name)
        return 0;
    lstrcpynW(buffer, name, capacity);
    return 1;
}

LPWSTR GetProcessFileName(DWORD processId, LPWSTR buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return buffer;
    buffer[0] = 0;
    if (processId == 0 || NameFromProcess(processId, buffer, capacity))
        return buffer;

    // A fresh picture of the processes every time; nothing is kept.
    CProcList list;
    list.Snapshot();
    LPCWSTR name = list.FindExeName(processId);
    if (name)
        lstrcpynW(buffer, name, capacity);
    return buffer;
}

LPWSTR GetWindowProcessName(HWND window, LPWSTR buffer, int capacity)
{
    // No window, or one that is gone, has process id 0: the empty name.
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return GetProcessFileName(processId, buffer, capacity);
}
