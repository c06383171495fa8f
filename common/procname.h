// Executable name of the process that owns a window.
#pragma once
#include "wince.h"
#include "strlist.h"

// The list of process records of one snapshot. It owns the records:
// destroying it frees every record and the array.
class CProcList : public CLPA {
public:
    ~CProcList() { FreeAll(); }

    int Snapshot();                   // number of records, or -1 without a snapshot
    LPCWSTR FindExeName(DWORD processId);
    void FreeAll();
};

// The executable name of the window's process in buffer (at most
// capacity - 1 characters), or the empty string. Returns buffer.
LPWSTR GetWindowProcessName(HWND window, LPWSTR buffer, int capacity);
// The same for a process id: asked of the process itself where the
// platform can, else found in a snapshot. The name is the snapshot's either
// way; an id of no running process gives the empty string.
LPWSTR GetProcessFileName(DWORD processId, LPWSTR buffer, int capacity);

// Test seams: the platform's snapshot call, and where process records come
// from (records always go back with free).
extern HANDLE(WINAPI *g_procSnapshot)(DWORD flags, DWORD processId);
extern void *(*g_procRecordAlloc)(size_t size);
// The direct way to a process's program (QueryProcessImagePath); null turns
// it off, so that every lookup walks a snapshot.
extern int (*g_procImagePath)(DWORD processId, LPWSTR buffer, DWORD capacity);
