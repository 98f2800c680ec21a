// Figures for the window on Qt, printed, never judged:
//  - start-up of the real program until its window is mapped, and its memory
//    after start (needs an X display in DISPLAY, e.g. under xvfb-run);
//  - CPU time and context switches of the idle window with the port open;
//  - wake-ups of a worker waiting for a box it raised, shown for 2 s;
//  - the per-byte hand-off from a worker to the window through its mailbox,
//    next to the console owner kelvarin-upload uses (median and p99).
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_resources.h"
#include "app/kelvarin_dlg.h"
#include "app/resource.h"
#include "export/recording_client.h"
#include "protocol/upload_state.h"
#include "serial/comm_posix.h"
#include "ui/app.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_window.h"

// In its own file, away from the X headers' macros.
void StartupFigures(const char* program);

namespace {

using Clock = std::chrono::steady_clock;

struct Usage {
    double cpuMs;
    long switches;
};

Usage SelfUsage() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return {ms(u.ru_utime) + ms(u.ru_stime), u.ru_nvcsw + u.ru_nivcsw};
}

void Spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void IdleFigures() {
    int master = -1, slave = -1;
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::printf("idle with the port open: skipped (no pty)\n");
        return;
    }
    setenv("KELVARIN_COM1", name, 1);
    automation::RecordingClient excel;
    CKelvarinDlg dlg(PosixPlatform(), excel);
    dlg.Create();
    static_cast<QtWindow*>(dlg.GetPeer())->Show();
    dlg.SendMessage(WM_COMMAND, MakeWParam(IDC_BUTTON_OPEN, BN_CLICKED));
    Spin(500);
    const Usage before = SelfUsage();
    Spin(5000);
    const Usage after = SelfUsage();
    std::printf("idle window, port open, 5 s: CPU %.1f ms, context switches %ld (whole process)\n",
                after.cpuMs - before.cpuMs, after.switches - before.switches);
    dlg.SendMessage(WM_COMMAND, MakeWParam(IDC_BUTTON_CLOSE, BN_CLICKED));
    dlg.DestroyWindow();
    close(master);
    close(slave);
}

// A worker raises a box, answered 2 s after it appears; its thread's
// voluntary context switches over that wait.
void BoxWaitFigures(QtBackend& backend) {
    automation::RecordingClient excel;
    CKelvarinDlg dlg(PosixPlatform(), excel);
    dlg.Create();
    std::atomic<long> wakeUps{-1};
    std::thread worker([&] {
        rusage before{}, after{};
        getrusage(RUSAGE_THREAD, &before);
        backend.MessageBox(nullptr, "figures", "figures", MB_OK);
        getrusage(RUSAGE_THREAD, &after);
        wakeUps = after.ru_nvcsw - before.ru_nvcsw;
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            poll.stop();
            QTimer::singleShot(2000, box, [box] { box->close(); });
        }
    });
    poll.start(10);
    while (wakeUps < 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    worker.join();
    std::printf("worker waiting for its box, 2 s: %ld wake-ups of the waiting thread\n",
                wakeUps.load());
    dlg.DestroyWindow();
}

struct Stats {
    double median;
    double p99;
};

Stats Summarise(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 99 / 100]};
}

// Sends `count` bytes from another thread, timing each send until the
// owner handled it; `loop` runs the owner's thread until `done`.
template <class Loop>
std::vector<double> Handoff(std::uintptr_t owner, int count, Loop loop) {
    std::vector<double> us;
    us.reserve(count);
    std::atomic<bool> done{false};
    std::thread sender([&] {
        for (int i = 0; i < count; ++i) {
            const auto t0 = Clock::now();
            OwnerMailbox::Send(owner, WM_SERIAL_BYTE, static_cast<WPARAM>(i & 0x7F), 1);
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        done = true;
    });
    loop(done);
    sender.join();
    return us;
}

void HandoffFigures(int count) {
    automation::RecordingClient excel;
    CKelvarinDlg dlg(PosixPlatform(), excel);
    dlg.Create();
    const Stats qt = Summarise(Handoff(dlg.GetSafeOwner(), count, [](std::atomic<bool>& done) {
        while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }));
    dlg.DestroyWindow();

    // The console owner, as kelvarin-upload runs it.
    UploadState state(nullptr);
    OwnerMailbox console([&](UINT message, WPARAM w, LPARAM) -> LRESULT {
        if (message == WM_SERIAL_BYTE) state.receiver.OnByte(static_cast<std::uint8_t>(w));
        return 0;
    });
    const Stats cli = Summarise(Handoff(console.Handle(), count, [&](std::atomic<bool>& done) {
        while (!done)
            if (console.WaitForSent(Clock::now() + std::chrono::milliseconds(100)))
                console.DispatchSent();
    }));
    std::printf(
        "hand-off per byte, %d bytes: window (Qt mailbox) median %.1f us, p99 %.1f us; "
        "console owner median %.1f us, p99 %.1f us\n",
        count, qt.median, qt.p99, cli.median, cli.p99);
}

}  // namespace

int main(int argc, char** argv) {
    StartupFigures(KELVARIN_PROGRAM);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QtBackend backend;
    AfxSetBackend(&backend);
    RegisterAppResources();
    IdleFigures();
    BoxWaitFigures(backend);
    HandoffFigures(argc > 1 ? std::atoi(argv[1]) : 20000);
    AfxSetBackend(nullptr);
    return 0;
}
