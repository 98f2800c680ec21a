#pragma once

// The window-system vocabulary the dialog framework speaks, with the values
// of the platform it was designed on, so that message maps, styles and box
// types read the same on every backend. A Win32 backend includes <windows.h>
// before this header; every name below then keeps the platform's definition.
// Win32's function-name macros (MessageBox, LoadIcon, SendMessage, ...) must
// be #undef'd after <windows.h> wherever these headers follow it.

#include <cstdint>

using BOOL = int;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;

struct HICON__;
typedef HICON__* HICON;
typedef HICON HCURSOR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#ifndef WM_PAINT
#define WM_PAINT 0x000F
#endif
#ifndef WM_CLOSE
#define WM_CLOSE 0x0010
#endif
#ifndef WM_ICONERASEBKGND
#define WM_ICONERASEBKGND 0x0027
#endif
#ifndef WM_QUERYDRAGICON
#define WM_QUERYDRAGICON 0x0037
#endif
#ifndef WM_SETICON
#define WM_SETICON 0x0080
#endif
#ifndef WM_INITDIALOG
#define WM_INITDIALOG 0x0110
#endif
#ifndef WM_COMMAND
#define WM_COMMAND 0x0111
#endif
#ifndef WM_SYSCOMMAND
#define WM_SYSCOMMAND 0x0112
#endif
#ifndef WM_USER
#define WM_USER 0x0400
#endif

#ifndef BN_CLICKED
#define BN_CLICKED 0
#endif
#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

#ifndef SC_MOVE
#define SC_MOVE 0xF010
#endif
#ifndef SC_CLOSE
#define SC_CLOSE 0xF060
#endif
#ifndef MF_STRING
#define MF_STRING 0x00000000
#endif
#ifndef MF_SEPARATOR
#define MF_SEPARATOR 0x00000800
#endif
#ifndef ICON_SMALL
#define ICON_SMALL 0
#endif
#ifndef ICON_BIG
#define ICON_BIG 1
#endif
#ifndef SM_CXICON
#define SM_CXICON 11
#endif
#ifndef SM_CYICON
#define SM_CYICON 12
#endif

#ifndef MB_OK
#define MB_OK 0x00000000
#endif
#ifndef MB_TYPEMASK
#define MB_TYPEMASK 0x0000000F
#endif
#ifndef MB_ICONHAND
#define MB_ICONHAND 0x00000010
#endif
#ifndef MB_ICONSTOP
#define MB_ICONSTOP MB_ICONHAND
#endif
#ifndef MB_ICONQUESTION
#define MB_ICONQUESTION 0x00000020
#endif
#ifndef MB_ICONEXCLAMATION
#define MB_ICONEXCLAMATION 0x00000030
#endif
#ifndef MB_ICONASTERISK
#define MB_ICONASTERISK 0x00000040
#endif
#ifndef MB_ICONMASK
#define MB_ICONMASK 0x000000F0
#endif

#ifndef ICC_WIN95_CLASSES
#define ICC_WIN95_CLASSES 0xff
#endif
#ifndef LVS_EX_GRIDLINES
#define LVS_EX_GRIDLINES 0x1
#endif
#ifndef LVCFMT_LEFT
#define LVCFMT_LEFT 0x0
#endif
#ifndef LVCFMT_CENTER
#define LVCFMT_CENTER 0x2
#endif

constexpr UINT LoWord(WPARAM w) {
    return static_cast<UINT>(w & 0xFFFF);
}
constexpr UINT HiWord(WPARAM w) {
    return static_cast<UINT>((w >> 16) & 0xFFFF);
}
constexpr WPARAM MakeWParam(UINT low, UINT high) {
    return static_cast<WPARAM>((low & 0xFFFF) | ((high & 0xFFFF) << 16));
}
