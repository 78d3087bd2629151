; The sample application installed as a packager would ship it: KELMORA.exe, config.ini, the
; archive and the runtime folder in Program Files, and a Start-menu shortcut that starts the
; launcher in the install folder. Built by build.sh beside this file:
;   makensis -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe> kelmora-demo.nsi
; The stage's identity.nsh (UTF-8, written by scripts/identity.py) names the application (APP),
; its install folder and shortcut (FOLDER), the launcher's file (EXE), its VERSION and, when a
; packager gives one, its PUBLISHER.
Unicode true
!ifndef STAGE
  !error "STAGE must name the folder that holds KELMORA.exe, config.ini, app.jar and java/"
!endif
!ifndef OUTFILE
  !define OUTFILE "KelmoraDemoSetup.exe"
!endif
!include /CHARSET=UTF8 "${STAGE}/identity.nsh"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${FOLDER}"

Name "${APP}"
OutFile "${OUTFILE}"
; The packager's icon, when one is given: the setup program's own. The shortcut shows the
; launcher's icon, the one its file carries.
!ifdef ICON
  Icon "${ICON}"
  UninstallIcon "${ICON}"
!endif
; The launcher is a 32-bit program: on 64-bit Windows this is C:\Program Files (x86).
InstallDir "$PROGRAMFILES\${FOLDER}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  ; Staged under a fixed name: a compile-time path would keep the $$ that stands for a $.
  File "/oname=${EXE}" "${STAGE}/launcher.exe"
  File "${STAGE}/config.ini"
  File "${STAGE}/app.jar"
  SetOutPath "$INSTDIR\java"
  File /r "${STAGE}/java/*.*"

  ; A shortcut's working directory ("Start in") is the output path current when it is made.
  ; The launcher reads config.ini, the runtime and the archive from its current directory, so
  ; that must be the install folder: without it every start fails with error 2.
  SetOutPath "$INSTDIR"
  CreateDirectory "$SMPROGRAMS\${FOLDER}"
!ifdef ICON
  CreateShortcut "$SMPROGRAMS\${FOLDER}\${FOLDER}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0
!else
  CreateShortcut "$SMPROGRAMS\${FOLDER}\${FOLDER}.lnk" "$INSTDIR\${EXE}"
!endif

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
!ifdef PUBLISHER
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
!endif
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
SectionEnd

; Removes what the installer put there, and nothing else: a file the user added to the
; folder keeps the folder.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${FOLDER}\${FOLDER}.lnk"
  RMDir "$SMPROGRAMS\${FOLDER}"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\config.ini"
  Delete "$INSTDIR\app.jar"
  RMDir /r "$INSTDIR\java"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
