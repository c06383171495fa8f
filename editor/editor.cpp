// The configuration editor window: loading, editing and saving the
// configuration file, restoring its default text and the About box.
#include "editor.h"
#include "pickers.h"
#include "startup.h"
#include "logview.h"
#include "common/globals.h"
#include "common/message.h"
#include "common/config.h"
#include "common/textsearch.h"
#include "monitor/account.h"
#include "res/resource.h"
#include <stdlib.h>

// Spare characters after the edit's text in the Save buffer.
#define SAVE_SPARE 6
// Temporary names that Save tries before it gives up on one of its own.
#define SAVE_TEMP_NAMES 32
#define SAVE_TEMP_NAME_CAPACITY 24

EditorState g_editor;

LPWSTR CopyDefaultText(void)
{
    LPCWSTR text = LoadResString(IDS_DEFAULT_CONFIG);
    if (!text)
        return NULL;
    int len = lstrlenW(text);
    LPWSTR copy = (LPWSTR)malloc((len + 1) * sizeof(WCHAR));
    if (copy)
        CopyMemory(copy, text, (len + 1) * sizeof(WCHAR));
    return copy;
}

void LoadEditorText(LPCWSTR configPath)
{
    g_editor.configPath = configPath;
    free(g_editor.text);
    g_editor.text = NULL;
    BYTE *bytes = ReadFileAll(configPath);
    if (bytes) {
        g_editor.text = AnsiToWide((const char *)bytes);
        free(bytes);
    }
    // A missing, unreadable or empty file shows the default text.
    if (!g_editor.text)
        g_editor.text = CopyDefaultText();
}

// Puts the file from in the place of the file to, retrying for a moment
// while the monitor holds the file at a sensor event. Once the old file is
// gone (*oldGone, as MoveFileOver sets it), a file found at to is the
// monitor's default text, written at an event in between: it goes again.
static int MoveOver(LPCWSTR from, LPCWSTR to, int *oldGone)
{
    for (int attempt = 1;; ++attempt) {
        if (MoveFileOver(from, to, oldGone))
            return 1;
        DWORD error = GetLastError();
        int held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
        int reappeared = *oldGone && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS);
        if (attempt >= REPLACE_ATTEMPTS || (!held && !reappeared))
            return 0;
        Sleep(REPLACE_RETRY_MS);
    }
}

int SaveTempName(LPCWSTR path, int serial, LPWSTR temp)
{
    temp[0] = 0;
    if (!path || serial <= 0)
        return 0;
    int folder = 0;  // length of the folder part, its last backslash included
    for (int i = 0; path[i]; ++i) {
        if (path[i] == L'\\')
            folder = i + 1;
    }
    WCHAR name[SAVE_TEMP_NAME_CAPACITY];
    int nameLength = FormatText(name, SAVE_TEMP_NAME_CAPACITY, L"~vorn%u.tmp", (UINT)serial);
    if (folder + nameLength >= CONFIG_PATH_CAPACITY)
        return 0;
    lstrcpynW(temp, path, folder + 1);
    lstrcpyW(temp + folder, name);
    return 1;
}

// Delete, then write a new file: the way for a folder too deep for any
// temporary name. A file that appears in between (the monitor writing the
// default text) goes again, so the text never lands behind another one.
// There is no other copy of the text: when the tries run out, the file may
// be missing.
static int RewriteFile(LPCWSTR path, LPCWSTR text)
{
    for (int attempt = 1;; ++attempt) {
        DeleteFileW(path);
        if (CreateTextFileF(path, L"%s", text))
            return 1;
        if (attempt >= REPLACE_ATTEMPTS || GetPathKind(path) == PATH_MISSING)
            return 0;
        Sleep(REPLACE_RETRY_MS);
    }
}

int SaveConfigText(LPCWSTR path, LPWSTR text, UINT capacity)
{
    if (!path || !*path || !text)
        return 0;
    // The text stream writes each LF as CR LF: without this, lines that
    // ended in CR LF in the edit would get two CRs in the file.
    while (ReplaceFirst(text, capacity, L"\r", L""))
        ;

    // The old file stays untouched until the new text is whole on disk,
    // in a file of Save's own beside it: a name that is taken, by a file
    // of the user's or one left over, is never written to or deleted.
    WCHAR temp[CONFIG_PATH_CAPACITY];
    for (int serial = 1; serial <= SAVE_TEMP_NAMES; ++serial) {
        // A longer number fits even less.
        if (!SaveTempName(path, serial, temp))
            break;
        if (CreateTextFileF(temp, L"%s", text)) {
            int oldGone = 0;
            if (MoveOver(temp, path, &oldGone))
                return 1;
            // Once the old file is gone, the temporary file holds the only
            // copy of the new text: it stays, whatever the file holds now.
            if (!oldGone)
                DeleteFileW(temp);
            return 0;
        }
        // A free name that cannot be written: nor could the file itself.
        if (GetPathKind(temp) == PATH_MISSING)
            return 0;
    }
    return RewriteFile(path, text);
}

static void SaveCommand(void)
{
    g_editor.saved = 1;
    free(g_editor.text);
    g_editor.text = NULL;

    int n = (int)SendMessageW(g_editor.visibleEdit, WM_GETTEXTLENGTH, 0, 0);
    if (n <= 0)
        return;
    LPWSTR text = (LPWSTR)malloc((n + SAVE_SPARE) * sizeof(WCHAR));
    if (!text)
        return;
    text[0] = 0;
    SendMessageW(g_editor.visibleEdit, WM_GETTEXT, n + 1, (LPARAM)text);
    g_editor.text = text;
    SaveConfigText(g_editor.configPath, text, n + SAVE_SPARE);
}

static void RestoreDefaultCommand(void)
{
    free(g_editor.text);
    g_editor.text = CopyDefaultText();
    if (g_editor.text)
        SetWindowTextW(g_editor.visibleEdit, g_editor.text);
}

static void AboutCommand(void)
{
    // The monitor may have started or ended since the editor opened.
    g_vorn.runningInstance = FindWindowW(MONITOR_CLASS, NULL);
    ShowAboutBox();
}

static void PlaceEdit(HWND edit, HWND after, UINT flags);

// The account's latest lines, as many as fit the view as it is placed now,
// after the sentence that the saved configuration file calls for, if any
// (LogViewSentence).
static void FillLogView(void)
{
    WCHAR logPath[CONFIG_PATH_CAPACITY];
    GetAccountPath(g_editor.configPath, logPath);
    LPWSTR tail = ReadLogTail(logPath);
    LPCWSTR sentence = LogViewSentence(g_editor.configPath, tail != NULL);
    int ends[LOG_VIEW_EVENTS];
    int events = 0;
    LPWSTR text = ComposeLogView(sentence, tail, ends, LOG_VIEW_EVENTS, &events);
    free(tail);
    SetWindowTextW(g_editor.logView, text ? text : L"");
    if (text) {
        int fit = LogEventsThatFit(g_editor.logView, ends, events, LogViewRows(g_editor.logView));
        if (fit < events) {
            text[ends[fit - 1]] = 0;
            SetWindowTextW(g_editor.logView, text);
        }
        free(text);
    }
}

// The account in place of the text, which stays as it is, unsaved edits
// and all, hidden until the user goes back.
static void ShowLog(HWND window)
{
    if (!g_editor.visibleEdit)
        return;
    if (!g_editor.logView) {
        g_editor.logView = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_MULTILINE | ES_READONLY |
                                           ES_AUTOVSCROLL, 0, 0, 0, 0, window,
                                           (HMENU)(INT_PTR)EDITOR_LOG_VIEW_ID, g_vorn.ownModule,
                                           NULL);
        if (!g_editor.logView)
            return;
        SendMessageW(g_editor.logView, WM_SETFONT, (WPARAM)g_editor.font, FALSE);
    }
    g_editor.logShown = 1;
    // Keys must not reach the hidden text; a tap on the view takes the focus
    // and so brings the text back.
    SetFocus(window);
    PlaceEdit(g_editor.logView, HWND_TOP, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    FillLogView();
    ShowWindow(g_editor.visibleEdit, SW_HIDE);
}

static void HideLog(void)
{
    if (!g_editor.logShown)
        return;
    g_editor.logShown = 0;
    ShowWindow(g_editor.visibleEdit, SW_SHOW);
    ShowWindow(g_editor.logView, SW_HIDE);
    SetFocus(g_editor.visibleEdit);
}

static void ExitCommand(HWND window)
{
    free(g_editor.text);
    g_editor.text = NULL;
    SendMessageW(window, WM_CLOSE, 0, 0);
}

static LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    // Repaint the whole visible edit after any edit's update, so that no
    // stale text stays on the screen.
    if (HIWORD(wParam) == EN_UPDATE)
        InvalidateRect(g_editor.visibleEdit, NULL, FALSE);

    // While the account shows, a tap on it, or any command, brings the
    // text back; the account's own command only that.
    if (g_editor.logShown) {
        HWND from = (HWND)lParam;
        if (from == g_editor.logView && HIWORD(wParam) == EN_SETFOCUS) {
            HideLog();
            return 0;
        }
        if (from != g_editor.logView && from != g_editor.visibleEdit) {
            HideLog();
            if (LOWORD(wParam) == IDM_SHOW_LOG)
                return 0;
        }
    }

    HWND edit = g_editor.visibleEdit;
    switch (LOWORD(wParam)) {
    case IDM_EXIT:
        ExitCommand(window);
        break;
    case IDM_COPY:
        SendMessageW(edit, WM_COPY, 0, 0);
        break;
    case IDM_PASTE:
        SendMessageW(edit, WM_PASTE, 0, 0);
        break;
    case IDM_SELECTALL:
        SendMessageW(edit, EM_SETSEL, 0, -1);
        break;
    case IDM_CUT:
        SendMessageW(edit, WM_CUT, 0, 0);
        break;
    case IDM_SAVE:
        SaveCommand();
        break;
    case IDM_UNDO:
        SendMessageW(edit, EM_UNDO, 0, 0);
        break;
    case IDM_ABOUT:
        AboutCommand();
        break;
    case IDM_RESTORE_DEFAULT:
        RestoreDefaultCommand();
        break;
    case IDM_PICK_TITLE:
        InsertPickedWindow(window, PICK_TITLES);
        break;
    case IDM_PICK_CLASS:
        InsertPickedWindow(window, PICK_CLASSES);
        break;
    case IDM_PICK_PROCESS:
        InsertPickedWindow(window, PICK_PROCESSES);
        break;
    case IDM_STARTUP:
        StartupCommand(window);
        break;
    case IDM_SHOW_LOG:
        ShowLog(window);
        break;
    default:
        // The edits' own notifications and the Done button.
        return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
    return 0;
}

static void PlaceEdit(HWND edit, HWND after, UINT flags)
{
    const RECT &r = g_editor.editRect;
    SetWindowPos(edit, after, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
}

static void MeasureClient(HWND window)
{
    GetClientRect(window, &g_editor.clientRect);
    const RECT &c = g_editor.clientRect;
    SetRect(&g_editor.editRect, c.left + 1, c.top + 1, c.right - 1, c.bottom - 1);
}

static HWND CreateEdit(HWND window, DWORD style, int id)
{
    return CreateWindowExW(0, L"EDIT", L"", style, 0, 0, 0, 0, window,
                           (HMENU)(INT_PTR)id, g_vorn.ownModule, NULL);
}

static LRESULT OnCreate(HWND window)
{
    ZeroMemory(&g_editor.activation, sizeof(g_editor.activation));
    g_editor.activation.cbSize = sizeof(g_editor.activation);
    g_editor.saved = 0;
    g_editor.visibleEdit = NULL;
    g_editor.logView = NULL;
    g_editor.logShown = 0;

    SHINITDLGINFO dialog;
    dialog.dwMask = SHIDIM_FLAGS;
    dialog.hDlg = window;
    dialog.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN;
    SHInitDialog(&dialog);

    SHMENUBARINFO bar;
    ZeroMemory(&bar, sizeof(bar));
    bar.cbSize = sizeof(bar);
    bar.hwndParent = window;
    bar.dwFlags = SHCMBF_HMENU;
    bar.nToolBarId = IDM_MENUBAR;
    bar.hInstRes = g_vorn.ownModule;
    if (!SHCreateMenuBar(&bar))
        return 0;

    g_editor.visibleEdit = CreateEdit(window, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL |
                                      ES_WANTRETURN | ES_MULTILINE, EDITOR_VISIBLE_EDIT_ID);
    MeasureClient(window);
    CreateEditorFont(&g_editor.font, EDITOR_FONT_POINTS);
    SendMessageW(g_editor.visibleEdit, WM_SETFONT, (WPARAM)g_editor.font, TRUE);
    PlaceEdit(g_editor.visibleEdit, HWND_TOPMOST, SWP_SHOWWINDOW);
    if (g_editor.text)
        SetWindowTextW(g_editor.visibleEdit, g_editor.text);
    return 0;
}

LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_SIZE:
        MeasureClient(window);
        PlaceEdit(g_editor.visibleEdit, HWND_TOPMOST, g_editor.logShown ? 0 : SWP_SHOWWINDOW);
        // The turned screen holds other rows: the account is cut anew.
        if (g_editor.logShown) {
            PlaceEdit(g_editor.logView, HWND_TOP, SWP_NOACTIVATE);
            FillLogView();
        }
        return 0;
    case WM_ACTIVATE:
        SHHandleWMActivate(window, wParam, lParam, &g_editor.activation, 0);
        if (wParam) {
            SetFocus(g_editor.logShown ? window : g_editor.visibleEdit);
            // Events may have come while another app was in front. No timer
            // wakes the phone for them: coming back reads the log again.
            if (g_editor.logShown)
                FillLogView();
        } else {
            SendMessageW(g_editor.visibleEdit, WM_ACTIVATE, 0, lParam);
        }
        return 0;
    case WM_SETFOCUS:
        if (!g_editor.logShown)
            SetFocus(g_editor.visibleEdit);
        return 0;
    case WM_KILLFOCUS:
        SendMessageW(g_editor.visibleEdit, WM_KILLFOCUS, wParam, lParam);
        return 0;
    case WM_SETTINGCHANGE:
        SHHandleWMSettingChange(window, wParam, lParam, &g_editor.activation);
        return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        SetBkMode((HDC)wParam, TRANSPARENT);
        SetTextColor((HDC)wParam, RGB(0, 0, 0));
        return (LRESULT)GetStockObject(WHITE_BRUSH);
    case WM_DESTROY:
        if (g_editor.font) {
            DeleteObject(g_editor.font);
            g_editor.font = NULL;
        }
        g_editor.logView = NULL;
        g_editor.logShown = 0;
        PostQuitMessage(0);
        return 0;
    case WM_COMMAND:
        return OnCommand(window, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void CreateEditorFont(HFONT *font, int points)
{
    HWND desktop = GetDesktopWindow();
    HDC dc = GetDC(desktop);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(desktop, dc);

    LOGFONTW face;
    ZeroMemory(&face, sizeof(face));
    face.lfHeight = -(points * dpi / 72);
    face.lfWeight = FW_NORMAL;
    face.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(face.lfFaceName, L"Tahoma", LF_FACESIZE);

    if (*font)
        DeleteObject(*font);
    *font = CreateFontIndirectW(&face);
}

ATOM RegisterEditorClass(HINSTANCE instance, LPCWSTR className)
{
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = EditorWndProc;
    wc.hInstance = instance;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = className;
    return RegisterClassW(&wc);
}

BOOL CreateEditorWindow(HINSTANCE instance, LPCWSTR className, LPCWSTR title)
{
    // A class left registered by an earlier editor of this process serves.
    RegisterEditorClass(instance, className);
    HWND window = CreateWindowExW(0, className, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, instance, NULL);
    if (!window)
        return FALSE;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return TRUE;
}

int RunEditor(HINSTANCE instance, LPCWSTR className, LPCWSTR configPath, LPCWSTR title)
{
    LoadEditorText(configPath);
    if (!CreateEditorWindow(instance, className, title))
        return -1;
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return g_editor.saved;
}
