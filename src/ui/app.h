#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "ui/backend.h"

class CDialog;

// The application object: one global instance, constructed before the entry
// runs. AfxWinMain calls InitInstance; when that returns FALSE the program
// ends at once.
class CWinApp {
public:
    // Without a name the application is named after its executable.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    HICON LoadIcon(int resourceId) const;
    // Kept for the framework's own services; the program stores nothing.
    void SetRegistryKey(const std::string& key) { m_registryKey = key; }

    std::string m_pszAppName;
    std::string m_registryKey;
    CDialog* m_pMainWnd = nullptr;
    std::uint32_t m_dwRestartManagerSupportFlags = 0;
};

CWinApp* AfxGetApp();
UiBackend& AfxGetBackend();

// The program's entry: names the application, installs the backend, runs
// InitInstance (and the message loop of none: the main dialog has its own).
int AfxWinMain(UiBackend& backend, int argc, char** argv);
// Installs a backend without running an application (tests).
void AfxSetBackend(UiBackend* backend);

// A box captioned with the application's name, owned by the main window.
int AfxMessageBox(const std::string& text, UINT type = MB_OK);

// What InitCommonControlsEx takes: its size and the control classes wanted.
struct CommonControlsInit {
    std::uint32_t dwSize;
    std::uint32_t dwICC;
};
BOOL AfxInitCommonControls(const CommonControlsInit* init);

// String resources.
struct StringResource {
    UINT id;
    const char* text;  // UTF-8
};
void AfxSetStringTable(std::span<const StringResource> table);

class CString : public std::string {
public:
    using std::string::string;
    // Empty (and FALSE) when the string is missing.
    BOOL LoadString(UINT id);
    BOOL IsEmpty() const { return empty() ? TRUE : FALSE; }
};
