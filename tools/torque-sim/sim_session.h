#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <vector>

namespace torque_sim {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// One measurement as the tool stores it.
struct SimRecord {
    std::uint8_t id = 1;
    std::int32_t magnitude = 0;
    bool negative = false;
    std::uint8_t decimals = 0;
    std::uint8_t unit = 2;
    bool present = true;
    bool failed = false;
};

enum class Fault {
    BadCheck,        // the frame goes out with a wrong check byte
    UnknownCommand,  // a well-formed frame with an unknown command comes first
    StrayBytes,      // a few noise bytes come first
    ShortPayload,    // the frame goes out with its payload cut short
    HangUp,          // the tool goes silent and drops the line instead
};

struct FaultPlan {
    // Fault on the first transmission of outgoing frame k of an upload
    // (0 full range, 1 data length, 2.. records, last the end frame).
    std::map<int, Fault> at;
    // Chance of a random fault (never a hang-up) on any first transmission.
    double rate = 0.0;
    std::uint32_t seed = 1;
};

struct Config {
    std::uint16_t fullRangeRaw = 20000;
    std::vector<SimRecord> records;
    // Resend an unacknowledged frame after this long; zero never resends.
    std::chrono::milliseconds retransmitAfter{500};
    FaultPlan faults;
};

struct Stats {
    int uploadsStarted = 0;
    int uploadsCompleted = 0;
    int framesSent = 0;
    int retransmissions = 0;
    int acksReceived = 0;
    int faultsInjected = 0;
};

enum class Direction { ToHost, FromHost };

Bytes EncodeFrame(std::uint8_t command, const Bytes& payload);
Bytes EncodeRecordPayload(const SimRecord& record);
// A realistic memory: mixed units and signs, a failed reading and a record
// without a value, numbered from 1.
std::vector<SimRecord> DefaultRecords(int count);
const char* FaultName(Fault fault);
std::optional<Fault> ParseFault(const char* name);

// The tool's side of the protocol, independent of any transport: the host's
// bytes go in, the tool's bytes come out, and time drives the resends.
class Session {
public:
    explicit Session(Config config);

    void Receive(const std::uint8_t* data, std::size_t count, Clock::time_point now);
    Bytes TakeOutput();
    std::optional<Clock::time_point> Deadline() const;
    void Tick(Clock::time_point now);

    bool HungUp() const { return m_hungUp; }
    bool Idle() const { return m_next < 0; }
    const Stats& GetStats() const { return m_stats; }
    // Called with each complete frame in either direction and with noise.
    std::function<void(Direction, const Bytes&)> trace;

private:
    int FrameCount() const { return static_cast<int>(m_config.records.size()) + 3; }
    Bytes FrameAt(int index) const;
    void SendCurrent(Clock::time_point now, bool first);
    void Emit(const Bytes& bytes);
    std::optional<Fault> PickFault(int index);

    Config m_config;
    std::mt19937 m_random;
    Bytes m_output;
    Bytes m_window;   // the last seven bytes from the host
    int m_next = -1;  // frame awaiting its acknowledgement, -1 while idle
    std::optional<Clock::time_point> m_deadline;
    bool m_hungUp = false;
    Stats m_stats;
};

}  // namespace torque_sim
