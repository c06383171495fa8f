// The command-line verbs.
#pragma once
#include "wince.h"

// 0: go on and run the monitor; 1: end the program now.
int HandleCommandLine(LPCWSTR commandLine);

// The About box, with the status of the monitor found last.
void ShowAboutBox(void);
