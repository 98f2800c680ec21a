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
#include "ui/app.h"
#include "ui/headless/headless_backend.h"

// Lets the tests look at the members the window keeps.
class TestableDlg : public CKelvarinDlg {
public:
    using CKelvarinDlg::CKelvarinDlg;
    std::size_t RecordCount() const { return m_records.GetSize(); }
    std::size_t RecordCapacity() const { return m_records.GetCapacity(); }
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

    void SetUp() override {
        RegisterAppResources();
        AfxSetBackend(&ui);
        // Every byte the worker delivers passes here first, so that tests can
        // see a delivery under way before the window has handled it.
        comm.onSend = [this](OwnerHandle owner, UINT message, WPARAM w, LPARAM l) {
            if (message != WM_SERIAL_BYTE) {
                const LRESULT result = OwnerMailbox::Send(owner, message, w, l);
                // The notification that ends each drain of the line.
                if (message == WM_SERIAL_CTS) drainedUpTo = delivered.load();
                return result;
            }
            ++delivering;
            const LRESULT result = OwnerMailbox::Send(owner, message, w, l);
            ++delivered;
            return result;
        };
        dlg = std::make_unique<TestableDlg>(comm, excel);
        app.m_pMainWnd = dlg.get();
        ASSERT_TRUE(dlg->Create());
        window = ui.Main();
        ASSERT_NE(window, nullptr);
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

    static std::vector<std::uint8_t> Frame(std::uint8_t command,
                                           std::vector<std::uint8_t> payload = {}) {
        std::vector<std::uint8_t> f;
        f.reserve(payload.size() + 7);
        for (std::uint8_t b : {std::uint8_t{0xEB}, std::uint8_t{0x00}, std::uint8_t{0x55}, command,
                               static_cast<std::uint8_t>(payload.size() >> 8),
                               static_cast<std::uint8_t>(payload.size() & 0xFF)})
            f.push_back(b);
        for (std::uint8_t b : payload) f.push_back(b);
        f.push_back(FrameCheck(f.data(), f.size()));
        return f;
    }
    static std::vector<std::uint8_t> Record(std::uint8_t id, std::int32_t magnitude,
                                            std::uint8_t decimals, std::uint8_t unit) {
        const auto m = static_cast<std::uint32_t>(magnitude);
        return Frame(CMD_RECORD,
                     {id, static_cast<std::uint8_t>(m >> 24), static_cast<std::uint8_t>(m >> 16),
                      static_cast<std::uint8_t>(m >> 8), static_cast<std::uint8_t>(m), 0, decimals,
                      unit, 1, 0});
    }
    static inline const std::vector<std::uint8_t> kAck = {0xEB, 0x00, 0x55, 0xF5, 0x00, 0x00, 0x35};
    static inline const std::vector<std::uint8_t> kUploadRequest = {0xEB, 0x00, 0x55, 0xF0,
                                                                    0x00, 0x00, 0x30};

    // Opens the selected port through the button and waits until the worker
    // watches the line (it empties the queues first).
    void OpenPort() { OpenPortOf(*window); }
    void OpenPortOf(HeadlessWindow& w) {
        const int waits = comm.Count(FakeCommPlatform::Op::WaitCommEvent);
        ASSERT_TRUE(w.Click(IDC_BUTTON_OPEN));
        ASSERT_TRUE(w.Control(IDC_BUTTON_CLOSE).enabled) << "the port did not open";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (comm.Count(FakeCommPlatform::Op::WaitCommEvent) == waits)
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the worker never waited";
    }

    // Upload, and the request has left before the tool answers.
    void Upload() {
        const std::size_t before = comm.Writes().size();
        ASSERT_TRUE(window->Click(IDC_BUTTON_UPLOAD));
        ASSERT_TRUE(comm.WaitForWrites(before + 1, std::chrono::seconds(5)));
        ASSERT_EQ(comm.Writes().back(), kUploadRequest);
    }

    // The tool sends one frame and waits for its acknowledgement, as it
    // does on the line; the window's loop runs meanwhile.
    void ToolSends(const std::vector<std::uint8_t>& frame) {
        const std::size_t before = comm.Writes().size();
        comm.Incoming(frame);
        ASSERT_TRUE(ui.RunLoopUntil([&] { return comm.Writes().size() > before; }))
            << "no acknowledgement";
        EXPECT_EQ(comm.Writes().back(), kAck);
    }

    // The tool sends bytes that need no answer; the window's loop runs until
    // the worker has delivered them all and watches the line again.
    void ToolSendsUnanswered(const std::vector<std::uint8_t>& bytes) {
        const int target = delivered.load() + static_cast<int>(bytes.size());
        comm.Incoming(bytes);
        ASSERT_TRUE(ui.RunLoopUntil([&] { return drainedUpTo.load() >= target; }));
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
