#include <cstdio>

#include "app/kelvarin_dlg.h"
#include "export/export_to_excel.h"
#include "history/history_place.h"
#include "serial/port_list.h"
#include "winapi/program_title.h"

namespace {

// The user's history unless it is turned off; a failure to record is said
// on standard error and kept for `kelvarin-history status`.
std::unique_ptr<HistoryWriter> DefaultHistory() {
    const std::string path = HistoryPath("");
    if (path.empty()) return nullptr;
    return std::make_unique<HistoryWriter>(path, [](const std::string& failure) {
        std::fprintf(stderr, "%s: %s\n", ProgramTitle().c_str(), failure.c_str());
    });
}

}  // namespace

// Apart, so that tests with their own platform and client link without the
// program's backends.
CKelvarinDlg::CKelvarinDlg()
    : CKelvarinDlg(DefaultCommPlatform(), DefaultAutomationClient(), DefaultHistory(),
                   PortDeviceText) {}
