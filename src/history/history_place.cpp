#include "history/history_place.h"

std::string HistoryPath(const std::string& dbOption) {
    if (!dbOption.empty()) return dbOption;
    const std::string variable = EnvironmentText("KELVARIN_HISTORY");
    if (variable == "off") return {};
    if (!variable.empty()) return variable;
    const std::string folder = KelvarinDataFolder();
    return folder.empty() ? std::string() : Utf8Of(PathOf(folder) / "history.sqlite3");
}

std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
