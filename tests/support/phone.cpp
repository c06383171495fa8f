#include "phone.h"
#include <ctype.h>
#include <malloc.h>
#include <tlhelp32.h>

bool WaitUntil(const std::function<bool()> &done, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start >= ms)
            return done();
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        // Wakes early for our own messages; otherwise looks again shortly.
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

static std::wstring ModuleDir()
{
    WCHAR path[MAX_PATH];
    GetModuleFileNameW(NULL, path, MAX_PATH);
    std::wstring s(path);
    return s.substr(0, s.find_last_of(L'\\'));
}

std::wstring BuildDir()
{
    std::wstring tests = ModuleDir();
    return tests.substr(0, tests.find_last_of(L'\\'));
}

std::wstring BinDir() { return BuildDir() + L"\\bin"; }

std::string ReadBytes(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                              FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string bytes;
    char chunk[4096];
    DWORD got;
    while (ReadFile(file, chunk, sizeof(chunk), &got, NULL) && got)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool WriteBytes(const std::wstring &path, const std::string &bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool FileExists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Narrow(const std::wstring &text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? (char)c : '?';
    return out;
}

std::string CaseName(const std::string &text)
{
    std::string name;
    bool gap = false;
    for (char c : text) {
        if (isalnum((unsigned char)c)) {
            if (gap && !name.empty())
                name += '_';
            name += c;
            gap = false;
        } else {
            gap = true;
        }
    }
    return name;
}

std::string VerbCaseName(const wchar_t *commandLine, bool instance)
{
    std::string name = !commandLine    ? "no_command_line"
                       : !*commandLine ? "empty_command_line"
                                       : CaseName(Narrow(commandLine));
    return name + (instance ? "_with_instance" : "_without_instance");
}

int CountOccurrences(const std::string &bytes, const std::string &text)
{
    int n = 0;
    for (size_t at = bytes.find(text); at != std::string::npos; at = bytes.find(text, at + 1))
        ++n;
    return n;
}

HWND CreateFakeMonitor(WNDPROC proc)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.lpszClassName = L"QZGSENSOR_CLASS";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, L"QZGSENSOR_CLASS", L"", 0, 0, 0, 0, 0, NULL, NULL,
                                  GetModuleHandleW(NULL), NULL);
    if (window)
        SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)proc);
    return window;
}

std::wstring WindowText(HWND window)
{
    WCHAR text[4096];
    text[0] = 0;
    // WM_GETTEXT reaches into other processes where GetWindowText does not.
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, NULL);
    return text;
}

std::wstring ClassOf(HWND window)
{
    WCHAR name[256];
    name[0] = 0;
    GetClassNameW(window, name, 256);
    return name;
}

namespace {
struct WindowSearch {
    DWORD pid;
    const wchar_t *className;
    bool visibleOnly;
    HWND found;
};
BOOL CALLBACK FindProcessWindowProc(HWND window, LPARAM param)
{
    WindowSearch *search = (WindowSearch *)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && (!search->visibleOnly || IsWindowVisible(window)) &&
        ClassOf(window) == search->className) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND FindProcessWindow(DWORD processId, const wchar_t *className, bool visibleOnly)
{
    WindowSearch search = {processId, className, visibleOnly, NULL};
    EnumWindows(FindProcessWindowProc, (LPARAM)&search);
    return search.found;
}

HWND FindMessageBox(DWORD processId)
{
    return FindProcessWindow(processId, L"#32770", true);
}

int HeapBlocksInUse()
{
    _HEAPINFO info;
    info._pentry = NULL;
    int used = 0, status;
    while ((status = _heapwalk(&info)) == _HEAPOK) {
        if (info._useflag == _USEDENTRY)
            used++;
    }
    return status == _HEAPEND ? used : -1;
}

MessageBoxInfo ReadMessageBox(HWND box)
{
    MessageBoxInfo info;
    info.box = box;
    info.caption = WindowText(box);
    HWND text = GetDlgItem(box, 0xFFFF);
    info.text = text ? WindowText(text) : L"";
    info.topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    info.hasYes = GetDlgItem(box, IDYES) != NULL;
    info.hasNo = GetDlgItem(box, IDNO) != NULL;
    info.hasOk = GetDlgItem(box, IDOK) != NULL;
    return info;
}

void AnswerMessageBox(HWND box, int id)
{
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box, id));
}

namespace {
BOOL CALLBACK FindMonitorProc(HWND window, LPARAM param)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() && ClassOf(window) == L"QZGSENSOR_CLASS") {
        *(HWND *)param = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND FindMonitor()
{
    HWND found = NULL;
    EnumWindows(FindMonitorProc, (LPARAM)&found);
    return found;
}

static void KillMonitors()
{
    HWND monitor;
    while ((monitor = FindMonitor()) != NULL) {
        DWORD pid = 0;
        GetWindowThreadProcessId(monitor, &pid);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!process)
            break;
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
        WaitUntil([] { return FindMonitor() == NULL; }, 2000);
    }
}

bool ScreenIs(int width, int height)
{
    return GetSystemMetrics(SM_CXSCREEN) == width && GetSystemMetrics(SM_CYSCREEN) == height;
}

bool ResetScreen()
{
    if (ScreenIs(480, 640))
        return true;
    DEVMODEW mode;
    ZeroMemory(&mode, sizeof(mode));
    mode.dmSize = sizeof(mode);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = 480;
    mode.dmPelsHeight = 640;
    return ChangeDisplaySettingsExW(NULL, &mode, NULL, 0, NULL) == DISP_CHANGE_SUCCESSFUL &&
           ScreenIs(480, 640);
}

void PhoneTest::SetUp()
{
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char &c : name)
        if (c == '/')
            c = '_';
    std::wstring runs = BuildDir() + L"\\testruns";
    CreateDirectoryW(runs.c_str(), NULL);
    dir = runs + L"\\" + std::wstring(name.begin(), name.end());
    // Start from an empty folder every time.
    std::wstring pattern = dir + L"\\*";
    WIN32_FIND_DATAW found;
    HANDLE walk = FindFirstFileW(pattern.c_str(), &found);
    if (walk != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((dir + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(walk, &found));
        FindClose(walk);
    }
    CreateDirectoryW(dir.c_str(), NULL);
    // The phone's program folder: every program file of the build.
    walk = FindFirstFileW((BinDir() + L"\\*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, walk);
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        std::wstring from = BinDir() + L"\\" + found.cFileName;
        ASSERT_TRUE(CopyFileW(from.c_str(), Path(found.cFileName).c_str(), FALSE))
            << Narrow(from);
    } while (FindNextFileW(walk, &found));
    FindClose(walk);

    // The phone has no mouse. The pointer rests in the status bar's corner,
    // above the apps' windows: under Wine a window raised under the pointer
    // does not always stay above the active one.
    SetCursorPos(0, 0);
    logPath = Path(L"calls.log");
    SetEnvironmentVariableW(L"PHONE_CALL_LOG", logPath.c_str());
    KillMonitors();
    ClearSensor();
    // The phone starts upright, its display in portrait with code 0, whatever
    // an earlier test left.
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, DISPLAY_KEY);
    // No app in front published yet.
    HKEY shell;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SHELL_KEY, 0, KEY_SET_VALUE, &shell) == ERROR_SUCCESS) {
        RegDeleteValueW(shell, FRONT_VALUE);
        RegCloseKey(shell);
    }
    // No call in progress, the keyboard in.
    SetMoment(HKEY_LOCAL_MACHINE, PHONE_KEY, PHONE_STATUS_VALUE, 0);
    SetMoment(HKEY_CURRENT_USER, KEYBOARD_KEY, KEYBOARD_VALUE, 0);
    ASSERT_TRUE(ResetScreen()) << "the screen cannot be set to 480x640";
}

void PhoneTest::TearDown()
{
    for (PROCESS_INFORMATION &p : started) {
        if (WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(p.hProcess, 1);
            WaitForSingleObject(p.hProcess, 5000);
        }
        CloseHandle(p.hProcess);
        CloseHandle(p.hThread);
    }
    started.clear();
    KillMonitors();
}

PROCESS_INFORMATION PhoneTest::Start(const std::wstring &args, const std::wstring &exe)
{
    std::wstring command = L"\"" + Path(exe) + L"\"";
    if (!args.empty())
        command += L" " + args;
    std::vector<WCHAR> line(command.begin(), command.end());
    line.push_back(0);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof(pi));
    // Now and then Wine fails to bring up a new process at all and answers
    // ERROR_INTERNAL_ERROR before any of the program has run: that start is
    // tried again, within a bound. Any other error is the test's to see.
    BOOL ok = FALSE;
    DWORD error = 0;
    WaitUntil([&] {
        ok = CreateProcessW(Path(exe).c_str(), line.data(), NULL, NULL, FALSE, 0, NULL,
                            dir.c_str(), &si, &pi);
        error = ok ? 0 : GetLastError();
        return ok || error != ERROR_INTERNAL_ERROR;
    }, 5000);
    EXPECT_TRUE(ok) << "cannot start " << Narrow(command) << ", error " << error;
    if (ok)
        started.push_back(pi);
    return pi;
}

bool PhoneTest::WaitExit(const PROCESS_INFORMATION &process, DWORD ms)
{
    return WaitUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; },
                     ms);
}

DWORD PhoneTest::ExitCode(const PROCESS_INFORMATION &process)
{
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

MessageBoxInfo PhoneTest::WaitMessageBox(const PROCESS_INFORMATION &process, DWORD ms)
{
    HWND box = NULL;
    WaitUntil([&] { return (box = FindMessageBox(process.dwProcessId)) != NULL; }, ms);
    if (!box) {
        MessageBoxInfo none = {};
        return none;
    }
    // The text is set while the box is built; wait until it is there.
    WaitUntil([&] { return GetDlgItem(box, 0xFFFF) != NULL; }, 2000);
    return ReadMessageBox(box);
}

HWND PhoneTest::WaitMonitor(DWORD ms)
{
    HWND window = NULL;
    WaitUntil([&] { return (window = FindMonitor()) != NULL; }, ms);
    return window;
}

bool PhoneTest::WaitNoMonitor(DWORD ms)
{
    return WaitUntil([] { return FindMonitor() == NULL; }, ms);
}

PROCESS_INFORMATION PhoneTest::StartMonitor()
{
    int armed = CountLog(L"RegistryNotifyWindow armed");
    PROCESS_INFORMATION p = Start(L"#load");
    EXPECT_NE(nullptr, WaitMonitor());
    // The sensor's registration, the front change's and the two moments':
    // returning at the first would let a write race the others.
    EXPECT_TRUE(WaitLog(L"RegistryNotifyWindow armed", armed + MONITOR_REGISTRATIONS));
    return p;
}

HWND PhoneTest::OpenApp(const std::wstring &title, const std::wstring &className,
                        const std::wstring &exe)
{
    if (exe != L"appwin.exe") {
        EXPECT_TRUE(CopyFileW(Path(L"appwin.exe").c_str(), Path(exe).c_str(), FALSE));
    }
    Start(L"\"" + title + L"\" \"" + className + L"\"", exe);
    HWND window = NULL;
    EXPECT_TRUE(WaitUntil([&] {
        window = FindWindowW(className.c_str(), title.c_str());
        return window && GetForegroundWindow() == window;
    })) << "the app window did not come to the foreground";
    return window;
}

PROCESS_INFORMATION PhoneTest::StartPublisher()
{
    PROCESS_INFORMATION p = Start(L"", L"shellfront.exe");
    EXPECT_TRUE(WaitLog(L"shellfront ready")) << "the publisher did not start";
    return p;
}

std::wstring PhoneTest::FrontApp() const
{
    WCHAR text[512];
    DWORD size = sizeof(text) - sizeof(WCHAR), type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SHELL_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return L"";
    LONG rc = RegQueryValueExW(key, FRONT_VALUE, NULL, &type, (BYTE *)text, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return L"";
    text[size / sizeof(WCHAR)] = 0;
    return text;
}

int PhoneTest::Publications() const
{
    return CountLog(L"shellfront front ");
}

std::vector<std::wstring> PhoneTest::CallLog() const
{
    std::string bytes = ReadBytes(logPath);
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        int n = MultiByteToWideChar(CP_UTF8, 0, line.data(), (int)line.size(), NULL, 0);
        std::wstring wide(n, L'\0');
        MultiByteToWideChar(CP_UTF8, 0, line.data(), (int)line.size(), &wide[0], n);
        lines.push_back(wide);
        start = end + 1;
    }
    return lines;
}

int PhoneTest::CountLog(const std::wstring &text) const
{
    int n = 0;
    for (const std::wstring &line : CallLog())
        if (line.find(text) != std::wstring::npos)
            ++n;
    return n;
}

bool PhoneTest::WaitLog(const std::wstring &text, int count, DWORD ms)
{
    return WaitUntil([&] { return CountLog(text) >= count; }, ms);
}

void PhoneTest::SetSensor(DWORD value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, SENSOR_KEY, 0, NULL, 0,
                                             KEY_SET_VALUE, NULL, &key, NULL));
    RegSetValueExW(key, SENSOR_VALUE, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
    RegCloseKey(key);
}

bool SetMoment(HKEY root, const wchar_t *path, const wchar_t *name, DWORD value)
{
    HKEY key;
    if (RegCreateKeyExW(root, path, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void PhoneTest::ClearSensor()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SENSOR_KEY, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, SENSOR_VALUE);
        RegCloseKey(key);
    }
}

DWORD PhoneTest::Rotation() const
{
    DWORD value = 0, size = sizeof(value);
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, DISPLAY_KEY, 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        RegQueryValueExW(key, L"Rotation", NULL, NULL, (BYTE *)&value, &size);
        RegCloseKey(key);
    }
    return value;
}

static HANDLE InheritableFile(const std::wstring &path)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                              CREATE_ALWAYS, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, file) << "error " << GetLastError();
    return file;
}

ToolRun RunToEnd(const std::wstring &exe, const std::wstring &args, const std::wstring &folder,
                 const std::wstring &outPath, const std::wstring &errPath)
{
    ToolRun run = {0xFFFFFFFF, "", ""};
    HANDLE out = InheritableFile(outPath);
    HANDLE err = errPath.empty() ? out : InheritableFile(errPath);
    std::wstring command = L"\"" + exe + L"\" " + args;
    std::vector<WCHAR> line(command.begin(), command.end());
    line.push_back(0);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = NULL;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi;
    BOOL ok = CreateProcessW(exe.c_str(), line.data(), NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL,
                             folder.c_str(), &si, &pi);
    CloseHandle(out);
    if (err != out)
        CloseHandle(err);
    EXPECT_TRUE(ok) << "cannot start " << Narrow(command);
    if (!ok)
        return run;
    if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << Narrow(command) << " did not end";
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    run.output = ReadBytes(outPath);
    if (!errPath.empty())
        run.errors = ReadBytes(errPath);
    return run;
}
