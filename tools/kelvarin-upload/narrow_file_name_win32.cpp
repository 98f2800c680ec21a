#include <windows.h>

#include <vector>

#include "narrow_file_name.h"

namespace {

// `wide` in the ANSI code page, empty when a character does not fit.
std::string Ansi(const std::wstring& wide) {
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0,
                                         nullptr, &lossy);
    if (size <= 0 || lossy) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, text.data(), size, nullptr,
                        &lossy);
    text.resize(static_cast<std::size_t>(size - 1));
    return lossy ? std::string() : text;
}

}  // namespace

std::string NarrowFileName(const std::filesystem::path& path) {
    const std::wstring wide = path.wstring();
    if (std::string ansi = Ansi(wide); !ansi.empty()) return ansi;
    // The short name of the folder (which exists) and the file's own name,
    // which the caller keeps plain.
    const std::wstring folder = path.parent_path().wstring();
    const DWORD size = GetShortPathNameW(folder.c_str(), nullptr, 0);
    if (size == 0) return {};
    std::vector<wchar_t> shortFolder(size);
    if (GetShortPathNameW(folder.c_str(), shortFolder.data(), size) == 0) return {};
    return Ansi(std::wstring(shortFolder.data()) + L"\\" + path.filename().wstring());
}
