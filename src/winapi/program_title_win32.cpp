#include <windows.h>

#include "winapi/program_title.h"
#include "winapi/win32_text.h"

std::string ExecutablePath() {
    static wchar_t path[32768];  // the longest path Windows has
    const DWORD got = GetModuleFileNameW(nullptr, path, 32768);
    return got > 0 && got < 32768 ? NarrowUtf16(std::wstring(path, got)) : "";
}
