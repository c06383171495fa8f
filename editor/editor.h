// The configuration editor.
#pragma once
#include "wince.h"

int RunEditor(HINSTANCE instance, LPCWSTR className, LPCWSTR configPath, LPCWSTR title);
