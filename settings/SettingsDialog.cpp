// The settings dialog: the user's entries become the search request.
#include "settings/SettingsDialog.h"
#include "settings/OptionTable.h"
#include "settings/SettingsStore.h"
#include "settings/UiText.h"
#include "engine/SearchRequest.h"
#include "resources/resource.h"
#include <shlobj.h>
#include <shlwapi.h>

// Loads the saved entries; a folder given to the program (dropped on its
// icon) takes the place of the last one used.
static void OnInitDialog(HWND dialog, const WCHAR* folder)
{
    // The folder box's edit field is the combo box's first child.
    HWND folderEdit = GetWindow(GetDlgItem(dialog, IDC_FOLDER), GW_CHILD);
    if (folderEdit)
        SHAutoComplete(folderEdit, SHACF_FILESYS_DIRS);
    // The icon lives in the program itself, never in the satellite module.
    HICON icon = LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_APP));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, (LPARAM)icon);
    TransferSettings(dialog, SETTINGS_LOAD);
    if (folder)
        SetDlgItemTextW(dialog, IDC_FOLDER, folder);
}

static void ReadControlText(HWND dialog, int control, WCHAR* text, int capacity)
{
    text[0] = 0;
    SendDlgItemMessageW(dialog, control, WM_GETTEXT, capacity, (LPARAM)text);
}

// Tells the user what is wrong with the entries, in the dialog's language;
// the dialog stays open with them as they are.
static void TellProblem(HWND dialog, const SearchProblem* problem)
{
    WCHAR sentence[UI_TEXT_CHARS];
    WordProblem(DialogModule(dialog), problem, sentence, UI_TEXT_CHARS);
    MessageBoxW(dialog, sentence, L"Seekline", MB_OK | MB_ICONERROR);
}

// Fills a new request from the controls, saves the entries and ends the
// dialog with the request. Each box is read with room for one character more
// than it admits, so that a longer text (a history entry from an older
// version, a text set from outside) is refused rather than cut: the dialog
// then says so and stays open, as it does without memory for the request.
static void OnSearch(HWND dialog)
{
    WCHAR text[SEARCH_TEXT_CHARS + 2];
    WCHAR fileTypes[FILE_TYPES_CHARS + 2];
    WCHAR folder[FOLDER_CHARS + 2];
    ReadControlText(dialog, IDC_SEARCH_TEXT, text, SEARCH_TEXT_CHARS + 2);
    ReadControlText(dialog, IDC_FILE_TYPES, fileTypes, FILE_TYPES_CHARS + 2);
    ReadControlText(dialog, IDC_FOLDER, folder, FOLDER_CHARS + 2);
    SearchEntries entries;
    entries.text = text;
    entries.fileTypes = fileTypes;
    entries.folder = folder;
    ZeroMemory(&entries.options, sizeof entries.options);
    for (int n = 0; n < OptionFieldCount; n++) {
        const OptionField* field = &OptionFields[n];
        HWND box = GetDlgItem(dialog, field->control);
        entries.options.*field->flag = box ? (LONG)SendMessageW(box, BM_GETCHECK, 0, 0) : SavedOption(field);
    }
    SearchProblem problem;
    SearchRequest* request = NewSearchRequest(&entries, &problem);
    if (!request) {
        TellProblem(dialog, &problem);
        return;
    }
    TransferSettings(dialog, SETTINGS_SAVE);
    EndDialog(dialog, (INT_PTR)request);
}

// Lets the user pick the folder in the shell's browser, which opens on the
// folder typed so far.
static void OnBrowse(HWND dialog)
{
    WCHAR typed[PATH_CHARS];
    ReadControlText(dialog, IDC_FOLDER, typed, PATH_CHARS);
    BROWSEINFOW browse;
    ZeroMemory(&browse, sizeof browse);
    browse.hwndOwner = dialog;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    browse.lpfn = BrowseCallbackProc;
    browse.lParam = (LPARAM)typed;
    PIDLIST_ABSOLUTE picked = SHBrowseForFolderW(&browse);
    if (picked) {
        WCHAR path[MAX_PATH];
        if (SHGetPathFromIDListW(picked, path))
            SetDlgItemTextW(dialog, IDC_FOLDER, path);
        CoTaskMemFree(picked);
    }
    SetFocus(GetDlgItem(dialog, IDC_FOLDER));
}

// Only the whole command parameter counts, so notifications other than a
// click (code 0) are ignored.
static void OnCommand(HWND dialog, WPARAM command)
{
    switch (command) {
    case IDCANCEL: EndDialog(dialog, 0); break;
    case IDC_SEARCH: OnSearch(dialog); break;
    case IDC_BROWSE: OnBrowse(dialog); break;
    }
}

// Returns 0 for every message, WM_INITDIALOG included, so the dialog manager
// sets no first focus of its own.
INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog, (const WCHAR*)lParam); break;
    case WM_COMMAND: OnCommand(dialog, wParam); break;
    }
    return 0;
}

int CALLBACK BrowseCallbackProc(HWND browser, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED)
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}
