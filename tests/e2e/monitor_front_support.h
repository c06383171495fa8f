// Front changes on the emulated phone, for the tests that bring apps to the
// front with the shell's publisher running: opening and bringing apps, and
// waiting for the display and the account.
#pragma once
#include "monitor_support.h"

#define APPWIN_ACTIVATE (WM_APP + 1)

class MonitorFrontTest : public MonitorPhoneTest {
protected:
    // The shell's watch's line for each front change it tells the monitor.
    static constexpr const wchar_t *kToldMark = L"aygshell notify posted text=";

    // Front changes told to the monitor so far.
    int Told() const { return CountLog(kToldMark); }
    // Sensor events told to it so far.
    int SensorEvents() const { return CountLog(L"aygshell notify posted="); }

    // Starts a stand-in app and waits until it is in front, done with its
    // own start, and, while the publisher runs, until the monitor has been
    // told.
    HWND Open(const std::wstring &title, const std::wstring &className,
              const std::wstring &exe = L"appwin.exe")
    {
        if (exe != L"appwin.exe") {
            EXPECT_TRUE(CopyFileW(Path(L"appwin.exe").c_str(), Path(exe).c_str(), FALSE));
        }
        int shown = CountLog(L"appwin foreground "), told = Told();
        Start(L"\"" + title + L"\" \"" + className + L"\"", exe);
        HWND window = NULL;
        EXPECT_TRUE(WaitUntil([&] {
            window = FindWindowW(className.c_str(), title.c_str());
            return window && CountLog(L"appwin foreground ") > shown;
        })) << "the app did not start";
        if (window) {
            ToFront(window);
            WaitTold(told, window);
        }
        return window;
    }

    // Brings a running app back to the front, then as Open.
    void Bring(HWND window)
    {
        int told = Told();
        PostMessageW(window, APPWIN_ACTIVATE, 0, 0);
        ToFront(window);
        WaitTold(told, window);
    }

    // Waits until the window is in front. An app that asks for the front
    // while the screen switches may not get it: it is asked again.
    void ToFront(HWND window)
    {
        DWORD asked = GetTickCount();
        EXPECT_TRUE(WaitUntil([&] {
            if (GetForegroundWindow() == window)
                return true;
            if (GetTickCount() - asked >= 500) {
                PostMessageW(window, APPWIN_ACTIVATE, 0, 0);
                asked = GetTickCount();
            }
            return false;
        })) << "the app did not come to the front";
    }

    // While the publisher runs, waits until the monitor has been told of
    // the change to window. Wine may pass the front back before the
    // publisher's next look, so that it never sees the window in front:
    // the window is then asked again. Wine may also pass the front away and
    // back between two looks, or the publisher write twice between two
    // reads of the shell's watch: the window is then in front, the last
    // change told names it, and no other is coming; after a quiet half
    // second that counts as told.
    void WaitTold(int before, HWND window)
    {
        if (!publishing)
            return;
        WCHAR title[64] = L"";
        GetWindowTextW(window, title, 64);
        DWORD asked = GetTickCount();
        EXPECT_TRUE(WaitUntil([&] {
            if (Told() > before)
                return true;
            if (GetTickCount() - asked < 500)
                return false;
            if (GetForegroundWindow() == window)
                return LastToldApp() == title;
            PostMessageW(window, APPWIN_ACTIVATE, 0, 0);
            asked = GetTickCount();
            return false;
        })) << "the monitor was not told of the front change";
    }

    // The app that the last front change told to the monitor names as the
    // new one: what follows ESC in its text.
    std::wstring LastToldApp() const
    {
        const std::wstring mark = std::wstring(kToldMark) + L"\"";
        std::vector<std::wstring> log = CallLog();
        for (size_t i = log.size(); i-- > 0;) {
            size_t at = log[i].find(mark);
            if (at == std::wstring::npos)
                continue;
            std::wstring text = log[i].substr(at + mark.size());
            if (!text.empty() && text[text.size() - 1] == L'"')
                text.erase(text.size() - 1);
            size_t esc = text.rfind(L"\\x1b");
            return esc == std::wstring::npos ? text : text.substr(esc + 4);
        }
        return L"";
    }

    void StartShell()
    {
        StartPublisher();
        publishing = true;
    }

    // Waits until the display holds code on the screen that code gives, and
    // the rotation service's call for it is in the call log.
    bool WaitDisplay(DWORD code)
    {
        int width = code % 2 ? 640 : 480, height = code % 2 ? 480 : 640;
        return WaitUntil([&] {
            std::vector<int> calls = RotationCalls();
            return Rotation() == code && ScreenIs(width, height) && !calls.empty() &&
                   calls.back() == (int)code;
        });
    }

    // Waits until the account has more than lines lines; the last one then.
    std::string WaitAccount(size_t lines)
    {
        std::vector<std::string> account;
        EXPECT_TRUE(WaitUntil([&] { return (account = Account()).size() > lines; }))
            << "no new line in the account";
        return account.size() > lines ? account.back() : "";
    }

    // The account's lines.
    std::vector<std::string> Account() const
    {
        std::vector<std::string> lines;
        std::string bytes = ReadBytes(Path(L"vorn.log"));
        size_t at = 0, end;
        while ((end = bytes.find("\r\n", at)) != std::string::npos) {
            lines.push_back(bytes.substr(at, end - at));
            at = end + 2;
        }
        return lines;
    }

    int AccountLines(const std::string &text) const
    {
        int n = 0;
        for (const std::string &line : Account())
            if (line.find(text) != std::string::npos)
                ++n;
        return n;
    }

    // A sensor event posted behind everything in the monitor's queue; once
    // its line is in the account, every front change before it is handled.
    void Settle(DWORD value)
    {
        int lines = (int)Account().size() - AccountLines("front change");
        PostMessageW(FindMonitor(), WMU_SENSOR_EVENT, value, 0);
        ASSERT_TRUE(WaitUntil([&] {
            return (int)Account().size() - AccountLines("front change") > lines;
        })) << "the monitor did not get to the sensor event";
    }

    bool publishing = false;
};
