; The Windows installer: the portable folder installed into Program Files for every user, a Start-menu
; entry, an uninstaller listed under "Programs and Features". The program keeps its data in the user's
; %LOCALAPPDATA%\ostraftp there (it never writes below Program Files); uninstalling leaves that data.
; makensis -DVERSION=<version> -DSOURCE=<portable folder> -DFILES=<file list> -DOUTFILE=<installer>
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
!include "x64.nsh"

!define NAME "Отчеты узлов учета газа"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ostraftp"

Name "${NAME}"
Caption "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\ostraftp"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
Icon "${__FILEDIR__}\..\ostraftp.ico"
UninstallIcon "${__FILEDIR__}\..\ostraftp.ico"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "ostraftp"
VIAddVersionKey "FileDescription" "${NAME}: установка"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "ostraftp"
VIAddVersionKey "LegalCopyright" "ostraftp"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "ostraftp"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${SOURCE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\ostraftp.exe" "" "$INSTDIR\ostraftp.exe" 0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "ostraftp"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ostraftp.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there: the folder may hold other files of the operator's.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${NAME}.lnk"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
