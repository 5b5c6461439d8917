// The settings dialog: the user's entries become the search request.
#include "settings/SettingsDialog.h"
#include "settings/SettingsStore.h"
#include "engine/SearchRequest.h"
#include "resources/resource.h"
#include <shlobj.h>
#include <shlwapi.h>

// The search box is read with room for its longest text and the terminator.
#define SEARCH_TEXT_BUFFER (SEARCH_TEXT_CHARS + 1)

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

static LONG CheckState(HWND dialog, int control)
{
    return (LONG)SendDlgItemMessageW(dialog, control, BM_GETCHECK, 0, 0);
}

// Fills a new request from the controls, saves the entries and ends the
// dialog with the request. Nothing is validated; without memory for the
// request, or with a search text that cannot be converted whole, the dialog
// stays open.
static void OnSearch(HWND dialog)
{
    WCHAR text[SEARCH_TEXT_BUFFER];
    WCHAR fileTypes[PATH_CHARS];
    WCHAR folder[PATH_CHARS];
    ReadControlText(dialog, IDC_SEARCH_TEXT, text, SEARCH_TEXT_BUFFER);
    ReadControlText(dialog, IDC_FILE_TYPES, fileTypes, PATH_CHARS);
    ReadControlText(dialog, IDC_FOLDER, folder, PATH_CHARS);
    SearchEntries entries;
    entries.text = text;
    entries.fileTypes = fileTypes;
    entries.folder = folder;
    entries.matchCase = CheckState(dialog, IDC_MATCH_CASE);
    entries.skipComments = CheckState(dialog, IDC_SKIP_COMMENTS);
    entries.stringsOnly = CheckState(dialog, IDC_STRINGS_ONLY);
    entries.ampVariants = CheckState(dialog, IDC_AMP_VARIANTS);
    entries.searchSubfolders = CheckState(dialog, IDC_SUBFOLDERS);
    SearchRequest* request = NewSearchRequest(&entries);
    if (!request)
        return;
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
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    case IDC_SEARCH:
        OnSearch(dialog);
        break;
    case IDC_BROWSE:
        OnBrowse(dialog);
        break;
    }
}

// Returns 0 for every message, WM_INITDIALOG included, so the dialog manager
// sets no first focus of its own.
INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog, (const WCHAR*)lParam);
        break;
    case WM_COMMAND:
        OnCommand(dialog, wParam);
        break;
    }
    return 0;
}

int CALLBACK BrowseCallbackProc(HWND browser, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED)
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}
