#pragma once

#include <string>

// UTF-8 (or another code page, such as CP_ACP for a char** argv) <-> UTF-16
// for the Win32 wide-character calls.
std::wstring WidenUtf8(const std::string& text, unsigned codePage = 65001 /* CP_UTF8 */);
std::string NarrowUtf16(const std::wstring& text, unsigned codePage = 65001 /* CP_UTF8 */);

// The system's text for a Win32 error code (GetLastError's), in UTF-8,
// without its line end; empty when it has none.
std::string SystemMessage(unsigned long code);
