// kelvarin.exe end to end under Wine: the real window driven by real clicks
// and keys, COM1 leading to the simulated tool (run_with_sim.sh), Export
// going to the recording "Excel.Application" server.
#include <gtest/gtest.h>

// Before the system's headers, whose macros and names would clash.
#include "export/com/com_client.h"
#include "export/export_to_excel.h"
#include "serial/win32_text.h"
#include "table_list.h"
#include "wine_harness.h"
// After windows.h, which it needs.
#include <commctrl.h>

namespace {

const std::wstring kProgram = WidenUtf8(DosPath(KELVARIN_EXE));

std::string TextOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 5000,
                        &copied);
    return NarrowUtf16(std::wstring(buffer, copied));
}

// A real click on the control's middle, or with `key` a real key press. The
// click carries its position: a pointer moved apart may land after it.
void Press(HWND control, WORD key = 0) {
    RECT r;
    GetWindowRect(control, &r);
    SetForegroundWindow(GetAncestor(control, GA_ROOT));
    const DWORD x = (r.left + r.right) / 2 * 65536 / GetSystemMetrics(SM_CXSCREEN),
                y = (r.top + r.bottom) / 2 * 65536 / GetSystemMetrics(SM_CYSCREEN);
    if (key) {
        keybd_event(static_cast<BYTE>(key), 0, 0, 0);
        keybd_event(static_cast<BYTE>(key), 0, KEYEVENTF_KEYUP, 0);
    } else {
        mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTDOWN, x, y, 0, 0);
        mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTUP, x, y, 0, 0);
    }
}

constexpr int kCombo = 1000, kOpen = 1004, kClose = 1005, kList = 1006, kUpload = 1007,
              kLength = 1008, kRange = 1009, kExport = 1010;

class KelvarinExe : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring command = L"\"" + kProgram + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &m_process));
        CloseHandle(m_process.hThread);
        ASSERT_TRUE(WaitFor([&] {
            m_main = FindWindowW(nullptr, L"Kelvarin");
            return m_main && IsWindowVisible(m_main);
        })) << "the main window never appeared";
    }
    void TearDown() override {
        TerminateProcess(m_process.hProcess, 1);  // refused once it has ended
        WaitForSingleObject(m_process.hProcess, 5000);
        CloseHandle(m_process.hProcess);
    }

    HWND Item(int id) const { return GetDlgItem(m_main, id); }
    // Which of the port list, Port Open, Port Close, Upload and Export take
    // clicks, as "1" and "0".
    std::string Enabled() const {
        std::string out;
        for (int id : {kCombo, kOpen, kClose, kUpload, kExport})
            out += IsWindowEnabled(Item(id)) ? '1' : '0';
        return out;
    }
    void OpenAndUpload() {
        SendMessageW(Item(kCombo), CB_SETCURSEL, 0, 0);
        Press(Item(kOpen));
        ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(kUpload)); })) << "COM1 not opened";
        Press(Item(kUpload));
    }
    void ExpectEndsOn(WORD key) {
        Press(m_main, key);
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

TEST_F(KelvarinExe, UploadThenExportThroughTheWindowThenEscapeEnds) {
    EXPECT_EQ(Enabled(), "11000");
    EXPECT_EQ(SendMessageW(Item(kCombo), CB_GETCOUNT, 0, 0), 12);
    // Client pixels worked out by hand from the template's dialog units for
    // the dialog font's base units here, 7 x 14: x * 7 / 4 and y * 14 / 8,
    // each rounded, position and size apart as the dialog manager does.
    RECT area;
    GetClientRect(m_main, &area);
    EXPECT_EQ(std::make_pair(area.right, area.bottom), std::make_pair(499L, 396L));
    const LONG frame =
        WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
    EXPECT_EQ(GetWindowLongW(m_main, GWL_STYLE) & frame, WS_POPUP | WS_CAPTION | WS_SYSMENU);
    const LONG edit = WS_VISIBLE | ES_READONLY | ES_CENTER | ES_AUTOHSCROLL;
    const struct {
        int id, x, y, width, height;  // height -1: a drop-down list's own
        LONG style;                   // style bits that must be set
    } layout[] = {{IDOK, 399, 329, 88, 25, WS_TABSTOP},
                  {kCombo, 70, 14, 65, -1, WS_VISIBLE | CBS_DROPDOWNLIST},
                  {kOpen, 149, 12, 88, 25, WS_VISIBLE | WS_TABSTOP},
                  {kClose, 250, 12, 88, 25, WS_VISIBLE},
                  {kList, 12, 88, 371, 296, WS_VISIBLE | LVS_REPORT},
                  {kUpload, 397, 95, 88, 25, WS_VISIBLE},
                  {kLength, 93, 60, 49, 23, edit},
                  {kRange, 238, 61, 58, 23, edit},
                  {kExport, 397, 135, 88, 25, WS_VISIBLE}};
    for (const auto& e : layout) {
        RECT r;
        GetWindowRect(Item(e.id), &r);
        MapWindowPoints(nullptr, m_main, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right - r.left,
                                     e.height < 0 ? -1 : r.bottom - r.top}),
                  (std::vector<LONG>{e.x, e.y, e.width, e.height}))
            << e.id;
        EXPECT_EQ(GetWindowLongW(Item(e.id), GWL_STYLE) & e.style, e.style) << e.id;
    }

    // Port 1 is the tool: its first three records.
    OpenAndUpload();
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(kExport)); }, 30)) << "upload unended";
    EXPECT_EQ(Enabled(), "00101");
    TableList shown;  // with the headers the list must show
    shown.rows = {{"1", "12.340000", "N.m", "passed"},
                  {"2", "12.510000", "N.m", "passed"},
                  {"3", "125.800003", "kgf.cm", "passed"}};
    EXPECT_EQ(SendMessageW(Item(kList), LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(TextOf(Item(kLength)) + " " + TextOf(Item(kRange)), "3 20");

    // The program's export, read from its list, call for call as this
    // process makes it from those texts. How each call reaches the server
    // is the client's own suite's concern.
    ASSERT_TRUE(m_recorder.Register(true));
    Press(Item(kExport));
    ASSERT_TRUE(WaitFor([&] {
        const std::vector<std::string> lines = m_recorder.Lines();
        return !lines.empty() && lines.back() == "release #1";
    })) << "no export";
    const std::vector<std::string> program = m_recorder.Lines();
    InitAutomationRuntime();
    ComClient client;
    ExportToExcel(client, shown, [](const std::string&, const std::string&, unsigned) {});
    const std::vector<std::string> both = m_recorder.Lines();
    ASSERT_EQ(both.size(), 2 * program.size());
    EXPECT_EQ(program, std::vector<std::string>(both.begin() + program.size(), both.end()));

    // Escape ends the program with the port still open.
    ExpectEndsOn(VK_ESCAPE);
}

// The tool stalls after the data length (a record it never resends): Port
// Close mid-upload, then the port opens again and takes a new upload.
// Escape then must still end it, though the focused Upload went disabled.
TEST_F(KelvarinExe, PortCloseMidUploadThenUploadAgain) {
    OpenAndUpload();
    ASSERT_TRUE(WaitFor([&] { return TextOf(Item(kLength)) == "3"; })) << "no data length";
    EXPECT_EQ(Enabled(), "00100");
    Press(Item(kClose));
    ASSERT_TRUE(WaitFor([&] { return Enabled() == "11000"; })) << Enabled();
    EXPECT_EQ(SendMessageW(Item(kList), LVM_GETITEMCOUNT, 0, 0), 0);
    SetWindowTextW(Item(kLength), L"");  // to tell the next upload's apart
    OpenAndUpload();
    EXPECT_TRUE(WaitFor([&] { return TextOf(Item(kLength)) == "3"; })) << "no second upload";
    ExpectEndsOn(VK_ESCAPE);
}

TEST_F(KelvarinExe, EnterOnThePortListEndsTheProgram) {
    // The focus starts on the port list; the hidden OK is the default button.
    ExpectEndsOn(VK_RETURN);
}

// The executable's resources, read as data: a wrong code page or a lost
// manifest shows here rather than as garbled menus on a user's machine.
TEST(KelvarinResources, ChineseStringsIconSizesManifestAndVersion) {
    HMODULE module = LoadLibraryExW(kProgram.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(module);
    const WORD chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    auto resource = [&](int type, int name, WORD language) {
        HRSRC found =
            FindResourceExW(module, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(name), language);
        const char* data =
            found ? static_cast<const char*>(LockResource(LoadResource(module, found))) : "";
        return std::string(data, found ? SizeofResource(module, found) : 0);
    };
    // String 101 lives in block 7 (101 / 16 + 1) of the string table.
    EXPECT_FALSE(resource(6 /* strings */, 101 / 16 + 1, chinese).empty());
    wchar_t text[128] = {};
    LoadStringW(module, 101, text, 128);
    EXPECT_EQ(NarrowUtf16(text), "关于 Kelvarin(&A)...");
    // GRPICONDIR: reserved, type, count; then 14-byte entries whose first
    // byte is the width (0 meaning 256): 16 first, 256 last.
    const std::string group = resource(14 /* icon group */, 128, chinese);
    ASSERT_GE(group.size(), 6u) << "no icon group 128";
    const auto count = static_cast<unsigned char>(group[4]);
    ASSERT_EQ(group.size(), 6u + 14u * count);
    EXPECT_EQ(group[6] + 256 * group[6 + 14 * (count - 1)], 16) << "16 to 256 pixels";
    // Language-neutral, so that every loader finds it.
    const std::string manifest = resource(24 /* manifest */, 1, LANG_NEUTRAL);
    for (const char* part : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"",
                             "level=\"asInvoker\"", ">true</dpiAware>"})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    EXPECT_FALSE(resource(16 /* version */, VS_VERSION_INFO, chinese).empty()) << "no version";
    FreeLibrary(module);
}

}  // namespace
