// The phone pictures of the run command, drawn from a small fixture instead
// of a screenshot: a "screen" that is white with a red mark in its top left
// corner and a blue one in its top right corner, so that a turn and a mirror
// image tell apart. Like the captured screen it is portrait (8x12) while the
// display shows codes 0 and 2, and landscape (12x8) for codes 1 and 3. Each
// case draws the phone and looks where the marks land.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <ostream>
#include <string>
#include <vector>
#include "monitor/orientation.h"
#include "tools/phoneframe.h"

namespace {

const int kFixtureShort = 8, kFixtureLong = 12;
const COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kWhite = RGB(255, 255, 255);

// A 32-bit top-down bitmap with its own memory context, pixels readable.
class Canvas {
public:
    Canvas(int width, int height) : width(width), height(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(NULL);
        bitmap = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, (void **)&bits, NULL, 0);
        old = SelectObject(dc, bitmap);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Fill(const RECT &r, COLORREF color)
    {
        HBRUSH brush = CreateSolidBrush(color);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    COLORREF At(int x, int y) const
    {
        GdiFlush();
        DWORD p = bits[(size_t)y * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }

    HDC dc;
    int width, height;

private:
    HBITMAP bitmap;
    HGDIOBJ old;
    DWORD *bits = nullptr;
};

// The fixture screen as the display shows a rotation code.
int FixtureWidth(DWORD rotation) { return rotation % 2 ? kFixtureLong : kFixtureShort; }
int FixtureHeight(DWORD rotation) { return rotation % 2 ? kFixtureShort : kFixtureLong; }

// The fixture screen: red top left, blue top right, both 2x2.
void DrawFixture(Canvas &fixture)
{
    fixture.Fill({0, 0, fixture.width, fixture.height}, kWhite);
    fixture.Fill({0, 0, 2, 2}, kRed);
    fixture.Fill({fixture.width - 2, 0, fixture.width, 2}, kBlue);
}

// The phone of a fixture screen of that size drawn on a white 320x320
// picture, and its layout. 1 when DrawPhone drew it.
int DrawFixturePhone(Canvas &picture, PhoneState state, int width, int height,
                     PhoneLayout *layout)
{
    Canvas fixture(width, height);
    DrawFixture(fixture);
    picture.Fill({0, 0, 320, 320}, kWhite);
    RECT area = {0, 0, 320, 320};
    int drawn = DrawPhone(picture.dc, &area, fixture.dc, width, height, &state);
    LayoutPhone(&state, width, height, &area, layout);
    return drawn;
}

// The same, the screen captured in the display's mode.
int DrawFixturePhone(Canvas &picture, PhoneState state, PhoneLayout *layout)
{
    return DrawFixturePhone(picture, state, FixtureWidth(state.rotation),
                            FixtureHeight(state.rotation), layout);
}

// The content covers the whole glass, but for a pixel of rounding.
bool FillsTheGlass(const PhoneLayout &l)
{
    return abs(l.content.left - l.screen.left) <= 1 && abs(l.content.top - l.screen.top) <= 1 &&
           abs(l.content.right - l.screen.right) <= 1 &&
           abs(l.content.bottom - l.screen.bottom) <= 1;
}

bool IsRed(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) < 60 && GetBValue(c) < 60; }
bool IsBlue(COLORREF c) { return GetBValue(c) > 200 && GetRValue(c) < 60 && GetGValue(c) < 60; }
bool IsWhite(COLORREF c) { return GetRValue(c) > 220 && GetGValue(c) > 220 && GetBValue(c) > 220; }
bool IsDark(COLORREF c) { return GetRValue(c) < 70 && GetGValue(c) < 70 && GetBValue(c) < 70; }
// The phone's front: light grey, neither white nor dark.
bool IsFront(COLORREF c) { return !IsDark(c) && !IsWhite(c) && !IsRed(c) && !IsBlue(c); }

std::string Describe(COLORREF c)
{
    return "rgb(" + std::to_string(GetRValue(c)) + "," + std::to_string(GetGValue(c)) + "," +
           std::to_string(GetBValue(c)) + ")";
}

enum Corner { TopLeft, TopRight, BottomRight, BottomLeft };
const char *const kCornerNames[] = {"top left", "top right", "bottom right", "bottom left"};
enum Side { Up, Right, Down, Left };

// A point just inside a corner of r, well within a 2x2 mark of the fixture
// however the fixture is turned.
POINT Inside(const RECT &r, Corner corner)
{
    int dx = (r.right - r.left) / 16, dy = (r.bottom - r.top) / 16;
    POINT p;
    p.x = corner == TopLeft || corner == BottomLeft ? r.left + dx : r.right - 1 - dx;
    p.y = corner == TopLeft || corner == TopRight ? r.top + dy : r.bottom - 1 - dy;
    return p;
}

int CountPixels(const Canvas &canvas, bool (*test)(COLORREF))
{
    int n = 0;
    for (int y = 0; y < canvas.height; y++)
        for (int x = 0; x < canvas.width; x++)
            n += test(canvas.At(x, y));
    return n;
}

// Bezel width on each side of the glass: up, right, down, left.
void Bezels(const PhoneLayout &l, int bezel[4])
{
    bezel[Up] = l.screen.top - l.body.top;
    bezel[Right] = l.body.right - l.screen.right;
    bezel[Down] = l.body.bottom - l.screen.bottom;
    bezel[Left] = l.screen.left - l.body.left;
}

struct PairCase {
    const char *name;
    DWORD sensor;
    DWORD rotation;
    Side phoneTop;  // where the phone's top end (the narrow bezel) faces
    Corner red;     // where the fixture's top left corner lands
    Corner blue;    // and its top right corner
};

const PairCase kPairs[] = {
    // The display turned with the phone: the content reads upright.
    {"Upright_Portrait_Upright", 0x10002, 0, Up, TopLeft, TopRight},
    {"OnItsSide_Code1_Upright", 0x10000, 1, Right, TopLeft, TopRight},
    {"OtherSide_Code3_Upright", 0x10001, 3, Left, TopLeft, TopRight},
    {"UpsideDown_Code2_Upright", 0x10003, 2, Down, TopLeft, TopRight},
    // The display left in portrait, as for an exempt app: the text lies
    // sideways, or stands on its head.
    {"OnItsSide_Portrait_ExemptTextSideways", 0x10000, 0, Right, TopRight, BottomRight},
    {"OtherSide_Portrait_ExemptTextSideways", 0x10001, 0, Left, BottomLeft, TopLeft},
    {"UpsideDown_Portrait_ExemptTextUpsideDown", 0x10003, 0, Down, BottomRight, BottomLeft},
    // The display left in some other rotation.
    {"Upright_Code1_TurnedBack", 0x10002, 1, Up, BottomLeft, TopLeft},
    {"Upright_Code2_UpsideDown", 0x10002, 2, Up, BottomRight, BottomLeft},
    {"Upright_Code3_TurnedOn", 0x10002, 3, Up, TopRight, BottomRight},
    {"OnItsSide_Code2_TurnedBack", 0x10000, 2, Right, BottomLeft, TopLeft},
    {"OnItsSide_Code3_UpsideDown", 0x10000, 3, Right, BottomRight, BottomLeft},
    {"OtherSide_Code1_UpsideDown", 0x10001, 1, Left, BottomRight, BottomLeft},
    {"OtherSide_Code2_TurnedOn", 0x10001, 2, Left, TopRight, BottomRight},
    {"UpsideDown_Code1_TurnedOn", 0x10003, 1, Down, TopRight, BottomRight},
    {"UpsideDown_Code3_TurnedBack", 0x10003, 3, Down, BottomLeft, TopLeft},
    // No position reported yet: the phone stands upright.
    {"NoPosition_Portrait_Upright", 0, 0, Up, TopLeft, TopRight},
};

void PrintTo(const PairCase &c, std::ostream *os) { *os << c.name; }

class PhonePair : public ::testing::TestWithParam<PairCase> {};

TEST_P(PhonePair, MarksLandWhereTheViewerSeesThem)
{
    const PairCase &c = GetParam();
    Canvas picture(320, 320);
    PhoneLayout l;
    ASSERT_EQ(1, DrawFixturePhone(picture, {c.sensor, c.rotation, 0}, &l));

    // The body lies the long way up or across; the bezel at its top end is
    // narrower than the one at its foot, where the key is.
    int bodyWidth = l.body.right - l.body.left, bodyHeight = l.body.bottom - l.body.top;
    EXPECT_EQ(c.phoneTop == Up || c.phoneTop == Down, bodyHeight > bodyWidth);
    int bezel[4];
    Bezels(l, bezel);
    EXPECT_LT(bezel[c.phoneTop], bezel[(c.phoneTop + 2) % 4]);
    EXPECT_TRUE(IsFront(picture.At((l.body.left + l.screen.left) / 2,
                                   l.screen.top + (l.screen.bottom - l.screen.top) / 4)))
        << "the front's bezel";

    // The marks, and nothing of them in the other corners.
    for (int corner = TopLeft; corner <= BottomLeft; corner++) {
        POINT p = Inside(l.content, (Corner)corner);
        COLORREF seen = picture.At(p.x, p.y);
        SCOPED_TRACE(std::string(kCornerNames[corner]) + " " + Describe(seen));
        if (corner == c.red)
            EXPECT_TRUE(IsRed(seen));
        else if (corner == c.blue)
            EXPECT_TRUE(IsBlue(seen));
        else
            EXPECT_TRUE(IsWhite(seen));
    }

    // The screen as captured, turned as the display shows it, fills the
    // glass: no dark bars.
    EXPECT_TRUE(FillsTheGlass(l));
}

INSTANTIATE_TEST_SUITE_P(Phone, PhonePair, ::testing::ValuesIn(kPairs),
                         [](const ::testing::TestParamInfo<PairCase> &info) {
                             return std::string(info.param.name);
                         });

// A screen whose mode does not match the rotation (a display that refused
// to switch) keeps its shape: upright across the turned glass, between dark
// bars.
TEST(PhoneScreen, ScreenNotSwitchedStandsBetweenDarkBars)
{
    Canvas picture(320, 320);
    PhoneLayout l;
    ASSERT_EQ(1, DrawFixturePhone(picture, {0x10000, 1, 0}, kFixtureShort, kFixtureLong, &l));
    EXPECT_EQ(0, l.contentTurn);
    EXPECT_GT(l.content.bottom - l.content.top, l.content.right - l.content.left);
    EXPECT_EQ(l.screen.top, l.content.top);
    EXPECT_EQ(l.screen.bottom, l.content.bottom);
    ASSERT_GT(l.content.left - l.screen.left, 2);
    EXPECT_TRUE(IsDark(picture.At(l.screen.left + 1, (l.screen.top + l.screen.bottom) / 2)));
    EXPECT_TRUE(IsDark(picture.At(l.screen.right - 2, (l.screen.top + l.screen.bottom) / 2)));
    POINT red = Inside(l.content, TopLeft);
    EXPECT_TRUE(IsRed(picture.At(red.x, red.y)));
}

struct DarkCase {
    const char *name;
    DWORD sensor;
    DWORD rotation;
    int screenOff;
    bool back;  // the back is seen, not the front
};

const DarkCase kDarkCases[] = {
    {"FaceDown_Portrait_DarkBack", 0x10004, 0, 0, true},
    {"FaceDown_Code1_DarkBack", 0x10004, 1, 0, true},
    {"FaceDown_ScreenOff_DarkBack", 0x10004, 2, 1, true},
    {"Upright_ScreenOff_DarkScreen", 0x10002, 0, 1, false},
    {"OnItsSide_ScreenOff_DarkScreen", 0x10000, 1, 1, false},
};

void PrintTo(const DarkCase &c, std::ostream *os) { *os << c.name; }

class PhoneDark : public ::testing::TestWithParam<DarkCase> {};

TEST_P(PhoneDark, ShowsNothingOfTheDisplay)
{
    const DarkCase &c = GetParam();
    Canvas picture(320, 320);
    PhoneLayout l;
    ASSERT_EQ(1, DrawFixturePhone(picture, {c.sensor, c.rotation, c.screenOff}, &l));

    EXPECT_EQ(0, CountPixels(picture, IsRed));
    EXPECT_EQ(0, CountPixels(picture, IsBlue));
    POINT middle = {(l.body.left + l.body.right) / 2, (l.body.top + l.body.bottom) / 2};
    EXPECT_TRUE(IsDark(picture.At(middle.x, middle.y))) << Describe(picture.At(middle.x, middle.y));
    if (c.back) {
        EXPECT_EQ(PHONE_FACE_DOWN, l.bodyTurn);
        EXPECT_TRUE(IsRectEmpty(&l.screen));
        EXPECT_GT(l.body.bottom - l.body.top, l.body.right - l.body.left) << "lies lengthwise";
        // Dark up to its edge: no light front around a glass.
        POINT nearEdge = {l.body.left + (l.body.right - l.body.left) / 10, middle.y};
        EXPECT_TRUE(IsDark(picture.At(nearEdge.x, nearEdge.y)));
    } else {
        EXPECT_FALSE(IsRectEmpty(&l.screen));
        EXPECT_TRUE(IsFront(picture.At((l.body.left + l.screen.left) / 2,
                                       l.screen.top + (l.screen.bottom - l.screen.top) / 4)))
            << "the front stays light";
    }
}

INSTANTIATE_TEST_SUITE_P(Phone, PhoneDark, ::testing::ValuesIn(kDarkCases),
                         [](const ::testing::TestParamInfo<DarkCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(PhoneBody, TurnsAsTheMonitorTurnsTheDisplay)
{
    // The body is drawn at the turn of the rotation code the monitor sets for
    // the position, so a display that followed the phone reads upright.
    const DWORD positions[] = {SENSOR_TURNED_90, SENSOR_TURNED_270, SENSOR_UPRIGHT,
                               SENSOR_UPSIDE_DOWN};
    for (DWORD value : positions) {
        SCOPED_TRACE(value);
        EXPECT_EQ(RotationCodeFor(value), BodyTurnFor(value));
        EXPECT_EQ(0, ContentTurnFor(BodyTurnFor(value), (DWORD)RotationCodeFor(value)));
    }
    EXPECT_EQ(PHONE_FACE_DOWN, BodyTurnFor(SENSOR_FACE_DOWN));
    EXPECT_EQ(0, BodyTurnFor(0));
    EXPECT_EQ(0, BodyTurnFor(0x10005));
    // A rotation code the display does not know counts as portrait.
    EXPECT_EQ(1, ContentTurnFor(1, 7));
}

struct CaptionCase {
    const char *name;
    int step;
    PhoneState state;
    const wchar_t *app;
    const wchar_t *did;
    const wchar_t *lines[PHONE_CAPTION_LINES];
};

const CaptionCase kCaptions[] = {
    {"StepPositionAppAndDeed", 2, {0x10000, 1, 0}, L"Inbox (appwin.exe)",
     L"Vorn turned the display: code 1",
     {L"2. Held on its side", L"App: Inbox (appwin.exe)", L"Vorn turned the display: code 1"}},
    {"OtherSide", 3, {0x10001, 3, 0}, L"Inbox", L"",
     {L"3. Held on its other side", L"App: Inbox", L"Display: landscape, 270 degrees (code 3)"}},
    {"UprightWithoutDeed", 4, {0x10002, 0, 0}, L"Notes", L"",
     {L"4. Held upright", L"App: Notes", L"Display: portrait (code 0)"}},
    {"UpsideDown", 6, {0x10003, 2, 0}, L"Notes", nullptr,
     {L"6. Held upside down", L"App: Notes", L"Display: portrait upside down (code 2)"}},
    {"FaceDown", 8, {0x10004, 0, 0}, L"Notes", L"Vorn pressed the power key",
     {L"8. Lying face down", L"App: Notes", L"Vorn pressed the power key"}},
    {"ScreenOff", 9, {0x10002, 1, 1}, L"Notes", L"",
     {L"9. Held upright", L"App: Notes", L"Display: off"}},
    {"NoStepNoAppNoPosition", 0, {0, 0, 0}, L"", L"",
     {L"No position reported", L"No app in front", L"Display: portrait (code 0)"}},
    {"UnknownRotation", 1, {0x10000, 9, 0}, nullptr, L"",
     {L"1. Held on its side", L"No app in front", L"Display: unknown (code 9)"}},
};

void PrintTo(const CaptionCase &c, std::ostream *os) { *os << c.name; }

class PhoneCaption : public ::testing::TestWithParam<CaptionCase> {};

TEST_P(PhoneCaption, Lines)
{
    const CaptionCase &c = GetParam();
    WCHAR lines[PHONE_CAPTION_LINES][PHONE_CAPTION_LINE_CAPACITY];
    FormatCaption(c.step, &c.state, c.app, c.did, lines);
    for (int i = 0; i < PHONE_CAPTION_LINES; i++)
        EXPECT_EQ(std::wstring(c.lines[i]), lines[i]) << "line " << i;
}

INSTANTIATE_TEST_SUITE_P(Phone, PhoneCaption, ::testing::ValuesIn(kCaptions),
                         [](const ::testing::TestParamInfo<CaptionCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(PhoneCaptionText, LongLinesAreCutToTheirSize)
{
    std::wstring app(300, L'a'), did(300, L'd');
    PhoneState state = {0x10002, 0, 0};
    WCHAR lines[PHONE_CAPTION_LINES][PHONE_CAPTION_LINE_CAPACITY];
    FormatCaption(1, &state, app.c_str(), did.c_str(), lines);
    EXPECT_EQ(L"App: " + std::wstring(PHONE_CAPTION_LINE_CAPACITY - 6, L'a'), lines[1]);
    EXPECT_EQ(std::wstring(PHONE_CAPTION_LINE_CAPACITY - 1, L'd'), lines[2]);
}

// Rows of the band holding any dark ink.
std::vector<bool> InkRows(const Canvas &canvas, int top, int bottom)
{
    std::vector<bool> rows;
    for (int y = top; y < bottom; y++) {
        bool ink = false;
        for (int x = 0; x < canvas.width && !ink; x++)
            ink = IsDark(canvas.At(x, y));
        rows.push_back(ink);
    }
    return rows;
}

TEST(PhoneFrame, CaptionLinesUnderThePhone)
{
    PhoneState state = {0x10000, 1, 0};
    const int width = FixtureWidth(state.rotation), height = FixtureHeight(state.rotation);
    Canvas fixture(width, height);
    DrawFixture(fixture);
    Canvas frame(PHONE_FRAME_WIDTH, PHONE_FRAME_HEIGHT);
    WCHAR lines[PHONE_CAPTION_LINES][PHONE_CAPTION_LINE_CAPACITY] = {L"1. Held on its side", L"",
                                                                     L"Vorn turned it"};
    ASSERT_EQ(1, DrawFrame(frame.dc, fixture.dc, width, height, &state, lines));

    // The phone, marks and all, stays above the caption band.
    RECT area = {0, 0, PHONE_FRAME_WIDTH, PHONE_FRAME_PHONE_HEIGHT};
    PhoneLayout l;
    LayoutPhone(&state, width, height, &area, &l);
    EXPECT_LE(l.body.bottom, PHONE_FRAME_PHONE_HEIGHT);
    EXPECT_TRUE(IsRed(frame.At(Inside(l.content, TopLeft).x, Inside(l.content, TopLeft).y)));
    EXPECT_TRUE(IsWhite(frame.At(2, 2))) << "a white frame";

    // Ink in the first and third line of the band, none in the empty second.
    int band = PHONE_FRAME_HEIGHT - PHONE_FRAME_PHONE_HEIGHT;
    std::vector<bool> rows = InkRows(frame, PHONE_FRAME_PHONE_HEIGHT, PHONE_FRAME_HEIGHT);
    int lineHeight = band / PHONE_CAPTION_LINES;
    for (int line = 0; line < PHONE_CAPTION_LINES; line++) {
        int inked = 0;
        for (int y = line * lineHeight; y < (line + 1) * lineHeight && y < band; y++)
            inked += rows[y];
        if (line == 1)
            EXPECT_EQ(0, inked) << "line " << line;
        else
            EXPECT_GT(inked, 4) << "line " << line;
    }
}

TEST(PhoneSheet, FramesInOrderWithoutOverlap)
{
    for (int count = 1; count <= 12; count++) {
        SCOPED_TRACE(count);
        int width = 0, height = 0;
        SheetSize(count, &width, &height);
        std::vector<RECT> placed;
        for (int i = 0; i < count; i++) {
            POINT at = SheetFramePosition(i);
            RECT r = {at.x, at.y, at.x + PHONE_FRAME_WIDTH, at.y + PHONE_FRAME_HEIGHT};
            EXPECT_TRUE(r.left > 0 && r.right < width && r.top >= PHONE_SHEET_TITLE_HEIGHT &&
                        r.bottom < height)
                << "frame " << i << " on the sheet";
            for (const RECT &other : placed) {
                RECT both;
                EXPECT_FALSE(IntersectRect(&both, &r, &other)) << "frame " << i;
            }
            if (i > 0) {
                // Reading order: along the row, then the next row down.
                const RECT &before = placed.back();
                EXPECT_TRUE((r.top == before.top && r.left > before.left) || r.top > before.top);
            }
            placed.push_back(r);
        }
        // No empty column or row is left over.
        int right = 0, bottom = 0;
        for (const RECT &r : placed) {
            right = r.right > right ? r.right : right;
            bottom = r.bottom > bottom ? r.bottom : bottom;
        }
        EXPECT_EQ(width, right + PHONE_SHEET_GAP);
        EXPECT_EQ(height, bottom + PHONE_SHEET_GAP);
    }
}

}  // namespace
