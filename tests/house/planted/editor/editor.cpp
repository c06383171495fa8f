// Planted: the editor reaching up to the verbs, the circle through the About box,
// by a path from the top, by one that climbs out of its folder and through
// the include path in angle brackets; down to the monitor and to common/,
// and to the system's headers, is fine.
#include "monitor/account.h"
#include "app/commands.h"
#include "../app/commands.h"
# include <app/commands.h>
#include "../common/shared.h"
#include <windows.h>
#include <string>
