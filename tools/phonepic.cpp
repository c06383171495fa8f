// Pictures of the emulated phone as a person holding it would see it.
//
//   phonepic frame <out.png> [--step N] [--did TEXT] [--screen-off]
//       the phone now: the screen captured, the body in the position the
//       sensor reports, the content turned by the display's rotation, and a
//       caption (the step, the position, the app in front, what Vorn did)
//   phonepic sheet <out.png> <title> <frame.png>...
//       the frames in order on one sheet under a title
//
// Exit code 0 on success, 1 when the picture cannot be made or written, 2 on
// a usage error.
#include <windows.h>
#include <gdiplus.h>
#include <stdio.h>
#include <wchar.h>
#include "phoneframe.h"

static const WCHAR kSensorKey[] = L"Software\\HTC\\HTCSensor\\GSensor";
static const WCHAR kSensorValue[] = L"EventChanged";

// The platform's display rotation query (aygshell ordinal 299).
typedef LONG(WINAPI *PFN_RotationQuery)(DWORD *code);

// The PNG encoder of GDI+.
static const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3,
                                  {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

static DWORD ReadSensor()
{
    DWORD value = 0, size = sizeof(value), type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSensorKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return 0;
    if (RegQueryValueExW(key, kSensorValue, NULL, &type, (BYTE *)&value, &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        value = 0;
    RegCloseKey(key);
    return value;
}

// The rotation the display holds now, asked of the platform; 0 (portrait)
// when it cannot say.
static DWORD ReadRotation()
{
    HMODULE shell = LoadLibraryW(L"aygshell.dll");
    if (!shell)
        return 0;
    DWORD code = 0;
    PFN_RotationQuery query =
        (PFN_RotationQuery)(void *)GetProcAddress(shell, MAKEINTRESOURCEA(299));
    if (query)
        query(&code);
    FreeLibrary(shell);
    return code;
}

// The foreground app as a caption names it: its title and program file.
static void ForegroundApp(WCHAR *text, int capacity)
{
    text[0] = 0;
    HWND window = GetForegroundWindow();
    if (!window)
        return;
    WCHAR title[128] = L"";
    if (!GetWindowTextW(window, title, 128))
        GetClassNameW(window, title, 128);
    WCHAR path[MAX_PATH] = L"";
    DWORD pid = 0, length = MAX_PATH;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process) {
        if (!QueryFullProcessImageNameW(process, 0, path, &length))
            path[0] = 0;
        CloseHandle(process);
    }
    const WCHAR *file = wcsrchr(path, L'\\');
    file = file ? file + 1 : path;
    if (file[0])
        _snwprintf(text, capacity, L"%ls (%ls)", title, file);
    else
        _snwprintf(text, capacity, L"%ls", title);
    text[capacity - 1] = 0;
}

// A bitmap to draw on, with its own device context.
struct Canvas {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    int width, height;
};

static int OpenCanvas(Canvas *canvas, int width, int height)
{
    BITMAPINFO info;
    ZeroMemory(&info, sizeof(info));
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    canvas->width = width;
    canvas->height = height;
    canvas->dc = CreateCompatibleDC(NULL);
    canvas->bitmap = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (!canvas->dc || !canvas->bitmap) {
        if (canvas->bitmap)
            DeleteObject(canvas->bitmap);
        if (canvas->dc)
            DeleteDC(canvas->dc);
        return 0;
    }
    canvas->old = SelectObject(canvas->dc, canvas->bitmap);
    return 1;
}

static void CloseCanvas(Canvas *canvas)
{
    SelectObject(canvas->dc, canvas->old);
    DeleteObject(canvas->bitmap);
    DeleteDC(canvas->dc);
}

// Writes the canvas as a PNG file through GDI+. Returns 1 on success.
static int SavePng(Canvas *canvas, const WCHAR *path)
{
    // GDI+ reads the bitmap while it belongs to no device context.
    SelectObject(canvas->dc, canvas->old);
    Gdiplus::GpBitmap *image = NULL;
    int ok = Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(canvas->bitmap, NULL, &image) ==
             Gdiplus::Ok;
    if (ok) {
        ok = Gdiplus::DllExports::GdipSaveImageToFile(image, path, &kPngEncoder, NULL) ==
             Gdiplus::Ok;
        Gdiplus::DllExports::GdipDisposeImage(image);
    }
    canvas->old = SelectObject(canvas->dc, canvas->bitmap);
    if (!ok)
        fwprintf(stderr, L"phonepic: cannot write %ls\n", path);
    return ok;
}

static int Frame(const WCHAR *out, int step, const WCHAR *did, int screenOff)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    Canvas screen;
    if (width <= 0 || height <= 0 || !OpenCanvas(&screen, width, height)) {
        fwprintf(stderr, L"phonepic: cannot capture the screen\n");
        return 1;
    }
    HDC display = GetDC(NULL);
    BOOL captured = display && BitBlt(screen.dc, 0, 0, width, height, display, 0, 0,
                                      SRCCOPY | CAPTUREBLT);
    if (display)
        ReleaseDC(NULL, display);
    if (!captured) {
        fwprintf(stderr, L"phonepic: cannot capture the screen\n");
        CloseCanvas(&screen);
        return 1;
    }

    PhoneState state;
    state.sensor = ReadSensor();
    state.rotation = ReadRotation();
    state.screenOff = screenOff;
    WCHAR app[PHONE_CAPTION_LINE_CAPACITY];
    ForegroundApp(app, PHONE_CAPTION_LINE_CAPACITY);
    WCHAR lines[PHONE_CAPTION_LINES][PHONE_CAPTION_LINE_CAPACITY];
    FormatCaption(step, &state, app, did, lines);

    Canvas frame;
    int ok = OpenCanvas(&frame, PHONE_FRAME_WIDTH, PHONE_FRAME_HEIGHT);
    if (ok) {
        ok = DrawFrame(frame.dc, screen.dc, width, height, &state, lines);
        if (!ok)
            fwprintf(stderr, L"phonepic: cannot draw the phone\n");
        ok = ok && SavePng(&frame, out);
        CloseCanvas(&frame);
    }
    CloseCanvas(&screen);
    return ok ? 0 : 1;
}

// Places one frame file on the sheet. Returns 1 on success.
static int PlaceFrame(Canvas *sheet, const WCHAR *path, POINT at)
{
    Gdiplus::GpBitmap *image = NULL;
    if (Gdiplus::DllExports::GdipCreateBitmapFromFile(path, &image) != Gdiplus::Ok) {
        fwprintf(stderr, L"phonepic: cannot read %ls\n", path);
        return 0;
    }
    HBITMAP bitmap = NULL;
    Gdiplus::GpStatus status =
        Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(image, &bitmap, 0xFFFFFFFF);
    Gdiplus::DllExports::GdipDisposeImage(image);
    if (status != Gdiplus::Ok || !bitmap) {
        fwprintf(stderr, L"phonepic: cannot read %ls\n", path);
        return 0;
    }
    BITMAP info;
    GetObjectW(bitmap, sizeof(info), &info);
    HDC dc = CreateCompatibleDC(sheet->dc);
    HGDIOBJ old = SelectObject(dc, bitmap);
    int w = info.bmWidth < PHONE_FRAME_WIDTH ? info.bmWidth : PHONE_FRAME_WIDTH;
    int h = info.bmHeight < PHONE_FRAME_HEIGHT ? info.bmHeight : PHONE_FRAME_HEIGHT;
    BOOL ok = BitBlt(sheet->dc, at.x, at.y, w, h, dc, 0, 0, SRCCOPY);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    // A thin line around the frame keeps the frames apart.
    HGDIOBJ oldBrush = SelectObject(sheet->dc, GetStockObject(NULL_BRUSH));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(200, 200, 204));
    HGDIOBJ oldPen = SelectObject(sheet->dc, pen);
    Rectangle(sheet->dc, at.x - 1, at.y - 1, at.x + PHONE_FRAME_WIDTH + 1,
              at.y + PHONE_FRAME_HEIGHT + 1);
    SelectObject(sheet->dc, oldPen);
    SelectObject(sheet->dc, oldBrush);
    DeleteObject(pen);
    return ok ? 1 : 0;
}

static int Sheet(const WCHAR *out, const WCHAR *title, WCHAR **frames, int count)
{
    int width, height;
    SheetSize(count, &width, &height);
    Canvas sheet;
    if (!OpenCanvas(&sheet, width, height)) {
        fwprintf(stderr, L"phonepic: cannot make the sheet\n");
        return 1;
    }
    RECT whole = {0, 0, width, height};
    HBRUSH paper = CreateSolidBrush(RGB(236, 237, 240));
    FillRect(sheet.dc, &whole, paper);
    DeleteObject(paper);

    HFONT font = CreateFontW(-(PHONE_SHEET_TITLE_HEIGHT / 2), 0, 0, 0, FW_BOLD, FALSE, FALSE,
                             FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Tahoma");
    HGDIOBJ oldFont = SelectObject(sheet.dc, font);
    SetBkMode(sheet.dc, TRANSPARENT);
    SetTextColor(sheet.dc, RGB(32, 32, 36));
    RECT band = {PHONE_SHEET_GAP, 0, width - PHONE_SHEET_GAP, PHONE_SHEET_TITLE_HEIGHT};
    DrawTextW(sheet.dc, title, -1, &band,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(sheet.dc, oldFont);
    DeleteObject(font);

    int ok = 1;
    for (int i = 0; i < count && ok; i++)
        ok = PlaceFrame(&sheet, frames[i], SheetFramePosition(i));
    ok = ok && SavePng(&sheet, out);
    CloseCanvas(&sheet);
    return ok ? 0 : 1;
}

static int Usage()
{
    fwprintf(stderr,
             L"usage: phonepic frame <out.png> [--step N] [--did TEXT] [--screen-off]\n"
             L"       phonepic sheet <out.png> <title> <frame.png>...\n");
    return 2;
}

static int Run(int argc, WCHAR **argv)
{
    if (argc >= 3 && lstrcmpiW(argv[1], L"frame") == 0) {
        int step = 0, screenOff = 0;
        const WCHAR *did = L"";
        for (int i = 3; i < argc; i++) {
            if (lstrcmpW(argv[i], L"--step") == 0 && i + 1 < argc) {
                WCHAR *end = NULL;
                long value = wcstol(argv[++i], &end, 10);
                if (!*argv[i] || *end || value < 0 || value > 9999)
                    return Usage();
                step = (int)value;
            } else if (lstrcmpW(argv[i], L"--did") == 0 && i + 1 < argc) {
                did = argv[++i];
            } else if (lstrcmpW(argv[i], L"--screen-off") == 0) {
                screenOff = 1;
            } else {
                return Usage();
            }
        }
        return Frame(argv[2], step, did, screenOff);
    }
    if (argc >= 5 && lstrcmpiW(argv[1], L"sheet") == 0)
        return Sheet(argv[2], argv[3], argv + 4, argc - 4);
    return Usage();
}

int wmain(int argc, wchar_t **argv)
{
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, NULL) != Gdiplus::Ok) {
        fwprintf(stderr, L"phonepic: GDI+ is not available\n");
        return 1;
    }
    int rc = argc >= 2 ? Run(argc, argv) : Usage();
    Gdiplus::GdiplusShutdown(token);
    return rc;
}
