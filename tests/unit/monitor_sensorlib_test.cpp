// Binding the sensor library: the open codes with the real stand-in and its
// failing variants, and a close that is safe to reach twice. The library is
// found through SetDllDirectoryW, as vorn.exe finds it in its own folder.
#include <gtest/gtest.h>
#include "monitor/sensorlib.h"
#include "support/phone.h"

namespace {

const wchar_t kLibrary[] = L"HTCSensorSDK.dll";

class SensorLibTest : public ::testing::Test {
protected:
    std::wstring log;
    std::wstring empty;

    void SetUp() override
    {
        ASSERT_EQ(nullptr, GetModuleHandleW(kLibrary));
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        log = std::wstring(temp) + L"vorn_sensorlib_calls.log";
        empty = std::wstring(temp) + L"vorn_no_sensor";
        CreateDirectoryW(empty.c_str(), NULL);
        DeleteFileW(log.c_str());
        SetEnvironmentVariableW(L"PHONE_CALL_LOG", log.c_str());
    }

    void TearDown() override
    {
        SetDllDirectoryW(NULL);
        SetEnvironmentVariableW(L"PHONE_CALL_LOG", NULL);
        DeleteFileW(log.c_str());
        RemoveDirectoryW(empty.c_str());
        EXPECT_EQ(nullptr, GetModuleHandleW(kLibrary)) << "the library was left loaded";
    }

    int Count(const std::string &text) const { return CountOccurrences(ReadBytes(log), text); }
};

struct OpenCase {
    const char *name;
    const wchar_t *folder;  // under the build folder; null for an empty folder
    int code;
    bool loadedAfter;       // the library stays loaded after the failure
    int closesInOpen;       // HTCSensorClose calls made by the open itself
};

TEST_F(SensorLibTest, OpenCodesAndCloseAfterThem)
{
    const OpenCase cases[] = {
        {"open", L"bin", 0, true, 0},
        {"no library", nullptr, 1, false, 0},
        {"no close entry", L"variants\\noclose", 2, true, 0},
        {"open refused", L"variants\\noopen", 3, false, 1},
    };
    for (const OpenCase &c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(log.c_str());
        std::wstring folder = c.folder ? BuildDir() + L"\\" + c.folder : empty;
        ASSERT_TRUE(SetDllDirectoryW(folder.c_str()));

        EXPECT_EQ(c.code, OpenSensor());
        EXPECT_EQ(c.loadedAfter, GetModuleHandleW(kLibrary) != NULL);
        EXPECT_EQ(c.closesInOpen, Count("HTCSensorClose"));
        if (c.code == 0) {
            EXPECT_NE(nullptr, g_sensorLib.handle);
            EXPECT_EQ(1, Count("HTCSensorOpen sensor=1 "));
        }

        // The shut-down, or the failure branch, closes; then a second close.
        EXPECT_EQ(c.code == 0 ? 1 : -1, CloseSensor());
        EXPECT_EQ(nullptr, GetModuleHandleW(kLibrary));
        EXPECT_EQ(-1, CloseSensor());
        EXPECT_EQ(c.closesInOpen + (c.code == 0 ? 1 : 0), Count("HTCSensorClose"));
        EXPECT_EQ(nullptr, g_sensorLib.module);
        EXPECT_EQ(nullptr, g_sensorLib.close);
    }
}

TEST_F(SensorLibTest, SecondCloseNeitherCallsNorFreesAgain)
{
    ASSERT_TRUE(SetDllDirectoryW((BuildDir() + L"\\bin").c_str()));
    // One reference of our own: a second FreeLibrary by the binding would
    // take it away.
    HMODULE own = LoadLibraryW(kLibrary);
    ASSERT_NE(nullptr, own);
    ASSERT_EQ(0, OpenSensor());
    EXPECT_EQ(own, g_sensorLib.module);
    EXPECT_EQ(1, CloseSensor());
    EXPECT_EQ(-1, CloseSensor());
    EXPECT_EQ(1, Count("HTCSensorClose"));
    EXPECT_EQ(own, GetModuleHandleW(kLibrary)) << "the library was freed twice";
    FreeLibrary(own);
}

}  // namespace
