// The Win32 dialog backend on real windows under Wine: the shared templates
// become the windows and controls they describe, and the control wrappers
// carry texts (Chinese, long ones) through the native controls unharmed.
#include <gtest/gtest.h>

#include <string>

#include "app/app_resources.h"
#include "app/resource.h"

// Last: the framework's names above are macros in the Windows headers.
#include "ui/win32/win32_backend.h"
// After windows.h, which it needs.
#include <commctrl.h>

namespace {

struct QuietSink : WindowSink {
    LRESULT WindowProc(UINT message, WPARAM, LPARAM) override {
        return message == WM_INITDIALOG ? TRUE : 0;
    }
};

struct Dialog {
    explicit Dialog(const DialogTemplate& tmpl) : window(backend.NewWindow(tmpl, sink, nullptr)) {
        window->Create();
        hwnd = reinterpret_cast<HWND>(window->OwnerHandle());
    }
    // Position and size are converted apart, as the dialog manager does.
    RECT Units(int x, int y, int cx, int cy) const {
        RECT origin{x, y, 0, 0}, size{0, 0, cx, cy};
        MapDialogRect(hwnd, &origin);
        MapDialogRect(hwnd, &size);
        return {origin.left, origin.top, origin.left + size.right, origin.top + size.bottom};
    }
    LONG Style(int id) const { return GetWindowLongW(GetDlgItem(hwnd, id), GWL_STYLE); }

    Win32Backend backend;
    QuietSink sink;
    std::unique_ptr<WindowPeer> window;
    HWND hwnd = nullptr;
};

std::wstring TextOf(HWND hwnd) {
    wchar_t text[64] = {};
    GetWindowTextW(hwnd, text, 64);
    return text;
}

}  // namespace

TEST(Win32Dialog, MainTemplateBecomesAFixedPopupWithItsControlsInPlace) {
    Dialog d(kMainDialogTemplate);
    ASSERT_TRUE(d.hwnd);
    const LONG style = GetWindowLongW(d.hwnd, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                       WS_THICKFRAME),
              WS_POPUP | WS_CAPTION | WS_SYSMENU);
    const LONG ex = GetWindowLongW(d.hwnd, GWL_EXSTYLE);
    EXPECT_EQ(ex & (WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME), WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME);
    EXPECT_EQ(TextOf(d.hwnd), L"Kelvarin");
    EXPECT_TRUE(d.window->HasSystemMenu());
    RECT client;
    GetClientRect(d.hwnd, &client);
    const RECT want = d.Units(0, 0, 285, 226);
    EXPECT_EQ(client.right, want.right);
    EXPECT_EQ(client.bottom, want.bottom);

    for (const ControlTemplate& c : kMainDialogTemplate.controls) {
        if (c.id == IDC_STATIC) continue;
        HWND control = GetDlgItem(d.hwnd, c.id);
        ASSERT_TRUE(control) << "control " << c.id;
        RECT got;
        GetWindowRect(control, &got);
        MapWindowPoints(nullptr, d.hwnd, reinterpret_cast<POINT*>(&got), 2);
        RECT wanted = d.Units(c.x, c.y, c.cx, c.cy);
        // A drop-down list's height in the template includes its list.
        if (c.kind == ControlKind::DropList) wanted.bottom = got.bottom;
        EXPECT_TRUE(EqualRect(&got, &wanted)) << "control " << c.id;
        EXPECT_EQ((d.Style(c.id) & WS_VISIBLE) != 0, (c.style & kVisible) != 0) << c.id;
        EXPECT_EQ((d.Style(c.id) & WS_TABSTOP) != 0, (c.style & kTabStop) != 0) << c.id;
    }
    EXPECT_EQ(d.Style(IDC_COMBO_PORT) & 3, CBS_DROPDOWNLIST);
    EXPECT_EQ(d.Style(IDC_LIST_DATA) & LVS_TYPEMASK, LVS_REPORT);
    for (int id : {IDC_EDIT_LENGTH, IDC_EDIT_RANGE}) {
        const LONG edit = ES_READONLY | ES_CENTER | ES_AUTOHSCROLL;
        EXPECT_EQ(d.Style(id) & edit, edit) << id;
    }
    // The hidden OK is the default button: Enter ends the dialog.
    EXPECT_EQ(SendMessageW(d.hwnd, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
}

TEST(Win32Dialog, AboutBoxTextIsShownWithoutMnemonicProcessing) {
    Dialog d(kAboutDialogTemplate);
    ASSERT_TRUE(d.hwnd);
    EXPECT_EQ(TextOf(d.hwnd), L"关于 Kelvarin");
    bool found = false;
    for (HWND child = GetWindow(d.hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (TextOf(child) != L"Kelvarin，1.0 版") continue;
        found = true;
        EXPECT_TRUE(GetWindowLongW(child, GWL_STYLE) & SS_NOPREFIX);
    }
    EXPECT_TRUE(found);
    EXPECT_FALSE(GetWindowLongW(d.hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

TEST(Win32Dialog, WrappersCarryTextsWholeAndSetTheMenuAndIcons) {
    Dialog d(kMainDialogTemplate);
    ControlPeer* list = d.window->GetControl(IDC_LIST_DATA);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->InsertColumn(0, "ID", LVCFMT_CENTER, 90), 0);
    EXPECT_EQ(list->InsertColumn(1, "单位", LVCFMT_CENTER, 100), 1);
    EXPECT_EQ(list->GetColumnText(1), "单位");
    EXPECT_EQ(list->GetColumnWidth(0), 90);
    EXPECT_EQ(list->GetColumnFormat(1), LVCFMT_CENTER);
    // Longer than any first guess of a buffer: nothing may be cut.
    const std::string longText(1000, 'x');
    EXPECT_EQ(list->InsertItem(0, "1"), 0);
    EXPECT_EQ(list->InsertItem(5, "2"), 1);  // past the end appends
    EXPECT_TRUE(list->SetItemText(1, 1, longText));
    EXPECT_EQ(list->GetItemText(1, 1), longText);
    EXPECT_EQ(list->GetItemText(0, 1), "");
    EXPECT_TRUE(list->DeleteAllItems());
    EXPECT_EQ(list->GetItemCount(), 0);
    EXPECT_EQ(list->GetColumnCount(), 2);

    ControlPeer* ports = d.window->GetControl(IDC_COMBO_PORT);
    for (const char* item : {"2", "10", "1"}) ports->AddString(item);
    EXPECT_EQ(ports->GetLBText(1), "10");  // not sorted
    ports->SetCurSel(2);
    EXPECT_EQ(ports->GetCurSel(), 2);
    ControlPeer* edit = d.window->GetControl(IDC_EDIT_RANGE);
    edit->SetText("0.5 牛·米");
    EXPECT_EQ(edit->GetText(), "0.5 牛·米");
    EXPECT_EQ(d.window->GetControl(4242), nullptr);

    ASSERT_TRUE(d.window->AppendSystemMenu(MF_SEPARATOR, 0, ""));
    ASSERT_TRUE(d.window->AppendSystemMenu(MF_STRING, 16, "关于 Kelvarin(&A)..."));
    HMENU menu = GetSystemMenu(d.hwnd, FALSE);
    const int last = GetMenuItemCount(menu) - 1;
    EXPECT_EQ(GetMenuItemID(menu, last), 16u);
    wchar_t text[64] = {};
    GetMenuStringW(menu, last, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"关于 Kelvarin(&A)...");
    EXPECT_TRUE(GetMenuState(menu, last - 1, MF_BYPOSITION) & MF_SEPARATOR);

    HICON icon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    d.window->SetIcon(icon, true);
    d.window->SetIcon(icon, false);
    for (WPARAM size : {ICON_BIG, ICON_SMALL})
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(d.hwnd, WM_GETICON, size, 0)), icon);
}
