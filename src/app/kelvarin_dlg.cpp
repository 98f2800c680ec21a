#include "app/kelvarin_dlg.h"

#include <chrono>
#include <string>
#include <thread>

#include "app/about_dlg.h"
#include "app/app_resources.h"
#include "app/list_rows.h"
#include "app/resource.h"
#include "export/export_to_excel.h"
#include "protocol/frame.h"
#include "protocol/record_handler.h"
#include "ui/app.h"
#include "ui/ddx.h"
#include "winapi/field_text.h"

namespace {

constexpr int kPortCount = 12;

struct ColumnSpec {
    const char* heading;
    int width;  // pixels
};
constexpr ColumnSpec kColumns[] = {{"ID", 90}, {"DATA", 100}, {"UNIT", 100}, {"PASS", 80}};

}  // namespace

CKelvarinDlg::CKelvarinDlg(CommPlatform& platform, AutomationClient& automation,
                           std::unique_ptr<HistoryWriter> history, std::string (*deviceOf)(int))
    : CDialogEx(kMainDialogTemplate),
      m_port(platform),
      m_receiver(this),
      m_automation(&automation),
      m_deviceOf(deviceOf),
      m_history(std::move(history)) {
    m_hIcon = AfxGetBackend().LoadIcon(IDR_MAINFRAME);
    m_records.SetSize(50, 10);
}

CKelvarinDlg::~CKelvarinDlg() {
    // The window goes first, so that a worker still delivering a byte is
    // turned away at once while the port stops it.
    DestroyWindow();
}

void CKelvarinDlg::DoDataExchange(CDataExchange* pDX) {
    CDialogEx::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_EDIT_LENGTH, m_dataLength);
    DDX_Text(pDX, IDC_EDIT_RANGE, m_fullRange);
    DDX_Control(pDX, IDC_LIST_DATA, m_listData);
}

const MessageMap& CKelvarinDlg::GetMessageMap() const {
    static const MessageMap map = MessageMap::Builder<CKelvarinDlg>()
                                      .OnSysCommand(&CKelvarinDlg::OnSysCommand)
                                      .OnPaint(&CKelvarinDlg::OnPaint)
                                      .OnQueryDragIcon(&CKelvarinDlg::OnQueryDragIcon)
                                      .OnClicked(IDC_BUTTON_OPEN, &CKelvarinDlg::OnPortOpen)
                                      .OnMessage(WM_SERIAL_BYTE, &CKelvarinDlg::OnSerialByte)
                                      .OnMessage(WM_SERIAL_ENDED, &CKelvarinDlg::OnSerialEnded)
                                      .OnClicked(IDC_BUTTON_CLOSE, &CKelvarinDlg::OnPortClose)
                                      .OnClicked(IDC_BUTTON_UPLOAD, &CKelvarinDlg::OnUpload)
                                      .OnClicked(IDC_BUTTON_EXPORT, &CKelvarinDlg::OnExport)
                                      .Build();
    return map;
}

BOOL CKelvarinDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();

    if (CMenu* sysMenu = GetSystemMenu(FALSE)) {
        CString aboutMenu;
        aboutMenu.LoadString(IDS_ABOUTBOX);
        if (!aboutMenu.IsEmpty()) {
            sysMenu->AppendMenu(MF_SEPARATOR);
            sysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, aboutMenu);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    auto* ports = static_cast<CComboBox*>(GetDlgItem(IDC_COMBO_PORT));
    for (int n = 1; n <= kPortCount; ++n) ports->AddString(std::to_string(n));
    ports->SetCurSel(0);

    m_listData.SetExtendedStyle(m_listData.GetExtendedStyle() | LVS_EX_GRIDLINES);
    for (int i = 0; i < 4; ++i)
        m_listData.InsertColumn(i, kColumns[i].heading, LVCFMT_CENTER, kColumns[i].width, -1);

    EnableItem(IDC_COMBO_PORT, TRUE);
    EnableItem(IDC_BUTTON_OPEN, TRUE);
    EnableItem(IDC_BUTTON_CLOSE, FALSE);
    EnableItem(IDC_BUTTON_UPLOAD, FALSE);
    EnableItem(IDC_BUTTON_EXPORT, FALSE);
    return TRUE;
}

void CKelvarinDlg::OnSysCommand(UINT nID, LPARAM lParam) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        CDialogEx::OnSysCommand(nID, lParam);
    }
}

void CKelvarinDlg::OnPaint() {
    if (IsIconic()) {
        GetPeer()->DrawIconCentred(m_hIcon);
    } else {
        CDialogEx::OnPaint();
    }
}

HCURSOR CKelvarinDlg::OnQueryDragIcon() {
    return m_hIcon;
}

void CKelvarinDlg::OnPortOpen() {
    auto* ports = static_cast<CComboBox*>(GetDlgItem(IDC_COMBO_PORT));
    const int portNumber = ports->GetCurSel() + 1;
    // A worker that cannot be started leaves the port closed again: to the
    // user that is a port that could not be opened.
    if (!m_port.Open(GetSafeOwner(), portNumber) || !m_port.StartMonitor()) {
        MessageBox(kOpenFailedText, kOpenFailedCaption, MB_ICONEXCLAMATION);
        return;
    }
    EnableItem(IDC_COMBO_PORT, FALSE);
    EnableItem(IDC_BUTTON_OPEN, FALSE);
    EnableItem(IDC_BUTTON_CLOSE, TRUE);
    EnableItem(IDC_BUTTON_UPLOAD, TRUE);
}

LRESULT CKelvarinDlg::OnSerialByte(WPARAM wParam, LPARAM /*lParam*/) {
    m_receiver.OnByte(static_cast<std::uint8_t>(wParam & 0xFF));
    return 0;
}

LRESULT CKelvarinDlg::OnSerialEnded(WPARAM, LPARAM) {
    // Nothing would be sent or received any more: "Port Close" is what is
    // left to do, and then the port opens again.
    EnableItem(IDC_BUTTON_UPLOAD, FALSE);
    return 0;
}

void CKelvarinDlg::OnPortClose() {
    // Close handles the window's messages while it waits for the worker:
    // nothing may be clickable meanwhile, and an end frame that still
    // arrives must not leave "Export" on for a closed port.
    EnableItem(IDC_COMBO_PORT, FALSE);
    EnableItem(IDC_BUTTON_OPEN, FALSE);
    EnableItem(IDC_BUTTON_CLOSE, FALSE);
    EnableItem(IDC_BUTTON_UPLOAD, FALSE);
    EnableItem(IDC_BUTTON_EXPORT, FALSE);
    m_closingPort = TRUE;
    m_port.Close();
    m_closingPort = FALSE;
    EnableItem(IDC_COMBO_PORT, TRUE);
    EnableItem(IDC_BUTTON_OPEN, TRUE);
    EnableItem(IDC_BUTTON_CLOSE, FALSE);
    EnableItem(IDC_BUTTON_UPLOAD, FALSE);
    EnableItem(IDC_BUTTON_EXPORT, FALSE);
}

void CKelvarinDlg::OnUpload() {
    m_listData.DeleteAllItems();
    m_records.RemoveAll();
    m_receiver.BuildFrame(CMD_UPLOAD_REQUEST);
    m_receiver.SendFrame();
    m_receiver.ResetCount();
    EnableItem(IDC_BUTTON_UPLOAD, FALSE);
}

void CKelvarinDlg::OnExport() {
    ExportToExcel(m_listData);
}

void CKelvarinDlg::ExportToExcel(CListCtrl& list) {
    ListRows rows(list);
    ::ExportToExcel(*m_automation, rows,
                    [this](const std::string& text, const std::string& caption, unsigned style) {
                        MessageBox(text, caption, style);
                    });
}

void CKelvarinDlg::SendFrameBytes(const std::uint8_t* bytes, std::uint32_t count) {
    // Without a running worker (an acknowledgement during Close) nothing is
    // queued, as nothing would write it.
    m_port.HandOver(bytes, count);
}

void CKelvarinDlg::EnableExport() {
    // Complete even while the port closes: it is kept all the same.
    KeepInHistory();
    if (m_closingPort) return;
    EnableItem(IDC_BUTTON_EXPORT, TRUE);
}

void CKelvarinDlg::KeepInHistory() {
    if (!m_history) return;
    const int port = m_port.PortNumber();
    UploadEntry entry = NewUploadEntry("window", port, m_deviceOf ? m_deviceOf(port) : "");
    entry.info.fullRange = FloatFieldText(m_fullRange);
    entry.info.dataLength = UnsignedFieldText(m_dataLength);
    for (int row = 0; row < m_listData.GetItemCount(); ++row)
        entry.records.push_back({m_listData.GetItemText(row, 0),
                                 m_listData.GetItemText(row, 1),
                                 m_listData.GetItemText(row, 2),
                                 m_listData.GetItemText(row, 3),
                                 {}});
    // The acknowledgement of the end frame is on its way: a failed write
    // shows within a few milliseconds at 9600 baud.
    m_history->Keep(std::move(entry), [this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        return !m_port.IsWriteFailed();
    });
}

void CKelvarinDlg::HandleRecordFrame(const std::uint8_t* payload) {
    ListRows rows(m_listData);
    StoreAndListRecord(payload, m_records, rows);
}

void CKelvarinDlg::EnableItem(int id, BOOL enable) {
    if (CWnd* item = GetDlgItem(id)) item->EnableWindow(enable);
}
