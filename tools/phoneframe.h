// The picture of the phone as a person holding it sees it: the body in the
// position the sensor reports, the display content inside it turned by the
// display's rotation, and a caption under it.
//
// Turns are counted in quarter turns clockwise, as the viewer sees them. A
// phone held at rotation code k is turned k quarter turns; the display at
// code k turns its content k quarter turns back, so the content reads upright
// when the two agree.
#pragma once
#include <windows.h>

// The body lies face down: its back is seen, no turn.
#define PHONE_FACE_DOWN (-1)

// A frame: the phone in a square, the caption band under it.
#define PHONE_FRAME_WIDTH 440
#define PHONE_FRAME_PHONE_HEIGHT 440
#define PHONE_FRAME_CAPTION_HEIGHT 84
#define PHONE_FRAME_HEIGHT (PHONE_FRAME_PHONE_HEIGHT + PHONE_FRAME_CAPTION_HEIGHT)

// The sheet: frames in rows under a title band.
#define PHONE_SHEET_COLUMNS 5
#define PHONE_SHEET_GAP 12
#define PHONE_SHEET_TITLE_HEIGHT 56

#define PHONE_CAPTION_LINES 3
#define PHONE_CAPTION_LINE_CAPACITY 128

// What the picture shows of the phone.
struct PhoneState {
    DWORD sensor;    // the position the sensor reports; 0 when none yet
    DWORD rotation;  // the display's rotation code
    int screenOff;   // the display is switched off (or the phone was put to sleep)
};

// Where the parts of one phone land inside the area given to it.
struct PhoneLayout {
    int bodyTurn;     // quarter turns of the body, or PHONE_FACE_DOWN
    int contentTurn;  // quarter turns of the content as the viewer sees it
    RECT body;        // the body, turned
    RECT screen;      // the glass inside the body
    RECT content;     // the turned content, fitted into the glass
};

// Quarter turns of the body for a sensor position: those of the rotation
// code the position calls for. Face down gives PHONE_FACE_DOWN; a value that
// is no position leaves the phone upright.
int BodyTurnFor(DWORD sensor);

// Quarter turns of the content as the viewer sees it, for a body turn
// (0 to 3) and the display's rotation code.
int ContentTurnFor(int bodyTurn, DWORD rotation);

// Lays out the phone for content of the given size inside area. The content
// is the screen as captured: 480x640 while the display shows portrait,
// 640x480 while it shows landscape.
void LayoutPhone(const PhoneState *state, int contentWidth, int contentHeight,
                 const RECT *area, PhoneLayout *layout);

// Copies the width x height pixels at the top left of src into target,
// turned by quarter turns clockwise and scaled to fill target. Returns 1 on
// success, 0 otherwise.
int TurnCopy(HDC dst, const RECT *target, HDC src, int width, int height, int quarterTurns);

// Draws the phone into area of dc, with the display content taken from
// content (width x height). Returns 1 on success.
int DrawPhone(HDC dc, const RECT *area, HDC content, int contentWidth, int contentHeight,
              const PhoneState *state);

// How a sensor value reads in a caption ("held on its side").
LPCWSTR PositionName(DWORD sensor);
// How a rotation code reads in a caption ("landscape").
LPCWSTR RotationName(DWORD rotation);

// The caption's lines: the step and position, the foreground app, and what
// Vorn did (when did is empty, the display's rotation). Each line holds
// PHONE_CAPTION_LINE_CAPACITY characters.
void FormatCaption(int step, const PhoneState *state, LPCWSTR app, LPCWSTR did,
                   WCHAR lines[PHONE_CAPTION_LINES][PHONE_CAPTION_LINE_CAPACITY]);

// Draws the caption lines into band, one under the other, cut to its width.
void DrawCaption(HDC dc, const RECT *band,
                 const WCHAR lines[PHONE_CAPTION_LINES][PHONE_CAPTION_LINE_CAPACITY]);

// One frame (PHONE_FRAME_WIDTH x PHONE_FRAME_HEIGHT at 0,0 of dc): the
// phone and its caption. Returns 1 on success.
int DrawFrame(HDC dc, HDC content, int contentWidth, int contentHeight,
              const PhoneState *state,
              const WCHAR lines[PHONE_CAPTION_LINES][PHONE_CAPTION_LINE_CAPACITY]);

// Size of a sheet of count frames.
void SheetSize(int count, int *width, int *height);
// Top left corner of frame index on the sheet.
POINT SheetFramePosition(int index);
