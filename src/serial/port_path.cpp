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

std::string Variable(int n) {
    const std::string name = "KELVARIN_COM" + std::to_string(n);
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? value : "";
}

}  // namespace

std::vector<std::string> UsbAdapters(const std::string& deviceDirectory) {
    std::vector<std::string> adapters;
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (long number : Numbered(deviceDirectory, prefix))
            adapters.push_back(deviceDirectory + "/" + prefix + std::to_string(number));
    return adapters;
}

PortSource ResolvePort(int n, const std::string& deviceDirectory) {
    if (n < 1 || n > 12) return {};
    if (std::string path = Variable(n); !path.empty())
        return {path, "KELVARIN_COM" + std::to_string(n), 0};

    // A variable that names one port must not hide an adapter from the rest.
    int unclaimedBefore = 0;
    for (int k = 1; k < n; ++k)
        if (Variable(k).empty()) ++unclaimedBefore;
    const std::vector<std::string> adapters = UsbAdapters(deviceDirectory);
    const auto index = static_cast<std::size_t>(unclaimedBefore);
    if (index >= adapters.size()) return {};
    return {adapters[index], "", unclaimedBefore + 1};
}

std::string PortDevicePath(int n, const std::string& deviceDirectory) {
    return ResolvePort(n, deviceDirectory).path;
}
