// A box raised on a worker thread: the worker sleeps until it is answered.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <thread>

#include "ui/qt/qt_backend.h"

namespace {

struct NoSink : WindowSink {
    LRESULT WindowProc(UINT, WPARAM, LPARAM) override { return 0; }
};

long ThreadWakeUps() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

TEST(QtBoxFromWorker, WaitsWithoutWakingUntilAnswered) {
    QtBackend backend;
    NoSink sink;
    const DialogTemplate tmpl{1, "w", "Sans", 9, 100, 50, 0, {}};
    std::unique_ptr<WindowPeer> window = backend.NewWindow(tmpl, sink, nullptr);
    window->Create();

    long wakeUps = -1;
    int result = 0;
    std::thread worker([&] {
        const long before = ThreadWakeUps();
        result = backend.MessageBox(nullptr, "text", "caption", MB_OK);
        wakeUps = ThreadWakeUps() - before;
    });
    // Answered a second after it is shown.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            poll.stop();
            QTimer::singleShot(1000, box, [box] { box->close(); });
        }
    });
    poll.start(10);
    while (wakeUps < 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    worker.join();
    EXPECT_EQ(result, IDOK);
    // Polling would wake it some twenty times a second.
    EXPECT_LE(wakeUps, 3);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
