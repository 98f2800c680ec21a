#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <atomic>
#include <thread>

#include "fake_comm_platform.h"
#include "qt_window_fixture.h"
#include "sim_session.h"

namespace {

class QtLayoutTest : public QtWindowTest {
protected:
    void SetUp() override {
        QtWindowTest::SetUp();
        Open(comm, excel);
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
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    for (const ControlTemplate& c : kMainDialogTemplate.controls) {
        if (c.id < 0) continue;
        QWidget* widget = Control(c.id);
        ASSERT_NE(widget, nullptr) << c.id;
        const QRect expected = u.Rect(c.x, c.y, c.cx, c.cy);
        EXPECT_EQ(widget->pos(), expected.topLeft()) << c.id;
        EXPECT_EQ(widget->width(), expected.width()) << c.id;
        // Closed, the drop-down list's height does not count.
        if (c.kind != ControlKind::DropList) {
            EXPECT_EQ(widget->height(), expected.height()) << c.id;
        }
        EXPECT_EQ(widget->isVisible(), (c.style & kVisible) != 0) << c.id;
    }

    // The labels show their whole text and keep clear of the field after them.
    for (const auto& [text, next] : {std::pair{"Com No", IDC_COMBO_PORT},
                                     {"Data Length:", IDC_EDIT_LENGTH},
                                     {"Full Range:", IDC_EDIT_RANGE}}) {
        QLabel* label = nullptr;
        for (QLabel* l : Dialog().findChildren<QLabel*>())
            if (l->text() == QString::fromUtf8(text)) label = l;
        ASSERT_NE(label, nullptr) << text;
        EXPECT_GE(label->width(), label->sizeHint().width()) << text;
        EXPECT_LT(label->geometry().right(), Control(next)->x()) << text;
    }
}

TEST_F(QtLayoutTest, ListIsAReportViewWithCentredColumnsAndFieldsAreCentred) {
    auto* list = Control<QTableWidget>(IDC_LIST_DATA);
    QStringList columns;
    for (int i = 0; i < list->columnCount(); ++i)
        columns << QStringLiteral("%1 %2 %3")
                       .arg(list->horizontalHeaderItem(i)->text())
                       .arg(list->columnWidth(i))
                       .arg(list->horizontalHeaderItem(i)->textAlignment() == Qt::AlignCenter);
    EXPECT_EQ(columns, QStringList({"ID 90 1", "DATA 100 1", "UNIT 100 1", "PASS 80 1"}));
    EXPECT_TRUE(list->showGrid());
    EXPECT_FALSE(list->verticalHeader()->isVisible());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);

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

    for (int id : {IDC_EDIT_LENGTH, IDC_EDIT_RANGE}) {
        EXPECT_TRUE(Control<QLineEdit>(id)->isReadOnly());
        EXPECT_EQ(Control<QLineEdit>(id)->alignment(), Qt::AlignCenter);
    }
    auto* ports = Control<QComboBox>(IDC_COMBO_PORT);
    EXPECT_FALSE(ports->isEditable());
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

TEST_F(QtLayoutTest, WindowMenuEndsWithTheAboutItemWhoseBoxHandlesBytes) {
    const QList<QAction*> actions = Window().WindowMenu().actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), QStringLiteral("关于 Kelvarin(&A)..."));

    EXPECT_EQ(WhileBoxesAreUp(9, [&] { actions.back()->trigger(); }),
              (std::vector<std::string>{"关于 Kelvarin|Kelvarin，1.0 版"}));
    EXPECT_EQ(Text(IDC_EDIT_LENGTH), "9");
    EXPECT_EQ(backend.Windows().size(), 1u) << "the About box is gone";
}

TEST_F(QtLayoutTest, MessageBoxesOfTheWindowAndOfOtherThreadsAreShownAndHandleBytes) {
    const auto seen = WhileBoxesAreUp(7, [&] {
        dlg->MessageBox("first", "提示", MB_ICONEXCLAMATION);
        // A box asked for by another thread, as the serial worker does.
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

}  // namespace
