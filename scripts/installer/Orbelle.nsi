; The installer of Norvale Orbelle, made by scripts/release:
;
;   makensis -DVERSION=2.1.0.12 -DPAYLOAD=<program files> -DOUTFILE=<setup.exe>
;            [-DAPP_EXE=<main program>] [-DUPDATE_HOST=<host[:port]>]
;            [-DUPDATE_PUBLIC_KEY=<key>] [-DSIGN=<command that signs the file it is given>]
;            [-DAMD64] Orbelle.nsi
;
; -DAMD64 makes a 64-bit installer for the x86-64 build of the launcher (its Program Files
; and registry view are the 64-bit ones).
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

!ifdef AMD64
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
!else
  Unicode true
  !define PROGRAM_FILES "$PROGRAMFILES"
!endif
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include FileFunc.nsh
!include MUI2.nsh
!include nsDialogs.nsh

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
Var DirGiven      ; 1: /D= chose the folder
Var Upgrade       ; 1: an earlier installation of this mode is upgraded where it is
Var JustMe        ; the radio buttons of the mode page
Var Everyone

!define MUI_ABORTWARNING
Page custom ModePage ModePageLeave
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
  StrCpy $DirGiven 0
  ${If} $INSTDIR != ""
    StrCpy $DirGiven 1
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
    Call CheckAdmin
    ${If} $R9 == 1
      SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
      Quit
    ${EndIf}
  ${EndIf}
  Call ApplyMode
FunctionEnd

; $R9 becomes 1, after telling the user, when installing for everyone is not possible.
Function CheckAdmin
  StrCpy $R9 0
  UserInfo::GetAccountType
  Pop $R1
  ${If} $R1 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Installing ${PRODUCT} for all users needs administrator rights: run the installer as administrator, or install it for yourself alone." /SD IDOK
    StrCpy $R9 1
  ${EndIf}
FunctionEnd

; The shell folders and registry root of the mode, and the folder: the one /D= gave, an
; earlier installation's (upgraded where it is), or the mode's default.
Function ApplyMode
  !insertmacro UseMode $AllUsers
  StrCpy $Upgrade 0
  ${If} $DirGiven == 1
    Return
  ${EndIf}
  ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $INSTDIR != ""
    StrCpy $Upgrade 1
  ${ElseIf} $AllUsers == 1
    StrCpy $INSTDIR "${PROGRAM_FILES}\${PRODUCT}"
  ${Else}
    ; FOLDERID_UserProgramFiles, where Windows keeps per-user programs.
    GetKnownFolderPath $INSTDIR {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs"
    ${EndIf}
    StrCpy $INSTDIR "$INSTDIR\${PRODUCT}"
  ${EndIf}
FunctionEnd

; Who the installation is for; not asked when an earlier installation is upgraded.
Function ModePage
  ${If} $Upgrade == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Choose Users" "Choose for whom to install ${PRODUCT}."
  nsDialogs::Create 1018
  Pop $R0
  ${NSD_CreateRadioButton} 0 10u 100% 12u "&Just for me (recommended)"
  Pop $JustMe
  ${NSD_CreateLabel} 12u 24u 95% 20u "Installed in your own programs folder, ${PRODUCT} keeps itself up to date without administrator rights."
  Pop $R0
  ${NSD_CreateRadioButton} 0 54u 100% 12u "For &everyone who uses this computer"
  Pop $Everyone
  ${NSD_CreateLabel} 12u 68u 95% 30u "Installed under Program Files. This needs administrator rights now, and every update of ${PRODUCT} needs them too: start it as administrator when it offers one."
  Pop $R0
  ${If} $AllUsers == 1
    ${NSD_Check} $Everyone
  ${Else}
    ${NSD_Check} $JustMe
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $Everyone $R0
  ${If} $R0 == ${BST_CHECKED}
    Call CheckAdmin
    ${If} $R9 == 1
      Abort
    ${EndIf}
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  Call ApplyMode
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
