; The Windows installer: per-machine, into Program Files, with Start menu
; shortcuts, an entry under installed programs and a silent mode (/S). A
; folder elsewhere gets Program Files' permissions before anything goes in.
; makensis -DVERSION=x.y.z -DSTAGE=<folder with the programs> -DOUTFILE=<setup.exe>
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Kelvarin"
!define PUBLISHER "The Kelvarin developers"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define APP_KEY "Software\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; An upgrade goes where the last install went.
InstallDirRegKey HKLM "${APP_KEY}" "InstallDir"
RequestExecutionLevel admin

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}, MIT licence"

!define MUI_ICON "${STAGE}\kelvarin.ico"
!define MUI_UNICON "${STAGE}\kelvarin.ico"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; No "Run Kelvarin" here: it would run with the installer's administrator
; rights.
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A program that is running cannot be replaced or removed: stop before
; touching anything rather than leave half a program behind. A running
; executable cannot be opened for writing. Silent runs give up at once.
!macro MarkIfRunning FILE
    ClearErrors
    ${If} ${FileExists} "$INSTDIR\${FILE}"
        FileOpen $0 "$INSTDIR\${FILE}" a
        ${If} ${Errors}
            StrCpy $1 1
        ${Else}
            FileClose $0
        ${EndIf}
    ${EndIf}
!macroend

!macro WaitWhileRunning
    ${Do}
        StrCpy $1 0
        !insertmacro MarkIfRunning kelvarin.exe
        !insertmacro MarkIfRunning kelvarin-upload.exe
        !insertmacro MarkIfRunning kelvarin-history.exe
        ${If} $1 == 0
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "${PRODUCT} is running. Close Kelvarin, kelvarin-upload and kelvarin-history, then choose Retry." \
            /SD IDCANCEL IDRETRY +2
        Abort "${PRODUCT} is running: nothing was changed."
    ${Loop}
!macroend

Function .onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

; A folder outside Program Files inherits what its parent allows: in the
; root of C: that is "Authenticated Users: Modify", and any user could then
; replace the programs, the uninstaller or a library beside them, which an
; administrator may run. Such a folder is made by the install section and
; given Program Files' permissions there. One that exists already may have
; been made, and so be owned, by any user: it is refused, unless Kelvarin
; was installed there before. Sets $R0 to 1 for a folder outside Program
; Files, $R1 to the reason for refusing it ("" if none), and makes $INSTDIR
; a full path ("..\" resolved).
Function CheckInstallFolder
    System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1'
    ${If} $1 > 0
        StrCpy $INSTDIR $0
    ${EndIf}
    StrLen $0 "$PROGRAMFILES64\"
    StrCpy $0 "$INSTDIR" $0
    StrCpy $R0 0
    StrCpy $R1 ""
    ${If} $0 != "$PROGRAMFILES64\"
        StrCpy $R0 1
        ReadRegStr $0 HKLM "${APP_KEY}" "InstallDir"
        ${If} ${FileExists} "$INSTDIR\*.*"
        ${AndIf} $0 != $INSTDIR
            StrCpy $R1 "$INSTDIR exists already and others may be able to change it. Choose a new folder."
        ${EndIf}
    ${EndIf}
FunctionEnd

Function DirectoryLeave
    Call CheckInstallFolder
    ${If} $R1 != ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "$R1"
        Abort
    ${EndIf}
FunctionEnd

Section "Install"
    Call CheckInstallFolder
    ${If} $R1 != ""
        Abort "$R1"
    ${EndIf}
    !insertmacro WaitWhileRunning
    SetOutPath "$INSTDIR"
    ; Administrators and SYSTEM: full control; users: read and run. By SID,
    ; which every language of Windows knows. Nothing is written before.
    ${If} $R0 == 1
        nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /inheritance:r /grant:r \
            *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'
        Pop $0
        ${If} $0 != 0
            RMDir "$INSTDIR"
            Abort "The permissions of $INSTDIR could not be set: nothing was installed."
        ${EndIf}
    ${EndIf}
    File "${STAGE}\kelvarin.exe"
    File "${STAGE}\kelvarin-upload.exe"
    File "${STAGE}\kelvarin-history.exe"
    File "${STAGE}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\kelvarin.exe"
    ; A console with kelvarin-upload and kelvarin-history on the path, in the
    ; user's own folder.
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} command line.lnk" "$SYSDIR\cmd.exe" \
        '/k "set "PATH=$INSTDIR;%PATH%" && cd /d "%USERPROFILE%" && kelvarin-upload --help"' \
        "$INSTDIR\kelvarin.exe" 0

    WriteRegStr HKLM "${APP_KEY}" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\kelvarin.exe,0"
    WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" "$0"
SectionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Section "Uninstall"
    !insertmacro WaitWhileRunning
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} command line.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    Delete "$INSTDIR\kelvarin.exe"
    Delete "$INSTDIR\kelvarin-upload.exe"
    Delete "$INSTDIR\kelvarin-history.exe"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    ; Only if empty: files the user put there stay.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINST_KEY}"
    DeleteRegKey HKLM "${APP_KEY}"
SectionEnd
