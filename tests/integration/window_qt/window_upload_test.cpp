#include <QComboBox>

#include "pty_tool.h"
#include "qt_window_fixture.h"

namespace {

using torque_sim::EncodeFrame;

class QtUploadTest : public QtWindowTest {
protected:
    // Opens port 1, starts an upload and lets the first rows arrive; the
    // rest wait for this thread's loop.
    void UploadSomeRows() {
        Click(IDC_BUTTON_OPEN);
        Click(IDC_BUTTON_UPLOAD);
        EXPECT_EQ(Enabled(), "00100");
        ASSERT_TRUE(Spin([&] { return List()->rowCount() >= 3; }));
    }
};

// Port Close in the middle of an upload, then a whole upload after reopening,
// each step checked against the enabled-state table.
TEST_F(QtUploadTest, PortCloseMidUploadKeepsTheRowsAndTheNextOpeningUploadsAgain) {
    UploadSomeRows();
    Click(IDC_BUTTON_CLOSE);
    EXPECT_EQ(Enabled(), "11000");
    const int kept = List()->rowCount();
    EXPECT_LT(kept, 60);
    QTest::qWait(100);
    EXPECT_EQ(List()->rowCount(), kept) << "nothing arrives on a closed port";
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "60");

    // Upload empties the list at once but keeps the fields. The port chosen
    // is the one opened: port 12, a tool of two records.
    PtyTool twelve({.records = torque_sim::DefaultRecords(2), .retransmitAfter = {}, .faults = {}});
    setenv("KELVARIN_COM12", twelve.Path().c_str(), 1);
    Control<QComboBox>(IDC_COMBO_PORT)->setCurrentIndex(11);
    Click(IDC_BUTTON_OPEN);
    Click(IDC_BUTTON_UPLOAD);
    EXPECT_EQ(List()->rowCount(), 0);
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "20");
    ASSERT_TRUE(Spin([&] { return Control(IDC_BUTTON_EXPORT)->isEnabled(); })) << "upload unended";
    EXPECT_EQ(Enabled(), "00101");
    EXPECT_EQ(List()->rowCount(), 2);
    Click(IDC_BUTTON_CLOSE);  // before the tool hangs up
}

// Escape, the close box and Enter (other than on a button) end the program,
// also with the port open and a byte on its way; the port lets go at once.
TEST_F(QtUploadTest, EscapeCloseBoxAndEnterEndMidUploadFastAndLetGoOfThePort) {
    for (const auto& [result, end] : std::vector<std::pair<INT_PTR, std::function<void()>>>{
             {IDCANCEL, [this] { QTest::keyClick(&Dialog(), Qt::Key_Escape); }},
             {IDCANCEL, [this] { Dialog().close(); }},
             {IDOK, [this] { QTest::keyClick(List(), Qt::Key_Return); }}}) {
        dlg = std::make_unique<CKelvarinDlg>(PosixPlatform(), excel);
        app.m_pMainWnd = dlg.get();
        QTimer::singleShot(0, [&, end = end] {
            UploadSomeRows();
            end();
        });
        EXPECT_EQ(dlg->DoModal(), result);
        dlg.reset();  // a worker left blocked in a delivery would hang here
        EXPECT_TRUE(backend.Windows().empty());
    }
    // The port opens again at once, in a window made while no main window is
    // set: the ended one must not linger as its parent.
    app.m_pMainWnd = nullptr;
    dlg = std::make_unique<CKelvarinDlg>(PosixPlatform(), excel);
    ASSERT_TRUE(dlg->Create());
    Click(IDC_BUTTON_OPEN);
    EXPECT_EQ(Enabled(), "00110");
}

class QtFaultTest : public QtWindowTest {};

// A port or worker that cannot start and an export that fails each show one
// box and change nothing, and the next try works. An end frame before any
// upload enables Export beside Upload.
TEST_F(QtFaultTest, PortWorkerOrExportFailureShowsOneBoxAndChangesNothing) {
    Open(comm);
    for (auto op : {FakeCommPlatform::Op::CreateFile, FakeCommPlatform::Op::CreateThread}) {
        comm.Fail(op, 2, 1);
        EXPECT_EQ(Boxes([&] { Click(IDC_BUTTON_OPEN); }),
                  (std::vector<std::string>{
                      "提示|打开端口失败,\n请确认端口是否选择正确或端口已经打开!|2"}));
        EXPECT_EQ(Enabled(), "11000");
    }
    Click(IDC_BUTTON_OPEN);
    Deliver(EncodeFrame(CMD_UPLOAD_DONE, {}));
    EXPECT_EQ(Enabled(), "00111");
    excel.FailCall(3);
    EXPECT_EQ(Boxes([&] { Click(IDC_BUTTON_EXPORT); }),
              std::vector<std::string>{"kelvarin|Scripted failure|3"});
    EXPECT_EQ(Enabled(), "00111");
    EXPECT_TRUE(Boxes([&] { Click(IDC_BUTTON_EXPORT); }).empty());
    EXPECT_EQ(excel.Cells().at("D1"), "PASS");
    EXPECT_EQ(Enabled(), "00111");

    // A worker that gives up on its waits leaves Port Close, and the port
    // opens again after it.
    Open(comm);
    using Op = FakeCommPlatform::Op;
    for (int times : {-1, 0}) {
        comm.Fail(Op::WaitForMultipleObjects, 6, times);
        comm.Fail(Op::WaitForSingleObject, 6, times);
        if (times == 0) continue;
        Click(IDC_BUTTON_OPEN);
        EXPECT_TRUE(Spin([&] { return Enabled() == "00100"; })) << Enabled();
    }
    Click(IDC_BUTTON_CLOSE);
    Click(IDC_BUTTON_OPEN);
    EXPECT_EQ(Enabled(), "00110");

    // No spreadsheet program: a plain OK box of the window's.
    Open(comm, &UnavailableAutomationClient());
    Deliver(EncodeFrame(CMD_UPLOAD_DONE, {}));
    EXPECT_EQ(Boxes([&] { Click(IDC_BUTTON_EXPORT); }),
              std::vector<std::string>{"Warning|Can not Create Excel Application!|0"});
}

// "Port Close" waits for the worker while the window handles its messages:
// the byte under way is handled, a click meanwhile reaches no command, and
// an end frame completed meanwhile leaves Export off.
TEST_F(QtFaultTest, PortCloseHandlesTheByteUnderWayButNoClick) {
    Open(comm);
    // A row for Upload to clear, and Export on, should their clicks get through.
    Deliver(EncodeFrame(CMD_RECORD, torque_sim::EncodeRecordPayload({})));
    Deliver(EncodeFrame(CMD_UPLOAD_DONE, {}));
    Deliver(EncodeFrame(CMD_FULL_RANGE, {0x13, 0x88}));  // 0.5, shown with the data length
    for (const torque_sim::Bytes& frame :
         {EncodeFrame(CMD_DATA_LENGTH, {42}), EncodeFrame(CMD_UPLOAD_DONE, {})}) {
        Click(IDC_BUTTON_OPEN);
        Deliver({frame.begin(), frame.end() - 1});
        // The last byte arrives while Port Close waits, and clicks meanwhile.
        QTimer::singleShot(0, [&] {
            Deliver({frame.back()});
            for (int id : {IDC_BUTTON_OPEN, IDC_BUTTON_UPLOAD, IDC_BUTTON_EXPORT})
                QTest::mouseClick(Control(id), Qt::LeftButton);
        });
        EXPECT_TRUE(Boxes([&] { Click(IDC_BUTTON_CLOSE); }).empty());
        EXPECT_EQ(Enabled(), "11000");
    }
    EXPECT_EQ(Text(IDC_EDIT_LENGTH) + " " + Text(IDC_EDIT_RANGE), "42 0.5");
    EXPECT_EQ(comm.Count(FakeCommPlatform::Op::CreateFile), 2) << "no open from a click";
    EXPECT_EQ(List()->rowCount(), 1) << "no upload from a click";
    EXPECT_TRUE(excel.Calls().empty()) << "no export from a click";
}

}  // namespace
