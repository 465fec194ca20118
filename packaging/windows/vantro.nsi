; The Windows installer: Vantro for the current user, no administrator rights asked, into
; %LOCALAPPDATA%\Programs\Vantro, with a Start-menu entry and an uninstaller that Windows lists.
; scripts/windows.sh runs it as
;   makensis -DVERSION_NSH=<build>/packaging/windows/version.nsh -DFILES=<folder of the program>
;            -DFILE_LIST=<list of its files> -DSIZE_KB=<its size> -DOUTFILE=<setup.exe> vantro.nsi
; and /S installs or uninstalls silently.

!ifndef VERSION_NSH | FILES | FILE_LIST | SIZE_KB | OUTFILE
    !error "VERSION_NSH, FILES, FILE_LIST, SIZE_KB and OUTFILE must be given with -D"
!endif
!include "${VERSION_NSH}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantro"
!define SHORTCUT "$SMPROGRAMS\Vantro.lnk"

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

Name "Vantro"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Vantro"
; A new version goes where the last one went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${FILE_VERSION}"
VIAddVersionKey "ProductName" "Vantro"
VIAddVersionKey "CompanyName" "ZORVA"
VIAddVersionKey "FileDescription" "Vantro ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "ZORVA"

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\vantro-window.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Vantro"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File /r "${FILES}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "${SHORTCUT}" "$INSTDIR\vantro-window.exe" "" "$INSTDIR\vantro-window.exe" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Vantro"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "ZORVA"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Comments" "${DESCRIPTION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vantro-window.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there, file by file, so that a folder chosen by hand keeps what else is in it.
Section "Uninstall"
    SetShellVarContext current
    Delete "${SHORTCUT}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    !include "${FILE_LIST}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
