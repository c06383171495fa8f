#include "strlist.h"
#include <stdlib.h>
#include "message.h"

// The phone's heap hands out blocks whose size fits in 32 bits; a larger
// request (a wild growth step, a count near its limit) is refused like a
// failed allocation instead of wrapping round to a small block.
#define CLPA_MAX_ENTRIES (0xFFFFFFFFu / sizeof(__int64))

static UINT SpareEntries(int growthStep)
{
    return growthStep > 0 ? (UINT)growthStep : 0;
}

// Entries needed for count entries plus the spare ones, or 0 when that
// many cannot be asked for.
static UINT EntriesFor(UINT count, UINT spare)
{
    if (count > CLPA_MAX_ENTRIES || spare > CLPA_MAX_ENTRIES - count)
        return 0;
    return count + spare;
}

int CLPA::Add(__int64 value)
{
    UINT spare = SpareEntries(growthStep);

    if (!entries && count == 0 && capacity == 0) {
        UINT want = EntriesFor(1, spare);
        __int64 *block = want ? (__int64 *)malloc(want * sizeof(__int64)) : NULL;
        if (!block) {
            ShowErrorF(L"CLPA: alloc error!");
            return 0;
        }
        entries = block;
        capacity = want;
        entries[0] = value;
        count = 1;
        return 1;
    }

    UINT newCount = count + 1;
    if (newCount == 0 || newCount > capacity) {
        UINT want = newCount ? EntriesFor(newCount, spare) : 0;
        // On failure the old array stays as it was, entries and all.
        __int64 *block = want ? (__int64 *)realloc(entries, want * sizeof(__int64)) : NULL;
        if (!block) {
            ShowErrorF(L"CLPA: realloc error!");
            return 0;
        }
        entries = block;
        capacity = want;
    }
    entries[newCount - 1] = value;
    count = newCount;
    return 1;
}

void CLPA::Free()
{
    if (entries)
        free(entries);
    entries = NULL;
    count = 0;
    capacity = 0;
}

int CStrList::Add(LPCWSTR text)
{
    if (!text)
        return 0;
    size_t size = (lstrlenW(text) + 1) * sizeof(WCHAR);
    LPWSTR copy = (LPWSTR)malloc(size);
    if (!copy)
        return 0;
    CopyMemory(copy, text, size);
    if (!CLPA::Add((__int64)(ULONG_PTR)copy)) {
        free(copy);
        return 0;
    }
    return 1;
}

void CStrList::Clear()
{
    for (UINT i = 0; i < count; ++i) {
        if (entries[i])
            free((void *)(ULONG_PTR)entries[i]);
    }
    CLPA::Free();
}
