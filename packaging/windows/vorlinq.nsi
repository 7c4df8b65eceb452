; The Vorlinq installer for 64-bit Windows: the program folder (vorlinq.exe
; with the Qt and compiler runtime DLLs and Qt's platform and style plugins)
; into Program Files, a Start-menu entry, and an uninstaller listed in "Apps
; and features". The uninstaller keeps the user's settings in the registry
; (HKEY_CURRENT_USER\Software\Maravel\Vorlinq). FTDI's D2XX driver is not
; carried: the last page says where to get it when ftd2xx.dll is missing.
;
; makensis -DVERSION=1.0.0 -DSTAGE=<installed program folder> -DOUTFILE=<setup.exe> vorlinq.nsi
; (scripts/windows does this). /S installs and uninstalls silently.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Vorlinq"
!define PUBLISHER "Maravel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorlinq"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright 2026 ${PUBLISHER}"

Var FinishText

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_PRE FinishPre
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_RUN "$INSTDIR\vorlinq.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; The amplifier's USB chip is reached through FTDI's D2XX driver, which
; installs ftd2xx.dll into the system folder.
Function FinishPre
  ${If} ${FileExists} "$SYSDIR\ftd2xx.dll"
    StrCpy $FinishText "${PRODUCT} ${VERSION} is installed.$\r$\n$\r$\nFTDI's D2XX driver is present: connect the amplifier and start ${PRODUCT} from the Start menu."
  ${Else}
    StrCpy $FinishText "${PRODUCT} ${VERSION} is installed.$\r$\n$\r$\nFTDI's D2XX driver (ftd2xx.dll) was not found. ${PRODUCT} reaches the amplifier through it: install the D2XX driver for Windows from FTDI's web site, ftdichip.com (Drivers, D2XX Drivers), before you connect. The built-in simulated amplifier works without it (vorlinq.exe --simulator)."
  ${EndIf}
FunctionEnd

Section "Vorlinq"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vorlinq.exe" "" "$INSTDIR\vorlinq.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vorlinq.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Everything the installer put down goes; the user's settings stay.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\vorlinq.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
