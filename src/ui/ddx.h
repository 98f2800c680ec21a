#pragma once

#include "ui/dialog.h"

// One run of a dialog's data exchange, in one direction.
class CDataExchange {
public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    // Marks the exchange as failed: a control held a text its member cannot take.
    void Fail() { m_failed = true; }
    bool Failed() const { return m_failed; }

    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;

private:
    bool m_failed = false;
};

// Unsigned decimal both ways.
void DDX_Text(CDataExchange* pDX, int id, UINT& value);
// General notation, at most six significant digits, no trailing zeros.
void DDX_Text(CDataExchange* pDX, int id, float& value);
// Binds `control` to the window's control `id` (once per window).
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
