// The editor dialog: the "Editor" value of the settings key.
#include "run/EditorDialog.h"
#include "run/EditorLaunch.h"
#include "resources/resource.h"
#include "settings/SettingsStore.h"
#include "settings/UiText.h"
#include <commdlg.h>

// The dialog's text, read and written whole; the settings key holds it.
static WCHAR Command[COMMAND_LINE_CHARS];

// Shows the command line saved, and offers those of the editors found.
static void OnInitDialog(HWND dialog)
{
    HWND box = GetDlgItem(dialog, IDC_EDITOR_COMMAND);
    SendMessageW(box, CB_LIMITTEXT, COMMAND_LINE_CHARS - 1, 0);
    for (int n = 0; n < KNOWN_EDITORS; n++) {
        if (FindKnownEditor(n, Command, COMMAND_LINE_CHARS))
            SendMessageW(box, CB_ADDSTRING, 0, (LPARAM)Command);
    }
    ReadSettingText(EDITOR_VALUE, Command, COMMAND_LINE_CHARS);
    SetWindowTextW(box, Command);
    SetFocus(box);
}

// Lets the user pick a program; it then opens the file it is given.
static void OnBrowse(HWND dialog)
{
    WCHAR filter[256], program[MAX_PATH] = L"";
    int length = LoadUiText(DialogModule(dialog), IDS_EDITOR_FILTER, filter, 255);
    for (int n = 0; n < length; n++) {
        if (filter[n] == L'|')
            filter[n] = 0;
    }
    filter[length] = 0;
    OPENFILENAMEW open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = dialog;
    open.lpstrFilter = filter;
    open.lpstrFile = program;
    open.nMaxFile = MAX_PATH;
    open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (GetOpenFileNameW(&open)) {
        wsprintfW(Command, L"\"%s\" \"%%path%%\"", program);
        SetDlgItemTextW(dialog, IDC_EDITOR_COMMAND, Command);
    }
    SetFocus(GetDlgItem(dialog, IDC_EDITOR_COMMAND));
}

static INT_PTR CALLBACK EditorDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); return FALSE;
    case WM_COMMAND:
        if (wParam == IDC_EDITOR_BROWSE) {
            OnBrowse(dialog);
        } else if (wParam == IDOK) {
            GetDlgItemTextW(dialog, IDC_EDITOR_COMMAND, Command, COMMAND_LINE_CHARS);
            WriteSettingText(EDITOR_VALUE, Command);
            EndDialog(dialog, IDOK);
        } else if (wParam == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    }
    return FALSE;
}

void ShowEditorDialog(HWND owner, HMODULE module)
{
    DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_EDITOR), owner, EditorDlgProc, 0);
}
