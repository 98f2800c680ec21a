#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The boxes shown below the dialog framework (the serial port's), from any
// thread. Without a box function a program shows the platform's own: a
// Windows message box, or "caption: text" on standard error on POSIX. A
// windowed program plugs in its real box, a console program its report.
using BoxFunction =
    std::function<int(const std::string& text, const std::string& caption, std::uint32_t type)>;
void SetBoxFunction(BoxFunction box);

// Modal: returns when the box is dismissed, with the button (IDOK).
int ShowMessageBox(const std::string& text, const std::string& caption, std::uint32_t type);
// Captioned with the program's title.
int ShowProgramBox(const std::string& text, std::uint32_t type);

// The platform's own box; per platform.
int PlatformMessageBox(const std::string& text, const std::string& caption, std::uint32_t type);
