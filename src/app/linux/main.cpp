#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/kelvarin_app.h"
#include "kelvarin_version.h"
#include "ui/qt/qt_backend.h"
#include "winapi/message_box.h"

CKelvarinApp theApp;

int main(int argc, char** argv) {
    // Answered before Qt starts, so it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kelvarin %s\n", KELVARIN_VERSION);
        return 0;
    }
    QApplication application(argc, argv);
    QtBackend backend;

    // The serial port's own boxes: real boxes now, whichever thread asks.
    SetBoxFunction(
        [&backend](const std::string& text, const std::string& caption, std::uint32_t type) {
            return backend.MessageBox(nullptr, text, caption, type);
        });

    const int code = AfxWinMain(backend, argc, argv);
    SetBoxFunction({});
    return code;
}
