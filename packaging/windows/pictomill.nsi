; The Windows installer, built by scripts/package-windows.sh with Debian's
; makensis (-INPUTCHARSET UTF8: this file is UTF-8 without a byte-order mark).
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0 -DFILES=<folder> -DOUTFILE=<setup.exe>
;            [-DWINDOW] [-DICON=<pictomill.ico>] pictomill.nsi
; FILES holds pictomill-convert.exe, README.txt and, with -DWINDOW,
; pictomill.exe. Per-user: no administrator, nothing outside the user's
; profile, so it installs and uninstalls without a prompt.

!ifndef VERSION | FILES | OUTFILE
  !error "VERSION, FILES and OUTFILE must be given with -D"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
; The installed files take the time they are installed: none is stored, so the
; same inputs make the same installer.
SetDateSave off
ManifestDPIAware true
RequestExecutionLevel user

!define PRODUCT "Pictomill"
!define SHORTCUT "Pictomill 图片格式转换"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pictomill"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT}"
Caption "${SHORTCUT} ${VERSION} 安装"
UninstallCaption "${SHORTCUT} ${VERSION} 卸载"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Pictomill"
; An update goes where the last install went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!include "MUI2.nsh"
!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifdef WINDOW
  !define MUI_FINISHPAGE_RUN "$INSTDIR\pictomill.exe"
!endif
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; The version resource of setup.exe, which Explorer shows.
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${SHORTCUT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${SHORTCUT} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${PRODUCT}"

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Pictomill" SectionMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  ; Every file named here is deleted by name in the uninstaller, and nothing else.
!ifdef WINDOW
  File "${FILES}\pictomill.exe"
!endif
  File "${FILES}\pictomill-convert.exe"
  File "${FILES}\README.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

!ifdef WINDOW
  CreateShortcut "$SMPROGRAMS\${SHORTCUT}.lnk" "$INSTDIR\pictomill.exe" "" "$INSTDIR\pictomill.exe" 0
  !define DISPLAY_ICON "$INSTDIR\pictomill.exe,0"
!else
  !define DISPLAY_ICON "$INSTDIR\${UNINSTALLER},0"
!endif

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${SHORTCUT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "${DISPLAY_ICON}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SectionMain} $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The installed files by name: what the window converted ("tmp" beside it)
; and anything else the user put in the folder stay, and the folder with them.
Section "Uninstall"
  Delete "$SMPROGRAMS\${SHORTCUT}.lnk"
!ifdef WINDOW
  Delete "$INSTDIR\pictomill.exe"
!endif
  Delete "$INSTDIR\pictomill-convert.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  RMDir "$INSTDIR"
SectionEnd
