// End to end on Linux: the main window on real Qt widgets, an upload from
// the simulated tool over a pseudo-terminal, "Export" clicked, and the cells
// read back from the office.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/app_resources.h"
#include "app/kelvarin_dlg.h"
#include "app/resource.h"
#include "export/calc/calc_client.h"
#include "export/export_to_excel.h"
#include "office_fixture.h"
#include "pty_tool.h"
#include "serial/comm_posix.h"
#include "ui/app.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_window.h"

namespace {

// Message boxes answered at once and remembered, so a test sees them.
class ScriptedBoxBackend final : public QtBackend {
public:
    std::vector<std::string> boxes;
    int MessageBox(WindowPeer*, const std::string& text, const std::string& caption,
                   UINT type) override {
        boxes.push_back(
            std::string(caption).append("|").append(text).append("|").append(std::to_string(type)));
        return IDOK;
    }
};

// Passes calls on to the office and ends the office before call `k`.
class DyingOfficeClient final : public automation::AutomationClient {
public:
    DyingOfficeClient(CalcClient& inner, PrivateOffice& office, int k)
        : m_inner(inner), m_office(office), m_k(k) {}
    automation::DispatchHandle Create(const std::string& progId) override {
        return m_inner.Create(progId);
    }
    automation::Variant Invoke(automation::DispatchHandle object, automation::DispId id,
                               automation::DispatchKind kind,
                               std::span<const automation::Variant> args,
                               automation::VarType resultType) override {
        if (++m_calls == m_k) m_office.End(m_inner.StartedOfficePid());
        return m_inner.Invoke(object, id, kind, args, resultType);
    }
    void Release(automation::DispatchHandle object) noexcept override { m_inner.Release(object); }

private:
    CalcClient& m_inner;
    PrivateOffice& m_office;
    int m_k;
    int m_calls = 0;
};

class ExportWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterAppResources();
        AfxSetBackend(&backend);
        app.m_pMainWnd = nullptr;
    }
    void TearDown() override {
        app.m_pMainWnd = nullptr;
        dlg.reset();
        AfxSetBackend(nullptr);
        if (tool) tool->Stop();
        unsetenv("KELVARIN_COM1");
        office.End(excel->StartedOfficePid());
    }

    // The window after an upload of `records` from the simulated tool.
    void UploadFromTool(int records) {
        torque_sim::Config config;
        config.records = torque_sim::DefaultRecords(records);
        tool = std::make_unique<PtyTool>(config);
        ASSERT_TRUE(tool->Ready());
        setenv("KELVARIN_COM1", tool->Path().c_str(), 1);

        dlg = std::make_unique<CKelvarinDlg>(PosixPlatform(), client ? *client : *excel);
        app.m_pMainWnd = dlg.get();
        ASSERT_TRUE(dlg->Create());
        Window().Show();
        Click(IDC_BUTTON_OPEN);
        ASSERT_TRUE(Control(IDC_BUTTON_UPLOAD)->isEnabled()) << "the pty did not open";
        Click(IDC_BUTTON_UPLOAD);
        ASSERT_TRUE(Spin([&] { return Control(IDC_BUTTON_EXPORT)->isEnabled(); }, 30000))
            << "no end of upload";
        ASSERT_EQ(records, List()->rowCount());
    }

    QtWindow& Window() { return *static_cast<QtWindow*>(dlg->GetPeer()); }
    template <class W = QWidget>
    W* Control(int id) {
        return Window().Widget()->findChild<W*>(QStringLiteral("ctl%1").arg(id));
    }
    QTableWidget* List() { return Control<QTableWidget>(IDC_LIST_DATA); }
    void Click(int id) {
        QPushButton* button = Control<QPushButton>(id);
        ASSERT_TRUE(button->isEnabled()) << id;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    static bool Spin(const std::function<bool()>& done, int ms) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > ms) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    // What the office holds, against what the window shows.
    void ExpectDocumentHoldsTheList(
        const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc) {
        QTableWidget* list = List();
        for (int c = 0; c < 4; ++c) {
            const std::string letter = ColumnLetter(c);
            EXPECT_EQ(list->horizontalHeaderItem(c)->text().toStdString(),
                      OfficeReader::CellText(doc, std::string(letter).append("1")));
            for (int r = 0; r < list->rowCount(); ++r) {
                const std::string name = letter + std::to_string(r + 2);
                EXPECT_EQ(list->item(r, c)->text().toStdString(), OfficeReader::CellText(doc, name))
                    << name;
            }
        }
        EXPECT_EQ("", OfficeReader::CellText(
                          doc, std::string("A").append(std::to_string(list->rowCount() + 2))));
    }

    PrivateOffice office;
    std::unique_ptr<CalcClient> excel = std::make_unique<CalcClient>(office.Options());
    automation::AutomationClient* client = nullptr;  // in place of `excel`, if set
    ScriptedBoxBackend backend;
    CWinApp app{"kelvarin"};
    std::unique_ptr<PtyTool> tool;
    std::unique_ptr<CKelvarinDlg> dlg;
};

TEST_F(ExportWindowTest, ExportAfterAnUploadPutsTheListIntoANewOfficeDocument) {
    UploadFromTool(12);
    Click(IDC_BUTTON_EXPORT);

    OfficeReader reader(office.ProfileDir());
    auto docs = reader.Documents();
    ASSERT_EQ(1u, docs.size()) << excel->LastError();
    EXPECT_TRUE(backend.boxes.empty());
    ExpectDocumentHoldsTheList(docs[0]);
    EXPECT_TRUE(OfficeReader::WindowVisible(docs[0]));
    // The window is untouched and can export again, into a document of its own.
    EXPECT_TRUE(Control(IDC_BUTTON_EXPORT)->isEnabled());
    EXPECT_EQ(12, List()->rowCount());
    Click(IDC_BUTTON_EXPORT);
    EXPECT_EQ(2u, reader.Documents().size());
}

TEST_F(ExportWindowTest, AFullMemoryOf255RecordsArrivesWhole) {
    UploadFromTool(255);
    // The office is already running (as after an earlier export).
    automation::DispatchHandle warm = excel->Create("Excel.Application");
    ASSERT_NE(automation::kNoObject, warm) << excel->LastError();
    excel->Release(warm);
    const auto start = std::chrono::steady_clock::now();
    Click(IDC_BUTTON_EXPORT);
    const auto took = std::chrono::steady_clock::now() - start;
    RecordProperty(
        "click_to_visible_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

    OfficeReader reader(office.ProfileDir());
    auto docs = reader.Documents();
    ASSERT_EQ(1u, docs.size()) << excel->LastError();
    ExpectDocumentHoldsTheList(docs[0]);
}

TEST_F(ExportWindowTest, WithoutAnOfficeEachClickShowsTheWarningOnce) {
    CalcOptions options = office.Options();
    options.soffice = office.ProfileDir() + "/no-office-here";
    excel = std::make_unique<CalcClient>(options);
    UploadFromTool(3);
    Click(IDC_BUTTON_EXPORT);
    ASSERT_EQ(1u, backend.boxes.size());
    EXPECT_EQ("Warning|Can not Create Excel Application!|0", backend.boxes[0]);
    Click(IDC_BUTTON_EXPORT);
    EXPECT_EQ(2u, backend.boxes.size());
    // Nothing else changed: the port is still open and the rows stay.
    EXPECT_TRUE(Control(IDC_BUTTON_CLOSE)->isEnabled());
    EXPECT_EQ(3, List()->rowCount());
}

TEST_F(ExportWindowTest, AnOfficeDyingMidExportGivesOneErrorBoxAndTheNextClickWorks) {
    DyingOfficeClient dying(*excel, office, 12);  // among the header cells
    client = &dying;
    UploadFromTool(5);
    Click(IDC_BUTTON_EXPORT);
    ASSERT_EQ(1u, backend.boxes.size());
    EXPECT_EQ(std::string::npos, backend.boxes[0].find("Can not Create"));

    // The window carries on; the next click starts another office.
    EXPECT_TRUE(Control(IDC_BUTTON_EXPORT)->isEnabled());
    Click(IDC_BUTTON_EXPORT);
    EXPECT_EQ(1u, backend.boxes.size()) << excel->LastError();
    OfficeReader reader(office.ProfileDir());
    auto docs = reader.Documents();
    ASSERT_EQ(1u, docs.size());
    ExpectDocumentHoldsTheList(docs[0]);
}

}  // namespace
