#include <gtest/gtest.h>

#include "app/kelvarin_app.h"
#include "app/resource.h"
#include "fake_comm_platform.h"
#include "ui/headless/headless_backend.h"

// The program's own serial platform, here a fake one.
CommPlatform& DefaultCommPlatform() {
    static FakeCommPlatform platform;
    return platform;
}

namespace {

TEST(Startup, RunsTheMainDialogModallyAndEndsWithIt) {
    HeadlessBackend ui;
    CKelvarinApp app;

    bool sawWindow = false;
    ui.modalScripts.push_back([&](HeadlessWindow& w) {
        // The controls exist before the dialog shows, and it is the main window.
        sawWindow = w.tmpl.id == IDD_MAIN_DIALOG && app.m_pMainWnd != nullptr &&
                    w.Control(IDC_COMBO_PORT).items.size() == 12;
        w.PressCloseBox();
        return true;
    });
    char name[] = "/usr/local/bin/kelvarin";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(AfxWinMain(ui, 1, argv), 0);

    EXPECT_TRUE(sawWindow);
    EXPECT_EQ(ui.commonControls, static_cast<std::uint32_t>(ICC_WIN95_CLASSES));
    EXPECT_EQ(app.m_pszAppName, "kelvarin") << "named after the executable";
    EXPECT_EQ(app.m_registryKey, "应用程序向导生成的本地应用程序");
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_TRUE(ui.windows.empty());
    EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
