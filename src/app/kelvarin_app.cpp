#include "app/kelvarin_app.h"

#include "app/app_resources.h"
#include "app/kelvarin_dlg.h"

namespace {
constexpr std::uint32_t kRestartManagerRestartOnly = 1;
}

CKelvarinApp::CKelvarinApp() {
    m_dwRestartManagerSupportFlags = kRestartManagerRestartOnly;
    RegisterAppResources();
}

BOOL CKelvarinApp::InitInstance() {
    CommonControlsInit initCtrls;
    initCtrls.dwSize = sizeof(initCtrls);
    initCtrls.dwICC = ICC_WIN95_CLASSES;
    AfxInitCommonControls(&initCtrls);

    CWinApp::InitInstance();
    SetRegistryKey(kRegistryKey);

    CKelvarinDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // The dialog has ended: end the application instead of running a loop.
    return FALSE;
}
