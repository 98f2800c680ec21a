#include "ui/qt/qt_backend.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QMessageBox>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "ui/qt/qt_window.h"

namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kBoxEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct WakeEvent : QEvent {
    explicit WakeEvent(std::uintptr_t owner) : QEvent(kWakeEvent), owner(owner) {}
    std::uintptr_t owner;
};

// A box another thread asks for; it rides on the backend's mailbox.
constexpr UINT kShowBox = WM_USER + 1;
struct BoxText {
    const std::string& text;
    const std::string& caption;
    UINT type;
};

QMessageBox::Icon BoxIcon(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case MB_ICONASTERISK:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

// Lives on the windows' thread as long as the backend, so that other
// threads always have somewhere to post to.
class QtBackend::Dispatcher : public QObject {
public:
    explicit Dispatcher(QtBackend& backend) : m_backend(backend) {}

protected:
    void customEvent(QEvent* event) override {
        if (event->type() == kWakeEvent) {
            if (QtWindow* window = m_backend.Find(static_cast<WakeEvent*>(event)->owner))
                window->DispatchSent();
        } else if (event->type() == kBoxEvent && m_backend.m_boxes) {
            m_backend.m_boxes->DispatchSent();
        }
    }

private:
    QtBackend& m_backend;
};

QtBackend::QtBackend() : m_dispatcher(std::make_unique<Dispatcher>(*this)) {}

QtBackend::~QtBackend() = default;

std::unique_ptr<WindowPeer> QtBackend::NewWindow(const DialogTemplate& tmpl, WindowSink& sink,
                                                 WindowPeer* parent) {
    return std::make_unique<QtWindow>(*this, tmpl, sink, parent);
}

HICON QtBackend::LoadIcon(int resourceId) {
    auto it = m_icons.find(resourceId);
    if (it == m_icons.end()) {
        auto icon = std::make_unique<QIcon>();
        const QDir folder(QStringLiteral(":/icons/%1").arg(resourceId));
        for (const QString& file : folder.entryList({QStringLiteral("*.png")}, QDir::Files))
            icon->addFile(folder.filePath(file));
        it = m_icons.emplace(resourceId, std::move(icon)).first;
    }
    return it->second->isNull() ? nullptr : reinterpret_cast<HICON>(it->second.get());
}

int QtBackend::MessageBox(WindowPeer* owner, const std::string& text, const std::string& caption,
                          UINT type) {
    if (QThread::currentThread() == m_dispatcher->thread())
        return ShowBox(owner, text, caption, type);

    // Shown by the windows' thread while this one waits. Once the last
    // window is gone nobody will show it (the windows' thread may be waiting
    // for this very thread to end): it is said on stderr instead.
    const BoxText box{text, caption, type};
    const LRESULT shown =
        OwnerMailbox::Send(m_boxesHandle.load(), kShowBox, 0, reinterpret_cast<LPARAM>(&box));
    if (shown != 0) return static_cast<int>(shown);
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return IDOK;
}

int QtBackend::ShowBox(WindowPeer* owner, const std::string& text, const std::string& caption,
                       UINT type) {
    QWidget* parent = owner ? static_cast<QtWindow*>(owner)->Widget() : nullptr;
    QMessageBox box(BoxIcon(type), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return IDOK;
}

void QtBackend::Wake(std::uintptr_t owner) {
    QCoreApplication::postEvent(m_dispatcher.get(), new WakeEvent(owner));
}

void QtBackend::Register(QtWindow* window) {
    m_windows.push_back(window);
    if (m_boxes) return;
    m_boxes = std::make_unique<OwnerMailbox>(
        [this](UINT, WPARAM, LPARAM lParam) -> LRESULT {
            const auto& box = *reinterpret_cast<const BoxText*>(lParam);
            return ShowBox(nullptr, box.text, box.caption, box.type);
        },
        [this] { QCoreApplication::postEvent(m_dispatcher.get(), new QEvent(kBoxEvent)); });
    m_boxesHandle = m_boxes->Handle();
}

void QtBackend::Unregister(QtWindow* window) {
    auto it = std::find(m_windows.begin(), m_windows.end(), window);
    if (it == m_windows.end()) return;
    m_windows.erase(it);
    if (!m_windows.empty()) return;
    // Boxes still waiting, and any asked for later, go to stderr.
    m_boxesHandle = 0;
    m_boxes.reset();
}

QtWindow* QtBackend::Find(std::uintptr_t owner) const {
    for (QtWindow* window : m_windows)
        if (window->OwnerHandle() == owner) return window;
    return nullptr;
}
