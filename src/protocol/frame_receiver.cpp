#include "protocol/frame_receiver.h"

namespace {

bool IsToolCommand(std::uint8_t command) {
    switch (command) {
        case CMD_FULL_RANGE:
        case CMD_DATA_LENGTH:
        case CMD_RECORD:
        case CMD_UPLOAD_DONE:
        case CMD_ACK_ONLY:
            return true;
        default:
            return false;
    }
}

}  // namespace

void FrameReceiver::Restart() {
    inFrame = false;
    frameLength = 0;
    rxCount = 0;
}

void FrameReceiver::ResetCount() {
    Restart();
}

void FrameReceiver::OnByte(std::uint8_t b) {
    if (!inFrame && rxCount < 3 && b != kFrameHeader[rxCount]) {
        // Resynchronise on the header instead of waiting for a reset that may
        // never come; a breaking 0xEB may itself start the next header.
        if (observer != nullptr) {
            // What is dropped: the header's start so far and, unless it
            // starts the next header, the breaking byte.
            std::uint8_t dropped[3] = {rxBuffer[0], rxBuffer[1], 0};
            dropped[rxCount] = b;
            observer->OnDropped(dropped, rxCount + (b != kFrameHeader[0] ? 1u : 0u),
                                FrameObserver::Drop::Noise);
        }
        rxCount = 0;
        if (b != kFrameHeader[0]) return;
    }
    rxBuffer[rxCount++] = b;

    if (!inFrame && rxCount >= static_cast<int>(kFrameHeaderSize)) {
        command = rxBuffer[3];
        frameLength = rxBuffer[4] * 256 + rxBuffer[5] + static_cast<int>(kFrameOverhead);
        if (frameLength > kBufferSize) {
            // Longer than anything the tool sends and than the buffer holds.
            Drop(rxCount, FrameObserver::Drop::TooLong);
            Restart();
            return;
        }
        inFrame = true;
        return;
    }
    if (inFrame && rxCount == frameLength) CompleteFrame();
}

void FrameReceiver::CompleteFrame() {
    receivedCheck = rxBuffer[frameLength - 1];
    const auto count = static_cast<std::size_t>(frameLength);
    if (FrameCheck(rxBuffer, count - 1) != receivedCheck)
        Drop(count, FrameObserver::Drop::BadCheck);
    else if (count - kFrameOverhead < MinimumPayload(command))
        Drop(count, FrameObserver::Drop::ShortPayload);
    else if (!IsToolCommand(command))
        Drop(count, FrameObserver::Drop::UnknownCommand);
    else {
        if (observer != nullptr) observer->OnFrame(rxBuffer, count);
        Dispatch();
    }
    Restart();
}

void FrameReceiver::Dispatch() {
    if (m_owner == nullptr) return;
    const std::uint8_t* payload = rxBuffer + kFrameHeaderSize;
    switch (command) {
        case CMD_FULL_RANGE: {
            const unsigned raw = payload[0] * 256u + payload[1];
            // The tool reports its 0.5 range as 5000, a tenfold scale of the rest.
            const double divisor = raw == 5000 ? 10000.0 : 1000.0;
            m_owner->SetFullRange(static_cast<float>(raw / divisor));
            SendAck();
            break;
        }
        case CMD_DATA_LENGTH:
            m_owner->SetDataLength(payload[0]);
            m_owner->RefreshFields();
            SendAck();
            break;
        case CMD_RECORD:
            m_owner->HandleRecordFrame(payload);
            SendAck();
            break;
        case CMD_UPLOAD_DONE:
            SendAck();
            m_owner->EnableExport();
            break;
        case CMD_ACK_ONLY:
            SendAck();
            break;
        default:
            break;
    }
}

void FrameReceiver::BuildFrame(std::uint8_t cmd) {
    txFrame[0] = kFrameHeader[0];
    txFrame[1] = kFrameHeader[1];
    txFrame[2] = kFrameHeader[2];
    txFrame[3] = cmd;
    txFrame[4] = 0;
    txFrame[5] = 0;
    txCheckIndex = 6;
    txFrame[txCheckIndex] = FrameCheck(txFrame, static_cast<std::size_t>(txCheckIndex));
}

void FrameReceiver::SendFrame() {
    if (m_owner != nullptr)
        m_owner->SendFrameBytes(txFrame, static_cast<std::uint32_t>(txCheckIndex + 1));
}

void FrameReceiver::SendAck() {
    BuildFrame(CMD_ACK);
    SendFrame();
}
