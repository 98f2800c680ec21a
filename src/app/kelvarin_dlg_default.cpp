#include "app/kelvarin_dlg.h"
#include "export/export_to_excel.h"

// Apart, so that tests with their own platform and client link without the
// program's backends.
CKelvarinDlg::CKelvarinDlg() : CKelvarinDlg(DefaultCommPlatform(), DefaultAutomationClient()) {}
