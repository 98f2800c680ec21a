// The office bridge module is loaded by the first creation, not before.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "export/export_to_excel.h"

namespace {

bool ModuleLoaded() {
    void* module = dlopen(KELVARIN_CALC_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (module) dlclose(module);
    return module != nullptr;
}

TEST(ExportModule, LoadedOnTheFirstCreationOnly) {
    AutomationClient& client = DefaultAutomationClient();
    client.Release(1);
    EXPECT_FALSE(ModuleLoaded());
    // A server the bridge does not serve: no office is asked.
    EXPECT_EQ(client.Create("Word.Application"), automation::kNoObject);
    EXPECT_TRUE(ModuleLoaded());
}

}  // namespace
