#pragma once

#include <string>

// `text` as a device or driver gave it, safe to print on a terminal: each
// control character (C0, DEL, and C1 as UTF-8) becomes '?'.
std::string PrintableText(const std::string& text);
