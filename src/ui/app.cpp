#include "ui/app.h"

#include <string_view>

#include "ui/dialog.h"

namespace {

CWinApp* g_app = nullptr;
UiBackend* g_backend = nullptr;
std::span<const StringResource> g_strings;

// The executable's file name without directory and extension.
std::string NameFromPath(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    const auto dot = path.rfind('.');
    if (dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
    return std::string(path);
}

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
        app->m_pszAppName = NameFromPath(argc > 0 && argv[0] ? argv[0] : "");
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
