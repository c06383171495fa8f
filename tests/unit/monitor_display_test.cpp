// Switching the display's power through the display driver's escape. The
// desktop display driver under test offers no power escape, so the escape
// call is replaced through its seam, g_displayEscape (monitor/orientation.h),
// by a driver that records what it is asked.
#include <gtest/gtest.h>
#include <vector>
#include "monitor/orientation.h"

namespace {

struct EscapeCall {
    int escape;
    std::vector<BYTE> input;
    int outputSize;
    bool hasOutput;
};

std::vector<EscapeCall> g_calls;
bool g_supportsPower;

int WINAPI RecordingEscape(HDC dc, int escape, int inputSize, LPCSTR input, int outputSize,
                           LPSTR output)
{
    EXPECT_NE(nullptr, dc);
    EscapeCall call = {escape, std::vector<BYTE>((const BYTE *)input, (const BYTE *)input + inputSize),
                       outputSize, output != NULL};
    g_calls.push_back(call);
    if (escape == QUERYESCSUPPORT)
        return g_supportsPower && inputSize == 4 && *(const DWORD *)input == SETPOWERMANAGEMENT;
    return 1;
}

std::vector<BYTE> PowerRequest(DWORD state)
{
    DWORD words[3] = {12, 1, state};
    return std::vector<BYTE>((BYTE *)words, (BYTE *)words + sizeof(words));
}

std::vector<BYTE> EscapeNumber()
{
    DWORD number = 6147;
    return std::vector<BYTE>((BYTE *)&number, (BYTE *)&number + 4);
}

class DisplayPowerTest : public ::testing::Test {
protected:
    PFN_DisplayEscape saved;
    void SetUp() override
    {
        saved = g_displayEscape;
        g_displayEscape = RecordingEscape;
        g_calls.clear();
    }
    void TearDown() override { g_displayEscape = saved; }
};

struct PowerCase {
    int on;
    DWORD state;
};

TEST_F(DisplayPowerTest, SupportedEscapeGetsTheTwelveByteRequest)
{
    const PowerCase cases[] = {{0, 4}, {1, 1}};
    for (const PowerCase &c : cases) {
        g_calls.clear();
        g_supportsPower = true;
        EXPECT_EQ(1, SetDisplayPower(c.on));
        ASSERT_EQ(2u, g_calls.size());
        EXPECT_EQ(QUERYESCSUPPORT, g_calls[0].escape);
        EXPECT_EQ(EscapeNumber(), g_calls[0].input);
        EXPECT_EQ(6147, g_calls[1].escape);
        EXPECT_EQ(PowerRequest(c.state), g_calls[1].input) << "on=" << c.on;
        EXPECT_EQ(0, g_calls[1].outputSize);
        EXPECT_FALSE(g_calls[1].hasOutput);
    }
}

TEST_F(DisplayPowerTest, UnsupportedEscapeSendsNothing)
{
    g_supportsPower = false;
    EXPECT_EQ(0, SetDisplayPower(0));
    ASSERT_EQ(1u, g_calls.size());
    EXPECT_EQ(QUERYESCSUPPORT, g_calls[0].escape);
}

TEST(DisplayPowerDesktopTest, DesktopDriverOffersNoPowerEscape)
{
    // Why the seam exists: the real driver answers "not supported" here.
    EXPECT_EQ(0, SetDisplayPower(0));
}

}  // namespace
