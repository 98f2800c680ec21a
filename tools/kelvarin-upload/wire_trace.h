#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/frame_receiver.h"

// The wire as text, one line per frame: milliseconds since the start, the
// direction, the bytes in hex and, for bytes the receiver dropped, why. Runs
// of noise are joined into lines of up to 32 bytes.
class WireTrace final : public FrameObserver {
public:
    using Sink = std::function<void(const std::string& line)>;
    using Clock = std::function<long long()>;  // milliseconds

    // Without a clock, the time since construction.
    explicit WireTrace(Sink sink, Clock clock = nullptr);

    // A frame handed to the line.
    void Sent(const std::uint8_t* bytes, std::size_t count);
    void OnFrame(const std::uint8_t* bytes, std::size_t count) override;
    void OnDropped(const std::uint8_t* bytes, std::size_t count, Drop why) override;
    // The start of a frame that never ended (the line went quiet or was lost).
    void Unfinished(const std::uint8_t* bytes, std::size_t count);
    // Writes out the noise still held back.
    void Flush();

private:
    void Line(long long ms, const char* direction, const std::uint8_t* bytes, std::size_t count,
              const char* note);

    Sink m_sink;
    Clock m_clock;
    std::vector<std::uint8_t> m_noise;
    long long m_noiseSince = 0;
};
