#include "window_fixture.h"

namespace {

using Texts = std::vector<std::string>;

Texts Row(HeadlessControl& list, int row) {
    Texts texts;
    for (int c = 0; c < list.GetColumnCount(); ++c) texts.push_back(list.GetItemText(row, c));
    return texts;
}

TEST_F(MainWindowTest, StartsWithPortListColumnsZeroFieldsAndOnlyThePortChoiceEnabled) {
    HeadlessControl& ports = Control(IDC_COMBO_PORT);
    EXPECT_EQ(ports.items, (Texts{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
    EXPECT_EQ(ports.selection, 0);

    HeadlessControl& list = Control(IDC_LIST_DATA);
    Texts columns;
    for (const auto& c : list.columns)
        columns.push_back(c.heading + " " + std::to_string(c.width) +
                          (c.format == LVCFMT_CENTER ? " centred" : ""));
    EXPECT_EQ(columns,
              (Texts{"ID 90 centred", "DATA 100 centred", "UNIT 100 centred", "PASS 80 centred"}));
    EXPECT_TRUE(list.extendedStyle & LVS_EX_GRIDLINES);

    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "0");
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "0");
    EXPECT_EQ(State(), kPortClosed);
    EXPECT_EQ(window->focusId, IDC_COMBO_PORT) << "hidden OK and Cancel take no focus";
    ASSERT_EQ(window->systemMenu.size(), 2u);
    EXPECT_EQ(window->systemMenu[0].flags, static_cast<UINT>(MF_SEPARATOR));
    EXPECT_EQ(window->systemMenu[1].text, "关于 Kelvarin(&A)...");
    EXPECT_EQ(window->bigIcon, HeadlessBackend::IconHandle(IDR_MAINFRAME));
}

// One walk through the enabled-state table, with what each step shows.
TEST_F(MainWindowTest, UploadCloseAndReopenFollowTheTableAndKeepOrEmptyTheData) {
    Control(IDC_COMBO_PORT).selection = 11;
    OpenPort();
    EXPECT_EQ(State(), kPortOpen);
    Upload();
    EXPECT_EQ(State(), kUploading);
    EXPECT_FALSE(window->Click(IDC_BUTTON_UPLOAD)) << "one upload per opening";
    dlg->SendMessage(WM_COMMAND, MakeWParam(IDC_BUTTON_CLOSE, 5), 0);
    EXPECT_EQ(State(), kUploading) << "another notification of a button is no click";
    EXPECT_EQ(dlg->RecordCount(), 0u);

    ToolSends(Frame(CMD_FULL_RANGE, {0x13, 0x88}));
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "0") << "the fields change with the data length";
    ToolSends(Frame(CMD_DATA_LENGTH, {2}));
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "2");
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "0.5");
    ToolSends(Record(1, 12345, 2, 2));
    ToolSends(Record(2, -500, 3, 0));
    EXPECT_EQ(State(), kUploading);
    ToolSends(Frame(CMD_UPLOAD_DONE));
    EXPECT_EQ(State(), kUploaded);

    HeadlessControl& list = Control(IDC_LIST_DATA);
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(Row(list, 0), (Texts{"1", "123.449997", "N.m", "passed"}));
    EXPECT_EQ(Row(list, 1), (Texts{"2", "-0.500000", " ", "passed"}));
    EXPECT_EQ(dlg->RecordCount(), 2u);
    EXPECT_FLOAT_EQ(dlg->FullRange(), 0.5f);

    // Export writes the list and changes no enabled state.
    ASSERT_TRUE(window->Click(IDC_BUTTON_EXPORT));
    EXPECT_EQ(excel.Cells().at("A1"), "ID");
    EXPECT_EQ(excel.Cells().at("B3"), "-0.500000");
    EXPECT_EQ(State(), kUploaded);

    // Port Close keeps rows, records and fields, and takes Export away.
    ASSERT_TRUE(window->Click(IDC_BUTTON_CLOSE));
    EXPECT_EQ(State(), kPortClosed);
    EXPECT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(dlg->RecordCount(), 2u);

    // Reopening offers Upload again; the next upload empties list and
    // records but keeps the fields.
    Control(IDC_COMBO_PORT).selection = 0;
    OpenPort();
    EXPECT_EQ(State(), kPortOpen);
    Upload();
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ(list.columns.size(), 4u);
    EXPECT_EQ(dlg->RecordCount(), 0u);
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "2");
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "0.5");

    const auto opens = comm.CallsOf(FakeCommPlatform::Op::CreateFile);
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].text, "\\\\.\\COM12");
    EXPECT_EQ(opens[1].text, "\\\\.\\COM1");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MainWindowTest, PortOrWorkerThatCannotStartShowsOneBoxAndChangesNothing) {
    for (auto op : {FakeCommPlatform::Op::CreateFile, FakeCommPlatform::Op::CreateThread}) {
        ui.boxes.clear();
        comm.Fail(op, 2);
        ASSERT_TRUE(window->Click(IDC_BUTTON_OPEN));
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, "打开端口失败,\n请确认端口是否选择正确或端口已经打开!");
        EXPECT_EQ(ui.boxes[0].caption, "提示");
        EXPECT_EQ(ui.boxes[0].type, static_cast<UINT>(MB_ICONEXCLAMATION));
        EXPECT_TRUE(ui.boxes[0].owned);
        EXPECT_EQ(State(), kPortClosed);
        EXPECT_TRUE(comm.Boxes().empty()) << "the port itself reports nothing";
        EXPECT_EQ(comm.LiveThreads(), 0);
        EXPECT_EQ(comm.OpenDevices(), 0) << "no device may stay held without a worker";
    }
    // The user may try again, and then it works.
    OpenPort();
    EXPECT_EQ(State(), kPortOpen);
}

// An end frame before any upload enables Export beside Upload; each failing
// export is shown in one box and the window goes on.
TEST_F(MainWindowTest, EndFrameBeforeAnUploadAndExportFailuresShownOnce) {
    const Enabled endBeforeUpload = {false, false, true, true, true};
    OpenPort();
    ToolSends(Frame(CMD_UPLOAD_DONE));
    EXPECT_EQ(State(), endBeforeUpload);

    excel.FailCall(3);
    ASSERT_TRUE(window->Click(IDC_BUTTON_EXPORT));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_FALSE(ui.boxes[0].text.empty());
    EXPECT_EQ(ui.boxes[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONSTOP));
    EXPECT_EQ(excel.LiveObjects(), 0u);
    EXPECT_EQ(State(), endBeforeUpload);

    // The Warning box handles the tool's bytes while it waits for the user.
    excel.FailCreation(true);
    ui.onMessageBox = [&](const MessageBoxRecord&) {
        ToolSends(Frame(CMD_DATA_LENGTH, {5}));
        return IDOK;
    };
    ASSERT_TRUE(window->Click(IDC_BUTTON_EXPORT));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].caption, "Warning");
    EXPECT_TRUE(ui.boxes[1].owned);
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "5");

    excel.FailCreation(false);
    ASSERT_TRUE(window->Click(IDC_BUTTON_EXPORT));
    EXPECT_EQ(excel.Cells().at("D1"), "PASS");
    EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST_F(MainWindowTest, OkTakesTheFieldsBackAndTheMinimisedWindowPaintsItsIcon) {
    window->Paint();
    EXPECT_EQ(window->paintedIcon, nullptr) << "a normal window is painted by the dialog";
    window->iconic = true;
    window->Paint();
    EXPECT_NE(dlg->Icon(), nullptr);
    EXPECT_EQ(window->paintedIcon, dlg->Icon());
    EXPECT_EQ(dlg->SendMessage(WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(dlg->Icon()));

    // A field text its member cannot take keeps the dialog open.
    for (const char* bad : {"", "-1", "12x", "4294967296"}) {
        Control(IDC_EDIT_LENGTH).text = bad;
        window->PressEnter();
        EXPECT_FALSE(window->ended) << bad;
    }
    Control(IDC_EDIT_LENGTH).text = "4294967295";
    Control(IDC_EDIT_RANGE).text = "2.5";
    window->PressEnter();
    EXPECT_EQ(window->result, IDOK);
    EXPECT_EQ(dlg->DataLength(), 4294967295u);
    EXPECT_FLOAT_EQ(dlg->FullRange(), 2.5f);
}

}  // namespace
