#include "window_fixture.h"

namespace {

std::vector<std::string> Row(HeadlessControl& list, int row) {
    std::vector<std::string> texts;
    for (int c = 0; c < list.GetColumnCount(); ++c) texts.push_back(list.GetItemText(row, c));
    return texts;
}

TEST_F(MainWindowTest, UploadSendsTheRequestAndTheRepliesFillFieldsAndList) {
    OpenPort();
    Upload();
    EXPECT_EQ(comm.Writes()[0], kUploadRequest);
    EXPECT_EQ(dlg->RecordCount(), 0u);
    EXPECT_EQ(dlg->RecordCapacity(), 0u) << "the storage is given back";

    ToolSends(Frame(CMD_FULL_RANGE, {0x13, 0x88}));
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "0") << "the fields change with the data length";
    ToolSends(Frame(CMD_DATA_LENGTH, {2}));
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "2");
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "0.5");
    ToolSends(Record(1, 12345, 2, 2));
    ToolSends(Record(2, -500, 3, 0));
    ToolSends(Frame(CMD_UPLOAD_DONE));

    HeadlessControl& list = Control(IDC_LIST_DATA);
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(Row(list, 0), (std::vector<std::string>{"1", "123.449997", "N.m", "passed"}));
    EXPECT_EQ(Row(list, 1), (std::vector<std::string>{"2", "-0.500000", " ", "passed"}));
    EXPECT_EQ(dlg->RecordCount(), 2u);
    EXPECT_EQ(dlg->DataLength(), 2u);
    EXPECT_FLOAT_EQ(dlg->FullRange(), 0.5f);
}

TEST_F(MainWindowTest, NextUploadEmptiesListAndRecordsButKeepsTheFields) {
    OpenPort();
    Upload();
    ToolSends(Frame(CMD_FULL_RANGE, {0x07, 0xD0}));
    ToolSends(Frame(CMD_DATA_LENGTH, {1}));
    ToolSends(Record(1, 7, 0, 1));
    ToolSends(Frame(CMD_UPLOAD_DONE));

    // Port Close keeps rows, records and field texts, and takes Export away.
    ASSERT_TRUE(window->Click(IDC_BUTTON_CLOSE));
    EXPECT_EQ(Control(IDC_LIST_DATA).rows.size(), 1u);
    EXPECT_EQ(dlg->RecordCount(), 1u);
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "1");
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "2");
    EXPECT_FALSE(Control(IDC_BUTTON_EXPORT).enabled);

    OpenPort();
    Upload();
    EXPECT_TRUE(Control(IDC_LIST_DATA).rows.empty());
    EXPECT_EQ(Control(IDC_LIST_DATA).columns.size(), 4u) << "the columns stay";
    EXPECT_EQ(dlg->RecordCount(), 0u);
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "1");
    EXPECT_EQ(Text(IDC_EDIT_RANGE), "2");
}

TEST_F(MainWindowTest, ExportWritesTheListAndAFailingCallIsShownWithoutEndingTheProgram) {
    OpenPort();
    Upload();
    ToolSends(Record(1, 12345, 2, 2));
    ToolSends(Frame(CMD_UPLOAD_DONE));

    ASSERT_TRUE(window->Click(IDC_BUTTON_EXPORT));
    EXPECT_EQ(excel.Cells().at("A1"), "ID");
    EXPECT_EQ(excel.Cells().at("B2"), "123.449997");
    EXPECT_EQ(excel.Cells().at("D2"), "passed");
    EXPECT_TRUE(ui.boxes.empty());

    excel.FailCall(3);
    ASSERT_TRUE(window->Click(IDC_BUTTON_EXPORT));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_FALSE(ui.boxes[0].text.empty());
    EXPECT_EQ(ui.boxes[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONSTOP));
    EXPECT_EQ(excel.LiveObjects(), 0u);
    EXPECT_EQ(State(), kUploaded);

    // The window goes on working: the next export succeeds.
    excel.ClearCells();
    ASSERT_TRUE(window->Click(IDC_BUTTON_EXPORT));
    EXPECT_EQ(excel.Cells().at("C2"), "N.m");
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(MainWindowTest, SpreadsheetThatCannotStartShowsItsWarningOwnedByTheWindow) {
    excel.FailCreation(true);
    OpenPort();
    ToolSends(Frame(CMD_UPLOAD_DONE));
    ASSERT_TRUE(window->Click(IDC_BUTTON_EXPORT));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Warning");
    EXPECT_TRUE(ui.boxes[0].owned);
}

}  // namespace
