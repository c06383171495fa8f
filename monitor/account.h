// The account of each sensor event, and of each front change that turns
// the display or brings a held window, kept when the configuration asks for
// it with "#log": one line each, saying what was in front, what decided and
// what Vorn did, in a file beside the configuration file.
#pragma once
#include "wince.h"
#include "common/config.h"

// The file never grows past this many bytes.
#define ACCOUNT_FILE_LIMIT 65536
#define ACCOUNT_LINE_CAPACITY 1024

// What decided the event.
#define DECIDED_NO_MATCH 0       // no entry matched; setting is onlyfor
#define DECIDED_BY_CLASS 1       // entry matched the class name
#define DECIDED_BY_TITLE 2       // entry matched the title
#define DECIDED_BY_PROGRAM 3     // entry matched the program name
#define DECIDED_FACE_DOWN 4      // the face-down road; setting is fdscreenoff
#define DECIDED_CALL 5           // a call is in progress: the display keeps its rotation
#define DECIDED_KEYBOARD 6       // the keyboard is out: the display keeps its rotation

// What came, for a line of no sensor event (EventAccount::frontChange).
#define POINT_FRONT_CHANGE 1     // another app came to the front
#define POINT_START 2            // the monitor started with a held app in front
#define POINT_CALL_ENDED 3       // the call ended
#define POINT_KEYBOARD_IN 4      // the keyboard went back in

// What Vorn did.
#define DID_LEAVE_ALONE 0
#define DID_TURN 1               // code holds the rotation code, which the display answers
#define DID_NOTHING_NO_POSITION 2
#define DID_NOTHING_NO_SERVICE 3
#define DID_PRESS_POWER_KEY 4
#define DID_SWITCH_DISPLAY_OFF 5
#define DID_NOTHING_NOT_FACE_DOWN 6
#define DID_DROP_UNLOADED 7      // the wait was cut short by an unload
#define DID_TURN_NOT_TAKEN 8     // code was asked for; the display answers answered
#define DID_NOTHING_NO_POWER_CONTROL 9  // still face down, but the display has no power control
#define DID_ALREADY_HELD 10      // the display held code before: at an event the turn was
                                 // still asked for, and it holds code now; at a front
                                 // change no turn was needed
#define DID_GIVE_BACK 11         // code, saved from before a hold, was given back

struct EventAccount {
    DWORD posted;         // the value posted with the event
    HWND front;           // the window in front, or null
    LPCWSTR title;        // its title, class and program name
    LPCWSTR className;
    LPCWSTR program;
    int decided;          // DECIDED_...
    LPCWSTR entry;        // the entry that matched, for DECIDED_BY_...
    int setting;          // onlyfor, or fdscreenoff on the face-down road
    int did;              // DID_...
    DWORD waitedMs;       // the configured wait
    DWORD read;           // the value read after the wait
    int code;             // the rotation code, for DID_TURN, DID_TURN_NOT_TAKEN, DID_ALREADY_HELD
    int answered;         // the code the display answers after the turn, -1 for none
    int hold;             // the kind of hold (HOLD_...) whose entry decided, 0 for "#window"
    int frontChange;      // POINT_...: no sensor event, and read is the value then; 0 for an event
    int byOwner;          // 1: the hold named a window that owns the one in front
    int unwaited;         // 1: the deed came without a wait (a front change, a portrait hold)
};

// The log path beside a configuration path: ".log" in place of a final
// ".txt", else added. Fills logPath (CONFIG_PATH_CAPACITY characters) and
// returns it; empty when there is no such path.
LPWSTR GetAccountPath(LPCWSTR configPath, LPWSTR logPath);

// The line for one event at the given local time, without its line end.
// Returns the length of the whole line (cut to capacity - 1 characters).
int FormatAccountLine(const SYSTEMTIME *time, const EventAccount *account, LPWSTR line,
                      int capacity);

// The file that the log at logPath begins anew in: logPath with ".next"
// added, or, when that would pass MAX_PATH - 1 characters, a sibling name as
// long as the log's own, its last character turned to '~' ("vorn.lo~"; to
// '_' when it is '~' already).
// Fills nextPath (CONFIG_PATH_CAPACITY characters) and returns it; empty
// when logPath is empty or too long for any such name.
LPWSTR GetAccountNextPath(LPCWSTR logPath, LPWSTR nextPath);

// The temporary file that the new file is written whole in before it takes
// its name: logPath with ".tmp" added, or, when that would pass MAX_PATH - 1
// characters, a sibling as long as the log's own, its last character turned
// to '-' ("vorn.lo-"; to '=' when it is '-' already). Empty as
// GetAccountNextPath.
LPWSTR GetAccountTempPath(LPCWSTR logPath, LPWSTR tempPath);

// Appends the line and CR LF, in ANSI, to the file at path. When that
// would pass ACCOUNT_FILE_LIMIT, the file begins anew with the latest lines
// of its last half: they and the line are written whole to a temporary file
// (GetAccountTempPath), which, closed, is renamed to the new file
// (GetAccountNextPath), which then takes the file's place. So a new file is
// always whole, and the file holds whole lines only, the old ones or the
// new, and is never emptied in place:
// - a write that stops short at the end of the file is cut off again;
// - a temporary file left from a stop is deleted at the next line (with
//   neither the file nor the new file there, it was whole, and becomes the
//   new file);
// - when the kept lines could not be read, or cannot be written whole (a
//   card nearly full), the new file holds two lines only: one that says
//   older lines were dropped and why, and the line;
// - the file is opened for the line with a few tries while a reader holds
//   it without sharing writing; after them, its lines and the line go to
//   the new file;
// - when the new file cannot take the file's place (a reader holds the file
//   through every try; the card fails the move), it stays, whole, and takes
//   the file's place before the next line is written. Until it can, the
//   next lines go on in it, and past the limit it begins anew as the file
//   would.
// 1 when the line is in the file at path, else 0.
int AppendAccountLine(LPCWSTR path, LPCWSTR line);

// The log's writes (WriteFile), the reads of the lines it keeps (ReadFile)
// and the move of the new file into the log's place (MoveFileOver). Tests
// replace them to fill the card, stop at a step, fail a read or fail the
// move.
typedef BOOL(WINAPI *PFN_AccountWrite)(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                                       LPOVERLAPPED overlapped);
extern PFN_AccountWrite g_accountWrite;
typedef BOOL(WINAPI *PFN_AccountRead)(HANDLE file, LPVOID bytes, DWORD size, LPDWORD got,
                                      LPOVERLAPPED overlapped);
extern PFN_AccountRead g_accountRead;
typedef BOOL (*PFN_AccountMove)(LPCWSTR from, LPCWSTR to, int *oldGone);
extern PFN_AccountMove g_accountMove;

// The account of one event, at the time now, into the log beside the
// configuration file. A log that cannot be written is left as it is.
void KeepAccount(LPCWSTR configPath, const EventAccount *account);
