#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QShortcut>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <memory>

#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_controls.h"

namespace {

QString Q(const char* text) {
    return QString::fromUtf8(text ? text : "");
}

}  // namespace

// ---- the dialog widget ------------------------------------------------------

DialogWidget::DialogWidget(QtWindow& window, QWidget* parent) : QDialog(parent), m_window(window) {}

void DialogWidget::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            m_window.Deliver(WM_COMMAND, MakeWParam(IDCANCEL, BN_CLICKED));
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            // On a push button Enter presses that button; anywhere else it
            // presses the default button, hidden or not.
            auto* button = qobject_cast<QPushButton*>(focusWidget());
            if (button && button->isVisible() && button->isEnabled()) {
                button->click();
                return;
            }
            m_window.Deliver(WM_COMMAND,
                             MakeWParam(static_cast<UINT>(m_window.DefaultButton()), BN_CLICKED));
            return;
        }
        default:
            QWidget::keyPressEvent(event);
    }
}

void DialogWidget::closeEvent(QCloseEvent* event) {
    // The close box is a system command; the dialog decides what it does.
    event->ignore();
    m_window.Deliver(WM_SYSCOMMAND, SC_CLOSE);
}

void DialogWidget::contextMenuEvent(QContextMenuEvent* event) {
    QWidget* under = childAt(event->pos());
    if (under == nullptr || qobject_cast<QLabel*>(under) != nullptr) {
        ShowWindowMenu(event->globalPos());
        event->accept();
        return;
    }
    event->ignore();
}

void DialogWidget::ShowWindowMenu(const QPoint& globalPos) {
    m_window.WindowMenu().exec(globalPos);
}

// ---- the window -------------------------------------------------------------

QtWindow::QtWindow(QtBackend& backend, const DialogTemplate& tmpl, WindowSink& sink,
                   WindowPeer* parent)
    : m_backend(backend),
      m_template(tmpl),
      m_sink(sink),
      m_parent(parent ? static_cast<QtWindow*>(parent)->Widget() : nullptr) {}

QtWindow::~QtWindow() {
    // Senders still waiting are let go before anything else goes away.
    if (m_mailbox) m_mailbox->Close();
    m_backend.Unregister(this);
    m_controls.clear();
    m_menu.reset();
    m_widget.reset();
}

void QtWindow::Create() {
    m_widget = std::make_unique<DialogWidget>(*this, m_parent);
    const QFont font = DialogFont(m_template.fontName, m_template.pointSize);
    m_widget->setFont(font);
    m_units = DialogUnits::For(font);

    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (m_template.style & kSysMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (m_template.style & kMinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
    if (m_template.style & kMaximizeBox) flags |= Qt::WindowMaximizeButtonHint;
    m_widget->setWindowFlags(flags);
    m_widget->setWindowTitle(Q(m_template.caption));
    m_widget->setFixedSize(m_units.X(m_template.cx), m_units.Y(m_template.cy));
    m_widget->setSizeGripEnabled(false);

    QWidget* previousStop = nullptr;
    for (const ControlTemplate& c : m_template.controls) {
        BuildControl(c);
        auto it = m_controls.find(c.id);
        if (!(c.style & kTabStop) || it == m_controls.end()) continue;
        QWidget* widget = m_widget->findChild<QWidget*>(QStringLiteral("ctl%1").arg(c.id));
        if (previousStop && widget) QWidget::setTabOrder(previousStop, widget);
        if (widget) previousStop = widget;
    }

    m_menu = std::make_unique<QMenu>(m_widget.get());
    if (HasSystemMenu()) {
        QObject::connect(m_menu->addAction(QStringLiteral("移动(&M)")), &QAction::triggered,
                         [this] { Deliver(WM_SYSCOMMAND, SC_MOVE); });
        QObject::connect(m_menu->addAction(QStringLiteral("关闭(&C)\tAlt+F4")), &QAction::triggered,
                         [this] { Deliver(WM_SYSCOMMAND, SC_CLOSE); });
        // The window manager keeps its own menu: this one opens with
        // Alt+Space (where the window manager leaves it to us) and with a
        // right-click on the dialog's background.
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), m_widget.get());
        QObject::connect(shortcut, &QShortcut::activated,
                         [this] { m_widget->ShowWindowMenu(m_widget->mapToGlobal(QPoint(0, 0))); });
    }

    // A sender may still be waking the window while it is being destroyed:
    // the wake needs nothing of the window but its handle.
    auto handle = std::make_shared<std::atomic<std::uintptr_t>>(0);
    QtBackend* backend = &m_backend;
    m_mailbox = std::make_unique<OwnerMailbox>(
        [this](UINT message, WPARAM w, LPARAM l) { return Deliver(message, w, l); },
        [backend, handle] { backend->Wake(handle->load()); }, [this] { return Pump(); });
    handle->store(m_mailbox->Handle());
    m_backend.Register(this);

    if (Deliver(WM_INITDIALOG)) {
        for (const ControlTemplate& c : m_template.controls) {
            QWidget* widget = m_widget->findChild<QWidget*>(QStringLiteral("ctl%1").arg(c.id));
            if ((c.style & kTabStop) && (c.style & kVisible) && widget && widget->isEnabled()) {
                widget->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }
}

void QtWindow::BuildControl(const ControlTemplate& c) {
    const QRect rect = m_units.Rect(c.x, c.y, c.cx, c.cy);
    QWidget* widget = nullptr;
    std::unique_ptr<ControlPeer> peer;
    switch (c.kind) {
        case ControlKind::PushButton: {
            auto* button = new QPushButton(Q(c.text), m_widget.get());
            button->setAutoDefault(false);
            button->setDefault(false);
            const UINT id = static_cast<UINT>(c.id);
            QObject::connect(button, &QPushButton::clicked,
                             [this, id] { Deliver(WM_COMMAND, MakeWParam(id, BN_CLICKED)); });
            widget = button;
            peer = std::make_unique<QtButtonPeer>(button);
            break;
        }
        case ControlKind::Static: {
            auto* label = new QLabel(Q(c.text), m_widget.get());
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            peer = std::make_unique<QtLabelPeer>(label);
            break;
        }
        case ControlKind::Icon: {
            auto* label = new QLabel(m_widget.get());
            if (HICON icon = m_backend.LoadIcon(c.resource))
                label->setPixmap(reinterpret_cast<QIcon*>(icon)->pixmap(32, 32));
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            peer = std::make_unique<QtLabelPeer>(label);
            break;
        }
        case ControlKind::DropList: {
            auto* combo = new QComboBox(m_widget.get());
            combo->setEditable(false);
            combo->setMaxVisibleItems(30);
            widget = combo;
            peer = std::make_unique<QtComboPeer>(combo);
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(m_widget.get());
            edit->setReadOnly((c.style & kReadOnly) != 0);
            edit->setAlignment((c.style & kCentered) ? Qt::AlignCenter
                                                     : Qt::AlignLeft | Qt::AlignVCenter);
            edit->setFrame((c.style & kBorder) != 0);
            widget = edit;
            peer = std::make_unique<QtEditPeer>(edit);
            break;
        }
        case ControlKind::ListView: {
            auto* list = new QTableWidget(m_widget.get());
            list->setFrameShape((c.style & kBorder) ? QFrame::StyledPanel : QFrame::NoFrame);
            peer = std::make_unique<QtListPeer>(list);
            if (c.style & kSingleSelect) list->setSelectionMode(QAbstractItemView::SingleSelection);
            widget = list;
            break;
        }
    }
    widget->setObjectName(QStringLiteral("ctl%1").arg(c.id));
    QRect placed = rect;
    // A drop-down list's height includes its dropped list; closed it is as
    // high as its text needs.
    if (c.kind == ControlKind::DropList)
        placed.setHeight(std::min(rect.height(), widget->sizeHint().height()));
    // A label measured in a narrower face may take the free room to its
    // right rather than lose its last letters.
    if (c.kind == ControlKind::Static && widget->sizeHint().width() > rect.width())
        placed.setWidth(std::min(widget->sizeHint().width(), RoomToTheRight(c)));
    widget->setGeometry(placed);
    widget->setFocusPolicy((c.style & kTabStop) ? Qt::StrongFocus : Qt::NoFocus);
    widget->setVisible((c.style & kVisible) != 0);
    if (c.id >= 0) m_controls[c.id] = std::move(peer);
}

int QtWindow::RoomToTheRight(const ControlTemplate& c) const {
    const ControlTemplate* next = m_template.RightNeighbour(c);
    return next ? m_units.X(next->x) - m_units.X(c.x) - 1
                : m_units.X(m_template.cx) - m_units.X(c.x);
}

INT_PTR QtWindow::RunModal() {
    return m_widget->exec();
}

void QtWindow::Show() {
    m_widget->show();
}

void QtWindow::End(INT_PTR result) {
    m_widget->done(static_cast<int>(result));
}

ControlPeer* QtWindow::GetControl(int id) {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second.get();
}

bool QtWindow::AppendSystemMenu(UINT flags, UINT id, const std::string& text) {
    if (!HasSystemMenu()) return false;
    if (flags & MF_SEPARATOR) {
        m_menu->addSeparator();
        return true;
    }
    QAction* action = m_menu->addAction(QString::fromStdString(text));
    QObject::connect(action, &QAction::triggered, [this, id] { Deliver(WM_SYSCOMMAND, id); });
    return true;
}

void QtWindow::SetIcon(HICON icon, bool /*big*/) {
    // Qt picks the size itself from the sizes the icon has.
    if (icon) m_widget->setWindowIcon(*reinterpret_cast<QIcon*>(icon));
}

bool QtWindow::IsIconic() const {
    return m_widget && m_widget->isMinimized();
}

void QtWindow::DefaultSysCommand(UINT id, LPARAM /*lParam*/) {
    if ((id & 0xFFF0) == SC_MOVE && m_widget->windowHandle())
        m_widget->windowHandle()->startSystemMove();
}

LRESULT QtWindow::Deliver(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_sink.WindowProc(message, wParam, lParam);
}

int QtWindow::DefaultButton() const {
    for (const ControlTemplate& c : m_template.controls)
        if (c.kind == ControlKind::PushButton && (c.style & kDefault)) return c.id;
    return IDOK;
}

bool QtWindow::Pump() {
    // One pass of the loop that waits for the worker: the worker's messages,
    // and whatever else is queued except the user's input, which waits
    // until the wait is over.
    const int handled = DispatchSent();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (handled == 0 && m_mailbox)
        m_mailbox->WaitForSent(std::chrono::steady_clock::now() + std::chrono::milliseconds(1));
    return handled > 0;
}
