// Resource strings, the bounded formatter and the message-box wrappers.
#include <gtest/gtest.h>
#include <string>
#include "common/globals.h"
#include "common/message.h"
#include "res/resource.h"

namespace {

struct FormatCase {
    const wchar_t *expected;
    const wchar_t *format;
    const wchar_t *s;
    int d;
};

std::wstring Format(const wchar_t *format, const wchar_t *s, int d, int capacity = 64)
{
    wchar_t buffer[64];
    wmemset(buffer, L'#', 64);
    if (wcsstr(format, L"%s") && wcsstr(format, L"%d") &&
        wcsstr(format, L"%s") > wcsstr(format, L"%d"))
        FormatText(buffer, capacity, format, d, s);
    else if (wcsstr(format, L"%s"))
        FormatText(buffer, capacity, format, s, d);
    else
        FormatText(buffer, capacity, format, d);
    return buffer;
}

TEST(FormatText, WideStringsAndSignedNumbers)
{
    const FormatCase cases[] = {
        {L"Status ON", L"Status %s", L"ON", 0},
        {L"Cannot connect to GSensor (3)", L"Cannot connect to GSensor (%d)", nullptr, 3},
        {L"(-2147483648)", L"(%d)", nullptr, -2147483647 - 1},
        {L"x 0 y", L"x %d y", nullptr, 0},
        {L"a ÄÖ b", L"a %s b", L"ÄÖ", 0},
        {L"100%", L"100%%", nullptr, 0},
        {L"[] 7", L"[%s] %d", nullptr, 7},   // a missing string prints nothing
        {L"7 %q", L"%d %q", nullptr, 7},     // unknown conversions stand as written
        {L"end %", L"end %", nullptr, 0},
    };
    for (const FormatCase &c : cases)
        EXPECT_EQ(std::wstring(c.expected), Format(c.format, c.s, c.d)) << c.format;
}

TEST(FormatText, CutsAtCapacityAndReportsWholeLength)
{
    wchar_t buffer[8];
    EXPECT_EQ(11, FormatText(buffer, 8, L"%s", L"hello world"));
    EXPECT_STREQ(L"hello w", buffer);
    EXPECT_EQ(3, FormatText(nullptr, 0, L"%d", 123));
    EXPECT_EQ(0, FormatText(buffer, 8, nullptr));
    EXPECT_STREQ(L"", buffer);
}

TEST(LoadResString, MissingIdIsNullAndKnownIdsPointIntoTable)
{
    EXPECT_EQ(nullptr, LoadResString(115));
    EXPECT_EQ(nullptr, LoadResString(9999));
    LPCWSTR first = LoadResString(IDS_STATUS_ON);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, LoadResString(IDS_STATUS_ON));  // no copy is made
}

TEST(LoadResString, FallsBackToOwnModule)
{
    VornGlobals saved = g_vorn;
    g_vorn.resModule = GetModuleHandleW(L"kernel32.dll");
    EXPECT_STREQ(L"VORN", LoadResString(IDS_TITLE));
    g_vorn.resModule = NULL;
    EXPECT_STREQ(L"OFF", LoadResString(IDS_STATUS_OFF));
    g_vorn = saved;
}

// Records the boxes instead of showing them.
struct BoxRecord {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT flags;
    int calls;
};
BoxRecord g_box;
int g_boxAnswer;

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags)
{
    g_box.owner = owner;
    g_box.text = text ? text : L"(null)";
    g_box.caption = caption ? caption : L"(null)";
    g_box.flags = flags;
    ++g_box.calls;
    return g_boxAnswer;
}

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_box = BoxRecord();
        g_boxAnswer = IDOK;
        g_messageBox = RecordBox;
    }
    void TearDown() override { g_messageBox = MessageBoxW; }
};

TEST_F(MessageBoxTest, NullOrEmptyFormatShowsEmptyText)
{
    EXPECT_EQ(IDOK, ShowMessageF(NULL, L"Caption", MB_OK | MB_TOPMOST, nullptr));
    EXPECT_EQ(L"", g_box.text);
    EXPECT_EQ(L"Caption", g_box.caption);
    ShowMessageF(NULL, nullptr, 0, L"");
    EXPECT_EQ(L"", g_box.text);
    EXPECT_EQ(L"", g_box.caption);
    EXPECT_EQ(2, g_box.calls);
}

TEST_F(MessageBoxTest, FlagsZeroBecomeSetForegroundOthersStay)
{
    const struct {
        UINT given, shown;
    } cases[] = {
        {0, MB_SETFOREGROUND},
        {MB_TOPMOST, MB_TOPMOST},
        {MB_TOPMOST | MB_YESNO, 0x40004},
        {MB_YESNO | MB_ICONQUESTION, 0x24},
    };
    for (const auto &c : cases) {
        ShowMessageF(NULL, L"", c.given, L"x");
        EXPECT_EQ(c.shown, g_box.flags) << c.given;
    }
}

TEST_F(MessageBoxTest, ReturnsTheButtonAndPassesTheOwner)
{
    g_boxAnswer = IDNO;
    HWND owner = GetDesktopWindow();
    EXPECT_EQ(IDNO, ShowMessageF(owner, L"c", MB_YESNO, L"q"));
    EXPECT_EQ(owner, g_box.owner);
}

TEST_F(MessageBoxTest, TextIsCutAfter1023Characters)
{
    const struct {
        size_t length, shown;
    } cases[] = {{1022, 1022}, {1023, 1023}, {1024, 1023}, {5000, 1023}};
    for (const auto &c : cases) {
        std::wstring text(c.length, L'x');
        text[c.length - 1] = L'y';
        ShowMessageF(NULL, L"", 0, L"%s", text.c_str());
        EXPECT_EQ(c.shown, g_box.text.size()) << c.length;
        EXPECT_EQ(c.length == c.shown ? L'y' : L'x', g_box.text.back()) << c.length;
    }
}

TEST_F(MessageBoxTest, ErrorBoxHasNoCaptionAndSetForeground)
{
    EXPECT_EQ(IDOK, ShowErrorF(L"CLPA: %s error!", L"alloc"));
    EXPECT_EQ(L"CLPA: alloc error!", g_box.text);
    EXPECT_EQ(L"", g_box.caption);
    EXPECT_EQ((UINT)MB_SETFOREGROUND, g_box.flags);
    EXPECT_EQ(nullptr, g_box.owner);
}

}  // namespace
