// One sensor event handled in this process, for the roads that cannot be
// seen from outside under Wine: the display-off action of face-down goes
// through the display escape seam, g_displayEscape (monitor/orientation.h),
// because the desktop display driver offers no power escape.
#include <gtest/gtest.h>
#include <vector>
#include "monitor/monitor.h"
#include "monitor/orientation.h"
#include "support/phone.h"

namespace {

std::vector<DWORD> g_powerStates;  // PowerState of each request sent

int WINAPI PowerDriver(HDC, int escape, int inputSize, LPCSTR input, int, LPSTR)
{
    if (escape == QUERYESCSUPPORT)
        return 1;
    if (escape == SETPOWERMANAGEMENT && inputSize == 12)
        g_powerStates.push_back(((const VIDEO_POWER_MANAGEMENT *)input)->PowerState);
    return 1;
}

class SensorEventTest : public ::testing::Test {
protected:
    PFN_DisplayEscape savedEscape;
    std::wstring savedPath;
    std::wstring config;
    std::wstring log;

    void SetUp() override
    {
        savedEscape = g_displayEscape;
        g_displayEscape = PowerDriver;
        g_powerStates.clear();
        savedPath = g_monitorConfigPath;
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        config = std::wstring(temp) + L"vorn_event_test.txt";
        log = std::wstring(temp) + L"vorn_event_calls.log";
        lstrcpynW(g_monitorConfigPath, config.c_str(), CONFIG_PATH_CAPACITY);
        DeleteFileW(log.c_str());
        SetEnvironmentVariableW(L"PHONE_CALL_LOG", log.c_str());
    }

    void TearDown() override
    {
        g_displayEscape = savedEscape;
        lstrcpynW(g_monitorConfigPath, savedPath.c_str(), CONFIG_PATH_CAPACITY);
        SetEnvironmentVariableW(L"PHONE_CALL_LOG", NULL);
        DeleteFileW(config.c_str());
        DeleteFileW(log.c_str());
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SENSOR_KEY, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueW(key, SENSOR_VALUE);
            RegCloseKey(key);
        }
    }

    void SetSensor(DWORD value)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, SENSOR_KEY, 0, NULL, 0,
                                                 KEY_SET_VALUE, NULL, &key, NULL));
        RegSetValueExW(key, SENSOR_VALUE, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
        RegCloseKey(key);
    }
};

struct DisplayOffCase {
    const char *fdscreenoff;
    DWORD afterWait;  // the sensor's value when it is read again
    bool off;         // a display-off request is sent
};

TEST_F(SensorEventTest, FaceDownSwitchesTheDisplayOff)
{
    const DisplayOffCase cases[] = {
        {"1", 0x10004, true},
        {"3", 0x10004, true},
        {"9", 0x10004, true},
        {"1", 0x10000, false},  // turned back over during the wait
        {"0", 0x10004, false},
        {"-1", 0x10004, false},
    };
    for (const DisplayOffCase &c : cases) {
        SCOPED_TRACE(c.fdscreenoff);
        g_powerStates.clear();
        DeleteFileW(log.c_str());
        ASSERT_TRUE(WriteBytes(config, std::string("#timeout(0)\r\n#fdscreenoff(") +
                                           c.fdscreenoff + ")\r\n"));
        SetSensor(c.afterWait);
        MonitorSettings settings;
        EXPECT_EQ(0, HandleSensorEvent(0x10004, &settings));
        EXPECT_EQ(c.off ? std::vector<DWORD>{4} : std::vector<DWORD>{}, g_powerStates);
        // Face-down never turns the display.
        EXPECT_EQ(std::string::npos, ReadBytes(log).find("aygshell 298"));
    }
}

}  // namespace
