#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "output_file.h"

namespace {

std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// ".FILE.kelvarin-upload-PID.tmp": the owner's PID tells a stale one.
std::string TempPrefix(const std::string& path) {
    return "." + BaseName(path) + ".kelvarin-upload-";
}

void RemoveStaleTemporaries(const std::string& path) {
    const std::string folder = Folder(path);
    const std::string prefix = TempPrefix(path);
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (pid <= 0 || std::strcmp(end, ".tmp") != 0) continue;
        if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            unlink((folder + "/" + name).c_str());
    }
    closedir(dir);
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return fsync(fd) == 0;
}

// Puts the written file `from` (a name, or an unnamed file's /proc link)
// at `path`; without `replace` an existing `path` stays and wins.
WriteResult Place(const std::string& from, bool linkOnly, const std::string& path, bool replace,
                  std::string& error) {
    if (!replace) {
        if (linkat(AT_FDCWD, from.c_str(), AT_FDCWD, path.c_str(),
                   linkOnly ? AT_SYMLINK_FOLLOW : 0) == 0)
            return WriteResult::Written;
        error = std::strerror(errno);
        return errno == EEXIST ? WriteResult::Exists : WriteResult::Failed;
    }
    if (rename(from.c_str(), path.c_str()) == 0) return WriteResult::Written;
    error = std::strerror(errno);
    return WriteResult::Failed;
}

void SyncFolder(const std::string& path) {
    const int dir = open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    fsync(dir);
    close(dir);
}

}  // namespace

std::string CheckOutputFile(const std::string& path, bool force) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return path + " is a folder";
        if (!force) return path + " exists (--force replaces it)";
    }
    const std::string folder = Folder(path);
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return "no folder " + folder + " for " + path;
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return "cannot write in " + folder + ": " + std::strerror(errno);
    return {};
}

WriteResult WriteFileAtomically(const std::string& path, const std::string& data, bool replace,
                                std::string& error, std::string& kept) {
    kept.clear();
    RemoveStaleTemporaries(path);
    // Ctrl-C or SIGTERM now would only leave a temporary file behind: the
    // write is short, so it finishes first.
    sigset_t block, previous;
    sigemptyset(&block);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&block, signal);
    sigprocmask(SIG_BLOCK, &block, &previous);

    struct stat existing {};
    const bool keepMode = replace && stat(path.c_str(), &existing) == 0;
    const std::string temp =
        Folder(path) + "/" + TempPrefix(path) + std::to_string(getpid()) + ".tmp";
    WriteResult result = WriteResult::Failed;

    // Preferably a file without a name until it is complete, so that not even
    // SIGKILL can leave it behind; not every file system has them.
    int fd = open(Folder(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    const bool unnamed = fd >= 0;
    if (!unnamed) fd = open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = std::strerror(errno);
    } else {
        if (keepMode) fchmod(fd, existing.st_mode & 07777);
        if (!WriteAll(fd, data)) {
            error = std::strerror(errno);
        } else if (unnamed && !replace) {
            result = Place("/proc/self/fd/" + std::to_string(fd), true, path, false, error);
        } else if (unnamed) {
            // rename() needs a name: give it one only for this last step.
            const std::string link = "/proc/self/fd/" + std::to_string(fd);
            if (linkat(AT_FDCWD, link.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0)
                result = Place(temp, false, path, true, error);
            else
                error = std::strerror(errno);
        } else {
            result = Place(temp, false, path, replace, error);
        }
        close(fd);
    }
    if (result == WriteResult::Written) SyncFolder(path);
    unlink(temp.c_str());  // the name carries our PID: nobody else's file
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return result;
}
