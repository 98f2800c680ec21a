#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "export/calc/calc_client.h"
#include "export/export_to_excel.h"
#include "office_fixture.h"
#include "table_list.h"

using namespace automation;
using namespace css::uno;
using Clock = std::chrono::steady_clock;
using Doc = Reference<css::sheet::XSpreadsheetDocument>;

namespace {

// n rows whose DATA texts a spreadsheet would be tempted to read as
// numbers, dates or formulas.
TableList UploadedRows(int n) {
    TableList list = TableList::WithRows(n);
    const char* data[] = {"-12.500000", "null", "0012", "=1+1", "1/2", "合格 ü", "3.000000"};
    for (int r = 0; r < n; ++r) list.rows[r][1] = data[r % 7];
    return list;
}

// The sheet holds the list as texts and nothing to the right or below it.
void ExpectSheetHolds(const Doc& doc, const TableList& list) {
    std::vector<std::vector<std::string>> expected{list.headers};
    expected.insert(expected.end(), list.rows.begin(), list.rows.end());
    expected.emplace_back(4);
    for (auto& row : expected) row.emplace_back();
    EXPECT_EQ(expected, OfficeReader::Texts(doc, "A1:E" + std::to_string(list.rows.size() + 2)));
}

// Exports through `client`; the boxes shown, as "caption: text".
std::vector<std::string> Export(AutomationClient& client, const ExportList& list) {
    std::vector<std::string> boxes;
    ExportToExcel(client, list, [&](const std::string& text, const std::string& caption, unsigned) {
        boxes.push_back(caption + ": " + text);
    });
    return boxes;
}

const std::vector<std::string> kWarning{"Warning: Can not Create Excel Application!"};

class CalcExport : public ::testing::Test {
protected:
    void TearDown() override { office.End(client->StartedOfficePid()); }

    // A call that returns an object, each argument passed by reference.
    DispatchHandle Object(DispatchHandle on, DispId id, DispatchKind kind,
                          const std::vector<Variant>& values = {}) {
        std::vector<Variant> args;
        for (const Variant& v : values) args.push_back(Variant::ByRef(v));
        return client->Invoke(on, id, kind, args, VT_DISPATCH).pdispVal;
    }
    DispatchHandle Workbooks(DispatchHandle app) {
        return Object(app, 0x23C, DispatchKind::PropertyGet);
    }
    DispatchHandle AddWorkbook(DispatchHandle books) {
        return Object(books, 0xB5, DispatchKind::Method, {Variant::Error(DISP_E_PARAMNOTFOUND)});
    }

    PrivateOffice office;
    std::unique_ptr<CalcClient> client = std::make_unique<CalcClient>(office.Options());
};

// The user's own office runs (same profile, not listening for us): the
// first export hands over to it, a later run of the program (a client of its
// own) finds it listening, and each export opens a document of its own.
TEST_F(CalcExport, ARunningOfficeGetsANewUnsavedVisibleDocumentHoldingTheListPerExport) {
    OfficeProcess users;
    std::string error;
    ASSERT_TRUE(users.Start(FindOfficeProgram(""),
                            {"--headless", "--norestore", "--nologo", "--nodefault",
                             "-env:UserInstallation=file://" + office.ProfileDir()},
                            error))
        << error;
    // Waits until just one office uses the profile.
    auto oneOffice = [&](std::chrono::seconds limit) {
        for (auto end = Clock::now() + limit;
             OfficesUsing(office.ProfileDir()).size() != 1 && Clock::now() < end;)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return OfficesUsing(office.ProfileDir()).size() == 1;
    };
    ASSERT_TRUE(oneOffice(std::chrono::seconds(60)));
    std::this_thread::sleep_for(std::chrono::seconds(1));  // let it finish starting

    const TableList header;
    ASSERT_TRUE(Export(*client, header).empty()) << client->LastError();
    EXPECT_EQ(0, client->StartedOfficePid());
    TableList full = UploadedRows(255);
    full.rows[20][2] = full.rows[30][3] = std::string(60, 'W');
    CalcClient second(office.Options());
    EXPECT_EQ(kNoObject, second.Create("Word.Application"));
    ASSERT_TRUE(Export(second, full).empty()) << second.LastError();
    EXPECT_EQ("", second.LastError()) << "the failed creation is forgotten";
    EXPECT_EQ(0, second.StartedOfficePid());
    EXPECT_TRUE(oneOffice(std::chrono::seconds(10)));  // ours may take a moment to go
    EXPECT_EQ(OfficeProcess::State::Running, users.Poll());

    OfficeReader reader(office.ProfileDir());
    auto docs = reader.Documents();
    ASSERT_EQ(2u, docs.size());
    if (OfficeReader::CellText(docs[0], "A2") != "") std::swap(docs[0], docs[1]);
    const int standard = OfficeReader::ColumnWidth(docs[0], 0);
    for (int i : {0, 1}) {
        SCOPED_TRACE(i ? "255 rows" : "header only");
        ExpectSheetHolds(docs[i], i ? full : header);
        for (int column : {0, 1, 2})
            EXPECT_EQ(standard, OfficeReader::ColumnWidth(docs[i], column));
        EXPECT_TRUE(OfficeReader::WindowVisible(docs[i]));
        EXPECT_FALSE(Reference<css::frame::XStorable>(docs[i], UNO_QUERY_THROW)->hasLocation());
        EXPECT_TRUE(Reference<css::util::XModifiable>(docs[i], UNO_QUERY_THROW)->isModified());
    }
    // Only the last cell's column is fitted: D shrank to "PASS" in one and
    // grew to its widest text in the other, while C kept the standard width.
    EXPECT_LT(OfficeReader::ColumnWidth(docs[0], 3), standard);
    EXPECT_GT(OfficeReader::ColumnWidth(docs[1], 3), 3 * standard);
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
    DispatchHandle books = Workbooks(app);

    // Frozen, not dead: its pipe still takes connections but nothing answers.
    kill(-pid, SIGSTOP);
    struct Thaw {
        pid_t pid;
        ~Thaw() { kill(-pid, SIGCONT); }
    } thaw{pid};
    auto start = Clock::now();
    EXPECT_THROW(AddWorkbook(books), AutomationError);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1900));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    client->Release(books);
    client->Release(app);

    // Another run of the program finds the pipe but no answer: the Warning
    // box, within the start-up limit.
    CalcClient other(options);
    start = Clock::now();
    EXPECT_EQ(kWarning, Export(other, UploadedRows(1)));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));

    // The same run trying again does not end the office it started earlier:
    // that one may hold the user's documents.
    EXPECT_EQ(kNoObject, client->Create("Excel.Application"));
    EXPECT_EQ(pid, client->StartedOfficePid());
}

TEST_F(CalcExport, FailedCallsAndADeadOfficeLeaveTheClientFitForTheNextExport) {
    DispatchHandle app = client->Create("Excel.Application");
    ASSERT_NE(kNoObject, app) << client->LastError();
    // Sheets before any workbook, a member the bridge does not have, and a
    // handle that is not an object.
    EXPECT_THROW(Object(app, 0x1E5, DispatchKind::PropertyGet), AutomationError);
    EXPECT_THROW(client->Invoke(app, 0x12345, DispatchKind::Method, {}, VT_VARIANT),
                 AutomationError);
    EXPECT_THROW(Workbooks(987654), AutomationError);

    DispatchHandle books = Workbooks(app);
    DispatchHandle book = AddWorkbook(books);
    DispatchHandle sheets = Object(app, 0x1E5, DispatchKind::PropertyGet);
    EXPECT_THROW(Object(sheets, 0xAA, DispatchKind::PropertyGet, {Variant::I2(2)}),
                 AutomationError);
    DispatchHandle sheet = Object(sheets, 0xAA, DispatchKind::PropertyGet, {Variant::I2(1)});
    // Known members called the wrong way are refused like unknown ones.
    const std::tuple<DispatchHandle, DispId, DispatchKind> wrong[] = {
        {app, 0x23C, DispatchKind::Method},
        {books, 0xB5, DispatchKind::PropertyGet},
        {books, 0x12345, DispatchKind::Method},
        {sheets, 0xAA, DispatchKind::Method},
        {sheet, 0xC5, DispatchKind::PropertyPut}};
    for (const auto& [on, id, kind] : wrong)
        EXPECT_THROW(client->Invoke(on, id, kind, {}, VT_DISPATCH), AutomationError) << id;
    const Variant bad = Variant::Bstr("no such cell");
    EXPECT_THROW(Object(sheet, 0xC5, DispatchKind::PropertyGet, {bad, bad}), AutomationError);
    EXPECT_THROW(Object(books, 0xB5, DispatchKind::Method, {bad}), AutomationError);  // a template
    // A document let go before it was shown is closed.
    OfficeReader reader(office.ProfileDir());
    EXPECT_EQ(1u, reader.Documents().size());
    for (DispatchHandle h : {sheet, sheets, book, books, app}) client->Release(h);
    EXPECT_EQ(0u, reader.Documents().size());
    EXPECT_TRUE(Export(*client, UploadedRows(1)).empty()) << client->LastError();
    // Made visible, the application says so and keeps what it adds later.
    app = client->Create("Excel.Application");
    const Variant yes = Variant::Bool(true);
    client->Invoke(app, 0x22E, DispatchKind::PropertyPut, {&yes, 1}, VT_EMPTY);
    EXPECT_TRUE(client->Invoke(app, 0x22E, DispatchKind::PropertyGet, {}, VT_VARIANT).boolVal);
    books = Workbooks(app);
    book = AddWorkbook(books);
    for (DispatchHandle h : {book, books, app}) client->Release(h);
    EXPECT_EQ(2u, reader.Documents().size());

    // The office dies mid-export: the call fails (the program is not ended
    // by a broken pipe) and the next export starts another office.
    app = client->Create("Excel.Application");
    ASSERT_NE(kNoObject, app) << client->LastError();
    const pid_t first = client->StartedOfficePid();
    ASSERT_GT(first, 0);
    books = Workbooks(app);
    office.End(first);
    const auto start = Clock::now();
    EXPECT_THROW(AddWorkbook(books), AutomationError);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(25));
    client->Release(books);
    client->Release(app);
    EXPECT_TRUE(Export(*client, UploadedRows(2)).empty()) << client->LastError();
    EXPECT_GT(client->StartedOfficePid(), 0);
    EXPECT_NE(first, client->StartedOfficePid());
}

// Offices that cannot be reached, none of them a real one: each click gives
// the Warning box within the start-up limit, and the next click tries again.
TEST(CalcStartFailure, AnOfficeThatCannotBeReachedGivesTheWarningInBoundedTime) {
    struct Case {
        const char* what;
        const char* script;  // nullptr: no office installed
        int timeoutMs, minMs, maxMs;
        bool hangs = false;  // left running until the bridge gives up on it
        bool deaf = false;   // its pipe is there, but nobody accepts on it
    };
    const Case cases[] = {
        {"not installed", nullptr, 30000, 0, 5000},
        {"fails to start", "echo 'cannot create profile' >&2; exit 3", 30000, 0, 5000},
        {"hands over and ends", "exit 0", 1500, 0, 6000},
        {"never answers", "echo $$ > \"$(dirname \"$0\")/pid\"; exec sleep 300", 1500, 1000, 6000,
         true},
        {"a pipe nobody accepts on", nullptr, 1500, 1000, 6000, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PrivateOffice profile;
        CalcOptions options = profile.Options();
        options.soffice = profile.ProfileDir() + (c.script ? "/fake-soffice" : "/none/soffice");
        options.startTimeout = std::chrono::milliseconds(c.timeoutMs);
        if (c.script) std::ofstream(options.soffice) << "#!/bin/sh\n" << c.script << "\n";
        chmod(options.soffice.c_str(), 0755);
        std::vector<int> pipe;
        if (c.deaf) {  // with a backlog of nought and one connection queued, the next one blocks
            sockaddr_un address{AF_UNIX, {}};
            std::snprintf(address.sun_path, sizeof address.sun_path, "/tmp/OSL_PIPE_%u_%s",
                          getuid(), OfficePipeName(options.profileDir).c_str());
            const auto* any = reinterpret_cast<const sockaddr*>(&address);
            pipe = {socket(AF_UNIX, SOCK_STREAM, 0),
                    socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0)};
            ASSERT_TRUE(bind(pipe[0], any, sizeof address) == 0 && listen(pipe[0], 0) == 0 &&
                        connect(pipe[1], any, sizeof address) == 0);
        }
        CalcClient client(options);
        for (int click = 1; click <= 2; ++click) {
            const auto start = Clock::now();
            EXPECT_EQ(kWarning, Export(client, TableList{}));
            const auto took = Clock::now() - start;
            EXPECT_GE(took, std::chrono::milliseconds(c.minMs));
            EXPECT_LT(took, std::chrono::milliseconds(c.maxMs));
        }
        // A half-started office is not left behind.
        pid_t pid = 0;
        std::ifstream(profile.ProfileDir() + "/pid") >> pid;
        EXPECT_EQ(c.hangs, pid > 0 && kill(pid, 0) != 0) << pid;
        EXPECT_EQ(0, client.StartedOfficePid());
        for (int fd : pipe) close(fd);
    }
}

}  // namespace
