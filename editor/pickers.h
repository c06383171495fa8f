// The window pickers: "#window" lines made from the running windows'
// titles, classes and process names.
#pragma once
#include "wince.h"
#include "common/strlist.h"

// PickerList: which of the three lists a pick shows.
#define PICK_TITLES 0
#define PICK_CLASSES 1
#define PICK_PROCESSES 2

#define PICK_NAME_CAPACITY 72
#define PICK_FILTER_CAPACITY 64

BOOL IsPickableWindow(HWND window);
// Refills the three lists, in step, from the pickable top-level windows,
// topmost first. Each name is cut at its first line break.
void CollectWindowNames(CStrList *titles, CStrList *classes, CStrList *processes);

// Shows the names of the selected list in a popup menu owned by owner, its
// bottom-right corner at the screen's as the screen is now, and
// writes the chosen one as a "#window" line into buffer (capacity
// characters). Leaves buffer as it was when nothing is chosen. Returns 0.
int PickWindowEntry(HWND owner, int selector, LPWSTR buffer, int capacity);

// The editor's pick commands: the chosen line goes in at the caret.
void InsertPickedWindow(HWND window, int selector);
