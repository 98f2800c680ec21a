#pragma once

#include "ui/app.h"
#include "ui/dialog_template.h"

// The program's resources: dialog templates in dialog units (shared by every
// backend), the string table and the texts the window shows itself.

extern const DialogTemplate kMainDialogTemplate;
extern const DialogTemplate kAboutDialogTemplate;

// Makes the string table the one CString::LoadString reads.
void RegisterAppResources();

// The box of a port that cannot be opened.
inline constexpr const char kOpenFailedText[] =
    "打开端口失败,\n请确认端口是否选择正确或端口已经打开!";
inline constexpr const char kOpenFailedCaption[] = "提示";
// The framework's set-up stores this key; the program keeps no settings.
inline constexpr const char kRegistryKey[] = "应用程序向导生成的本地应用程序";
