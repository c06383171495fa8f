// The configuration editor: a full-screen window with one multi-line edit
// under the File and Edit menu bar.
#pragma once
#include "wince.h"
#include "aygshell.h"

#define EDITOR_VISIBLE_EDIT_ID 7
#define EDITOR_LOG_VIEW_ID 8
#define EDITOR_INSERT_CAPACITY 260
#define EDITOR_FONT_POINTS 10

// The editor's process-wide record.
struct EditorState {
    SHACTIVATEINFO activation;  // handed to the shell's activation handlers
    int saved;                  // 1 from the first Save on
    LPWSTR text;                // loaded text, later the last Save's or default's buffer
    LPCWSTR configPath;         // borrowed from the caller of RunEditor
    HWND visibleEdit;           // the text the user edits
    WCHAR insertBuffer[EDITOR_INSERT_CAPACITY];
    HFONT font;
    RECT clientRect;
    RECT editRect;
    HWND logView;               // the account, made at its first showing
    int logShown;               // 1 while the account stands in place of the text
};

extern EditorState g_editor;

// Runs the editor until its window is gone. -1 when no window could be
// made; otherwise 1 when Save was chosen at least once, else 0.
int RunEditor(HINSTANCE instance, LPCWSTR className, LPCWSTR configPath, LPCWSTR title);

void LoadEditorText(LPCWSTR configPath);
BOOL CreateEditorWindow(HINSTANCE instance, LPCWSTR className, LPCWSTR title);
ATOM RegisterEditorClass(HINSTANCE instance, LPCWSTR className);
void CreateEditorFont(HFONT *font, int points);
LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Heap copy of the default configuration text, or NULL.
LPWSTR CopyDefaultText(void);

// Writes text (capacity characters, changed in place: every CR is removed)
// as the new content of the configuration file at path. The text goes to a
// new file of its own beside it first ("~vorn<n>.tmp"), which then replaces
// the old file. Afterwards the file holds either the old text or the whole
// new one, with one exception: where the platform cannot replace a file in
// one step (on the phone, a storage card or no file yet), the old file is
// deleted before the move; if the move then fails for good, the file may be
// missing or hold the monitor's default text, and the new text stays whole
// in the temporary file, which is never deleted once the old file is gone.
// A temporary file that Save did not write in the same call is never
// touched. In a folder so deep that no such name fits, the file is deleted
// and written anew; when that fails for good, the file may be missing.
// Returns 1 when the file holds the text, 0 otherwise.
int SaveConfigText(LPCWSTR path, LPWSTR text, UINT capacity);

// The serial-th temporary name of Save beside path ("~vorn1.tmp", ...) in
// temp (CONFIG_PATH_CAPACITY characters). 0 and an empty temp when it does
// not fit in that capacity.
int SaveTempName(LPCWSTR path, int serial, LPWSTR temp);
