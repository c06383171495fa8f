// Chooses a menu command of another program's window, the way the
// end-to-end tests do: WM_COMMAND with the command's id, sent to the first
// visible top-level window of the class, once it is there.
//
//   menucmd <window class> <command id>
//
// Exit code 0 once the window has handled the command, 1 when no such
// window appears within 10 s or it does not answer within 10 s, 2 on a
// usage error.
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

static HWND FindVisible(const WCHAR *className)
{
    for (HWND w = FindWindowExW(NULL, NULL, className, NULL); w;
         w = FindWindowExW(NULL, w, className, NULL)) {
        if (IsWindowVisible(w))
            return w;
    }
    return NULL;
}

int wmain(int argc, wchar_t **argv)
{
    WCHAR *end = NULL;
    long id = argc == 3 ? wcstol(argv[2], &end, 10) : -1;
    if (argc != 3 || !argv[1][0] || !argv[2][0] || *end || id < 0 || id > 0xFFFF) {
        fwprintf(stderr, L"usage: menucmd <window class> <command id>\n");
        return 2;
    }
    HWND window = NULL;
    for (int waited = 0; !(window = FindVisible(argv[1])) && waited < 10000; waited += 50)
        Sleep(50);
    if (!window) {
        fwprintf(stderr, L"menucmd: no visible window of class %ls\n", argv[1]);
        return 1;
    }
    if (!SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM((WORD)id, 0), 0, SMTO_ABORTIFHUNG,
                             10000, NULL)) {
        fwprintf(stderr, L"menucmd: the window did not handle command %ld\n", id);
        return 1;
    }
    return 0;
}
