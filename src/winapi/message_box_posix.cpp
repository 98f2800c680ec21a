#include <cstdio>

#include "winapi/message_box.h"

// Nobody to click a box away: it is said on standard error, as a console
// program would.
int PlatformMessageBox(const std::string& text, const std::string& caption, std::uint32_t) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return 1;
}
