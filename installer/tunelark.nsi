; Tunelark's setup program: the plug-in into the messenger host's plug-in directory, the
; pack tool and the user's README into a program folder, the starter SoundPack installed
; with the pack tool, and an uninstaller. Built by installer/CMakeLists.txt, which passes
; VERSION, BIN_DIR, RESOURCE_DIR, STARTER_DIR, STARTER_NAME, STARTER_WORDS, README and
; OUT_FILE.
;
; Exit codes (also with /S): 0 done, 1 cancelled by the user, 3 the messenger host is not
; installed, 4 Tunelark.dll is in use, 5 the starter SoundPack did not install completely,
; 6 the SoundPacks could not be shared with every user. Refusals 3 and 4 come before
; anything is written.
;
; /NOSHARE (or the box on the SoundPacks page unticked): only administrators may change
; the SoundPacks, as Windows has it below HKEY_LOCAL_MACHINE and in Program Files.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define HOST_KEY "Software\Drovask\MsgPlus2"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tunelark"
!define EXIT_NO_HOST 3
!define EXIT_IN_USE 4
!define EXIT_STARTER 5
!define EXIT_SHARE 6

Name "Tunelark ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES\Tunelark"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Tunelark ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "Tunelark"
VIAddVersionKey /LANG=1033 "FileDescription" "Tunelark setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "The Tunelark team"

Var PluginDir
Var Share  ; 1: every user may change the SoundPacks
Var ShareBox

!define MUI_ICON "${RESOURCE_DIR}\tunelark48.ico"
!define MUI_UNICON "${RESOURCE_DIR}\tunelark48.ico"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "Welcome to Tunelark ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "Tunelark lets you and your contacts send each other short sounds in Messenger Plus! conversations.$\r$\n$\r$\nThis setup adds the Tunelark plug-in to Messenger Plus! and installs the SoundPack $\"${STARTER_NAME}$\", so that you and every contact who installs Tunelark have sounds in common.$\r$\n$\r$\nClose the messenger before you go on."
!insertmacro MUI_PAGE_WELCOME
Page custom SharePage SharePageLeave
!define MUI_DIRECTORYPAGE_TEXT_TOP "The plug-in goes into Messenger Plus!'s plug-in directory, $PluginDir. The pack tool (tlpack.exe), the README and the uninstaller go into the folder below."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Tunelark is installed"
!define MUI_FINISHPAGE_TEXT "Restart the messenger (sign out, close it and start it again) so that Messenger Plus! loads Tunelark.$\r$\n$\r$\nThen type /xTL and a sound's word in a conversation, for example /xTLdoorbell. The starter sounds: ${STARTER_WORDS}.$\r$\n$\r$\nType /xTLConfig for the sounds and options."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; A directory without its trailing "\" ("C:\" gives "C:").
!macro TRIM_BACKSLASH VAR
    StrCpy $0 ${VAR} 1 -1
    ${If} $0 == "\"
        StrCpy ${VAR} ${VAR} -1
    ${EndIf}
!macroend

; A loaded DLL cannot be opened for writing: the messenger holds it. Asks the user to close
; the messenger until it is free or the user gives up; silent, gives up at once.
!macro REFUSE_WHILE_IN_USE UN
Function ${UN}RefuseWhileInUse
    ${Do}
        System::Call 'kernel32::CreateFileW(w "$PluginDir\Tunelark.dll", i 0x40000000, i 0, p 0, i 3, i 0x80, p 0) p .r0 ?e'
        Pop $1
        ${If} $0 P<> -1
            System::Call 'kernel32::CloseHandle(p r0)'
            Return
        ${EndIf}
        ${If} $1 = 2  ; not installed yet
        ${OrIf} $1 = 3
            Return
        ${EndIf}
        ${IfNot} ${Silent}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Tunelark.dll in $PluginDir is in use: the messenger has loaded it.$\r$\n$\r$\nClose the messenger (sign out and exit it), then choose Retry. Cancel leaves everything as it is." IDRETRY retry
        ${EndIf}
        SetErrorLevel ${EXIT_IN_USE}
        Quit
        retry:
    ${Loop}
FunctionEnd
!macroend
!insertmacro REFUSE_WHILE_IN_USE ""
!insertmacro REFUSE_WHILE_IN_USE "un."

Function .onInit
    SetRegView 32
    ReadRegStr $PluginDir HKLM "${HOST_KEY}" "PluginDir"
    !insertmacro TRIM_BACKSLASH $PluginDir
    ${If} $PluginDir == ""
        MessageBox MB_OK|MB_ICONSTOP "Messenger Plus! is not installed on this computer: its plug-in directory (the value PluginDir below HKEY_LOCAL_MACHINE\${HOST_KEY}) is missing, so Tunelark could not be loaded anywhere.$\r$\n$\r$\nInstall Messenger Plus! first, then run this setup again. Nothing was changed." /SD IDOK
        SetErrorLevel ${EXIT_NO_HOST}
        Quit
    ${EndIf}
    Call ReadOptions
    Call RefuseWhileInUse
FunctionEnd

Section "Tunelark"
    ; Checked again: the messenger may have been started while the pages were shown.
    Call RefuseWhileInUse
    SetOutPath "$PluginDir"
    File "${BIN_DIR}\Tunelark.dll"

    SetOutPath "$INSTDIR"
    File "${BIN_DIR}\tlpack.exe"
    File "/oname=README.txt" "${README}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ; The pack's files first: installing its install.ini checks them.
    SetOutPath "$PluginDir\Tunelark\${STARTER_NAME}"
    File /r "${STARTER_DIR}\*.*"
    SetOutPath "$INSTDIR"
    DetailPrint "Installing the SoundPack $\"${STARTER_NAME}$\""
    nsExec::ExecToLog '"$INSTDIR\tlpack.exe" install "$PluginDir\Tunelark\${STARTER_NAME}\install.ini"'
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONEXCLAMATION "The SoundPack $\"${STARTER_NAME}$\" did not install completely (the details list says why). Tunelark itself is installed." /SD IDOK
        SetErrorLevel ${EXIT_STARTER}
    ${EndIf}

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tunelark ${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Tunelark team"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$PluginDir\Tunelark.dll"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "PluginDir" "$PluginDir"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
    ${GetSize} "$PluginDir\Tunelark\${STARTER_NAME}" "/S=0K" $4 $2 $3
    ${GetSize} "$PluginDir" "/M=Tunelark.dll /S=0K /G=0" $5 $2 $3
    IntOp $1 $1 + $4
    IntOp $1 $1 + $5
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

; The sound database's key and <PluginDir>\Tunelark, with everything in them now and later:
; the messenger, and so the plug-in, runs with the user's rights.
Section "-Share"
    ${IfNot} $Share = 1
        Return
    ${EndIf}
    DetailPrint "Letting every user of this computer change the SoundPacks"
    nsExec::ExecToLog '"$INSTDIR\tlpack.exe" share'
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONEXCLAMATION "Not every user of this computer may change the SoundPacks (the details list says why): only an administrator can install, change or delete one. Tunelark itself is installed." /SD IDOK
        SetErrorLevel ${EXIT_SHARE}
    ${EndIf}
SectionEnd

; /NOSHARE unticks the box, for silent installs that keep the SoundPacks to administrators.
Function ReadOptions
    StrCpy $Share 1
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/NOSHARE" $1
    ${IfNot} ${Errors}
        StrCpy $Share 0
    ${EndIf}
FunctionEnd

Function SharePage
    !insertmacro MUI_HEADER_TEXT "SoundPacks" "Who may install, change and delete SoundPacks on this computer."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 52u "On Windows Vista and later the messenger, and so Tunelark, runs with a standard user's rights. Unless every user may change the SoundPacks, only an administrator can install, change or delete one.$\r$\n$\r$\nUntick the box to keep the SoundPacks to administrators."
    Pop $0
    ${NSD_CreateCheckbox} 0 58u 100% 12u "Let every user of this computer change the SoundPacks (recommended)"
    Pop $ShareBox
    ${If} $Share = 1
        ${NSD_Check} $ShareBox
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function SharePageLeave
    ${NSD_GetState} $ShareBox $Share
FunctionEnd

Function un.onInit
    SetRegView 32
    ; Where this setup put the plug-in, even if the host has moved or gone since.
    ReadRegStr $PluginDir HKLM "${UNINSTALL_KEY}" "PluginDir"
    ${If} $PluginDir == ""
        ReadRegStr $PluginDir HKLM "${HOST_KEY}" "PluginDir"
    ${EndIf}
    !insertmacro TRIM_BACKSLASH $PluginDir
    ${If} $PluginDir != ""
        Call un.RefuseWhileInUse
    ${EndIf}
FunctionEnd

; Only what the setup put there goes: the user's other SoundPacks, their files, the
; options, the blocklist and the formatting codes stay, and so do the rights every user
; was given on them.
Section "Uninstall"
    ReadRegStr $1 HKLM "${HOST_KEY}" "PluginDir"
    !insertmacro TRIM_BACKSLASH $1
    ; The pack tool finds the pack's directory through the host's key: only while that
    ; still names the directory the pack went into.
    ${If} $1 != ""
    ${AndIf} $1 == $PluginDir
        nsExec::ExecToLog '"$INSTDIR\tlpack.exe" remove "${STARTER_NAME}" --files'
        Pop $0
    ${Else}
        nsExec::ExecToLog '"$INSTDIR\tlpack.exe" remove "${STARTER_NAME}"'
        Pop $0
        ${If} $PluginDir != ""
            RMDir /r "$PluginDir\Tunelark\${STARTER_NAME}"
        ${EndIf}
    ${EndIf}
    ${If} $PluginDir != ""
        Delete "$PluginDir\Tunelark.dll"
        RMDir "$PluginDir\Tunelark"  ; only when no other pack's directory is left
    ${EndIf}
    Delete "$INSTDIR\tlpack.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
