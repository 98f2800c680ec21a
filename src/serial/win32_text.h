#pragma once

#include <string>

// UTF-8 <-> UTF-16 for the Win32 wide-character calls.
std::wstring WidenUtf8(const std::string& text);
std::string NarrowUtf16(const std::wstring& text);

// The framework's application name: the executable's file name without its
// folder and extension.
std::wstring ExecutableTitle();
