// Finding git's files: the repository's folder and the user's configuration.
// git's configuration is read only as far as core.excludesFile needs: its
// sections, its names in either case, values with quotes, escapes, comments
// and continued lines; include directives are not followed.
#include "walk/GitFiles.h"
#include "walk/GitPattern.h"

// The user's configuration files are read whole up to this size.
#define CONFIG_BYTES (1u << 20)

DWORD ReadSmallFile(const WCHAR* path, BYTE* buffer, DWORD capacity, DWORD* got)
{
    *got = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD error = 0;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        error = GetLastError();
    else if ((ULONGLONG)size.QuadPart > capacity)
        error = ERROR_NOT_ENOUGH_MEMORY;
    else if (size.QuadPart > 0 && !ReadFile(file, buffer, (DWORD)size.QuadPart, got, NULL))
        error = GetLastError();
    CloseHandle(file);
    return error;
}

BOOL HoldsRepository(WCHAR* path, int end)
{
    lstrcpyW(path + end, L".git");
    BOOL holds = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    path[end] = 0;
    return holds;
}

static BOOL IsAbsolute(const WCHAR* path)
{
    return path[0] == L'\\' || path[0] == L'/' || (path[0] && path[1] == L':');
}

BOOL JoinGitPath(const WCHAR* base, const WCHAR* path, WCHAR* joined, GitScratch* scratch)
{
    WCHAR* whole = scratch->joined;
    whole[0] = 0;
    if (!IsAbsolute(path)) {
        // The platform takes ".." literally in the long form: the path goes
        // without "\\?\" (or with "\\" for "\\?\UNC\").
        const WCHAR* plain = base;
        if (base[0] == L'\\' && base[1] == L'\\' && base[2] == L'?' && base[3] == L'\\') {
            plain = base + 4;
            if (CompareStringOrdinal(plain, 4, L"UNC\\", 4, TRUE) == CSTR_EQUAL) {
                lstrcpyW(whole, L"\\");
                plain += 3;
            }
        }
        lstrcpynW(whole + lstrlenW(whole), plain, LONG_PATH_CHARS);
    }
    int at = lstrlenW(whole);
    lstrcpynW(whole + at, path, 2 * LONG_PATH_CHARS - at);
    DWORD length = GetFullPathNameW(whole, LONG_PATH_CHARS, joined, NULL);
    return length > 0 && length < LONG_PATH_CHARS;
}

// Appends the UTF-8 bytes to text (LONG_PATH_CHARS units) as UTF-16; FALSE
// when they do not fit.
static BOOL AppendUtf8(WCHAR* text, const BYTE* bytes, int length)
{
    int at = lstrlenW(text);
    if (length == 0)
        return TRUE;
    int units = MultiByteToWideChar(CP_UTF8, 0, (const char*)bytes, length, text + at, LONG_PATH_CHARS - at - 1);
    if (units <= 0)
        return FALSE;
    text[at + units] = 0;
    return TRUE;
}

static BOOL IsBlank(BYTE c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// Reads the folder that a file in folder names, as a ".git" file's
// "gitdir: PATH" or a "commondir" file's PATH, relative to folder or
// absolute, into named; key is what comes before the path.
static BOOL ReadNamedFolder(const WCHAR* folder, const WCHAR* name, const char* key, WCHAR* named, GitScratch* scratch)
{
    DWORD got;
    if (!JoinGitPath(folder, name, scratch->path, scratch) ||
        ReadSmallFile(scratch->path, scratch->bytes, scratch->byteCount, &got) != 0)
        return FALSE;
    const BYTE* line = scratch->bytes;
    DWORD end = 0;
    while (end < got && line[end] != '\n')
        end++;
    while (end > 0 && IsBlank(line[end - 1]))
        end--;
    int keyLength = lstrlenA(key);
    for (int n = 0; n < keyLength; n++) {
        if ((DWORD)n >= end || line[n] != (BYTE)key[n])
            return FALSE;
    }
    DWORD start = (DWORD)keyLength;
    while (start < end && IsBlank(line[start]))
        start++;
    WCHAR* value = scratch->path;
    value[0] = 0;
    if (start == end || !AppendUtf8(value, line + start, (int)(end - start)) || lstrlenW(value) + 2 > LONG_PATH_CHARS)
        return FALSE;
    lstrcatW(value, L"\\");
    return JoinGitPath(folder, value, named, scratch);
}

BOOL RepositoryExcludeFile(WCHAR* path, int end, WCHAR* exclude, GitScratch* scratch)
{
    lstrcpyW(path + end, L".git");
    DWORD attributes = GetFileAttributesW(path);
    path[end] = 0;
    BOOL found;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        found = JoinGitPath(path, L".git\\", exclude, scratch);
    else
        found = ReadNamedFolder(path, L".git", "gitdir:", exclude, scratch);
    if (!found)
        return FALSE;
    // A worktree's folder keeps its own state; the settings live in the common folder.
    if (ReadNamedFolder(exclude, L"commondir", "", scratch->common, scratch))
        lstrcpyW(exclude, scratch->common);
    int length = lstrlenW(exclude);
    if (length + 14 >= LONG_PATH_CHARS)
        return FALSE;
    if (length > 0 && exclude[length - 1] != L'\\')
        exclude[length++] = L'\\';
    lstrcpyW(exclude + length, L"info\\exclude");
    return TRUE;
}

// The configuration's reader: a position in its text.
struct ConfigText {
    const BYTE* text;
    DWORD size;
    DWORD at;
};

static int Peek(const ConfigText* config)
{
    return config->at < config->size ? config->text[config->at] : -1;
}

static BOOL IsWordByte(BYTE c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

static BOOL SameWord(const BYTE* word, int length, const char* expected)
{
    int n = 0;
    for (; n < length && expected[n]; n++) {
        if (GitFold(word[n]) != (BYTE)expected[n])
            return FALSE;
    }
    return n == length && !expected[n];
}

static void SkipLine(ConfigText* config)
{
    while (Peek(config) >= 0 && Peek(config) != '\n')
        config->at++;
}

// Reads a section header behind its "[": TRUE when it is the one named
// (without a subsection).
static BOOL ReadSection(ConfigText* config, const char* section)
{
    DWORD start = config->at;
    while (Peek(config) >= 0 && Peek(config) != ']' && Peek(config) != '\n')
        config->at++;
    BOOL named = Peek(config) == ']' && SameWord(config->text + start, (int)(config->at - start), section);
    if (Peek(config) == ']')
        config->at++;
    return named;
}

// Reads a value behind its "=" into value (capacity bytes, its length in
// *length): blanks around it dropped and a run of them inside kept as as
// many spaces, quotes taken away, \" \\ \n \t \b read as the characters
// they stand for, a backslash at a line's end continuing the value on the
// next line, and "#" or ";" outside quotes starting a comment.
static void ReadValue(ConfigText* config, BYTE* value, int capacity, int* length)
{
    int used = 0, blanks = 0;
    BOOL quoted = FALSE;
    for (int c; (c = Peek(config)) >= 0 && c != '\n'; config->at++) {
        if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
            blanks += used > 0;
            continue;
        }
        if (!quoted && (c == '#' || c == ';')) {
            SkipLine(config);
            break;
        }
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == '\\') {
            config->at++;
            c = Peek(config);
            if (c == '\r' && config->at + 1 < config->size && config->text[config->at + 1] == '\n')
                c = config->text[++config->at];
            if (c == '\n')
                continue;
            c = c == 'n' ? '\n' : c == 't' ? '\t' : c == 'b' ? '\b' : c;
            if (c < 0)
                break;
        }
        for (; blanks > 0 && used < capacity; blanks--)
            value[used++] = ' ';
        if (used < capacity)
            value[used++] = (BYTE)c;
    }
    *length = used;
}

// Looks for section.name in a configuration's text: TRUE, with its last
// value, when it is set there.
static BOOL FindSetting(const BYTE* text, DWORD size, const char* section, const char* name, BYTE* value, int capacity,
                        int* length)
{
    ConfigText config = {text, size, 0};
    BOOL inSection = FALSE, found = FALSE;
    for (int c; (c = Peek(&config)) >= 0;) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            config.at++;
        } else if (c == '#' || c == ';') {
            SkipLine(&config);
        } else if (c == '[') {
            config.at++;
            inSection = ReadSection(&config, section);
        } else {
            DWORD start = config.at;
            while ((c = Peek(&config)) >= 0 && (IsWordByte((BYTE)c) || c == '-'))
                config.at++;
            BOOL named = inSection && SameWord(text + start, (int)(config.at - start), name);
            if (config.at == start)
                config.at++;
            while (Peek(&config) == ' ' || Peek(&config) == '\t')
                config.at++;
            if (Peek(&config) == '=') {
                config.at++;
                int got;
                ReadValue(&config, value, capacity, &got);
                if (named) {
                    *length = got;
                    found = TRUE;
                }
            } else if (named) {
                // A name alone is a boolean "true", no path.
                *length = 0;
                found = TRUE;
            }
            SkipLine(&config);
        }
    }
    return found;
}

// An environment variable into value (LONG_PATH_CHARS units); FALSE when
// it is not set, empty or too long.
static BOOL ReadVariable(const WCHAR* name, WCHAR* value)
{
    DWORD length = GetEnvironmentVariableW(name, value, LONG_PATH_CHARS);
    return length > 0 && length < LONG_PATH_CHARS;
}

// Reads the user's configuration file at folder and rest: TRUE, with the
// value in setting, where it sets core.excludesFile.
static BOOL ReadExcludesSetting(const WCHAR* folder, const WCHAR* rest, WCHAR* setting, GitScratch* scratch)
{
    WCHAR* path = scratch->path;
    if (lstrlenW(folder) + lstrlenW(rest) >= LONG_PATH_CHARS)
        return FALSE;
    lstrcpyW(path, folder);
    lstrcatW(path, rest);
    // The file in the first half of the room, the value in the second.
    DWORD half = scratch->byteCount / 2 < CONFIG_BYTES ? scratch->byteCount / 2 : CONFIG_BYTES;
    BYTE* value = scratch->bytes + half;
    int length = 0;
    DWORD got;
    if (ReadSmallFile(path, scratch->bytes, half, &got) != 0 ||
        !FindSetting(scratch->bytes, got, "core", "excludesfile", value, (int)half, &length))
        return FALSE;
    setting[0] = 0;
    return AppendUtf8(setting, value, length);
}

BOOL UserExcludesFile(WCHAR* file, BOOL* relative, GitScratch* scratch)
{
    WCHAR* home = scratch->home;
    WCHAR* configHome = scratch->configHome;
    *relative = FALSE;
    if (!ReadVariable(L"HOME", home) && !ReadVariable(L"USERPROFILE", home))
        home[0] = 0;
    BOOL haveConfigHome = ReadVariable(L"XDG_CONFIG_HOME", configHome);
    // Read in git's order: a later file's setting wins.
    BOOL set = FALSE;
    if (haveConfigHome)
        set = ReadExcludesSetting(configHome, L"\\git\\config", file, scratch);
    else if (home[0])
        set = ReadExcludesSetting(home, L"\\.config\\git\\config", file, scratch);
    if (home[0] && ReadExcludesSetting(home, L"\\.gitconfig", file, scratch))
        set = TRUE;
    if (set) {
        if (file[0] != L'~' || (file[1] != L'/' && file[1] != L'\\')) {
            *relative = !IsAbsolute(file);
            return file[0] != 0;
        }
        if (!home[0] || lstrlenW(home) + lstrlenW(file) >= LONG_PATH_CHARS)
            return FALSE;
        lstrcpyW(scratch->path, file + 1);
        lstrcpyW(file, home);
        lstrcatW(file, scratch->path);
        return TRUE;
    }
    const WCHAR* folder = haveConfigHome ? configHome : home;
    const WCHAR* rest = haveConfigHome ? L"\\git\\ignore" : L"\\.config\\git\\ignore";
    if (!folder[0] || lstrlenW(folder) + lstrlenW(rest) >= LONG_PATH_CHARS)
        return FALSE;
    lstrcpyW(file, folder);
    lstrcatW(file, rest);
    return TRUE;
}
