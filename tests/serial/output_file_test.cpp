#include "output_file.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>

// Every write in this program takes all but one byte, as a nearly full disk
// may: its callers must write the rest. One may be asked to raise SIGTERM.
volatile sig_atomic_t g_raise = 0, g_writing = 0, g_terms = 0, g_termsInWrite = 0;
extern "C" ssize_t write(int fd, const void* data, std::size_t size) {
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

// Short writes add up to the whole text; a file that appeared meanwhile is
// left as it is; a dead run's temporary file goes, a live run's stays.
TEST(OutputFile, WrittenWholeAndNeverOverAnotherFile) {
    const std::string name = "kelvarin-output-" + std::to_string(getpid());
    const std::string path = testing::TempDir() + name;
    const auto temp = [&](long pid) {
        return testing::TempDir() + "." + name + ".kelvarin-upload-" + std::to_string(pid) + ".tmp";
    };
    std::ofstream(temp(getppid())) << "live";
    std::ofstream(temp(1L << 30)) << "dead";  // beyond any process number
    const std::string text = "ID,DATA,UNIT,PASS\r\n";
    std::string error, kept;
    errno = ESRCH;  // left by an earlier call: says nothing of the live run
    // A SIGTERM during the write waits until the file is in place.
    struct sigaction count {};
    count.sa_handler = [](int) {
        g_terms = g_terms + 1;
        g_termsInWrite = g_termsInWrite + g_writing;
    };
    sigaction(SIGTERM, &count, nullptr);
    g_raise = 1;
    EXPECT_EQ(WriteFileAtomically(path, text, false, error, kept), WriteResult::Written) << error;
    EXPECT_EQ(WriteFileAtomically(path, "other", false, error, kept), WriteResult::Exists);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
    EXPECT_EQ(g_terms, 1);
    EXPECT_EQ(g_termsInWrite, 0);
    EXPECT_FALSE(std::ifstream(temp(1L << 30)));
    EXPECT_TRUE(std::ifstream(temp(getppid())));
    for (const std::string& file : {path, temp(getppid())}) std::remove(file.c_str());
}

}  // namespace
