#include "wire_trace.h"

#include <chrono>
#include <cstdio>

namespace {

// Noise is joined into lines of at most this many bytes: a line that sends
// nothing else is still shown as it comes.
constexpr std::size_t kNoiseLine = 32;

const char* Why(FrameObserver::Drop why) {
    switch (why) {
        case FrameObserver::Drop::BadCheck:
            return "dropped: bad check byte";
        case FrameObserver::Drop::UnknownCommand:
            return "dropped: unknown command";
        case FrameObserver::Drop::Noise:
            return "dropped: noise before a header";
        case FrameObserver::Drop::TooLong:
            return "dropped: frame longer than 50 bytes";
        case FrameObserver::Drop::ShortPayload:
            return "dropped: payload too short for its command";
    }
    return "dropped";
}

}  // namespace

WireTrace::WireTrace(Sink sink, Clock clock) : m_sink(std::move(sink)), m_clock(std::move(clock)) {
    if (!m_clock) {
        const auto start = std::chrono::steady_clock::now();
        m_clock = [start] {
            return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - start)
                                              .count());
        };
    }
}

void WireTrace::Line(long long ms, const char* direction, const std::uint8_t* bytes,
                     std::size_t count, const char* note) {
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%8lld ms  %s ", ms, direction);
    std::string line = stamp;
    for (std::size_t i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
        line += hex;
    }
    if (note) line += std::string("  ") + note;
    m_sink(line);
}

void WireTrace::Flush() {
    if (m_noise.empty()) return;
    Line(m_noiseSince, "tool -> host", m_noise.data(), m_noise.size(), Why(Drop::Noise));
    m_noise.clear();
}

void WireTrace::Unfinished(const std::uint8_t* bytes, std::size_t count) {
    Flush();
    if (count > 0) Line(m_clock(), "tool -> host", bytes, count, "unfinished at the end");
}

void WireTrace::Sent(const std::uint8_t* bytes, std::size_t count) {
    Flush();
    Line(m_clock(), "host -> tool", bytes, count, nullptr);
}

void WireTrace::OnFrame(const std::uint8_t* bytes, std::size_t count) {
    Flush();
    Line(m_clock(), "tool -> host", bytes, count, nullptr);
}

void WireTrace::OnDropped(const std::uint8_t* bytes, std::size_t count, Drop why) {
    if (why == Drop::Noise) {
        if (m_noise.empty()) m_noiseSince = m_clock();
        m_noise.insert(m_noise.end(), bytes, bytes + count);
        while (m_noise.size() >= kNoiseLine) {
            Line(m_noiseSince, "tool -> host", m_noise.data(), kNoiseLine, Why(Drop::Noise));
            m_noise.erase(m_noise.begin(), m_noise.begin() + kNoiseLine);
            m_noiseSince = m_clock();
        }
        return;
    }
    Flush();
    Line(m_clock(), "tool -> host", bytes, count, Why(why));
}
