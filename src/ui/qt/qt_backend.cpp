#include "ui/qt/qt_backend.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QMessageBox>
#include <QThread>
#include <algorithm>
#include <condition_variable>
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

struct BoxEvent : QEvent {
    explicit BoxEvent(std::shared_ptr<QtBackend::BoxRequest> request)
        : QEvent(kBoxEvent), request(std::move(request)) {}
    std::shared_ptr<QtBackend::BoxRequest> request;
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

// A box asked for by another thread, which sleeps until it is answered or
// abandoned (the last window went before it was shown).
struct QtBackend::BoxRequest {
    std::string text;
    std::string caption;
    UINT type = 0;
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool abandoned = false;
    int result = IDOK;
};

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
        } else if (event->type() == kBoxEvent) {
            const std::shared_ptr<BoxRequest> request = static_cast<BoxEvent*>(event)->request;
            {
                std::lock_guard lock(request->mutex);
                if (request->abandoned) return;
            }
            const int result =
                m_backend.ShowBox(nullptr, request->text, request->caption, request->type);
            std::lock_guard lock(request->mutex);
            request->result = result;
            request->done = true;
            request->answered.notify_all();
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

    auto request = std::make_shared<BoxRequest>();
    request->text = text;
    request->caption = caption;
    request->type = type;
    bool shown = false;
    {
        // Once the last window is gone nobody will show it (the windows'
        // thread may be waiting for this very thread to end): say it on
        // stderr instead. Unregister lets go of boxes still waiting then.
        std::lock_guard boxes(m_boxesLock);
        if (m_windowCount.load() > 0) {
            m_pendingBoxes.push_back(request);
            QCoreApplication::postEvent(m_dispatcher.get(), new BoxEvent(request));
            shown = true;
        }
    }
    if (shown) {
        std::unique_lock lock(request->mutex);
        request->answered.wait(lock, [&] { return request->done || request->abandoned; });
        shown = request->done;
    }
    {
        std::lock_guard boxes(m_boxesLock);
        std::erase(m_pendingBoxes, request);
    }
    if (!shown) std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return shown ? request->result : IDOK;
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
    ++m_windowCount;
}

void QtBackend::Unregister(QtWindow* window) {
    auto it = std::find(m_windows.begin(), m_windows.end(), window);
    if (it == m_windows.end()) return;
    m_windows.erase(it);
    if (--m_windowCount > 0) return;
    std::lock_guard boxes(m_boxesLock);
    for (const std::shared_ptr<BoxRequest>& request : m_pendingBoxes) {
        std::lock_guard lock(request->mutex);
        if (request->done) continue;
        request->abandoned = true;
        request->answered.notify_all();
    }
}

QtWindow* QtBackend::Find(std::uintptr_t owner) const {
    for (QtWindow* window : m_windows)
        if (window->OwnerHandle() == owner) return window;
    return nullptr;
}
