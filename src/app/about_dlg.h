#pragma once

#include "ui/dialog.h"

// The About box: the icon, the name and version, and OK.
class CAboutDlg : public CDialogEx {
public:
    CAboutDlg();
};
