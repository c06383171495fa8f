// The growable array and the owned list of wide strings built on it.
#pragma once
#include "wince.h"

class CLPA {
public:
    __int64 *entries;     // entries 0 .. count-1; NULL when nothing is allocated
    UINT count;           // entries in use
    UINT capacity;        // entries allocated
    int growthStep;       // spare entries added at each growth

    CLPA() : entries(NULL), count(0), capacity(0), growthStep(0) {}
    ~CLPA() { Free(); }

    int Add(__int64 value);  // 1 when added, 0 when memory ran out
    void Free();             // frees the array only

private:
    CLPA(const CLPA &);
    CLPA &operator=(const CLPA &);
};

class CStrList : public CLPA {
public:
    ~CStrList() { Clear(); }

    int Add(LPCWSTR text);   // 1 when a copy was added, 0 otherwise
    void Clear();            // frees every string and the array

    LPCWSTR At(UINT index) const { return (LPCWSTR)(ULONG_PTR)entries[index]; }
};
