// Resource strings and the program's message boxes.
#pragma once
#include "wince.h"
#include <stdarg.h>

// Read-only pointer to a stored string, or NULL when no module has it.
LPCWSTR LoadResString(UINT id);

// Bounded wide formatting: "%s" takes a wide string (NULL prints nothing),
// "%d" a signed int, "%u" an unsigned int, "%%" a percent sign. At most
// capacity - 1 characters are written and the text is always terminated.
// Returns the length of the whole expansion, as if nothing were cut: a
// caller can measure with capacity 0 and a null buffer, then allocate.
int FormatTextV(LPWSTR buffer, int capacity, LPCWSTR format, va_list args);
int FormatText(LPWSTR buffer, int capacity, LPCWSTR format, ...);

// The platform's message box. Tests put a recorder here to see the flags,
// which Wine does not show on the box itself.
extern int(WINAPI *g_messageBox)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags);

int ShowMessageF(HWND owner, LPCWSTR caption, UINT flags, LPCWSTR format, ...);
int ShowErrorF(LPCWSTR format, ...);

// The About box, with the status of the monitor found last. Here, beside
// the other boxes, so that the editor's menu reaches it without climbing
// back up to the verbs.
void ShowAboutBox(void);
