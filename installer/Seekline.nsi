; Seekline's setup program: a per-user install, with no administrator rights,
; into %LOCALAPPDATA%\Programs\Seekline. It registers a Start menu shortcut,
; the install folder on the user's PATH, Explorer's "Search with Seekline" on
; folders and folder backgrounds, and the entry in Apps & features; the
; uninstaller takes all of it away again and leaves the saved searches
; (HKCU\Software\Ombrel\Seekline) as they are. /S installs and uninstalls
; silently; installing over an older version replaces it in place.
;
; makensis -INPUTCHARSET UTF8 -DVERSION=1.0 -DVERSION_QUAD=1.0.0.0
;     -DSTAGE=<folder with the package's files> -DICON=<Seekline.ico>
;     -DOUTFILE=<setup program> Seekline.nsi

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestSupportedOS all
ManifestDPIAware true

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Seekline"
!define FOLDER_MENU_KEY "Software\Classes\Directory\shell\Seekline"
!define BACKGROUND_MENU_KEY "Software\Classes\Directory\Background\shell\Seekline"
!define PATH_HELPER "SeeklinePath.exe"

; Deletes a key of the user's that has neither subkeys nor values left, such
; as a parent key that the install made (DeleteRegKey /ifempty would take
; values with it). The user's root is passed as the system's handle for it.
!macro DeleteKeyIfEmpty KEY
    System::Call 'shlwapi::SHDeleteEmptyKeyW(p -2147483647, w "${KEY}") i'
!macroend

Name "Seekline"
OutFile "${OUTFILE}"
; An upgrade goes where the first install went.
InstallDir "$LOCALAPPDATA\Programs\Seekline"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Seekline ${VERSION}"

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=0 "ProductName" "Seekline"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "Seekline ${VERSION} setup"
VIAddVersionKey /LANG=0 "CompanyName" "Ombrel"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (c) Ombrel"

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Seekline.exe"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The first is the default; the user's display language picks among them.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "TradChinese"

LangString PathFailed ${LANG_ENGLISH} "Your PATH could not be changed: type the full path of Seekline.com in a console, or add $INSTDIR to PATH yourself."
LangString PathFailed ${LANG_TRADCHINESE} "無法變更 PATH：請在主控台輸入 Seekline.com 的完整路徑，或自行將 $INSTDIR 加入 PATH。"

Section "Seekline"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File "${STAGE}\Seekline.exe"
    File "${STAGE}\Seekline.com"
    File "${STAGE}\Seekline.en.mui"
    File "${STAGE}\README.txt"
    File "${STAGE}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\Seekline.lnk" "$INSTDIR\Seekline.exe" "" "$INSTDIR\Seekline.exe" 0

    ; Explorer puts the folder in place of %1, and of %V on a folder's
    ; background. "\." keeps a drive root (C:\) from ending in \", which
    ; would escape the closing quote; the program takes the folder in full
    ; form, where the "\." is gone.
    WriteRegStr HKCU "${FOLDER_MENU_KEY}" "" "以 Seekline 搜尋"
    WriteRegStr HKCU "${FOLDER_MENU_KEY}" "Icon" "$INSTDIR\Seekline.exe,0"
    WriteRegStr HKCU "${FOLDER_MENU_KEY}\command" "" '"$INSTDIR\Seekline.exe" "%1"'
    WriteRegStr HKCU "${BACKGROUND_MENU_KEY}" "" "以 Seekline 搜尋"
    WriteRegStr HKCU "${BACKGROUND_MENU_KEY}" "Icon" "$INSTDIR\Seekline.exe,0"
    WriteRegStr HKCU "${BACKGROUND_MENU_KEY}\command" "" '"$INSTDIR\Seekline.exe" "%V\."'

    ; The helper edits PATH at any length; this script's strings end at 1,024
    ; characters.
    InitPluginsDir
    File "/oname=$PLUGINSDIR\${PATH_HELPER}" "${STAGE}\${PATH_HELPER}"
    ExecWait '"$PLUGINSDIR\${PATH_HELPER}" add "$INSTDIR"' $0
    StrCmp $0 "0" +2
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(PathFailed)" /SD IDOK

    ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Seekline"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Ombrel"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Seekline.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    InitPluginsDir
    File "/oname=$PLUGINSDIR\${PATH_HELPER}" "${STAGE}\${PATH_HELPER}"
    ExecWait '"$PLUGINSDIR\${PATH_HELPER}" remove "$INSTDIR"'

    DeleteRegKey HKCU "${FOLDER_MENU_KEY}"
    DeleteRegKey HKCU "${BACKGROUND_MENU_KEY}"
    !insertmacro DeleteKeyIfEmpty "Software\Classes\Directory\shell"
    !insertmacro DeleteKeyIfEmpty "Software\Classes\Directory\Background\shell"
    !insertmacro DeleteKeyIfEmpty "Software\Classes\Directory\Background"
    !insertmacro DeleteKeyIfEmpty "Software\Classes\Directory"
    Delete "$SMPROGRAMS\Seekline.lnk"

    Delete "$INSTDIR\Seekline.exe"
    Delete "$INSTDIR\Seekline.com"
    Delete "$INSTDIR\Seekline.en.mui"
    ; The English dialog, where the user put it in place as the README says.
    Delete "$INSTDIR\Seekline.exe.mui"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ; The Programs folder too, if the install made it and nothing else is there.
    RMDir "$LOCALAPPDATA\Programs"

    ; Last, so that the entry stays while anything of the install is left.
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    !insertmacro DeleteKeyIfEmpty "Software\Microsoft\Windows\CurrentVersion\Uninstall"
SectionEnd
