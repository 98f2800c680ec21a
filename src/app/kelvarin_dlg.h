#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "export/automation.h"
#include "history/history_writer.h"
#include "protocol/frame_receiver.h"
#include "protocol/record.h"
#include "serial/serial_port.h"
#include "ui/dialog.h"
#include "winapi/carray.h"

class CDataExchange;

// The main window: port choice, the four commands, the two fields and the
// record list. Bytes from the serial worker arrive as WM_SERIAL_BYTE.
class CKelvarinDlg : public CDialogEx, private FrameReceiverOwner {
public:
    CKelvarinDlg();
    // Tests: a serial platform and an automation client of their own, and
    // the history each completed upload goes to, if any, with the device
    // name of a port number.
    CKelvarinDlg(CommPlatform& platform, AutomationClient& automation,
                 std::unique_ptr<HistoryWriter> history = nullptr,
                 std::string (*deviceOf)(int) = nullptr);
    ~CKelvarinDlg() override;

    // Writes the list into a new spreadsheet; failures after the spreadsheet
    // program was reached leave as exceptions for the command dispatch.
    void ExportToExcel(CListCtrl& list);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    const MessageMap& GetMessageMap() const override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnPortOpen();
    LRESULT OnSerialByte(WPARAM wParam, LPARAM lParam);
    LRESULT OnSerialEnded(WPARAM wParam, LPARAM lParam);
    void OnPortClose();
    void OnUpload();
    void OnExport();

    HICON m_hIcon = nullptr;
    CSerialPort m_port;
    FrameReceiver m_receiver;
    UINT m_dataLength = 0;
    CArray<Tag_UserData_Type> m_records;
    float m_fullRange = 0.0f;
    CListCtrl m_listData;

private:
    // What the frame receiver needs from its window.
    void SendFrameBytes(const std::uint8_t* bytes, std::uint32_t count) override;
    void SetFullRange(float value) override { m_fullRange = value; }
    void SetDataLength(std::uint32_t value) override { m_dataLength = value; }
    void RefreshFields() override { UpdateData(FALSE); }
    void EnableExport() override;
    void HandleRecordFrame(const std::uint8_t* payload) override;

    void EnableItem(int id, BOOL enable);
    void KeepInHistory();

    AutomationClient* m_automation;
    // Set while "Port Close" waits for the worker: an end frame handled then
    // must not offer "Export" on a port that is going away.
    BOOL m_closingPort = FALSE;
    std::string (*m_deviceOf)(int);
    // Last: it goes first, waiting for a record under way while the port
    // it asks about is still there.
    std::unique_ptr<HistoryWriter> m_history;
};
