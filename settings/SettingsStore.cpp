// The settings dialog's history lists and check boxes, kept between runs in
// HKEY_CURRENT_USER "Software\Ombrel\Seekline".
#include "settings/SettingsStore.h"
#include "settings/OptionTable.h"
#include "resources/resource.h"

// Entries kept per history list.
#define HISTORY_ENTRIES 20

// A history value is read into 2048 bytes. A value that fills them without a
// terminator is cut one character short, so the longest list item is 1023
// characters and a saved item always fits the next read.
#define HISTORY_VALUE_BYTES 2048
#define HISTORY_ITEM_CHARS (HISTORY_VALUE_BYTES / sizeof(WCHAR))

// A flag value is read into 16 bytes; only its first unit counts.
#define FLAG_VALUE_BYTES 16

struct HistoryList {
    int control;
    const WCHAR* valueFormat;
    int limit;  // what the box admits: what the request keeps
};

static const HistoryList historyLists[] = {
    {IDC_SEARCH_TEXT, L"TXT%u", SEARCH_TEXT_CHARS},
    {IDC_FILE_TYPES, L"EXT%u", FILE_TYPES_CHARS},
    {IDC_FOLDER, L"DIR%u", FOLDER_CHARS},
};

// Reads a value as text into text (capacity units). The value's type is not
// checked and it need not be terminated: the text ends where the value does,
// at the latest in the last unit. Returns FALSE if the value is missing or
// longer than the buffer.
static BOOL ReadText(HKEY key, const WCHAR* name, WCHAR* text, DWORD capacity)
{
    DWORD bytes = capacity * sizeof(WCHAR);
    if (RegQueryValueExW(key, name, NULL, NULL, (BYTE*)text, &bytes) != ERROR_SUCCESS)
        return FALSE;
    DWORD end = bytes / sizeof(WCHAR);
    if (end > capacity - 1)
        end = capacity - 1;
    text[end] = 0;
    return TRUE;
}

static void WriteStringValue(HKEY key, const WCHAR* name, const WCHAR* text)
{
    RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)text, (lstrlenW(text) + 1) * sizeof(WCHAR));
}

// Fills the list from value 1 upwards until a value cannot be read; the
// most recent entry ends up in the edit field.
static void LoadHistory(HKEY key, HWND combo, const HistoryList* list)
{
    SendMessageW(combo, CB_LIMITTEXT, list->limit, 0);
    WCHAR name[16];
    WCHAR item[HISTORY_ITEM_CHARS];
    unsigned n = 1;
    for (;; n++) {
        wsprintfW(name, list->valueFormat, n);
        if (!ReadText(key, name, item, HISTORY_ITEM_CHARS))
            break;
        SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)item);
    }
    if (n > 1)
        SendMessageW(combo, CB_SETCURSEL, 0, 0);
}

// Moves the current text to the top of the list, dropping an equal entry in
// any letter case, and writes the first twenty entries. An empty text
// leaves both the list and the stored values alone. The settings dialog has
// refused a text longer than the box admits before it saves.
static void SaveHistory(HKEY key, HWND combo, const HistoryList* list)
{
    // The typed text first, then each list item in turn. CB_GETLBTEXT takes
    // no buffer size: no item is longer than HISTORY_ITEM_CHARS - 1, and the
    // length is checked anyway.
    WCHAR text[HISTORY_ITEM_CHARS];
    text[0] = 0;
    SendMessageW(combo, WM_GETTEXT, list->limit + 1, (LPARAM)text);
    if (text[0] == 0)
        return;
    LRESULT found = SendMessageW(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text);
    if (found != CB_ERR)
        SendMessageW(combo, CB_DELETESTRING, found, 0);
    SendMessageW(combo, CB_INSERTSTRING, 0, (LPARAM)text);

    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    if (count > HISTORY_ENTRIES)
        count = HISTORY_ENTRIES;
    WCHAR name[16];
    for (unsigned n = 1; n <= HISTORY_ENTRIES; n++) {
        wsprintfW(name, list->valueFormat, n);
        if ((LRESULT)n > count) {
            RegDeleteValueW(key, name);
            continue;
        }
        LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, n - 1, 0);
        if (length < 0 || length >= (LRESULT)HISTORY_ITEM_CHARS)
            continue;
        if (SendMessageW(combo, CB_GETLBTEXT, n - 1, (LPARAM)text) == CB_ERR)
            continue;
        WriteStringValue(key, name, text);
    }
}

// A flag as stored: 1 for a value whose first unit is "Y", 0 for another
// value, -1 when there is none to read.
static LONG ReadFlag(HKEY key, const WCHAR* name)
{
    WCHAR value[FLAG_VALUE_BYTES / sizeof(WCHAR)];
    if (!ReadText(key, name, value, FLAG_VALUE_BYTES / sizeof(WCHAR)))
        return -1;
    return value[0] == L'Y';
}

// A dialog from a satellite module made before an option existed has no box
// for it: the option then keeps its stored state, which OnSearch takes into
// the request (SavedOption).
static BOOL KeepsStoredState(HWND dialog, const OptionField* flag)
{
    return !GetDlgItem(dialog, flag->control);
}

static void LoadFlag(HKEY key, HWND dialog, const OptionField* flag)
{
    LONG stored = ReadFlag(key, flag->valueName);
    // The template's boxes start unchecked.
    if (stored < 0 && flag->unsaved)
        stored = flag->unsaved;
    if (stored >= 0 && !KeepsStoredState(dialog, flag))
        SendDlgItemMessageW(dialog, flag->control, BM_SETCHECK, stored ? BST_CHECKED : BST_UNCHECKED, 0);
}

static void SaveFlag(HKEY key, HWND dialog, const OptionField* flag)
{
    if (KeepsStoredState(dialog, flag))
        return;
    BOOL checked = SendDlgItemMessageW(dialog, flag->control, BM_GETCHECK, 0, 0) != 0;
    WriteStringValue(key, flag->valueName, checked ? L"Y" : L"N");
}

static BOOL OpenSettingsKey(HKEY* key)
{
    return RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Ombrel\\Seekline", 0, NULL, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, NULL, key, NULL) == ERROR_SUCCESS;
}

LONG SavedOption(const OptionField* option)
{
    HKEY key;
    if (!OpenSettingsKey(&key))
        return option->unsaved;
    LONG stored = ReadFlag(key, option->valueName);
    RegCloseKey(key);
    return stored < 0 ? option->unsaved : stored > 0;
}

BOOL ReadSettingText(const WCHAR* name, WCHAR* text, DWORD capacity)
{
    text[0] = 0;
    HKEY key;
    if (!OpenSettingsKey(&key))
        return FALSE;
    BOOL read = ReadText(key, name, text, capacity);
    RegCloseKey(key);
    if (!read)
        text[0] = 0;
    return read;
}

void WriteSettingText(const WCHAR* name, const WCHAR* text)
{
    HKEY key;
    if (!OpenSettingsKey(&key))
        return;
    WriteStringValue(key, name, text);
    RegCloseKey(key);
}

void TransferSettings(HWND dialog, int direction)
{
    HKEY key;
    if (!OpenSettingsKey(&key))
        return;
    for (const HistoryList& list : historyLists) {
        HWND combo = GetDlgItem(dialog, list.control);
        if (direction == SETTINGS_LOAD)
            LoadHistory(key, combo, &list);
        else
            SaveHistory(key, combo, &list);
    }
    for (int n = 0; n < OptionFieldCount; n++) {
        const OptionField* flag = &OptionFields[n];
        if (direction == SETTINGS_LOAD)
            LoadFlag(key, dialog, flag);
        else
            SaveFlag(key, dialog, flag);
    }
    RegCloseKey(key);
}
