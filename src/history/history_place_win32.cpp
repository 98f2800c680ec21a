#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "history/history_place.h"
#include "winapi/win32_text.h"

std::string EnvironmentText(const char* name) {
    const std::wstring wide = WidenUtf8(name);
    const wchar_t* value = _wgetenv(wide.c_str());
    return value ? NarrowUtf16(value) : "";
}

std::string SystemErrorText(int code) {
    const std::string text = SystemMessage(static_cast<unsigned long>(code));
    return text.empty() ? "system error " + std::to_string(code) : text;
}

std::string KelvarinDataFolder() {
    const std::string local = EnvironmentText("LOCALAPPDATA");
    return local.empty() ? std::string() : local + "\\Kelvarin";
}

bool OnNetworkFileSystem(const std::string& folder) {
    std::wstring wide = WidenUtf8(folder);
    if (wide.rfind(L"\\\\", 0) == 0 || wide.rfind(L"//", 0) == 0) return true;  // UNC
    wchar_t full[MAX_PATH];
    if (!GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr)) return false;
    wchar_t root[4] = {full[0], L':', L'\\', 0};
    return full[1] == L':' && GetDriveTypeW(root) == DRIVE_REMOTE;
}
