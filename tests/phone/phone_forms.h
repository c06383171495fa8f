// Included first in every source of the phone's form under test (the
// program's code and the PhoneForms tests): the phone's stand-ins, and the
// place where a test plays the monitor at the moment of Save's move.
#pragma once

#include "phone/standins.h"

#ifdef __cplusplus
extern "C" {
#endif
// MoveFileW, with what the test has arranged to happen first (faults.h).
BOOL WINAPI PhoneFormsMoveFileW(LPCWSTR from, LPCWSTR to);
#ifdef __cplusplus
}
#endif

#define MoveFileW PhoneFormsMoveFileW
