// The configuration editor of another process, driven from the test: its
// window of class "QZSGCFGEDIT", its edit (id 7), menu commands sent as
// WM_COMMAND.
#pragma once
#include "support/phone.h"
#include "res/resource.h"

// The default configuration text, as the editor shows it and as Save
// writes it: eight lines, each ending in CR LF.
#define DEFAULT_CONFIG_TEXT                                                                \
    "#window(Manila)\r\n#window(TEETER)\r\n#window(opera)\r\n#window(htcalbum)\r\n"         \
    "#window(cprog.exe)\r\n#timeout(1000)\r\n#onlyfor(0)\r\n#fdscreenoff(0)\r\n"
#define WIDEN2(text) L##text
#define WIDEN(text) WIDEN2(text)

class EditorTest : public PhoneTest {
protected:
    PROCESS_INFORMATION editor = {};
    HWND window = NULL;
    HWND edit = NULL;

    // Starts "<exe> #CONFIG" and waits until the editor, shown with its
    // edit, reads its messages.
    void OpenEditor(const std::wstring &exe = L"vorn.exe");

    std::wstring EditText() const { return WindowText(edit); }
    void SetEditText(const std::wstring &text) const;
    void Select(int start, int end) const;
    DWORD Selection() const;  // MAKELONG(start, end)

    // Sends a command and returns once the editor has handled it.
    void Command(int id) const;
    // Posts a command whose handling waits for the user (a box, a menu).
    void PostCommand(int id) const;
    // Waits until the editor has handled everything sent before.
    void Sync() const;

    // Exit; the process must then end by itself with exit code 0.
    void ExitEditor();

    // Files that a Save left in the program folder: its temporary files
    // ("~vorn*.tmp") and any "*.new".
    std::vector<std::wstring> SaveLeftovers() const;
};

// The clipboard as text ("" when it holds none); replacing it.
std::wstring ClipboardText();
void SetClipboardText(const std::wstring &text);
