// Another program on the emulated phone: one small top-level window with the
// title and class given on the command line, brought to the foreground.
// Copied under another file name it stands for that program, so that the
// foreground window's process name can be matched.
//
//   appwin.exe "<title>" "<class>"
//
// It runs until its window is closed. Posting APPWIN_ACTIVATE (WM_APP + 1)
// to the window brings it to the foreground again.
#include <windows.h>
#include <shellapi.h>
#include "standin_log.h"

#define APPWIN_ACTIVATE (WM_APP + 1)

static void Activate(HWND window)
{
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    StandinLog(L"appwin foreground window=0x%llx foreground=%d",
               (unsigned long long)(ULONG_PTR)window, GetForegroundWindow() == window);
}

static LRESULT CALLBACK AppWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case APPWIN_ACTIVATE:
        Activate(window);
        return 0;
    case WM_CLOSE:
        // The window goes with the process. Destroying the active window
        // first would cost seconds under Wine without a window manager.
        PostQuitMessage(0);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    int argc = 0;
    LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3 || !argv[2][0]) {
        MessageBoxW(NULL, L"usage: appwin.exe \"<title>\" \"<class>\"", L"appwin", MB_OK);
        return 2;
    }
    LPCWSTR title = argv[1], className = argv[2];

    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = AppWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = className;
    if (!RegisterClassW(&wc))
        return 1;
    HWND window = CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                                  200, 100, NULL, NULL, instance, NULL);
    if (!window)
        return 1;
    UpdateWindow(window);
    StandinLog(L"appwin open window=0x%llx title=%ls class=%ls",
               (unsigned long long)(ULONG_PTR)window, title, className);
    Activate(window);

    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    StandinLog(L"appwin closed window=0x%llx", (unsigned long long)(ULONG_PTR)window);
    LocalFree(argv);
    return 0;
}
