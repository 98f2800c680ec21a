#include "output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "output_file_calls.h"
#include "temp_file_posix.h"

// Every write in this program takes all but one byte, as a nearly full disk
// may: its callers must write the rest. One may be asked to raise SIGTERM,
// or to fail as on a full disk.
volatile sig_atomic_t g_raise = 0, g_full = 0, g_writing = 0, g_terms = 0, g_termsInWrite = 0;
extern "C" ssize_t write(int fd, const void* data, std::size_t size) {
    if (g_full) {
        g_full = 0;
        errno = ENOSPC;
        return -1;
    }
    g_writing = 1;
    if (g_raise) {
        g_raise = 0;
        raise(SIGTERM);
    }
    const auto n = syscall(SYS_write, fd, data, size > 1 ? size - 1 : size);
    g_writing = 0;
    return n;
}

namespace {

// What FAT, exFAT, FUSE and network file systems refuse, refused on demand.
enum Refused { Unnamed = 1, HardLink = 2, NoReplace = 4, Rename = 8 };
int g_refused = 0;
mode_t g_created = 0;
const OutputFileCalls g_real = g_outputFileCalls;

int Refuse(int call, int code) {
    errno = code;
    return g_refused & call ? -1 : 0;
}

const OutputFileCalls kRefusing = {
    [](const char* folder, mode_t mode) {
        g_created = mode;
        return Refuse(Unnamed, EOPNOTSUPP) ?: g_real.openUnnamed(folder, mode);
    },
    [](const char* a, const char* b, int f) {
        return Refuse(HardLink, EPERM) ?: g_real.link(a, b, f);
    },
    [](const char* a, const char* b) {
        return Refuse(NoReplace, EINVAL) ?: g_real.renameNoReplace(a, b);
    },
    [](const char* a, const char* b) { return Refuse(Rename, EIO) ?: g_real.rename(a, b); },
};

std::string Read(const std::string& path) {
    return std::string(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {});
}

std::string NewFolder() {
    char pattern[] = "/tmp/kelvarin-output-XXXXXX";
    return mkdtemp(pattern) + std::string("/");
}

// Short writes add up to the whole text; a file that appeared meanwhile is
// left as it is; a killed run's temporary file goes, but not one a writer
// holds, one just created, or another user's.
TEST(OutputFile, WrittenWholeAndNeverOverAnotherFile) {
    const std::string folder = NewFolder(), path = folder + "r";
    const auto temp = [&](const char* token) {
        return folder + ".r.kelvarin-upload-" + token + ".tmp";
    };
    for (const char* token : {"held", "dead", "young", "other"})
        std::ofstream(temp(token)) << token;
    const int held = open(temp("held").c_str(), O_RDONLY);
    flock(held, LOCK_EX);
    const timeval old[2] = {{1, 0}, {1, 0}};
    for (const char* token : {"held", "dead", "other"}) utimes(temp(token).c_str(), old);
    const bool otherUser = chown(temp("other").c_str(), 65534, 65534) == 0;
    const std::string text = "ID,DATA,UNIT,PASS\r\n";
    std::string error, kept;
    // A SIGTERM during the write waits until the file is in place.
    struct sigaction count {};
    count.sa_handler = [](int) {
        g_terms = g_terms + 1;
        g_termsInWrite = g_termsInWrite + g_writing;
    };
    sigaction(SIGTERM, &count, nullptr);
    const auto openFds = [] {
        return std::ranges::distance(std::filesystem::directory_iterator("/proc/self/fd"));
    };
    const auto fds = openFds();
    g_raise = 1;
    EXPECT_EQ(WriteFileAtomically(path, text, false, error, kept), WriteResult::Written) << error;
    EXPECT_EQ(WriteFileAtomically(path, "other", false, error, kept), WriteResult::Exists);
    EXPECT_EQ(Read(path), text);
    EXPECT_EQ(Read(kept), "other");
    EXPECT_EQ(g_terms, 1);
    EXPECT_EQ(g_termsInWrite, 0);
    EXPECT_FALSE(std::ifstream(temp("dead")));
    for (const char* token : {"held", "young"}) EXPECT_TRUE(std::ifstream(temp(token))) << token;
    EXPECT_EQ(std::ifstream(temp("other")).good(), otherUser);
    g_full = 1;  // the disk filled up: no second try, FILE as it was
    EXPECT_EQ(WriteFileAtomically(path, "new", true, error, kept), WriteResult::Failed);
    EXPECT_EQ(Read(path) + kept, text);
    EXPECT_EQ(openFds(), fds) << "a descriptor left open";
    EXPECT_EQ(Folder("d/r") + Folder("/r") + Folder("r"), "d/.");
    close(held);
    std::filesystem::remove_all(folder);
}

// The replaced file's group, ACL and mode but not its set-id bits, with the
// final mode from creation on.
TEST(OutputFile, ReplacingKeepsGroupAclAndModeButNoSetId) {
    const std::string folder = NewFolder(), path = folder + "r";
    std::ofstream(path) << "old";
    const bool group = chown(path.c_str(), -1, 65534) == 0;
    // version 2; owner rwx, user 65534 r, group r, mask r, others none
    const unsigned char acl[] = {2, 0,   0,   0,   1,   0,   7,  0, 255, 255, 255, 255, 2,   0,  4,
                                 0, 254, 255, 0,   0,   4,   0,  4, 0,   255, 255, 255, 255, 16, 0,
                                 4, 0,   255, 255, 255, 255, 32, 0, 0,   0,   255, 255, 255, 255};
    const bool acls = setxattr(path.c_str(), "system.posix_acl_access", acl, sizeof acl, 0) == 0;
    chmod(path.c_str(), 06740);  // last: a change of group drops set-id bits
    g_outputFileCalls = kRefusing;
    std::string error, kept;
    EXPECT_EQ(WriteFileAtomically(path, "new", true, error, kept), WriteResult::Written) << error;
    g_outputFileCalls = g_real;
    struct stat info {};
    stat(path.c_str(), &info);
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(info.st_mode & 07777, 0740u);
    EXPECT_EQ(g_created, 0740u);
    EXPECT_TRUE(!group || info.st_gid == 65534u);
    unsigned char got[sizeof acl] = {};
    getxattr(path.c_str(), "system.posix_acl_access", got, sizeof got);
    EXPECT_TRUE(!acls || std::memcmp(got, acl, sizeof acl) == 0);
    std::filesystem::remove_all(folder);
}

// Every combination of refusals: the file is put in place by what is left,
// and a complete upload that cannot be is kept under its own name.
TEST(OutputFile, PutInPlaceByWhatTheFileSystemAllowsOrKept) {
    g_outputFileCalls = kRefusing;
    for (g_refused = 0; g_refused < 16; ++g_refused)
        for (bool existing : {false, true})
            for (bool replace : {false, true}) {
                SCOPED_TRACE(std::to_string(g_refused) + (existing ? " existing" : "") +
                             (replace ? " replace" : ""));
                const std::string folder = NewFolder(), path = folder + "r";
                if (existing) std::ofstream(path) << "old";
                const bool placeable =
                    replace ? !(g_refused & Rename)
                            : !existing && (~g_refused & (HardLink | NoReplace | Rename));
                std::string error, kept;
                const WriteResult result = WriteFileAtomically(path, "new", replace, error, kept);
                EXPECT_EQ(result, placeable              ? WriteResult::Written
                                  : existing && !replace ? WriteResult::Exists
                                                         : WriteResult::Failed);
                EXPECT_EQ(Read(path), placeable ? "new" : existing ? "old" : "");
                EXPECT_EQ(kept.empty(), placeable);
                EXPECT_EQ(Read(kept), placeable ? "" : "new");
                // Nothing else left: no temporary file, no placeholder.
                namespace fs = std::filesystem;
                EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}),
                          (placeable || existing) + !kept.empty());
                std::filesystem::remove_all(folder);
            }
    g_refused = 0;
    g_outputFileCalls = g_real;
}

}  // namespace
