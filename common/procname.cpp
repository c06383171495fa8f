#include "procname.h"
#include <stdlib.h>
#include <string.h>

HANDLE(WINAPI *g_procSnapshot)(DWORD flags, DWORD processId) = CreateToolhelp32Snapshot;
void *(*g_procRecordAlloc)(size_t size) = malloc;

// Records are read back as the platform's entry, terminator and all.
static_assert(CE_PROCESSENTRY32_SIZE == sizeof(PROCESSENTRY32), "process record size");

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

LPWSTR GetWindowProcessName(HWND window, LPWSTR buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return buffer;
    buffer[0] = 0;

    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == 0)
        return buffer;  // no window, or it is gone

    // A fresh picture of the processes every time; nothing is kept.
    CProcList list;
    list.Snapshot();
    LPCWSTR name = list.FindExeName(processId);
    if (name)
        lstrcpynW(buffer, name, capacity);
    return buffer;
}
