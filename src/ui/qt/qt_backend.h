#pragma once

#include <QIcon>
#include <QObject>
#include <atomic>
#include <map>
#include <memory>
#include <vector>

#include "ui/backend.h"
#include "winapi/owner_mailbox.h"

class QtWindow;

// The dialog framework on Qt 6 Widgets. Create it after the QApplication, on
// the thread that runs the windows, and keep it until every window and
// every serial worker is gone.
class QtBackend : public UiBackend {
public:
    QtBackend();
    ~QtBackend() override;

    std::unique_ptr<WindowPeer> NewWindow(const DialogTemplate& tmpl, WindowSink& sink,
                                          WindowPeer* parent) override;
    // The icon from the PNG files under the resource folder ":/icons/<id>".
    HICON LoadIcon(int resourceId) override;
    // May be called from any thread: a box for another thread is shown by
    // the windows' thread while the caller waits, as long as a window exists.
    int MessageBox(WindowPeer* owner, const std::string& text, const std::string& caption,
                   UINT type) override;

    // From any thread: asks the windows' thread to handle what was sent to
    // the window with this owner handle.
    void Wake(std::uintptr_t owner);

    void Register(QtWindow* window);
    void Unregister(QtWindow* window);
    QtWindow* Find(std::uintptr_t owner) const;
    const std::vector<QtWindow*>& Windows() const { return m_windows; }

    class Dispatcher;

private:
    int ShowBox(WindowPeer* owner, const std::string& text, const std::string& caption, UINT type);

    std::unique_ptr<Dispatcher> m_dispatcher;
    std::map<int, std::unique_ptr<QIcon>> m_icons;
    std::vector<QtWindow*> m_windows;
    // Boxes other threads ask for, while a window exists.
    std::unique_ptr<OwnerMailbox> m_boxes;
    std::atomic<OwnerHandle> m_boxesHandle{0};
};
