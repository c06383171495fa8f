// The growable array and the owned string list.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "common/strlist.h"
#include "support/phone.h"

namespace {


// Answers the program's message boxes on this thread as they open and
// keeps the last one's text. A thread-local CBT hook sees the box activate
// inside MessageBoxW, so no other thread and no waiting is needed; nothing
// here uses the general heap, so heap counts stay exact.
class BoxCatcher {
public:
    BoxCatcher() : boxes(0)
    {
        text[0] = 0;
        current = this;
        hook = SetWindowsHookExW(WH_CBT, Proc, NULL, GetCurrentThreadId());
    }
    ~BoxCatcher()
    {
        if (hook)
            UnhookWindowsHookEx(hook);
        current = nullptr;
    }
    bool Armed() const { return hook != NULL; }

    int boxes;
    WCHAR text[256];

private:
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_ACTIVATE && current) {
            HWND box = (HWND)wParam;
            WCHAR name[32] = L"";
            GetClassNameW(box, name, 32);
            if (lstrcmpW(name, L"#32770") == 0) {
                GetDlgItemTextW(box, 0xFFFF, current->text, 256);
                current->boxes++;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
        }
        return CallNextHookEx(NULL, code, wParam, lParam);
    }

    static BoxCatcher *current;
    HHOOK hook;
};

BoxCatcher *BoxCatcher::current = nullptr;

// Growth step 0, as every list of the program has it: the capacity always
// follows the count, and the values keep the order they were added in.
TEST(CLPA, GrowsOneEntryAtATime)
{
    CLPA list;
    EXPECT_EQ(nullptr, list.entries);
    EXPECT_EQ(0u, list.count);
    EXPECT_EQ(0u, list.capacity);
    EXPECT_EQ(0, list.growthStep);

    const __int64 values[] = {7, -1, 0, 0x123456789ALL, 42};
    for (UINT i = 0; i < 5; ++i) {
        ASSERT_EQ(1, list.Add(values[i]));
        EXPECT_EQ(i + 1, list.count);
        EXPECT_EQ(i + 1, list.capacity);
    }
    for (UINT i = 0; i < 5; ++i)
        EXPECT_EQ(values[i], list.entries[i]) << i;
}

TEST(CLPA, GrowthStepLeavesSpareEntries)
{
    CLPA list;
    list.growthStep = 3;
    const UINT capacities[] = {4, 4, 4, 4, 8, 8};
    __int64 *array = nullptr;
    for (UINT i = 0; i < 6; ++i) {
        ASSERT_EQ(1, list.Add(100 + i));
        EXPECT_EQ(capacities[i], list.capacity) << "after add " << i + 1;
        if (i >= 1 && i <= 3) {
            EXPECT_EQ(array, list.entries) << "add " << i + 1 << " moved the array";
        }
        array = list.entries;
    }
    for (UINT i = 0; i < 6; ++i)
        EXPECT_EQ(100 + i, list.entries[i]);
}

// A negative step would ask for no entry at all and then store into it.
TEST(CLPA, NegativeGrowthStepCountsAsNone)
{
    CLPA list;
    list.growthStep = -5;
    ASSERT_EQ(1, list.Add(1));
    EXPECT_EQ(1u, list.capacity);
    ASSERT_EQ(1, list.Add(2));
    EXPECT_EQ(2u, list.capacity);
    EXPECT_EQ(2, list.entries[1]);
}

TEST(CLPA, FreeReleasesTheArrayAndKeepsTheStep)
{
    CLPA list;
    list.growthStep = 2;
    list.Add(1);
    list.Add(2);
    list.Free();
    EXPECT_EQ(nullptr, list.entries);
    EXPECT_EQ(0u, list.count);
    EXPECT_EQ(0u, list.capacity);
    EXPECT_EQ(2, list.growthStep);

    ASSERT_EQ(1, list.Add(9));
    EXPECT_EQ(3u, list.capacity);
    EXPECT_EQ(9, list.entries[0]);
}

// Seam: no heap under Wine refuses a small block on request, so the
// failures are reached through the size limit that the list keeps (a
// block's size must fit in 32 bits, as on the phone): a huge growth step
// makes the request too large, and the list must react as to a refused
// allocation, with its message box and its old content intact.
TEST(CLPA, FirstAllocationFailureIsReportedAndLeavesTheListEmpty)
{
    BoxCatcher boxes;
    ASSERT_TRUE(boxes.Armed());
    CLPA list;
    list.growthStep = 0x7FFFFFFF;
    EXPECT_EQ(0, list.Add(5));
    EXPECT_EQ(nullptr, list.entries);
    EXPECT_EQ(0u, list.count);
    EXPECT_EQ(0u, list.capacity);
    EXPECT_EQ(1, boxes.boxes);
    EXPECT_STREQ(L"CLPA: alloc error!", boxes.text);
}

TEST(CLPA, GrowthFailureIsReportedAndKeepsTheOldArray)
{
    BoxCatcher boxes;
    ASSERT_TRUE(boxes.Armed());
    CLPA list;
    ASSERT_EQ(1, list.Add(11));
    ASSERT_EQ(1, list.Add(22));
    __int64 *array = list.entries;
    list.growthStep = 0x7FFFFFFF;
    EXPECT_EQ(0, list.Add(33));
    EXPECT_EQ(array, list.entries);
    EXPECT_EQ(2u, list.count);
    EXPECT_EQ(2u, list.capacity);
    EXPECT_EQ(11, list.entries[0]);
    EXPECT_EQ(22, list.entries[1]);
    EXPECT_EQ(1, boxes.boxes);
    EXPECT_STREQ(L"CLPA: realloc error!", boxes.text);

    list.growthStep = 0;
    EXPECT_EQ(1, list.Add(33));
    EXPECT_EQ(33, list.entries[2]);
}

std::vector<std::wstring> Strings(const CStrList &list)
{
    std::vector<std::wstring> out;
    for (UINT i = 0; i < list.count; ++i)
        out.push_back(list.At(i));
    return out;
}

TEST(CStrList, KeepsOwnCopiesInOrderWithDuplicatesAndEmpties)
{
    CStrList list;
    WCHAR text[16];
    lstrcpyW(text, L"Manila");
    ASSERT_EQ(1, list.Add(text));
    EXPECT_NE((LPCWSTR)text, list.At(0));
    lstrcpyW(text, L"changed");
    ASSERT_EQ(1, list.Add(L""));
    ASSERT_EQ(1, list.Add(L"opera"));
    ASSERT_EQ(1, list.Add(L"Manila"));
    EXPECT_EQ((std::vector<std::wstring>{L"Manila", L"", L"opera", L"Manila"}), Strings(list));
    EXPECT_EQ(4u, list.capacity);
}

TEST(CStrList, NullIsRefusedAndChangesNothing)
{
    CStrList list;
    EXPECT_EQ(0, list.Add(nullptr));
    EXPECT_EQ(nullptr, list.entries);
    EXPECT_EQ(0u, list.count);
    list.Add(L"a");
    EXPECT_EQ(0, list.Add(nullptr));
    EXPECT_EQ(1u, list.count);
}

TEST(CStrList, ClearEmptiesAndTheListIsReused)
{
    CStrList list;
    list.Clear();  // on an empty list: nothing to free
    EXPECT_EQ(nullptr, list.entries);

    list.growthStep = 1;
    list.Add(L"one");
    list.Add(L"two");
    list.Add(L"three");
    list.Clear();
    EXPECT_EQ(nullptr, list.entries);
    EXPECT_EQ(0u, list.count);
    EXPECT_EQ(0u, list.capacity);
    EXPECT_EQ(1, list.growthStep);

    list.growthStep = 0;
    ASSERT_EQ(1, list.Add(L"again"));
    EXPECT_EQ(1u, list.capacity);
    EXPECT_EQ(std::vector<std::wstring>{L"again"}, Strings(list));
    list.Clear();
    list.Clear();  // twice in a row frees nothing twice
    EXPECT_EQ(0u, list.count);
}

// A copy that cannot be listed is given back, and the list stays as it was.
TEST(CStrList, FailedGrowthReturnsZeroAndKeepsTheEntries)
{
    BoxCatcher boxes;
    ASSERT_TRUE(boxes.Armed());
    CStrList list;
    list.Add(L"kept");
    list.growthStep = 0x7FFFFFFF;
    int before = HeapBlocksInUse();
    int result = list.Add(L"lost");
    int after = HeapBlocksInUse();
    ASSERT_GE(before, 0) << "heap cannot be walked";
    EXPECT_EQ(0, result);
    EXPECT_EQ(before, after) << "the refused copy was not freed";
    EXPECT_EQ(std::vector<std::wstring>{L"kept"}, Strings(list));
    EXPECT_EQ(1, boxes.boxes);
}

// Each string and the array are the list's own blocks: clearing and
// destroying give back exactly what the adds took.
TEST(CStrList, ClearAndDestroyGiveBackEveryBlock)
{
    int before = HeapBlocksInUse();
    int filled, cleared;
    {
        CStrList list;
        list.Add(L"Manila");
        list.Add(L"");
        list.Add(L"a much longer name than the others");
        filled = HeapBlocksInUse();
        list.Clear();
        cleared = HeapBlocksInUse();
        list.Add(L"one");
        list.Add(L"two");
    }
    int destroyed = HeapBlocksInUse();
    ASSERT_GE(before, 0) << "heap cannot be walked";
    EXPECT_EQ(before + 4, filled);  // three strings and the array
    EXPECT_EQ(before, cleared);
    EXPECT_EQ(before, destroyed);
}

}  // namespace
