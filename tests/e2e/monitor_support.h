// The monitor on the emulated phone: configuration files, app windows in
// the foreground, sensor events and what the display made of them.
#pragma once
#include "support/phone.h"
#include <string>
#include <vector>
#include "common/globals.h"
#include "monitor/orientation.h"

// Rotation kept by the display before a test turns the phone: a code no
// sensor value gives, so that every call of the rotation service shows.
#define ROTATION_UNTOUCHED 9

class MonitorPhoneTest : public PhoneTest {
protected:
    PROCESS_INFORMATION monitor = {};

    void WriteConfig(const std::string &text)
    {
        ASSERT_TRUE(WriteBytes(ConfigPath(), text));
    }

    void SetRotation(DWORD code)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, DISPLAY_KEY, 0, NULL, 0,
                                                 KEY_SET_VALUE, NULL, &key, NULL));
        RegSetValueExW(key, L"Rotation", 0, REG_DWORD, (const BYTE *)&code, sizeof(code));
        RegCloseKey(key);
    }

    void LoadMonitor()
    {
        monitor = StartMonitor();
        ASSERT_NE(nullptr, FindMonitor());
    }

    // Events the notification has posted with this value so far.
    int Posted(DWORD value) const
    {
        return CountLog(L"aygshell notify posted=" + std::to_wstring(value));
    }

    // Writes the sensor value and waits until its event is in the
    // monitor's queue.
    void Turn(DWORD value)
    {
        int before = Posted(value);
        SetSensor(value);
        ASSERT_TRUE(WaitLog(L"aygshell notify posted=" + std::to_wstring(value), before + 1))
            << "no event posted for " << value;
    }

    // Unloads the monitor through its queue and waits for its end: every
    // event queued before has been handled by then, so the call log is
    // complete.
    void Finish()
    {
        HWND window = FindMonitor();
        ASSERT_NE(nullptr, window);
        PostMessageW(window, WMU_UNLOAD, 0, 0);
        ASSERT_TRUE(WaitExit(monitor)) << "the monitor did not end";
        EXPECT_EQ(0u, ExitCode(monitor));
    }

    // Codes passed to the rotation service, in call order.
    std::vector<int> RotationCalls() const
    {
        std::vector<int> codes;
        const std::wstring key = L"aygshell 298 code=";
        for (const std::wstring &line : CallLog()) {
            size_t at = line.find(key);
            if (at != std::wstring::npos)
                codes.push_back(_wtoi(line.c_str() + at + key.size()));
        }
        return codes;
    }
};
