; The Windows installer: the window, the command-line client and the simulated
; reader, Start-menu shortcuts for the window, for its demo (the window with
; its own simulated reader) and for the guided installation check, and an uninstaller, for the current user (no
; administrator rights).
; scripts/windows.sh builds it:
;   makensis -DVERSION=1.0.0 -DSOURCE=<folder with the files> -DOUTFILE=<setup.exe> \
;            -DICON=<the program's .ico> pcpos-tester.nsi
; A silent install (setup.exe /S) shows no page; a silent uninstall that the
; caller waits for: uninstall.exe /S _?=<the install folder> (README.txt).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef SOURCE
  !error "SOURCE is not defined"
!endif
!ifndef OUTFILE
  !error "OUTFILE is not defined"
!endif
!ifndef ICON
  !error "ICON is not defined"
!endif

!include MUI2.nsh

!define PRODUCT "PC-POS tester"
!define DEMO "PC-POS tester (demo)"
!define INSTALL_CHECK "PC-POS tester (installation check)"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\pcpos-tester"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "PC-POS tester developers"

; The program's own icon on the installer and the uninstaller, and at the end
; an offer to start the program (ticked) and to read the read-me.
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\pcpos-tester.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the read-me"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Install"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${SOURCE}\pcpos-tester.exe"
  File "${SOURCE}\pcpos-cli.exe"
  File "${SOURCE}\pcpos-sim.exe"
  File "${SOURCE}\README.txt"
  File "${SOURCE}\LICENSE.txt"
  File "${SOURCE}\pcpos-tap.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\pcpos-tester.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${DEMO}.lnk" "$INSTDIR\pcpos-tester.exe" "--demo" \
    "$INSTDIR\pcpos-tester.exe" 0 SW_SHOWNORMAL "" "The window with a simulated card reader of its own"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${INSTALL_CHECK}.lnk" "$INSTDIR\pcpos-tester.exe" \
    "--suite install" "$INSTDIR\pcpos-tester.exe" 0 SW_SHOWNORMAL "" \
    "The window guiding the installation check case by case, with a report at the end"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "PC-POS tester developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pcpos-tester.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${DEMO}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${INSTALL_CHECK}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  Delete "$INSTDIR\pcpos-tester.exe"
  Delete "$INSTDIR\pcpos-cli.exe"
  Delete "$INSTDIR\pcpos-sim.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\pcpos-tap.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: the log and journal the operator chose to keep here stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
