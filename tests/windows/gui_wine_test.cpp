// kelvarin.exe end to end under Wine: the real window driven by real clicks
// and keys, COM1 leading to the simulated tool (run_with_sim.sh), Export
// going to the recording "Excel.Application" server.
#include <gtest/gtest.h>

#include "serial/win32_text.h"
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

// A visible top-level window of the process with this caption.
HWND FindWindowOf(DWORD pid, const std::wstring& caption) {
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, nullptr, caption.c_str()));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

// A real click on the control's middle, or with `key` a real key press.
void Press(HWND control, WORD key = 0) {
    RECT r;
    GetWindowRect(control, &r);
    SetForegroundWindow(GetAncestor(control, GA_ROOT));
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    if (key) {
        keybd_event(static_cast<BYTE>(key), 0, 0, 0);
        keybd_event(static_cast<BYTE>(key), 0, KEYEVENTF_KEYUP, 0);
    } else {
        mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    }
}

// What the recorder must see for an export of this list, call for call.
std::vector<std::string> ExpectedExport(const std::vector<std::string>& headings,
                                        const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::string> out = {
        "create Excel.Application", "invoke application#1 0x23C flags=2 args=0 named=",
        "invoke workbooks#2 0xB5 flags=1 args=1 named= ERROR:0x80020004",
        "invoke application#1 0x1E5 flags=2 args=0 named=",
        "invoke sheets#4 0xAA flags=2 args=1 named= I2:1"};
    int next = 6;
    int range = 0;
    auto cell = [&](char column, std::size_t row, const std::string& text) {
        const std::string name = column + std::to_string(row);
        out.push_back("invoke sheet#5 0xC5 flags=2 args=2 named= BSTR:" + name + " BSTR:" + name);
        if (range) out.push_back("release range#" + std::to_string(range));
        range = next++;
        out.push_back("invoke range#" + std::to_string(range) +
                      " 0x56C flags=4 args=1 named=-3 BSTR:" + text);
    };
    for (std::size_t c = 0; c < headings.size(); ++c) cell(char('A' + c), 1, headings[c]);
    for (std::size_t c = 0; c < headings.size(); ++c)
        for (std::size_t r = 0; r < rows.size(); ++r) cell(char('A' + c), r + 2, rows[r][c]);
    const std::string column = "column#" + std::to_string(next);
    const std::string lastRange = "range#" + std::to_string(range);
    out.push_back("invoke " + lastRange + " 0xF6 flags=2 args=0 named=");
    out.push_back("invoke " + column + " 0xED flags=1 args=0 named=");
    out.push_back("invoke application#1 0x22E flags=4 args=1 named=-3 BOOL:-1");
    out.push_back("invoke application#1 0x4BA flags=4 args=1 named=-3 BOOL:-1");
    for (const std::string& name :
         {column, lastRange, std::string("sheet#5"), std::string("sheets#4"),
          std::string("workbook#3"), std::string("workbooks#2"), std::string("application#1")})
        out.push_back("release " + name);
    return out;
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
            return (m_main = FindWindowOf(m_process.dwProcessId, L"Kelvarin"));
        })) << "the main window never appeared";
    }
    void TearDown() override {
        if (m_process.hProcess) {
            TerminateProcess(m_process.hProcess, 1);  // refused once it has ended
            CloseHandle(m_process.hProcess);
        }
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
    // Waits for the box with this caption, owned by the main window; runs
    // `look` on it, then clicks its OK and waits for it to go.
    void AnswerBox(const std::wstring& caption, const std::function<void(HWND)>& look) {
        HWND box = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (box = FindWindowOf(m_process.dwProcessId, caption)); }))
            << "no box captioned " << NarrowUtf16(caption);
        EXPECT_EQ(GetWindow(box, GW_OWNER), m_main);
        look(box);
        Press(GetDlgItem(box, IDOK));
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }));
    }
    // Client pixels worked out beforehand from the template's dialog units for
    // the base units of the dialog font here, 7 x 14: x * 7 / 4 and y * 14 / 8,
    // each rounded to the nearest, position and size apart as the dialog
    // manager converts them.
    void ExpectLayout() {
        RECT client;
        GetClientRect(m_main, &client);
        EXPECT_EQ(client.right, 499);
        EXPECT_EQ(client.bottom, 396);
        const LONG frame =
            WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
        EXPECT_EQ(GetWindowLongW(m_main, GWL_STYLE) & frame, WS_POPUP | WS_CAPTION | WS_SYSMENU);
        EXPECT_TRUE(GetWindowLongW(m_main, GWL_EXSTYLE) & WS_EX_APPWINDOW);
        EXPECT_EQ(SendMessageW(m_main, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
        struct Expected {
            int id, x, y, width, height;  // height -1: a drop-down list's own
            LONG style;                   // style bits that must be set
        };
        const LONG edit = WS_VISIBLE | ES_READONLY | ES_CENTER | ES_AUTOHSCROLL;
        for (const Expected& e : {Expected{IDOK, 399, 329, 88, 25, WS_TABSTOP},
                                  {kCombo, 70, 14, 65, -1, WS_VISIBLE | CBS_DROPDOWNLIST},
                                  {kOpen, 149, 12, 88, 25, WS_VISIBLE | WS_TABSTOP},
                                  {kClose, 250, 12, 88, 25, WS_VISIBLE},
                                  {kList, 12, 88, 371, 296, WS_VISIBLE | LVS_REPORT},
                                  {kUpload, 397, 95, 88, 25, WS_VISIBLE},
                                  {kLength, 93, 60, 49, 23, edit},
                                  {kRange, 238, 61, 58, 23, edit},
                                  {kExport, 397, 135, 88, 25, WS_VISIBLE}}) {
            RECT r;
            GetWindowRect(Item(e.id), &r);
            MapWindowPoints(nullptr, m_main, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ(r.left, e.x) << e.id;
            EXPECT_EQ(r.top, e.y) << e.id;
            EXPECT_EQ(r.right - r.left, e.width) << e.id;
            if (e.height >= 0) {
                EXPECT_EQ(r.bottom - r.top, e.height) << e.id;
            }
            EXPECT_EQ(GetWindowLongW(Item(e.id), GWL_STYLE) & e.style, e.style) << e.id;
        }
    }
    void OpenAndUpload() {
        SendMessageW(Item(kCombo), CB_SETCURSEL, 0, 0);
        Press(Item(kOpen));
        ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(kUpload)); })) << "COM1 not opened";
        EXPECT_EQ(Enabled(), "00110");
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
    // At start only the port list and "Port Open" take clicks.
    EXPECT_EQ(Enabled(), "11000");
    EXPECT_EQ(SendMessageW(Item(kCombo), CB_GETCOUNT, 0, 0), 12);
    ExpectLayout();

    // Port 1 is the tool.
    OpenAndUpload();
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(kExport)); }, 30)) << "upload unended";
    EXPECT_EQ(Enabled(), "00101");

    // The tool's first three records as the list shows them; the export
    // below reads them back from the list.
    const std::vector<std::vector<std::string>> rows = {{"1", "12.340000", "N.m", "passed"},
                                                        {"2", "12.510000", "N.m", "passed"},
                                                        {"3", "125.800003", "kgf.cm", "passed"}};
    ASSERT_EQ(SendMessageW(Item(kList), LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(TextOf(Item(kLength)), "3");
    EXPECT_EQ(TextOf(Item(kRange)), "20");
    EXPECT_TRUE(SendMessageW(Item(kList), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_GRIDLINES);

    // With the recording server registered, every call of the export.
    ASSERT_TRUE(m_recorder.Register(true));
    Press(Item(kExport));
    const std::vector<std::string> expected = ExpectedExport({"ID", "DATA", "UNIT", "PASS"}, rows);
    WaitFor([&] { return m_recorder.Lines().size() >= expected.size(); });
    ASSERT_EQ(m_recorder.Lines(), expected);

    // With no spreadsheet program: the warning, and nothing created.
    ASSERT_TRUE(m_recorder.Register(false));
    Press(Item(kExport));
    AnswerBox(L"Warning", [](HWND box) {
        EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)),  // its one static text
                  "Can not Create Excel Application!");
    });
    EXPECT_EQ(m_recorder.Lines().size(), expected.size());
    EXPECT_TRUE(IsWindowEnabled(Item(kExport)));

    // The About box from the system menu's command, over the open port.
    PostMessageW(m_main, WM_SYSCOMMAND, 16, 0);
    AnswerBox(L"关于 Kelvarin", [&](HWND about) {
        std::vector<std::string> texts;
        bool iconShown = false;
        for (HWND child = GetWindow(about, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            texts.push_back(TextOf(child));
            if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                iconShown = SendMessageW(child, STM_GETICON, 0, 0) != 0;
        }
        EXPECT_TRUE(iconShown) << "the About box shows no icon";
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Kelvarin，1.0 版"), texts.end());
        EXPECT_FALSE(IsWindowEnabled(m_main));
    });
    EXPECT_TRUE(IsWindowEnabled(m_main));

    // Escape ends the program with the port still open.
    ExpectEndsOn(VK_ESCAPE);
}

// The tool stalls after the data length (a record it never resends): Port
// Close mid-upload, then the port opens again and takes a new upload.
TEST_F(KelvarinExe, PortCloseMidUploadThenUploadAgain) {
    OpenAndUpload();
    ASSERT_TRUE(WaitFor([&] { return TextOf(Item(kLength)) == "3"; })) << "no data length";
    EXPECT_EQ(Enabled(), "00100");
    Press(Item(kClose));
    ASSERT_TRUE(WaitFor([&] { return Enabled() == "11000"; })) << Enabled();
    EXPECT_EQ(SendMessageW(Item(kList), LVM_GETITEMCOUNT, 0, 0), 0);
    OpenAndUpload();
    EXPECT_TRUE(WaitFor([&] { return Enabled() == "00100"; })) << Enabled();
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
    EXPECT_FALSE(resource(6 /* strings */, 101 / 16 + 1, chinese).empty())
        << "the string table is not in Chinese (Simplified, PRC)";
    wchar_t text[128] = {};
    LoadStringW(module, 101, text, 128);
    EXPECT_EQ(NarrowUtf16(text), "关于 Kelvarin(&A)...");

    // GRPICONDIR: reserved, type, count; then 14-byte entries whose first
    // byte is the width (0 meaning 256).
    const std::string group = resource(14 /* icon group */, 128, chinese);
    ASSERT_GE(group.size(), 6u) << "no icon group 128";
    const auto count = static_cast<unsigned char>(group[4]);
    ASSERT_EQ(group.size(), 6u + 14u * count);
    std::vector<int> widths;
    for (int i = 0; i < count; ++i) {
        const int width = static_cast<unsigned char>(group[6 + 14 * i]);
        widths.push_back(width ? width : 256);
    }
    EXPECT_EQ(*std::min_element(widths.begin(), widths.end()), 16);
    EXPECT_EQ(*std::max_element(widths.begin(), widths.end()), 256);

    // Language-neutral, so that every loader finds it.
    const std::string manifest = resource(24 /* manifest */, 1, LANG_NEUTRAL);
    for (const char* part : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"",
                             "level=\"asInvoker\"", ">true</dpiAware>"})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;

    EXPECT_FALSE(resource(16 /* version */, VS_VERSION_INFO, chinese).empty()) << "no version";
    FreeLibrary(module);
}

}  // namespace
