#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>

#include "protocol/upload_state.h"
#include "pty_tool.h"
#include "qt_window_fixture.h"
#include "serial/comm_posix.h"

namespace {

// The rows and field texts an upload of `config` gives, worked out without a
// window from the frames the tool sends.
UploadState Expected(const torque_sim::Config& config) {
    UploadState expected(nullptr);
    auto feed = [&](const torque_sim::Bytes& frame) {
        for (std::uint8_t b : frame) expected.receiver.OnByte(b);
    };
    expected.BeginUpload();
    feed(torque_sim::EncodeFrame(CMD_FULL_RANGE,
                                 {static_cast<std::uint8_t>(config.fullRangeRaw >> 8),
                                  static_cast<std::uint8_t>(config.fullRangeRaw & 0xFF)}));
    feed(torque_sim::EncodeFrame(CMD_DATA_LENGTH,
                                 {static_cast<std::uint8_t>(config.records.size())}));
    for (const torque_sim::SimRecord& r : config.records)
        feed(torque_sim::EncodeFrame(CMD_RECORD, torque_sim::EncodeRecordPayload(r)));
    feed(torque_sim::EncodeFrame(CMD_UPLOAD_DONE, {}));
    return expected;
}

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
    void Click(int id) {
        QPushButton* button = Control<QPushButton>(id);
        ASSERT_TRUE(button->isEnabled()) << id;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    torque_sim::Config config;
    std::unique_ptr<PtyTool> tool;
};

TEST_F(QtUploadTest, FullUploadThroughButtonClicksFillsTheWidgets) {
    Open(PosixPlatform());
    Click(IDC_BUTTON_OPEN);
    ASSERT_TRUE(Control(IDC_BUTTON_UPLOAD)->isEnabled()) << "the pty did not open";
    EXPECT_FALSE(Control(IDC_COMBO_PORT)->isEnabled());
    Click(IDC_BUTTON_UPLOAD);
    EXPECT_FALSE(Control(IDC_BUTTON_UPLOAD)->isEnabled());
    ASSERT_TRUE(Spin([&] { return Control(IDC_BUTTON_EXPORT)->isEnabled(); }))
        << "no end of upload";

    const UploadState expected = Expected(config);
    auto* list = Control<QTableWidget>(IDC_LIST_DATA);
    ASSERT_EQ(list->rowCount(), expected.list.GetItemCount());
    for (int row = 0; row < list->rowCount(); ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(list->item(row, column)->text().toStdString(),
                      expected.list.GetItemText(row, column))
                << row << "," << column;
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "12");
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "20");

    Click(IDC_BUTTON_CLOSE);
    EXPECT_TRUE(Control(IDC_BUTTON_OPEN)->isEnabled());
    EXPECT_FALSE(Control(IDC_BUTTON_EXPORT)->isEnabled());
    EXPECT_EQ(list->rowCount(), 12) << "the rows stay";
    EXPECT_EQ(tool->Stop().uploadsCompleted, 1);
}

TEST_F(QtUploadTest, EscapeWithThePortOpenEndsTheDialogAndStopsThePort) {
    dlg = std::make_unique<CKelvarinDlg>(PosixPlatform(), excel);
    app.m_pMainWnd = dlg.get();
    bool opened = false;
    QTimer::singleShot(0, [&] {
        QtWindow& window = Window();
        QTest::mouseClick(
            window.Widget()->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(IDC_BUTTON_OPEN)),
            Qt::LeftButton);
        opened = window.Widget()
                     ->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(IDC_BUTTON_CLOSE))
                     ->isEnabled();
        QTest::keyClick(window.Widget(), Qt::Key_Escape);
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(dlg->DoModal(), IDCANCEL);
    app.m_pMainWnd = nullptr;
    dlg.reset();
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(opened);
    EXPECT_TRUE(backend.Windows().empty());
    RecordProperty(
        "close_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

    // The device was let go: the port opens again at once.
    CKelvarinDlg again(PosixPlatform(), excel);
    ASSERT_TRUE(again.Create());
    QTest::mouseClick(static_cast<QtWindow*>(again.GetPeer())
                          ->Widget()
                          ->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(IDC_BUTTON_OPEN)),
                      Qt::LeftButton);
    EXPECT_TRUE(static_cast<QtWindow*>(again.GetPeer())
                    ->Widget()
                    ->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(IDC_BUTTON_CLOSE))
                    ->isEnabled());
}

}  // namespace
