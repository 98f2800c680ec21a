#include <sys/resource.h>

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <atomic>
#include <thread>
#include <tuple>

#include "fake_comm_platform.h"
#include "pty_tool.h"
#include "qt_window_fixture.h"
#include "sim_session.h"

namespace {

class QtLayoutTest : public QtWindowTest {
protected:
    void SetUp() override {
        QtWindowTest::SetUp();
        // Port 1 is a quiet line: a pseudo-terminal nobody answers on.
        ASSERT_TRUE(line.Ready());
        setenv("KELVARIN_COM1", line.Path().c_str(), 1);
        Open(comm, excel);
    }
    void TearDown() override {
        QtWindowTest::TearDown();
        unsetenv("KELVARIN_COM1");
    }

    // Runs `open`, which returns once the modal boxes it shows are closed.
    // While a box is up, another thread sends a data-length frame of `n`
    // byte by byte, and Enter closes each box once the field shows `n`.
    // Returns each box's title and texts.
    std::vector<std::string> WhileBoxesAreUp(std::uint8_t n, const std::function<void()>& open) {
        std::vector<std::string> seen;
        std::thread sender;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box || box == &Dialog()) return;
            std::string shown = box->windowTitle().toStdString();
            for (QLabel* l : box->findChildren<QLabel*>())
                if (!l->text().isEmpty()) shown.append("|").append(l->text().toStdString());
            if (seen.empty() || seen.back() != shown) seen.push_back(shown);
            if (!sender.joinable())
                sender = std::thread([owner = dlg->GetSafeOwner(), n] {
                    for (std::uint8_t b : torque_sim::EncodeFrame(CMD_DATA_LENGTH, {n}))
                        OwnerMailbox::Send(owner, WM_SERIAL_BYTE, b, 1);
                });
            if (Text(IDC_EDIT_LENGTH) == std::to_string(n)) {
                QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                QApplication::sendEvent(box, &enter);
            }
        });
        poll.start(10);
        QTimer::singleShot(10000, &poll, [] {
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
        open();
        poll.stop();
        if (sender.joinable()) sender.join();
        return seen;
    }

    PtyTool line{torque_sim::Config{}};
    FakeCommPlatform comm;
};

// Pixels worked out beforehand from the template's dialog units for base units
// of 7 x 14 (the stand-in sans face at 9 points, 96 dpi): x * 7 / 4 and
// y * 14 / 8, rounded.
TEST_F(QtLayoutTest, StartsWithTheTemplatesControlsAndStateInPlace) {
    ASSERT_EQ(Window().Units().baseX, 7) << "the pixel table below assumes base units 7 x 14";
    ASSERT_EQ(Window().Units().baseY, 14);
    EXPECT_EQ(Dialog().size(), QSize(499, 396));
    EXPECT_EQ(Dialog().minimumSize(), Dialog().maximumSize()) << "fixed size";
    const Qt::WindowFlags flags = Dialog().windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    struct Expected {
        int id, x, y, width, height;  // height -1: a closed drop-down list's does not count
        bool visible;
    };
    for (const Expected& e : {Expected{IDOK, 399, 329, 88, 25, false},
                              {IDCANCEL, 399, 359, 88, 25, false},
                              {IDC_COMBO_PORT, 70, 14, 65, -1, true},
                              {IDC_BUTTON_OPEN, 149, 12, 88, 25, true},
                              {IDC_BUTTON_CLOSE, 250, 12, 88, 25, true},
                              {IDC_LIST_DATA, 12, 88, 371, 296, true},
                              {IDC_BUTTON_UPLOAD, 397, 95, 88, 25, true},
                              {IDC_EDIT_LENGTH, 93, 60, 49, 23, true},
                              {IDC_EDIT_RANGE, 238, 61, 58, 23, true},
                              {IDC_BUTTON_EXPORT, 397, 135, 88, 25, true}}) {
        QWidget* w = Control(e.id);
        ASSERT_NE(w, nullptr) << e.id;
        EXPECT_EQ(w->pos(), QPoint(e.x, e.y)) << e.id;
        EXPECT_EQ(w->width(), e.width) << e.id;
        if (e.height >= 0) {
            EXPECT_EQ(w->height(), e.height) << e.id;
        }
        EXPECT_EQ(w->isVisible(), e.visible) << e.id;
    }
    // The labels sit in place, show their whole text and keep clear of the
    // field after them.
    for (const auto& [text, at, next] : {std::tuple{"Com No", QPoint(12, 18), IDC_COMBO_PORT},
                                         {"Data Length:", QPoint(12, 61), IDC_EDIT_LENGTH},
                                         {"Full Range:", QPoint(170, 63), IDC_EDIT_RANGE}}) {
        QLabel* label = nullptr;
        for (QLabel* l : Dialog().findChildren<QLabel*>())
            if (l->text() == QString::fromUtf8(text)) label = l;
        ASSERT_NE(label, nullptr) << text;
        EXPECT_EQ(label->pos(), at) << text;
        EXPECT_GE(label->width(), label->sizeHint().width()) << text;
        EXPECT_LT(label->geometry().right(), Control(next)->x()) << text;
    }

    auto* ports = Control<QComboBox>(IDC_COMBO_PORT);
    QStringList items;
    for (int i = 0; i < ports->count(); ++i) items << ports->itemText(i);
    EXPECT_EQ(items, QStringList({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
    EXPECT_EQ(ports->currentIndex(), 0);
    EXPECT_FALSE(ports->isEditable());
    EXPECT_TRUE(ports->hasFocus()) << "hidden OK and Cancel take no focus";
    for (int id : {IDC_EDIT_LENGTH, IDC_EDIT_RANGE}) {
        EXPECT_EQ(Text(id), "0");
        EXPECT_TRUE(Control<QLineEdit>(id)->isReadOnly());
        EXPECT_EQ(Control<QLineEdit>(id)->alignment(), Qt::AlignCenter);
    }
    EXPECT_EQ(Enabled(), kPortClosed);

    QTableWidget* list = List();
    QStringList columns;
    for (int i = 0; i < list->columnCount(); ++i)
        columns << QStringLiteral("%1 %2 %3")
                       .arg(list->horizontalHeaderItem(i)->text())
                       .arg(list->columnWidth(i))
                       .arg(list->horizontalHeaderItem(i)->textAlignment() == Qt::AlignCenter);
    EXPECT_EQ(columns, QStringList({"ID 90 1", "DATA 100 1", "UNIT 100 1", "PASS 80 1"}));
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);

    // A record frame's cells are centred and cannot be edited.
    for (std::uint8_t b : torque_sim::EncodeFrame(
             CMD_RECORD, torque_sim::EncodeRecordPayload({.magnitude = 12345, .decimals = 2})))
        dlg->SendMessage(WM_SERIAL_BYTE, b, 1);
    ASSERT_EQ(list->rowCount(), 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(list->item(0, i)->textAlignment(), int(Qt::AlignCenter));
        EXPECT_FALSE(list->item(0, i)->flags() & Qt::ItemIsEditable);
    }
    EXPECT_EQ(list->item(0, 1)->text().toStdString(), "123.449997");
}

TEST_F(QtLayoutTest, EnterPressesAFocusedButtonAndEndsTheDialogAnywhereElse) {
    auto* open = Control<QPushButton>(IDC_BUTTON_OPEN);
    open->setFocus();
    QTest::keyClick(open, Qt::Key_Return);
    EXPECT_EQ(Enabled(), kPortOpen) << "Enter on Port Open opens the port";
    EXPECT_TRUE(Dialog().isVisible());

    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_EQ(Dialog().result(), IDOK);
}

// The About box, the window's own boxes and those of other threads (as the
// serial worker raises them) are shown and handle the tool's bytes meanwhile.
TEST_F(QtLayoutTest, AboutBoxAndMessageBoxesOfAnyThreadHandleBytes) {
    const QList<QAction*> actions = Window().WindowMenu().actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), QStringLiteral("关于 Kelvarin(&A)..."));
    EXPECT_EQ(WhileBoxesAreUp(9, [&] { actions.back()->trigger(); }),
              (std::vector<std::string>{"关于 Kelvarin|Kelvarin，1.0 版"}));
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "9");
    EXPECT_EQ(backend.Windows().size(), 1u) << "the About box is gone";

    const auto seen = WhileBoxesAreUp(7, [&] {
        dlg->MessageBox("first", "提示", MB_ICONEXCLAMATION);
        std::atomic<bool> answered{false};
        std::thread worker([&] {
            backend.MessageBox(nullptr, "second", "Application Error", MB_ICONSTOP);
            answered = true;
        });
        EXPECT_TRUE(Spin([&] { return answered.load(); }));
        worker.join();
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"提示|first", "Application Error|second"}));
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "7");
}

// A worker's box is waited for asleep: polling would wake the worker some
// twenty times a second while the box is up.
TEST_F(QtLayoutTest, AWorkerWaitsForItsBoxWithoutWaking) {
    std::atomic<long> wakeUps{-1};
    std::thread worker([&] {
        rusage before{}, after{};
        getrusage(RUSAGE_THREAD, &before);
        EXPECT_EQ(backend.MessageBox(nullptr, "text", "caption", MB_OK), IDOK);
        getrusage(RUSAGE_THREAD, &after);
        wakeUps = after.ru_nvcsw - before.ru_nvcsw;
    });
    // Answered a second after it is asked for, from within the box's own loop.
    QTimer::singleShot(1000, [] {
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    Spin([&] { return wakeUps >= 0; }, 20000);
    worker.join();
    EXPECT_LE(wakeUps, 3);
}

}  // namespace
