#pragma once

#include <string>

// UTF-8 (or another code page, such as CP_ACP for a char** argv) <-> UTF-16
// for the Win32 wide-character calls.
std::wstring WidenUtf8(const std::string& text, unsigned codePage = 65001 /* CP_UTF8 */);
std::string NarrowUtf16(const std::wstring& text, unsigned codePage = 65001 /* CP_UTF8 */);
