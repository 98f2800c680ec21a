#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "fake_comm_platform.h"
#include "qt_window_fixture.h"

namespace {

class QtLayoutTest : public QtWindowTest {
protected:
    void SetUp() override {
        QtWindowTest::SetUp();
        Open(comm);
    }
    FakeCommPlatform comm;
};

TEST_F(QtLayoutTest, ControlsSitWhereTheTemplatePutsThem) {
    const DialogUnits& u = Window().Units();
    EXPECT_GT(u.baseX, 3);
    EXPECT_GT(u.baseY, 8);
    EXPECT_EQ(Dialog().size(), QSize(u.X(285), u.Y(226)));
    EXPECT_EQ(Dialog().minimumSize(), Dialog().maximumSize()) << "fixed size";
    const Qt::WindowFlags flags = Dialog().windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(Dialog().windowTitle(), QStringLiteral("Kelvarin"));

    for (const ControlTemplate& c : kMainDialogTemplate.controls) {
        if (c.id < 0) continue;
        QWidget* widget = Control(c.id);
        ASSERT_NE(widget, nullptr) << c.id;
        const QRect expected = u.Rect(c.x, c.y, c.cx, c.cy);
        EXPECT_EQ(widget->pos(), expected.topLeft()) << c.id;
        EXPECT_EQ(widget->width(), expected.width()) << c.id;
        if (c.kind == ControlKind::DropList)
            EXPECT_LE(widget->height(), expected.height()) << "closed, the list is not counted";
        else
            EXPECT_EQ(widget->height(), expected.height()) << c.id;
        EXPECT_EQ(widget->isVisible(), (c.style & kVisible) != 0) << c.id;
    }

    // The labels start where the template says, show their whole text and
    // keep clear of the field after them.
    const std::vector<std::pair<QString, int>> labels = {
        {QStringLiteral("Com No"), IDC_COMBO_PORT},
        {QStringLiteral("Data Length:"), IDC_EDIT_LENGTH},
        {QStringLiteral("Full Range:"), IDC_EDIT_RANGE}};
    for (const auto& [text, next] : labels) {
        QLabel* label = nullptr;
        for (QLabel* l : Dialog().findChildren<QLabel*>())
            if (l->text() == text) label = l;
        ASSERT_NE(label, nullptr) << text.toStdString();
        EXPECT_GE(label->width(), label->sizeHint().width()) << text.toStdString();
        EXPECT_LT(label->geometry().right(), Control(next)->x()) << text.toStdString();
    }
}

TEST_F(QtLayoutTest, ListIsAReportViewWithCentredColumnsAndGridLines) {
    auto* list = Control<QTableWidget>(IDC_LIST_DATA);
    ASSERT_NE(list, nullptr);
    const int widths[] = {90, 100, 100, 80};
    const char* headings[] = {"ID", "DATA", "UNIT", "PASS"};
    ASSERT_EQ(list->columnCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(list->columnWidth(i), widths[i]);
        EXPECT_EQ(list->horizontalHeaderItem(i)->text().toStdString(), headings[i]);
        EXPECT_EQ(list->horizontalHeaderItem(i)->textAlignment(), int(Qt::AlignCenter));
    }
    EXPECT_TRUE(list->showGrid());
    EXPECT_TRUE(list->horizontalHeader()->isVisible());
    EXPECT_FALSE(list->verticalHeader()->isVisible());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);

    // A record frame reaches the list as bytes do: its cells are centred
    // and cannot be edited.
    for (std::uint8_t b : {0xEB, 0x00, 0x55, 0x03, 0x00, 0x0A, 0x01, 0x00, 0x00, 0x30, 0x39, 0x00,
                           0x02, 0x02, 0x01, 0x00, 0xBC})
        dlg->SendMessage(WM_SERIAL_BYTE, b, 1);
    ASSERT_EQ(list->rowCount(), 1);
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(list->item(0, i), nullptr);
        EXPECT_EQ(list->item(0, i)->textAlignment(), int(Qt::AlignCenter));
        EXPECT_FALSE(list->item(0, i)->flags() & Qt::ItemIsEditable);
    }
    EXPECT_EQ(list->item(0, 1)->text().toStdString(), "123.449997");

    for (int id : {IDC_EDIT_LENGTH, IDC_EDIT_RANGE}) {
        auto* edit = Control<QLineEdit>(id);
        EXPECT_TRUE(edit->isReadOnly());
        EXPECT_EQ(edit->alignment(), Qt::AlignCenter);
        EXPECT_EQ(edit->text().toStdString(), "0");
    }
    auto* ports = Control<QComboBox>(IDC_COMBO_PORT);
    EXPECT_FALSE(ports->isEditable());
    EXPECT_EQ(ports->count(), 12);
    EXPECT_EQ(ports->currentText().toStdString(), "1");
    EXPECT_TRUE(ports->hasFocus());
}

TEST_F(QtLayoutTest, EnterPressesAFocusedButtonAndEndsTheDialogAnywhereElse) {
    auto* open = Control<QPushButton>(IDC_BUTTON_OPEN);
    open->setFocus();
    QTest::keyClick(open, Qt::Key_Return);
    EXPECT_TRUE(Control(IDC_BUTTON_CLOSE)->isEnabled()) << "Enter on Port Open opens the port";
    EXPECT_TRUE(Dialog().isVisible());

    auto* list = Control<QTableWidget>(IDC_LIST_DATA);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_EQ(Dialog().result(), IDOK);
}

// Finds the About item of the window menu.
QAction* AboutAction(QMenu& menu) {
    for (QAction* a : menu.actions())
        if (a->text() == QStringLiteral("关于 Kelvarin(&A)...")) return a;
    return nullptr;
}

TEST_F(QtLayoutTest, WindowMenuEndsWithTheAboutItemWhoseBoxHandlesBytes) {
    QMenu& menu = Window().WindowMenu();
    const QList<QAction*> actions = menu.actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    QAction* about = AboutAction(menu);
    ASSERT_EQ(about, actions.back());

    // While the About box runs its loop, another thread sends a frame byte
    // by byte; the box closes once the field shows it.
    std::string title, text;
    std::thread sender;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || box == &Dialog()) return;
        if (!sender.joinable()) {
            title = box->windowTitle().toStdString();
            for (QLabel* l : box->findChildren<QLabel*>())
                if (!l->text().isEmpty()) text = l->text().toStdString();
            sender = std::thread([owner = dlg->GetSafeOwner()] {
                for (std::uint8_t b : {0xEB, 0x00, 0x55, 0x02, 0x00, 0x01, 0x09, 0x4C})
                    OwnerMailbox::Send(owner, WM_SERIAL_BYTE, b, 1);
            });
        }
        if (Text(IDC_EDIT_LENGTH) == "9") {
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(box, &enter);
        }
    });
    poll.start(10);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    watchdog.start(10000);

    about->trigger();
    poll.stop();
    if (sender.joinable()) sender.join();
    EXPECT_EQ(title, "关于 Kelvarin");
    EXPECT_EQ(text, "Kelvarin，1.0 版");
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "9");
    EXPECT_EQ(backend.Windows().size(), 1u) << "the About box is gone";
}

TEST_F(QtLayoutTest, MessageBoxLoopHandlesBytesAndBoxesFromOtherThreadsAreShown) {
    std::thread sender;
    std::vector<std::string> seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (seen.empty() || seen.back() != box->text().toStdString())
            seen.push_back(box->text().toStdString());
        if (!sender.joinable())
            sender = std::thread([owner = dlg->GetSafeOwner()] {
                for (std::uint8_t b : {0xEB, 0x00, 0x55, 0x02, 0x00, 0x01, 0x07, 0x4A})
                    OwnerMailbox::Send(owner, WM_SERIAL_BYTE, b, 1);
            });
        if (Text(IDC_EDIT_LENGTH) == "7") box->accept();
    });
    poll.start(10);

    // A box of the window's own, then one asked for by another thread, as
    // the serial worker does.
    dlg->MessageBox("first", "提示", MB_ICONEXCLAMATION);
    std::atomic<bool> answered{false};
    std::thread worker([&] {
        backend.MessageBox(nullptr, "second", "Application Error", MB_ICONSTOP);
        answered = true;
    });
    EXPECT_TRUE(Spin([&] { return answered.load(); }));
    worker.join();
    sender.join();
    poll.stop();
    EXPECT_EQ(seen, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "7");
}

}  // namespace
