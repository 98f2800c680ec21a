#include "export/export_to_excel.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "export/header_text.h"
#include "export/recording_client.h"
#include "table_list.h"

using namespace automation;

namespace {

struct Exporter {
    RecordingClient client;
    std::vector<std::string> boxes;

    void Export(const ExportList& list) {
        ExportToExcel(client, list,
                      [this](const std::string& text, const std::string& caption, unsigned style) {
                          boxes.push_back(text + "|" + caption + "|" + std::to_string(style));
                      });
    }
};

TEST(ExportSequence, EmptyListMakesExactlyTheseCallsAndReleases) {
    Exporter run;
    run.Export(TableList{});
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(
        "create Excel.Application =#0; #0.23C get ->D =#1; #1.B5 call &err:80020004 ->D =#2; "
        "#0.1E5 get ->D =#3; #3.AA get &i2:1 ->D =#4; "
        "#4.C5 get &'A1' &'A1' ->D =#5; #5.56C put &'ID' ->-; "
        "#4.C5 get &'B1' &'B1' ->D =#6; release #5; #6.56C put &'DATA' ->-; "
        "#4.C5 get &'C1' &'C1' ->D =#7; release #6; #7.56C put &'UNIT' ->-; "
        "#4.C5 get &'D1' &'D1' ->D =#8; release #7; #8.56C put &'PASS' ->-; "
        "#8.F6 get ->D =#9; #9.ED call ->V; #0.22E put true ->-; #0.4BA put true ->-; "
        "release #9; release #8; release #4; release #3; release #2; release #1; release #0",
        run.client.Trace());
}

// Cells go column by column, their texts as shown (only headers are cut),
// and only the last cell's column is fitted.
TEST(ExportSequence, RowsGoColumnByColumnAsShownAndOnlyTheLastCellsColumnIsFitted) {
    Exporter run;
    TableList list = TableList::WithRows(9);
    list.headers[0] = std::string(300, 'h');
    list.headers[1] = std::string(255, 'k');
    list.rows[0] = {"1", "null", "N.m", ""};
    list.rows[1] = {"0012", "-12.500000", std::string(400, 'x'), " 合格 ü "};
    list.rows[2][1] = "=1+1";
    run.Export(list);

    std::string names;
    for (const std::string& call : run.client.Calls())
        if (const auto at = call.find(".C5 get &"); at != std::string::npos)
            names += call.substr(at + 9, call.find(' ', at + 9) - at - 9);
    EXPECT_EQ(
        "'A1''B1''C1''D1''A2''A3''A4''A5''A6''A7''A8''A9''A10''B2''B3''B4''B5''B6''B7''B8'"
        "'B9''B10''C2''C3''C4''C5''C6''C7''C8''C9''C10''D2''D3''D4''D5''D6''D7''D8''D9''D10'",
        names);
    const std::string trace = run.client.Trace();
    EXPECT_EQ(trace.find(".ED "), trace.rfind(".ED "));
    EXPECT_TRUE(trace.ends_with(
        "#4.C5 get &'D10' &'D10' ->D =#44; release #43; #44.56C put &'r8c3' ->-; "
        "#44.F6 get ->D =#45; #45.ED call ->V; #0.22E put true ->-; #0.4BA put true ->-; "
        "release #45; release #44; release #4; release #3; release #2; release #1; release #0"))
        << trace;

    const auto& cells = run.client.Cells();
    EXPECT_EQ(40u, cells.size());
    std::string texts;
    for (const char* cell : {"B2", "D2", "A3", "B3", "D3", "B4", "A10"})
        texts += cells.at(cell) + "|";
    EXPECT_EQ("null||0012|-12.500000| 合格 ü |=1+1|r8c0|", texts);
    EXPECT_EQ(std::string(400, 'x'), cells.at("C3"));
    EXPECT_EQ(std::string(255, 'h'), cells.at("A1"));
    EXPECT_EQ(std::string(255, 'k'), cells.at("B1"));
}

TEST(ExportTexts, ColumnLettersStopAtZAndHeadersAreCutBetweenCharacters) {
    for (auto [column, letter] : std::initializer_list<std::pair<int, const char*>>{
             {0, "A"}, {3, "D"}, {25, "Z"}, {26, "Z"}, {1000, "Z"}})
        EXPECT_EQ(letter, ColumnLetter(column)) << column;

    std::string han;  // three bytes, one place each
    for (int i = 0; i < 300; ++i) han += "数";
    const std::string a253(253, 'a'), wrench = "\xF0\x9F\x94\xA7";  // two places
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {std::string(256, 'a'), std::string(255, 'a')},
        {han, han.substr(0, 255 * 3)},
        {a253 + wrench + "b", a253 + wrench},
        {"a" + a253 + wrench + "b", "a" + a253},  // a character straddling the limit goes whole
        {"ab\xE6\x95", "ab\xE6\x95"},             // cut short by the end of the text: kept
        {"a" + a253 +
             "\xE0\xA4\x85"
             "b",
         "a" + a253 + "\xE0\xA4\x85"},  // the lowest three-byte lead
    };
    for (const auto& [text, cut] : cases) EXPECT_EQ(cut, CutHeaderText(text)) << text.size();
}

TEST(ExportFailure, NoApplicationShowsOneWarningPerClickAndTheNextClickTriesAgain) {
    Exporter run;
    const TableList list = TableList::WithRows(3);
    run.client.FailCreation(true);
    run.Export(list);
    run.Export(list);
    EXPECT_EQ(std::vector<std::string>(2, "Can not Create Excel Application!|Warning|0"),
              run.boxes);
    EXPECT_EQ("create Excel.Application failed; create Excel.Application failed",
              run.client.Trace());

    run.client.FailCreation(false);
    run.Export(list);
    EXPECT_EQ(2u, run.boxes.size());
    EXPECT_EQ(8u * 3 + 16, run.client.Calls().size());
    EXPECT_EQ(0u, run.client.LiveObjects());
}

// Each call made to fail in turn, and each call that asks for an object made
// to return none: the export calls nothing more, gives back what it holds
// newest first (the client counts anything else as a misuse), shows no box
// itself (the caller reports the error) and leaves the client fit for the
// next export.
TEST(ExportFailure, AnyFailingCallEndsTheExportCleanly) {
    const TableList list = TableList::WithRows(3);
    Exporter clean;
    clean.Export(list);
    const auto calls = clean.client.Calls();
    for (int k = 1; k <= static_cast<int>(calls.size()); ++k) {
        for (bool noObject : {false, true}) {
            if (noObject && calls[k - 1].find("->D") == std::string::npos) continue;
            SCOPED_TRACE(testing::Message()
                         << "call " << k << (noObject ? " gives no object" : " fails"));
            Exporter run;
            noObject ? run.client.ReturnNoObjectAt(k) : run.client.FailCall(k);
            EXPECT_THROW(run.Export(list), AutomationError);
            EXPECT_TRUE(run.boxes.empty());
            EXPECT_EQ(0u, run.client.LiveObjects());
            EXPECT_EQ(0, run.client.Misuses());

            run.client.ClearEvents();
            run.Export(list);
            EXPECT_EQ(calls.size(), run.client.Calls().size());
        }
    }
}

}  // namespace
