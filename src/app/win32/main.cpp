// kelvarin.exe: the Windows program, a GUI-subsystem executable with a
// Unicode entry point.
#include <string>

#include "app/kelvarin_app.h"
#include "export/com/com_client.h"
#include "serial/win32_text.h"

// Last: the automation names above are macros in the Windows headers.
#include "ui/win32/win32_backend.h"

CKelvarinApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Export makes its automation calls on this, the window's, thread.
    InitAutomationRuntime();
    Win32Backend backend(instance);

    // The framework names the application after the executable.
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
    path.resize(length < MAX_PATH ? length : 0);
    std::string program = NarrowUtf16(path.empty() ? L"Kelvarin.exe" : path);
    char* argv[] = {program.data(), nullptr};
    return AfxWinMain(backend, 1, argv);
}
