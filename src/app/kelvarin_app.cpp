#include "app/kelvarin_app.h"

#include "app/app_resources.h"
#include "app/kelvarin_dlg.h"

namespace {
constexpr DWORD kRestartManagerRestartOnly = 1;
}

CKelvarinApp::CKelvarinApp() {
    m_dwRestartManagerSupportFlags = kRestartManagerRestartOnly;
    RegisterAppResources();
}

BOOL CKelvarinApp::InitInstance() {
    INITCOMMONCONTROLSEX initCtrls;
    initCtrls.dwSize = sizeof(initCtrls);
    initCtrls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&initCtrls);

    CWinApp::InitInstance();
    SetRegistryKey(kRegistryKey);

    CKelvarinDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // The dialog has ended: end the application instead of running a loop.
    return FALSE;
}
