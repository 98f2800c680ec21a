#include "ui/win32/dialog_builder.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstring>
#include <string>

#include "winapi/win32_text.h"

namespace {

// Appends WORDs, strings and DWORDs in the packing DLGTEMPLATEEX uses.
class TemplateWriter {
public:
    void Word(std::uint16_t w) { Bytes(&w, sizeof w); }
    void Dword(std::uint32_t d) { Bytes(&d, sizeof d); }
    void Short(std::int16_t s) { Bytes(&s, sizeof s); }
    void Byte(std::uint8_t b) { Bytes(&b, 1); }
    void Text(const std::wstring& text) {
        for (wchar_t c : text) Word(static_cast<std::uint16_t>(c));
        Word(0);
    }
    void Ordinal(std::uint16_t id) {
        Word(0xFFFF);
        Word(id);
    }
    void AlignDword() {
        while (m_bytes.size() % 4 != 0) m_bytes.push_back(0);
    }
    std::vector<std::uint32_t> Take() {
        AlignDword();
        std::vector<std::uint32_t> out(m_bytes.size() / 4);
        std::memcpy(out.data(), m_bytes.data(), m_bytes.size());
        return out;
    }

private:
    void Bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        m_bytes.insert(m_bytes.end(), b, b + n);
    }
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace

std::uint32_t DialogWindowStyle(std::uint32_t style) {
    // DS_SHELLFONT: "MS Shell Dlg" maps to the system's shell font.
    std::uint32_t ws = WS_POPUP | DS_SHELLFONT;
    if (style & kCaption) ws |= WS_CAPTION;
    if (style & kSysMenu) ws |= WS_SYSMENU;
    if (style & kModalFrame) ws |= DS_MODALFRAME;
    if (style & kMinimizeBox) ws |= WS_MINIMIZEBOX;
    if (style & kMaximizeBox) ws |= WS_MAXIMIZEBOX;
    return ws;
}

std::uint32_t DialogExtendedStyle(std::uint32_t style) {
    return (style & kAppWindow) ? WS_EX_APPWINDOW : 0;
}

std::uint32_t ControlWindowStyle(const ControlTemplate& c) {
    std::uint32_t ws = WS_CHILD;
    if (c.style & kVisible) ws |= WS_VISIBLE;
    if (c.style & kTabStop) ws |= WS_TABSTOP;
    if (c.style & kBorder) ws |= WS_BORDER;
    if (c.style & kVScroll) ws |= WS_VSCROLL;
    switch (c.kind) {
        case ControlKind::PushButton:
            ws |= (c.style & kDefault) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            break;
        case ControlKind::Static:
            // One line, cut at its end when too long, never reduced to the
            // words that fit on a first line.
            ws |= WS_GROUP | SS_LEFTNOWORDWRAP;
            if (c.style & kNoPrefix) ws |= SS_NOPREFIX;
            break;
        case ControlKind::Icon:
            ws |= SS_ICON;
            break;
        case ControlKind::DropList:
            ws |= CBS_DROPDOWNLIST;
            break;
        case ControlKind::Edit:
            if (c.style & kReadOnly) ws |= ES_READONLY;
            if (c.style & kCentered) ws |= ES_CENTER;
            if (c.style & kAutoHScroll) ws |= ES_AUTOHSCROLL;
            break;
        case ControlKind::ListView:
            if (c.style & kReport) ws |= LVS_REPORT;
            if (c.style & kSingleSelect) ws |= LVS_SINGLESEL;
            if (c.style & kShowSelAlways) ws |= LVS_SHOWSELALWAYS;
            if (c.style & kEditLabels) ws |= LVS_EDITLABELS;
            break;
    }
    return ws;
}

const wchar_t* ControlClassName(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
            return L"Button";
        case ControlKind::Static:
        case ControlKind::Icon:
            return L"Static";
        case ControlKind::DropList:
            return L"ComboBox";
        case ControlKind::Edit:
            return L"Edit";
        case ControlKind::ListView:
            return WC_LISTVIEWW;
    }
    return L"Static";
}

std::vector<std::uint32_t> BuildDialogTemplate(const DialogTemplate& tmpl) {
    TemplateWriter w;
    w.Word(1);       // dlgVer
    w.Word(0xFFFF);  // signature: extended template
    w.Dword(0);      // helpID
    w.Dword(DialogExtendedStyle(tmpl.style));
    w.Dword(DialogWindowStyle(tmpl.style));
    w.Word(static_cast<std::uint16_t>(tmpl.controls.size()));
    w.Short(0);
    w.Short(0);
    w.Short(static_cast<std::int16_t>(tmpl.cx));
    w.Short(static_cast<std::int16_t>(tmpl.cy));
    w.Word(0);  // no menu
    w.Word(0);  // the standard dialog class
    w.Text(WidenUtf8(tmpl.caption ? tmpl.caption : ""));
    w.Word(static_cast<std::uint16_t>(tmpl.pointSize));
    w.Word(FW_NORMAL);
    w.Byte(FALSE);  // italic
    w.Byte(DEFAULT_CHARSET);
    w.Text(WidenUtf8(tmpl.fontName ? tmpl.fontName : "MS Shell Dlg"));

    for (const ControlTemplate& c : tmpl.controls) {
        w.AlignDword();
        w.Dword(0);  // helpID
        w.Dword(0);  // exStyle
        w.Dword(ControlWindowStyle(c));
        w.Short(static_cast<std::int16_t>(c.x));
        w.Short(static_cast<std::int16_t>(c.y));
        w.Short(static_cast<std::int16_t>(c.cx));
        w.Short(static_cast<std::int16_t>(c.cy));
        w.Dword(static_cast<std::uint32_t>(c.id));
        w.Text(ControlClassName(c.kind));
        if (c.kind == ControlKind::Icon)
            w.Ordinal(static_cast<std::uint16_t>(c.resource));
        else
            w.Text(WidenUtf8(c.text ? c.text : ""));
        w.Word(0);  // no creation data
    }
    return w.Take();
}
