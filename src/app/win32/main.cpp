// kelvarin.exe: the Windows program, a GUI-subsystem executable with a
// Unicode entry point.
#include "app/kelvarin_app.h"
#include "export/com/com_client.h"

// Last: the automation names above are macros in the Windows headers.
#include "ui/win32/win32_backend.h"

CKelvarinApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Export makes its automation calls on this, the window's, thread.
    InitAutomationRuntime();
    Win32Backend backend(instance);
    // The framework names the application after the executable.
    return AfxWinMain(backend, 0, nullptr);
}
