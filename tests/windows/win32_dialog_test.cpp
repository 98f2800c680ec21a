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
        RECT origin{x, y, 0, 0};
        RECT size{0, 0, cx, cy};
        MapDialogRect(hwnd, &origin);
        MapDialogRect(hwnd, &size);
        return {origin.left, origin.top, origin.left + size.right, origin.top + size.bottom};
    }
    RECT ClientRectOf(HWND control) const {
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    Win32Backend backend;
    QuietSink sink;
    std::unique_ptr<WindowPeer> window;
    HWND hwnd = nullptr;
};

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

LONG StyleOf(HWND hwnd) {
    return GetWindowLongW(hwnd, GWL_STYLE);
}

}  // namespace

TEST(Win32Dialog, MainWindowIsAFixedPopupWithCaptionSystemMenuAndTaskBarButton) {
    Dialog d(kMainDialogTemplate);
    ASSERT_TRUE(d.hwnd);
    const LONG style = StyleOf(d.hwnd);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    const LONG ex = GetWindowLongW(d.hwnd, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_APPWINDOW);
    EXPECT_TRUE(ex & WS_EX_DLGMODALFRAME);
    wchar_t caption[64] = {};
    GetWindowTextW(d.hwnd, caption, 64);
    EXPECT_STREQ(caption, L"Kelvarin");

    RECT client;
    GetClientRect(d.hwnd, &client);
    const RECT want = d.Units(0, 0, 285, 226);
    EXPECT_EQ(client.right, want.right);
    EXPECT_EQ(client.bottom, want.bottom);
    EXPECT_TRUE(d.window->HasSystemMenu());
}

TEST(Win32Dialog, EveryControlSitsWhereTheTemplateSaysWithItsKindAndStyle) {
    Dialog d(kMainDialogTemplate);
    ASSERT_TRUE(d.hwnd);
    for (const ControlTemplate& c : kMainDialogTemplate.controls) {
        if (c.id == IDC_STATIC) continue;
        HWND control = GetDlgItem(d.hwnd, c.id);
        ASSERT_TRUE(control) << "control " << c.id;
        const RECT want = d.Units(c.x, c.y, c.cx, c.cy);
        const RECT got = d.ClientRectOf(control);
        EXPECT_EQ(got.left, want.left) << "control " << c.id;
        EXPECT_EQ(got.top, want.top) << "control " << c.id;
        EXPECT_EQ(got.right, want.right) << "control " << c.id;
        // A drop-down list's height in the template includes its list.
        if (c.kind != ControlKind::DropList) {
            EXPECT_EQ(got.bottom, want.bottom) << "control " << c.id;
        }
        EXPECT_EQ((StyleOf(control) & WS_VISIBLE) != 0, (c.style & kVisible) != 0) << c.id;
        EXPECT_EQ((StyleOf(control) & WS_TABSTOP) != 0, (c.style & kTabStop) != 0) << c.id;
    }
    EXPECT_EQ(ClassOf(GetDlgItem(d.hwnd, IDC_COMBO_PORT)), L"ComboBox");
    EXPECT_EQ(StyleOf(GetDlgItem(d.hwnd, IDC_COMBO_PORT)) & 3, CBS_DROPDOWNLIST);
    EXPECT_EQ(ClassOf(GetDlgItem(d.hwnd, IDC_LIST_DATA)), std::wstring(WC_LISTVIEWW));

    const LONG list = StyleOf(GetDlgItem(d.hwnd, IDC_LIST_DATA));
    EXPECT_EQ(list & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_FALSE(list & (LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_EDITLABELS));
    for (int id : {IDC_EDIT_LENGTH, IDC_EDIT_RANGE}) {
        const LONG edit = StyleOf(GetDlgItem(d.hwnd, id));
        EXPECT_TRUE(edit & ES_READONLY) << id;
        EXPECT_TRUE(edit & ES_CENTER) << id;
        EXPECT_TRUE(edit & ES_AUTOHSCROLL) << id;
    }
    // The hidden OK is the default button: Enter ends the dialog.
    const LRESULT def = SendMessageW(d.hwnd, DM_GETDEFID, 0, 0);
    EXPECT_EQ(HIWORD(def), DC_HASDEFID);
    EXPECT_EQ(LOWORD(def), IDOK);
}

TEST(Win32Dialog, AboutBoxTextIsShownWithoutMnemonicProcessing) {
    Dialog d(kAboutDialogTemplate);
    ASSERT_TRUE(d.hwnd);
    wchar_t caption[64] = {};
    GetWindowTextW(d.hwnd, caption, 64);
    EXPECT_STREQ(caption, L"关于 Kelvarin");
    bool found = false;
    for (HWND child = GetWindow(d.hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[64] = {};
        GetWindowTextW(child, text, 64);
        if (std::wstring(text) == L"Kelvarin，1.0 版") {
            found = true;
            EXPECT_TRUE(StyleOf(child) & SS_NOPREFIX);
        }
    }
    EXPECT_TRUE(found);
    EXPECT_FALSE(GetWindowLongW(d.hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

TEST(Win32Controls, ListViewCarriesColumnsRowsAndLongTextsWhole) {
    Dialog d(kMainDialogTemplate);
    ControlPeer* list = d.window->GetControl(IDC_LIST_DATA);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->InsertColumn(0, "ID", LVCFMT_CENTER, 90), 0);
    EXPECT_EQ(list->InsertColumn(1, "单位", LVCFMT_CENTER, 100), 1);
    EXPECT_EQ(list->GetColumnCount(), 2);
    EXPECT_EQ(list->GetColumnText(1), "单位");
    EXPECT_EQ(list->GetColumnWidth(0), 90);
    EXPECT_EQ(list->GetColumnFormat(1), LVCFMT_CENTER);
    list->SetExtendedStyle(list->GetExtendedStyle() | LVS_EX_GRIDLINES);
    EXPECT_TRUE(list->GetExtendedStyle() & LVS_EX_GRIDLINES);

    // Longer than any first guess of a buffer: nothing may be cut.
    const std::string longText(1000, 'x');
    EXPECT_EQ(list->InsertItem(0, "1"), 0);
    EXPECT_EQ(list->InsertItem(5, "2"), 1);  // past the end appends
    EXPECT_TRUE(list->SetItemText(1, 1, longText));
    EXPECT_EQ(list->GetItemCount(), 2);
    EXPECT_EQ(list->GetItemText(1, 0), "2");
    EXPECT_EQ(list->GetItemText(1, 1), longText);
    EXPECT_EQ(list->GetItemText(0, 1), "");
    EXPECT_TRUE(list->DeleteAllItems());
    EXPECT_EQ(list->GetItemCount(), 0);
    EXPECT_EQ(list->GetColumnCount(), 2);
}

TEST(Win32Controls, DropListKeepsItemsInOrderAndEditsTakeChinese) {
    Dialog d(kMainDialogTemplate);
    ControlPeer* ports = d.window->GetControl(IDC_COMBO_PORT);
    ASSERT_TRUE(ports);
    for (const char* item : {"2", "10", "1"}) ports->AddString(item);
    EXPECT_EQ(ports->GetCount(), 3);
    EXPECT_EQ(ports->GetLBText(1), "10");  // not sorted
    EXPECT_EQ(ports->GetCurSel(), -1);
    ports->SetCurSel(2);
    EXPECT_EQ(ports->GetCurSel(), 2);

    ControlPeer* edit = d.window->GetControl(IDC_EDIT_RANGE);
    ASSERT_TRUE(edit);
    edit->SetText("0.5 牛·米");
    EXPECT_EQ(edit->GetText(), "0.5 牛·米");
    edit->Enable(false);
    EXPECT_FALSE(edit->IsEnabled());
    EXPECT_EQ(d.window->GetControl(4242), nullptr);
}

TEST(Win32Dialog, SystemMenuTakesASeparatorAndTheAboutItemAtItsEnd) {
    Dialog d(kMainDialogTemplate);
    ASSERT_TRUE(d.window->AppendSystemMenu(MF_SEPARATOR, 0, ""));
    ASSERT_TRUE(d.window->AppendSystemMenu(MF_STRING, 16, "关于 Kelvarin(&A)..."));
    HMENU menu = GetSystemMenu(d.hwnd, FALSE);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), 16u);
    wchar_t text[64] = {};
    GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"关于 Kelvarin(&A)...");
    EXPECT_TRUE(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
}

TEST(Win32Dialog, IconGoesToTheCaptionAndTheTaskBar) {
    Dialog d(kMainDialogTemplate);
    HICON icon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    ASSERT_TRUE(icon);
    d.window->SetIcon(icon, true);
    d.window->SetIcon(icon, false);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(d.hwnd, WM_GETICON, ICON_BIG, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(d.hwnd, WM_GETICON, ICON_SMALL, 0)), icon);
}
