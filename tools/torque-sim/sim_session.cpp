#include "sim_session.h"

#include <algorithm>
#include <cstring>

namespace torque_sim {
namespace {

constexpr std::uint8_t kRequest[7] = {0xEB, 0x00, 0x55, 0xF0, 0x00, 0x00, 0x30};
constexpr std::uint8_t kAck[7] = {0xEB, 0x00, 0x55, 0xF5, 0x00, 0x00, 0x35};
constexpr std::uint8_t kUnknownCommand = 0x07;

std::uint8_t Sum(const Bytes& bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    return sum;
}

}  // namespace

Bytes EncodeFrame(std::uint8_t command, const Bytes& payload) {
    Bytes frame;
    frame.reserve(payload.size() + 7);
    for (std::uint8_t b : {std::uint8_t{0xEB}, std::uint8_t{0x00}, std::uint8_t{0x55}, command,
                           static_cast<std::uint8_t>(payload.size() >> 8),
                           static_cast<std::uint8_t>(payload.size() & 0xFF)})
        frame.push_back(b);
    for (std::uint8_t b : payload) frame.push_back(b);
    frame.push_back(Sum(frame));
    return frame;
}

Bytes EncodeRecordPayload(const SimRecord& r) {
    const auto bits = static_cast<std::uint32_t>(r.magnitude);
    return {r.id,
            static_cast<std::uint8_t>(bits >> 24),
            static_cast<std::uint8_t>(bits >> 16),
            static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits),
            static_cast<std::uint8_t>(r.negative ? 1 : 0),
            r.decimals,
            r.unit,
            static_cast<std::uint8_t>(r.present ? 1 : 0),
            static_cast<std::uint8_t>(r.failed ? 1 : 0)};
}

std::vector<SimRecord> DefaultRecords(int count) {
    // A tightening series around 12 N.m with the odd outlier, as a shift of
    // checks on one wrench leaves it.
    static const SimRecord kPattern[] = {
        {0, 1234, false, 2, 2, true, false},   // 12.34 N.m
        {0, 1251, false, 2, 2, true, false},   // 12.51 N.m
        {0, 1258, false, 1, 1, true, false},   // 125.8 kgf.cm
        {0, 906, false, 2, 3, true, false},    // 9.06 lfb.ft
        {0, 1087, false, 1, 4, true, true},    // 108.7 lbf.in, over the limit
        {0, 0, false, 2, 2, false, false},     // no value stored
        {0, 1199, false, 2, 2, true, false},   // 11.99 N.m
        {0, 35, true, 2, 2, true, true},       // -0.35 N.m, reverse pull
        {0, 12345, false, 3, 2, true, false},  // 12.345 N.m
        {0, 5, false, 0, 0, true, false},      // 5, no unit
    };
    std::vector<SimRecord> records;
    for (int i = 0; i < count; ++i) {
        SimRecord r = kPattern[i % std::size(kPattern)];
        r.id = static_cast<std::uint8_t>(i + 1);
        r.magnitude += (i / static_cast<int>(std::size(kPattern))) * 3;
        records.push_back(r);
    }
    return records;
}

const char* FaultName(Fault fault) {
    switch (fault) {
        case Fault::BadCheck:
            return "bad-check";
        case Fault::UnknownCommand:
            return "unknown-command";
        case Fault::StrayBytes:
            return "stray-bytes";
        case Fault::ShortPayload:
            return "short-payload";
        case Fault::HangUp:
            return "hang-up";
    }
    return "?";
}

std::optional<Fault> ParseFault(const char* name) {
    for (Fault f : {Fault::BadCheck, Fault::UnknownCommand, Fault::StrayBytes, Fault::ShortPayload,
                    Fault::HangUp}) {
        if (std::strcmp(name, FaultName(f)) == 0) return f;
    }
    return std::nullopt;
}

Session::Session(Config config) : m_config(std::move(config)), m_random(m_config.faults.seed) {}

void Session::Receive(const std::uint8_t* data, std::size_t count, Clock::time_point now) {
    for (std::size_t i = 0; i < count && !m_hungUp; ++i) {
        m_window.push_back(data[i]);
        if (m_window.size() > 7) m_window.erase(m_window.begin());
        if (m_window.size() < 7) continue;
        if (std::equal(m_window.begin(), m_window.end(), kRequest)) {
            if (trace) trace(Direction::FromHost, m_window);
            m_window.clear();
            // A new request starts over, also in the middle of an upload.
            ++m_stats.uploadsStarted;
            m_next = 0;
            SendCurrent(now, true);
        } else if (std::equal(m_window.begin(), m_window.end(), kAck)) {
            if (trace) trace(Direction::FromHost, m_window);
            m_window.clear();
            ++m_stats.acksReceived;
            if (m_next < 0) continue;  // nothing outstanding: a stray acknowledgement
            if (++m_next == FrameCount()) {
                ++m_stats.uploadsCompleted;
                m_next = -1;
                m_deadline.reset();
            } else {
                SendCurrent(now, true);
            }
        }
    }
}

Bytes Session::TakeOutput() {
    Bytes out;
    out.swap(m_output);
    return out;
}

std::optional<Clock::time_point> Session::Deadline() const {
    return m_deadline;
}

void Session::Tick(Clock::time_point now) {
    if (m_hungUp || m_next < 0 || !m_deadline || now < *m_deadline) return;
    ++m_stats.retransmissions;
    SendCurrent(now, false);
}

Bytes Session::FrameAt(int index) const {
    const int recordCount = static_cast<int>(m_config.records.size());
    if (index == 0) {
        return EncodeFrame(0x01, {static_cast<std::uint8_t>(m_config.fullRangeRaw >> 8),
                                  static_cast<std::uint8_t>(m_config.fullRangeRaw & 0xFF)});
    }
    if (index == 1) return EncodeFrame(0x02, {static_cast<std::uint8_t>(recordCount)});
    if (index - 2 < recordCount)
        return EncodeFrame(0x03, EncodeRecordPayload(m_config.records[index - 2]));
    return EncodeFrame(0x04, {});
}

std::optional<Fault> Session::PickFault(int index) {
    if (auto it = m_config.faults.at.find(index); it != m_config.faults.at.end()) return it->second;
    if (m_config.faults.rate > 0.0) {
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        if (chance(m_random) < m_config.faults.rate) {
            std::uniform_int_distribution<int> kind(0, 3);
            return static_cast<Fault>(kind(m_random));
        }
    }
    return std::nullopt;
}

void Session::Emit(const Bytes& bytes) {
    m_output.insert(m_output.end(), bytes.begin(), bytes.end());
    if (trace) trace(Direction::ToHost, bytes);
}

void Session::SendCurrent(Clock::time_point now, bool first) {
    Bytes frame = FrameAt(m_next);
    const std::optional<Fault> fault = first ? PickFault(m_next) : std::nullopt;
    if (fault) ++m_stats.faultsInjected;
    if (fault == Fault::HangUp) {
        m_hungUp = true;
        m_deadline.reset();
        return;
    }
    if (fault == Fault::UnknownCommand) Emit(EncodeFrame(kUnknownCommand, {0x00}));
    if (fault == Fault::StrayBytes) {
        // Noise without 0xEB, so it cannot look like the start of a frame.
        std::uniform_int_distribution<int> length(1, 5), value(0, 0xEA);
        Bytes noise(static_cast<std::size_t>(length(m_random)));
        for (auto& b : noise) b = static_cast<std::uint8_t>(value(m_random));
        Emit(noise);
    }
    if (fault == Fault::BadCheck || (fault == Fault::ShortPayload && frame.size() == 7)) {
        frame.back() = static_cast<std::uint8_t>(frame.back() ^ 0x5A);
    } else if (fault == Fault::ShortPayload) {
        Bytes payload(frame.begin() + 6, frame.end() - 1);
        payload.pop_back();
        frame = EncodeFrame(frame[3], payload);
    }
    ++m_stats.framesSent;
    Emit(frame);
    if (m_config.retransmitAfter.count() > 0)
        m_deadline = now + m_config.retransmitAfter;
    else
        m_deadline.reset();
}

}  // namespace torque_sim
