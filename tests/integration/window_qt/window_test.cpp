#include <sys/resource.h>

#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <atomic>
#include <tuple>

#include "qt_window_fixture.h"

namespace {

class QtLayoutTest : public QtWindowTest {};

// Pixels worked out beforehand from the template's dialog units for base units
// of 7 x 14 (the stand-in sans face at 9 points, 96 dpi): x * 7 / 4 and
// y * 14 / 8, rounded.
TEST_F(QtLayoutTest, StartsWithTheTemplatesControlsAndStateInPlace) {
    ASSERT_EQ(QSize(Window().Units().baseX, Window().Units().baseY), QSize(7, 14))
        << "the pixel table below assumes these base units";
    EXPECT_EQ(Dialog().size(), QSize(499, 396));
    EXPECT_EQ(Dialog().minimumSize(), Dialog().maximumSize()) << "fixed size";
    EXPECT_EQ(Dialog().windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                        Qt::WindowMaximizeButtonHint),
              Qt::WindowCloseButtonHint);
    // OK and Cancel are hidden; a closed drop-down list's height (0) does not count.
    for (const auto& [id, r] : {std::pair{IDOK, QRect(399, 329, 88, 25)},
                                {IDCANCEL, QRect(399, 359, 88, 25)},
                                {IDC_COMBO_PORT, QRect(70, 14, 65, 0)},
                                {IDC_BUTTON_OPEN, QRect(149, 12, 88, 25)},
                                {IDC_BUTTON_CLOSE, QRect(250, 12, 88, 25)},
                                {IDC_LIST_DATA, QRect(12, 88, 371, 296)},
                                {IDC_BUTTON_UPLOAD, QRect(397, 95, 88, 25)},
                                {IDC_EDIT_LENGTH, QRect(93, 60, 49, 23)},
                                {IDC_EDIT_RANGE, QRect(238, 61, 58, 23)},
                                {IDC_BUTTON_EXPORT, QRect(397, 135, 88, 25)}}) {
        const QRect at = Control(id)->geometry();
        EXPECT_EQ(at, r.height() ? r : QRect(r.topLeft(), QSize(r.width(), at.height()))) << id;
        EXPECT_EQ(Control(id)->isVisible(), id != IDOK && id != IDCANCEL) << id;
    }
    // The labels sit in place, show their whole text and keep clear of the
    // field after them.
    for (const auto& [text, at, next] : {std::tuple{"Com No", QPoint(12, 18), IDC_COMBO_PORT},
                                         {"Data Length:", QPoint(12, 61), IDC_EDIT_LENGTH},
                                         {"Full Range:", QPoint(170, 63), IDC_EDIT_RANGE}}) {
        const auto* label = qobject_cast<QLabel*>(Dialog().childAt(at));
        ASSERT_TRUE(label && label->text() == text && label->pos() == at) << text;
        EXPECT_GE(label->width(), label->sizeHint().width()) << text;
        EXPECT_LT(label->geometry().right(), Control(next)->x()) << text;
    }

    auto* ports = Control<QComboBox>(IDC_COMBO_PORT);
    EXPECT_EQ(ports->count(), 12);
    EXPECT_EQ(ports->currentText(), "1");
    EXPECT_FALSE(ports->isEditable());
    EXPECT_TRUE(ports->hasFocus()) << "hidden OK and Cancel take no focus";
    for (int id : {IDC_EDIT_LENGTH, IDC_EDIT_RANGE}) {
        EXPECT_EQ(Text(id), "0");
        EXPECT_TRUE(Control<QLineEdit>(id)->isReadOnly());
        EXPECT_EQ(Control<QLineEdit>(id)->alignment(), Qt::AlignCenter);
    }
    EXPECT_EQ(Enabled(), "11000");

    // Headings and cells are centred, cells cannot be edited.
    Deliver(torque_sim::EncodeFrame(CMD_RECORD, torque_sim::EncodeRecordPayload({})));
    ASSERT_EQ(List()->rowCount(), 1);
    QStringList columns;
    for (int i = 0; i < List()->columnCount(); ++i) {
        QTableWidgetItem* heading = List()->horizontalHeaderItem(i);
        columns << heading->text() + " " + QString::number(List()->columnWidth(i));
        for (QTableWidgetItem* item : {heading, List()->item(0, i)})
            EXPECT_EQ(item->textAlignment(), int(Qt::AlignCenter));
        EXPECT_FALSE(List()->item(0, i)->flags() & Qt::ItemIsEditable);
    }
    EXPECT_EQ(columns, QStringList({"ID 90", "DATA 100", "UNIT 100", "PASS 80"}));
    EXPECT_TRUE(List()->showGrid());
    EXPECT_EQ(List()->selectionMode(), QAbstractItemView::ExtendedSelection);

    // Enter presses a focused button (elsewhere it ends the dialog).
    Control(IDC_BUTTON_OPEN)->setFocus();
    QTest::keyClick(Control(IDC_BUTTON_OPEN), Qt::Key_Return);
    EXPECT_EQ(Enabled(), "00110");
}

// The About box, the window's own boxes and those of other threads (as the
// serial worker raises them) are shown and handle the tool's bytes meanwhile.
TEST_F(QtLayoutTest, AboutBoxAndMessageBoxesOfAnyThreadHandleBytes) {
    QAction* about = Window().WindowMenu().actions().back();
    EXPECT_EQ(about->text(), QStringLiteral("关于 Kelvarin(&A)..."));
    EXPECT_EQ(Boxes([&] { about->trigger(); }, 9),
              (std::vector<std::string>{"关于 Kelvarin|Kelvarin，1.0 版"}));
    EXPECT_EQ(backend.Windows().size(), 1u) << "the About box is gone";

    // A worker's box, the tool's bytes arriving while it is up. The worker
    // waits for it asleep: polling would wake it some twenty times a second.
    std::atomic<long> wakeUps{-1};
    std::thread worker([&] {
        rusage before{}, after{};
        getrusage(RUSAGE_THREAD, &before);
        backend.MessageBox(nullptr, "second", "Application Error", MB_ICONSTOP);
        getrusage(RUSAGE_THREAD, &after);
        wakeUps = after.ru_nvcsw - before.ru_nvcsw;
    });
    EXPECT_EQ(Boxes([&] { EXPECT_TRUE(Spin([&] { return wakeUps >= 0; })); }, 7),
              (std::vector<std::string>{"Application Error|second|3|unowned"}));
    worker.join();
    EXPECT_LE(wakeUps, 3);
}

}  // namespace
