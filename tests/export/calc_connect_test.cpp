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

// A socket at the path the office's pipe has, whose owner never accepts:
// with a backlog of nought and one connection queued, the next one blocks.
struct DeafPipe {
    explicit DeafPipe(const std::string& name) {
        path = "/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + name;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        const auto* any = reinterpret_cast<const sockaddr*>(&address);
        listener = socket(AF_UNIX, SOCK_STREAM, 0);
        unlink(path.c_str());
        ready = bind(listener, any, sizeof address) == 0 && listen(listener, 0) == 0;
        queued = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ready = ready && connect(queued, any, sizeof address) == 0;
    }
    ~DeafPipe() {
        close(queued);
        close(listener);
        unlink(path.c_str());
    }
    std::string path;
    int listener = -1, queued = -1;
    bool ready = false;
};

TEST(CalcConnect, APipeWhoseOwnerNeverAcceptsFailsCreationWithinTheBound) {
    CalcOptions options;
    options.profileDir =
        std::filesystem::temp_directory_path() / ("kelvarin-deaf-" + std::to_string(getpid()));
    options.soffice = "/nonexistent/soffice";  // nothing is started instead
    options.startTimeout = std::chrono::milliseconds(1500);
    options.callTimeout = std::chrono::milliseconds(500);
    DeafPipe pipe(OfficePipeName(options.profileDir));
    ASSERT_TRUE(pipe.ready) << pipe.path;

    CalcClient client(options);
    EXPECT_EQ(client.Create("Excel.Application"), automation::kNoObject);
    EXPECT_FALSE(client.LastError().empty());
}

}  // namespace
