// Planted: what every folder shares reaching up to the entry point and the monitor.
#include "common/shared.h"
#include "app/commands.h"
#include "monitor/monitor.h"
