#pragma once

#include <cstdint>
#include <vector>

#include "ui/dialog_template.h"

// Turns a shared dialog template into the in-memory DLGTEMPLATEEX that the
// Win32 dialog manager creates windows from. The result is DWORD-aligned
// storage; pass data() to CreateDialogIndirectParamW.
std::vector<std::uint32_t> BuildDialogTemplate(const DialogTemplate& tmpl);

// The Win32 window and extended styles of the dialog and of one control.
std::uint32_t DialogWindowStyle(std::uint32_t style);
std::uint32_t DialogExtendedStyle(std::uint32_t style);
std::uint32_t ControlWindowStyle(const ControlTemplate& control);
const wchar_t* ControlClassName(ControlKind kind);
