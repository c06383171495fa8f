// The emulated phone's shell, as far as the app in front goes: when another
// window comes to the foreground it writes the string value
// HKEY_CURRENT_USER "System\State\Shell" "Active Application", the previous
// window's title and the new one's separated by ESC, as the phone's shell
// publishes its app in front.
//
//   shellfront         runs until it is ended
//
// It looks at the foreground window every 20 ms: this machine's Wine raises
// no foreground event that a hook could wait for. A foreground of none is
// not published; the next window is then told against the last one that was
// in front. Titles, not program names: two apps of one program differ by
// their titles.
//
// Exit code 2 on a usage error; otherwise it runs until it is ended.
#include <windows.h>
#include <stdio.h>
#include "standin_log.h"

static const WCHAR kShellKey[] = L"System\\State\\Shell";
static const WCHAR kFrontValue[] = L"Active Application";

#define POLL_MS 20
// Each title is cut to this many characters, so that the value, two titles
// and the ESC between them, fits the 256 characters a notification holds.
#define TITLE_MAX 127

static void TitleOf(HWND window, WCHAR *title)
{
    title[0] = 0;
    GetWindowTextW(window, title, TITLE_MAX + 1);
}

static int Publish(const WCHAR *previous, const WCHAR *now)
{
    WCHAR value[2 * TITLE_MAX + 2];
    int n = wsprintfW(value, L"%s\x1b%s", previous, now);
    HKEY key;
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, kShellKey, 0, NULL, 0, KEY_SET_VALUE, NULL,
                              &key, NULL);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(key, kFrontValue, 0, REG_SZ, (const BYTE *)value,
                            (DWORD)(n + 1) * sizeof(WCHAR));
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) {
        fprintf(stderr, "shellfront: cannot write Active Application (error %ld)\n", (long)rc);
        return 0;
    }
    StandinLog(L"shellfront front \"%ls\" -> \"%ls\"", previous, now);
    return 1;
}

int wmain(int argc, wchar_t **)
{
    if (argc != 1) {
        fprintf(stderr, "usage: shellfront\n");
        return 2;
    }
    HWND last = GetForegroundWindow();
    WCHAR lastTitle[TITLE_MAX + 1];
    TitleOf(last, lastTitle);
    StandinLog(L"shellfront ready front=\"%ls\"", last ? lastTitle : L"(none)");
    for (;;) {
        Sleep(POLL_MS);
        HWND front = GetForegroundWindow();
        if (!front || front == last)
            continue;
        WCHAR title[TITLE_MAX + 1];
        TitleOf(front, title);
        // A write that fails is tried again at the next look.
        if (Publish(last ? lastTitle : L"", title)) {
            last = front;
            lstrcpyW(lastTitle, title);
        }
    }
}
