// End to end on Linux: the main window on real Qt widgets, an upload from
// the simulated tool over a pseudo-terminal, "Export" clicked, and the cells
// read back from the office.

#include <cstdlib>

#include "export/calc/calc_client.h"
#include "export/export_to_excel.h"
#include "office_fixture.h"
#include "pty_tool.h"
#include "qt_window_fixture.h"
#include "serial/comm_posix.h"

namespace {

class ExportWindowTest : public QtWindowTest {
protected:
    void TearDown() override {
        QtWindowTest::TearDown();
        if (tool) tool->Stop();
        unsetenv("KELVARIN_COM1");
        office.End(calc.StartedOfficePid());
    }

    PrivateOffice office;
    CalcClient calc{office.Options()};
    std::unique_ptr<PtyTool> tool;
};

TEST_F(ExportWindowTest, ExportAfterAnUploadPutsTheListIntoANewOfficeDocument) {
    torque_sim::Config config;
    config.records = torque_sim::DefaultRecords(12);
    tool = std::make_unique<PtyTool>(config);
    ASSERT_TRUE(tool->Ready());
    setenv("KELVARIN_COM1", tool->Path().c_str(), 1);
    backend.answerBoxes = true;
    Open(PosixPlatform(), calc);
    Click(IDC_BUTTON_OPEN);
    Click(IDC_BUTTON_UPLOAD);
    ASSERT_TRUE(Spin([&] { return Control(IDC_BUTTON_EXPORT)->isEnabled(); }, 30000));
    Click(IDC_BUTTON_EXPORT);

    const auto docs = OfficeReader(office.ProfileDir()).Documents();
    ASSERT_EQ(1u, docs.size()) << calc.LastError();
    EXPECT_TRUE(backend.boxes.empty());
    EXPECT_TRUE(OfficeReader::WindowVisible(docs[0]));
    QTableWidget* list = Control<QTableWidget>(IDC_LIST_DATA);
    ASSERT_EQ(12, list->rowCount());
    for (int c = 0; c < 4; ++c) {
        const std::string letter = ColumnLetter(c);
        EXPECT_EQ(list->horizontalHeaderItem(c)->text().toStdString(),
                  OfficeReader::CellText(docs[0], std::string(letter).append("1")));
        for (int r = 0; r < list->rowCount(); ++r) {
            const std::string name = letter + std::to_string(r + 2);
            EXPECT_EQ(list->item(r, c)->text().toStdString(), OfficeReader::CellText(docs[0], name))
                << name;
        }
    }
    EXPECT_EQ("", OfficeReader::CellText(docs[0], "A14"));
}

}  // namespace
