#pragma once

#include <filesystem>
#include <string>

// A name of `path` that a library opening files with the C library's fopen
// can use: the path itself on POSIX; on Windows, where fopen reads names in
// the ANSI code page, its short (8.3) form where the long one does not fit
// that code page. Empty when there is none.
std::string NarrowFileName(const std::filesystem::path& path);
