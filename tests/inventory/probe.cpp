// Calls of functions that the phone does not offer, for the test that the
// inventory check names them: a system call and one of the C run-time.
#include "wince.h"
#include <stdio.h>

BOOL ProbeMoveWithProgress(LPCWSTR from, LPCWSTR to)
{
    return MoveFileWithProgressW(from, to, NULL, NULL, MOVEFILE_REPLACE_EXISTING);
}

FILE *ProbeOpenChecked(LPCWSTR path)
{
    FILE *file = NULL;
    return _wfopen_s(&file, path, L"rb") == 0 ? file : NULL;
}
