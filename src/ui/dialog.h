#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/controls.h"
#include "ui/message_map.h"

class CDataExchange;

// A dialog built from a template, with a message map and data exchange.
// DoModal creates the window, runs it until EndDialog and destroys it again;
// the dialog object outlives its window.
class CDialog : public WindowSink {
public:
    explicit CDialog(const DialogTemplate& tmpl, CDialog* parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    INT_PTR DoModal();
    // Creates and shows the window without a loop of its own.
    BOOL Create();
    void DestroyWindow();
    void EndDialog(INT_PTR result);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Delivers a message on this thread, as the window system would.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return WindowProc(message, wParam, lParam);
    }

    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    CWnd* GetDlgItem(int id);
    CMenu* GetSystemMenu(BOOL revert);
    HICON SetIcon(HICON icon, BOOL bigIcon);
    BOOL IsIconic() const { return m_window && m_window->IsIconic() ? TRUE : FALSE; }
    int MessageBox(const std::string& text, const std::string& caption = {}, UINT type = MB_OK);

    bool HasWindow() const { return m_window != nullptr; }
    // The owner value the serial port sends its messages to; 0 without window.
    std::uintptr_t GetSafeOwner() const { return m_window ? m_window->OwnerHandle() : 0; }
    WindowPeer* GetPeer() const { return m_window.get(); }
    const DialogTemplate& GetTemplate() const { return m_template; }

    // Binds a member control to the window's control; DDX_Control calls it.
    void BindControl(CWnd& control, int id);

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}
    virtual void OnOK();
    virtual void OnCancel();
    virtual const MessageMap& GetMessageMap() const;

    // The default handling of a system command (close box, move, ...).
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint() {}

private:
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void ReportFailure(const char* what);
    void ForgetControls();

    const DialogTemplate& m_template;
    CDialog* m_parent;
    std::unique_ptr<WindowPeer> m_window;
    std::map<int, std::unique_ptr<CWnd>> m_items;
    std::vector<CWnd*> m_bound;
    CMenu m_systemMenu;
};

using CDialogEx = CDialog;
