// Drawing the phone: body, glass, turned content and caption, with GDI only.
#include "phoneframe.h"
#include <stdarg.h>
#include <stdio.h>

#define SENSOR_TURNED_90 0x10000
#define SENSOR_TURNED_270 0x10001
#define SENSOR_UPRIGHT 0x10002
#define SENSOR_UPSIDE_DOWN 0x10003
#define SENSOR_FACE_DOWN 0x10004

static const COLORREF kPaper = RGB(255, 255, 255);
static const COLORREF kFront = RGB(196, 199, 204);
static const COLORREF kEdge = RGB(88, 92, 100);
static const COLORREF kBack = RGB(40, 42, 46);
static const COLORREF kBackEdge = RGB(20, 21, 24);
static const COLORREF kGlass = RGB(12, 12, 14);
static const COLORREF kInk = RGB(32, 32, 36);
static const COLORREF kLens = RGB(90, 96, 110);

int BodyTurnFor(DWORD sensor)
{
    switch (sensor) {
    case SENSOR_TURNED_90:
        return 1;
    case SENSOR_TURNED_270:
        return 3;
    case SENSOR_UPRIGHT:
        return 0;
    case SENSOR_UPSIDE_DOWN:
        return 2;
    case SENSOR_FACE_DOWN:
        return PHONE_FACE_DOWN;
    }
    return 0;
}

int ContentTurnFor(int bodyTurn, DWORD rotation)
{
    // A code the display does not know leaves it as it starts, in portrait.
    int display = rotation <= 3 ? (int)rotation : 0;
    return ((bodyTurn - display) % 4 + 4) % 4;
}

// The body in its own units (those of the content), upright: bezels around
// the glass, a wider one under it for the keys. The glass is the panel,
// portrait however the display shows its content.
struct BodyShape {
    int width, height;
    RECT glass;
};

static BodyShape ShapeFor(int contentWidth, int contentHeight)
{
    int panelWidth = contentWidth < contentHeight ? contentWidth : contentHeight;
    int panelHeight = contentWidth < contentHeight ? contentHeight : contentWidth;
    BodyShape shape;
    int side = panelWidth / 16 + 1, top = panelHeight / 10 + 1, bottom = panelHeight / 6 + 1;
    shape.width = panelWidth + 2 * side;
    shape.height = panelHeight + top + bottom;
    SetRect(&shape.glass, side, top, side + panelWidth, top + panelHeight);
    return shape;
}

// From body units to the picture: the turn, then the scale and the place.
struct BodyTransform {
    BodyShape shape;
    int turn;  // 0 to 3
    double scale;
    double left, top;
};

static BodyTransform TransformFor(const PhoneState *state, int contentWidth, int contentHeight,
                                  const RECT *area)
{
    BodyTransform t;
    t.shape = ShapeFor(contentWidth, contentHeight);
    int turn = BodyTurnFor(state->sensor);
    t.turn = turn == PHONE_FACE_DOWN ? 0 : turn;
    int turnedWidth = t.turn % 2 ? t.shape.height : t.shape.width;
    int turnedHeight = t.turn % 2 ? t.shape.width : t.shape.height;
    int areaWidth = area->right - area->left, areaHeight = area->bottom - area->top;
    int margin = (areaWidth < areaHeight ? areaWidth : areaHeight) / 24;
    double sx = (double)(areaWidth - 2 * margin) / turnedWidth;
    double sy = (double)(areaHeight - 2 * margin) / turnedHeight;
    t.scale = sx < sy ? sx : sy;
    if (t.scale <= 0)
        t.scale = 0;
    t.left = area->left + (areaWidth - turnedWidth * t.scale) / 2;
    t.top = area->top + (areaHeight - turnedHeight * t.scale) / 2;
    return t;
}

static LONG Round(double value)
{
    return (LONG)(value < 0 ? value - 0.5 : value + 0.5);
}

// A rectangle of the upright body, as it lands in the picture.
static RECT MapBodyRect(const BodyTransform *t, const RECT *r)
{
    int w = t->shape.width, h = t->shape.height;
    RECT turned;
    switch (t->turn) {
    case 1:  // a quarter turn clockwise: x' = h - y, y' = x
        SetRect(&turned, h - r->bottom, r->left, h - r->top, r->right);
        break;
    case 2:
        SetRect(&turned, w - r->right, h - r->bottom, w - r->left, h - r->top);
        break;
    case 3:  // x' = y, y' = w - x
        SetRect(&turned, r->top, w - r->right, r->bottom, w - r->left);
        break;
    default:
        turned = *r;
        break;
    }
    RECT out;
    SetRect(&out, Round(t->left + turned.left * t->scale), Round(t->top + turned.top * t->scale),
            Round(t->left + turned.right * t->scale), Round(t->top + turned.bottom * t->scale));
    return out;
}

void LayoutPhone(const PhoneState *state, int contentWidth, int contentHeight,
                 const RECT *area, PhoneLayout *layout)
{
    BodyTransform t = TransformFor(state, contentWidth, contentHeight, area);
    layout->bodyTurn = BodyTurnFor(state->sensor);
    RECT whole;
    SetRect(&whole, 0, 0, t.shape.width, t.shape.height);
    layout->body = MapBodyRect(&t, &whole);
    if (layout->bodyTurn == PHONE_FACE_DOWN) {
        layout->contentTurn = 0;
        SetRectEmpty(&layout->screen);
        SetRectEmpty(&layout->content);
        return;
    }
    layout->contentTurn = ContentTurnFor(layout->bodyTurn, state->rotation);
    layout->screen = MapBodyRect(&t, &t.shape.glass);
    if (contentWidth <= 0 || contentHeight <= 0) {
        SetRectEmpty(&layout->content);
        return;
    }
    // The content keeps its shape. Turned as the display shows it, the
    // screen as captured fills the glass; a screen whose mode does not match
    // the rotation fills it one way and leaves dark bars the other.
    int w = layout->contentTurn % 2 ? contentHeight : contentWidth;
    int h = layout->contentTurn % 2 ? contentWidth : contentHeight;
    int sw = layout->screen.right - layout->screen.left;
    int sh = layout->screen.bottom - layout->screen.top;
    int fitWidth = sw, fitHeight = sh;
    if ((long long)sw * h > (long long)sh * w)
        fitWidth = (int)((long long)sh * w / h);
    else
        fitHeight = (int)((long long)sw * h / w);
    layout->content.left = layout->screen.left + (sw - fitWidth) / 2;
    layout->content.top = layout->screen.top + (sh - fitHeight) / 2;
    layout->content.right = layout->content.left + fitWidth;
    layout->content.bottom = layout->content.top + fitHeight;
}

// A 32-bit top-down bitmap whose pixels can be read and written directly.
static HBITMAP PixelBitmap(int width, int height, DWORD **pixels)
{
    BITMAPINFO info;
    ZeroMemory(&info, sizeof(info));
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    *pixels = NULL;
    return CreateDIBSection(NULL, &info, DIB_RGB_COLORS, (void **)pixels, NULL, 0);
}

int TurnCopy(HDC dst, const RECT *target, HDC src, int width, int height, int quarterTurns)
{
    int turn = (quarterTurns % 4 + 4) % 4;
    int tw = target->right - target->left, th = target->bottom - target->top;
    if (width <= 0 || height <= 0 || tw <= 0 || th <= 0)
        return 0;
    // A rotated copy at full size, where a quarter turn moves whole pixels;
    // scaled once afterwards.
    int fw = turn % 2 ? height : width, fh = turn % 2 ? width : height;
    DWORD *from = NULL, *to = NULL;
    HBITMAP fromBitmap = PixelBitmap(width, height, &from);
    HBITMAP toBitmap = PixelBitmap(fw, fh, &to);
    HDC work = CreateCompatibleDC(dst);
    int ok = fromBitmap && toBitmap && work;
    if (ok) {
        HGDIOBJ old = SelectObject(work, fromBitmap);
        ok = BitBlt(work, 0, 0, width, height, src, 0, 0, SRCCOPY);
        GdiFlush();
        for (int y = 0; ok && y < height; y++) {
            for (int x = 0; x < width; x++) {
                int nx, ny;
                switch (turn) {
                case 1:  // clockwise: the top row becomes the right column
                    nx = height - 1 - y;
                    ny = x;
                    break;
                case 2:
                    nx = width - 1 - x;
                    ny = height - 1 - y;
                    break;
                case 3:
                    nx = y;
                    ny = width - 1 - x;
                    break;
                default:
                    nx = x;
                    ny = y;
                    break;
                }
                to[(size_t)ny * fw + nx] = from[(size_t)y * width + x];
            }
        }
        SelectObject(work, toBitmap);
        if (ok) {
            int oldMode = SetStretchBltMode(dst, HALFTONE);
            POINT oldOrigin;
            SetBrushOrgEx(dst, 0, 0, &oldOrigin);
            ok = StretchBlt(dst, target->left, target->top, tw, th, work, 0, 0, fw, fh, SRCCOPY);
            SetStretchBltMode(dst, oldMode);
            SetBrushOrgEx(dst, oldOrigin.x, oldOrigin.y, NULL);
        }
        SelectObject(work, old);
    }
    if (work)
        DeleteDC(work);
    if (fromBitmap)
        DeleteObject(fromBitmap);
    if (toBitmap)
        DeleteObject(toBitmap);
    return ok ? 1 : 0;
}

static void FillRectColor(HDC dc, const RECT *r, COLORREF color)
{
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, r, brush);
    DeleteObject(brush);
}

static void RoundShape(HDC dc, const RECT *r, int radius, COLORREF fill, COLORREF edge,
                       int edgeWidth, int ellipse)
{
    HBRUSH brush = CreateSolidBrush(fill);
    HPEN pen = CreatePen(PS_SOLID, edgeWidth, edge);
    HGDIOBJ oldBrush = SelectObject(dc, brush), oldPen = SelectObject(dc, pen);
    if (ellipse)
        Ellipse(dc, r->left, r->top, r->right, r->bottom);
    else
        RoundRect(dc, r->left, r->top, r->right, r->bottom, radius, radius);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
}

// A rectangle of the upright body given in thousandths of its size.
static RECT BodyPart(const BodyTransform *t, int left, int top, int right, int bottom)
{
    RECT r;
    SetRect(&r, MulDiv(t->shape.width, left, 1000), MulDiv(t->shape.height, top, 1000),
            MulDiv(t->shape.width, right, 1000), MulDiv(t->shape.height, bottom, 1000));
    return MapBodyRect(t, &r);
}

int DrawPhone(HDC dc, const RECT *area, HDC content, int contentWidth, int contentHeight,
              const PhoneState *state)
{
    if (contentWidth <= 0 || contentHeight <= 0)
        return 0;
    BodyTransform t = TransformFor(state, contentWidth, contentHeight, area);
    PhoneLayout layout;
    LayoutPhone(state, contentWidth, contentHeight, area, &layout);
    int radius = Round(t.shape.width * t.scale / 7);
    int edge = Round(t.scale * (t.shape.glass.right - t.shape.glass.left) / 120);
    if (edge < 1)
        edge = 1;

    if (layout.bodyTurn == PHONE_FACE_DOWN) {
        // The back: dark, with the camera's lens and its light near the top.
        RoundShape(dc, &layout.body, radius, kBack, kBackEdge, edge, 0);
        // Round parts: their height in thousandths of the body's height.
        int lensHeight = 200 * t.shape.width / t.shape.height;
        RECT lens = BodyPart(&t, 400, 60, 600, 60 + lensHeight);
        RoundShape(dc, &lens, 0, kLens, kBackEdge, edge, 1);
        int lightHeight = 60 * t.shape.width / t.shape.height;
        RECT light = BodyPart(&t, 680, 100, 740, 100 + lightHeight);
        RoundShape(dc, &light, 0, RGB(110, 106, 90), kBackEdge, 1, 1);
        return 1;
    }

    RoundShape(dc, &layout.body, radius, kFront, kEdge, edge, 0);
    // Earpiece above the glass, the key under it: they show which end is up.
    RECT earpiece = BodyPart(&t, 380, 40, 620, 55);
    RoundShape(dc, &earpiece, 0, kEdge, kEdge, 1, 0);
    int keyHeight = 80 * t.shape.width / t.shape.height;
    RECT key = BodyPart(&t, 420, 935 - keyHeight / 2, 580, 935 + keyHeight / 2);
    RoundShape(dc, &key, 0, kFront, kEdge, edge, 0);

    FillRectColor(dc, &layout.screen, kGlass);
    if (state->screenOff)
        return 1;
    return TurnCopy(dc, &layout.content, content, contentWidth, contentHeight,
                    layout.contentTurn);
}

LPCWSTR PositionName(DWORD sensor)
{
    switch (sensor) {
    case SENSOR_TURNED_90:
        return L"Held on its side";
    case SENSOR_TURNED_270:
        return L"Held on its other side";
    case SENSOR_UPRIGHT:
        return L"Held upright";
    case SENSOR_UPSIDE_DOWN:
        return L"Held upside down";
    case SENSOR_FACE_DOWN:
        return L"Lying face down";
    }
    return L"No position reported";
}

LPCWSTR RotationName(DWORD rotation)
{
    switch (rotation) {
    case 0:
        return L"portrait";
    case 1:
        return L"landscape, 90 degrees";
    case 2:
        return L"portrait upside down";
    case 3:
        return L"landscape, 270 degrees";
    }
    return L"unknown";
}

static void Line(WCHAR *line, LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    int n = _vsnwprintf(line, PHONE_CAPTION_LINE_CAPACITY, format, args);
    va_end(args);
    // Cut to the line's size.
    if (n < 0 || n >= PHONE_CAPTION_LINE_CAPACITY)
        line[PHONE_CAPTION_LINE_CAPACITY - 1] = 0;
}

void FormatCaption(int step, const PhoneState *state, LPCWSTR app, LPCWSTR did,
                   WCHAR lines[PHONE_CAPTION_LINES][PHONE_CAPTION_LINE_CAPACITY])
{
    if (step > 0)
        Line(lines[0], L"%d. %ls", step, PositionName(state->sensor));
    else
        Line(lines[0], L"%ls", PositionName(state->sensor));
    if (app && app[0])
        Line(lines[1], L"App: %ls", app);
    else
        Line(lines[1], L"No app in front");
    if (did && did[0])
        Line(lines[2], L"%ls", did);
    else if (state->screenOff)
        Line(lines[2], L"Display: off");
    else
        Line(lines[2], L"Display: %ls (code %lu)", RotationName(state->rotation),
             (unsigned long)state->rotation);
}

void DrawCaption(HDC dc, const RECT *band,
                 const WCHAR lines[PHONE_CAPTION_LINES][PHONE_CAPTION_LINE_CAPACITY])
{
    int lineHeight = (band->bottom - band->top) / PHONE_CAPTION_LINES;
    int fontHeight = lineHeight * 3 / 4;
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor = SetTextColor(dc, kInk);
    for (int i = 0; i < PHONE_CAPTION_LINES; i++) {
        HFONT font = CreateFontW(-fontHeight, 0, 0, 0, i == 0 ? FW_BOLD : FW_NORMAL, FALSE,
                                 FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH,
                                 L"Tahoma");
        HGDIOBJ old = SelectObject(dc, font);
        RECT r = {band->left, band->top + i * lineHeight, band->right,
                  band->top + (i + 1) * lineHeight};
        DrawTextW(dc, lines[i], -1, &r,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        SelectObject(dc, old);
        DeleteObject(font);
    }
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
}

int DrawFrame(HDC dc, HDC content, int contentWidth, int contentHeight,
              const PhoneState *state,
              const WCHAR lines[PHONE_CAPTION_LINES][PHONE_CAPTION_LINE_CAPACITY])
{
    RECT whole = {0, 0, PHONE_FRAME_WIDTH, PHONE_FRAME_HEIGHT};
    FillRectColor(dc, &whole, kPaper);
    RECT area = {0, 0, PHONE_FRAME_WIDTH, PHONE_FRAME_PHONE_HEIGHT};
    int ok = DrawPhone(dc, &area, content, contentWidth, contentHeight, state);
    RECT band = {8, PHONE_FRAME_PHONE_HEIGHT, PHONE_FRAME_WIDTH - 8, PHONE_FRAME_HEIGHT};
    DrawCaption(dc, &band, lines);
    return ok;
}

void SheetSize(int count, int *width, int *height)
{
    int columns = count < PHONE_SHEET_COLUMNS ? (count > 0 ? count : 1) : PHONE_SHEET_COLUMNS;
    int rows = count > 0 ? (count + columns - 1) / columns : 1;
    *width = PHONE_SHEET_GAP + columns * (PHONE_FRAME_WIDTH + PHONE_SHEET_GAP);
    *height = PHONE_SHEET_TITLE_HEIGHT + rows * (PHONE_FRAME_HEIGHT + PHONE_SHEET_GAP);
}

POINT SheetFramePosition(int index)
{
    POINT at;
    at.x = PHONE_SHEET_GAP + (index % PHONE_SHEET_COLUMNS) * (PHONE_FRAME_WIDTH + PHONE_SHEET_GAP);
    at.y = PHONE_SHEET_TITLE_HEIGHT +
           (index / PHONE_SHEET_COLUMNS) * (PHONE_FRAME_HEIGHT + PHONE_SHEET_GAP);
    return at;
}
