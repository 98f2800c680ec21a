#pragma once

#include <QFont>
#include <QRect>

// Dialog units for a font: a quarter of its average character width across
// and an eighth of its height down. The width is averaged over the 52 Latin
// letters, as the dialogs were measured; a font's own average width is far
// off for CJK fonts.
struct DialogUnits {
    int baseX;
    int baseY;

    static DialogUnits For(const QFont& font);
    int X(int dlu) const { return (dlu * baseX + 2) / 4; }
    int Y(int dlu) const { return (dlu * baseY + 4) / 8; }
    QRect Rect(int x, int y, int cx, int cy) const { return QRect(X(x), Y(y), X(cx), Y(cy)); }
};

// The dialog font of a template: its face, or a font that stands in for it.
QFont DialogFont(const char* face, int pointSize);
