// Unit tests call the display's rotation service inside this process. For
// them it only keeps the code: the screen stays as it is and no window is
// told of a turn (the stand-in's PHONE_SCREEN_FIXED seam). The end-to-end
// tests turn the screen for real.
#include <windows.h>

namespace {
const BOOL kScreenFixed = SetEnvironmentVariableW(L"PHONE_SCREEN_FIXED", L"1");
}
