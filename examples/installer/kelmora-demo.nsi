; The sample application installed as a packager would ship it: KELMORA.exe, config.ini, the
; archive and the runtime folder in Program Files, and a Start-menu shortcut that starts the
; launcher in the install folder. Built by build.sh beside this file:
;   makensis -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe> kelmora-demo.nsi
Unicode true
!ifndef STAGE
  !error "STAGE must name the folder that holds KELMORA.exe, config.ini, app.jar and java/"
!endif
!ifndef OUTFILE
  !define OUTFILE "KelmoraDemoSetup.exe"
!endif
!define APP "Kelmora Demo"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP}"
OutFile "${OUTFILE}"
; The packager's icon, when one is given: the setup program's own. The shortcut shows the
; launcher's icon, the one its file carries.
!ifdef ICON
  Icon "${ICON}"
  UninstallIcon "${ICON}"
!endif
; The launcher is a 32-bit program: on 64-bit Windows this is C:\Program Files (x86).
InstallDir "$PROGRAMFILES\${APP}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}/KELMORA.exe"
  File "${STAGE}/config.ini"
  File "${STAGE}/app.jar"
  SetOutPath "$INSTDIR\java"
  File /r "${STAGE}/java/*.*"

  ; A shortcut's working directory ("Start in") is the output path current when it is made.
  ; The launcher reads config.ini, the runtime and the archive from its current directory, so
  ; that must be the install folder: without it every start fails with error 2.
  SetOutPath "$INSTDIR"
  CreateDirectory "$SMPROGRAMS\${APP}"
!ifdef ICON
  CreateShortcut "$SMPROGRAMS\${APP}\${APP}.lnk" "$INSTDIR\KELMORA.exe" "" "$INSTDIR\KELMORA.exe" 0
!else
  CreateShortcut "$SMPROGRAMS\${APP}\${APP}.lnk" "$INSTDIR\KELMORA.exe"
!endif

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
SectionEnd

; Removes what the installer put there, and nothing else: a file the user added to the
; folder keeps the folder.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${APP}\${APP}.lnk"
  RMDir "$SMPROGRAMS\${APP}"
  Delete "$INSTDIR\KELMORA.exe"
  Delete "$INSTDIR\config.ini"
  Delete "$INSTDIR\app.jar"
  RMDir /r "$INSTDIR\java"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
