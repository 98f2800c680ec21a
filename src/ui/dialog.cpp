#include "ui/dialog.h"

#include <exception>

#include "ui/app.h"
#include "ui/ddx.h"

CDialog::CDialog(const DialogTemplate& tmpl, CDialog* parent)
    : m_template(tmpl), m_parent(parent) {}

CDialog::~CDialog() {
    DestroyWindow();
    // No dialog may be left as the parent of later ones once it is gone.
    if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
}

INT_PTR CDialog::DoModal() {
    if (!Create()) return -1;
    const INT_PTR result = m_window->RunModal();
    DestroyWindow();
    return result;
}

BOOL CDialog::Create() {
    if (m_window) return FALSE;
    // Without a parent of its own a dialog belongs to the main window.
    WindowPeer* parent = m_parent ? m_parent->GetPeer() : nullptr;
    if (CWinApp* app = AfxGetApp(); !parent && app && app->m_pMainWnd && app->m_pMainWnd != this)
        parent = app->m_pMainWnd->GetPeer();
    m_window = AfxGetBackend().NewWindow(m_template, *this, parent);
    if (!m_window) return FALSE;
    m_window->Create();
    return TRUE;
}

void CDialog::DestroyWindow() {
    ForgetControls();
    m_window.reset();
}

void CDialog::ForgetControls() {
    for (CWnd* control : m_bound) control->Detach();
    m_bound.clear();
    m_items.clear();
}

void CDialog::EndDialog(INT_PTR result) {
    if (m_window) m_window->End(result);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // A handler that fails must not take the program with it: the user is
    // told, and the window goes on with its next message.
    try {
        return Dispatch(message, wParam, lParam);
    } catch (const std::exception& e) {
        ReportFailure(e.what());
    } catch (...) {
        ReportFailure("Unknown error.");
    }
    return 0;
}

void CDialog::ReportFailure(const char* what) {
    try {
        MessageBox(what, {}, MB_ICONSTOP);
    } catch (...) {
        // Nothing is left to tell the user with.
    }
}

LRESULT CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const MessageMap::Entry* entry = GetMessageMap().Find(message, wParam))
        return entry->call(*this, wParam, lParam);
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            if (HiWord(wParam) == BN_CLICKED) {
                if (LoWord(wParam) == IDOK) OnOK();
                if (LoWord(wParam) == IDCANCEL) OnCancel();
            }
            return 0;
        case WM_SYSCOMMAND:
            OnSysCommand(static_cast<UINT>(wParam), lParam);
            return 0;
        default:
            return 0;
    }
}

const MessageMap& CDialog::GetMessageMap() const {
    static const MessageMap empty;
    return empty;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::OnSysCommand(UINT id, LPARAM lParam) {
    // The close box ends a dialog the way Cancel does.
    if ((id & 0xFFF0) == SC_CLOSE) {
        WindowProc(WM_COMMAND, MakeWParam(IDCANCEL, BN_CLICKED), 0);
        return;
    }
    if (m_window) m_window->DefaultSysCommand(id, lParam);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    if (!m_window) return FALSE;
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return dx.Failed() ? FALSE : TRUE;
}

CWnd* CDialog::GetDlgItem(int id) {
    if (!m_window) return nullptr;
    if (auto it = m_items.find(id); it != m_items.end()) return it->second.get();
    ControlPeer* peer = m_window->GetControl(id);
    const ControlTemplate* tmpl = m_template.Find(id);
    if (peer == nullptr || tmpl == nullptr) return nullptr;
    std::unique_ptr<CWnd> item;
    switch (tmpl->kind) {
        case ControlKind::PushButton:
            item = std::make_unique<CButton>();
            break;
        case ControlKind::DropList:
            item = std::make_unique<CComboBox>();
            break;
        case ControlKind::Edit:
            item = std::make_unique<CEdit>();
            break;
        case ControlKind::ListView:
            item = std::make_unique<CListCtrl>();
            break;
        case ControlKind::Static:
        case ControlKind::Icon:
            item = std::make_unique<CStatic>();
            break;
    }
    item->Attach(peer, id);
    return m_items.emplace(id, std::move(item)).first->second.get();
}

void CDialog::BindControl(CWnd& control, int id) {
    if (!m_window) return;
    control.Attach(m_window->GetControl(id), id);
    m_bound.push_back(&control);
}

CMenu* CDialog::GetSystemMenu(BOOL /*revert*/) {
    if (!m_window || !m_window->HasSystemMenu()) return nullptr;
    m_systemMenu = CMenu(m_window.get());
    return &m_systemMenu;
}

HICON CDialog::SetIcon(HICON icon, BOOL bigIcon) {
    if (m_window) m_window->SetIcon(icon, bigIcon != FALSE);
    return icon;
}

int CDialog::MessageBox(const std::string& text, const std::string& caption, UINT type) {
    std::string title = caption;
    if (title.empty() && AfxGetApp() != nullptr) title = AfxGetApp()->m_pszAppName;
    return AfxGetBackend().MessageBox(m_window.get(), text, title, type);
}
