// Planted: the editor reaching up to the verbs, the circle through the About box.
#include "monitor/account.h"
#include "app/commands.h"
