#include "textsearch.h"

static unsigned int Fold(WCHAR c)
{
    // One character at a time, through the platform's tables.
    return (unsigned int)(WCHAR)(ULONG_PTR)CharLowerW((LPWSTR)(ULONG_PTR)c);
}

int CompareNoCaseN(LPCWSTR first, LPCWSTR second, int count)
{
    if (count <= 0)
        return 0;
    if (!first)
        return second ? -1 : 0;
    if (!second)
        return 1;
    for (int i = 0; i < count; ++i) {
        if (!first[i] && !second[i])
            return 0;
        if (!second[i])
            return 1;
        if (!first[i])
            return -1;
        unsigned int a = Fold(first[i]), b = Fold(second[i]);
        if (a != b)
            return (int)a - (int)b;
    }
    return 0;
}

LPCWSTR FindNoCase(LPCWSTR text, LPCWSTR pattern)
{
    if (!text || !pattern)
        return NULL;
    size_t n = lstrlenW(pattern), h = lstrlenW(text);
    if (h < n)
        return NULL;
    for (size_t i = 0; i <= h - n; ++i) {
        if (CompareNoCaseN(text + i, pattern, (int)n) == 0)
            return text + i;
    }
    return NULL;
}

LPWSTR ReplaceFirst(LPWSTR buffer, UINT capacity, LPCWSTR pattern, LPCWSTR replacement)
{
    LPWSTR match = (LPWSTR)FindNoCase(buffer, pattern);
    if (!match)
        return NULL;
    if (!replacement)
        replacement = L"";
    UINT f = lstrlenW(pattern), r = lstrlenW(replacement), len = lstrlenW(buffer);
    if (len - f + r + 1 > capacity)
        return NULL;
    UINT tail = len - (UINT)(match - buffer) - f + 1;  // with the terminator
    MoveMemory(match + r, match + f, tail * sizeof(WCHAR));
    CopyMemory(match, replacement, r * sizeof(WCHAR));
    return match + r;
}
