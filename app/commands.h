// The command-line verbs.
#pragma once
#include "wince.h"

// 0: go on and run the monitor; 1: end the program now.
int HandleCommandLine(LPCWSTR commandLine);
