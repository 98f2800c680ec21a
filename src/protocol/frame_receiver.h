#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/frame.h"

// What the receiver needs from the window that owns it.
class FrameReceiverOwner {
public:
    // Queues bytes for the serial worker and returns without waiting.
    virtual void SendFrameBytes(const std::uint8_t* bytes, std::uint32_t count) = 0;
    virtual void SetFullRange(float value) = 0;
    virtual void SetDataLength(std::uint32_t value) = 0;
    // Copies the data length and full range into their two fields.
    virtual void RefreshFields() = 0;
    virtual void EnableExport() = 0;
    // Decodes, stores and lists one record; `payload` holds its ten bytes.
    virtual void HandleRecordFrame(const std::uint8_t* payload) = 0;

protected:
    ~FrameReceiverOwner() = default;
};

// Watches what the receiver makes of the bytes, for a wire trace. Called
// inside OnByte; the receiver behaves the same with or without one.
class FrameObserver {
public:
    enum class Drop { BadCheck, UnknownCommand, Noise, TooLong, ShortPayload };
    // A frame that passed its check, before its command is acted on.
    virtual void OnFrame(const std::uint8_t* bytes, std::size_t count) = 0;
    // Bytes thrown away, and why.
    virtual void OnDropped(const std::uint8_t* bytes, std::size_t count, Drop why) = 0;

protected:
    ~FrameObserver() = default;
};

// Byte-at-a-time frame assembly, verification, dispatch and acknowledgement.
struct FrameReceiver {
    static constexpr int kBufferSize = 50;
    static constexpr int kTxSize = 21;

    explicit FrameReceiver(FrameReceiverOwner* owner = nullptr) : m_owner(owner) {}

    void OnByte(std::uint8_t b);
    // Forgets any partly received frame; the next byte starts a new one.
    void ResetCount();
    void BuildFrame(std::uint8_t cmd);
    void SendFrame();
    void SendAck();

    std::uint8_t rxBuffer[kBufferSize] = {};
    std::uint8_t rxCount = 0;
    bool inFrame = false;
    std::int32_t frameLength = 0;
    std::uint8_t command = 0;
    std::uint8_t receivedCheck = 0;
    std::uint8_t txFrame[kTxSize] = {};
    std::int32_t txCheckIndex = 0;
    FrameObserver* observer = nullptr;

private:
    void Drop(std::size_t count, FrameObserver::Drop why) {
        if (observer != nullptr) observer->OnDropped(rxBuffer, count, why);
    }

    void Restart();
    void CompleteFrame();
    void Dispatch();

    FrameReceiverOwner* m_owner;
};
