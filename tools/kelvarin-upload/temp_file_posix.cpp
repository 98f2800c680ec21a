#include "temp_file_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>

namespace {

constexpr const char* kMark = ".kelvarin-upload-";
constexpr const char* kSuffix = ".tmp";

// A file is created, then locked: one that young and not yet locked may be
// in that instant, so only older ones count as left behind.
constexpr std::time_t kCreating = 60;

std::string BaseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string Token() {
    static std::random_device random;
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(random()));
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TempName(const std::string& path) {
    return Folder(path) + "/." + BaseName(path) + kMark + Token() + kSuffix;
}

std::string KeptName(const std::string& temp) {
    const std::string name = BaseName(temp);
    return Folder(temp) + "/" + name.substr(1, name.size() - 1 - std::string(kSuffix).size());
}

TempFile CreateTempFile(const std::string& path, mode_t mode) {
    TempFile file;
    for (int attempt = 0; attempt < 16 && file.fd < 0; ++attempt) {
        file.name = TempName(path);
        file.fd = open(file.name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
        if (file.fd < 0 && errno != EEXIST) break;
    }
    if (file.fd >= 0) flock(file.fd, LOCK_EX);
    return file;
}

void RemoveStaleTemporaries(const std::string& path) {
    const std::string prefix = "." + BaseName(path) + kMark;
    DIR* dir = opendir(Folder(path).c_str());
    if (dir == nullptr) return;
    const int folder = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0 || !EndsWith(name, kSuffix)) continue;
        const int fd = openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat file {
        }, now{};
        // Still the same file once locked: another run may have removed it
        // and a new one taken the name meanwhile.
        if (fstat(fd, &file) == 0 && S_ISREG(file.st_mode) && file.st_uid == geteuid() &&
            std::time(nullptr) - file.st_mtime > kCreating && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            now.st_ino == file.st_ino && now.st_dev == file.st_dev)
            unlinkat(folder, name.c_str(), 0);
        close(fd);
    }
    closedir(dir);
}
