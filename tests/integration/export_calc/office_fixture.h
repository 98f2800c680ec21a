// A headless office of its own for one test, and a reader of its documents.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <cppuhelper/exc_hlp.hxx>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "export/calc/calc_client.h"
#include "export/calc/office_link.h"

namespace uno = css::uno;

// Runs `call`. An office exception escaping it would reach the test framework
// as an unknown one; it goes on as one that names its type and message.
template <class Call>
auto Named(Call call) -> decltype(call()) {
    try {
        return call();
    } catch (const uno::Exception& e) {
        throw std::runtime_error(ToUtf8(cppu::getCaughtException().getValueTypeName()) + ": " +
                                 ToUtf8(e.Message));
    }
}

// A fresh profile in a temporary directory (seeded, unless told otherwise, so
// the first start skips its first-run work); every office that uses it is
// ended afterwards, by its process group.
class PrivateOffice {
public:
    explicit PrivateOffice(bool seeded = true) {
        char pattern[] = "/tmp/kelvarin-office-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        m_profile = pattern;
        std::filesystem::create_directories(m_profile + "/user");
        if (seeded)
            std::ofstream(m_profile + "/user/registrymodifications.xcu")
                << R"(<?xml version="1.0"?><oor:items xmlns:oor="http://openoffice.org/2001/registry">
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>99.9</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item></oor:items>)";
    }
    ~PrivateOffice() {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
            // Plain reads: a process that ends meanwhile fails the read with
            // ESRCH, which the stream library would throw on.
            std::string cmdline;
            const int fd = ::open((entry.path() / "cmdline").c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            char chunk[4096];
            for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) cmdline.append(chunk, n);
            ::close(fd);
            const pid_t pid = std::atoi(entry.path().filename().c_str()), group = getpgid(pid);
            if (cmdline.find("soffice.bin") != std::string::npos &&
                cmdline.find(m_profile) != std::string::npos)
                kill(group > 1 ? -group : pid, SIGKILL);  // with what it started
        }
        std::filesystem::remove(
            "/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + OfficePipeName(m_profile), ignored);
        std::filesystem::remove_all(m_profile, ignored);
    }

    // Headless unless a test wants real windows on a display; a cold start on
    // a slow machine is still bounded.
    CalcOptions Options(bool headless = true) const {
        CalcOptions options;
        options.profileDir = m_profile;
        if (headless) options.extraArgs = {"--headless"};
        options.startTimeout = std::chrono::seconds(60);
        return options;
    }
    const std::string& ProfileDir() const { return m_profile; }

private:
    std::string m_profile;
};

// Reads what the office holds, over a connection of its own. Each call names
// an office exception that escapes it.
class OfficeReader {
public:
    using Doc = uno::Reference<css::sheet::XSpreadsheetDocument>;

    explicit OfficeReader(const std::string& profile) {
        Named([&] { m_link.Connect(OfficePipeName(profile)); });
    }
    // The spreadsheet documents open in the office.
    std::vector<Doc> Documents() {
        return Named([&] {
            std::vector<Doc> docs;
            auto all = m_link.Desktop()->getComponents()->createEnumeration();
            while (all->hasMoreElements())
                if (Doc doc(all->nextElement(), uno::UNO_QUERY); doc.is()) docs.push_back(doc);
            return docs;
        });
    }
    // The texts of a block of cells of the first sheet ("A1:D3"), row by row;
    // a cell holding a number (or a formula's number) reads "#number".
    static std::vector<std::vector<std::string>> Texts(const Doc& doc, const std::string& range) {
        return Named([&] {
            std::vector<std::vector<std::string>> texts;
            for (const auto& row : Cells<css::sheet::XCellRangeData>(doc, range)->getDataArray()) {
                texts.emplace_back();
                for (const uno::Any& v : row)
                    texts.back().push_back(v.has<rtl::OUString>() ? ToUtf8(v.get<rtl::OUString>())
                                                                  : "#number");
            }
            return texts;
        });
    }
    // The width of a column of the first sheet ("D"), in 1/100 mm.
    static sal_Int32 ColumnWidth(const Doc& doc, const std::string& column) {
        return Named([&] {
            uno::Reference<css::beans::XPropertySet> props(
                Cells<css::table::XColumnRowRange>(doc, column + "1")->getColumns()->getByIndex(0),
                uno::UNO_QUERY_THROW);
            return props->getPropertyValue("Width").get<sal_Int32>();
        });
    }

private:
    // A block of cells of the first sheet, seen through `Face`.
    template <class Face>
    static uno::Reference<Face> Cells(const Doc& doc, const std::string& range) {
        uno::Reference<css::container::XIndexAccess> sheets(doc->getSheets(), uno::UNO_QUERY_THROW);
        return {sheets->getByIndex(0)
                    .get<uno::Reference<css::sheet::XSpreadsheet>>()
                    ->getCellRangeByName(FromUtf8(range)),
                uno::UNO_QUERY_THROW};
    }

    OfficeLink m_link;
};
