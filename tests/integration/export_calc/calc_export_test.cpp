#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XLayoutManager.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "export/calc/calc_client.h"
#include "export/calc/office_pipe.h"
#include "export/export_to_excel.h"
#include "office_fixture.h"
#include "table_list.h"

using namespace automation;
using namespace css::uno;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Exports through `client`; the boxes shown, as "caption: text".
std::vector<std::string> Export(AutomationClient& client, const ExportList& list) {
    std::vector<std::string> boxes;
    ExportToExcel(client, list, [&](const std::string& text, const std::string& caption, unsigned) {
        boxes.push_back(caption + ": " + text);
    });
    return boxes;
}

// Why an export failed half way.
std::string Failure(AutomationClient& client, const ExportList& list) {
    try {
        Export(client, list);
    } catch (const AutomationError& e) {
        return e.what();
    }
    return "no failure";
}

const std::vector<std::string> kWarning{"Warning: Can not Create Excel Application!"};

// Shown, with its menu bar, as a document the user opened.
bool Shown(const OfficeReader::Doc& doc) {
    return Named([&] {
        Reference<css::frame::XFrame> frame =
            Reference<css::frame::XModel>(doc, UNO_QUERY_THROW)->getCurrentController()->getFrame();
        Reference<css::frame::XLayoutManager> bars;
        Reference<css::beans::XPropertySet>(frame, UNO_QUERY_THROW)
            ->getPropertyValue("LayoutManager") >>= bars;
        return bars->isElementVisible("private:resource/menubar/menubar") &&
               Reference<css::awt::XWindow2>(frame->getContainerWindow(), UNO_QUERY_THROW)
                   ->isVisible();
    });
}

// Passes calls on to the bridge, each first made the wrong way, which the
// bridge must refuse: as another kind of call, and with arguments of a type
// it does not take.
class Prober final : public AutomationClient {
public:
    explicit Prober(AutomationClient& bridge) : m_bridge(bridge) {}
    DispatchHandle Create(const std::string& progId) override { return m_bridge.Create(progId); }
    Variant Invoke(DispatchHandle on, DispId id, DispatchKind kind, std::span<const Variant> args,
                   VarType type) override {
        // The next kind round the three: method, get, put.
        const auto other =
            static_cast<DispatchKind>(kind == DispatchKind::PropertyPut ? 1 : 2 * int(kind));
        EXPECT_THROW(m_bridge.Invoke(on, id, other, args, type), AutomationError) << id;
        std::vector<Variant> wrong(args.size(), Variant::Dispatch(on));
        for (std::size_t right = 0; right < args.size(); ++right) {  // all wrong, then the last
            EXPECT_THROW(m_bridge.Invoke(on, id, kind, wrong, type), AutomationError) << id;
            wrong[right] = args[right];
        }
        std::vector<Variant> more(args.begin(), args.end());
        more.push_back(Variant::Bstr("more"));
        if (kind == DispatchKind::PropertyPut) {  // a put takes one value, no more
            EXPECT_THROW(m_bridge.Invoke(on, id, kind, more, type), AutomationError) << id;
        }
        return m_bridge.Invoke(on, id, kind, args, type);
    }
    void Release(DispatchHandle object) noexcept override { m_bridge.Release(object); }

private:
    AutomationClient& m_bridge;
};

// One run of the program starts the office, a later one (a client of its
// own) finds it listening; each export opens a document of its own holding
// the list as texts, nothing parsed, the headers cut to what a cell shows.
TEST(CalcExport, EachExportGetsANewVisibleDocumentHoldingTheListAsTexts) {
    PrivateOffice office;  // ends what uses its profile
    CalcClient first(office.Options()), second(office.Options());
    TableList full = TableList::WithRows(255);
    const char* data[] = {"-12.500000", "null", "0012", "=1+1", "1/2", "合格 ü", "3.000000"};
    for (int r = 0; r < 255; ++r) full.rows[r][1] = data[r % 7];
    full.headers[2] = full.rows[0][2] = std::string(300, 'w');   // only headers are cut
    full.rows[9][3] = "a text wider than a column is at first";  // in the column fitted
    EXPECT_EQ(kNoObject, second.Create("Word.Application"));
    std::optional<OfficeReader> reader;  // once the office listens
    std::vector<OfficeReader::Doc> seen;
    for (const auto& [by, list] : {std::pair{&first, TableList{}}, {&second, full}}) {
        Prober prober(*by);
        ASSERT_TRUE(Export(prober, list).empty()) << by->LastError();
        EXPECT_EQ("", by->LastError()) << "what failed before the office answered is forgotten";
        if (!reader) reader.emplace(office.ProfileDir());
        std::vector<OfficeReader::Doc> docs = reader->Documents();
        ASSERT_EQ(seen.size() + 1, docs.size());
        std::erase_if(docs, [&](const auto& d) { return std::ranges::count(seen, d) > 0; });
        seen.push_back(docs.at(0));

        // Nothing to the right of the list or below it.
        std::vector<std::vector<std::string>> expected{list.headers};
        if (expected[0][2].size() > 255) expected[0][2].resize(255);
        expected.insert(expected.end(), list.rows.begin(), list.rows.end());
        expected.emplace_back(4);
        for (auto& row : expected) row.emplace_back();
        EXPECT_EQ(expected,
                  OfficeReader::Texts(seen.back(), "A1:E" + std::to_string(expected.size())));
        EXPECT_TRUE(Shown(seen.back()));
    }
    // The last column written is fitted to its texts: narrower than a column
    // left alone (E) for "PASS" alone, wider for the long text.
    EXPECT_LT(OfficeReader::ColumnWidth(seen[0], "D"), OfficeReader::ColumnWidth(seen[0], "E"));
    EXPECT_GT(OfficeReader::ColumnWidth(seen[1], "D"), OfficeReader::ColumnWidth(seen[1], "E"));
    // Each run of the program and each reader makes a connection of its own:
    // many in a row all come up, and none ends this program with SIGPIPE.
    for (int i = 0; i < 200; ++i) OfficeReader{office.ProfileDir()};
    struct stat pipe {};
    EXPECT_EQ(0, stat(OfficePipePath(OfficePipeName(office.ProfileDir())).c_str(), &pipe));
    EXPECT_EQ(S_IFSOCK | S_IRWXU, pipe.st_mode) << "others may reach the office";
}

// An export that fails half way leaves no hidden document behind; an office
// that dies is replaced by the next export; one that stops answering fails
// the export under way, and the next ones, in bounded time, and is not ended
// (it may hold the user's documents).
TEST(CalcExport, HiddenDocumentsClosedDeadOfficesReplacedFrozenOnesGivenUpInBoundedTime) {
    PrivateOffice office;
    CalcOptions options = office.Options();
    options.callTimeout = 2s;
    options.startTimeout = 10s;
    CalcClient client(options);
    TableList list = TableList::WithRows(1);
    list.beforeItem = [] { throw AutomationError("The list is gone"); };
    EXPECT_THROW(Export(client, list), AutomationError);
    EXPECT_EQ(0u, OfficeReader(office.ProfileDir()).Documents().size());

    const pid_t first = client.StartedOfficePid();
    list.beforeItem = [first] { kill(-first, SIGKILL); };  // with what it started
    EXPECT_EQ("The office has gone away", Failure(client, list));
    EXPECT_TRUE(Export(client, TableList::WithRows(2)).empty()) << client.LastError();
    const pid_t pid = client.StartedOfficePid();
    EXPECT_NE(first, pid);
    ASSERT_GT(pid, 0);

    // Its pipe still takes connections but nothing answers.
    list.beforeItem = [pid] { kill(-pid, SIGSTOP); };
    auto start = Clock::now();
    EXPECT_EQ("The office did not answer within 2000 ms", Failure(client, list));
    EXPECT_GE(Clock::now() - start, 1900ms);
    options.startTimeout = 4s;
    CalcClient other(options);  // another run of the program
    for (CalcClient* by : {&other, &client}) EXPECT_EQ(kWarning, Export(*by, TableList{}));
    EXPECT_LT(Clock::now() - start, 25s);
    EXPECT_EQ(pid, client.StartedOfficePid());
}

// Offices that cannot be reached, none of them a real one unless in the way
// of a profile it must not use: each click gives the Warning box within the
// start-up limit, and the next click tries again.
TEST(CalcStartFailure, AnOfficeThatCannotBeReachedGivesTheWarningInBoundedTime) {
    // Besides the script: a pipe nobody accepts on, another user's socket in
    // the pipe's place, a profile of another user's or one others may write,
    // one not made yet (it is made, this user's alone).
    enum Spoil { kNothing, kSilentPipe, kForeignPipe, kForeignProfile, kOpenProfile, kNewProfile };
    // Those waited for take a second at least. No script: none installed;
    // an empty one: the real office.
    const std::tuple<const char*, bool, Spoil> cases[] = {
        {nullptr, false, kNothing},
        {"echo \"$(readlink /proc/$$/fd/[012])\" >\"$(dirname \"$0\")/fds\"; exit 3", false,
         kNothing},
        {"exit 0", true, kNothing},  // hands over to a running office and ends
        {"echo $$ > \"$(dirname \"$0\")/pid\"; exec sleep 300", true, kNothing},  // never answers
        {nullptr, true, kSilentPipe},
        {nullptr, false, kForeignPipe},
        {"", false, kForeignProfile},
        {"", false, kOpenProfile},
        {"exit 3", false, kNewProfile},
    };
    const uid_t nobody = 65534;
    for (const auto& [script, waited, spoil] : cases) {
        SCOPED_TRACE(testing::Message() << (script ? script : "no script") << waited << spoil);
        PrivateOffice profile;
        CalcOptions options = profile.Options();
        if (!script || *script) {
            options.soffice = profile.ProfileDir() + (script ? "/fake-soffice" : "/none/soffice");
            if (script) std::ofstream(options.soffice) << "#!/bin/sh\n" << script << "\n";
            chmod(options.soffice.c_str(), 0755);
        }
        options.startTimeout = waited ? 1500ms : 30000ms;
        // With a backlog of nought and one connection queued, the next one blocks.
        std::vector<int> pipe;
        if (spoil == kSilentPipe || spoil == kForeignPipe) {
            sockaddr_un address{AF_UNIX, {}};
            std::snprintf(address.sun_path, sizeof address.sun_path, "%s",
                          OfficePipePath(OfficePipeName(options.profileDir)).c_str());
            const auto* any = reinterpret_cast<const sockaddr*>(&address);
            pipe = {socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0),
                    socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0)};
            ASSERT_TRUE(bind(pipe[0], any, sizeof address) == 0 && listen(pipe[0], 0) == 0);
            ASSERT_EQ(0, spoil == kSilentPipe ? connect(pipe[1], any, sizeof address)
                                              : chown(address.sun_path, nobody, nobody));
        }
        if (spoil == kForeignProfile) {
            ASSERT_EQ(0, chown(options.profileDir.c_str(), nobody, 0));
        } else if (spoil == kOpenProfile) {
            ASSERT_EQ(0, chmod(options.profileDir.c_str(), 0777));
        } else if (spoil == kNewProfile) {
            options.profileDir += "/not/yet";
        }
        CalcClient client(options);
        std::ptrdiff_t live[3] = {};  // threads after each click
        for (int click = 1; click <= 2; ++click) {
            const auto start = Clock::now();
            EXPECT_EQ(kWarning, Export(client, TableList{}));
            EXPECT_GE(Clock::now() - start, waited ? 1000ms : 0ms);
            EXPECT_LT(Clock::now() - start, 6s);
            live[click] = std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
        }
        // A connect still blocked is waited for, not joined by another one.
        EXPECT_TRUE(spoil != kSilentPipe || live[1] == live[2]) << live[2];
        // An office exception a reader meets names itself to the test.
        if (!script && spoil == kNothing) {
            EXPECT_THROW(OfficeReader(profile.ProfileDir()), std::runtime_error);
        }
        if (spoil == kForeignPipe) {
            EXPECT_EQ(-1, accept(pipe[0], nullptr, nullptr)) << "another user's socket was reached";
        }
        // Nothing of the office's reaches our terminal.
        if (std::ifstream fds(profile.ProfileDir() + "/fds"); fds) {
            EXPECT_EQ("/dev/null\n/dev/null\n/dev/null\n",
                      std::string(std::istreambuf_iterator<char>(fds), {}));
        }
        // A half-started office is not left behind.
        pid_t pid = 0;
        EXPECT_TRUE(!(std::ifstream(profile.ProfileDir() + "/pid") >> pid) || kill(pid, 0) != 0);
        for (int fd : pipe) close(fd);
        struct stat made {};
        EXPECT_EQ(0, stat(options.profileDir.c_str(), &made));
        EXPECT_EQ(spoil == kOpenProfile ? 0777u : 0700u, made.st_mode & 0777);
    }
}

}  // namespace
