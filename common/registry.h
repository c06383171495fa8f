// Reading single registry values.
#pragma once
#include "wince.h"

#define REG_READ_CAPACITY 8096

BYTE *RegReadValue(HKEY root, LPCWSTR path, LPCWSTR name, DWORD *size, DWORD *type);
int RegReadDword(HKEY root, LPCWSTR path, LPCWSTR name, DWORD *output);
