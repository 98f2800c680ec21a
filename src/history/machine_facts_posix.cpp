#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "history/machine_facts.h"

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

std::string LoginUser() {
    // The account the program runs as, not what the terminal logged in as;
    // the reentrant call, as uploads may be made on several threads.
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name)
        return found->pw_name;
    return std::to_string(geteuid());
}

std::string StableDeviceName(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    if (error) return path;
    for (const auto& link : fs::directory_iterator("/dev/serial/by-id", error)) {
        std::error_code linkError;
        if (fs::canonical(link.path(), linkError) == real && !linkError)
            return link.path().string();
    }
    return path;
}
