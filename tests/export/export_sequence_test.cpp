#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "export/export_to_excel.h"
#include "export/recording_client.h"
#include "table_list.h"

using namespace automation;
using Event = RecordingClient::Event;
using What = RecordingClient::What;

namespace {

struct Box {
    std::string text, caption;
    unsigned style;
};

struct Exporter {
    RecordingClient client;
    std::vector<Box> boxes;

    void Export(const ExportList& list) {
        ExportToExcel(client, list, [this](const std::string& t, const std::string& c, unsigned s) {
            boxes.push_back({t, c, s});
        });
    }
};

std::string ArgText(const RecordingClient::Argument& a) {
    return a.value.bstrVal;
}

// The cell names of the Range calls, in call order.
std::vector<std::string> RangeNames(const std::vector<Event>& calls) {
    std::vector<std::string> names;
    for (const Event& e : calls)
        if (e.id == 0xC5) names.push_back(ArgText(e.args.at(0)));
    return names;
}

TEST(ExportSequence, EmptyListMakesTheWholeCallSequenceWithItsTypes) {
    Exporter run;
    TableList list;
    run.Export(list);

    ASSERT_TRUE(run.boxes.empty());
    const auto& events = run.client.Events();
    ASSERT_EQ(What::Create, events.at(0).what);
    EXPECT_EQ("Excel.Application", events.at(0).progId);
    const DispatchHandle app = events.at(0).object;

    auto calls = run.client.Calls();
    ASSERT_EQ(16u, calls.size());

    // Workbooks, Add(omitted), Sheets, Item(1).
    EXPECT_EQ(app, calls[0].object);
    EXPECT_EQ(0x23C, calls[0].id);
    EXPECT_EQ(DispatchKind::PropertyGet, calls[0].kind);
    EXPECT_TRUE(calls[0].args.empty());
    EXPECT_EQ(VT_DISPATCH, calls[0].resultType);

    EXPECT_EQ(calls[0].result, calls[1].object);
    EXPECT_EQ(0xB5, calls[1].id);
    EXPECT_EQ(DispatchKind::Method, calls[1].kind);
    ASSERT_EQ(1u, calls[1].args.size());
    EXPECT_EQ(VT_VARIANT, calls[1].args[0].type);
    EXPECT_EQ(VT_ERROR, calls[1].args[0].value.vt);
    EXPECT_EQ(static_cast<std::int32_t>(0x80020004u), calls[1].args[0].value.scode);
    EXPECT_EQ(VT_DISPATCH, calls[1].resultType);

    EXPECT_EQ(app, calls[2].object);
    EXPECT_EQ(0x1E5, calls[2].id);
    EXPECT_EQ(DispatchKind::PropertyGet, calls[2].kind);

    EXPECT_EQ(calls[2].result, calls[3].object);
    EXPECT_EQ(0xAA, calls[3].id);
    EXPECT_EQ(DispatchKind::PropertyGet, calls[3].kind);
    ASSERT_EQ(1u, calls[3].args.size());
    EXPECT_EQ(VT_VARIANT, calls[3].args[0].type);
    EXPECT_EQ(VT_I2, calls[3].args[0].value.vt);
    EXPECT_EQ(1, calls[3].args[0].value.iVal);
    const DispatchHandle sheet = calls[3].result;

    // Header cells: Range(name, name) on the sheet, then Value2 on that cell.
    const char* headers[] = {"ID", "DATA", "UNIT", "PASS"};
    const char* names[] = {"A1", "B1", "C1", "D1"};
    for (int c = 0; c < 4; ++c) {
        const Event& range = calls[4 + 2 * c];
        const Event& put = calls[5 + 2 * c];
        SCOPED_TRACE(names[c]);
        EXPECT_EQ(sheet, range.object);
        EXPECT_EQ(0xC5, range.id);
        EXPECT_EQ(DispatchKind::PropertyGet, range.kind);
        ASSERT_EQ(2u, range.args.size());
        for (const auto& a : range.args) {
            EXPECT_EQ(VT_VARIANT, a.type);
            EXPECT_EQ(VT_BSTR, a.value.vt);
            EXPECT_EQ(names[c], a.value.bstrVal);
        }
        EXPECT_EQ(range.result, put.object);
        EXPECT_EQ(0x56C, put.id);
        EXPECT_EQ(DispatchKind::PropertyPut, put.kind);
        EXPECT_EQ(VT_EMPTY, put.resultType);
        ASSERT_EQ(1u, put.args.size());
        EXPECT_EQ(VT_VARIANT, put.args[0].type);
        EXPECT_EQ(VT_BSTR, put.args[0].value.vt);
        EXPECT_EQ(headers[c], put.args[0].value.bstrVal);
    }

    // EntireColumn of the last cell (D1), AutoFit, Visible, UserControl.
    EXPECT_EQ(calls[10].result, calls[12].object);
    EXPECT_EQ(0xF6, calls[12].id);
    EXPECT_EQ(DispatchKind::PropertyGet, calls[12].kind);
    EXPECT_EQ(calls[12].result, calls[13].object);
    EXPECT_EQ(0xED, calls[13].id);
    EXPECT_EQ(DispatchKind::Method, calls[13].kind);
    EXPECT_TRUE(calls[13].args.empty());
    EXPECT_EQ(VT_VARIANT, calls[13].resultType);
    for (int i : {14, 15}) {
        EXPECT_EQ(app, calls[i].object);
        EXPECT_EQ(DispatchKind::PropertyPut, calls[i].kind);
        ASSERT_EQ(1u, calls[i].args.size());
        EXPECT_EQ(VT_BOOL, calls[i].args[0].type);
        EXPECT_TRUE(calls[i].args[0].value.boolVal);
    }
    EXPECT_EQ(0x22E, calls[14].id);
    EXPECT_EQ(0x4BA, calls[15].id);
}

TEST(ExportSequence, ThreeRowsAreWrittenColumnByColumnAndOnlyColumnDIsFitted) {
    Exporter run;
    TableList list = TableList::WithRows(3);
    run.Export(list);

    auto calls = run.client.Calls();
    ASSERT_EQ(8u * 3 + 16, calls.size());
    std::vector<std::string> expected{"A1", "B1", "C1", "D1", "A2", "A3", "A4", "B2",
                                      "B3", "B4", "C2", "C3", "C4", "D2", "D3", "D4"};
    EXPECT_EQ(expected, RangeNames(calls));
    for (const Event& e : calls) {
        if (e.id == 0xC5) {
            EXPECT_EQ(ArgText(e.args[0]), ArgText(e.args[1]));
        }
    }

    // EntireColumn is asked of the D4 cell and nothing else is fitted.
    const Event& lastRange = calls[calls.size() - 6];
    ASSERT_EQ(0xC5, lastRange.id);
    EXPECT_EQ("D4", ArgText(lastRange.args[0]));
    int fits = 0, entireColumns = 0;
    for (const Event& e : calls) {
        fits += e.id == 0xED;
        entireColumns += e.id == 0xF6;
    }
    EXPECT_EQ(1, fits);
    EXPECT_EQ(1, entireColumns);
    EXPECT_EQ(lastRange.result, calls[calls.size() - 4].object);

    EXPECT_EQ(0x22E, calls[calls.size() - 2].id);
    EXPECT_EQ(0x4BA, calls.back().id);

    std::map<std::string, std::string> cells = run.client.Cells();
    EXPECT_EQ(16u, cells.size());
    EXPECT_EQ("PASS", cells["D1"]);
    EXPECT_EQ("r0c0", cells["A2"]);
    EXPECT_EQ("r2c3", cells["D4"]);
    EXPECT_EQ("r1c2", cells["C3"]);
}

TEST(ExportSequence, EveryReferenceIsGivenBackInReverseOrder) {
    Exporter run;
    run.Export(TableList::WithRows(2));
    EXPECT_EQ(0u, run.client.LiveObjects());
    EXPECT_EQ(0, run.client.Misuses());

    // The final releases: column, cell, first sheet, sheets, new workbook,
    // workbooks, application.
    auto calls = run.client.Calls();
    const auto& events = run.client.Events();
    ASSERT_GE(events.size(), 7u);
    std::vector<DispatchHandle> tail;
    for (std::size_t i = events.size() - 7; i < events.size(); ++i) {
        ASSERT_EQ(What::Release, events[i].what);
        tail.push_back(events[i].object);
    }
    const DispatchHandle app = events.front().object;
    std::vector<DispatchHandle> expected{calls[calls.size() - 4].result,  // column
                                         calls[calls.size() - 6].result,  // last cell (D3)
                                         calls[3].result,                 // first sheet
                                         calls[2].result,                 // sheets
                                         calls[1].result,                 // new workbook
                                         calls[0].result,                 // workbooks
                                         app};
    EXPECT_EQ(expected, tail);
}

TEST(ExportTexts, RowNumbersHaveNoLeadingZerosOrFixedWidth) {
    Exporter run;
    run.Export(TableList::WithRows(9));
    auto names = RangeNames(run.client.Calls());
    EXPECT_EQ("A10", names.at(4 + 8));
    EXPECT_EQ("D10", names.back());
    EXPECT_EQ("r8c0", run.client.Cells().at("A10"));
}

TEST(ExportTexts, CellTextsArePassedExactlyAsShown) {
    Exporter run;
    TableList list;
    list.rows = {{"1", "null", "N.m", "passed"},
                 {"2", "-12.500000", "kgf.cm", "failed"},
                 {"0012", "=1+1", "1/2", ""},
                 {"3", "合格 ü", std::string(400, 'x'), " lead and trail "}};
    run.Export(list);
    const auto& cells = run.client.Cells();
    EXPECT_EQ("null", cells.at("B2"));
    EXPECT_EQ("-12.500000", cells.at("B3"));
    EXPECT_EQ("0012", cells.at("A4"));
    EXPECT_EQ("=1+1", cells.at("B4"));
    EXPECT_EQ("1/2", cells.at("C4"));
    EXPECT_EQ("", cells.at("D4"));
    EXPECT_EQ("合格 ü", cells.at("B5"));
    EXPECT_EQ(400u, cells.at("C5").size());  // no limit on cell texts
    EXPECT_EQ(" lead and trail ", cells.at("D5"));
}

TEST(ExportTexts, HeadersLongerThan255CharactersAreCut) {
    Exporter run;
    TableList list;
    list.headers = {std::string(300, 'h'), std::string(255, 'k'), "PASS"};
    run.Export(list);
    const auto& cells = run.client.Cells();
    EXPECT_EQ(std::string(255, 'h'), cells.at("A1"));
    EXPECT_EQ(std::string(255, 'k'), cells.at("B1"));
    EXPECT_EQ("PASS", cells.at("C1"));
}

TEST(ExportTexts, ColumnsPastZAllShareTheLetterZ) {
    Exporter run;
    TableList list;
    list.headers.clear();
    for (int c = 0; c < 28; ++c) list.headers.push_back(std::string("h").append(std::to_string(c)));
    run.Export(list);
    auto names = RangeNames(run.client.Calls());
    ASSERT_EQ(28u, names.size());
    EXPECT_EQ("Y1", names[24]);
    EXPECT_EQ("Z1", names[25]);
    EXPECT_EQ("Z1", names[27]);
    // The last write wins, as the sheet would show it.
    EXPECT_EQ("h27", run.client.Cells().at("Z1"));
}

}  // namespace
