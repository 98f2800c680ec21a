#pragma once

// Resource and control identifiers of the program.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128
#define IDM_ABOUTBOX 0x0010
#define IDC_COMBO_PORT 1000
#define IDC_BUTTON_OPEN 1004
#define IDC_BUTTON_CLOSE 1005
#define IDC_LIST_DATA 1006
#define IDC_BUTTON_UPLOAD 1007
#define IDC_EDIT_LENGTH 1008
#define IDC_EDIT_RANGE 1009
#define IDC_BUTTON_EXPORT 1010
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The string table, once: kelvarin.rc builds the Windows resource from it
// and app_resources.cpp the table every backend reads. Texts are UTF-8.
#define KELVARIN_STRING_TABLE(ENTRY) ENTRY(IDS_ABOUTBOX, "关于 Kelvarin(&A)...")
