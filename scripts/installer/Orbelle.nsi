; The installer of Norvale Orbelle, made by scripts/release:
;
;   makensis -DVERSION=2.1.0.12 -DPAYLOAD=<program files> -DOUTFILE=<setup.exe>
;            [-DAPP_EXE=<main program>] [-DUPDATE_HOST=<host[:port]>]
;            [-DUPDATE_PUBLIC_KEY=<key>] [-DSIGN=<command that signs the file it is given>]
;            Orbelle.nsi
;
; Per user by default, into the user's own programs folder (%LOCALAPPDATA%\Programs), so
; that the launcher updates its folder in place without elevation. /ALLUSERS installs for
; every user of the machine under Program Files instead: that needs administrator rights,
; and so does every update the launcher then installs. /S installs silently, /D=<folder>
; (last on the command line, unquoted) chooses the folder. Installing again over an
; installation upgrades it in place and keeps the user's settings in Orbelle.ini.
;
; The uninstaller removes the program folder, the Start-menu shortcut and the entry in
; the list of installed programs; /KEEPSETTINGS (or "Yes" to its question) keeps Orbelle.ini.

Unicode true
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include FileFunc.nsh
!include MUI2.nsh

!ifndef VERSION | PAYLOAD | OUTFILE
  !error "VERSION, PAYLOAD and OUTFILE are needed (-DVERSION=... -DPAYLOAD=... -DOUTFILE=...)"
!endif
!define /ifndef APP_EXE ""

!define PRODUCT "Norvale Orbelle"
!define PUBLISHER "Norvale Orbelle"
!define LAUNCHER "OrbelleLauncher.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Norvale Orbelle"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!ifdef SIGN
  ; The uninstaller is written at install time from data made here: sign that data.
  !uninstfinalize '"${SIGN}" "%1"'
!endif

Var AllUsers      ; 1: installed for every user (HKLM, Program Files)
Var KeepSettings  ; 1: the uninstaller leaves Orbelle.ini

!define MUI_ABORTWARNING
!define MUI_DIRECTORYPAGE_TEXT_TOP "$(^DirText)$\r$\n$\r$\nInstalled in your own programs folder, ${PRODUCT} keeps itself up to date without administrator rights."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${LAUNCHER}"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Registry root of the installation mode: SHCTX follows SetShellVarContext.
!macro UseMode allUsers
  ${If} ${allUsers} == 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
!macroend

Function .onInit
  StrCpy $AllUsers 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
    UserInfo::GetAccountType
    Pop $R1
    ${If} $R1 != "Admin"
      MessageBox MB_OK|MB_ICONSTOP "Installing ${PRODUCT} for all users needs administrator rights: run the installer as administrator, or install it for yourself alone (without /ALLUSERS)." /SD IDOK
      SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
      Quit
    ${EndIf}
  ${EndIf}
  !insertmacro UseMode $AllUsers
  ; /D= sets $INSTDIR before this runs; otherwise an earlier installation is upgraded
  ; where it is, or the default folder of the mode is taken.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} $AllUsers == 1
      StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
    ${Else}
      ; FOLDERID_UserProgramFiles, where Windows keeps per-user programs.
      GetKnownFolderPath $INSTDIR {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}
      ${If} $INSTDIR == ""
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs"
      ${EndIf}
      StrCpy $INSTDIR "$INSTDIR\${PRODUCT}"
    ${EndIf}
  ${EndIf}
FunctionEnd

; The uninstaller removes its folder as a whole, so the folder must be ours: new, empty,
; an earlier installation of the launcher, or the settings an uninstall kept. $R9
; becomes 1 for any other folder.
Function CheckFolder
  StrCpy $R9 0
  ${If} ${FileExists} "$INSTDIR\*.*"
  ${AndIfNot} ${FileExists} "$INSTDIR\${LAUNCHER}"
    FindFirst $R0 $R1 "$INSTDIR\*.*"
    ${DoUntil} $R1 == ""
      ${If} $R1 != "."
      ${AndIf} $R1 != ".."
      ${AndIf} $R1 != "Orbelle.ini"
        StrCpy $R9 1
        ${Break}
      ${EndIf}
      FindNext $R0 $R1
    ${Loop}
    FindClose $R0
  ${EndIf}
FunctionEnd

Function .onVerifyInstDir
  Call CheckFolder
  ${If} $R9 == 1
    Abort
  ${EndIf}
FunctionEnd

; Writes a setting of Orbelle.ini unless the user's file already has one.
!macro DefaultSetting key value
  ReadINIStr $R0 "$INSTDIR\Orbelle.ini" "System" "${key}"
  ${If} $R0 == ""
    WriteINIStr "$INSTDIR\Orbelle.ini" "System" "${key}" "${value}"
  ${EndIf}
!macroend

Section "${PRODUCT}"
  ; Silent installs skip the directory page and its check.
  Call CheckFolder
  ${If} $R9 == 1
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR holds other files: choose a new or empty folder for ${PRODUCT}." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}\*.*"
  ; The installed version always; the other settings only where the user has none.
  WriteINIStr "$INSTDIR\Orbelle.ini" "System" "PackageVision" "${VERSION}"
  !if "${APP_EXE}" != ""
    !insertmacro DefaultSetting "AppExeName" "${APP_EXE}"
  !endif
  !insertmacro DefaultSetting "DefLanguage" "ENG"
  !ifdef UPDATE_HOST
    !insertmacro DefaultSetting "UpdateHost" "${UPDATE_HOST}"
  !endif
  !ifdef UPDATE_PUBLIC_KEY
    !insertmacro DefaultSetting "UpdatePublicKey" "${UPDATE_PUBLIC_KEY}"
  !endif
  FlushINI "$INSTDIR\Orbelle.ini"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${LAUNCHER}" "" "$INSTDIR\${LAUNCHER}" 0

  ${If} $AllUsers == 1
    StrCpy $R1 " /ALLUSERS"
    DetailPrint "Installed for all users: updating ${PRODUCT} needs administrator rights."
  ${Else}
    StrCpy $R1 ""
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${LAUNCHER},0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"$R1'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S$R1'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $R2 $R3 $R4
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $R2
SectionEnd

Function un.onInit
  StrCpy $AllUsers 0
  StrCpy $KeepSettings 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/KEEPSETTINGS" $R1
  ${IfNot} ${Errors}
    StrCpy $KeepSettings 1
  ${Else}
    MessageBox MB_YESNO|MB_ICONQUESTION "Keep your ${PRODUCT} settings (Orbelle.ini) for a later installation?" /SD IDNO IDNO +2
    StrCpy $KeepSettings 1
  ${EndIf}
  !insertmacro UseMode $AllUsers
  InitPluginsDir
FunctionEnd

Section "Uninstall"
  ; Only a folder that holds the launcher is removed as a whole.
  ${If} ${FileExists} "$INSTDIR\${LAUNCHER}"
    ${If} $KeepSettings == 1
      CopyFiles /SILENT "$INSTDIR\Orbelle.ini" "$PLUGINSDIR"
      RMDir /r "$INSTDIR"
      CreateDirectory "$INSTDIR"
      CopyFiles /SILENT "$PLUGINSDIR\Orbelle.ini" "$INSTDIR"
    ${Else}
      RMDir /r "$INSTDIR"
    ${EndIf}
  ${Else}
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
  ${EndIf}
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The update configuration the launcher fetched today, in the machine's data folder.
  SetShellVarContext all
  Delete "$APPDATA\${PRODUCT}\NewConfig.ini"
  RMDir "$APPDATA\${PRODUCT}"
SectionEnd
