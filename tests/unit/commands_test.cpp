// The verbs' message boxes and results, in-process. The boxes go through the
// message-box seam (g_messageBox), so their flags can be checked: Wine shows
// no sign of MB_TOPMOST on a box.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "app/commands.h"
#include "common/globals.h"
#include "common/message.h"
#include "support/phone.h"

namespace {

struct Box {
    std::wstring text, caption;
    UINT flags;
    HWND owner;
};
std::vector<Box> g_boxes;
int g_answer;

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags)
{
    g_boxes.push_back({text, caption, flags, owner});
    return g_answer;
}

int g_unloads;
LRESULT CALLBACK InstanceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WMU_UNLOAD) {
        ++g_unloads;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

const wchar_t kCaption[] = L"Vorn G-Sensor Rotation - by the Vorn team";
const wchar_t kAboutOn[] =
    L"Ver.1.2\nStatus ON\n\nContact: vorn-team@example.org\nWeb: https://vorn.example.org";
const wchar_t kAboutOff[] =
    L"Ver.1.2\nStatus OFF\n\nContact: vorn-team@example.org\nWeb: https://vorn.example.org";
const wchar_t kPrompt[] = L"Ver.1.2\nStatus ON.\nUnload program?";

struct Case {
    const wchar_t *commandLine;
    bool instance;
    int answer;
    int result;
    const wchar_t *boxText;  // nullptr: no box
    UINT flags;
    int unloads;
};

const Case kCases[] = {
    {L"#about", true, IDOK, 1, kAboutOn, MB_TOPMOST, 0},
    {L"#about", false, IDOK, 1, kAboutOff, MB_TOPMOST, 0},
    {L"", true, IDYES, 1, kPrompt, MB_TOPMOST | MB_YESNO, 1},
    {L"", true, IDNO, 1, kPrompt, MB_TOPMOST | MB_YESNO, 0},
    {L"", false, IDOK, 0, nullptr, 0, 0},
    {nullptr, false, IDOK, 0, nullptr, 0, 0},
    {nullptr, true, IDNO, 1, kPrompt, MB_TOPMOST | MB_YESNO, 0},
    {L"#load", false, IDOK, 0, nullptr, 0, 0},
    {L"#load", true, IDOK, 1, nullptr, 0, 0},
    {L"#toggle", false, IDOK, 0, nullptr, 0, 0},
    {L"#toggle", true, IDOK, 1, nullptr, 0, 1},
    {L"#unload", false, IDOK, 1, nullptr, 0, 0},
    {L"#unload", true, IDOK, 1, nullptr, 0, 1},
    {L"#register", true, IDOK, 1, nullptr, 0, 0},
};

class HandleCommandLineTest : public ::testing::TestWithParam<Case> {
protected:
    HWND instance = NULL;

    void SetUp() override
    {
        g_boxes.clear();
        g_unloads = 0;
        g_answer = GetParam().answer;
        g_messageBox = RecordBox;
        if (GetParam().instance) {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = InstanceProc;
            wc.hInstance = GetModuleHandleW(NULL);
            wc.lpszClassName = MONITOR_CLASS;
            RegisterClassW(&wc);
            instance = CreateWindowExW(0, MONITOR_CLASS, L"", 0, 0, 0, 0, 0, NULL, NULL,
                                       GetModuleHandleW(NULL), NULL);
            ASSERT_NE(nullptr, instance);
            // Another test of this process may have registered the class
            // with a procedure of its own.
            SetWindowLongPtrW(instance, GWLP_WNDPROC, (LONG_PTR)InstanceProc);
        }
    }
    void TearDown() override
    {
        g_messageBox = MessageBoxW;
        if (instance)
            DestroyWindow(instance);
    }
};

TEST_P(HandleCommandLineTest, ResultBoxAndUnload)
{
    const Case &c = GetParam();
    EXPECT_EQ(c.result, HandleCommandLine(c.commandLine));
    EXPECT_EQ(instance, g_vorn.runningInstance);
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    EXPECT_EQ(c.unloads, g_unloads);
    if (!c.boxText) {
        EXPECT_TRUE(g_boxes.empty());
        return;
    }
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(c.boxText, g_boxes[0].text);
    EXPECT_EQ(kCaption, g_boxes[0].caption);
    EXPECT_EQ(c.flags, g_boxes[0].flags);
    EXPECT_EQ(nullptr, g_boxes[0].owner);
}

INSTANTIATE_TEST_SUITE_P(Verbs, HandleCommandLineTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) {
                             const Case &c = info.param;
                             std::string name = VerbCaseName(c.commandLine, c.instance);
                             if (c.answer == IDYES)
                                 name += "_answer_yes";
                             else if (c.answer == IDNO)
                                 name += "_answer_no";
                             return name;
                         });

}  // namespace
