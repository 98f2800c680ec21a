#pragma once

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/app_resources.h"
#include "app/kelvarin_dlg.h"
#include "app/resource.h"
#include "export/recording_client.h"
#include "fake_comm_platform.h"
#include "protocol/frame.h"
#include "sim_session.h"
#include "ui/app.h"
#include "ui/headless/headless_backend.h"

// Lets the tests look at the members the window keeps.
class TestableDlg : public CKelvarinDlg {
public:
    using CKelvarinDlg::CKelvarinDlg;
    std::size_t RecordCount() const { return m_records.GetSize(); }
    UINT DataLength() const { return m_dataLength; }
    float FullRange() const { return m_fullRange; }
    HICON Icon() const { return m_hIcon; }
};

// The main window on the in-memory backend, over a fake serial device and a
// recording spreadsheet client.
class MainWindowTest : public ::testing::Test {
protected:
    // Combo, Port Open, Port Close, Upload, Export.
    using Enabled = std::array<bool, 5>;
    static constexpr Enabled kPortClosed = {true, true, false, false, false};
    static constexpr Enabled kPortOpen = {false, false, true, true, false};
    static constexpr Enabled kUploading = {false, false, true, false, false};
    static constexpr Enabled kUploaded = {false, false, true, false, true};
    using Bytes = torque_sim::Bytes;
    static inline const Bytes kAck = {0xEB, 0x00, 0x55, 0xF5, 0x00, 0x00, 0x35};

    void SetUp() override {
        RegisterAppResources();
        AfxSetBackend(&ui);
        // Every byte the worker delivers passes here first, so that tests can
        // see a delivery under way before the window has handled it.
        comm.onSend = [this](OwnerHandle owner, UINT message, WPARAM w, LPARAM l) {
            const bool byte = message == WM_SERIAL_BYTE;
            if (byte) ++delivering;
            const LRESULT result = OwnerMailbox::Send(owner, message, w, l);
            if (byte) ++delivered;
            // The notification that ends each drain of the line.
            if (message == WM_SERIAL_CTS) drainedUpTo = delivered.load();
            return result;
        };
        dlg = std::make_unique<TestableDlg>(comm, excel);
        app.m_pMainWnd = dlg.get();
        ASSERT_TRUE(dlg->Create());
        window = ui.Main();
    }

    void TearDown() override {
        app.m_pMainWnd = nullptr;
        dlg.reset();
        AfxSetBackend(nullptr);
    }

    HeadlessControl& Control(int id) { return window->Control(id); }
    std::string Text(int id) { return Control(id).text; }
    Enabled State() {
        return {Control(IDC_COMBO_PORT).enabled, Control(IDC_BUTTON_OPEN).enabled,
                Control(IDC_BUTTON_CLOSE).enabled, Control(IDC_BUTTON_UPLOAD).enabled,
                Control(IDC_BUTTON_EXPORT).enabled};
    }

    static Bytes Frame(std::uint8_t command, const Bytes& payload = {}) {
        return torque_sim::EncodeFrame(command, payload);
    }
    static Bytes Record(std::uint8_t id, std::int32_t magnitude, std::uint8_t decimals,
                        std::uint8_t unit) {
        return Frame(CMD_RECORD,
                     torque_sim::EncodeRecordPayload(
                         {.id = id, .magnitude = magnitude, .decimals = decimals, .unit = unit}));
    }

    // Opens the selected port through the button and waits until the worker
    // watches the line (it empties the queues first).
    void OpenPort(HeadlessWindow* w = nullptr) {
        if (!w) w = window;
        const int waits = comm.Count(FakeCommPlatform::Op::WaitCommEvent);
        ASSERT_TRUE(w->Click(IDC_BUTTON_OPEN));
        ASSERT_TRUE(w->Control(IDC_BUTTON_CLOSE).enabled) << "the port did not open";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (comm.Count(FakeCommPlatform::Op::WaitCommEvent) == waits)
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the worker never waited";
    }

    // Upload, and the request has left before the tool answers.
    void Upload() {
        const std::size_t before = comm.Writes().size();
        ASSERT_TRUE(window->Click(IDC_BUTTON_UPLOAD));
        ASSERT_TRUE(comm.WaitForWrites(before + 1, std::chrono::seconds(5)));
        ASSERT_EQ(comm.Writes().back(), (Bytes{0xEB, 0x00, 0x55, 0xF0, 0x00, 0x00, 0x30}));
    }

    // The tool sends one frame and waits for its acknowledgement, as it
    // does on the line; the window's loop runs meanwhile.
    void ToolSends(const Bytes& frame) {
        const std::size_t before = comm.Writes().size();
        comm.Incoming(frame);
        ASSERT_TRUE(ui.RunLoopUntil([&] { return comm.Writes().size() > before; }))
            << "no acknowledgement";
        EXPECT_EQ(comm.Writes().back(), kAck);
    }

    // The tool sends `frame`; the window handles all but its last byte, which
    // is left blocked on its way to the window.
    void ToolSendsAllButLastHandled(const Bytes& frame) {
        const int target = delivered.load() + static_cast<int>(frame.size()) - 1;
        comm.Incoming({frame.begin(), frame.end() - 1});
        ASSERT_TRUE(ui.RunLoopUntil([&] { return drainedUpTo.load() >= target; }));
        comm.Incoming({frame.back()});
        ASSERT_TRUE(WaitUntilDelivering(target + 1));
    }

    // Waits, without handling anything, until the worker is blocked in
    // delivering byte number `count`.
    bool WaitUntilDelivering(int count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (delivering.load() < count)
            if (std::chrono::steady_clock::now() > deadline) return false;
        return true;
    }

    HeadlessBackend ui;
    CWinApp app{"kelvarin"};
    FakeCommPlatform comm;
    automation::RecordingClient excel;
    std::unique_ptr<TestableDlg> dlg;
    HeadlessWindow* window = nullptr;
    std::atomic<int> delivering{0};
    std::atomic<int> delivered{0};
    std::atomic<int> drainedUpTo{0};
};
