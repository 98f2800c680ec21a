#include "history/record_failure.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#include "history/history_place.h"
#include "history/history_time.h"

namespace {

std::filesystem::path Beside(const std::string& historyPath) {
    return PathOf(historyPath + ".last-failure");
}

std::filesystem::path InDataFolder() {
    const std::string folder = KelvarinDataFolder();
    return folder.empty() ? std::filesystem::path() : PathOf(folder + "/history.last-failure");
}

std::string FirstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

void KeepRecordFailure(const std::string& historyPath, const std::string& message) {
    const std::string line = UtcText(std::chrono::system_clock::now()) + " " + message + "\n";
    for (const std::filesystem::path& file : {Beside(historyPath), InDataFolder()}) {
        if (file.empty()) continue;
        std::error_code error;
        std::filesystem::create_directories(file.parent_path(), error);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        if (out << line && out.flush()) return;
    }
}

std::string LastRecordFailure(const std::string& historyPath) {
    const std::string beside = FirstLine(Beside(historyPath));
    const std::filesystem::path other = InDataFolder();
    const std::string fallback = other.empty() ? std::string() : FirstLine(other);
    // The times lead each line and sort as texts.
    return fallback > beside ? fallback : beside;
}
