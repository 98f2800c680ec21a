#pragma once

#include <string>
#include <string_view>

// The program's name, as its boxes are captioned: the executable's file name
// without folder and extension, unless the program names itself. Any thread.
std::string ProgramTitle();
void SetProgramTitle(std::string title);

// "C:\\Kelvarin\\kelvarin.exe" and "/usr/bin/kelvarin" both give "kelvarin".
std::string ProgramNameFromPath(std::string_view path);

// The running executable's path; per platform.
std::string ExecutablePath();
