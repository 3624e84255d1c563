# The Windows installer: per user, without administrator rights, into the
# user's local programs folder. dist/windows/CMakeLists.txt runs makensis with
#   -DVERSION=0.1.0 -DVERSION_DOTS=0.1.0.0 -DSTAGE=<folder with the stripped
#   exe and the CRLF text files> -DOUTFILE=<installer path>
# Silent: "setup.exe /S" installs, "uninstall.exe /S" removes (keeping the
# stored key and interval).

# A 64-bit installer for the 64-bit program; it also runs where no 32-bit
# layer is installed.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WinMessages.nsh
!include nsDialogs.nsh

!define NAME "Tavrin Connector"
!define APP "tavrin-connector"
!define EXE "${APP}.exe"
!define PUBLISHER "The Tavrin Connector developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
!define SETTINGS_KEY "Software\VB and VBA Program Settings\${APP}"
# The running program's window (win32/app/SingleInstance): WM_CLOSE ends it.
!define WINDOW_CLASS "TavrinConnector.Window.${APP}"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
# An upgrade goes where the last installation went, so the start-at-login
# entry the program wrote stays valid.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${NAME} ${VERSION}"

VIProductVersion "${VERSION_DOTS}"
VIAddVersionKey /LANG=1031 "ProductName" "${NAME}"
VIAddVersionKey /LANG=1031 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "FileDescription" "${NAME} – Installation"
VIAddVersionKey /LANG=1031 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1031 "LegalCopyright" "Copyright 2026 ${PUBLISHER} (MIT)"

!define MUI_ICON "${STAGE}\${APP}.ico"
!define MUI_UNICON "${STAGE}\${APP}.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "${NAME} jetzt starten"

!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.SettingsPage un.SettingsPageLeave
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

Var wasRunning
Var removeSettings
Var removeSettingsBox

# Asked on a page of its own rather than in a message box, whose buttons
# would speak the system's language. Silent, no page shows: the settings stay.
Function un.SettingsPage
    !insertmacro MUI_HEADER_TEXT "Gespeicherte Einstellungen" \
        "Schlüssel und Sync-Intervall behalten oder entfernen"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 36u "Der Schlüssel und das Sync-Intervall bleiben gespeichert, damit eine spätere Installation sie wieder verwendet."
    Pop $0
    ${NSD_CreateCheckbox} 0 40u 100% 12u "&Gespeicherten Schlüssel und Sync-Intervall ebenfalls entfernen"
    Pop $removeSettingsBox
    nsDialogs::Show
FunctionEnd

Function un.SettingsPageLeave
    ${NSD_GetState} $removeSettingsBox $removeSettings
FunctionEnd

# Ends a running copy so its file can be replaced or removed: closing its
# window ends it as the user's "Beenden" would, without the question.
!macro EndRunningProgram un
Function ${un}EndRunningProgram
    StrCpy $wasRunning 0
    StrCpy $1 0
    ${Do}
        FindWindow $0 "${WINDOW_CLASS}"
        ${If} $0 == 0
            ${Break}
        ${EndIf}
        StrCpy $wasRunning 1
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
        Sleep 100
        IntOp $1 $1 + 1
    ${LoopUntil} $1 >= 50
    # The window goes before the process lets go of its file.
    StrCpy $1 0
    ${DoWhile} ${FileExists} "$INSTDIR\${EXE}"
        ClearErrors
        FileOpen $2 "$INSTDIR\${EXE}" a
        ${IfNot} ${Errors}
            FileClose $2
            ${Break}
        ${EndIf}
        Sleep 100
        IntOp $1 $1 + 1
        ${If} $1 >= 50
            ${Break}
        ${EndIf}
    ${Loop}
FunctionEnd
!macroend
!insertmacro EndRunningProgram ""
!insertmacro EndRunningProgram "un."

Section "Programm" SecProgram
    SectionIn RO
    Call EndRunningProgram
    SetOutPath "$INSTDIR"
    SetOverwrite on
    ClearErrors
    File "${STAGE}\${EXE}"
    File "${STAGE}\LICENSE.txt"
    File "${STAGE}\LIESMICH-README.txt"
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "${NAME} konnte nicht nach $INSTDIR geschrieben werden." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    WriteUninstaller "$INSTDIR\uninstall.exe"

    # Started from the Start menu it starts hidden in the tray, as at login.
    CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\${EXE}" "/a" "$INSTDIR\${EXE}" 0 \
        SW_SHOWNORMAL "" "${NAME}"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"

    # An upgrade gives back the program it had to end, as it was: in the tray.
    ${If} $wasRunning == 1
        Exec '"$INSTDIR\${EXE}" /a'
    ${EndIf}
SectionEnd

Section "Uninstall"
    Call un.EndRunningProgram
    Delete "$SMPROGRAMS\${NAME}.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "${APP}"
    DeleteRegValue HKCU "${APPROVED_KEY}" "${APP}"
    Delete "$INSTDIR\${EXE}"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\LIESMICH-README.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    RMDir /r "$LOCALAPPDATA\${APP}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    # The key and interval stay unless the user asked otherwise.
    ${If} $removeSettings == ${BST_CHECKED}
        DeleteRegKey HKCU "${SETTINGS_KEY}"
    ${EndIf}
SectionEnd
