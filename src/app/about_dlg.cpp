#include "app/about_dlg.h"

#include "app/app_resources.h"

CAboutDlg::CAboutDlg() : CDialogEx(kAboutDialogTemplate) {}
