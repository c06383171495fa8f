// The unit test program carries Vorn's resources: point the module handles
// at it, and set up the monitor's records, as WinMain does for vorn.exe.
#include <gtest/gtest.h>
#include "common/globals.h"
#include "monitor/monitor.h"

namespace {
class ModuleEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_vorn.resModule = GetModuleHandleW(NULL);
        g_vorn.ownModule = GetModuleHandleW(NULL);
        StartMonitorRecords(&settings);
    }

    void TearDown() override { EndMonitorRecords(); }

private:
    MonitorSettings settings;
};
::testing::Environment *const g_moduleEnvironment =
    ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);
}  // namespace
