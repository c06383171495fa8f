#include "editor_session.h"

void EditorTest::OpenEditor(const std::wstring &exe)
{
    editor = Start(L"#CONFIG", exe);
    HWND found = NULL;
    ASSERT_TRUE(WaitUntil([&] {
        found = FindProcessWindow(editor.dwProcessId, L"QZSGCFGEDIT", true);
        return found && GetDlgItem(found, 7);
    })) << "no editor window with its edit";
    window = found;
    edit = GetDlgItem(window, 7);
    // The edit exists before the window is shown and put on top: a test
    // that stacks other windows must not race with that.
    Sync();
}

void EditorTest::SetEditText(const std::wstring &text) const
{
    ASSERT_TRUE(SendMessageTimeoutW(edit, WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_ABORTIFHUNG,
                                    5000, NULL));
}

void EditorTest::Select(int start, int end) const
{
    ASSERT_TRUE(SendMessageTimeoutW(edit, EM_SETSEL, start, end, SMTO_ABORTIFHUNG, 5000, NULL));
}

DWORD EditorTest::Selection() const
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(edit, EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    return (DWORD)result;
}

void EditorTest::Command(int id) const
{
    ASSERT_TRUE(SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0, SMTO_ABORTIFHUNG,
                                    10000, NULL))
        << "command " << id << " was not handled";
}

void EditorTest::PostCommand(int id) const
{
    ASSERT_TRUE(PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0));
}

void EditorTest::Sync() const
{
    ASSERT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, NULL));
}

void EditorTest::ExitEditor()
{
    PostCommand(IDM_EXIT);
    ASSERT_TRUE(WaitExit(editor)) << "the editor did not end";
    EXPECT_EQ(0u, ExitCode(editor));
}

std::wstring ClipboardText()
{
    std::wstring text;
    // Another process may hold the clipboard open for a moment.
    if (!WaitUntil([] { return OpenClipboard(NULL) != FALSE; }, 5000))
        return L"(clipboard busy)";
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (data) {
        const wchar_t *p = (const wchar_t *)GlobalLock(data);
        if (p)
            text = p;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

// The clipboard needs an owner window for the data to be set.
static HWND ClipboardOwner()
{
    static HWND owner = CreateWindowExW(0, L"STATIC", L"clipboard owner", 0, 0, 0, 0, 0, NULL,
                                        NULL, GetModuleHandleW(NULL), NULL);
    return owner;
}

void SetClipboardText(const std::wstring &text)
{
    HWND owner = ClipboardOwner();
    ASSERT_TRUE(WaitUntil([&] { return OpenClipboard(owner) != FALSE; }, 5000));
    EmptyClipboard();
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    memcpy(GlobalLock(data), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(data);
    SetClipboardData(CF_UNICODETEXT, data);
    CloseClipboard();
}

std::vector<std::wstring> EditorTest::SaveLeftovers() const
{
    std::vector<std::wstring> names;
    for (const wchar_t *pattern : {L"~vorn*.tmp", L"*.new"}) {
        WIN32_FIND_DATAW found;
        HANDLE walk = FindFirstFileW(Path(pattern).c_str(), &found);
        if (walk == INVALID_HANDLE_VALUE)
            continue;
        do {
            names.push_back(found.cFileName);
        } while (FindNextFileW(walk, &found));
        FindClose(walk);
    }
    return names;
}
