; The setup program of Vantrel for 64-bit Windows, made by
; scripts/package-windows with Debian's makensis:
;
;   makensis -DVERSION=1.0.0 -DSTAGE=<folder> -DFILES=<files.nsh>
;            -DOUTFILE=<setup.exe> -DICON=<vantrel.ico> vantrel.nsi
;
; STAGE holds the application folder as it is installed; FILES lists what
; it holds (the uninstaller removes exactly these). Installs into Program
; Files for every user of the machine, with a Start-menu shortcut and an
; entry in "Apps and Features". /S installs or uninstalls silently; the
; uninstaller keeps the user's settings unless asked (a question, or
; /REMOVESETTINGS when silent).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Vantrel"
!define PUBLISHER "Brenmoor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright 2026 ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; No "run now": the setup program runs elevated, and so would the program.
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The settings of a copy: in the user's roaming folder for a copy under
; Program Files, beside the program for one installed elsewhere.
!macro REMOVE_SETTINGS FOLDER
  Delete "${FOLDER}\rider.brm"
  Delete "${FOLDER}\trusted-servers.txt"
  Delete "${FOLDER}\accepted-host-keys.txt"
  Delete "${FOLDER}\unfinished-uploads.txt"
!macroend

Function .onInit
  SetRegView 64
FunctionEnd

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vantrel.exe" "" "$INSTDIR\vantrel.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vantrel.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  ; Only what the setup program put there: a folder chosen for the program
  ; may hold files of the user's.
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${If} ${Errors}
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "Remove your ${PRODUCT} settings too (FTP server, user name, password, trusted servers)?" \
      /SD IDNO IDNO keep_settings
  ${EndIf}
  SetShellVarContext current
  !insertmacro REMOVE_SETTINGS "$APPDATA\${PRODUCT}"
  RMDir "$APPDATA\${PRODUCT}"
  !insertmacro REMOVE_SETTINGS "$INSTDIR"
  keep_settings:

  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
