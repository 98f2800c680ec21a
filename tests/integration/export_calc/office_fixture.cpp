#include "office_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XLayoutManager.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

using namespace css::uno;
namespace fs = std::filesystem;

namespace {

constexpr const char* kSeed = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>99.9</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
)";

Reference<css::sheet::XSpreadsheet> FirstSheet(
    const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    Reference<css::container::XIndexAccess> sheets(doc->getSheets(), UNO_QUERY_THROW);
    return Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(0), UNO_QUERY_THROW);
}

}  // namespace

PrivateOffice::PrivateOffice(bool seeded) {
    char pattern[] = "/tmp/kelvarin-office-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    m_profile = pattern;
    fs::create_directories(m_profile + "/user");
    if (seeded) std::ofstream(m_profile + "/user/registrymodifications.xcu") << kSeed;
}

PrivateOffice::~PrivateOffice() {
    for (pid_t pid : m_started) kill(-pid, SIGKILL);
    // Whatever a failed test left running on this profile goes as well.
    for (pid_t pid : OfficesUsing(m_profile)) {
        pid_t group = getpgid(pid);
        kill(group > 1 ? -group : pid, SIGKILL);
    }
    std::error_code ignored;
    fs::remove("/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + OfficePipeName(m_profile),
               ignored);
    fs::remove_all(m_profile, ignored);
}

CalcOptions PrivateOffice::Options(bool headless) const {
    CalcOptions options;
    options.profileDir = m_profile;
    if (headless) options.extraArgs = {"--headless"};
    // A cold start on a slow machine; still bounded.
    options.startTimeout = std::chrono::seconds(60);
    return options;
}

void PrivateOffice::End(pid_t pid) {
    if (pid <= 0) return;
    kill(-pid, SIGKILL);
    m_started.push_back(pid);  // in case it was not yet gone
}

OfficeReader::OfficeReader(const std::string& profileDir) {
    m_link.Connect(OfficePipeName(profileDir));
}

std::vector<Reference<css::sheet::XSpreadsheetDocument>> OfficeReader::Documents() {
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> docs;
    Reference<css::container::XEnumeration> all =
        m_link.Desktop()->getComponents()->createEnumeration();
    while (all->hasMoreElements()) {
        Reference<css::sheet::XSpreadsheetDocument> doc(all->nextElement(), UNO_QUERY);
        if (doc.is()) docs.push_back(doc);
    }
    return docs;
}

void OfficeReader::CloseAll() {
    for (const auto& doc : Documents())
        Reference<css::util::XCloseable>(doc, UNO_QUERY_THROW)->close(true);
}

std::vector<std::vector<std::string>> OfficeReader::Texts(
    const Reference<css::sheet::XSpreadsheetDocument>& doc, const std::string& range) {
    Reference<css::sheet::XCellRangeData> cells(
        FirstSheet(doc)->getCellRangeByName(FromUtf8(range)), UNO_QUERY_THROW);
    std::vector<std::vector<std::string>> texts;
    for (const auto& row : cells->getDataArray()) {
        texts.emplace_back();
        for (const Any& value : row) {
            rtl::OUString text;
            texts.back().push_back((value >>= text) ? ToUtf8(text) : "#number");
        }
    }
    return texts;
}

int OfficeReader::ColumnWidth(const Reference<css::sheet::XSpreadsheetDocument>& doc, int column) {
    Reference<css::table::XColumnRowRange> range(FirstSheet(doc), UNO_QUERY_THROW);
    Reference<css::beans::XPropertySet> props(range->getColumns()->getByIndex(column),
                                              UNO_QUERY_THROW);
    sal_Int32 width = 0;
    props->getPropertyValue("Width") >>= width;
    return width;
}

bool OfficeReader::WindowVisible(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
    Reference<css::awt::XWindow2> window(
        model->getCurrentController()->getFrame()->getContainerWindow(), UNO_QUERY_THROW);
    Reference<css::beans::XPropertySet> frame(model->getCurrentController()->getFrame(),
                                              UNO_QUERY_THROW);
    Reference<css::frame::XLayoutManager> layout;
    frame->getPropertyValue("LayoutManager") >>= layout;
    for (const char* bar : {"menubar/menubar", "toolbar/standardbar", "toolbar/formatobjectbar",
                            "statusbar/statusbar"}) {
        const rtl::OUString name = FromUtf8(std::string("private:resource/") + bar);
        if (!layout->getElement(name).is() || !layout->isElementVisible(name)) return false;
    }
    return window->isVisible();
}

std::vector<pid_t> OfficesUsing(const std::string& profileDir) {
    std::vector<pid_t> pids;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        // Plain reads: a process that ends meanwhile fails the read with
        // ESRCH, which the stream library would throw on.
        std::string cmdline;
        const int fd = ::open((entry.path() / "cmdline").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char chunk[4096];
        for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) cmdline.append(chunk, n);
        ::close(fd);
        if (cmdline.find("soffice.bin") != std::string::npos &&
            cmdline.find(profileDir) != std::string::npos)
            pids.push_back(static_cast<pid_t>(std::atoi(entry.path().filename().c_str())));
    }
    return pids;
}
