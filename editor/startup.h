// The StartUp shortcut that starts the monitor when the phone starts.
#pragma once
#include "wince.h"

#define STARTUP_FOLDER_CAPACITY 260
#define STARTUP_PATH_CAPACITY 520

// Fills path (STARTUP_PATH_CAPACITY characters) with the shortcut's full
// path. Returns 0, with path empty, when the StartUp folder is unknown.
int StartupShortcutPath(LPWSTR path);

// Writes the shortcut to this program with the verb "#load".
void CreateStartupShortcut(void);

// The "Startup" command: offers to delete the shortcut when it is there,
// to create it when it is not.
void StartupCommand(HWND editor);
