#include <windows.h>

#include "history/machine_facts.h"
#include "winapi/win32_text.h"

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? NarrowUtf16(std::wstring(name, size)) : "";
}

std::string LoginUser() {
    wchar_t name[257];
    DWORD size = 257;
    return GetUserNameW(name, &size) && size > 0 ? NarrowUtf16(std::wstring(name, size - 1)) : "";
}

std::string StableDeviceName(const std::string& path) {
    return path;
}
