#include "app/app_resources.h"

#include "app/resource.h"

namespace {

constexpr const char kFont[] = "MS Shell Dlg";
constexpr std::uint32_t kEditStyle =
    kVisible | kReadOnly | kCentered | kAutoHScroll | kBorder | kTabStop;

// In template order, which is also the tab order.
constexpr ControlTemplate kMainControls[] = {
    {IDOK, ControlKind::PushButton, "确定", 228, 188, 50, 14, kDefault | kTabStop},
    {IDCANCEL, ControlKind::PushButton, "取消", 228, 205, 50, 14, kTabStop},
    {IDC_STATIC, ControlKind::Static, "Com No", 7, 10, 26, 8, kVisible | kLeft},
    {IDC_COMBO_PORT, ControlKind::DropList, "", 40, 8, 37, 30, kVisible | kVScroll | kTabStop},
    {IDC_BUTTON_OPEN, ControlKind::PushButton, "Port Open", 85, 7, 50, 14, kVisible | kTabStop},
    {IDC_BUTTON_CLOSE, ControlKind::PushButton, "Port Close", 143, 7, 50, 14, kVisible | kTabStop},
    {IDC_LIST_DATA, ControlKind::ListView, "", 7, 50, 212, 169,
     kVisible | kReport | kBorder | kTabStop},
    {IDC_BUTTON_UPLOAD, ControlKind::PushButton, "Upload", 227, 54, 50, 14, kVisible | kTabStop},
    {IDC_STATIC, ControlKind::Static, "Data Length:", 7, 35, 42, 8, kVisible | kLeft},
    {IDC_EDIT_LENGTH, ControlKind::Edit, "", 53, 34, 28, 13, kEditStyle},
    {IDC_STATIC, ControlKind::Static, "Full Range:", 97, 36, 35, 8, kVisible | kLeft},
    {IDC_EDIT_RANGE, ControlKind::Edit, "", 136, 35, 33, 13, kEditStyle},
    {IDC_BUTTON_EXPORT, ControlKind::PushButton, "Export", 227, 77, 50, 14, kVisible | kTabStop},
};

constexpr ControlTemplate kAboutControls[] = {
    {IDC_STATIC, ControlKind::Icon, "", 14, 14, 21, 20, kVisible, IDR_MAINFRAME},
    {IDC_STATIC, ControlKind::Static, "Kelvarin，1.0 版", 42, 14, 114, 8,
     kVisible | kLeft | kNoPrefix},
    {IDOK, ControlKind::PushButton, "确定", 113, 41, 50, 14, kVisible | kDefault | kTabStop},
};

#define STRING_ENTRY(id, text) {id, text},
constexpr StringResource kStrings[] = {KELVARIN_STRING_TABLE(STRING_ENTRY)};

}  // namespace

const DialogTemplate kMainDialogTemplate = {
    IDD_MAIN_DIALOG, "Kelvarin", kFont, 9, 285, 226, kCaption | kSysMenu | kModalFrame | kAppWindow,
    kMainControls,
};

const DialogTemplate kAboutDialogTemplate = {
    IDD_ABOUTBOX,   "关于 Kelvarin", kFont, 9, 170, 62, kCaption | kSysMenu | kModalFrame,
    kAboutControls,
};

void RegisterAppResources() {
    AfxSetStringTable(kStrings);
}
