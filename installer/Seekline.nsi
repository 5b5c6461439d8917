; Seekline's setup program: a per-user install, with no administrator rights,
; into %LOCALAPPDATA%\Programs\Seekline. It registers a Start menu shortcut,
; the install folder on the user's PATH, Explorer's "Search with Seekline" on
; folders and folder backgrounds, and the entry in Apps & features; the
; uninstaller takes all of it away again and leaves the saved searches
; (HKCU\Software\Ombrel\Seekline) as they are. /S installs and uninstalls
; silently; installing over an older version replaces it in place. Neither
; changes anything while another program holds a file of the install (a
; running Seekline holds its own): they wait for it to be closed. Exit codes:
; 0 done, 1 cancelled on a page, 2 a file stayed in use and nothing was
; changed, 3 done in part (a file or the PATH could not be changed); the
; uninstall entry stays as long as a file of the install is left. For a user
; whose Windows is not in Chinese the components page has the English texts
; ticked: the English satellite is installed as Seekline.exe.mui, which the
; program then takes its dialogs and texts from; unticked, a satellite put
; there before goes.
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
; How long /S waits for a file of the install that another program holds,
; in tries a quarter of a second apart.
!define SILENT_WAIT_TRIES 60
!define RETRY_MS 250
!define GENERIC_WRITE 0x40000000
!define FILE_SHARE_READ 1
!define OPEN_EXISTING 3
!define ERROR_SHARING_VIOLATION 32
!define ERROR_LOCK_VIOLATION 33

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
!include "LogicLib.nsh"
!include "Sections.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Seekline.exe"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!define MUI_COMPONENTSPAGE_TEXT_TOP "$LanguageNote"
!insertmacro MUI_PAGE_COMPONENTS
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
LangString PathNotRestored ${LANG_ENGLISH} "Your PATH could not be changed: remove $INSTDIR from it yourself."
LangString PathNotRestored ${LANG_TRADCHINESE} "無法變更 PATH：請自行將 $INSTDIR 從 PATH 移除。"
LangString FileInUse ${LANG_ENGLISH} "Seekline is running, or another program is using $R0 in $INSTDIR. Close it, then choose Retry. Cancel leaves everything as it is."
LangString FileInUse ${LANG_TRADCHINESE} "Seekline 正在執行，或有其他程式正在使用 $INSTDIR 中的 $R0。請關閉它，再按「重試」。按「取消」則一切維持原狀。"
LangString ProgramSection ${LANG_ENGLISH} "Seekline"
LangString ProgramSection ${LANG_TRADCHINESE} "Seekline"
LangString EnglishSection ${LANG_ENGLISH} "English texts"
LangString EnglishSection ${LANG_TRADCHINESE} "英文介面"
LangString EnglishHelp ${LANG_ENGLISH} "Seekline's dialogs, results window and messages in English (Seekline.exe.mui). Without it they are in Traditional Chinese."
LangString EnglishHelp ${LANG_TRADCHINESE} "以英文顯示 Seekline 的對話方塊、結果視窗和訊息（Seekline.exe.mui）。不安裝則以繁體中文顯示。"
LangString EnglishNote ${LANG_ENGLISH} "Your Windows is not in Chinese, so Seekline will show its dialogs and messages in English. Untick English texts to have them in Traditional Chinese."
LangString EnglishNote ${LANG_TRADCHINESE} "您的 Windows 不是中文版，因此 Seekline 會以英文顯示對話方塊和訊息。取消勾選「英文介面」即改以繁體中文顯示。"
LangString ChineseNote ${LANG_ENGLISH} "Your Windows is in Chinese, so Seekline will show its dialogs and messages in Traditional Chinese. Tick English texts to have them in English."
LangString ChineseNote ${LANG_TRADCHINESE} "您的 Windows 是中文版，因此 Seekline 會以繁體中文顯示對話方塊和訊息。勾選「英文介面」即改以英文顯示。"
LangString FileLeft ${LANG_ENGLISH} "$R0 could not be removed from $INSTDIR. Close the program that uses it, then remove Seekline again."
LangString FileLeft ${LANG_TRADCHINESE} "無法從 $INSTDIR 移除 $R0。請關閉正在使用它的程式，再移除 Seekline 一次。"

; Set when a step of the install or the uninstall failed.
Var Incomplete
; What the components page says of the user's language.
Var LanguageNote

; The files of the install but the uninstaller, each handed to the macro
; DO: those the setup program writes, and the English dialog that the user
; may have put in place as the README says.
!macro ForEachFile DO
    !insertmacro ${DO} "Seekline.exe"
    !insertmacro ${DO} "Seekline.com"
    !insertmacro ${DO} "Seekline.en.mui"
    !insertmacro ${DO} "Seekline.exe.mui"
    !insertmacro ${DO} "README.txt"
    !insertmacro ${DO} "LICENSE.txt"
!macroend

; Puts NAME in $R0 when another program holds the file so that it can be
; neither replaced nor deleted, as a running program holds its own file. The
; uninstaller running from the install folder holds its own, and is left out.
!macro NoteIfInUse NAME
    ${If} "$INSTDIR\${NAME}" != $EXEPATH
        System::Call 'kernel32::CreateFileW(w "$INSTDIR\${NAME}", i ${GENERIC_WRITE}, i ${FILE_SHARE_READ}, p 0, i ${OPEN_EXISTING}, i 0, p 0) p .r0 ?e'
        Pop $1
        ${If} $0 != -1
            System::Call 'kernel32::CloseHandle(p r0)'
        ${ElseIf} $1 = ${ERROR_SHARING_VIOLATION}
        ${OrIf} $1 = ${ERROR_LOCK_VIOLATION}
            StrCpy $R0 "${NAME}"
        ${EndIf}
    ${EndIf}
!macroend

!macro NoteIfLeft NAME
    ${If} ${FileExists} "$INSTDIR\${NAME}"
        StrCpy $R0 "${NAME}"
    ${EndIf}
!macroend

!macro DeleteInstalled NAME
    Delete "$INSTDIR\${NAME}"
!macroend

; Returns once no other program holds a file of the install; until then asks
; the user to close it, or with /S tries again for a while. When it stays
; held, ends the program with exit code 2, nothing changed.
!macro WaitForFreeFilesFunction UN
Function ${UN}WaitForFreeFiles
    StrCpy $R1 0
    ${Do}
        StrCpy $R0 ""
        !insertmacro ForEachFile NoteIfInUse
        !insertmacro NoteIfInUse "uninstall.exe"
        ${If} $R0 == ""
            Return
        ${EndIf}
        ${If} ${Silent}
            IntOp $R1 $R1 + 1
            ${IfThen} $R1 > ${SILENT_WAIT_TRIES} ${|} ${Break} ${|}
            Sleep ${RETRY_MS}
        ${ElseIf} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(FileInUse)" IDCANCEL`
            ${Break}
        ${EndIf}
    ${Loop}
    DetailPrint "$(FileInUse)"
    SetErrorLevel 2
    Quit
FunctionEnd
!macroend
!insertmacro WaitForFreeFilesFunction ""
!insertmacro WaitForFreeFilesFunction "un."

Section "$(ProgramSection)" ProgramSection
    SectionIn RO
    SetShellVarContext current
    Call WaitForFreeFiles
    ; From the first file on, an end before the last step leaves the install
    ; in part.
    SetErrorLevel 3
    ClearErrors
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

    ${IfThen} ${Errors} ${|} StrCpy $Incomplete 1 ${|}

    ; The helper edits PATH at any length; this script's strings end at 1,024
    ; characters.
    InitPluginsDir
    File "/oname=$PLUGINSDIR\${PATH_HELPER}" "${STAGE}\${PATH_HELPER}"
    ; The uninstall entry remembers whether the install added the PATH entry,
    ; or made the value for it, so that the uninstall takes away only that. An
    ; upgrade finds the entry there and keeps what the first install noted.
    ExecWait '"$PLUGINSDIR\${PATH_HELPER}" add "$INSTDIR"' $0
    ${If} $0 == 0
        WriteRegDWORD HKCU "${UNINSTALL_KEY}" "PathEntryAdded" 1
    ${ElseIf} $0 == 3
        WriteRegDWORD HKCU "${UNINSTALL_KEY}" "PathEntryAdded" 2
    ${ElseIf} $0 != 4
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(PathFailed)" /SD IDOK
        StrCpy $Incomplete 1
    ${EndIf}

    ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
    ClearErrors
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Seekline"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Ombrel"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Seekline.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    ; Started in place, the uninstaller ends when its work is done, with its
    ; exit code; without _?= it hands the work to a copy of itself and ends at once.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${IfThen} ${Errors} ${|} StrCpy $Incomplete 1 ${|}
    ${IfThen} $Incomplete == "" ${|} SetErrorLevel 0 ${|}
SectionEnd

; The English satellite where the program looks for one; after the program's
; own files, so that a failure here is one of a finished install.
Section "$(EnglishSection)" EnglishSection
    ClearErrors
    SetOutPath "$INSTDIR"
    File "/oname=Seekline.exe.mui" "${STAGE}\Seekline.en.mui"
    ${If} ${Errors}
        StrCpy $Incomplete 1
        SetErrorLevel 3
    ${EndIf}
SectionEnd

; Unticked, the program keeps its own texts: a satellite from before goes.
Section "-WithoutEnglish"
    ${IfNot} ${SectionIsSelected} ${EnglishSection}
        Delete "$INSTDIR\Seekline.exe.mui"
    ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${EnglishSection} "$(EnglishHelp)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; The English texts are ticked for a user whose Windows does not show
; Chinese, by the primary language of the user's display language.
Function .onInit
    System::Call 'kernel32::GetUserDefaultUILanguage() i .r0'
    IntOp $0 $0 & 0x3FF
    ${If} $0 = 0x04
        !insertmacro UnselectSection ${EnglishSection}
        StrCpy $LanguageNote "$(ChineseNote)"
    ${Else}
        !insertmacro SelectSection ${EnglishSection}
        StrCpy $LanguageNote "$(EnglishNote)"
    ${EndIf}
FunctionEnd

; Deletes the uninstaller, the install folder if nothing else is left there,
; and last the uninstall entry, so that it stays while the uninstaller does;
; waits a while for an uninstaller that is still ending.
Function un.RemoveUninstaller
    ${For} $R1 0 ${SILENT_WAIT_TRIES}
        Delete "$INSTDIR\uninstall.exe"
        ${IfNotThen} ${FileExists} "$INSTDIR\uninstall.exe" ${|} ${Break} ${|}
        Sleep ${RETRY_MS}
    ${Next}
    RMDir "$INSTDIR"
    ; The Programs folder too, if the install made it and nothing else is there.
    RMDir "$LOCALAPPDATA\Programs"
    ${If} ${FileExists} "$INSTDIR\uninstall.exe"
        StrCpy $R0 "uninstall.exe"
        MessageBox MB_OK|MB_ICONSTOP "$(FileLeft)" /SD IDOK
        StrCpy $Incomplete 1
        SetErrorLevel 3
    ${Else}
        DeleteRegKey HKCU "${UNINSTALL_KEY}"
        !insertmacro DeleteKeyIfEmpty "Software\Microsoft\Windows\CurrentVersion\Uninstall"
    ${EndIf}
FunctionEnd

; /finish: the copy that ends an uninstall started in place, once every
; other file of the install is gone.
Function un.onInit
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/finish" $1
    ${IfNot} ${Errors}
        StrCpy $R0 ""
        !insertmacro ForEachFile NoteIfLeft
        ${IfThen} $R0 == "" ${|} Call un.RemoveUninstaller ${|}
        Quit
    ${EndIf}
FunctionEnd

Section "Uninstall"
    SetShellVarContext current
    ; Out of the install folder, which is to go.
    SetOutPath "$TEMP"
    Call un.WaitForFreeFiles
    SetErrorLevel 3
    InitPluginsDir
    File "/oname=$PLUGINSDIR\${PATH_HELPER}" "${STAGE}\${PATH_HELPER}"
    ; Only what the install added: an entry the user had stays, and so does a
    ; value that was there before, even empty.
    ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "PathEntryAdded"
    StrCpy $1 4
    ${If} $0 = 1
        ExecWait '"$PLUGINSDIR\${PATH_HELPER}" remove "$INSTDIR"' $1
    ${ElseIf} $0 = 2
        ExecWait '"$PLUGINSDIR\${PATH_HELPER}" remove-value "$INSTDIR"' $1
    ${EndIf}
    ${If} $1 == 0
    ${OrIf} $1 == 4
        DeleteRegValue HKCU "${UNINSTALL_KEY}" "PathEntryAdded"
    ${Else}
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(PathNotRestored)" /SD IDOK
        StrCpy $Incomplete 1
    ${EndIf}

    DeleteRegKey HKCU "${FOLDER_MENU_KEY}"
    DeleteRegKey HKCU "${BACKGROUND_MENU_KEY}"
    !insertmacro DeleteKeyIfEmpty "Software\Classes\Directory\shell"
    !insertmacro DeleteKeyIfEmpty "Software\Classes\Directory\Background\shell"
    !insertmacro DeleteKeyIfEmpty "Software\Classes\Directory\Background"
    !insertmacro DeleteKeyIfEmpty "Software\Classes\Directory"
    Delete "$SMPROGRAMS\Seekline.lnk"

    !insertmacro ForEachFile DeleteInstalled
    StrCpy $R0 ""
    !insertmacro ForEachFile NoteIfLeft
    ${If} $R0 != ""
        ; The uninstaller and its entry stay, to finish the work another time.
        MessageBox MB_OK|MB_ICONSTOP "$(FileLeft)" /SD IDOK
        Return
    ${EndIf}
    ${IfThen} $Incomplete == "" ${|} SetErrorLevel 0 ${|}
    ${If} $EXEDIR == $INSTDIR
        ; Started in place (_?=) so that its caller waits for its exit code, the
        ; uninstaller cannot delete its own file: a copy of it in the temporary
        ; folder does that once this one has ended.
        Exec '"$INSTDIR\uninstall.exe" /S /finish'
    ${Else}
        Call un.RemoveUninstaller
    ${EndIf}
SectionEnd
