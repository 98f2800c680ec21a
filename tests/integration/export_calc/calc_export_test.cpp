#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "export/calc/calc_client.h"
#include "export/export_to_excel.h"
#include "office_fixture.h"

using namespace automation;
using namespace css::uno;
using Doc = Reference<css::sheet::XSpreadsheetDocument>;

namespace {

class ListOf final : public ExportList {
public:
    std::vector<std::string> headers{"ID", "DATA", "UNIT", "PASS"};
    std::vector<std::vector<std::string>> rows;
    int GetColumnCount() const override { return static_cast<int>(headers.size()); }
    std::string GetColumnText(int c) const override { return headers.at(c); }
    int GetItemCount() const override { return static_cast<int>(rows.size()); }
    std::string GetItemText(int r, int c) const override { return rows.at(r).at(c); }
};

// Rows as an upload shows them, with texts a spreadsheet would be tempted
// to read as numbers, dates or formulas.
ListOf UploadedRows(int n) {
    ListOf list;
    const char* units[] = {"N.m", "kgf.cm", "lbf.in", "cN.m"};
    for (int r = 0; r < n; ++r) {
        char value[32];
        std::snprintf(value, sizeof value, "%.6f", (r - 100) * 1.25);
        std::string data = r % 17 == 3 ? "null" : value;
        if (r == 7) data = "=1+1";
        if (r == 8) data = "1/2";
        std::string id = r == 9 ? "0012" : std::to_string(r + 1);
        list.rows.push_back({id, data, units[r % 4], r % 5 == 0 ? "failed" : "passed"});
    }
    return list;
}

class CalcExport : public ::testing::Test {
protected:
    void TearDown() override {
        if (client) office.End(client->StartedOfficePid());
    }

    void Export(const ListOf& list) {
        ExportToExcel(*client, list, [this](const std::string& text, const std::string&, unsigned) {
            boxes.push_back(text);
        });
    }

    Doc OnlyDocument() {
        auto docs = reader().Documents();
        EXPECT_EQ(1u, docs.size());
        return docs.empty() ? Doc() : docs.front();
    }

    OfficeReader& reader() {
        if (!m_reader) m_reader = std::make_unique<OfficeReader>(office.ProfileDir());
        return *m_reader;
    }

    PrivateOffice office;
    std::unique_ptr<CalcClient> client = std::make_unique<CalcClient>(office.Options());
    std::vector<std::string> boxes;

private:
    std::unique_ptr<OfficeReader> m_reader;
};

void ExpectSheetHolds(const Doc& doc, const ListOf& list) {
    const char* letters[] = {"A", "B", "C", "D"};
    for (int c = 0; c < 4; ++c) {
        std::string name = std::string(letters[c]) + "1";
        EXPECT_EQ(list.headers[c], OfficeReader::CellText(doc, name)) << name;
        for (std::size_t r = 0; r < list.rows.size(); ++r) {
            name = std::string(letters[c]) + std::to_string(r + 2);
            EXPECT_EQ(list.rows[r][c], OfficeReader::CellText(doc, name)) << name;
            EXPECT_TRUE(OfficeReader::IsText(doc, name)) << name;
        }
    }
    // Nothing past the list.
    std::string below = "A" + std::to_string(list.rows.size() + 2);
    EXPECT_EQ("", OfficeReader::CellText(doc, below));
    EXPECT_EQ("", OfficeReader::CellText(doc, "E1"));
}

TEST_F(CalcExport, HeaderOnlyListFillsRowOneOfANewUnsavedVisibleDocument) {
    const std::string cwd = std::filesystem::current_path();
    const auto before = ListDirectory(cwd);
    ListOf list;
    Export(list);
    ASSERT_TRUE(boxes.empty()) << client->LastError();

    Doc doc = OnlyDocument();
    ASSERT_TRUE(doc.is());
    ExpectSheetHolds(doc, list);
    // "PASS" is narrower than a default column: D was fitted, A to C not.
    const int standard = OfficeReader::ColumnWidth(doc, 0);
    EXPECT_EQ(standard, OfficeReader::ColumnWidth(doc, 1));
    EXPECT_EQ(standard, OfficeReader::ColumnWidth(doc, 2));
    EXPECT_LT(OfficeReader::ColumnWidth(doc, 3), standard);
    EXPECT_TRUE(OfficeReader::WindowVisible(doc));

    // Never stored: no location, and no file appeared where we run.
    Reference<css::frame::XStorable> storable(doc, UNO_QUERY_THROW);
    EXPECT_FALSE(storable->hasLocation());
    EXPECT_EQ("", ToUtf8(storable->getLocation()));
    EXPECT_EQ(before, ListDirectory(cwd));
}

TEST_F(CalcExport, FullListIsReadBackCellForCellAsText) {
    ListOf list = UploadedRows(255);
    list.rows[10] = {"11", "合格 ü", "N.m", "passed"};
    const std::string wide(60, 'W');
    list.rows[20][2] = wide;
    list.rows[30][3] = wide;
    Export(list);
    ASSERT_TRUE(boxes.empty()) << client->LastError();

    Doc doc = OnlyDocument();
    ASSERT_TRUE(doc.is());
    ExpectSheetHolds(doc, list);
    // Only the column of the last cell written is fitted: D grew to its
    // widest text, C kept the standard width in spite of its own.
    const int standard = OfficeReader::ColumnWidth(doc, 0);
    EXPECT_EQ(standard, OfficeReader::ColumnWidth(doc, 1));
    EXPECT_EQ(standard, OfficeReader::ColumnWidth(doc, 2));
    EXPECT_GT(OfficeReader::ColumnWidth(doc, 3), 3 * standard);
    EXPECT_TRUE(OfficeReader::WindowVisible(doc));
    Reference<css::frame::XStorable> storable(doc, UNO_QUERY_THROW);
    EXPECT_FALSE(storable->hasLocation());
    // Left for the user to save.
    EXPECT_TRUE(Reference<css::util::XModifiable>(doc, UNO_QUERY_THROW)->isModified());
}

TEST_F(CalcExport, EachExportAddsItsOwnDocumentAndARunningOfficeIsReused) {
    Export(UploadedRows(2));
    ASSERT_TRUE(boxes.empty()) << client->LastError();
    const pid_t first = client->StartedOfficePid();
    ASSERT_GT(first, 0);

    // Another run of the program (a client of its own) finds the office.
    CalcClient second(office.Options());
    ExportToExcel(
        second, UploadedRows(3),
        [this](const std::string& t, const std::string&, unsigned) { boxes.push_back(t); });
    EXPECT_TRUE(boxes.empty()) << second.LastError();
    EXPECT_EQ(0, second.StartedOfficePid());
    EXPECT_EQ(first, client->StartedOfficePid());
    EXPECT_EQ(2u, reader().Documents().size());
}

TEST_F(CalcExport, AnOfficeTheUserStartedIsReusedRatherThanASecondStarted) {
    // The user's own office: same profile, but not listening for us.
    OfficeProcess users;
    std::string error;
    ASSERT_TRUE(users.Start(FindOfficeProgram(""),
                            {"--headless", "--norestore", "--nologo", "--nodefault",
                             "-env:UserInstallation=file://" + office.ProfileDir()},
                            error))
        << error;
    struct EndUsers {
        PrivateOffice& office;
        OfficeProcess& users;
        ~EndUsers() { office.End(users.Pid()); }
    } endUsers{office, users};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (OfficesUsing(office.ProfileDir()).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(1u, OfficesUsing(office.ProfileDir()).size());
    std::this_thread::sleep_for(std::chrono::seconds(1));  // let it finish starting

    Export(UploadedRows(3));
    ASSERT_TRUE(boxes.empty()) << client->LastError();
    // Ours handed the request over and ended; the user's office holds the
    // document.
    EXPECT_EQ(0, client->StartedOfficePid());
    // (The one we started may take a moment to be gone from the process list.)
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (OfficesUsing(office.ProfileDir()).size() > 1 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(1u, OfficesUsing(office.ProfileDir()).size());
    EXPECT_EQ(OfficeProcess::State::Running, users.Poll());
    EXPECT_EQ(1u, reader().Documents().size());
}

TEST_F(CalcExport, AnOfficeThatStopsAnsweringIsGivenUpWithinTheTimeOuts) {
    CalcOptions options = office.Options();
    options.callTimeout = std::chrono::seconds(2);
    options.startTimeout = std::chrono::seconds(4);
    client = std::make_unique<CalcClient>(options);
    DispatchHandle app = client->Create("Excel.Application");
    ASSERT_NE(kNoObject, app) << client->LastError();
    const pid_t pid = client->StartedOfficePid();
    ASSERT_GT(pid, 0);
    Variant books = client->Invoke(app, 0x23C, DispatchKind::PropertyGet, {}, VT_DISPATCH);

    // Frozen, not dead: its pipe still takes connections but nothing answers.
    kill(-pid, SIGSTOP);
    struct Thaw {
        pid_t pid;
        ~Thaw() { kill(-pid, SIGCONT); }
    } thaw{pid};
    auto start = std::chrono::steady_clock::now();
    Variant omitted = Variant::Error(DISP_E_PARAMNOTFOUND);
    const Variant args[] = {Variant::ByRef(omitted)};
    EXPECT_THROW(client->Invoke(books.pdispVal, 0xB5, DispatchKind::Method, args, VT_DISPATCH),
                 AutomationError);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_LT(took, std::chrono::seconds(10));
    client->Release(books.pdispVal);
    client->Release(app);

    // Another run of the program finds the pipe but no answer: the Warning
    // box, within the start-up limit.
    CalcClient other(options);
    start = std::chrono::steady_clock::now();
    ExportToExcel(
        other, UploadedRows(1),
        [this](const std::string& t, const std::string&, unsigned) { boxes.push_back(t); });
    took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Can not Create Excel Application!", boxes[0]);
    EXPECT_LT(took, std::chrono::seconds(10));

    // The same run trying again does not end the office it started earlier:
    // that one may hold the user's documents.
    EXPECT_EQ(kNoObject, client->Create("Excel.Application"));
    EXPECT_EQ(pid, client->StartedOfficePid());
}

TEST_F(CalcExport, AnApplicationLetGoBeforeItIsShownLeavesNoDocument) {
    DispatchHandle app = client->Create("Excel.Application");
    ASSERT_NE(kNoObject, app) << client->LastError();
    Variant books = client->Invoke(app, 0x23C, DispatchKind::PropertyGet, {}, VT_DISPATCH);
    Variant omitted = Variant::Error(DISP_E_PARAMNOTFOUND);
    const Variant args[] = {Variant::ByRef(omitted)};
    Variant book = client->Invoke(books.pdispVal, 0xB5, DispatchKind::Method, args, VT_DISPATCH);
    EXPECT_EQ(1u, reader().Documents().size());
    client->Release(book.pdispVal);
    client->Release(books.pdispVal);
    client->Release(app);
    EXPECT_EQ(0u, reader().Documents().size());
}

TEST_F(CalcExport, BadCallsFailAsErrorsAndTheClientCarriesOn) {
    DispatchHandle app = client->Create("Excel.Application");
    ASSERT_NE(kNoObject, app) << client->LastError();
    // Sheets before any workbook, a member the bridge does not have, and a
    // handle that is not an object.
    EXPECT_THROW(client->Invoke(app, 0x1E5, DispatchKind::PropertyGet, {}, VT_DISPATCH),
                 AutomationError);
    EXPECT_THROW(client->Invoke(app, 0x12345, DispatchKind::Method, {}, VT_VARIANT),
                 AutomationError);
    EXPECT_THROW(client->Invoke(987654, 0x23C, DispatchKind::PropertyGet, {}, VT_DISPATCH),
                 AutomationError);

    Variant books = client->Invoke(app, 0x23C, DispatchKind::PropertyGet, {}, VT_DISPATCH);
    Variant omitted = Variant::Error(DISP_E_PARAMNOTFOUND);
    const Variant addArgs[] = {Variant::ByRef(omitted)};
    Variant book = client->Invoke(books.pdispVal, 0xB5, DispatchKind::Method, addArgs, VT_DISPATCH);
    Variant sheets = client->Invoke(app, 0x1E5, DispatchKind::PropertyGet, {}, VT_DISPATCH);
    Variant number = Variant::I2(2);
    const Variant itemArgs[] = {Variant::ByRef(number)};
    EXPECT_THROW(
        client->Invoke(sheets.pdispVal, 0xAA, DispatchKind::PropertyGet, itemArgs, VT_DISPATCH),
        AutomationError);
    number = Variant::I2(1);
    Variant sheet =
        client->Invoke(sheets.pdispVal, 0xAA, DispatchKind::PropertyGet, itemArgs, VT_DISPATCH);
    Variant bad = Variant::Bstr("no such cell");
    const Variant rangeArgs[] = {Variant::ByRef(bad), Variant::ByRef(bad)};
    EXPECT_THROW(
        client->Invoke(sheet.pdispVal, 0xC5, DispatchKind::PropertyGet, rangeArgs, VT_DISPATCH),
        AutomationError);
    for (DispatchHandle h : {sheet.pdispVal, sheets.pdispVal, book.pdispVal, books.pdispVal, app})
        client->Release(h);

    // Still fit for a whole export.
    Export(UploadedRows(1));
    EXPECT_TRUE(boxes.empty()) << client->LastError();
}

TEST_F(CalcExport, AnOfficeThatDiesMidExportFailsTheCallAndTheNextExportStartsAnother) {
    DispatchHandle app = client->Create("Excel.Application");
    ASSERT_NE(kNoObject, app) << client->LastError();
    const pid_t first = client->StartedOfficePid();
    ASSERT_GT(first, 0);
    Variant books = client->Invoke(app, 0x23C, DispatchKind::PropertyGet, {}, VT_DISPATCH);
    office.End(first);
    auto start = std::chrono::steady_clock::now();
    Variant omitted = Variant::Error(DISP_E_PARAMNOTFOUND);
    const Variant args[] = {Variant::ByRef(omitted)};
    EXPECT_THROW(client->Invoke(books.pdispVal, 0xB5, DispatchKind::Method, args, VT_DISPATCH),
                 AutomationError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25));
    client->Release(books.pdispVal);
    client->Release(app);

    Export(UploadedRows(2));
    EXPECT_TRUE(boxes.empty()) << client->LastError();
    EXPECT_GT(client->StartedOfficePid(), 0);
    EXPECT_NE(first, client->StartedOfficePid());
}

}  // namespace
