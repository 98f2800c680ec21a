// The COM client against the recording "Excel.Application" server, under
// Wine: arguments in their order, each kind of call failing half way
// through an export, and the automation runtime's set-up per thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

// Before the system's headers, whose macros and names would clash.
#include "export/com/com_client.h"
#include "export/export_to_excel.h"
#include "table_list.h"
#include "wine_harness.h"

using namespace automation;

namespace {

// Also: the runtime is set up once per thread however often it is used, so
// one release ends this thread's apartment.
TEST(ComClient, PassesArgumentsInTheirOrder) {
    Recorder recorder;
    InitAutomationRuntime();
    ComClient client;
    const DispatchHandle app = client.Create("Excel.Application");
    ASSERT_NE(app, kNoObject);
    const Variant a1 = Variant::Bstr("A1"), b2 = Variant::Bstr("B2"),
                  args[] = {Variant::ByRef(a1), Variant::ByRef(b2)};
    client.Invoke(app, 0xC5, DispatchKind::PropertyGet, args, automation::VT_EMPTY);
    client.Release(app);
    EXPECT_EQ(recorder.Lines(),
              (std::vector<std::string>{"create Excel.Application",
                                        "invoke #1 0xC5 flags=2 args=2 named= BSTR:A1 BSTR:B2",
                                        "release #1"}));
    OleUninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "set up more than once";
}

// The export stops at the failing call, whose flags and arguments show how
// each kind of call goes out, and gives back everything it holds, newest
// first; the caller is left to show the one box.
TEST(ComClient, CallFailingHalfWayEndsTheExportWithEverythingReleased) {
    const struct {
        int failAt;
        std::string call, held;
    } cases[] = {
        {1, "invoke #1 0x23C flags=2 args=0 named= failed", "#1"},
        {2, "invoke #2 0xB5 flags=1 args=1 named= ERROR:0x80020004 failed", "#2 #1"},
        {4, "invoke #4 0xAA flags=2 args=1 named= I2:1 failed", "#4 #3 #2 #1"},
        {9, "invoke #5 0xC5 flags=2 args=2 named= BSTR:C1 BSTR:C1 failed", "#7 #5 #4 #3 #2 #1"},
        {10, "invoke #8 0x56C flags=4 args=1 named=-3 BSTR:UNIT failed", "#8 #5 #4 #3 #2 #1"},
        {24, "invoke #1 0x4BA flags=4 args=1 named=-3 BOOL:-1 failed", "#14 #13 #5 #4 #3 #2 #1"}};
    for (const auto& [failAt, call, held] : cases) {
        Recorder recorder(failAt);
        ComClient client;
        EXPECT_THROW(ExportToExcel(client, TableList::WithRows(1),
                                   [](const std::string&, const std::string&, unsigned) {
                                       ADD_FAILURE() << "a box";
                                   }),
                     AutomationError);
        const std::vector<std::string> lines = recorder.Lines();
        const auto failed = std::find(lines.begin(), lines.end(), call);
        ASSERT_NE(failed, lines.end()) << call;
        std::string released;  // of the "release ..." lines after the failure
        for (auto l = failed + 1; l != lines.end(); ++l)
            released += (released.empty() ? "" : " ") + l->substr(l->find(' ') + 1);
        EXPECT_EQ(released, held) << call;
    }
}

}  // namespace
