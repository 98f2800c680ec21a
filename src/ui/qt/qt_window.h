#pragma once

#include <QDialog>
#include <QMenu>
#include <map>
#include <memory>
#include <vector>

#include "ui/backend.h"
#include "ui/qt/dialog_units.h"
#include "winapi/owner_mailbox.h"

class QtBackend;
class QtWindow;

// The dialog widget: turns what the user does into window messages.
class DialogWidget : public QDialog {
public:
    DialogWidget(QtWindow& window, QWidget* parent);

    void ShowWindowMenu(const QPoint& globalPos);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QtWindow& m_window;
};

class QtWindow : public WindowPeer {
public:
    QtWindow(QtBackend& backend, const DialogTemplate& tmpl, WindowSink& sink, WindowPeer* parent);
    ~QtWindow() override;

    void Create() override;
    INT_PTR RunModal() override;
    void Show() override;
    void End(INT_PTR result) override;
    ControlPeer* GetControl(int id) override;
    std::uintptr_t OwnerHandle() const override { return m_mailbox ? m_mailbox->Handle() : 0; }
    bool HasSystemMenu() const override { return (m_template.style & kSysMenu) != 0; }
    bool AppendSystemMenu(UINT flags, UINT id, const std::string& text) override;
    void SetIcon(HICON icon, bool big) override;
    bool IsIconic() const override;
    void DefaultSysCommand(UINT id, LPARAM lParam) override;

    // Delivers a message to the dialog on this thread.
    LRESULT Deliver(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Handles the messages other threads have sent; returns how many.
    int DispatchSent() { return m_mailbox ? m_mailbox->DispatchSent() : 0; }

    DialogWidget* Widget() const { return m_widget.get(); }
    const DialogTemplate& Template() const { return m_template; }
    const DialogUnits& Units() const { return m_units; }
    // The id of the default push button, or IDOK.
    int DefaultButton() const;
    // The system menu's own items followed by the program's.
    QMenu& WindowMenu() { return *m_menu; }

private:
    bool Pump();
    void BuildControl(const ControlTemplate& c);
    int RoomToTheRight(const ControlTemplate& c) const;

    QtBackend& m_backend;
    const DialogTemplate& m_template;
    WindowSink& m_sink;
    QWidget* m_parent;
    DialogUnits m_units{4, 8};
    std::unique_ptr<DialogWidget> m_widget;
    std::unique_ptr<QMenu> m_menu;
    std::map<int, std::unique_ptr<ControlPeer>> m_controls;
    std::unique_ptr<OwnerMailbox> m_mailbox;
};
