#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/app_resources.h"
#include "app/kelvarin_dlg.h"
#include "app/resource.h"
#include "export/recording_client.h"
#include "export/unavailable_client.h"
#include "fake_comm_platform.h"
#include "serial/comm_posix.h"
#include "sim_session.h"
#include "ui/app.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_window.h"

// The main window on real Qt widgets (offscreen).
class QtWindowTest : public ::testing::Test {
protected:
    // Every test starts with a window on the POSIX platform.
    void SetUp() override {
        RegisterAppResources();
        AfxSetBackend(&backend);
        Open(PosixPlatform());
    }

    // Creates and shows the window without a loop of its own.
    void Open(CommPlatform& platform, AutomationClient* client = nullptr) {
        dlg = std::make_unique<CKelvarinDlg>(platform, client ? *client : excel);
        app.m_pMainWnd = dlg.get();
        ASSERT_TRUE(dlg->Create());
        Window().Show();
        QTest::qWait(50);  // for the window to take the focus
    }

    QtWindow& Window() { return *static_cast<QtWindow*>(dlg->GetPeer()); }
    DialogWidget& Dialog() { return *Window().Widget(); }
    template <class W = QWidget>
    W* Control(int id) {
        return Dialog().findChild<W*>(QStringLiteral("ctl%1").arg(id));
    }
    QTableWidget* List() { return Control<QTableWidget>(IDC_LIST_DATA); }
    std::string Text(int id) { return Control<QLineEdit>(id)->text().toStdString(); }
    // Which of the port list, Port Open, Port Close, Upload and Export take
    // clicks: "11000" port closed, "00110" open, "00100" uploading, "00101"
    // uploaded.
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
    // The tool's bytes as the serial worker hands them over, from this thread.
    void Deliver(const torque_sim::Bytes& bytes) {
        for (std::uint8_t b : bytes) dlg->SendMessage(WM_SERIAL_BYTE, b, 1);
    }

    // Runs the event loop until `done` holds, for ten seconds at most.
    static bool Spin(const std::function<bool()>& done) {
        for (QDeadlineTimer limit(10000); !done() && !limit.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return done();
    }
    // Runs `act`, reading each modal box it shows ("title|texts|icon", then
    // "|unowned" unless the window owns it, "|buttons" unless it has just OK) and closing
    // it with Enter. With `n` (not 0), a second after a box is up another thread
    // sends a data-length frame of `n` as the serial worker would, and each
    // box stays until the field shows `n`.
    std::vector<std::string> Boxes(const std::function<void()>& act, std::uint8_t n = 0) {
        std::vector<std::string> seen;
        std::thread sender;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box || box == &Dialog()) return;
            if (n && !sender.joinable())
                sender = std::thread([owner = dlg->GetSafeOwner(), n] {
                    std::this_thread::sleep_for(std::chrono::seconds(1));
                    for (std::uint8_t b : torque_sim::EncodeFrame(CMD_DATA_LENGTH, {n}))
                        OwnerMailbox::Send(owner, WM_SERIAL_BYTE, b, 1);
                });
            if (n && Text(IDC_EDIT_LENGTH) != std::to_string(n)) return;
            std::string shown = box->windowTitle().toStdString();
            for (QLabel* l : box->findChildren<QLabel*>())
                if (!l->text().isEmpty()) shown.append("|").append(l->text().toStdString());
            if (auto* m = qobject_cast<QMessageBox*>(box))
                shown += "|" + std::to_string(m->icon()) +
                         (m->parentWidget() == &Dialog() ? "" : "|unowned") +
                         (m->standardButtons() == QMessageBox::Ok ? "" : "|buttons");
            seen.push_back(shown);
            QTest::keyClick(box, Qt::Key_Return);
        });
        poll.start(10);
        act();
        if (sender.joinable()) sender.join();
        return seen;
    }

    QtBackend backend;
    CWinApp app{"kelvarin"};
    automation::RecordingClient excel;
    // For failures a real line cannot give on demand.
    FakeCommPlatform comm;
    std::unique_ptr<CKelvarinDlg> dlg;  // goes first
};
