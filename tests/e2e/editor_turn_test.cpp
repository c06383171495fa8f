// The phone turns under the open editor: the shell fits the editor's window
// to the new screen (it was sized to the whole screen), and the editor lays
// its edit out on the new client area, text and caret untouched.
#include "editor_session.h"

namespace {

struct TurnStep {
    DWORD sensor;
    DWORD code;
    int width, height;
};

// Where the window and its visible edit stand now, against the screen
// width x height: the window covers it, the edit its client area but for a
// one-pixel frame.
bool LaidOutFor(HWND window, HWND edit, int width, int height)
{
    RECT outer, client, inner;
    if (!GetWindowRect(window, &outer) || !GetClientRect(window, &client) ||
        !GetWindowRect(edit, &inner))
        return false;
    MapWindowPoints(NULL, window, (POINT *)&inner, 2);
    RECT screen = {0, 0, width, height};
    RECT placed = {client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
    return EqualRect(&outer, &screen) && EqualRect(&inner, &placed);
}

TEST_F(EditorTest, FollowsTheDisplayThroughATurnAndBack)
{
    ASSERT_TRUE(WriteBytes(ConfigPath(), "#timeout(50)\r\n"));
    OpenEditor();
    const std::wstring text = L"#window(Inbox)\r\n#timeout(50)\r\n";
    SetEditText(text);
    Select(9, 9);
    StartMonitor();

    const TurnStep steps[] = {{0x10000, 1, 640, 480}, {0x10002, 0, 480, 640}};
    int told = 0;
    for (const TurnStep &step : steps) {
        SCOPED_TRACE(step.code);
        SetSensor(step.sensor);
        EXPECT_TRUE(WaitUntil([&] {
            return Rotation() == step.code && ScreenIs(step.width, step.height) &&
                   LaidOutFor(window, edit, step.width, step.height);
        })) << "the editor does not cover the " << step.width << "x" << step.height
            << " screen";
        EXPECT_TRUE(WaitLog(L"aygshell SHHandleWMSettingChange wparam=12290", ++told));
        EXPECT_EQ(text, EditText());
        EXPECT_EQ((DWORD)MAKELONG(9, 9), Selection());
    }
    ExitEditor();
}

}  // namespace
