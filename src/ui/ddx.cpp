#include "ui/ddx.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "winapi/field_text.h"

namespace {

// Both directions go through the same texts the console uploader prints.
bool ParseUnsigned(const std::string& text, UINT& value) {
    if (text.empty() || text.find_first_not_of("0123456789 ") != std::string::npos) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || v > 0xFFFFFFFFull) return false;
    value = static_cast<UINT>(v);
    return true;
}

bool ParseFloat(const std::string& text, float& value) {
    errno = 0;
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || !std::isfinite(v)) return false;
    while (*end == ' ') ++end;
    if (*end != '\0') return false;
    value = v;
    return true;
}

}  // namespace

void DDX_Text(CDataExchange* pDX, int id, UINT& value) {
    CWnd* field = pDX->m_pDlgWnd->GetDlgItem(id);
    if (field == nullptr) return pDX->Fail();
    if (!pDX->m_bSaveAndValidate) {
        field->SetWindowText(UnsignedFieldText(value));
    } else if (!ParseUnsigned(field->GetWindowText(), value)) {
        pDX->Fail();
    }
}

void DDX_Text(CDataExchange* pDX, int id, float& value) {
    CWnd* field = pDX->m_pDlgWnd->GetDlgItem(id);
    if (field == nullptr) return pDX->Fail();
    if (!pDX->m_bSaveAndValidate) {
        field->SetWindowText(FloatFieldText(value));
    } else if (!ParseFloat(field->GetWindowText(), value)) {
        pDX->Fail();
    }
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (!control.IsBound()) pDX->m_pDlgWnd->BindControl(control, id);
}
