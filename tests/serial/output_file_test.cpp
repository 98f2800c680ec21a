#include "output_file.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

// Every write in this program takes all but one byte, as a nearly full disk
// may: its callers must write the rest.
extern "C" ssize_t write(int fd, const void* data, std::size_t size) {
    return syscall(SYS_write, fd, data, size > 1 ? size - 1 : size);
}

namespace {

// Short writes add up to the whole text; a file that appeared meanwhile is
// left as it is.
TEST(OutputFile, WrittenWholeAndNeverOverAnotherFile) {
    const std::string path = testing::TempDir() + "kelvarin-output-" + std::to_string(getpid());
    const std::string text = "ID,DATA,UNIT,PASS\r\n";
    std::string error;
    EXPECT_EQ(WriteFileAtomically(path, text, false, error), WriteResult::Written) << error;
    EXPECT_EQ(WriteFileAtomically(path, "other", false, error), WriteResult::Exists);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
    std::remove(path.c_str());
}

}  // namespace
