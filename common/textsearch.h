// Case-insensitive text matching: every textual match of the program.
#pragma once
#include "wince.h"

int CompareNoCaseN(LPCWSTR first, LPCWSTR second, int count);
LPCWSTR FindNoCase(LPCWSTR text, LPCWSTR pattern);
LPWSTR ReplaceFirst(LPWSTR buffer, UINT capacity, LPCWSTR pattern, LPCWSTR replacement);
