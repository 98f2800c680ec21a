// The COM client against the recording "Excel.Application" server, under
// Wine: arguments in their order, a call failing half way through, and the
// automation runtime's set-up per thread.
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

using automation::DispatchHandle;
using automation::DispatchKind;
using automation::Variant;

namespace {

TEST(ComClient, PassesArgumentsInTheirOrder) {
    Recorder recorder;
    ASSERT_TRUE(recorder.Register(true));
    InitAutomationRuntime();
    ComClient client;
    const DispatchHandle app = client.Create("Excel.Application");
    ASSERT_NE(app, automation::kNoObject);
    const Variant a1 = Variant::Bstr("A1"), b2 = Variant::Bstr("B2");
    const Variant args[] = {Variant::ByRef(a1), Variant::ByRef(b2)};
    const DispatchHandle range =
        client.Invoke(app, 0xC5, DispatchKind::PropertyGet, args, automation::VT_DISPATCH).pdispVal;
    client.Release(range);
    client.Release(app);
    EXPECT_EQ(recorder.Lines(),
              (std::vector<std::string>{"create Excel.Application",
                                        "invoke application#1 0xC5 flags=2 args=2 named= "
                                        "BSTR:A1 BSTR:B2",
                                        "release range#2", "release application#1"}));
}

// The export stops at the failing call and gives back everything it holds,
// newest first; the caller is left to show the one box.
TEST(ComClient, CallFailingHalfWayEndsTheExportWithEverythingReleased) {
    const std::string full =
        "column#14 range#13 sheet#5 sheets#4 workbook#3 workbooks#2 application#1";
    const std::pair<int, std::string> cases[] = {
        {1, "application#1"},
        {4, "sheets#4 workbook#3 workbooks#2 application#1"},
        {9, "range#7 sheet#5 sheets#4 workbook#3 workbooks#2 application#1"},
        {22, full},
        {24, full}};
    for (const auto& [failAt, held] : cases) {
        SCOPED_TRACE(failAt);
        Recorder recorder(failAt);
        ASSERT_TRUE(recorder.Register(true));
        InitAutomationRuntime();
        ComClient client;
        std::vector<std::string> boxes;
        EXPECT_THROW(ExportToExcel(client, TableList::WithRows(1),
                                   [&](const std::string& text, const std::string&, unsigned) {
                                       boxes.push_back(text);
                                   }),
                     AutomationError);
        EXPECT_TRUE(boxes.empty());
        const std::vector<std::string> lines = recorder.Lines();
        const auto failed = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.ends_with(" failed");
        });
        ASSERT_NE(failed, lines.end());
        EXPECT_EQ(std::count_if(lines.begin(), failed,
                                [](const std::string& l) { return l.starts_with("invoke "); }),
                  failAt - 1);
        std::string released;  // of the "release ..." lines after the failure
        for (auto l = failed + 1; l != lines.end(); ++l)
            released += (released.empty() ? "" : " ") + l->substr(l->find(' ') + 1);
        EXPECT_EQ(released, held);
    }
}

// Whether this thread's apartment is gone: a multithreaded one can be set
// up only then.
bool ApartmentGone() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr == S_OK;
}

TEST(AutomationRuntime, SetUpOncePerThreadHoweverOftenUsed) {
    bool goneAfterOneRelease = false;
    std::thread([&] {
        InitAutomationRuntime();
        ComClient client;
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(client.Create("Kelvarin.NoSuchServer"), automation::kNoObject);
        OleUninitialize();
        goneAfterOneRelease = ApartmentGone();
    }).join();
    EXPECT_TRUE(goneAfterOneRelease);
}

}  // namespace
