// The setup program's helper for the user's PATH (HKCU\Environment "Path"):
//   SeeklinePath add FOLDER           appends FOLDER unless an entry names it already;
//   SeeklinePath remove FOLDER        drops the last entry that names FOLDER, the one
//                                     an add appended; a value left empty stays;
//   SeeklinePath remove-value FOLDER  the same, and deletes a value left empty, for an
//                                     add that made the value.
// An entry names FOLDER as Windows reads it: case aside, with or without a
// closing backslash. The installer's own string handling stops at 1,024
// characters, and a PATH cut there would be written back cut: this reads and
// writes the value whole, at any length, keeps its type (REG_EXPAND_SZ keeps
// %VARIABLE% entries working) and every other entry as it was, byte for byte.
// After a change it tells running programs that the environment changed, as
// the system's own settings do. Exit code 0 changed as asked, 3 add made the
// value (there was none), 4 nothing to do (add: an entry names FOLDER already;
// remove: none does), 1 the value could not be read or written, 2 bad usage.
#include <windows.h>
#include <shellapi.h>

#define BROADCAST_WAIT_MS 5000

enum PathResult {
    PATH_CHANGED = 0,
    PATH_FAILED = 1,
    PATH_USAGE = 2,
    PATH_MADE = 3,
    PATH_UNCHANGED = 4,
};

// A folder named with or without a closing backslash is the same folder.
static int TrimmedLength(const WCHAR* text, int length)
{
    while (length > 1 && text[length - 1] == L'\\')
        length--;
    return length;
}

static BOOL NamesFolder(const WCHAR* entry, int length, const WCHAR* folder)
{
    return CompareStringOrdinal(entry, TrimmedLength(entry, length), folder, TrimmedLength(folder, lstrlenW(folder)),
                                TRUE) == CSTR_EQUAL;
}

// Reads the value whole into a buffer from the process heap with room for
// extra more characters; when there is none, *found is FALSE, *type
// REG_EXPAND_SZ and the text empty. NULL if it cannot be read or is not a text.
static WCHAR* ReadUserPath(HKEY key, DWORD* type, int* length, BOOL* found, int extra)
{
    for (;;) {
        DWORD bytes = 0;
        LSTATUS status = RegQueryValueExW(key, L"Path", NULL, type, NULL, &bytes);
        *found = status != ERROR_FILE_NOT_FOUND;
        if (!*found) {
            *type = REG_EXPAND_SZ;
            bytes = 0;
        } else if (status != ERROR_SUCCESS || (*type != REG_SZ && *type != REG_EXPAND_SZ))
            return NULL;
        DWORD room = bytes + (extra + 2) * sizeof(WCHAR);
        WCHAR* text = (WCHAR*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, room);
        if (!text)
            return NULL;
        DWORD got = bytes;
        if (bytes)
            status = RegQueryValueExW(key, L"Path", NULL, type, (BYTE*)text, &got);
        if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
            // The stored value need not end in a terminator, or may hold several.
            int n = (int)(got / sizeof(WCHAR));
            while (n > 0 && text[n - 1] == 0)
                n--;
            text[n] = 0;
            *length = n;
            return text;
        }
        HeapFree(GetProcessHeap(), 0, text);
        // ERROR_MORE_DATA: it grew between the two reads; read it again.
        if (status != ERROR_MORE_DATA)
            return NULL;
    }
}

// The last entry that names folder, as [*start, *end); FALSE when none does.
static BOOL FindLastEntry(const WCHAR* text, int length, const WCHAR* folder, int* start, int* end)
{
    BOOL found = FALSE;
    for (int from = 0; from <= length;) {
        int to = from;
        while (to < length && text[to] != L';')
            to++;
        if (to > from && NamesFolder(text + from, to - from, folder)) {
            *start = from;
            *end = to;
            found = TRUE;
        }
        from = to + 1;
    }
    return found;
}

// Appends folder, after a separator unless the text is empty or ends in one;
// after a closing separator the folder gets one of its own, so that taking it
// out again gives back the text as it was. FALSE when it is there already.
static BOOL AddFolder(WCHAR* text, int* length, const WCHAR* folder)
{
    int n = *length, start, end;
    if (FindLastEntry(text, n, folder, &start, &end))
        return FALSE;
    BOOL closingSeparator = n > 0 && text[n - 1] == L';';
    if (n > 0 && !closingSeparator)
        text[n++] = L';';
    lstrcpyW(text + n, folder);
    n += lstrlenW(folder);
    if (closingSeparator)
        text[n++] = L';';
    text[n] = 0;
    *length = n;
    return TRUE;
}

// Drops the last entry that names folder with the separator before it (the
// one after it when it comes first); every other entry, empty ones too,
// stays as it stood. FALSE when none names it.
static BOOL RemoveFolder(WCHAR* text, int* length, const WCHAR* folder)
{
    int n = *length, start, end;
    if (!FindLastEntry(text, n, folder, &start, &end))
        return FALSE;
    if (start > 0)
        start--;
    else if (end < n)
        end++;
    for (int i = end; i <= n; i++)
        text[start + i - end] = text[i];
    *length = n - (end - start);
    return TRUE;
}

static int ChangeUserPath(BOOL add, BOOL deleteEmptied, const WCHAR* folder)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Environment", 0, NULL, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return PATH_FAILED;
    DWORD type;
    int length;
    BOOL found;
    int result = PATH_FAILED;
    WCHAR* text = ReadUserPath(key, &type, &length, &found, lstrlenW(folder) + 2);
    if (text) {
        BOOL changed = add ? AddFolder(text, &length, folder) : RemoveFolder(text, &length, folder);
        LSTATUS status = ERROR_SUCCESS;
        if (changed && length == 0 && deleteEmptied)
            status = RegDeleteValueW(key, L"Path");
        else if (changed)
            status = RegSetValueExW(key, L"Path", 0, type, (const BYTE*)text, (length + 1) * sizeof(WCHAR));
        if (changed && status == ERROR_SUCCESS)
            SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, (LPARAM)L"Environment", SMTO_ABORTIFHUNG,
                                BROADCAST_WAIT_MS, NULL);
        if (status != ERROR_SUCCESS)
            result = PATH_FAILED;
        else if (!changed)
            result = PATH_UNCHANGED;
        else
            result = add && !found ? PATH_MADE : PATH_CHANGED;
        HeapFree(GetProcessHeap(), 0, text);
    }
    RegCloseKey(key);
    return result;
}

extern "C" void UserPathEntry()
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    int result = PATH_USAGE;
    if (arguments && count == 3 && arguments[2][0]) {
        if (lstrcmpiW(arguments[1], L"add") == 0)
            result = ChangeUserPath(TRUE, FALSE, arguments[2]);
        else if (lstrcmpiW(arguments[1], L"remove") == 0)
            result = ChangeUserPath(FALSE, FALSE, arguments[2]);
        else if (lstrcmpiW(arguments[1], L"remove-value") == 0)
            result = ChangeUserPath(FALSE, TRUE, arguments[2]);
    }
    ExitProcess(result);
}
