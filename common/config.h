// The configuration file: location, reading, directives and writing.
#pragma once
#include "wince.h"
#include "strlist.h"

#define PATH_MISSING 0
#define PATH_FILE 1
#define PATH_DIRECTORY 2
#define PATH_TEMP_DIRECTORY 3

#define CONFIG_PATH_CAPACITY 260
#define CONFIG_LINE_CAPACITY 256
#define DIRECTIVE_VALUE_CAPACITY 1024

// Tries at putting a file in another's place while a reader holds that
// one: the phone has no delete sharing, so any open handle makes the move
// fail for a moment.
#define REPLACE_ATTEMPTS 5
#define REPLACE_RETRY_MS 20

// The configuration path of a module: its file name with the first ".exe"
// replaced by ".txt". Fills path (CONFIG_PATH_CAPACITY characters) and
// returns it.
LPWSTR GetConfigPath(HMODULE module, LPWSTR path);

int GetPathKind(LPCWSTR path);
// The whole file and four zero bytes after it, on the heap; NULL when the
// file is missing, empty or cannot be read whole. *read, when given, is 1
// when the file was read, an empty one too, and 0 when it was not.
BYTE *ReadFileAll(LPCWSTR path, int *read = NULL);
LPWSTR AnsiToWide(const char *text);

class LineReader {
public:
    BYTE *buffer;
    BYTE *cursor;

    LineReader() : buffer(NULL), cursor(NULL) {}
    ~LineReader() { Free(); }

    // The file's bytes (ReadFileAll, with its *read).
    BYTE *Load(LPCWSTR path, int *read = NULL);
    // The same for a text held in memory, as the file that holds it would read.
    BYTE *LoadText(LPCWSTR text);
    LPWSTR NextLine(LPWSTR output, int capacity);
    void Free();

private:
    LineReader(const LineReader &);
    LineReader &operator=(const LineReader &);
};

int GetDirective(LPCWSTR name, LPCWSTR line, LPWSTR output, WCHAR open, WCHAR close);
void AppendTextF(LPCWSTR path, LPCWSTR format, ...);
// Writes the formatted text, in the bytes AppendTextF writes, as a new file
// at path. 1 when the file was made and holds the whole text; 0 when path
// already existed (left as it was) or the file could not be made or written
// (nothing left behind).
int CreateTextFileF(LPCWSTR path, LPCWSTR format, ...);

// What a hold keeps the display in while the window it names is in front:
// the first character of each entry of the hold list.
#define HOLD_PORTRAIT L'P'
#define HOLD_LANDSCAPE L'L'

struct MonitorSettings {
    int timeout;       // milliseconds to wait before reading the position again
    int onlyfor;       // 0: listed windows are left alone; else only they rotate
    int fdscreenoff;   // face-down: <= 0 nothing, 2 power key, else display off
    int log;           // non-zero: an account of each event goes to the log file
    int call;          // non-zero: the display keeps its rotation during a call
    int keyboard;      // non-zero: the display keeps its rotation while the keyboard is out
    CStrList windows;  // "#window" entries in file order
    CStrList holds;    // "#portrait" and "#landscape" entries in file order: the
                       // kind (HOLD_...) followed by the name

    MonitorSettings() : timeout(1000), onlyfor(0), fdscreenoff(0), log(0), call(1), keyboard(1) {}
};

// The kind and the name of entry index of a hold list.
WCHAR HoldKind(const CStrList *holds, UINT index);
LPCWSTR HoldName(const CStrList *holds, UINT index);

// What ReadMonitorSettings does with a missing file.
#define SETTINGS_WRITE_MISSING 1  // write the default text into it, then read it
#define SETTINGS_LEAVE_MISSING 0  // read the default text, write nothing

// Rebuilds the settings from the file at path. A missing file reads as the
// default text; at a sensor event (SETTINGS_WRITE_MISSING) the text is
// first written into it. The window and hold lists, "#fdscreenoff",
// "#call" and "#keyboard" start anew at every reading (the last two on); "#log" too, when the file was read as it was found
// (not when it could not be read, nor when it was missing and the default
// text stood in for it); "#timeout" and "#onlyfor" keep their last values
// when the file lacks them.
void ReadMonitorSettings(LPCWSTR path, MonitorSettings *settings,
                         int missing = SETTINGS_WRITE_MISSING);

// The "#log" value of the file as it is saved (its last "#log" line), 0
// when it has none or cannot be read. *read, when given, is 1 when the file
// was read (ReadFileAll). The file is never written.
int ReadSavedLogSetting(LPCWSTR path, int *read = NULL);

// How ReadMonitorSettings asks whether the file is missing (GetPathKind).
// Tests put a function here that lets a file appear between the check and
// the write of the default text.
extern int (*g_configPathKind)(LPCWSTR path);
