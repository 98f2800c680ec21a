#include <windows.h>

#include "winapi/program_title.h"
#include "winapi/win32_text.h"

std::string ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (got == 0) return {};
        if (got < path.size()) {
            path.resize(got);
            return NarrowUtf16(path);
        }
        path.resize(path.size() * 2);
    }
}
