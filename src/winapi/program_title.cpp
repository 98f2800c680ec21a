#include "winapi/program_title.h"

#include <mutex>
#include <optional>

namespace {

std::mutex g_lock;
std::optional<std::string> g_title;

}  // namespace

std::string ProgramTitle() {
    {
        std::lock_guard lock(g_lock);
        if (g_title) return *g_title;
    }
    const std::string name = ProgramNameFromPath(ExecutablePath());
    return name.empty() ? "Kelvarin" : name;
}

void SetProgramTitle(std::string title) {
    std::lock_guard lock(g_lock);
    g_title = std::move(title);
}

std::string ProgramNameFromPath(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    const auto dot = path.rfind('.');
    if (dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
    return std::string(path);
}
