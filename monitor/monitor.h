// The resident monitor: hidden window, sensor binding and sensor events.
#pragma once
#include "wince.h"

int RunMonitor(HINSTANCE instance, LPCWSTR className);
