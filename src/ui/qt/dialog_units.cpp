#include "ui/qt/dialog_units.h"

#include <QFontMetrics>
#include <QStringList>

DialogUnits DialogUnits::For(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogUnits{(letters / 26 + 1) / 2, metrics.height()};
}

QFont DialogFont(const char* face, int pointSize) {
    const QString family = QString::fromUtf8(face);
    // The Windows dialog face does not exist here: a plain sans face takes
    // its place, and the Chinese texts come from a CJK face.
    QStringList standIns;
    standIns << QStringLiteral("DejaVu Sans") << QStringLiteral("Liberation Sans")
             << QStringLiteral("WenQuanYi Micro Hei") << QStringLiteral("Noto Sans CJK SC");
    QFont::insertSubstitutions(family, standIns);
    QFont font(family, pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}
