#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/dialog_template.h"
#include "winapi/win_types.h"

// The seam between the dialog framework and a window system. A backend
// builds windows and controls from templates and turns what the user does
// into window messages for the dialog (WM_COMMAND for clicks, Enter and
// Escape, WM_SYSCOMMAND for the system menu and the close box, WM_PAINT).
// Texts are UTF-8 throughout.

// One control of a dialog window. Operations a kind of control lacks keep
// their neutral defaults.
class ControlPeer {
public:
    virtual ~ControlPeer() = default;

    virtual void Enable(bool enable) = 0;
    virtual bool IsEnabled() const = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual std::string GetText() const = 0;

    // Drop-down list. Items keep the order they were added in.
    virtual int AddString(const std::string&) { return -1; }
    virtual int GetCount() const { return 0; }
    virtual int GetCurSel() const { return -1; }
    virtual int SetCurSel(int) { return -1; }
    virtual std::string GetLBText(int) const { return {}; }

    // Report list view.
    virtual std::uint32_t GetExtendedStyle() const { return 0; }
    virtual void SetExtendedStyle(std::uint32_t) {}
    // Returns the index the column landed at, or -1.
    virtual int InsertColumn(int, const std::string&, int /*format*/, int /*width*/) { return -1; }
    virtual int GetColumnCount() const { return 0; }
    virtual std::string GetColumnText(int) const { return {}; }
    virtual int GetColumnWidth(int) const { return 0; }
    virtual int GetColumnFormat(int) const { return 0; }
    // An index past the last row appends; returns the row, or -1.
    virtual int InsertItem(int, const std::string&) { return -1; }
    virtual bool SetItemText(int, int, const std::string&) { return false; }
    virtual std::string GetItemText(int, int) const { return {}; }
    virtual int GetItemCount() const { return 0; }
    virtual bool DeleteAllItems() { return false; }
};

// Where a window delivers its messages: the dialog.
class WindowSink {
public:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~WindowSink() = default;
};

// One dialog window.
class WindowPeer {
public:
    virtual ~WindowPeer() = default;

    // Creates the window and its controls from the template, then sends
    // WM_INITDIALOG to the sink; a TRUE answer puts the focus on the first
    // visible, enabled tab stop. The window is not shown yet.
    virtual void Create() = 0;
    // Shows the window and runs its modal loop until End; returns End's value.
    virtual INT_PTR RunModal() = 0;
    // Shows the window without a loop of its own.
    virtual void Show() = 0;
    virtual void End(INT_PTR result) = 0;

    virtual ControlPeer* GetControl(int id) = 0;
    // The owner value handed to the serial port: messages sent to it from
    // other threads reach the sink on this window's thread.
    virtual std::uintptr_t OwnerHandle() const = 0;

    virtual bool HasSystemMenu() const = 0;
    virtual bool AppendSystemMenu(UINT flags, UINT id, const std::string& text) = 0;
    virtual void SetIcon(HICON icon, bool big) = 0;
    virtual bool IsIconic() const = 0;
    // System commands the dialog leaves to the window system.
    virtual void DefaultSysCommand(UINT id, LPARAM lParam) = 0;
    // Paints a minimised window's icon centred in its client area.
    virtual void DrawIconCentred(HICON) {}
};

class UiBackend {
public:
    virtual ~UiBackend() = default;

    // `parent` may be null. The window exists only after Create().
    virtual std::unique_ptr<WindowPeer> NewWindow(const DialogTemplate& tmpl, WindowSink& sink,
                                                  WindowPeer* parent) = 0;
    // The icon with this resource id in every size the program has; shared,
    // never destroyed. Null when there is none.
    virtual HICON LoadIcon(int resourceId) = 0;
    // A modal box with the icon and buttons of `type`; `owner` may be null.
    // Returns the id of the button that closed it (IDOK for an OK box).
    virtual int MessageBox(WindowPeer* owner, const std::string& text, const std::string& caption,
                           UINT type) = 0;
    // Makes the standard control classes available.
    virtual bool InitCommonControls(std::uint32_t /*classes*/) { return true; }
};
