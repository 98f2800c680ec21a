#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "protocol/frame_receiver.h"
#include "protocol/record_handler.h"
#include "protocol/text_list.h"
#include "winapi/carray.h"
#include "winapi/field_text.h"

// Everything an upload produces, kept without a window: the receiver's owner
// for the console uploader, the demo and the tests.
class UploadState : public FrameReceiverOwner {
public:
    using SendPath = std::function<void(const std::uint8_t*, std::uint32_t)>;

    explicit UploadState(SendPath send) : receiver(this), m_send(std::move(send)) {
        records.SetSize(50, 10);
    }

    // What the Upload command does before the request leaves.
    void BeginUpload() {
        list.DeleteAllItems();
        records.RemoveAll();
        receiver.BuildFrame(CMD_UPLOAD_REQUEST);
        receiver.SendFrame();
        receiver.ResetCount();
    }

    void SendFrameBytes(const std::uint8_t* bytes, std::uint32_t count) override {
        if (m_send) m_send(bytes, count);
    }
    void SetFullRange(float value) override { fullRange = value; }
    void SetDataLength(std::uint32_t value) override { dataLength = value; }
    void RefreshFields() override {
        lengthText = UnsignedFieldText(dataLength);
        rangeText = FloatFieldText(fullRange);
    }
    void EnableExport() override { exportEnabled = true; }
    void HandleRecordFrame(const std::uint8_t* payload) override {
        StoreAndListRecord(payload, records, list);
    }

    FrameReceiver receiver;
    CArray<Tag_UserData_Type> records;
    TextList list;
    std::uint32_t dataLength = 0;
    float fullRange = 0.0f;
    std::string lengthText = "0";
    std::string rangeText = "0";
    bool exportEnabled = false;

private:
    SendPath m_send;
};
