#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>

#include "console_text.h"
#include "winapi/win32_text.h"

namespace {

// UTF-16 as UTF-8, a lone surrogate as the three bytes its number would
// take, which no UTF-8 reader accepts (WideCharToMultiByte would make it a
// replacement character, a valid name that nobody typed).
std::string Utf8OfArgument(const wchar_t* text) {
    static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    std::string out;
    for (; *text; ++text) {
        char32_t code = *text;
        if (IS_HIGH_SURROGATE(text[0]) && IS_LOW_SURROGATE(text[1]))
            code = 0x10000 + ((code - 0xD800) << 10) + (*++text - 0xDC00);
        const int extra = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
        out += static_cast<char>(kLead[extra] | code >> (6 * extra));
        for (int k = extra - 1; k >= 0; --k)
            out += static_cast<char>(0x80 | (code >> (6 * k) & 0x3F));
    }
    return out;
}

}  // namespace

ProgramArguments::ProgramArguments(int argc, char** argv) {
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) m_texts.push_back(Utf8OfArgument(wide[i]));
        LocalFree(wide);
    } else {
        m_texts.assign(argv, argv + argc);
    }
    PointAtTexts();
}

void PrepareStandardOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
}

bool WriteText(std::FILE* stream, std::string_view text) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
        std::fwrite(text.data(), 1, text.size(), stream);
        return std::fflush(stream) == 0 && !std::ferror(stream);
    }
    std::fflush(stream);  // anything the C library still holds goes first
    const std::wstring wide = WidenUtf8(std::string(text));
    for (std::size_t done = 0; done < wide.size();) {
        // Pieces every console version takes whole, no pair of surrogates
        // split between two.
        auto size = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
        if (done + size < wide.size() && IS_HIGH_SURROGATE(wide[done + size - 1])) --size;
        DWORD written = 0;
        if (!WriteConsoleW(handle, wide.data() + done, size, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}
