#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "app/app_resources.h"
#include "app/kelvarin_dlg.h"
#include "app/resource.h"
#include "export/recording_client.h"
#include "ui/app.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_window.h"

// The Qt backend, whose message boxes a test may have answered at once and
// remembered instead of shown.
class TestQtBackend final : public QtBackend {
public:
    bool answerBoxes = false;
    std::vector<std::string> boxes;  // "caption|text|type"
    int MessageBox(WindowPeer* owner, const std::string& text, const std::string& caption,
                   UINT type) override {
        if (!answerBoxes) return QtBackend::MessageBox(owner, text, caption, type);
        boxes.push_back(caption + "|" + text + "|" + std::to_string(type));
        return IDOK;
    }
};

// The main window on real Qt widgets (offscreen).
class QtWindowTest : public ::testing::Test {
protected:
    // Which of the port list, Port Open, Port Close, Upload and Export take clicks.
    static constexpr const char* kPortClosed = "11000";
    static constexpr const char* kPortOpen = "00110";
    static constexpr const char* kUploading = "00100";
    static constexpr const char* kUploaded = "00101";

    void SetUp() override {
        RegisterAppResources();
        AfxSetBackend(&backend);
    }
    void TearDown() override {
        app.m_pMainWnd = nullptr;
        dlg.reset();
        AfxSetBackend(nullptr);
    }

    // Creates and shows the window without a loop of its own.
    void Open(CommPlatform& platform, automation::AutomationClient& client) {
        dlg = std::make_unique<CKelvarinDlg>(platform, client);
        app.m_pMainWnd = dlg.get();
        ASSERT_TRUE(dlg->Create());
        Window().Show();
        Spin([] { return false; }, 50);
    }

    QtWindow& Window() { return *static_cast<QtWindow*>(dlg->GetPeer()); }
    DialogWidget& Dialog() { return *Window().Widget(); }
    template <class W = QWidget>
    W* Control(int id) {
        return Dialog().findChild<W*>(QStringLiteral("ctl%1").arg(id));
    }
    QTableWidget* List() { return Control<QTableWidget>(IDC_LIST_DATA); }
    std::string Text(int id) { return Control<QLineEdit>(id)->text().toStdString(); }
    std::string Enabled() {
        std::string out;
        for (int id : {IDC_COMBO_PORT, IDC_BUTTON_OPEN, IDC_BUTTON_CLOSE, IDC_BUTTON_UPLOAD,
                       IDC_BUTTON_EXPORT})
            out += Control(id)->isEnabled() ? '1' : '0';
        return out;
    }
    void Click(int id) {
        ASSERT_TRUE(Control(id)->isEnabled()) << id;
        QTest::mouseClick(Control(id), Qt::LeftButton);
    }

    // Runs the event loop until `done` holds or `ms` milliseconds pass.
    static bool Spin(const std::function<bool()>& done, int ms = 10000) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > ms) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    TestQtBackend backend;
    CWinApp app{"kelvarin"};
    automation::RecordingClient excel;
    std::unique_ptr<CKelvarinDlg> dlg;
};
