// Case-insensitive compare, find and replace.
#include <gtest/gtest.h>
#include "common/textsearch.h"

namespace {

struct CompareCase {
    const wchar_t *first;
    const wchar_t *second;
    int count;
    int sign;  // -1, 0 or +1
};

const CompareCase kCompareCases[] = {
    {L"Abc", L"aBC", 3, 0},
    {L"abcd", L"abcx", 3, 0},
    {L"ab", L"abc", 3, -1},
    {L"abc", L"ab", 3, 1},
    {nullptr, nullptr, 5, 0},
    {nullptr, L"a", 5, -1},
    {L"a", nullptr, 5, 1},
    {nullptr, L"a", 0, 0},
    {L"a", L"b", -3, 0},
    {L"", L"", 1, 0},
    {L"", L"", 100, 0},
    {L"abc", L"abd", 3, -1},
    {L"ABD", L"abc", 3, 1},
    {L"\x00C4pfel", L"\x00E4PFEL", 5, 0},  // folding goes beyond ASCII
    {L"x", L"xyz", 1, 0},                 // nothing past the count is looked at
};

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

TEST(CompareNoCaseN, Table)
{
    for (const CompareCase &c : kCompareCases) {
        EXPECT_EQ(c.sign, Sign(CompareNoCaseN(c.first, c.second, c.count)))
            << (c.first ? c.first : L"(null)") << " / " << (c.second ? c.second : L"(null)")
            << " / " << c.count;
    }
}

TEST(CompareNoCaseN, DifferenceOfFoldedCharacters)
{
    EXPECT_EQ(L'a' - L'c', CompareNoCaseN(L"A", L"C", 1));
    EXPECT_EQ(0xFFFF - L'a', CompareNoCaseN(L"\xFFFF", L"a", 1));
}

struct FindCase {
    const wchar_t *text;
    const wchar_t *pattern;
    int index;  // -1: none
};

const FindCase kFindCases[] = {
    {L"Task Manager", L"MANAGER", 5},
    {L"abc", L"", 0},
    {L"", L"", 0},
    {L"ab", L"abc", -1},
    {nullptr, L"a", -1},
    {L"a", nullptr, -1},
    {L"aaa", L"aa", 0},
    {L"xx #LOAD yy", L"#load", 3},
    {L"foo#loadbar", L"#load", 3},
    {L"#unload", L"#load", -1},
    {L"abc", L"abc", 0},
    {L"abcab", L"CAB", 2},
};

TEST(FindNoCase, Table)
{
    for (const FindCase &c : kFindCases) {
        LPCWSTR found = FindNoCase(c.text, c.pattern);
        if (c.index < 0)
            EXPECT_EQ(nullptr, found) << (c.text ? c.text : L"(null)");
        else
            EXPECT_EQ(c.text + c.index, found) << c.text << " / " << c.pattern;
    }
}

struct ReplaceCase {
    const wchar_t *before;
    unsigned capacity;
    const wchar_t *pattern;
    const wchar_t *replacement;
    const wchar_t *after;
    int resultIndex;  // -1: none
};

const ReplaceCase kReplaceCases[] = {
    {L"\\Windows\\Prog.EXE", 260, L".exe", L".txt", L"\\Windows\\Prog.txt", 17},
    {L"\\My.exe.d\\a.exe", 260, L".exe", L".txt", L"\\My.txt.d\\a.exe", 7},
    {L"abcdefgh", 10, L"b", L"XY", L"aXYcdefgh", 3},
    {L"abcdefgh", 10, L"b", L"XYZ", L"abcdefgh", -1},
    {L"abcdefgh", 10, L"q", L"X", L"abcdefgh", -1},
    {L"abcdefgh", 10, L"cde", L"", L"abfgh", 2},
    {L"a\r\nb", 5, L"\r", L"", L"a\nb", 1},
    {L"\\Program Files\\Tool\\PROG.EXE", 260, L".exe", L".txt",
     L"\\Program Files\\Tool\\PROG.txt", 28},
};

TEST(ReplaceFirst, Table)
{
    for (const ReplaceCase &c : kReplaceCases) {
        wchar_t buffer[300];
        lstrcpyW(buffer, c.before);
        LPWSTR result = ReplaceFirst(buffer, c.capacity, c.pattern, c.replacement);
        EXPECT_STREQ(c.after, buffer) << c.before;
        if (c.resultIndex < 0)
            EXPECT_EQ(nullptr, result) << c.before;
        else
            EXPECT_EQ(buffer + c.resultIndex, result) << c.before;
    }
}

TEST(ReplaceFirst, RemovingEveryCarriageReturnTakesTwoCalls)
{
    wchar_t text[] = L"a\r\nb\r\n";
    EXPECT_NE(nullptr, ReplaceFirst(text, 6, L"\r", L""));
    EXPECT_NE(nullptr, ReplaceFirst(text, 6, L"\r", L""));
    EXPECT_EQ(nullptr, ReplaceFirst(text, 6, L"\r", L""));
    EXPECT_STREQ(L"a\nb\n", text);
}

TEST(ReplaceFirst, NullInputsReplaceNothing)
{
    wchar_t text[] = L"abc";
    EXPECT_EQ(nullptr, ReplaceFirst(nullptr, 10, L"a", L"b"));
    EXPECT_EQ(nullptr, ReplaceFirst(text, 10, nullptr, L"b"));
    EXPECT_STREQ(L"abc", text);
}

}  // namespace
