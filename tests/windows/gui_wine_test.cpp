// kelvarin.exe end to end under Wine: the real window driven by real clicks
// and keys, COM1 leading to the simulated tool (run_with_sim.sh), Export
// going to the recording "Excel.Application" server, the history to a file
// of the test's own.
#include <gtest/gtest.h>

// Before the system's headers, whose macros and names would clash.
#include "export/com/com_client.h"
#include "export/export_to_excel.h"
#include "history/history_query.h"
#include "table_list.h"
#include "winapi/win32_text.h"
#include "wine_harness.h"

namespace {

const std::wstring kProgram = WidenUtf8(DosPath(KELVARIN_EXE));
constexpr const char* kHistory = "C:\\windows\\temp\\kelvarin-history.sqlite3";
constexpr int kCombo = 1000, kOpen = 1004, kClose = 1005, kList = 1006, kUpload = 1007,
              kLength = 1008, kRange = 1009, kExport = 1010;

class KelvarinExe : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteFileA(kHistory);  // an earlier test's
        SetEnvironmentVariableA("KELVARIN_HISTORY", kHistory);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessW(kProgram.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &m_process));
        CloseHandle(m_process.hThread);
        ASSERT_TRUE(WaitFor([&] {
            return IsWindowVisible(m_main = FindWindowW(nullptr, L"Kelvarin"));
        })) << "the main window never appeared";
    }
    void TearDown() override {
        TerminateProcess(m_process.hProcess, 1);  // refused once it has ended
        WaitForSingleObject(m_process.hProcess, 5000);
        CloseHandle(m_process.hProcess);
    }

    HWND Item(int id) const { return GetDlgItem(m_main, id); }
    UINT Number(int id) const { return GetDlgItemInt(m_main, id, nullptr, FALSE); }
    // A real click on the control's middle. It carries its position: a
    // pointer moved apart may land after it.
    void Click(int id) {
        RECT r;
        GetWindowRect(Item(id), &r);
        SetForegroundWindow(m_main);
        for (const DWORD button : {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP})
            mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | button,
                        (r.left + r.right) / 2 * 65536 / GetSystemMetrics(SM_CXSCREEN),
                        (r.top + r.bottom) / 2 * 65536 / GetSystemMetrics(SM_CYSCREEN), 0, 0);
    }
    void OpenAndUpload() {  // port 1, the first in the list, is chosen at start
        Click(kOpen);
        ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(kUpload)); })) << "port not opened";
        Click(kUpload);
    }
    void Press(BYTE key, HWND window = nullptr) {  // a real key press
        SetForegroundWindow(window ? window : m_main);
        for (const DWORD flags : {0ul, static_cast<DWORD>(KEYEVENTF_KEYUP)})
            keybd_event(key, 0, flags, 0);
    }
    void ExpectEndsOn(BYTE key) {
        Press(key);
        ASSERT_EQ(WaitForSingleObject(m_process.hProcess, 15000), static_cast<DWORD>(WAIT_OBJECT_0))
            << "the program did not end on key " << key;
        DWORD code = 1;
        GetExitCodeProcess(m_process.hProcess, &code);
        EXPECT_EQ(code, 0u);
    }

    Recorder m_recorder;
    PROCESS_INFORMATION m_process{};
    HWND m_main = nullptr;
};

TEST_F(KelvarinExe, UploadThenExportThroughTheWindowThenEnterEnds) {
    // Client pixels worked out by hand from the template's dialog units for
    // the dialog font's base units here, 7 x 14: x * 7 / 4 and y * 14 / 8,
    // each rounded, position and size apart as the dialog manager does.
    RECT area;
    GetClientRect(m_main, &area);
    EXPECT_EQ(std::make_pair(area.right, area.bottom), std::make_pair(499L, 396L));
    // A label keeps the template's width, or takes its text's where that is
    // wider ("Full Range:" in Tahoma), up to the next control. Each label's
    // text fits its width on one line in the dialog's font, MS Shell Dlg at 9
    // points, which Wine draws in Tahoma.
    const struct {
        const wchar_t* text;          // a label's, by which it is found (its id is no one's)
        int id, x, y, width, height;  // height -1: a drop-down list's own
    } layout[] = {{L"", IDOK, 399, 329, 88, 25},        {L"", kCombo, 70, 14, 65, -1},
                  {L"", kOpen, 149, 12, 88, 25},        {L"", kClose, 250, 12, 88, 25},
                  {L"", kList, 12, 88, 371, 296},       {L"", kUpload, 397, 95, 88, 25},
                  {L"", kLength, 93, 60, 49, 23},       {L"", kRange, 238, 61, 58, 23},
                  {L"", kExport, 397, 135, 88, 25},     {L"Com No", 0, 12, 18, 46, 14},
                  {L"Data Length:", 0, 12, 61, 74, 14}, {L"Full Range:", 0, 170, 63, 63, 14}};
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, CreateFontW(-12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, L"Tahoma"));
    for (const auto& e : layout) {
        RECT r;
        GetWindowRect(*e.text ? FindWindowExW(m_main, nullptr, L"Static", e.text) : Item(e.id), &r);
        MapWindowPoints(nullptr, m_main, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right - r.left,
                                     e.height < 0 ? -1 : r.bottom - r.top}),
                  (std::vector<LONG>{e.x, e.y, e.width, e.height}))
            << (*e.text ? NarrowUtf16(e.text) : std::to_string(e.id));
        EXPECT_LE(LOWORD(GetTabbedTextExtentW(dc, e.text, lstrlenW(e.text), 0, 0)), e.width);
    }
    DeleteObject(SelectObject(dc, old));
    ReleaseDC(nullptr, dc);

    // Port 1 is the tool: its first three records.
    OpenAndUpload();
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(kExport)); }, 30)) << "upload unended";
    EXPECT_EQ(std::make_pair(Number(kLength), Number(kRange)), std::make_pair(3u, 20u));

    // The program's export, read from its list, call for call as this
    // process makes it from the texts the list must show. How each call
    // reaches the server is the client's own suite's concern.
    TableList shown;  // with the list's headers
    shown.rows = {{"1", "12.340000", "N.m", "passed"},
                  {"2", "12.510000", "N.m", "passed"},
                  {"3", "125.800003", "kgf.cm", "passed"}};
    ComClient client;
    ExportToExcel(client, shown, [](const std::string&, const std::string&, unsigned) {});
    const std::vector<std::string> expected = m_recorder.Lines();
    Click(kExport);
    std::vector<std::string> lines;
    ASSERT_TRUE(WaitFor([&] { return (lines = m_recorder.Lines()).size() >= 2 * expected.size(); }))
        << "no export";
    EXPECT_EQ(std::vector<std::string>(lines.begin() + expected.size(), lines.end()), expected);

    // Enter on the list (not a button) ends the program with the port open,
    // once the upload is in the history as the list shows it.
    Click(kList);
    ExpectEndsOn(VK_RETURN);
    const HistoryDb history(kHistory, HistoryDb::Access::Read);
    const std::optional<UploadEntry> kept = LoadUpload(history, 1);
    ASSERT_TRUE(kept && CountHistory(history).uploads == 1) << "not the one upload";
    EXPECT_EQ(kept->info.source, "window");
    std::vector<std::vector<std::string>> rows;
    for (const StoredRecord& r : kept->records) rows.push_back({r.id, r.data, r.unit, r.pass});
    EXPECT_EQ(rows, shown.rows);
}

// The tool stalls after the data length (a record it never resends): Port
// Close mid-upload, then the port opens again and takes a new upload.
// Escape then must still end it, though the focused Upload went disabled.
TEST_F(KelvarinExe, PortCloseMidUploadThenUploadAgain) {
    OpenAndUpload();
    ASSERT_TRUE(WaitFor([&] { return Number(kLength) == 3; })) << "no data length";
    Click(kClose);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(kOpen)); })) << "not closed";
    SetWindowTextW(Item(kLength), L"");  // to tell the next upload's apart
    OpenAndUpload();
    EXPECT_TRUE(WaitFor([&] { return Number(kLength) == 3; })) << "no second upload";
    ExpectEndsOn(VK_ESCAPE);
}

// Port 12, the last in the drop list: only COM12 leads to the tool
// (SIM_PORT). Export with no "Excel.Application" then shows the "Warning"
// box: its text, OK alone, no icon, owned by the window.
TEST_F(KelvarinExe, Port12ThenExportWithoutExcelWarns) {
    const auto combo = [&](UINT message) { return SendMessageW(Item(kCombo), message, 0, 0); };
    Click(kCombo);
    ASSERT_TRUE(WaitFor([&] { return combo(CB_GETDROPPEDSTATE); })) << "the list did not drop";
    Press(VK_END);
    Press(VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return !combo(CB_GETDROPPEDSTATE); }));
    ASSERT_EQ(combo(CB_GETCURSEL), 11);
    ASSERT_NO_FATAL_FAILURE(OpenAndUpload());
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(kExport)); }, 30)) << "upload unended";

    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Excel.Application");
    Click(kExport);
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(box = FindWindowW(L"#32770", L"Warning")); }))
        << "no box";
    EXPECT_EQ(GetWindow(box, GW_OWNER), m_main);
    wchar_t text[64] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 64);
    EXPECT_EQ(NarrowUtf16(text), "Can not Create Excel Application!");
    std::vector<std::string> shown;  // the box's visible controls: buttons, and any icon
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {}, label[32] = {};
        GetClassNameW(child, name, 32);
        GetWindowTextW(child, label, 32);
        const bool icon = (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                          SendMessageW(child, STM_GETICON, 0, 0);
        if (IsWindowVisible(child) && (!_wcsicmp(name, L"Button") || icon))
            shown.push_back(icon ? "icon" : NarrowUtf16(label));
    }
    EXPECT_EQ(shown, std::vector<std::string>{"OK"});
    Press(VK_RETURN, box);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); })) << "the box stayed";
}

// The executable's resources, read as data: a wrong code page or a lost
// manifest shows here rather than as garbled menus on a user's machine.
TEST(KelvarinResources, ChineseStringsIconSizesManifestAndVersion) {
    HMODULE module = LoadLibraryExW(kProgram.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(module);
    auto resource = [&](LPCSTR type, int name, WORD language) {
        HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(name), language);
        return found ? std::string(static_cast<const char*>(LoadResource(module, found)),
                                   SizeofResource(module, found))
                     : "";
    };
    const WORD chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    // String 101 lives in block 7 (101 / 16 + 1) of the string table.
    EXPECT_NE(resource(RT_STRING, 101 / 16 + 1, chinese), "");
    EXPECT_NE(resource(RT_VERSION, VS_VERSION_INFO, chinese), "");
    wchar_t text[64] = {};
    LoadStringW(module, 101, text, 64);
    EXPECT_EQ(NarrowUtf16(text), "关于 Kelvarin(&A)...");
    // After 6 bytes, 14-byte entries from the smallest, each starting with
    // its width (0: 256).
    const std::string icons = resource(RT_GROUP_ICON, 128, chinese);
    ASSERT_GE(icons.size(), 20u) << "no icon group 128";
    EXPECT_EQ(std::make_pair(+icons[6], +icons[icons.size() - 14]), std::make_pair(16, 0));
    // Language-neutral, so that every loader finds it.
    const std::string manifest = resource(RT_MANIFEST, 1, LANG_NEUTRAL);
    for (const char* part : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"",
                             "level=\"asInvoker\"", ">true</dpiAware>"})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
}

}  // namespace
