// Planted: the monitor reaching up to the editor, and to the verbs by a bare
// name; down to common/ is fine.
#include "common/config.h"
#include "editor/editor.h"
#include "commands.h"
