// The account of the sensor events on the emulated phone: with "#log(1)"
// the monitor explains each event in vorn.log beside vorn.txt; without it,
// no file.
#include "monitor_support.h"

namespace {

using MonitorAccountTest = MonitorPhoneTest;

// The account's lines without their line ends.
std::vector<std::string> Lines(const std::string &bytes)
{
    std::vector<std::string> lines;
    size_t at = 0, end;
    while ((end = bytes.find("\r\n", at)) != std::string::npos) {
        lines.push_back(bytes.substr(at, end - at));
        at = end + 2;
    }
    EXPECT_EQ(bytes.size(), at) << "a line without its CR LF";
    return lines;
}

TEST_F(MonitorAccountTest, ListedAppAndTurningAppAreExplained)
{
    WriteConfig("#log(1)\r\n#timeout(0)\r\n#window(cprog.exe)\r\n");
    SetRotation(ROTATION_UNTOUCHED);
    const std::wstring account = Path(L"vorn.log");
    OpenApp(L"Calculator", L"CalcFrame", L"cprog.exe");
    LoadMonitor();
    Turn(SENSOR_TURNED_90);
    // The first event is handled while the listed app is still in front.
    ASSERT_TRUE(WaitUntil([&] { return CountOccurrences(ReadBytes(account), "\r\n") == 1; }));
    OpenApp(L"Inbox", L"MailApp");
    Turn(SENSOR_TURNED_270);
    Finish();

    std::vector<std::string> lines = Lines(ReadBytes(account));
    ASSERT_EQ(2u, lines.size());
    for (const std::string &line : lines) {
        ASSERT_GT(line.size(), 8u);
        EXPECT_EQ(':', line[2]);
        EXPECT_EQ(':', line[5]);
    }
    EXPECT_EQ(" | 0x00010000 on its side | \"Calculator\" CalcFrame cprog.exe | "
              "#window(cprog.exe) matched the program name | left alone",
              lines[0].substr(8));
    EXPECT_EQ(" | 0x00010001 on its other side | \"Inbox\" MailApp appwin.exe | "
              "no entry matched, onlyfor 0 | waited 0 ms, read 0x00010001: turned to code 3",
              lines[1].substr(8));
    EXPECT_EQ(std::vector<int>{3}, RotationCalls());
}

struct NoAccountCase {
    const char *name;
    const char *config;  // null: none, so the default text is written
};

const NoAccountCase kNoAccountCases[] = {
    {"LogZero", "#log(0)\r\n#timeout(0)\r\n"},
    {"DefaultText", nullptr},
};

class MonitorNoAccountTest : public MonitorPhoneTest,
                             public ::testing::WithParamInterface<NoAccountCase> {};

TEST_P(MonitorNoAccountTest, NoFileIsWritten)
{
    if (GetParam().config)
        WriteConfig(GetParam().config);
    SetRotation(ROTATION_UNTOUCHED);
    LoadMonitor();
    Turn(SENSOR_TURNED_90);
    // The event is over once the display has turned (after the default
    // text's wait of 1000 ms, too).
    EXPECT_TRUE(WaitUntil([&] { return Rotation() == 1; }));
    Finish();
    EXPECT_TRUE(FileExists(ConfigPath()));
    EXPECT_FALSE(FileExists(Path(L"vorn.log")));
}

INSTANTIATE_TEST_SUITE_P(Configs, MonitorNoAccountTest, ::testing::ValuesIn(kNoAccountCases),
                         [](const ::testing::TestParamInfo<NoAccountCase> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
