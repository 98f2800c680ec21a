#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <optional>

#include "output_file.h"
#include "output_file_calls.h"
#include "temp_file_posix.h"

namespace {

int OpenUnnamed(const char* folder, mode_t mode) {
    return open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}

int Link(const char* from, const char* to, int flags) {
    return linkat(AT_FDCWD, from, AT_FDCWD, to, flags);
}

int RenameNoReplace(const char* from, const char* to) {
    return renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

}  // namespace

constinit OutputFileCalls g_outputFileCalls = {OpenUnnamed, Link, RenameNoReplace, ::rename};

namespace {

constexpr const char* kAcl = "system.posix_acl_access";

// What the new file takes over from the one it replaces.
struct Target {
    const std::string& path;
    const std::string& data;
    bool replace;
    bool replacing = false;  // and there is one
    struct stat existing {};
};

// The group, the ACL and the mode of the file replaced, never its set-id
// bits, before any data is in: each where this user and file system may.
void TakeOver(int fd, const Target& target) {
    if (!target.replacing) return;
    if (fchown(fd, static_cast<uid_t>(-1), target.existing.st_gid) != 0) {
        // Not a member of that group, or no groups on this file system.
    }
    char acl[4096];
    const ssize_t size = getxattr(target.path.c_str(), kAcl, acl, sizeof acl);
    if (size > 0 && fsetxattr(fd, kAcl, acl, static_cast<std::size_t>(size), 0) != 0) {
        // No ACLs here: the mode bits below are all there is.
    }
    if (fchmod(fd, target.existing.st_mode & 0777) != 0) {
        // FAT has no mode bits.
    }
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

WriteResult Fail(std::string& error) {
    error = std::strerror(errno);
    return errno == EEXIST ? WriteResult::Exists : WriteResult::Failed;
}

// Moves the file `from` to `to` unless `to` exists, by the first way the
// file system allows: one renameat2; a hard link; else an empty `to` taken
// with O_EXCL and renamed over, which a kill -9 between the two leaves empty.
WriteResult MoveNoReplace(const std::string& from, const std::string& to, std::string& error) {
    const OutputFileCalls& calls = g_outputFileCalls;
    if (calls.renameNoReplace(from.c_str(), to.c_str()) == 0) return WriteResult::Written;
    if (errno == EEXIST) return Fail(error);
    if (calls.link(from.c_str(), to.c_str(), 0) == 0) {
        unlink(from.c_str());
        return WriteResult::Written;
    }
    if (errno == EEXIST) return Fail(error);
    const int placeholder = open(to.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (placeholder < 0) return Fail(error);
    struct stat mine {};
    struct stat now {};
    fstat(placeholder, &mine);
    close(placeholder);
    if (calls.rename(from.c_str(), to.c_str()) == 0) return WriteResult::Written;
    const WriteResult failed = Fail(error);
    if (lstat(to.c_str(), &now) == 0 && now.st_ino == mine.st_ino && now.st_dev == mine.st_dev)
        unlink(to.c_str());
    return failed == WriteResult::Exists ? WriteResult::Failed : failed;
}

// Puts the complete temporary file `temp` in place, or keeps it.
WriteResult Place(const std::string& temp, const Target& target, std::string& error,
                  std::string& kept) {
    WriteResult result = WriteResult::Written;
    if (target.replace) {
        if (g_outputFileCalls.rename(temp.c_str(), target.path.c_str()) != 0) result = Fail(error);
    } else {
        result = MoveNoReplace(temp, target.path, error);
    }
    if (result == WriteResult::Written) return result;
    // The only copy of an upload: under a name no later run takes for a
    // killed run's leftover.
    std::string ignored;
    kept = MoveNoReplace(temp, KeptName(temp), ignored) == WriteResult::Written ? KeptName(temp)
                                                                                : temp;
    return result;
}

// With a file that has no name until it is complete not even SIGKILL can
// leave anything behind, but not every file system has them. Empty when it
// could not be put in place: the caller then writes a named one.
std::optional<WriteResult> WriteUnnamed(const Target& target, mode_t mode, std::string& error,
                                        std::string& kept) {
    const int fd = g_outputFileCalls.openUnnamed(Folder(target.path).c_str(), mode);
    if (fd < 0) return {};
    flock(fd, LOCK_EX);  // before it has a name a cleaner could see
    std::optional<WriteResult> result;
    TakeOver(fd, target);
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (!WriteAll(fd, target.data)) {
        result = Fail(error);
    } else if (!target.replace) {
        if (g_outputFileCalls.link(self.c_str(), target.path.c_str(), AT_SYMLINK_FOLLOW) == 0)
            result = WriteResult::Written;
    } else if (const std::string temp = TempName(target.path);
               g_outputFileCalls.link(self.c_str(), temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        result = Place(temp, target, error, kept);
    }
    close(fd);
    return result;
}

WriteResult WriteNamed(const Target& target, mode_t mode, std::string& error, std::string& kept) {
    const TempFile temp = CreateTempFile(target.path, mode);
    if (temp.fd < 0) return Fail(error);
    TakeOver(temp.fd, target);
    WriteResult result;
    if (WriteAll(temp.fd, target.data)) {
        result = Place(temp.name, target, error, kept);
    } else {
        result = Fail(error);
        unlink(temp.name.c_str());
    }
    close(temp.fd);
    return result;
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
    if (lstat(path.c_str(), &info) == 0) {
        // Decided now: taken as absent, it would be in the way afterwards.
        if (S_ISLNK(info.st_mode) && stat(path.c_str(), &info) != 0)
            return path + " is a symbolic link to nothing";
        if (S_ISDIR(info.st_mode)) return path + " is a folder";
        // --force would turn a FIFO or a device into a plain file.
        if (!S_ISREG(info.st_mode)) return path + " is not a regular file";
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

    Target target{path, data, replace};
    target.replacing = replace && stat(path.c_str(), &target.existing) == 0;
    // Its final mode from the start: never readable by more than it will be.
    const mode_t mode = target.replacing ? target.existing.st_mode & 0777 : 0666;
    std::optional<WriteResult> result = WriteUnnamed(target, mode, error, kept);
    if (!result) result = WriteNamed(target, mode, error, kept);
    if (result == WriteResult::Written) SyncFolder(path);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return *result;
}
