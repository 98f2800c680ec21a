#include "window_fixture.h"

namespace {

TEST_F(MainWindowTest, StartsWithPortListColumnsZeroFieldsAndOnlyThePortChoiceEnabled) {
    HeadlessControl& ports = Control(IDC_COMBO_PORT);
    ASSERT_EQ(ports.items.size(), 12u);
    for (int n = 1; n <= 12; ++n) EXPECT_EQ(ports.items[n - 1], std::to_string(n));
    EXPECT_EQ(ports.selection, 0);

    HeadlessControl& list = Control(IDC_LIST_DATA);
    const std::vector<std::pair<std::string, int>> columns = {
        {"ID", 90}, {"DATA", 100}, {"UNIT", 100}, {"PASS", 80}};
    ASSERT_EQ(list.columns.size(), columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(list.columns[i].heading, columns[i].first);
        EXPECT_EQ(list.columns[i].width, columns[i].second);
        EXPECT_EQ(list.columns[i].format, LVCFMT_CENTER);
    }
    EXPECT_TRUE(list.extendedStyle & LVS_EX_GRIDLINES);
    EXPECT_TRUE(list.rows.empty());

    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "0");
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "0");
    EXPECT_EQ(State(), kPortClosed);
    EXPECT_EQ(window->focusId, IDC_COMBO_PORT) << "hidden OK and Cancel take no focus";

    // The system menu ends with a separator and the About item.
    ASSERT_EQ(window->systemMenu.size(), 2u);
    EXPECT_EQ(window->systemMenu[0].flags, static_cast<UINT>(MF_SEPARATOR));
    EXPECT_EQ(window->systemMenu[1].id, static_cast<UINT>(IDM_ABOUTBOX));
    EXPECT_EQ(window->systemMenu[1].text, "关于 Kelvarin(&A)...");
    EXPECT_EQ(window->bigIcon, HeadlessBackend::IconHandle(IDR_MAINFRAME));
    EXPECT_EQ(window->smallIcon, HeadlessBackend::IconHandle(IDR_MAINFRAME));

    // Fifty empty records wait until the first upload empties them.
    EXPECT_EQ(dlg->RecordCount(), 50u);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MainWindowTest, EnabledStatesFollowTheStepsOfAnUpload) {
    OpenPort();
    EXPECT_EQ(State(), kPortOpen);

    ASSERT_TRUE(window->Click(IDC_BUTTON_UPLOAD));
    EXPECT_EQ(State(), kUploading);
    EXPECT_FALSE(window->Click(IDC_BUTTON_UPLOAD)) << "one upload per opening";

    ToolSends(Frame(CMD_FULL_RANGE, {0x07, 0xD0}));
    ToolSends(Frame(CMD_DATA_LENGTH, {1}));
    ToolSends(Record(1, 12345, 2, 2));
    EXPECT_EQ(State(), kUploading);
    ToolSends(Frame(CMD_UPLOAD_DONE));
    EXPECT_EQ(State(), kUploaded);

    // Export changes no enabled state.
    ASSERT_TRUE(window->Click(IDC_BUTTON_EXPORT));
    EXPECT_EQ(State(), kUploaded);

    ASSERT_TRUE(window->Click(IDC_BUTTON_CLOSE));
    EXPECT_EQ(State(), kPortClosed);

    // Reopening offers Upload again, and Export stays off until the next end.
    OpenPort();
    EXPECT_EQ(State(), kPortOpen);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MainWindowTest, EndFrameBeforeAnyUploadEnablesExportBesideUpload) {
    OpenPort();
    ToolSends(Frame(CMD_UPLOAD_DONE));
    EXPECT_EQ(State(), (Enabled{false, false, true, true, true}));
}

TEST_F(MainWindowTest, PortThatCannotBeOpenedShowsOneBoxAndChangesNothing) {
    comm.Fail(FakeCommPlatform::Op::CreateFile, 2);
    ASSERT_TRUE(window->Click(IDC_BUTTON_OPEN));

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "打开端口失败,\n请确认端口是否选择正确或端口已经打开!");
    EXPECT_EQ(ui.boxes[0].caption, "提示");
    EXPECT_EQ(ui.boxes[0].type, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_TRUE(ui.boxes[0].owned);
    EXPECT_EQ(State(), kPortClosed);
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "0");
    EXPECT_TRUE(comm.Boxes().empty()) << "the port itself reports nothing";
    EXPECT_EQ(comm.LiveThreads(), 0);

    // The user may try again, and then it works.
    OpenPort();
    EXPECT_EQ(State(), kPortOpen);
}

TEST_F(MainWindowTest, WorkerThatCannotStartIsReportedLikeAPortThatCannotBeOpened) {
    comm.Fail(FakeCommPlatform::Op::CreateThread, 8);
    ASSERT_TRUE(window->Click(IDC_BUTTON_OPEN));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "提示");
    EXPECT_EQ(State(), kPortClosed);
    EXPECT_EQ(comm.OpenDevices(), 0) << "no device may stay held without a worker";
}

TEST_F(MainWindowTest, OpensThePortNumberOfTheSelectedItem) {
    Control(IDC_COMBO_PORT).selection = 11;
    OpenPort();
    ASSERT_TRUE(window->Click(IDC_BUTTON_CLOSE));
    Control(IDC_COMBO_PORT).selection = 0;
    OpenPort();

    const auto opens = comm.CallsOf(FakeCommPlatform::Op::CreateFile);
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].text, "\\\\.\\COM12");
    EXPECT_EQ(opens[1].text, "\\\\.\\COM1");
}

}  // namespace

namespace {

TEST_F(MainWindowTest, SystemMenuGetsNothingWithoutTheAboutText) {
    AfxSetStringTable({});
    TestableDlg other(comm, excel);
    ASSERT_TRUE(other.Create());
    EXPECT_TRUE(ui.Top()->systemMenu.empty());
}

}  // namespace
