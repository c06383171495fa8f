// The entry point may include every folder below it.
#include "editor/editor.h"
#include "monitor/monitor.h"
#include "common/message.h"
