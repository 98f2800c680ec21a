#include "ui/app.h"

#include "ui/dialog.h"
#include "winapi/program_title.h"

namespace {

CWinApp* g_app = nullptr;
UiBackend* g_backend = nullptr;
std::span<const StringResource> g_strings;

}  // namespace

CWinApp::CWinApp(const char* appName) {
    if (appName != nullptr) m_pszAppName = appName;
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

HICON CWinApp::LoadIcon(int resourceId) const {
    return AfxGetBackend().LoadIcon(resourceId);
}

CWinApp* AfxGetApp() {
    return g_app;
}

UiBackend& AfxGetBackend() {
    return *g_backend;
}

void AfxSetBackend(UiBackend* backend) {
    g_backend = backend;
}

int AfxWinMain(UiBackend& backend, int argc, char** argv) {
    AfxSetBackend(&backend);
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 1;
    if (app->m_pszAppName.empty())
        app->m_pszAppName = argc > 0 && argv[0] ? ProgramNameFromPath(argv[0]) : ProgramTitle();
    // Boxes shown below the framework (the serial port's) carry it too.
    SetProgramTitle(app->m_pszAppName);
    int code = 0;
    if (app->InitInstance()) code = app->ExitInstance();
    AfxSetBackend(nullptr);
    return code;
}

int AfxMessageBox(const std::string& text, UINT type) {
    CWinApp* app = AfxGetApp();
    WindowPeer* owner = app && app->m_pMainWnd ? app->m_pMainWnd->GetPeer() : nullptr;
    return AfxGetBackend().MessageBox(owner, text, app ? app->m_pszAppName : std::string(), type);
}

BOOL AfxInitCommonControls(const CommonControlsInit* init) {
    if (init == nullptr || init->dwSize != sizeof(CommonControlsInit)) return FALSE;
    return AfxGetBackend().InitCommonControls(init->dwICC) ? TRUE : FALSE;
}

void AfxSetStringTable(std::span<const StringResource> table) {
    g_strings = table;
}

BOOL CString::LoadString(UINT id) {
    for (const StringResource& s : g_strings) {
        if (s.id == id) {
            assign(s.text);
            return TRUE;
        }
    }
    clear();
    return FALSE;
}
