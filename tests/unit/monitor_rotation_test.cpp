// Binding the display rotation exports: through the library's loaded module
// when there is one, neither taking nor dropping a reference to it; loaded
// for the call and released again when it is absent; -1 when the library or
// the export is missing. This program imports the shell library itself, so
// copies of the stand-ins under names of their own stand for it, reached
// through the library name of RotationQueryFrom and RotationSetFrom.
#include <gtest/gtest.h>
#include <string>
#include "monitor/orientation.h"
#include "support/phone.h"

namespace {

struct BindingCase {
    const char *name;
    const wchar_t *standIn;  // library copied under the test's own name, or null for none
    bool loadedBefore;       // the test holds the library loaded during the calls
    int setResult;
    int queryResult;
};

const BindingCase kBindingCases[] = {
    {"LoadedLibrary", L"aygshell.dll", true, 0, 2},
    {"AbsentLibrary", L"aygshell.dll", false, 0, 2},
    // The sensor library has neither export.
    {"LoadedLibraryWithoutTheExports", L"HTCSensorSDK.dll", true, -1, -1},
    {"AbsentLibraryWithoutTheExports", L"HTCSensorSDK.dll", false, -1, -1},
    {"MissingLibrary", nullptr, false, -1, -1},
};

class RotationBindingTest : public ::testing::TestWithParam<BindingCase> {
protected:
    std::wstring fileName;  // as the program names the library
    std::wstring path;      // beside the test program, where the loader looks first

    void SetUp() override
    {
        const BindingCase &c = GetParam();
        fileName = L"vornrot_" + std::wstring(c.name, c.name + strlen(c.name)) + L".dll";
        WCHAR self[MAX_PATH];
        GetModuleFileNameW(NULL, self, MAX_PATH);
        path = self;
        path = path.substr(0, path.find_last_of(L'\\') + 1) + fileName;
        DeleteFileW(path.c_str());
        if (c.standIn) {
            std::wstring from = BinDir() + L"\\" + c.standIn;
            ASSERT_TRUE(CopyFileW(from.c_str(), path.c_str(), FALSE)) << Narrow(from);
        }
    }

    void TearDown() override
    {
        HMODULE left = GetModuleHandleW(fileName.c_str());
        if (left)
            FreeLibrary(left);
        DeleteFileW(path.c_str());
    }
};

TEST_P(RotationBindingTest, LoadedLibraryIsUsedAsItIsAbsentOneOnlyForTheCall)
{
    const BindingCase &c = GetParam();
    HMODULE held = NULL;
    if (c.loadedBefore) {
        held = LoadLibraryW(fileName.c_str());
        ASSERT_NE(nullptr, held);
    }

    EXPECT_EQ(c.setResult, RotationSetFrom(fileName.c_str(), 2));
    EXPECT_EQ(c.queryResult, RotationQueryFrom(fileName.c_str()));

    // Loaded as before the calls, and with the same hold on it: one release
    // of the test's own reference unloads it.
    EXPECT_EQ(held, GetModuleHandleW(fileName.c_str()));
    if (held) {
        FreeLibrary(held);
        EXPECT_EQ(nullptr, GetModuleHandleW(fileName.c_str())) << "a reference was left";
    }
}

INSTANTIATE_TEST_SUITE_P(Libraries, RotationBindingTest, ::testing::ValuesIn(kBindingCases),
                         [](const ::testing::TestParamInfo<BindingCase> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
