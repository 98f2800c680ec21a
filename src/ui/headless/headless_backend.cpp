#include "ui/headless/headless_backend.h"

#include <algorithm>
#include <stdexcept>

// ---- controls ---------------------------------------------------------------

int HeadlessControl::AddString(const std::string& item) {
    items.push_back(item);
    return static_cast<int>(items.size()) - 1;
}

int HeadlessControl::SetCurSel(int index) {
    if (index < 0 || index >= GetCount()) {
        selection = -1;
        return -1;
    }
    selection = index;
    return index;
}

std::string HeadlessControl::GetLBText(int index) const {
    return index >= 0 && index < GetCount() ? items[index] : std::string();
}

int HeadlessControl::InsertColumn(int index, const std::string& heading, int format, int width) {
    if (index < 0) return -1;
    index = std::min(index, GetColumnCount());
    columns.insert(columns.begin() + index, Column{heading, format, width});
    for (auto& row : rows) row.insert(row.begin() + index, std::string());
    return index;
}

std::string HeadlessControl::GetColumnText(int column) const {
    return column >= 0 && column < GetColumnCount() ? columns[column].heading : std::string();
}

int HeadlessControl::GetColumnWidth(int column) const {
    return column >= 0 && column < GetColumnCount() ? columns[column].width : 0;
}

int HeadlessControl::GetColumnFormat(int column) const {
    return column >= 0 && column < GetColumnCount() ? columns[column].format : 0;
}

int HeadlessControl::InsertItem(int index, const std::string& item) {
    if (index < 0) return -1;
    index = std::min(index, GetItemCount());
    std::vector<std::string> row(std::max<std::size_t>(columns.size(), 1));
    row[0] = item;
    rows.insert(rows.begin() + index, std::move(row));
    return index;
}

bool HeadlessControl::SetItemText(int row, int column, const std::string& item) {
    if (row < 0 || row >= GetItemCount() || column < 0 || column >= GetColumnCount()) return false;
    rows[row][column] = item;
    return true;
}

std::string HeadlessControl::GetItemText(int row, int column) const {
    if (row < 0 || row >= GetItemCount() || column < 0 ||
        column >= static_cast<int>(rows[row].size()))
        return {};
    return rows[row][column];
}

bool HeadlessControl::DeleteAllItems() {
    rows.clear();
    return true;
}

// ---- window -----------------------------------------------------------------

HeadlessWindow::HeadlessWindow(HeadlessBackend& backend, const DialogTemplate& tmpl,
                               WindowSink& sink, WindowPeer* parent)
    : tmpl(tmpl), parent(parent), m_backend(backend), m_sink(sink) {}

HeadlessWindow::~HeadlessWindow() {
    if (m_mailbox) m_mailbox->Close();
    auto& all = m_backend.windows;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void HeadlessWindow::Create() {
    for (const ControlTemplate& c : tmpl.controls) {
        m_all.push_back(std::make_unique<HeadlessControl>(c));
        if (c.id >= 0) m_controls[c.id] = m_all.back().get();
    }
    m_mailbox = std::make_unique<OwnerMailbox>(
        [this](UINT message, WPARAM w, LPARAM l) { return m_sink.WindowProc(message, w, l); },
        OwnerMailbox::Wake{}, [this] { return PumpOnce() > 0; });
    m_backend.windows.push_back(this);
    initResult = static_cast<BOOL>(m_sink.WindowProc(WM_INITDIALOG, 0, 0));
    if (initResult) {
        for (const ControlTemplate& c : tmpl.controls) {
            HeadlessControl* control = c.id >= 0 ? m_controls[c.id] : nullptr;
            if (control && control->visible && control->enabled && (c.style & kTabStop)) {
                focusId = c.id;
                break;
            }
        }
    }
}

INT_PTR HeadlessWindow::RunModal() {
    shown = true;
    std::function<bool(HeadlessWindow&)> script;
    if (!m_backend.modalScripts.empty()) {
        script = std::move(m_backend.modalScripts.front());
        m_backend.modalScripts.pop_front();
    }
    auto idleSince = std::chrono::steady_clock::now();
    while (!ended) {
        if (script && script(*this)) script = nullptr;
        if (ended) break;
        if (PumpOnce() > 0) {
            idleSince = std::chrono::steady_clock::now();
            continue;
        }
        if (std::chrono::steady_clock::now() - idleSince > m_backend.idleLimit) {
            // A test that never ends its loop fails instead of hanging.
            End(-1);
            break;
        }
        WaitForSent(std::chrono::milliseconds(1));
    }
    return result;
}

void HeadlessWindow::End(INT_PTR value) {
    ended = true;
    result = value;
    shown = false;
}

ControlPeer* HeadlessWindow::GetControl(int id) {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

std::vector<HeadlessControl*> HeadlessWindow::AllControls() const {
    std::vector<HeadlessControl*> all;
    for (const auto& c : m_all) all.push_back(c.get());
    return all;
}

HeadlessControl& HeadlessWindow::Control(int id) {
    auto it = m_controls.find(id);
    if (it == m_controls.end()) throw std::out_of_range("no control " + std::to_string(id));
    return *it->second;
}

bool HeadlessWindow::AppendSystemMenu(UINT flags, UINT id, const std::string& text) {
    if (!HasSystemMenu()) return false;
    systemMenu.push_back(MenuItem{flags, id, text});
    return true;
}

bool HeadlessWindow::Click(int id) {
    // While one of its dialogs runs modally, a window takes no input.
    for (HeadlessWindow* w : m_backend.windows)
        if (w != this && w->parent == this && w->shown) return false;
    auto it = m_controls.find(id);
    if (it == m_controls.end() || !it->second->visible || !it->second->enabled) return false;
    m_sink.WindowProc(WM_COMMAND, MakeWParam(static_cast<UINT>(id), BN_CLICKED), 0);
    return true;
}

void HeadlessWindow::PressEscape() {
    m_sink.WindowProc(WM_COMMAND, MakeWParam(IDCANCEL, BN_CLICKED), 0);
}

void HeadlessWindow::PressEnter() {
    UINT id = IDOK;
    for (const ControlTemplate& c : tmpl.controls)
        if (c.kind == ControlKind::PushButton && (c.style & kDefault)) id = static_cast<UINT>(c.id);
    m_sink.WindowProc(WM_COMMAND, MakeWParam(id, BN_CLICKED), 0);
}

void HeadlessWindow::PressCloseBox() {
    m_sink.WindowProc(WM_SYSCOMMAND, SC_CLOSE, 0);
}

void HeadlessWindow::ChooseSystemCommand(UINT id) {
    m_sink.WindowProc(WM_SYSCOMMAND, id, 0);
}

void HeadlessWindow::Paint() {
    m_sink.WindowProc(WM_PAINT, 0, 0);
}

void HeadlessWindow::PostClick(int id) {
    m_inputs.push_back(id);
}

int HeadlessWindow::PumpOnce() {
    int handled = m_backend.DispatchAllSent();
    if (!m_inputs.empty()) {
        const int id = m_inputs.front();
        m_inputs.pop_front();
        Click(id);
        ++handled;
    }
    return handled;
}

bool HeadlessWindow::WaitForSent(std::chrono::milliseconds timeout) {
    return m_mailbox && m_mailbox->WaitForSent(std::chrono::steady_clock::now() + timeout);
}

// ---- backend ----------------------------------------------------------------

std::unique_ptr<WindowPeer> HeadlessBackend::NewWindow(const DialogTemplate& tmpl, WindowSink& sink,
                                                       WindowPeer* parent) {
    return std::make_unique<HeadlessWindow>(*this, tmpl, sink, parent);
}

HICON HeadlessBackend::IconHandle(int resourceId) {
    return reinterpret_cast<HICON>(static_cast<std::uintptr_t>(0x10000 + resourceId));
}

HICON HeadlessBackend::LoadIcon(int resourceId) {
    loadedIcons.push_back(resourceId);
    return IconHandle(resourceId);
}

int HeadlessBackend::MessageBox(WindowPeer* owner, const std::string& text,
                                const std::string& caption, UINT type) {
    boxes.push_back(MessageBoxRecord{text, caption, type, owner != nullptr});
    if (onMessageBox) return onMessageBox(boxes.back());
    return IDOK;
}

int HeadlessBackend::DispatchAllSent() {
    int handled = 0;
    // A handler may destroy windows; walk a copy and skip the departed.
    const std::vector<HeadlessWindow*> snapshot = windows;
    for (HeadlessWindow* w : snapshot) {
        if (std::find(windows.begin(), windows.end(), w) == windows.end()) continue;
        if (w->m_mailbox) handled += w->m_mailbox->DispatchSent();
    }
    return handled;
}

bool HeadlessBackend::RunLoopUntil(const std::function<bool()>& done,
                                   std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (DispatchAllSent() == 0 && Main() != nullptr)
            Main()->WaitForSent(std::chrono::milliseconds(1));
    }
    return true;
}
