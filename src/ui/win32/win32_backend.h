#pragma once

#include <windows.h>

#undef LoadIcon
#undef MessageBox
#undef SendMessage

#include <map>
#include <memory>
#include <vector>

#include "ui/backend.h"
#include "ui/win32/win32_controls.h"

// The dialog framework on native Win32 dialogs: windows are created by the
// dialog manager from in-memory templates built from the shared tables, in
// the executable's resources' module (icons come from there).
class Win32Backend : public UiBackend {
public:
    explicit Win32Backend(HINSTANCE instance = nullptr);

    std::unique_ptr<WindowPeer> NewWindow(const DialogTemplate& tmpl, WindowSink& sink,
                                          WindowPeer* parent) override;
    HICON LoadIcon(int resourceId) override;
    int MessageBox(WindowPeer* owner, const std::string& text, const std::string& caption,
                   UINT type) override;
    bool InitCommonControls(std::uint32_t classes) override;

private:
    HINSTANCE m_instance;
};

// The icon with this resource id, looked up in the program's language when
// the system's own lookup does not find it; null when there is none.
HICON LoadIconInAnyLanguage(HINSTANCE instance, int resourceId);

// One dialog window. Modal runs disable the owner and pump every window of
// the thread, so messages sent by other threads (the serial worker's) are
// handled while it is open.
class Win32Window : public WindowPeer {
public:
    Win32Window(HINSTANCE instance, const DialogTemplate& tmpl, WindowSink& sink, HWND parent);
    ~Win32Window() override;

    void Create() override;
    INT_PTR RunModal() override;
    void Show() override;
    void End(INT_PTR result) override;

    ControlPeer* GetControl(int id) override;
    std::uintptr_t OwnerHandle() const override { return reinterpret_cast<std::uintptr_t>(m_hwnd); }

    bool HasSystemMenu() const override;
    bool AppendSystemMenu(UINT flags, UINT id, const std::string& text) override;
    void SetIcon(HICON icon, bool big) override;
    bool IsIconic() const override;
    void DefaultSysCommand(UINT id, LPARAM lParam) override;
    void DrawIconCentred(HICON icon) override;

    HWND Hwnd() const { return m_hwnd; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    HWND FindIconControl() const;
    void WidenLabels();
    int RoomToTheRight(const ControlTemplate& c, const RECT& placed) const;

    HINSTANCE m_instance;
    const DialogTemplate& m_template;
    WindowSink& m_sink;
    HWND m_parent;
    HWND m_hwnd = nullptr;
    bool m_ended = false;
    INT_PTR m_result = 0;
    bool m_paintedIcon = false;
    std::map<int, std::unique_ptr<Win32Control>> m_controls;
};
