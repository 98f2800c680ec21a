#include "window_fixture.h"

namespace {

// "Port Close" waits for the worker while the window handles its messages:
// the byte under way is handled, no queued click reaches a command, and an
// end frame completed meanwhile leaves Export off.
TEST_F(MainWindowTest, PortCloseHandlesTheByteUnderWayButNoClick) {
    for (const Bytes& frame : {Frame(CMD_DATA_LENGTH, {42}), Frame(CMD_UPLOAD_DONE)}) {
        OpenPort();
        Upload();
        ToolSendsAllButLastHandled(frame);
        window->PostClick(IDC_BUTTON_OPEN);
        window->PostClick(IDC_BUTTON_EXPORT);
        ASSERT_TRUE(window->Click(IDC_BUTTON_CLOSE));
        EXPECT_EQ(State(), kPortClosed);
        EXPECT_EQ(comm.LiveThreads(), 0);
        EXPECT_EQ(comm.OpenDevices(), 0);
    }
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "42");
    EXPECT_EQ(comm.Count(FakeCommPlatform::Op::CreateFile), 2) << "no open from a queued click";
    EXPECT_TRUE(excel.Calls().empty()) << "no export from a queued click";
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(comm.Boxes().empty());
}

TEST_F(MainWindowTest, AboutRangeOpensTheAboutBoxWhichHandlesBytesAndOthersGoToTheSystem) {
    OpenPort();
    std::vector<std::string> texts;
    bool mainTookClick = true;
    ui.modalScripts.push_back([&](HeadlessWindow& about) {
        texts.push_back(about.tmpl.caption);
        for (HeadlessControl* c : about.AllControls()) texts.push_back(c->text);
        mainTookClick = window->Click(IDC_BUTTON_CLOSE);
        ToolSends(Frame(CMD_DATA_LENGTH, {3}));
        about.PressEnter();
        return true;
    });
    window->ChooseSystemCommand(IDM_ABOUTBOX);
    EXPECT_EQ(texts, (std::vector<std::string>{"关于 Kelvarin", "", "Kelvarin，1.0 版", "确定"}));
    EXPECT_FALSE(mainTookClick) << "the main window takes no input under its About box";
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "3");
    EXPECT_EQ(ui.windows.size(), 1u) << "the About box is gone";
    EXPECT_EQ(State(), kPortOpen);

    // The low four bits do not count; other commands go to the system.
    ui.modalScripts.push_back([](HeadlessWindow& about) {
        about.PressEscape();
        return true;
    });
    window->ChooseSystemCommand(IDM_ABOUTBOX | 0xF);
    EXPECT_TRUE(ui.modalScripts.empty());
    window->ChooseSystemCommand(SC_MOVE);
    window->ChooseSystemCommand(IDM_ABOUTBOX + 0x10);
    EXPECT_EQ(window->defaultSysCommands, (std::vector<UINT>{SC_MOVE, IDM_ABOUTBOX + 0x10}));
}

// A second main window, run modally with its port open and a byte on its way
// to the window, ends the way the user chose; its port stops the worker and
// lets go of the device without a word to the user.
TEST_F(MainWindowTest, EscapeCloseBoxAndEnterEndTheProgramAlsoWithThePortOpen) {
    const std::vector<std::pair<INT_PTR, void (HeadlessWindow::*)()>> ways = {
        {IDCANCEL, &HeadlessWindow::PressEscape},
        {IDCANCEL, &HeadlessWindow::PressCloseBox},
        {IDOK, &HeadlessWindow::PressEnter},
    };
    for (const auto& [result, end] : ways) {
        const auto started = std::chrono::steady_clock::now();
        {
            TestableDlg second(comm, excel);
            ui.modalScripts.push_back([&](HeadlessWindow& w) {
                OpenPort(&w);
                const int before = delivering.load();
                comm.Incoming({0xEB});
                EXPECT_TRUE(WaitUntilDelivering(before + 1));
                (w.*end)();
                return true;
            });
            EXPECT_EQ(second.DoModal(), result);
        }
        EXPECT_EQ(comm.LiveThreads(), 0);
        EXPECT_EQ(comm.OpenDevices(), 0);
        EXPECT_TRUE(comm.Boxes().empty());
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    }
}

}  // namespace
