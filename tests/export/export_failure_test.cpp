#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/export_to_excel.h"
#include "export/recording_client.h"
#include "table_list.h"

using namespace automation;
using What = RecordingClient::What;

namespace {

struct Boxes {
    std::vector<std::string> shown;
    ExportMessageBox Sink() {
        return [this](const std::string& text, const std::string& caption, unsigned style) {
            shown.push_back(std::string(text).append("|").append(caption).append("|").append(
                std::to_string(style)));
        };
    }
};

TEST(ExportCreationFailure, ShowsOneWarningBoxAndNothingElseEachClick) {
    RecordingClient client;
    client.FailCreation(true);
    Boxes boxes;
    TableList list = TableList::WithRows(3);

    ExportToExcel(client, list, boxes.Sink());
    ASSERT_EQ(1u, boxes.shown.size());
    EXPECT_EQ("Can not Create Excel Application!|Warning|0", boxes.shown[0]);
    EXPECT_EQ(1u, client.Events().size());  // the creation only
    EXPECT_TRUE(client.Calls().empty());

    // The next click tries again, and succeeds once the server is there.
    ExportToExcel(client, list, boxes.Sink());
    EXPECT_EQ(2u, boxes.shown.size());
    EXPECT_EQ(2u, client.Events().size());
    client.FailCreation(false);
    ExportToExcel(client, list, boxes.Sink());
    EXPECT_EQ(2u, boxes.shown.size());
    EXPECT_EQ(8u * 3 + 16, client.Calls().size());
    EXPECT_EQ(0u, client.LiveObjects());
}

// Every call of an export, made to fail in turn: the export stops right
// there, gives back all it holds in reverse order of taking, shows nothing
// itself and leaves the client fit for the next export.
TEST(ExportCallFailure, EveryCallFailingEndsTheExportCleanly) {
    const TableList list = TableList::WithRows(3);
    const int total = 8 * 3 + 16;
    for (int k = 1; k <= total; ++k) {
        SCOPED_TRACE(k);
        RecordingClient client;
        Boxes boxes;
        client.FailCall(k);
        EXPECT_THROW(ExportToExcel(client, list, boxes.Sink()), AutomationError);
        EXPECT_TRUE(boxes.shown.empty());

        auto calls = client.Calls();
        ASSERT_EQ(static_cast<std::size_t>(k), calls.size());
        EXPECT_TRUE(calls.back().failed);
        EXPECT_EQ(0u, client.LiveObjects());
        EXPECT_EQ(0, client.Misuses());
        // A failure before the last two calls leaves the application hidden.
        if (k <= total - 2) {
            for (const auto& call : calls) EXPECT_TRUE(call.id != 0x22E && call.id != 0x4BA);
        }

        // Nothing is called after the failure, and the references still held
        // then are given back newest first.
        const auto& events = client.Events();
        std::vector<DispatchHandle> taken;
        std::size_t i = 0;
        for (; i < events.size(); ++i) {
            const auto& e = events[i];
            if (e.what == What::Invoke && e.failed) break;
            if (e.what == What::Create) taken.push_back(e.object);
            if (e.what == What::Invoke && e.result != kNoObject) taken.push_back(e.result);
            if (e.what == What::Release) std::erase(taken, e.object);
        }
        std::vector<DispatchHandle> released;
        for (++i; i < events.size(); ++i) {
            ASSERT_EQ(What::Release, events[i].what);
            released.push_back(events[i].object);
        }
        EXPECT_EQ(std::vector<DispatchHandle>(taken.rbegin(), taken.rend()), released);

        client.ClearEvents();
        ExportToExcel(client, list, boxes.Sink());
        EXPECT_EQ(static_cast<std::size_t>(total), client.Calls().size());
        EXPECT_EQ(0u, client.LiveObjects());
    }
}

// A server that answers an object request with no object must not have the
// export call through a null reference.
TEST(ExportCallFailure, AnObjectCallReturningNoObjectFailsThatCall) {
    const TableList list = TableList::WithRows(1);
    // Calls 1 to 4 (Workbooks, Add, Sheets, Item), the first Range (5) and
    // EntireColumn (8 * 1 + 16 - 3) each ask for an object.
    for (int k : {1, 2, 3, 4, 5, 8 + 16 - 3}) {
        SCOPED_TRACE(k);
        RecordingClient client;
        Boxes boxes;
        client.ReturnNoObjectAt(k);
        EXPECT_THROW(ExportToExcel(client, list, boxes.Sink()), AutomationError);
        EXPECT_EQ(static_cast<std::size_t>(k), client.Calls().size());
        EXPECT_EQ(0u, client.LiveObjects());
        EXPECT_EQ(0, client.Misuses());
        EXPECT_TRUE(boxes.shown.empty());
    }
}

}  // namespace
