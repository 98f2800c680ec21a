#include "ui/dialog.h"
#include "window_fixture.h"

namespace {

// "Port Close" waits for the worker while the window handles its messages.
TEST_F(MainWindowTest, ByteUnderWayWhenPortCloseIsPressedIsHandledDuringTheClose) {
    OpenPort();
    const auto frame = Frame(CMD_DATA_LENGTH, {42});
    ToolSendsUnanswered({frame.begin(), frame.end() - 1});
    // The check byte is on its way when the user closes the port.
    comm.Incoming({frame.back()});
    ASSERT_TRUE(WaitUntilDelivering(8));

    ASSERT_TRUE(window->Click(IDC_BUTTON_CLOSE));
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "42");
    EXPECT_EQ(State(), kPortClosed);
    EXPECT_EQ(comm.LiveThreads(), 0);
    EXPECT_EQ(comm.OpenDevices(), 0);
    EXPECT_TRUE(comm.Boxes().empty());
}

TEST_F(MainWindowTest, EndFrameCompletedDuringTheCloseLeavesExportOff) {
    OpenPort();
    Upload();
    const auto done = Frame(CMD_UPLOAD_DONE);
    ToolSendsUnanswered({done.begin(), done.end() - 1});
    comm.Incoming({done.back()});
    ASSERT_TRUE(WaitUntilDelivering(7));

    ASSERT_TRUE(window->Click(IDC_BUTTON_CLOSE));
    EXPECT_EQ(State(), kPortClosed);
}

TEST_F(MainWindowTest, ClickQueuedWhilePortCloseWaitsReachesNoCommand) {
    OpenPort();
    comm.Incoming({0x00});
    ASSERT_TRUE(WaitUntilDelivering(1));
    // The user clicks "Port Open" while the close is under way; the close's
    // loop takes that input together with the byte.
    window->PostClick(IDC_BUTTON_OPEN);
    ASSERT_TRUE(window->Click(IDC_BUTTON_CLOSE));

    EXPECT_EQ(comm.Count(FakeCommPlatform::Op::CreateFile), 1) << "no second open";
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(State(), kPortClosed);
    EXPECT_EQ(comm.LiveThreads(), 0);
}

TEST_F(MainWindowTest, BytesAreHandledWhileAMessageBoxIsOpen) {
    excel.FailCreation(true);
    OpenPort();
    Upload();
    ToolSends(Frame(CMD_UPLOAD_DONE));
    // While the "Warning" box waits for the user, the tool's frames arrive.
    ui.onMessageBox = [&](const MessageBoxRecord&) {
        const std::size_t before = comm.Writes().size();
        comm.Incoming(Frame(CMD_DATA_LENGTH, {5}));
        EXPECT_TRUE(ui.RunLoopUntil([&] { return comm.Writes().size() > before; }));
        return IDOK;
    };
    ASSERT_TRUE(window->Click(IDC_BUTTON_EXPORT));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "5");
    EXPECT_EQ(comm.Writes().back(), kAck);
}

TEST_F(MainWindowTest, AboutItemOpensTheAboutBoxWhichHandlesBytesAndEndsWithOk) {
    OpenPort();
    std::vector<std::string> texts;
    std::string caption;
    bool mainTookClick = true;
    ui.modalScripts.push_back([&](HeadlessWindow& about) {
        caption = about.tmpl.caption;
        for (HeadlessControl* c : about.AllControls()) texts.push_back(c->text);
        mainTookClick = window->Click(IDC_BUTTON_CLOSE);
        const std::size_t before = comm.Writes().size();
        comm.Incoming(Frame(CMD_DATA_LENGTH, {3}));
        EXPECT_TRUE(ui.RunLoopUntil([&] { return comm.Writes().size() > before; }));
        about.PressEnter();
        return true;
    });
    window->ChooseSystemCommand(IDM_ABOUTBOX);

    EXPECT_EQ(caption, "关于 Kelvarin");
    EXPECT_EQ(texts, (std::vector<std::string>{"", "Kelvarin，1.0 版", "确定"}));
    EXPECT_FALSE(mainTookClick) << "the main window takes no input under its About box";
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "3");
    EXPECT_EQ(ui.windows.size(), 1u) << "the About box is gone";
    EXPECT_EQ(State(), kPortOpen);
}

TEST_F(MainWindowTest, EveryCommandOfTheAboutRangeOpensTheBoxAndOthersGoToTheSystem) {
    int opened = 0;
    for (UINT id : {0x10u, 0x1Fu}) {
        ui.modalScripts.push_back([&](HeadlessWindow& about) {
            ++opened;
            about.PressEscape();
            return true;
        });
        window->ChooseSystemCommand(id);
    }
    EXPECT_EQ(opened, 2);

    window->ChooseSystemCommand(SC_MOVE);
    window->ChooseSystemCommand(0x20);
    EXPECT_EQ(window->defaultSysCommands, (std::vector<UINT>{SC_MOVE, 0x20}));
    EXPECT_EQ(opened, 2);
}

}  // namespace
