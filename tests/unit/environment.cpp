// The unit test program carries Vorn's resources: point the module handles
// at it, as WinMain does for vorn.exe.
#include <gtest/gtest.h>
#include "common/globals.h"

namespace {
class ModuleEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_vorn.resModule = GetModuleHandleW(NULL);
        g_vorn.ownModule = GetModuleHandleW(NULL);
    }
};
::testing::Environment *const g_moduleEnvironment =
    ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);
}  // namespace
