// A program source that calls a desktop-only function directly instead of
// through the compatibility header: the inventory check must name it.
#include "wince.h"

BOOL ReplaceDirectly(LPCWSTR from, LPCWSTR to)
{
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING);
}
