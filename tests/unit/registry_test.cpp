// Reading single registry values: what is read, what is refused, and that
// neither a key nor a heap block is left behind on any road.
#include <gtest/gtest.h>
#include "support/phone.h"
#include <stdlib.h>
#include <string>
#include <vector>
#include "common/registry.h"

// Leak counter shared with the process name tests.
// Handles this process holds (keys, snapshots ...), from the system's handle
// table: Wine answers GetProcessHandleCount with 0, this list is real.
int CountOwnHandles()
{
    typedef LONG(WINAPI * QueryFn)(ULONG, PVOID, ULONG, PULONG);
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    QueryFn query = (QueryFn)(void *)GetProcAddress(GetModuleHandleW(L"ntdll.dll"),
                                                    "NtQuerySystemInformation");
    if (!query)
        return -1;
    std::vector<BYTE> buffer(1 << 16);
    LONG status;
    for (;;) {
        ULONG got = 0;
        status = query(16 /* SystemHandleInformation */, buffer.data(), (ULONG)buffer.size(),
                       &got);
        if (status != (LONG)0xC0000004 /* STATUS_INFO_LENGTH_MISMATCH */)
            break;
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0)
        return -1;
    const Table *table = (const Table *)buffer.data();
    int own = 0;
    for (ULONG i = 0; i < table->count; i++)
        if (table->entries[i].ownerPid == GetCurrentProcessId())
            own++;
    return own;
}

namespace {

#define TEST_KEY L"Software\\VornTest"
#define VALUES_KEY L"\\Software\\VornTest\\Values"

std::vector<BYTE> Pattern(size_t size)
{
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; i++)
        bytes[i] = (BYTE)(i * 7 + 1);
    return bytes;
}

// A scratch key under HKEY_CURRENT_USER with one value of each kind the
// reader must tell apart; deleted again after each test.
class RegistryRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, TEST_KEY);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, VALUES_KEY + 1, 0, NULL, 0,
                                                 KEY_SET_VALUE, NULL, &key, NULL));
        DWORD number = 0x10004;
        Set(L"dword", REG_DWORD, &number, sizeof(number));
        const WCHAR text[] = L"65540";
        Set(L"text", REG_SZ, text, sizeof(text));
        Set(L"binary4", REG_BINARY, &number, sizeof(number));
        WORD shortNumber = 4;
        Set(L"shortdword", REG_DWORD, &shortNumber, sizeof(shortNumber));
        Set(L"empty", REG_BINARY, NULL, 0);
        std::vector<BYTE> fits = Pattern(REG_READ_CAPACITY);
        Set(L"fits", REG_BINARY, fits.data(), (DWORD)fits.size());
        std::vector<BYTE> tooLong = Pattern(REG_READ_CAPACITY + 1);
        Set(L"toolong", REG_BINARY, tooLong.data(), (DWORD)tooLong.size());
        RegCloseKey(key);
        ASSERT_GE(HeapBlocksInUse(), 0) << "heap cannot be walked";
        ASSERT_GE(CountOwnHandles(), 0) << "handle table cannot be read";
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, TEST_KEY); }

    void Set(LPCWSTR name, DWORD type, const void *data, DWORD size)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, (const BYTE *)data, size))
            << "cannot set up value";
    }

    HKEY key = NULL;
};

struct DwordCase {
    const wchar_t *path;
    const wchar_t *name;
    int result;
    DWORD value;
};

const DwordCase kDwordCases[] = {
    {VALUES_KEY, L"dword", 1, 0x10004},
    {VALUES_KEY + 1, L"dword", 1, 0x10004},          // the desktop form of the path
    {L"\\Software\\VornTest\\VALUES", L"DWORD", 1, 0x10004},
    {VALUES_KEY, L"text", 0, 0},                     // REG_SZ, even though it reads as a number
    {VALUES_KEY, L"binary4", 0, 0},                  // four bytes, but not REG_DWORD
    {VALUES_KEY, L"shortdword", 0, 0},               // REG_DWORD holding only two bytes
    {VALUES_KEY, L"empty", 0, 0},
    {VALUES_KEY, L"toolong", 0, 0},
    {VALUES_KEY, L"missing", 0, 0},
    {L"\\Software\\VornTest\\Missing", L"dword", 0, 0},
    {L"\\Software\\VornTest\\Values\\Deeper", L"dword", 0, 0},
};

TEST_F(RegistryRead, DwordOnlyFromADwordValue)
{
    for (const DwordCase &c : kDwordCases) {
        SCOPED_TRACE(testing::Message() << "path " << std::wstring(c.path).c_str() << " value "
                                        << std::wstring(c.name).c_str());
        DWORD output = 0xDEADBEEF;  // a failed read must not leave the old number
        int heap = HeapBlocksInUse(), handles = CountOwnHandles();
        int result = RegReadDword(HKEY_CURRENT_USER, c.path, c.name, &output);
        EXPECT_EQ(heap, HeapBlocksInUse()) << "heap block left behind";
        EXPECT_EQ(handles, CountOwnHandles()) << "key left open";
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.value, output);
    }
}

TEST_F(RegistryRead, SensorPositionFromTheLocalMachine)
{
    // The monitor's own read: HKEY_LOCAL_MACHINE with a leading backslash.
    const WCHAR sensorKey[] = L"Software\\VornTest\\Sensor";
    HKEY sensor;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, sensorKey, 0, NULL, 0,
                                             KEY_SET_VALUE, NULL, &sensor, NULL));
    DWORD position = 0x10002;
    RegSetValueExW(sensor, L"EventChanged", 0, REG_DWORD, (const BYTE *)&position,
                   sizeof(position));
    RegCloseKey(sensor);
    DWORD output = 0;
    int result = RegReadDword(HKEY_LOCAL_MACHINE, L"\\Software\\VornTest\\Sensor",
                              L"EventChanged", &output);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\VornTest");
    EXPECT_EQ(1, result);
    EXPECT_EQ(0x10002u, output);
}

struct ValueCase {
    const wchar_t *path;
    const wchar_t *name;
    bool read;
    DWORD size;   // size output afterwards
    DWORD type;   // type output afterwards (kUntouched: as the caller left it)
};

const DWORD kUntouched = 0xA5A5A5A5;
const DWORD kAnyType = 0xFFFFFFFF;  // whatever the platform reported for a failed query

const ValueCase kValueCases[] = {
    {VALUES_KEY, L"fits", true, REG_READ_CAPACITY, REG_BINARY},
    {VALUES_KEY, L"toolong", false, 0, kAnyType},
    {VALUES_KEY, L"text", true, sizeof(L"65540"), REG_SZ},
    {VALUES_KEY, L"empty", true, 0, REG_BINARY},     // an empty value is still read
    {VALUES_KEY, L"missing", false, 0, kAnyType},
    // A key that cannot be opened leaves both outputs as they were.
    {L"\\Software\\VornTest\\Missing", L"fits", false, kUntouched, kUntouched},
};

TEST_F(RegistryRead, ValueUpToTheStackBuffer)
{
    for (const ValueCase &c : kValueCases) {
        SCOPED_TRACE(testing::Message() << "value " << std::wstring(c.name).c_str());
        DWORD size = kUntouched, type = kUntouched;
        int heap = HeapBlocksInUse(), handles = CountOwnHandles();
        BYTE *data = RegReadValue(HKEY_CURRENT_USER, c.path, c.name, &size, &type);
        EXPECT_EQ(heap + (data ? 1 : 0), HeapBlocksInUse()) << "heap blocks besides the result";
        EXPECT_EQ(handles, CountOwnHandles()) << "key left open";
        EXPECT_EQ(c.read, data != NULL);
        EXPECT_EQ(c.size, size);
        if (c.type != kAnyType) {
            EXPECT_EQ(c.type, type);
        }
        if (data && std::wstring(c.name) == L"fits") {
            EXPECT_EQ(0, memcmp(Pattern(REG_READ_CAPACITY).data(), data, REG_READ_CAPACITY));
        }
        if (data && std::wstring(c.name) == L"text") {
            EXPECT_STREQ(L"65540", (const WCHAR *)data);
        }
        free(data);
    }
}

TEST_F(RegistryRead, BlockBelongsToTheCaller)
{
    DWORD size = 0, type = 0;
    int heap = HeapBlocksInUse();
    BYTE *data = RegReadValue(HKEY_CURRENT_USER, VALUES_KEY, L"dword", &size, &type);
    EXPECT_EQ(heap + 1, HeapBlocksInUse());
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(4u, size);
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_EQ(0x10004u, *(DWORD *)data);
    free(data);
}

}  // namespace
