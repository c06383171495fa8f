// A compile-time check the phone's compilers do not know (C++11).
#include "wince.h"

static_assert(sizeof(WCHAR) == 2, "wide characters");
