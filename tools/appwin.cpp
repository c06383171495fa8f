// Another program on the emulated phone: one small top-level window with the
// title and class given on the command line, brought to the foreground.
// Copied under another file name it stands for that program, so that the
// foreground window's process name can be matched.
//
//   appwin.exe "<title>" "<class>"
//
// It runs until its window is closed. Posting APPWIN_ACTIVATE (WM_APP + 1)
// to the window brings it to the foreground again; the command
// APPWIN_COMMAND_ASK (WM_COMMAND 100, as menucmd sends it) or a posted
// APPWIN_ASK (WM_APP + 2) opens the app's own message box, owned by its
// window, until it is answered. Started again while its
// window is there, it brings that window to the foreground and ends, as a
// phone's app does.
//
// The window fills the work area, the screen under the status bar, like a
// phone's app, again after every turn of the display, and shows which way is
// up at a glance: a coloured bar along its top, its title
// large under it and a large arrow pointing up.
#include <windows.h>
#include <shellapi.h>
#include "phonescreen.h"
#include "standin_log.h"

#define APPWIN_ACTIVATE (WM_APP + 1)
#define APPWIN_ASK (WM_APP + 2)
#define APPWIN_COMMAND_ASK 100

// The app's own question: a message box owned by its window.
static void Ask(HWND window)
{
    StandinLog(L"appwin asks window=0x%llx", (unsigned long long)(ULONG_PTR)window);
    int answer = MessageBoxW(window, L"Keep this page as a bookmark?", L"Bookmark",
                             MB_OKCANCEL);
    StandinLog(L"appwin answered window=0x%llx answer=%d", (unsigned long long)(ULONG_PTR)window,
               answer);
}

static void Activate(HWND window)
{
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    StandinLog(L"appwin foreground window=0x%llx foreground=%d",
               (unsigned long long)(ULONG_PTR)window, GetForegroundWindow() == window);
}

// The app's colour, chosen by its class name so that apps differ.
static COLORREF AppColor(LPCWSTR className)
{
    static const COLORREF colors[] = {RGB(36, 99, 200), RGB(222, 110, 24), RGB(34, 140, 74),
                                      RGB(128, 64, 168), RGB(196, 44, 60)};
    unsigned sum = 0;
    for (LPCWSTR c = className; *c; c++)
        sum = sum * 31 + *c;
    return colors[sum % (sizeof(colors) / sizeof(colors[0]))];
}

static void Paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    int w = client.right, h = client.bottom;
    // Title and arrow are sized by the shorter side, so that they fit in
    // landscape too.
    int s = w < h ? w : h;
    WCHAR title[128] = L"", className[128] = L"";
    GetWindowTextW(window, title, 128);
    GetClassNameW(window, className, 128);
    COLORREF color = AppColor(className);
    HBRUSH brush = CreateSolidBrush(color);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));

    // The top bar, with a white arrow in it.
    int bar = h / 8;
    RECT top = {0, 0, w, bar};
    FillRect(dc, &top, brush);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    POINT head[3] = {
        {w / 2, bar / 6}, {w / 2 + bar / 2, bar * 5 / 6}, {w / 2 - bar / 2, bar * 5 / 6}};
    Polygon(dc, head, 3);

    // The title, large.
    HFONT font = CreateFontW(-(s / 7), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             DEFAULT_PITCH, L"Tahoma");
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(24, 24, 28));
    RECT text = {w / 20, bar + h / 20, w - w / 20, bar + h / 20 + s / 4};
    DrawTextW(dc, title, -1, &text,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, oldFont);
    DeleteObject(font);

    // A large arrow pointing up: head and shaft.
    SelectObject(dc, brush);
    int cx = w / 2, tip = bar + h / 20 + s / 4 + h / 20, base = h - h / 12;
    int half = s / 4, neck = tip + half;
    POINT arrow[7] = {{cx, tip},
                      {cx + half, neck},
                      {cx + half / 3, neck},
                      {cx + half / 3, base},
                      {cx - half / 3, base},
                      {cx - half / 3, neck},
                      {cx - half, neck}};
    Polygon(dc, arrow, 7);

    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
    EndPaint(window, &ps);
}

// Covers the work area of the screen as it is now.
static void FitToWorkArea(HWND window)
{
    RECT work;
    PhoneWorkArea(&work);
    SetWindowPos(window, NULL, work.left, work.top, work.right - work.left,
                 work.bottom - work.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

static LRESULT CALLBACK AppWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case APPWIN_ACTIVATE:
        Activate(window);
        return 0;
    case APPWIN_ASK:
        Ask(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == APPWIN_COMMAND_ASK) {
            // Answered after the box is up: the sender goes on meanwhile.
            PostMessageW(window, APPWIN_ASK, 0, 0);
            return 0;
        }
        break;
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_SETTINGCHANGE:
        // The display turned: lay the app out on the new screen.
        if (wParam == SETTINGCHANGE_RESET) {
            FitToWorkArea(window);
            // Painted before the news of the turn has gone round: what is
            // on the screen then is the app as it is now.
            UpdateWindow(window);
            StandinLog(L"appwin fitted window=0x%llx screen=%dx%d",
                       (unsigned long long)(ULONG_PTR)window, GetSystemMetrics(SM_CXSCREEN),
                       GetSystemMetrics(SM_CYSCREEN));
        }
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
    HWND running = FindWindowW(className, title);
    if (running) {
        PostMessageW(running, APPWIN_ACTIVATE, 0, 0);
        LocalFree(argv);
        return 0;
    }

    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = AppWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = className;
    if (!RegisterClassW(&wc))
        return 1;
    RECT work;
    PhoneWorkArea(&work);
    HWND window = CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  work.left, work.top, work.right - work.left,
                                  work.bottom - work.top, NULL, NULL, instance, NULL);
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
