// The COM client against the recording "Excel.Application" server, under
// Wine: each kind of call with its arguments in their order, a call failing
// half way through, and the automation runtime's set-up per thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

// Before the system's headers, whose macros and names would clash.
#include "export/com/com_client.h"
#include "export/export_to_excel.h"
#include "table_list.h"
#include "wine_harness.h"

using namespace automation;

namespace {

TEST(ComClient, PassesEachKindOfCallWithItsArgumentsInTheirOrder) {
    Recorder recorder;
    ComClient client;
    const DispatchHandle app = client.Create("Excel.Application");
    ASSERT_NE(app, kNoObject);
    const Variant a1 = Variant::Bstr("A1"), b2 = Variant::Bstr("B2"), one = Variant::I2(1),
                  omitted = Variant::Error(DISP_E_PARAMNOTFOUND);
    const struct {
        DispId id;
        DispatchKind kind;
        std::vector<Variant> args;
    } calls[] = {{0xC5, DispatchKind::PropertyGet, {Variant::ByRef(a1), Variant::ByRef(b2)}},
                 {0xAA, DispatchKind::PropertyGet, {Variant::ByRef(one)}},
                 {0xB5, DispatchKind::Method, {Variant::ByRef(omitted)}},
                 {0x22E, DispatchKind::PropertyPut, {Variant::Bool(true)}}};
    for (const auto& call : calls)
        client.Invoke(app, call.id, call.kind, call.args, automation::VT_EMPTY);
    client.Release(app);
    EXPECT_EQ(
        recorder.Lines(),
        (std::vector<std::string>{
            "create Excel.Application", "invoke #1 0xC5 flags=2 args=2 named= BSTR:A1 BSTR:B2",
            "invoke #1 0xAA flags=2 args=1 named= I2:1",
            "invoke #1 0xB5 flags=1 args=1 named= ERROR:0x80020004",
            "invoke #1 0x22E flags=4 args=1 named=-3 BOOL:-1", "release #1"}));
}

// The export stops at the failing call and gives back everything it holds,
// newest first; the caller is left to show the one box.
TEST(ComClient, CallFailingHalfWayEndsTheExportWithEverythingReleased) {
    const std::pair<int, std::string> cases[] = {
        {1, "#1"}, {9, "#7 #5 #4 #3 #2 #1"}, {24, "#14 #13 #5 #4 #3 #2 #1"}};
    for (const auto& [failAt, held] : cases) {
        SCOPED_TRACE(failAt);
        Recorder recorder(failAt);
        ComClient client;
        EXPECT_THROW(ExportToExcel(client, TableList::WithRows(1),
                                   [](const std::string&, const std::string&, unsigned) {
                                       ADD_FAILURE() << "a box";
                                   }),
                     AutomationError);
        const std::vector<std::string> lines = recorder.Lines();
        const auto failed = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.ends_with(" failed");
        });
        ASSERT_NE(failed, lines.end());
        std::string released;  // of the "release ..." lines after the failure
        for (auto l = failed + 1; l != lines.end(); ++l)
            released += (released.empty() ? "" : " ") + l->substr(l->find(' ') + 1);
        EXPECT_EQ(released, held);
    }
}

TEST(AutomationRuntime, SetUpOncePerThreadHoweverOftenUsed) {
    HRESULT afterOneRelease = S_FALSE;
    std::thread([&] {
        InitAutomationRuntime();
        ComClient client;
        for (int i = 0; i < 2; ++i) EXPECT_EQ(client.Create("Kelvarin.NoSuchServer"), kNoObject);
        OleUninitialize();
        // Only once the apartment is gone can a multithreaded one be set up.
        afterOneRelease = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    }).join();
    EXPECT_EQ(afterOneRelease, S_OK);
}

}  // namespace
