; SPDX-License-Identifier: BSD-2-Clause
; The QF25 setup program. It installs the Video for Windows compressor
; vidc.qf25 where qf25.inf does: on 64-bit Windows the 64-bit DLL to System32
; and the 64-bit registry view, the 32-bit DLL to SysWOW64 and the 32-bit view
; (Wow6432Node); on 32-bit Windows the 32-bit DLL only. Its uninstaller, the
; readme and the licence go to Program Files\QF25, with an entry under the
; installed programs. /S runs it, and the uninstaller, without a window.
; make-dist-windows.sh builds it from the folder of the Windows zip:
;   makensis -DVERSION=<version> -DDIST=<folder> -DOUTFILE=<setup.exe> qf25.nsi

Unicode true
SetCompressor /SOLID lzma
!include LogicLib.nsh
!include WinVer.nsh
!include x64.nsh

!define DRIVERS32 "Software\Microsoft\Windows NT\CurrentVersion\Drivers32"
!define DESCRIPTIONS "Software\Microsoft\Windows NT\CurrentVersion\drivers.desc"
!define UNINSTALL "Software\Microsoft\Windows\CurrentVersion\Uninstall\QF25"
!define PUBLISHER "The QF25 project"

Name "QF25 video codec ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\QF25"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
LicenseData "${DIST}/license.txt"
Page license
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

VIProductVersion ${VERSION}.0
VIAddVersionKey ProductName "QF25 video codec"
VIAddVersionKey ProductVersion ${VERSION}
VIAddVersionKey FileVersion ${VERSION}
VIAddVersionKey FileDescription "QF25 video codec setup"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey LegalCopyright "Copyright (c) 2026 The QF25 project authors. BSD 2-Clause licence."

; Refuses, with the message on screen and exit status 1 when silent.
!macro Refuse MESSAGE
    MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
    SetErrorLevel 1
    Quit
!macroend

; A DLL that a running program holds cannot be overwritten: the new one
; replaces it at the next restart, and the exit status says so (3010).
!macro PutDll SOURCE TARGET
    SetOverwrite try
    ClearErrors
    File "/oname=${TARGET}" "${SOURCE}"
    ${If} ${Errors}
        SetOverwrite on
        File "/oname=${TARGET}.new" "${SOURCE}"
        Rename /REBOOTOK "${TARGET}.new" "${TARGET}"
    ${EndIf}
!macroend

!macro Register VIEW
    SetRegView ${VIEW}
    WriteRegStr HKLM "${DRIVERS32}" "vidc.qf25" "qf25.dll"
    WriteRegStr HKLM "${DESCRIPTIONS}" "qf25.dll" "Trasko Video Codec [QF25]"
!macroend

!macro Unregister VIEW
    SetRegView ${VIEW}
    DeleteRegValue HKLM "${DRIVERS32}" "vidc.qf25"
    DeleteRegValue HKLM "${DESCRIPTIONS}" "qf25.dll"
!macroend

; The DLLs import InitOnceExecuteOnce, which Windows has since Vista, and
; refuse to load without SSE2 (processor feature 10).
Function .onInit
    ${IfNot} ${AtLeastWinVista}
        !insertmacro Refuse "The QF25 codec needs Windows Vista or later."
    ${EndIf}
    System::Call "kernel32::IsProcessorFeaturePresent(i 10) i .r0"
    ${If} $0 = 0
        !insertmacro Refuse "The QF25 codec needs a processor with SSE2."
    ${EndIf}
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
        !insertmacro Refuse "Installing the QF25 codec needs administrator rights."
    ${EndIf}
FunctionEnd

Section
    SetOutPath "$INSTDIR"
    File "${DIST}/readme.txt"
    File "${DIST}/license.txt"
    ${If} ${RunningX64}
        ${DisableX64FSRedirection}
        !insertmacro PutDll "${DIST}/x64/qf25.dll" "$SYSDIR\qf25.dll"
        !insertmacro PutDll "${DIST}/x86/qf25.dll" "$WINDIR\SysWOW64\qf25.dll"
        ${EnableX64FSRedirection}
        !insertmacro Register 32
        !insertmacro Register 64
    ${Else}
        !insertmacro PutDll "${DIST}/x86/qf25.dll" "$SYSDIR\qf25.dll"
        !insertmacro Register 32
    ${EndIf}

    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL}" "DisplayName" "QF25 video codec"
    WriteRegStr HKLM "${UNINSTALL}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL}" "NoRepair" 1
    SectionGetSize 0 $0
    WriteRegDWORD HKLM "${UNINSTALL}" "EstimatedSize" $0
    ${If} ${RebootFlag}
        SetErrorLevel 3010
    ${EndIf}
SectionEnd

Section Uninstall
    ${If} ${RunningX64}
        ${DisableX64FSRedirection}
        Delete /REBOOTOK "$SYSDIR\qf25.dll"
        Delete /REBOOTOK "$WINDIR\SysWOW64\qf25.dll"
        ${EnableX64FSRedirection}
        !insertmacro Unregister 32
        !insertmacro Unregister 64
    ${Else}
        Delete /REBOOTOK "$SYSDIR\qf25.dll"
        !insertmacro Unregister 32
    ${EndIf}
    DeleteRegKey HKLM "${UNINSTALL}"
    Delete "$INSTDIR\readme.txt"
    Delete "$INSTDIR\license.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ${If} ${RebootFlag}
        SetErrorLevel 3010
    ${EndIf}
SectionEnd
