// The window pickers: which windows are offered, the walk that gathers their
// names, the popup menu and the insertion at the caret.
#include "pickers.h"
#include "editor.h"
#include "common/message.h"
#include "common/procname.h"
#include "common/textsearch.h"
#include <wchar.h>

// Shell and system windows that no user would want to exempt. The names are
// compared exactly, case included.
static const WCHAR *const s_shellClasses[] = {
    L"HHTaskBar", L"SipWndClass", L"SipBackDropWndClass", L"menu_worker",
    L"MSPOutlook", L"MS_SIPBUTTON", L"QZMBatt", L"QZMClose",
};

BOOL IsPickableWindow(HWND window)
{
    if (!window || !IsWindowVisible(window))
        return FALSE;
    WCHAR cls[PICK_FILTER_CAPACITY];
    WCHAR title[PICK_FILTER_CAPACITY];
    ZeroMemory(cls, sizeof(cls));
    ZeroMemory(title, sizeof(title));
    GetClassNameW(window, cls, PICK_FILTER_CAPACITY);
    GetWindowTextW(window, title, PICK_FILTER_CAPACITY);

    if (wcscmp(cls, L"Dialog") == 0 && !title[0])
        return FALSE;
    for (UINT i = 0; i < sizeof(s_shellClasses) / sizeof(s_shellClasses[0]); ++i) {
        if (wcscmp(cls, s_shellClasses[i]) == 0)
            return FALSE;
    }
    if (FindNoCase(cls, L"MS_SOFTKEY") || FindNoCase(title, L"MS_SOFTKEY"))
        return FALSE;
    if (wcscmp(cls, L"QZMenu") == 0)
        return FALSE;
    return TRUE;
}

// A name goes into a one-line "#window" entry, and the monitor matches
// within one line: only the part before a line break can ever match.
static void CutAtLineBreak(LPWSTR name)
{
    name[wcscspn(name, L"\r\n")] = 0;
}

void CollectWindowNames(CStrList *titles, CStrList *classes, CStrList *processes)
{
    HWND window = GetWindow(NULL, GW_CHILD);
    titles->Clear();
    classes->Clear();
    processes->Clear();

    for (; window; window = GetWindow(window, GW_HWNDNEXT)) {
        if (!IsPickableWindow(window))
            continue;
        WCHAR title[PICK_NAME_CAPACITY];
        WCHAR cls[PICK_NAME_CAPACITY];
        WCHAR process[PICK_NAME_CAPACITY];
        title[0] = cls[0] = process[0] = 0;
        if (!GetClassNameW(window, cls, PICK_NAME_CAPACITY))
            cls[0] = 0;
        if (!GetWindowTextW(window, title, PICK_NAME_CAPACITY))
            title[0] = 0;
        if (!GetWindowProcessName(window, process, PICK_NAME_CAPACITY))
            process[0] = 0;
        CutAtLineBreak(title);
        CutAtLineBreak(cls);
        CutAtLineBreak(process);
        if (!title[0] && !cls[0] && !process[0])
            continue;
        // Entry i of each list belongs to the same window, empty or not.
        titles->Add(title);
        classes->Add(cls);
        processes->Add(process);
    }
}

int PickWindowEntry(HWND owner, int selector, LPWSTR buffer, int capacity)
{
    CStrList titles, classes, processes;
    HMENU menu = CreatePopupMenu();
    if (menu) {
        CollectWindowNames(&titles, &classes, &processes);
        CStrList *list = selector == PICK_TITLES    ? &titles
                         : selector == PICK_CLASSES ? &classes
                                                    : &processes;
        for (UINT i = 0; i < list->count; ++i)
            AppendMenuW(menu, MF_STRING, i + 1, list->At(i));
        // The screen's corner as it is now: a turned phone's is not the
        // portrait one.
        int chosen = (int)TrackPopupMenuEx(menu, TPM_RIGHTALIGN | TPM_BOTTOMALIGN | TPM_RETURNCMD,
                                           GetSystemMetrics(SM_CXSCREEN),
                                           GetSystemMetrics(SM_CYSCREEN), owner, NULL);
        if (chosen > 0 && (UINT)chosen <= list->count)
            FormatText(buffer, capacity, L"\r\n#window(%s)\r\n", list->At(chosen - 1));
        DestroyMenu(menu);
    }
    titles.Clear();
    classes.Clear();
    processes.Clear();
    return 0;
}

void InsertPickedWindow(HWND window, int selector)
{
    g_editor.insertBuffer[0] = 0;
    PickWindowEntry(window, selector, g_editor.insertBuffer, EDITOR_INSERT_CAPACITY);
    if (!g_editor.insertBuffer[0])
        return;
    // Straight into the edit: it goes in at the caret, replaces a selection
    // and can be undone, while the user's clipboard stays as it was.
    SetFocus(g_editor.visibleEdit);
    SendMessageW(g_editor.visibleEdit, EM_REPLACESEL, TRUE, (LPARAM)g_editor.insertBuffer);
}
