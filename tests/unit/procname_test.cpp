// Executable name of a window's process: real windows of this and other
// programs, the cut to the caller's buffer, and that every call gives back
// all it took (records, the record array, the snapshot). The snapshot's own
// tests turn the direct way off (g_procImagePath); the two ways are then
// held against each other.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "common/procname.h"
#include "support/phone.h"

// Leak counters, defined with the registry tests.
int CountOwnHandles();

namespace {

// The copies of the stand-in app run from a folder of their own.
std::wstring RunDir()
{
    std::wstring runs = BuildDir() + L"\\testruns";
    CreateDirectoryW(runs.c_str(), NULL);
    std::wstring dir = runs + L"\\ProcessName";
    CreateDirectoryW(dir.c_str(), NULL);
    return dir;
}

// Another program: a copy of appwin.exe under the given file name, with one
// window of the given class.
class OtherProgram {
public:
    OtherProgram(const std::wstring &fileName, const std::wstring &className)
        : path(RunDir() + L"\\" + fileName), className(className)
    {
        ZeroMemory(&process, sizeof(process));
        std::wstring source = BinDir() + L"\\appwin.exe";
        if (!CopyFileW(source.c_str(), path.c_str(), FALSE))
            return;
        std::wstring command = L"\"" + path + L"\" \"Other program\" \"" + className + L"\"";
        std::vector<WCHAR> line(command.begin(), command.end());
        line.push_back(0);
        STARTUPINFOW si;
        ZeroMemory(&si, sizeof(si));
        si.cb = sizeof(si);
        if (!CreateProcessW(path.c_str(), line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si,
                            &process))
            return;
        WaitUntil([&] { return (window = FindWindowW(className.c_str(), NULL)) != NULL; });
    }
    ~OtherProgram()
    {
        if (process.hProcess) {
            if (window)
                PostMessageW(window, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0) {
                TerminateProcess(process.hProcess, 1);
                WaitForSingleObject(process.hProcess, 5000);
            }
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        DeleteFileW(path.c_str());
    }

    std::wstring path;
    std::wstring className;
    PROCESS_INFORMATION process;
    HWND window = NULL;
};

// Puts the test seams back whatever a test did with them. Every lookup
// walks a snapshot here: the direct way is off.
class ProcessName : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedSnapshot = g_procSnapshot;
        savedAlloc = g_procRecordAlloc;
        savedImagePath = g_procImagePath;
        g_procImagePath = NULL;
    }
    void TearDown() override
    {
        g_procSnapshot = savedSnapshot;
        g_procRecordAlloc = savedAlloc;
        g_procImagePath = savedImagePath;
    }

    HANDLE(WINAPI *savedSnapshot)(DWORD, DWORD);
    void *(*savedAlloc)(size_t);
    int (*savedImagePath)(DWORD, LPWSTR, DWORD);
};

HWND OwnWindow()
{
    return CreateWindowExW(0, L"STATIC", L"own window", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                           GetModuleHandleW(NULL), NULL);
}

TEST_F(ProcessName, WindowOfThisProgram)
{
    HWND window = OwnWindow();
    ASSERT_NE(nullptr, window);
    int heap = HeapBlocksInUse(), handles = CountOwnHandles();
    WCHAR name[128];
    EXPECT_EQ(name, GetWindowProcessName(window, name, 128));
    EXPECT_STREQ(L"vorn_unit.exe", name);
    EXPECT_EQ(heap, HeapBlocksInUse()) << "records or array left allocated";
    EXPECT_EQ(handles, CountOwnHandles()) << "snapshot left open";

    // A window that has gone since matches no process.
    DestroyWindow(window);
    EXPECT_STREQ(L"", GetWindowProcessName(window, name, 128));
    EXPECT_EQ(heap, HeapBlocksInUse());
}

TEST_F(ProcessName, NullWindowGivesEmptyString)
{
    int heap = HeapBlocksInUse(), handles = CountOwnHandles();
    WCHAR name[72] = L"stale";
    EXPECT_EQ(name, GetWindowProcessName(NULL, name, 72));
    EXPECT_STREQ(L"", name);
    EXPECT_EQ(heap, HeapBlocksInUse());
    EXPECT_EQ(handles, CountOwnHandles());
}

struct NameCase {
    int program;  // index into the programs started below
    int capacity;
    const wchar_t *expected;
};

// 96 characters and ".exe": longer than the pickers' 72-character buffer.
const wchar_t kLongName[] =
    L"a-program-with-a-very-long-file-name-that-does-not-fit-the-window-pickers-buffer-at-all-"
    L"00000000.exe";

TEST_F(ProcessName, RunningProgramsByFileName)
{
    ASSERT_EQ(100u, wcslen(kLongName));
    const std::wstring longName = kLongName;
    const NameCase cases[] = {
        {0, 128, L"cprog.exe"},
        {0, 10, L"cprog.exe"},  // exactly the name and its terminator
        {0, 9, L"cprog.ex"},
        {0, 1, L""},
        {1, 128, kLongName},
        {1, 72, nullptr},       // the first 71 characters
    };
    OtherProgram programs[] = {
        OtherProgram(L"cprog.exe", L"VornUnitShortName"),
        OtherProgram(longName, L"VornUnitLongName"),
    };
    for (const OtherProgram &program : programs)
        ASSERT_NE(nullptr, program.window) << "cannot start " << Narrow(program.path);

    for (const NameCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "program " << c.program << " capacity "
                                        << c.capacity);
        std::wstring expected = c.expected ? c.expected : longName.substr(0, 71);
        std::vector<WCHAR> name(c.capacity + 1, L'#');  // one guard past the capacity
        int heap = HeapBlocksInUse();
        GetWindowProcessName(programs[c.program].window, name.data(), c.capacity);
        EXPECT_EQ(expected, std::wstring(name.data()));
        EXPECT_EQ(L'#', name[c.capacity]) << "written past the capacity";
        EXPECT_EQ(heap, HeapBlocksInUse());
    }
}

DWORD g_seenFlags, g_seenProcessId;
HANDLE WINAPI FailingSnapshot(DWORD flags, DWORD processId)
{
    g_seenFlags = flags;
    g_seenProcessId = processId;
    return INVALID_HANDLE_VALUE;
}

// Seam: g_procSnapshot. A snapshot cannot be made to fail for real.
TEST_F(ProcessName, FailedSnapshotGivesEmptyStringAndKeepsNothing)
{
    g_procSnapshot = FailingSnapshot;
    g_seenFlags = g_seenProcessId = 0xFFFFFFFF;
    HWND window = OwnWindow();
    ASSERT_NE(nullptr, window);
    int heap = HeapBlocksInUse();
    WCHAR name[128] = L"stale";
    GetWindowProcessName(window, name, 128);
    EXPECT_STREQ(L"", name);
    EXPECT_EQ(heap, HeapBlocksInUse());
    // All processes, without their heap lists.
    EXPECT_EQ(0x40000002u, g_seenFlags);
    EXPECT_EQ(0u, g_seenProcessId);

    CProcList list;
    EXPECT_EQ(-1, list.Snapshot());
    EXPECT_EQ(0u, list.count);
    EXPECT_EQ(nullptr, list.entries);
    DestroyWindow(window);
}

int g_allocCalls;
void *EverySecondRecord(size_t size)
{
    return (g_allocCalls++ % 2) ? NULL : malloc(size);
}
void *NoRecords(size_t) { return NULL; }

// Seam: g_procRecordAlloc. The heap does not run out on demand.
TEST_F(ProcessName, RecordsThatCannotBeAllocatedAreLeftOut)
{
    int heap = HeapBlocksInUse();
    {
        g_procRecordAlloc = EverySecondRecord;
        g_allocCalls = 0;
        CProcList list;
        int count = list.Snapshot();
        // The walk went on past each failure.
        EXPECT_GE(g_allocCalls, 4);
        EXPECT_EQ((g_allocCalls + 1) / 2, count);
        for (UINT i = 0; i < list.count; i++)
            EXPECT_NE(0, list.entries[i]);
    }
    EXPECT_EQ(heap, HeapBlocksInUse());

    g_procRecordAlloc = NoRecords;
    HWND window = OwnWindow();
    WCHAR name[128] = L"stale";
    GetWindowProcessName(window, name, 128);
    EXPECT_STREQ(L"", name);
    EXPECT_EQ(heap, HeapBlocksInUse());
    DestroyWindow(window);
}

TEST_F(ProcessName, ListOwnsItsRecords)
{
    int heap = HeapBlocksInUse(), handles = CountOwnHandles();
    {
        CProcList list;
        EXPECT_EQ(nullptr, list.FindExeName(GetCurrentProcessId()));  // empty list
        int count = list.Snapshot();
        ASSERT_GT(count, 1);
        EXPECT_EQ((UINT)count, list.count);
        EXPECT_EQ(handles, CountOwnHandles()) << "snapshot left open";
        EXPECT_EQ(heap + count + 1, HeapBlocksInUse()) << "one block per record and the array";
        ASSERT_NE(nullptr, list.FindExeName(GetCurrentProcessId()));
        EXPECT_STREQ(L"vorn_unit.exe", list.FindExeName(GetCurrentProcessId()));
        EXPECT_EQ(nullptr, list.FindExeName(3));  // process ids are multiples of 4

        list.FreeAll();
        EXPECT_EQ(0u, list.count);
        EXPECT_EQ(0u, list.capacity);
        EXPECT_EQ(nullptr, list.entries);
        EXPECT_EQ(heap, HeapBlocksInUse());

        EXPECT_GT(list.Snapshot(), 1);  // refilled, then freed by its destruction
    }
    EXPECT_EQ(heap, HeapBlocksInUse());
}

// --- The direct way against the snapshot -------------------------------------

int g_snapshots;
HANDLE WINAPI CountingSnapshot(DWORD flags, DWORD processId)
{
    ++g_snapshots;
    return CreateToolhelp32Snapshot(flags, processId);
}

int g_directCalls;
int CountingImagePath(DWORD processId, LPWSTR buffer, DWORD capacity)
{
    ++g_directCalls;
    return QueryProcessImagePath(processId, buffer, capacity);
}

int NoImagePath(DWORD, LPWSTR buffer, DWORD capacity)
{
    ++g_directCalls;
    if (capacity)
        buffer[0] = 0;
    return 0;
}

class ProcessNameWays : public ProcessName {
protected:
    void SetUp() override
    {
        ProcessName::SetUp();
        g_procSnapshot = CountingSnapshot;
        g_snapshots = g_directCalls = 0;
    }

    // The name by one way: the direct way first, or the snapshot alone.
    std::wstring NameOf(bool direct, DWORD processId, int capacity)
    {
        g_procImagePath = direct ? CountingImagePath : NULL;
        std::vector<WCHAR> name(capacity + 1, L'#');
        EXPECT_EQ(name.data(), GetProcessFileName(processId, name.data(), capacity));
        EXPECT_EQ(L'#', name[capacity]) << "written past the capacity";
        return name.data();
    }
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM list)
{
    ((std::vector<HWND> *)list)->push_back(window);
    return TRUE;
}

// Every window of the running phone, the stand-in apps and a program with a
// long name among them: the direct way gives the snapshot's name, at the
// monitor's and the pickers' capacities, and walks no process to get it.
TEST_F(ProcessNameWays, SameNameAsTheSnapshotForEveryWindow)
{
    OtherProgram programs[] = {
        OtherProgram(L"cprog.exe", L"VornUnitWaysShort"),
        OtherProgram(kLongName, L"VornUnitWaysLong"),
    };
    for (const OtherProgram &program : programs)
        ASSERT_NE(nullptr, program.window) << "cannot start " << Narrow(program.path);
    HWND own = OwnWindow();
    ASSERT_NE(nullptr, own);

    std::vector<HWND> windows;
    EnumWindows(CollectWindow, (LPARAM)&windows);
    std::vector<DWORD> ids;
    for (HWND window : windows) {
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        if (id && std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    }
    ASSERT_GE(ids.size(), 3u);

    int named = 0;
    for (DWORD id : ids) {
        for (int capacity : {128, 72}) {
            SCOPED_TRACE(testing::Message() << "process " << id << " capacity " << capacity);
            std::wstring bySnapshot = NameOf(false, id, capacity);
            g_snapshots = 0;
            std::wstring direct = NameOf(true, id, capacity);
            EXPECT_EQ(bySnapshot, direct);
            EXPECT_EQ(0, g_snapshots) << "a running process walked the snapshot";
            named += !direct.empty();
        }
    }
    EXPECT_EQ(2 * (int)ids.size(), named);

    for (const OtherProgram &program : programs) {
        WCHAR name[128];
        GetWindowProcessName(program.window, name, 128);
        EXPECT_EQ(program.path.substr(program.path.rfind(L'\\') + 1), std::wstring(name));
    }
    g_procImagePath = CountingImagePath;
    WCHAR name[128];
    GetWindowProcessName(own, name, 128);
    EXPECT_STREQ(L"vorn_unit.exe", name);
    DestroyWindow(own);
}

// A process that has ended, while a handle still holds it, and ids of no
// process at all: no name either way. The direct way gives up, and the
// snapshot has the last word.
TEST_F(ProcessNameWays, EndedProcessAndNoProcessGiveNoName)
{
    OtherProgram ended(L"cprog.exe", L"VornUnitWaysEnded");
    ASSERT_NE(nullptr, ended.window);
    DWORD endedId = ended.process.dwProcessId;
    PostMessageW(ended.window, WM_CLOSE, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ended.process.hProcess, 10000));

    WCHAR path[MAX_PATH] = L"stale";
    EXPECT_EQ(0, QueryProcessImagePath(endedId, path, MAX_PATH));
    EXPECT_STREQ(L"", path);

    for (DWORD id : {endedId, (DWORD)3, (DWORD)0}) {
        SCOPED_TRACE(testing::Message() << "process " << id);
        EXPECT_EQ(L"", NameOf(false, id, 128));
        g_snapshots = g_directCalls = 0;
        EXPECT_EQ(L"", NameOf(true, id, 128));
        // No process id, no lookup at all.
        EXPECT_EQ(id ? 1 : 0, g_directCalls);
        EXPECT_EQ(id ? 1 : 0, g_snapshots);
    }

    // The window is gone with its process; a null window is none.
    g_procImagePath = CountingImagePath;
    g_snapshots = g_directCalls = 0;
    for (HWND window : {ended.window, (HWND)NULL}) {
        WCHAR name[128] = L"stale";
        EXPECT_STREQ(L"", GetWindowProcessName(window, name, 128));
    }
    EXPECT_EQ(0, g_directCalls + g_snapshots);
}

// A direct way that gives nothing leaves the lookup to the snapshot, which
// finds the name as it always did.
TEST_F(ProcessNameWays, DirectWayThatFailsFallsBackToTheSnapshot)
{
    HWND own = OwnWindow();
    ASSERT_NE(nullptr, own);
    int heap = HeapBlocksInUse(), handles = CountOwnHandles();
    g_procImagePath = NoImagePath;
    WCHAR name[128] = L"stale";
    GetWindowProcessName(own, name, 128);
    EXPECT_STREQ(L"vorn_unit.exe", name);
    EXPECT_EQ(1, g_directCalls);
    EXPECT_EQ(1, g_snapshots);
    EXPECT_EQ(heap, HeapBlocksInUse());
    EXPECT_EQ(handles, CountOwnHandles());

    // The real direct way keeps no handle either.
    g_procImagePath = QueryProcessImagePath;
    g_snapshots = 0;
    GetWindowProcessName(own, name, 128);
    EXPECT_STREQ(L"vorn_unit.exe", name);
    EXPECT_EQ(0, g_snapshots);
    EXPECT_EQ(handles, CountOwnHandles()) << "process handle left open";

    // A path that does not fit the platform's buffer is no name.
    WCHAR small[4] = L"abc";
    EXPECT_EQ(0, QueryProcessImagePath(GetCurrentProcessId(), small, 4));
    EXPECT_STREQ(L"", small);
    DestroyWindow(own);
}

}  // namespace
