// The StartUp shortcut: a text shortcut that runs this program with "#load".
#include "startup.h"
#include "common/message.h"
#include "common/config.h"
#include "res/resource.h"

#define EXE_PATH_CAPACITY 260

int StartupShortcutPath(LPWSTR path)
{
    WCHAR folder[STARTUP_FOLDER_CAPACITY];
    path[0] = 0;
    // Without the folder there is no place for the shortcut: a path made of
    // the file name alone would land in whatever folder is current.
    if (!GetShellFolderPath(CSIDL_STARTUP, folder))
        return 0;
    FormatText(path, STARTUP_PATH_CAPACITY, L"%s\\VornStart.lnk", folder);
    return 1;
}

void CreateStartupShortcut(void)
{
    WCHAR exe[EXE_PATH_CAPACITY];
    WCHAR path[STARTUP_PATH_CAPACITY];
    DWORD len = GetModuleFileNameW(NULL, exe, EXE_PATH_CAPACITY);
    // A cut path would start nothing.
    if (len == 0 || len >= EXE_PATH_CAPACITY)
        return;
    if (!StartupShortcutPath(path))
        return;
    // Into a file of its own, made afresh: when the old one cannot go, it
    // stays as it was rather than get the shortcut appended to it.
    DeleteFileW(path);
    CreateTextFileF(path, L"1#\"%s\" #load", exe);
}

void StartupCommand(HWND editor)
{
    WCHAR path[STARTUP_PATH_CAPACITY];
    if (!StartupShortcutPath(path))
        return;
    if (GetPathKind(path) == PATH_FILE) {
        if (ShowMessageF(editor, L"", MB_YESNO | MB_ICONQUESTION, L"%s",
                         LoadResString(IDS_STARTUP_DELETE)) == IDYES)
            DeleteFileW(path);
    } else {
        // A folder of the shortcut's name counts as no shortcut.
        if (ShowMessageF(editor, L"", MB_YESNO | MB_ICONQUESTION, L"%s",
                         LoadResString(IDS_STARTUP_ADD)) == IDYES)
            CreateStartupShortcut();
    }
}
