#include "export/export_to_excel.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "export/calc_module_path.h"
#include "export/header_text.h"
#include "export/lazy_client.h"
#include "export/recording_client.h"
#include "table_list.h"

using namespace automation;

namespace {

// Exports through `client`; the export itself shows no box but the Warning.
void Export(RecordingClient& client, const ExportList& list) {
    ExportToExcel(client, list, [](const std::string& text, const std::string&, unsigned) {
        ADD_FAILURE() << text;
    });
}

// Cells go column by column, and only the last cell's column is fitted.
TEST(ExportSequence, CellsGoColumnByColumnAndOnlyTheLastCellsColumnIsFitted) {
    RecordingClient client;
    TableList list = TableList::WithRows(2);
    list.headers.resize(2);
    Export(client, list);
    EXPECT_EQ(
        "create Excel.Application =#0; #0.23C get ->D =#1; #1.B5 call &err:80020004 ->D =#2; "
        "#0.1E5 get ->D =#3; #3.AA get &i2:1 ->D =#4; "
        "#4.C5 get &'A1' &'A1' ->D =#5; #5.56C put &'ID' ->-; "
        "#4.C5 get &'B1' &'B1' ->D =#6; release #5; #6.56C put &'DATA' ->-; "
        "#4.C5 get &'A2' &'A2' ->D =#7; release #6; #7.56C put &'r0c0' ->-; "
        "#4.C5 get &'A3' &'A3' ->D =#8; release #7; #8.56C put &'r1c0' ->-; "
        "#4.C5 get &'B2' &'B2' ->D =#9; release #8; #9.56C put &'r0c1' ->-; "
        "#4.C5 get &'B3' &'B3' ->D =#10; release #9; #10.56C put &'r1c1' ->-; "
        "#10.F6 get ->D =#11; #11.ED call ->V; #0.22E put true ->-; #0.4BA put true ->-; "
        "release #11; release #10; release #4; release #3; release #2; release #1; release #0",
        client.Trace());
}

TEST(ExportTexts, ColumnLettersStopAtZAndHeadersAreCutBetweenCharacters) {
    EXPECT_EQ((std::vector<std::string>{"A", "Z", "Z"}),
              (std::vector{ColumnLetter(0), ColumnLetter(25), ColumnLetter(26)}));

    const std::string a253(253, 'a'), wrench = "\xF0\x9F\x94\xA7";  // two places
    const std::string lowest = "\xE0\xA4\x85";                      // the lowest three-byte lead
    const std::pair<std::string, std::string> cases[] = {
        {a253 + wrench + "b", a253 + wrench},
        {"a" + a253 + wrench + "b", "a" + a253},      // a character straddling the limit goes whole
        {a253 + "\xF5" + "bc", a253 + "\xF5" + "b"},  // a byte that leads nothing: one place
        {"a" + a253 + lowest + "b", "a" + a253 + lowest},
    };
    for (const auto& [text, cut] : cases) EXPECT_EQ(cut, CutHeaderText(text)) << text.size();
}

// Each call made to fail in turn: the export calls nothing more, gives back
// all it holds and shows no box itself (the caller reports the error).
TEST(ExportFailure, AnyFailingCallEndsTheExportCleanly) {
    const TableList list = TableList::WithRows(1);
    RecordingClient clean;
    Export(clean, list);
    const auto calls = clean.Calls();
    for (std::size_t k = 1; k <= calls.size(); ++k) {
        RecordingClient client;
        client.FailCall(k);
        EXPECT_THROW(Export(client, list), AutomationError);
        EXPECT_EQ(0u, client.LiveObjects()) << calls[k - 1];
        EXPECT_EQ(k, client.Calls().size());
    }
}

// Only absolute candidates: anything else would load a module planted in the
// folder the user started the program from.
TEST(CalcModulePath, BesideTheProgramThenThePrivateFolderAndNothingRelative) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"/usr/bin/",
         {"/usr/bin/libkelvarin_calc.so", "/usr/bin/../lib/kelvarin/libkelvarin_calc.so"}},
        {"", {}},
        {"bin/", {}},
        {"/usr/bin", {}},
    };
    for (const auto& [dir, want] : cases) EXPECT_EQ(CalcModuleCandidates(dir), want) << dir;
}

// A client that cannot be loaded yet (no office installed) gives the Warning
// box; the next Export loads it anew, and once loaded it is kept.
TEST(LazyClient, AFailedLoadIsTriedAgainAtTheNextExport) {
    RecordingClient loaded;
    int loads = 0, boxes = 0;
    LazyClient lazy([&]() -> AutomationClient* { return ++loads == 1 ? nullptr : &loaded; });
    for (int click = 1; click <= 3; ++click)
        ExportToExcel(lazy, TableList{}, [&](auto&, auto&, unsigned) { ++boxes; });
    EXPECT_EQ(std::pair(1, 2), std::pair(boxes, loads)) << "Warnings, loads";
}

}  // namespace
