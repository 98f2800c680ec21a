// Measures the serial link on a pseudo-terminal through the real POSIX
// backend: the per-byte hand-off from the worker to the owner, the turnaround
// from a frame's last byte to its acknowledgement, a whole 255-record upload
// at the 9600-baud line rate, and what the worker costs while idle.
// Prints figures; never fails on timing.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "line_link.h"
#include "protocol/upload_state.h"
#include "serial/comm_posix.h"
#include "serial/serial_port.h"
#include "sim_session.h"
#include "winapi/message_box.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Times every delivery of a byte: from the worker's send until the owner's
// thread has handled it and the worker runs again.
class TimingPlatform : public PosixCommPlatform {
public:
    LRESULT SendMessageW(OwnerHandle owner, UINT message, WPARAM w, LPARAM l) override {
        const auto start = Clock::now();
        const LRESULT result = PosixCommPlatform::SendMessageW(owner, message, w, l);
        if (message == WM_SERIAL_BYTE) {
            std::lock_guard lock(mutex);
            handOffs.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        return result;
    }
    std::mutex mutex;
    std::vector<double> handOffs;
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

struct Pty {
    Pty() {
        std::string error;
        master = torque_sim::OpenPseudoTerminal(path, keep, error);
        if (master < 0) {
            std::fprintf(stderr, "serial_bench: %s\n", error.c_str());
            std::exit(1);
        }
        setenv("KELVARIN_COM1", path.c_str(), 1);
    }
    ~Pty() {
        close(master);
        if (keep >= 0) close(keep);
    }
    std::string path;
    int master = -1;
    int keep = -1;
};

// The console owner: feeds bytes to the receiver, acknowledges through the port.
struct Owner {
    explicit Owner(CommPlatform& platform) : port(platform) {}
    ~Owner() { port.Close(); }
    OwnerMailbox box{[this](UINT message, WPARAM w, LPARAM) -> LRESULT {
        if (message == WM_SERIAL_BYTE) {
            ++bytes;
            state.receiver.OnByte(static_cast<std::uint8_t>(w));
        }
        return 0;
    }};
    CSerialPort port;
    UploadState state{[this](const std::uint8_t* b, std::uint32_t n) { port.HandOver(b, n); }};
    std::atomic<int> bytes{0};

    bool Open() { return port.Open(box.Handle(), 1) && port.StartMonitor(); }
    template <typename Done>
    void PumpUntil(Done done, Clock::duration limit) {
        const auto deadline = Clock::now() + limit;
        while (!done() && Clock::now() < deadline)
            if (box.WaitForSent(Clock::now() + 5ms)) box.DispatchSent();
    }
};

void HandOff(TimingPlatform& platform) {
    Pty pty;
    Owner owner(platform);
    if (!owner.Open()) return;
    std::this_thread::sleep_for(50ms);
    constexpr int kBytes = 4000;
    std::thread peer([&] {
        // Bytes that are no frame: the receiver only scans them.
        std::vector<std::uint8_t> noise(100, 0x11);
        for (int sent = 0; sent < kBytes; sent += 100) {
            [[maybe_unused]] ssize_t n = write(pty.master, noise.data(), noise.size());
            std::this_thread::sleep_for(2ms);
        }
    });
    owner.PumpUntil([&] { return owner.bytes >= kBytes; }, 20s);
    peer.join();
    std::lock_guard lock(platform.mutex);
    std::printf("hand-off worker -> owner -> worker, %zu bytes: median %.1f us, p99 %.1f us\n",
                platform.handOffs.size(), Percentile(platform.handOffs, 0.5),
                Percentile(platform.handOffs, 0.99));
}

void Turnaround(CommPlatform& platform) {
    Pty pty;
    Owner owner(platform);
    if (!owner.Open()) return;
    std::this_thread::sleep_for(50ms);
    constexpr int kFrames = 500;
    std::vector<double> times;
    std::atomic<bool> done{false};
    std::thread peer([&] {
        torque_sim::SimRecord record;
        record.magnitude = 1234;
        record.decimals = 2;
        const torque_sim::Bytes frame =
            torque_sim::EncodeFrame(0x03, torque_sim::EncodeRecordPayload(record));
        for (int i = 0; i < kFrames; ++i) {
            const auto start = Clock::now();
            [[maybe_unused]] ssize_t n = write(pty.master, frame.data(), frame.size());
            int got = 0;
            while (got < 7) {
                pollfd pfd{pty.master, POLLIN, 0};
                if (poll(&pfd, 1, 2000) <= 0) break;
                std::uint8_t buffer[64];
                const ssize_t r = read(pty.master, buffer, sizeof buffer);
                if (r <= 0) break;
                got += static_cast<int>(r);
            }
            if (got < 7) break;
            times.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        done = true;
    });
    owner.PumpUntil([&] { return done.load(); }, 60s);
    peer.join();
    std::printf(
        "turnaround, frame written by the tool -> acknowledgement read back, %zu frames: "
        "median %.1f us, p99 %.1f us\n",
        times.size(), Percentile(times, 0.5), Percentile(times, 0.99));
}

void PacedUpload(CommPlatform& platform, int records) {
    std::string path, error;
    int keep = -1;
    const int master = torque_sim::OpenPseudoTerminal(path, keep, error);
    if (master < 0) return;
    setenv("KELVARIN_COM1", path.c_str(), 1);
    torque_sim::Config config;
    config.records = torque_sim::DefaultRecords(records);
    torque_sim::Session session(config);
    std::atomic<bool> stop{false};
    torque_sim::LinkOptions options;
    options.pace = true;
    options.stop = &stop;
    std::thread tool([&] { torque_sim::ServeLine(master, session, options); });

    Owner owner(platform);
    if (owner.Open()) {
        std::this_thread::sleep_for(50ms);
        const auto start = Clock::now();
        owner.state.BeginUpload();
        owner.PumpUntil([&] { return owner.state.exportEnabled; }, 60s);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        // Every byte that crosses the line, both ways: the request, the tool's
        // frames and each acknowledgement, at 960 characters a second.
        const double lineBytes = 45.0 + 24.0 * records + 7.0;
        std::printf(
            "paced upload of %d records: %.3f s, %d rows; line bound (%g bytes) %.3f s, "
            "ratio %.4f\n",
            records, seconds, owner.state.list.GetItemCount(), lineBytes, lineBytes / 960.0,
            seconds / (lineBytes / 960.0));
    }
    owner.port.Close();
    stop = true;
    tool.join();
    close(master);
    close(keep);
}

std::set<std::string> Tasks() {
    std::set<std::string> tasks;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        tasks.insert(entry.path().filename());
    return tasks;
}

// utime + stime in clock ticks and voluntary context switches (wake-ups).
std::pair<long, long> TaskCost(const std::string& tid) {
    std::ifstream stat("/proc/self/task/" + tid + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15) ticks += std::stol(field);
    std::ifstream status("/proc/self/task/" + tid + "/status");
    long switches = 0;
    for (std::string line; std::getline(status, line);)
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) switches = std::stol(line.substr(24));
    return {ticks, switches};
}

void Idle(CommPlatform& platform) {
    Pty pty;
    Owner owner(platform);
    const auto before = Tasks();
    if (!owner.Open()) return;
    std::this_thread::sleep_for(100ms);
    std::string worker;
    for (const auto& tid : Tasks())
        if (!before.count(tid)) worker = tid;
    if (worker.empty()) return;
    const auto start = TaskCost(worker);
    std::this_thread::sleep_for(3s);
    const auto end = TaskCost(worker);
    std::printf("idle port, 3 s: worker wake-ups %ld, worker CPU %ld ticks (%ld per s)\n",
                end.second - start.second, end.first - start.first, sysconf(_SC_CLK_TCK));
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    // Boxes would only disturb the figures; count on stderr instead.
    SetBoxFunction([](const std::string& text, const std::string&, std::uint32_t) {
        std::fprintf(stderr, "serial_bench: box: %s\n", text.c_str());
        return 1;
    });
    TimingPlatform timing;
    HandOff(timing);
    Turnaround(PosixPlatform());
    PacedUpload(PosixPlatform(), quick ? 12 : 255);
    Idle(PosixPlatform());
    return 0;
}
