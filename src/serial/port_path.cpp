#include "serial/port_path.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Numbers of the devices named prefix<number> in the directory, ascending.
std::vector<long> Numbered(const std::string& directory, const char* prefix) {
    std::vector<long> numbers;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return numbers;
    const std::size_t length = std::strlen(prefix);
    while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix, length) != 0) continue;
        const char* digits = entry->d_name + length;
        char* end = nullptr;
        const long number = std::strtol(digits, &end, 10);
        if (end != digits && *end == '\0' && number >= 0) numbers.push_back(number);
    }
    closedir(dir);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

}  // namespace

std::string PortDevicePath(int n, const std::string& deviceDirectory) {
    if (n < 1 || n > 12) return {};
    const std::string variable = "KELVARIN_COM" + std::to_string(n);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0')
        return path;

    std::vector<std::string> adapters;
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (long number : Numbered(deviceDirectory, prefix))
            adapters.push_back(deviceDirectory + "/" + prefix + std::to_string(number));
    const auto index = static_cast<std::size_t>(n - 1);
    return index < adapters.size() ? adapters[index] : std::string();
}
