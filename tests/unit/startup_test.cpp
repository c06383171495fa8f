// The StartUp shortcut in-process: written whole into a file of its own, or
// not at all, never appended to what the file held.
#include <gtest/gtest.h>
#include <string>
#include "support/phone.h"
#include "editor/startup.h"

namespace {

enum Before { NO_FILE, OLD_FILE, HELD_FILE };

struct ShortcutCase {
    const char *name;
    Before before;
    bool written;  // the file holds the shortcut afterwards; else as it was
};

const ShortcutCase kShortcutCases[] = {
    {"no shortcut yet", NO_FILE, true},
    {"an old shortcut", OLD_FILE, true},
    // Another program holds the file, so it cannot be deleted.
    {"a shortcut that cannot be deleted", HELD_FILE, false},
};

class StartupShortcutTest : public ::testing::Test {
protected:
    std::wstring shortcut;

    void SetUp() override
    {
        WCHAR path[STARTUP_PATH_CAPACITY];
        ASSERT_EQ(1, StartupShortcutPath(path));
        shortcut = path;
        DeleteFileW(shortcut.c_str());
    }

    void TearDown() override { DeleteFileW(shortcut.c_str()); }
};

TEST_F(StartupShortcutTest, WrittenWholeOrNotAtAll)
{
    WCHAR exe[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameW(NULL, exe, MAX_PATH));
    const std::string expected = "1#\"" + Narrow(exe) + "\" #load";
    const std::string old = "1#\"\\Windows\\old.exe\" #load";
    for (const ShortcutCase &c : kShortcutCases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(shortcut.c_str());
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (c.before != NO_FILE) {
            ASSERT_TRUE(WriteBytes(shortcut, old));
        }
        if (c.before == HELD_FILE) {
            holder = CreateFileW(shortcut.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
            ASSERT_NE(INVALID_HANDLE_VALUE, holder);
        }
        CreateStartupShortcut();
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        EXPECT_EQ(c.written ? expected : old, ReadBytes(shortcut));
    }
}

}  // namespace
