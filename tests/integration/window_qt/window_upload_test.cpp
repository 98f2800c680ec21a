#include <unistd.h>

#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>

#include "fake_comm_platform.h"
#include "pty_tool.h"
#include "qt_window_fixture.h"
#include "serial/comm_posix.h"

namespace {

using Bytes = torque_sim::Bytes;

// Against the simulated tool on a pseudo-terminal, through the POSIX platform.
class QtUploadTest : public QtWindowTest {
protected:
    void SetUp() override {
        QtWindowTest::SetUp();
        config.records = torque_sim::DefaultRecords(60);
        // A frame resent after Port Close would land in the next upload.
        config.retransmitAfter = std::chrono::milliseconds(0);
        tool = std::make_unique<PtyTool>(config);
        ASSERT_TRUE(tool->Ready());
        setenv("KELVARIN_COM1", tool->Path().c_str(), 1);
    }
    void TearDown() override {
        QtWindowTest::TearDown();
        tool.reset();
        unsetenv("KELVARIN_COM1");
    }
    // Opens port 1, starts an upload and lets the first rows arrive; the
    // rest wait for this thread's loop.
    void UploadSomeRows() {
        Click(IDC_BUTTON_OPEN);
        Click(IDC_BUTTON_UPLOAD);
        EXPECT_EQ(Enabled(), kUploading);
        ASSERT_TRUE(Spin([&] { return List()->rowCount() >= 3; }));
    }

    torque_sim::Config config;
    std::unique_ptr<PtyTool> tool;
};

// Port Close in the middle of an upload, then a whole upload after reopening,
// each step checked against the enabled-state table.
TEST_F(QtUploadTest, PortCloseMidUploadKeepsTheRowsAndTheNextOpeningUploadsAgain) {
    Open(PosixPlatform(), excel);
    UploadSomeRows();
    Click(IDC_BUTTON_CLOSE);
    EXPECT_EQ(Enabled(), kPortClosed);
    const int kept = List()->rowCount();
    EXPECT_GE(kept, 3);
    EXPECT_LT(kept, 60);
    Spin([] { return false; }, 100);
    EXPECT_EQ(List()->rowCount(), kept) << "nothing arrives on a closed port";
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "60");

    // Upload empties the list at once but keeps the fields.
    Click(IDC_BUTTON_OPEN);
    EXPECT_EQ(Enabled(), kPortOpen);
    Click(IDC_BUTTON_UPLOAD);
    EXPECT_EQ(List()->rowCount(), 0);
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "20");
    ASSERT_TRUE(Spin([&] { return Control(IDC_BUTTON_EXPORT)->isEnabled(); })) << "upload unended";
    EXPECT_EQ(Enabled(), kUploaded);
    // The rows' texts and their export are the shipped program's test.
    EXPECT_EQ(List()->rowCount(), 60);
    // Export is enabled as the last acknowledgement is handed over; the tool
    // counts the upload once that acknowledgement has reached it.
    const Bytes request = {0xEB, 0x00, 0x55, 0xF0, 0x00, 0x00, 0x30};
    EXPECT_TRUE(Spin([&] {
        const auto frames = tool->FromHost();
        return std::find(frames.rbegin(), frames.rend(), request) - frames.rbegin() == 63;
    }));
    EXPECT_EQ(tool->Stop().uploadsCompleted, 1);
}

// Escape, the close box and Enter end the program, also with the port open
// and a byte on its way; the port lets go of the device at once.
TEST_F(QtUploadTest, EscapeCloseBoxAndEnterEndMidUploadFastAndLetGoOfThePort) {
    using End = std::function<void(DialogWidget&)>;
    const std::vector<std::pair<INT_PTR, End>> ways = {
        {IDCANCEL, [](DialogWidget& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {IDCANCEL, [](DialogWidget& d) { d.close(); }},
        {IDOK, [](DialogWidget& d) { QTest::keyClick(&d, Qt::Key_Return); }},
    };
    for (const auto& [result, end] : ways) {
        dlg = std::make_unique<CKelvarinDlg>(PosixPlatform(), excel);
        app.m_pMainWnd = dlg.get();
        QTimer::singleShot(0, [&, end = end] {
            UploadSomeRows();
            end(Dialog());
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
    EXPECT_EQ(Enabled(), kPortOpen);
}

// Over the fake platform, for what a real line cannot do on demand; port 1
// is a pseudo-terminal whose other end the test holds.
class QtFaultTest : public QtWindowTest {
protected:
    // Every byte passes here, so that a test sees a delivery under way
    // before the window has handled it.
    struct Comm : FakeCommPlatform {
        QtFaultTest* test;
        LRESULT SendMessageW(OwnerHandle owner, UINT message, WPARAM w, LPARAM l) override {
            if (message == WM_SERIAL_BYTE) ++test->delivering;
            const LRESULT result = OwnerMailbox::Send(owner, message, w, l);
            if (message == WM_SERIAL_BYTE) ++test->delivered;
            if (message == WM_SERIAL_CTS) test->drainedUpTo = test->delivered.load();
            return result;
        }
    };
    void SetUp() override {
        QtWindowTest::SetUp();
        backend.answerBoxes = true;
        comm.test = this;
        std::string path, error;
        master = torque_sim::OpenPseudoTerminal(path, line, error);
        ASSERT_GE(master, 0) << error;
        setenv("KELVARIN_COM1", path.c_str(), 1);
        Open(comm, excel);
    }
    void TearDown() override {
        QtWindowTest::TearDown();
        close(master);
        close(line);
        unsetenv("KELVARIN_COM1");
    }
    void OpenPort() {
        const int waits = comm.Count(FakeCommPlatform::Op::WaitCommEvent);
        Click(IDC_BUTTON_OPEN);
        ASSERT_EQ(Enabled(), kPortOpen);
        ASSERT_TRUE(Spin([&] { return comm.Count(FakeCommPlatform::Op::WaitCommEvent) > waits; }));
    }
    int Writes() const { return comm.Count(FakeCommPlatform::Op::WriteFile); }
    void Incoming(const Bytes& bytes) {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // The tool sends one frame and waits for its acknowledgement.
    void ToolSends(const Bytes& frame) {
        const int before = Writes();
        Incoming(frame);
        ASSERT_TRUE(Spin([&] { return Writes() > before; })) << "no acknowledgement";
    }

    Comm comm;
    int master = -1, line = -1;
    std::atomic<int> delivering{0}, delivered{0}, drainedUpTo{0};
};

TEST_F(QtFaultTest, PortOrWorkerThatCannotStartShowsOneBoxAndChangesNothing) {
    for (auto op : {FakeCommPlatform::Op::CreateFile, FakeCommPlatform::Op::CreateThread}) {
        backend.boxes.clear();
        comm.Fail(op, 2);
        Click(IDC_BUTTON_OPEN);
        EXPECT_EQ(backend.boxes,
                  (std::vector<std::string>{
                      "提示|打开端口失败,\n请确认端口是否选择正确或端口已经打开!|48"}));
        EXPECT_EQ(Enabled(), kPortClosed);  // what the port holds is the port suite's
        EXPECT_TRUE(comm.Boxes().empty()) << "the port itself reports nothing";
    }
    OpenPort();  // the user may try again, and then it works
}

// An end frame before any upload enables Export beside Upload; a failing
// export is shown in one box and the window goes on.
TEST_F(QtFaultTest, EndFrameBeforeAnUploadAndAnExportFailureShownOnce) {
    OpenPort();
    ToolSends(torque_sim::EncodeFrame(CMD_UPLOAD_DONE, {}));
    EXPECT_EQ(Enabled(), "00111");

    excel.FailCall(3);
    Click(IDC_BUTTON_EXPORT);
    ASSERT_EQ(backend.boxes.size(), 1u);
    EXPECT_EQ(backend.boxes[0].rfind("kelvarin|", 0), 0u) << backend.boxes[0];
    EXPECT_EQ(backend.boxes[0].substr(backend.boxes[0].rfind('|')), "|16");
    EXPECT_EQ(Enabled(), "00111");

    Click(IDC_BUTTON_EXPORT);
    EXPECT_EQ(excel.Cells().at("D1"), "PASS");
    EXPECT_EQ(backend.boxes.size(), 1u);
}

// "Port Close" waits for the worker while the window handles its messages:
// the byte under way is handled, a click meanwhile reaches no command, and
// an end frame completed meanwhile leaves Export off.
TEST_F(QtFaultTest, PortCloseHandlesTheByteUnderWayButNoClick) {
    for (const Bytes& frame : {torque_sim::EncodeFrame(CMD_DATA_LENGTH, {42}),
                               torque_sim::EncodeFrame(CMD_UPLOAD_DONE, {})}) {
        OpenPort();
        const int writes = Writes();
        Click(IDC_BUTTON_UPLOAD);
        // The worker empties the input before it writes the request.
        ASSERT_TRUE(Spin([&] { return Writes() > writes; }));
        const int target = delivered.load() + static_cast<int>(frame.size()) - 1;
        Incoming({frame.begin(), frame.end() - 1});
        ASSERT_TRUE(Spin([&] { return drainedUpTo.load() >= target; }));
        Incoming({frame.back()});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (delivering.load() <= target) ASSERT_LT(std::chrono::steady_clock::now(), deadline);

        QTimer::singleShot(0, [&] {
            for (int id : {IDC_BUTTON_OPEN, IDC_BUTTON_UPLOAD, IDC_BUTTON_EXPORT})
                QTest::mouseClick(Control(id), Qt::LeftButton);
        });
        Click(IDC_BUTTON_CLOSE);
        EXPECT_EQ(Enabled(), kPortClosed);
        EXPECT_EQ(comm.liveThreads, 0);
    }
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "42");
    EXPECT_EQ(comm.Count(FakeCommPlatform::Op::CreateFile), 2) << "no open from a click";
    EXPECT_EQ(Writes(), 2) << "no upload from a click";
    EXPECT_TRUE(excel.Calls().empty()) << "no export from a click";
    EXPECT_TRUE(backend.boxes.empty());
}

}  // namespace
