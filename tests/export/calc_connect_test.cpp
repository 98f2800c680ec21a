// Connecting to the office's pipe is bounded like every other step.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "export/calc/calc_client.h"

namespace {

TEST(CalcConnect, APipeWhoseOwnerNeverAcceptsFailsCreationWithinTheBound) {
    CalcOptions options;
    options.profileDir =
        std::filesystem::temp_directory_path() / ("kelvarin-deaf-" + std::to_string(getpid()));
    options.soffice = "/nonexistent/soffice";  // nothing is started instead
    options.startTimeout = std::chrono::milliseconds(1500);
    options.callTimeout = std::chrono::milliseconds(500);

    // A socket at the office pipe's path whose owner never accepts: with a
    // backlog of nought and one connection queued, the next one blocks.
    const std::string path =
        "/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + OfficePipeName(options.profileDir);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const auto* any = reinterpret_cast<const sockaddr*>(&address);
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    const int queued = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    unlink(path.c_str());
    const bool deaf = bind(listener, any, sizeof address) == 0 && listen(listener, 0) == 0 &&
                      connect(queued, any, sizeof address) == 0;

    CalcClient client(options);
    EXPECT_TRUE(deaf) << path;
    EXPECT_EQ(client.Create("Excel.Application"), automation::kNoObject);
    EXPECT_FALSE(client.LastError().empty());
    for (int fd : {queued, listener}) close(fd);
    unlink(path.c_str());
}

}  // namespace
