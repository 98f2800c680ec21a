#include <windows.h>

#include "winapi/message_box.h"
#include "winapi/win32_text.h"

int PlatformMessageBox(const std::string& text, const std::string& caption, std::uint32_t type) {
    return ::MessageBoxW(nullptr, WidenUtf8(text).c_str(), WidenUtf8(caption).c_str(), type);
}
