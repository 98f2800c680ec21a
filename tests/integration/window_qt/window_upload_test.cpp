#include <QTimer>
#include <chrono>
#include <cstdlib>

#include "protocol/upload_state.h"
#include "pty_tool.h"
#include "qt_window_fixture.h"
#include "serial/comm_posix.h"

namespace {

class QtUploadTest : public QtWindowTest {
protected:
    void SetUp() override {
        QtWindowTest::SetUp();
        config.records = torque_sim::DefaultRecords(12);
        tool = std::make_unique<PtyTool>(config);
        ASSERT_TRUE(tool->Ready());
        setenv("KELVARIN_COM1", tool->Path().c_str(), 1);
    }
    void TearDown() override {
        QtWindowTest::TearDown();
        tool.reset();
        unsetenv("KELVARIN_COM1");
    }

    torque_sim::Config config;
    std::unique_ptr<PtyTool> tool;
};

TEST_F(QtUploadTest, FullUploadThroughButtonClicksFillsTheWidgets) {
    Open(PosixPlatform(), excel);
    Click(IDC_BUTTON_OPEN);
    Click(IDC_BUTTON_UPLOAD);
    EXPECT_FALSE(Control(IDC_BUTTON_UPLOAD)->isEnabled());
    ASSERT_TRUE(Spin([&] { return Control(IDC_BUTTON_EXPORT)->isEnabled(); }))
        << "no end of upload";

    // The rows the tool's records give, worked out without a window.
    UploadState expected(nullptr);
    expected.BeginUpload();
    for (const torque_sim::SimRecord& r : config.records)
        for (std::uint8_t b :
             torque_sim::EncodeFrame(CMD_RECORD, torque_sim::EncodeRecordPayload(r)))
            expected.receiver.OnByte(b);
    auto* list = Control<QTableWidget>(IDC_LIST_DATA);
    ASSERT_EQ(list->rowCount(), 12);
    for (int row = 0; row < list->rowCount(); ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(list->item(row, column)->text().toStdString(),
                      expected.list.GetItemText(row, column))
                << row << "," << column;
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "12");
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "20");
    // The end frame's acknowledgement leaves after Export is enabled: wait
    // for the request and all fifteen acknowledgements to reach the tool.
    EXPECT_TRUE(Spin([&] { return tool->FromHost().size() == config.records.size() + 4; }));
    EXPECT_EQ(tool->Stop().uploadsCompleted, 1);
}

TEST_F(QtUploadTest, EscapeWithThePortOpenEndsTheDialogFastAndLetsGoOfThePort) {
    dlg = std::make_unique<CKelvarinDlg>(PosixPlatform(), excel);
    app.m_pMainWnd = dlg.get();
    bool opened = false;
    QTimer::singleShot(0, [&] {
        Click(IDC_BUTTON_OPEN);
        opened = Control(IDC_BUTTON_CLOSE)->isEnabled();
        QTest::keyClick(&Dialog(), Qt::Key_Escape);
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(dlg->DoModal(), IDCANCEL);
    dlg.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_TRUE(opened);
    EXPECT_TRUE(backend.Windows().empty());

    // The port opens again at once, in a window made while no main window is
    // set: the ended one must not linger as its parent.
    dlg = std::make_unique<CKelvarinDlg>(PosixPlatform(), excel);
    ASSERT_TRUE(dlg->Create());
    Click(IDC_BUTTON_OPEN);
    EXPECT_TRUE(Control(IDC_BUTTON_CLOSE)->isEnabled());
}

}  // namespace
