// Executable name of the process that owns a window.
#pragma once
#include "wince.h"
#include "strlist.h"

class CProcList : public CLPA {
public:
    ~CProcList() { FreeAll(); }

    int Snapshot();                   // number of records, or -1 without a snapshot
    LPCWSTR FindExeName(DWORD processId);
    void FreeAll();
};

LPWSTR GetWindowProcessName(HWND window, LPWSTR buffer, int capacity);
