// Prints where the main window's controls are, in pixels of its client area
// ("id x y width height", one control a line), as the program places them on
// this display. The demo clicks the buttons of the real program with it.
#include <QApplication>
#include <cstdio>

#include "app/app_resources.h"
#include "ui/qt/dialog_units.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const DialogTemplate& t = kMainDialogTemplate;
    const DialogUnits units = DialogUnits::For(DialogFont(t.fontName, t.pointSize));
    for (const ControlTemplate& c : t.controls) {
        if (c.id < 0) continue;
        const QRect r = units.Rect(c.x, c.y, c.cx, c.cy);
        std::printf("%d %d %d %d %d\n", c.id, r.x(), r.y(), r.width(), r.height());
    }
    return 0;
}
