#include "commands.h"
#include "common/globals.h"
#include "common/message.h"
#include "aygshell.h"
#include "common/config.h"
#include "common/textsearch.h"
#include "editor/editor.h"
#include "res/resource.h"

#define PATH_CAPACITY 260

static int HasVerb(LPCWSTR commandLine, LPCWSTR verb)
{
    return FindNoCase(commandLine, verb) != NULL;
}

static void PostUnload(void)
{
    PostMessageW(g_vorn.runningInstance, WMU_UNLOAD, 0, 0);
}

// Builds the quoted form of path in quoted (capacity characters). A path
// too long for its quotes is cut so that both quotes still fit.
static void QuotePath(LPWSTR quoted, int capacity, LPCWSTR path)
{
    WCHAR cut[PATH_CAPACITY];
    lstrcpynW(cut, path, capacity - 2);
    FormatText(quoted, capacity, L"\"%s\"", cut);
}

static void RegisterStart(void)
{
    WCHAR path[PATH_CAPACITY];
    WCHAR quoted[PATH_CAPACITY];
    UINT_PTR record[6];

    path[0] = 0;
    GetModuleFileNameW(g_vorn.ownModule, path, PATH_CAPACITY);
    ZeroMemory(record, sizeof(record));
    record[1] = (UINT_PTR)MONITOR_CLASS;
    record[2] = (UINT_PTR)quoted;
    record[4] = 31;
    QuotePath(quoted, PATH_CAPACITY, path);
    RegisterWithShell(L":QZVORN", 31, record, quoted);
}

int HandleCommandLine(LPCWSTR commandLine)
{
    g_vorn.runningInstance = FindWindowW(MONITOR_CLASS, NULL);

    if (HasVerb(commandLine, L"#load"))
        return g_vorn.runningInstance ? 1 : 0;
    if (HasVerb(commandLine, L"#toggle")) {
        if (!g_vorn.runningInstance)
            return 0;
        PostUnload();
        return 1;
    }
    if (HasVerb(commandLine, L"#unload")) {
        if (g_vorn.runningInstance)
            PostUnload();
        return 1;
    }

    RegisterStart();
    if (HasVerb(commandLine, L"#register"))
        return 1;

    WCHAR configPath[CONFIG_PATH_CAPACITY];
    GetConfigPath(g_vorn.ownModule, configPath);

    if (HasVerb(commandLine, L"#CONFIG")) {
        RunEditor(g_vorn.ownModule, EDITOR_CLASS, configPath, LoadResString(IDS_TITLE));
        return 1;
    }
    if (HasVerb(commandLine, L"#about")) {
        ShowAboutBox();
        return 1;
    }
    if (!g_vorn.runningInstance)
        return 0;
    if (ShowMessageF(NULL, LoadResString(IDS_CAPTION), MB_TOPMOST | MB_YESNO,
                     LoadResString(IDS_UNLOAD_PROMPT), VERSION_MAJOR, VERSION_MINOR,
                     LoadResString(IDS_STATUS_ON)) == IDYES)
        PostUnload();
    return 1;
}
