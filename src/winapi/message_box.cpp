#include "winapi/message_box.h"

#include <mutex>

#include "winapi/program_title.h"

namespace {

std::mutex g_boxLock;
BoxFunction g_box;

}  // namespace

void SetBoxFunction(BoxFunction box) {
    std::lock_guard lock(g_boxLock);
    g_box = std::move(box);
}

int ShowMessageBox(const std::string& text, const std::string& caption, std::uint32_t type) {
    BoxFunction box;
    {
        std::lock_guard lock(g_boxLock);
        box = g_box;
    }
    return box ? box(text, caption, type) : PlatformMessageBox(text, caption, type);
}

int ShowProgramBox(const std::string& text, std::uint32_t type) {
    return ShowMessageBox(text, ProgramTitle(), type);
}
