// Finding the user's editor and starting it at a hit.
#include "run/EditorLaunch.h"
#include "settings/SettingsStore.h"
#include <shellapi.h>
#include <shlwapi.h>

// Room for a program's path as the registry or PATH gives it.
#define PROGRAM_CHARS 1024
// Room for a subkey's name in the uninstall entries.
#define ENTRY_NAME_CHARS 256

struct KnownEditor {
    const WCHAR* program;      // its file, as App Paths and PATH name it
    const WCHAR* displayName;  // how its uninstall entry's DisplayName begins
    const WCHAR* launcher;     // a file on PATH in a folder below the program's own (VS Code's bin\code.cmd), or NULL
    const WCHAR* arguments;    // behind the program's quoted path
};

static const KnownEditor KnownEditors[KNOWN_EDITORS] = {
    {L"Code.exe", L"Microsoft Visual Studio Code", L"code.cmd", L" --goto \"%path%:%line%:%column%\""},
    {L"notepad++.exe", L"Notepad++", NULL, L" -n%line% -c%column% \"%path%\""},
};

static const WCHAR UninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The command line being started: CreateProcessW may write into it.
static WCHAR Started[COMMAND_LINE_CHARS];
static WCHAR Template[COMMAND_LINE_CHARS];

// TRUE when text begins with prefix, in any letter case.
static BOOL StartsWith(const WCHAR* text, const WCHAR* prefix)
{
    int length = lstrlenW(prefix);
    return lstrlenW(text) >= length && CompareStringOrdinal(text, length, prefix, length, TRUE) == CSTR_EQUAL;
}

static BOOL IsFile(const WCHAR* path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Takes the quotes off a path and a ",0" icon number behind it.
static void BarePath(WCHAR* path)
{
    if (path[0] == L'"') {
        int n = 1;
        while (path[n] && path[n] != L'"')
            n++;
        path[n] = 0;
        MoveMemory(path, path + 1, (SIZE_T)n * sizeof(WCHAR));
        return;
    }
    WCHAR* comma = StrRChrW(path, NULL, L',');
    if (comma && StrChrW(comma, L'\\') == NULL)
        *comma = 0;
}

// A text value of a key below root in the registry's view (0, or
// KEY_WOW64_32KEY or KEY_WOW64_64KEY), expanded, into text; FALSE when missing.
static BOOL ReadText(HKEY root, const WCHAR* key, const WCHAR* name, WCHAR* text, DWORD capacity, REGSAM view)
{
    text[0] = 0;
    HKEY opened;
    if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS)
        return FALSE;
    DWORD bytes = capacity * sizeof(WCHAR);
    LONG result = RegGetValueW(opened, NULL, name, RRF_RT_REG_SZ, NULL, text, &bytes);
    RegCloseKey(opened);
    if (result != ERROR_SUCCESS)
        text[0] = 0;
    return result == ERROR_SUCCESS;
}

// The program as App Paths registers it, for the user or for all.
static BOOL FromAppPaths(const KnownEditor* editor, WCHAR* found)
{
    WCHAR key[160];
    wsprintfW(key, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s", editor->program);
    const HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    for (HKEY root : roots) {
        if (ReadText(root, key, NULL, found, PROGRAM_CHARS, 0)) {
            BarePath(found);
            if (IsFile(found))
                return TRUE;
        }
    }
    return FALSE;
}

// The program in the folder or beside the icon that an uninstall entry
// gives; entry is the entry's key below UninstallKey.
static BOOL FromEntry(HKEY root, REGSAM view, const WCHAR* entry, const KnownEditor* editor, WCHAR* found)
{
    WCHAR key[ENTRY_NAME_CHARS + 80], name[PROGRAM_CHARS];
    wsprintfW(key, L"%s\\%s", UninstallKey, entry);
    if (!ReadText(root, key, L"DisplayName", name, PROGRAM_CHARS, view) || !StartsWith(name, editor->displayName))
        return FALSE;
    if (ReadText(root, key, L"DisplayIcon", found, PROGRAM_CHARS, view)) {
        BarePath(found);
        if (lstrcmpiW(PathFindFileNameW(found), editor->program) == 0 && IsFile(found))
            return TRUE;
    }
    if (!ReadText(root, key, L"InstallLocation", found, PROGRAM_CHARS - MAX_PATH, view))
        return FALSE;
    BarePath(found);
    return PathAppendW(found, editor->program) && IsFile(found);
}

// The program as an uninstall entry names it: the user's, all users' in the
// 64-bit and the 32-bit view.
static BOOL FromUninstallEntries(const KnownEditor* editor, WCHAR* found)
{
    struct Place {
        HKEY root;
        REGSAM view;
    };
    const Place places[] = {
        {HKEY_CURRENT_USER, 0}, {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY}, {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY}};
    for (const Place& place : places) {
        HKEY entries;
        if (RegOpenKeyExW(place.root, UninstallKey, 0, KEY_READ | place.view, &entries) != ERROR_SUCCESS)
            continue;
        WCHAR entry[ENTRY_NAME_CHARS];
        BOOL met = FALSE;
        for (DWORD n = 0; !met; n++) {
            DWORD length = ENTRY_NAME_CHARS;
            if (RegEnumKeyExW(entries, n, entry, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            met = FromEntry(place.root, place.view, entry, editor, found);
        }
        RegCloseKey(entries);
        if (met)
            return TRUE;
    }
    return FALSE;
}

// The program in a folder of PATH, or beside the folder of its launcher there.
static BOOL FromPath(const KnownEditor* editor, WCHAR* found)
{
    DWORD length = SearchPathW(NULL, editor->program, NULL, PROGRAM_CHARS, found, NULL);
    if (length > 0 && length < PROGRAM_CHARS)
        return TRUE;
    if (!editor->launcher)
        return FALSE;
    length = SearchPathW(NULL, editor->launcher, NULL, PROGRAM_CHARS - MAX_PATH, found, NULL);
    return length > 0 && length < PROGRAM_CHARS - MAX_PATH && PathRemoveFileSpecW(found) &&
           PathRemoveFileSpecW(found) && PathAppendW(found, editor->program) && IsFile(found);
}

BOOL FindKnownEditor(int n, WCHAR* commandLine, int capacity)
{
    const KnownEditor* editor = &KnownEditors[n];
    WCHAR found[PROGRAM_CHARS];
    if (!FromAppPaths(editor, found) && !FromUninstallEntries(editor, found) && !FromPath(editor, found))
        return FALSE;
    if (lstrlenW(found) + lstrlenW(editor->arguments) + 3 > capacity)
        return FALSE;
    wsprintfW(commandLine, L"\"%s\"%s", found, editor->arguments);
    return TRUE;
}

// Writes the template with %path%, %line% and %column% (in any letter case)
// filled in into Started; FALSE when it does not fit.
static BOOL FillIn(const WCHAR* pattern, const WCHAR* path, ULONGLONG line, ULONGLONG column)
{
    WCHAR lineText[24], columnText[24];
    wsprintfW(lineText, L"%I64u", line);
    wsprintfW(columnText, L"%I64u", column);
    struct Field {
        const WCHAR* name;
        const WCHAR* value;
    };
    const Field fields[] = {{L"%path%", path}, {L"%line%", lineText}, {L"%column%", columnText}};
    int used = 0;
    for (const WCHAR* at = pattern; *at;) {
        const WCHAR* value = NULL;
        int skip = 1;
        for (const Field& field : fields) {
            if (StartsWith(at, field.name)) {
                value = field.value;
                skip = lstrlenW(field.name);
            }
        }
        int units = value ? lstrlenW(value) : 1;
        if (used + units >= COMMAND_LINE_CHARS)
            return FALSE;
        CopyMemory(Started + used, value ? value : at, (SIZE_T)units * sizeof(WCHAR));
        used += units;
        at += skip;
    }
    Started[used] = 0;
    return TRUE;
}

// Starts the command line in Started; FALSE with the system's error code.
static BOOL Start(DWORD* error)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, Started, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        *error = GetLastError();
        return FALSE;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return TRUE;
}

// Opens the file with the open command of its type; FALSE when its type has
// none, or it fails.
static BOOL OpenByType(const WCHAR* path, DWORD* error)
{
    WCHAR command[PROGRAM_CHARS];
    DWORD length = PROGRAM_CHARS;
    const WCHAR* extension = PathFindExtensionW(path);
    if (!*extension ||
        AssocQueryStringW(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, extension, L"open", command, &length) != S_OK)
        return FALSE;
    SHELLEXECUTEINFOW open = {};
    open.cbSize = sizeof open;
    open.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    open.lpVerb = L"open";
    open.lpFile = path;
    open.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&open))
        return TRUE;
    *error = GetLastError();
    return FALSE;
}

BOOL OpenInEditor(const WCHAR* path, ULONGLONG line, ULONGLONG column, WCHAR* commandLine, DWORD* error)
{
    *error = 0;
    ReadSettingText(EDITOR_VALUE, Template, COMMAND_LINE_CHARS);
    StrTrimW(Template, L" \t");
    for (int n = 0; !Template[0] && n < KNOWN_EDITORS; n++)
        FindKnownEditor(n, Template, COMMAND_LINE_CHARS);
    BOOL started = FALSE;
    if (Template[0]) {
        started = FillIn(Template, path, line, column) && Start(error);
    } else {
        lstrcpynW(Started, path, COMMAND_LINE_CHARS);
        started = OpenByType(path, error);
        if (!started && !*error) {
            started = FillIn(L"notepad.exe \"%path%\"", path, line, column) && Start(error);
        }
    }
    if (!started && !*error)
        *error = ERROR_FILENAME_EXCED_RANGE;
    lstrcpynW(commandLine, Started, COMMAND_LINE_CHARS);
    return started;
}

BOOL OpenContainingFolder(const WCHAR* path, DWORD* error)
{
    *error = ERROR_FILENAME_EXCED_RANGE;
    return FillIn(L"explorer.exe /select,\"%path%\"", path, 0, 0) && Start(error);
}
