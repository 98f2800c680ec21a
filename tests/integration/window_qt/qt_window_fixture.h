#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <functional>
#include <string>

#include "app/app_resources.h"
#include "app/kelvarin_dlg.h"
#include "app/resource.h"
#include "export/recording_client.h"
#include "ui/app.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_window.h"

// The main window on real Qt widgets (offscreen), over the serial platform
// the test chooses.
class QtWindowTest : public ::testing::Test {
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
    }

    // Creates and shows the window without a loop of its own.
    void Open(CommPlatform& platform) {
        dlg = std::make_unique<CKelvarinDlg>(platform, excel);
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
    std::string Text(int id) { return Control<QLineEdit>(id)->text().toStdString(); }

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

    QtBackend backend;
    CWinApp app{"kelvarin"};
    automation::RecordingClient excel;
    std::unique_ptr<CKelvarinDlg> dlg;
};
