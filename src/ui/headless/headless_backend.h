#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "serial/owner_mailbox.h"
#include "ui/backend.h"

// A window system kept in memory, for tests: controls hold their state in
// plain members, message boxes are recorded and answered by a script, and
// modal loops run scripted steps while they handle messages sent from other
// threads, as a real nested loop would.

class HeadlessBackend;

class HeadlessControl : public ControlPeer {
public:
    explicit HeadlessControl(const ControlTemplate& tmpl)
        : tmpl(tmpl), visible((tmpl.style & kVisible) != 0), text(tmpl.text ? tmpl.text : "") {}

    void Enable(bool enable) override { enabled = enable; }
    bool IsEnabled() const override { return enabled; }
    void SetText(const std::string& t) override { text = t; }
    std::string GetText() const override { return text; }

    int AddString(const std::string& item) override;
    int GetCount() const override { return static_cast<int>(items.size()); }
    int GetCurSel() const override { return selection; }
    int SetCurSel(int index) override;
    std::string GetLBText(int index) const override;

    std::uint32_t GetExtendedStyle() const override { return extendedStyle; }
    void SetExtendedStyle(std::uint32_t style) override { extendedStyle = style; }
    int InsertColumn(int index, const std::string& heading, int format, int width) override;
    int GetColumnCount() const override { return static_cast<int>(columns.size()); }
    std::string GetColumnText(int column) const override;
    int GetColumnWidth(int column) const override;
    int GetColumnFormat(int column) const override;
    int InsertItem(int index, const std::string& text) override;
    bool SetItemText(int row, int column, const std::string& text) override;
    std::string GetItemText(int row, int column) const override;
    int GetItemCount() const override { return static_cast<int>(rows.size()); }
    bool DeleteAllItems() override;

    struct Column {
        std::string heading;
        int format;
        int width;
    };

    const ControlTemplate& tmpl;
    bool enabled = true;
    bool visible;
    std::string text;
    std::vector<std::string> items;
    int selection = -1;
    std::uint32_t extendedStyle = 0;
    std::vector<Column> columns;
    std::vector<std::vector<std::string>> rows;
};

struct MenuItem {
    UINT flags;
    UINT id;
    std::string text;
};

class HeadlessWindow : public WindowPeer {
public:
    HeadlessWindow(HeadlessBackend& backend, const DialogTemplate& tmpl, WindowSink& sink,
                   WindowPeer* parent);
    ~HeadlessWindow() override;

    void Create() override;
    INT_PTR RunModal() override;
    void Show() override { shown = true; }
    void End(INT_PTR value) override;
    ControlPeer* GetControl(int id) override;
    std::uintptr_t OwnerHandle() const override { return m_mailbox->Handle(); }
    bool HasSystemMenu() const override { return (tmpl.style & kSysMenu) != 0; }
    bool AppendSystemMenu(UINT flags, UINT id, const std::string& text) override;
    void SetIcon(HICON icon, bool big) override { (big ? bigIcon : smallIcon) = icon; }
    bool IsIconic() const override { return iconic; }
    void DefaultSysCommand(UINT id, LPARAM) override { defaultSysCommands.push_back(id); }
    void DrawIconCentred(HICON icon) override { paintedIcon = icon; }

    // What the user does, delivered at once. A click on a control that is
    // missing, hidden or disabled reaches nobody and returns false.
    bool Click(int id);
    void PressEscape();
    // Enter with the focus outside the push buttons: the default button.
    void PressEnter();
    void PressCloseBox();
    void ChooseSystemCommand(UINT id);
    void Paint();
    // User input that waits in the queue until a loop takes it.
    void PostClick(int id);

    // One pass of this window's loop: every message sent from other threads
    // to any window, then at most one queued input of this window.
    int PumpOnce();

    HeadlessControl& Control(int id);
    // Every control in template order, the unnamed ones included.
    std::vector<HeadlessControl*> AllControls() const;

    const DialogTemplate& tmpl;
    WindowPeer* parent;
    std::vector<MenuItem> systemMenu;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    HICON paintedIcon = nullptr;
    bool iconic = false;
    bool shown = false;
    bool ended = false;
    INT_PTR result = 0;
    int focusId = 0;
    BOOL initResult = FALSE;
    std::vector<UINT> defaultSysCommands;

private:
    friend class HeadlessBackend;
    bool WaitForSent(std::chrono::milliseconds timeout);

    HeadlessBackend& m_backend;
    WindowSink& m_sink;
    std::vector<std::unique_ptr<HeadlessControl>> m_all;
    std::map<int, HeadlessControl*> m_controls;
    std::deque<int> m_inputs;
    std::unique_ptr<OwnerMailbox> m_mailbox;
};

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    UINT type;
    bool owned;  // shown with an owner window
};

class HeadlessBackend : public UiBackend {
public:
    std::unique_ptr<WindowPeer> NewWindow(const DialogTemplate& tmpl, WindowSink& sink,
                                          WindowPeer* parent) override;
    HICON LoadIcon(int resourceId) override;
    int MessageBox(WindowPeer* owner, const std::string& text, const std::string& caption,
                   UINT type) override;
    bool InitCommonControls(std::uint32_t classes) override {
        commonControls |= classes;
        return true;
    }

    // Handles every sent message of every window; returns how many.
    int DispatchAllSent();
    // Runs a nested loop (sent messages only) until `done` holds or the time
    // is up; returns whether it held.
    bool RunLoopUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // The window created last that still exists, or null.
    HeadlessWindow* Top() const { return windows.empty() ? nullptr : windows.back(); }
    // The main window: the first one that still exists.
    HeadlessWindow* Main() const { return windows.empty() ? nullptr : windows.front(); }

    static HICON IconHandle(int resourceId);

    std::vector<HeadlessWindow*> windows;
    std::vector<MessageBoxRecord> boxes;
    // Runs while a box is "open"; its answer is the box's result.
    std::function<int(const MessageBoxRecord&)> onMessageBox;
    // Each modal loop takes the first script: it is called on every pass of
    // the loop until it returns true.
    std::deque<std::function<bool(HeadlessWindow&)>> modalScripts;
    // A modal loop with nothing to do for this long ends with -1.
    std::chrono::milliseconds idleLimit{3000};
    std::vector<int> loadedIcons;
    std::uint32_t commonControls = 0;
};
