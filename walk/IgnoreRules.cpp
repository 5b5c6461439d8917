// The rules of git's ignore files on the walk's descent. Each folder from
// the repository's top down to the one walked is a level; a level's rules
// (and at a top, the repository's info\exclude and the user's excludes file)
// lie in one arena as a stack: read when the walk enters the folder, and
// given back when it leaves. An entry is judged on its path below each
// level that has rules, in UTF-8 as git reads paths, from the deepest level
// up: the last rule of a level that matches decides, a "!" rule keeping the
// entry; then info\exclude, then the user's file.
#include "walk/IgnoreRules.h"
#include "walk/GitFiles.h"
#include "walk/GitPattern.h"
#include "walk/Walker.h"

// Every folder on a path adds at least a one-letter name and a backslash.
#define IGNORE_LEVELS (LONG_PATH_CHARS / 2)
// A path below a repository's top in UTF-8, three bytes at most for each
// unit, and a name behind it.
#define IGNORE_PATH_BYTES (3 * LONG_PATH_CHARS + 3 * MAX_PATH)

#define RULE_NEGATED 1  // "!": keeps what it matches
#define RULE_FOLDERS 2  // a "/" at the end: matches folders only
#define RULE_PATH 4     // a "/" before that: matched against the path below the rules' folder
#define RULE_LITERAL 8  // matched against the name, with no special byte
#define RULE_SUFFIX 16  // matched against the name: "*" and then no special byte

struct IgnoreRule {
    const BYTE* pattern;  // in the arena, without "!", the leading "/" and the trailing "/"
    DWORD length;
    DWORD flags;
    BYTE first;  // the first byte that what it matches must start with, folded; 0 for any
};

struct RuleSet {
    const IgnoreRule* rules;
    DWORD count;
};

struct IgnoreLevel {
    DWORD arenaUsed;  // the arena's use before this folder's rules
    int pathEnd;      // where the names in this folder start in the path
    int top;          // the level of its repository's top, or -1 outside every repository
    RuleSet own;      // its .gitignore
    RuleSet exclude;  // at a top: the repository's info\exclude
    RuleSet user;     // at a top: the user's excludes file
};

struct IgnoreRules {
    ScanRing* ring;
    int startLevel;  // the start folder's level
    BOOL userFileKnown;
    BOOL userFileRelative;  // to each repository's top
    WCHAR userFile[LONG_PATH_CHARS];
    WCHAR folder[OPEN_PATH_CHARS + 16];   // a folder's long form, then a file's name in it
    WCHAR rulesFile[LONG_PATH_CHARS];     // info\exclude or the user's file
    WCHAR shown[REPORT_PATH_CHARS + 16];  // a .gitignore as a notice names it
    GitScratch scratch;
    BYTE path[IGNORE_PATH_BYTES];  // the path from the outermost top, "/" after each folder
    IgnoreLevel levels[IGNORE_LEVELS];
    DWORD used;
    alignas(8) BYTE arena[IGNORE_RULE_BYTES];  // records at offsets that are multiples of 8
};

// The scratch of GitFiles, lent the arena's free room for what it reads.
static GitScratch* Scratch(IgnoreRules* rules)
{
    rules->scratch.bytes = rules->arena + rules->used;
    rules->scratch.byteCount = IGNORE_RULE_BYTES - rules->used;
    return &rules->scratch;
}

// The line's length without its trailing spaces, but for one that a
// backslash quotes.
static DWORD WithoutTrailingSpaces(const BYTE* line, DWORD length)
{
    BOOL inSpaces = FALSE;
    DWORD spacesFrom = length;
    for (DWORD n = 0; n < length; n++) {
        if (line[n] == ' ') {
            if (!inSpaces)
                spacesFrom = n;
            inSpaces = TRUE;
        } else {
            inSpaces = FALSE;
            if (line[n] == '\\' && ++n == length)
                return length;
        }
    }
    return inSpaces ? spacesFrom : length;
}

// Reads one line of a rules file into a rule; FALSE for a blank line, a
// comment or a pattern that is empty.
static BOOL ReadRule(const BYTE* line, DWORD length, IgnoreRule* rule)
{
    if (length == 0 || line[0] == '#')
        return FALSE;
    length = WithoutTrailingSpaces(line, length);
    DWORD flags = 0;
    if (length > 0 && line[0] == '!') {
        flags |= RULE_NEGATED;
        line++;
        length--;
    }
    if (length > 0 && line[length - 1] == '/') {
        flags |= RULE_FOLDERS;
        length--;
    }
    for (DWORD n = 0; n < length; n++) {
        if (line[n] == '/')
            flags |= RULE_PATH;
    }
    if (length > 0 && line[0] == '/') {
        line++;
        length--;
    }
    if (length == 0)
        return FALSE;
    if (!(flags & RULE_PATH) && GitPatternIsLiteral(line, (int)length))
        flags |= RULE_LITERAL;
    else if (!(flags & RULE_PATH) && line[0] == '*' && GitPatternIsLiteral(line + 1, (int)length - 1))
        flags |= RULE_SUFFIX;
    rule->pattern = line;
    rule->length = length;
    rule->flags = flags;
    // Most rules fail on the first byte of most names: that costs no call.
    BYTE first = line[0];
    rule->first = first == '*' || first == '?' || first == '[' || first == '\\' ? 0 : GitFold(first);
    return TRUE;
}

// Reads the rules file at path into the arena as set; one that is missing
// has none. One that cannot be read, or does not fit, is named (as shown)
// through the ring, and has none either.
static void ReadRules(IgnoreRules* rules, const WCHAR* path, const WCHAR* shown, RuleSet* set)
{
    set->rules = NULL;
    set->count = 0;
    BYTE* text = rules->arena + rules->used;
    DWORD got;
    DWORD error = ReadSmallFile(path, text, IGNORE_RULE_BYTES - rules->used, &got);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return;
    DWORD lines = 1, recordsAt = 0;
    if (error == 0) {
        for (DWORD n = 0; n < got; n++)
            lines += text[n] == '\n';
        recordsAt = (rules->used + got + 7) & ~7u;
        if (recordsAt > IGNORE_RULE_BYTES || (IGNORE_RULE_BYTES - recordsAt) / sizeof(IgnoreRule) < lines)
            error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error) {
        HandOutNotice(rules->ring, shown, error, NOTICE_FILE);
        return;
    }
    IgnoreRule* records = (IgnoreRule*)(rules->arena + recordsAt);
    DWORD start = got >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF ? 3 : 0;
    while (start < got) {
        DWORD end = start;
        while (end < got && text[end] != '\n')
            end++;
        DWORD length = end - start;
        if (length > 0 && text[end - 1] == '\r')
            length--;
        if (ReadRule(text + start, length, &records[set->count]))
            set->count++;
        start = end + 1;
    }
    set->rules = records;
    rules->used = recordsAt + set->count * sizeof(IgnoreRule);
}

static BOOL SameFolded(const BYTE* a, const BYTE* b, DWORD length)
{
    for (DWORD n = 0; n < length; n++) {
        if (GitFold(a[n]) != GitFold(b[n]))
            return FALSE;
    }
    return TRUE;
}

// 1 when the last rule of the set that matches the entry ignores it, 0 when
// it keeps it, -1 when none matches. path is the entry's path below the
// set's folder, name its last part.
static int Judge(const RuleSet* set, const BYTE* path, int pathLength, const BYTE* name, int nameLength, BOOL isFolder)
{
    for (DWORD n = set->count; n-- > 0;) {
        const IgnoreRule* rule = &set->rules[n];
        if ((rule->flags & RULE_FOLDERS) && !isFolder)
            continue;
        if (rule->first && rule->first != GitFold((rule->flags & RULE_PATH) ? path[0] : name[0]))
            continue;
        DWORD length = rule->length;
        BOOL matched;
        if (rule->flags & RULE_PATH)
            matched = GitPatternMatches(rule->pattern, (int)length, path, pathLength);
        else if (rule->flags & RULE_LITERAL)
            matched = length == (DWORD)nameLength && SameFolded(rule->pattern, name, length);
        else if (rule->flags & RULE_SUFFIX)
            matched = length - 1 <= (DWORD)nameLength &&
                      SameFolded(rule->pattern + 1, name + nameLength - (length - 1), length - 1);
        else
            matched = GitPatternMatches(rule->pattern, (int)length, name, nameLength);
        if (matched)
            return (rule->flags & RULE_NEGATED) ? 0 : 1;
    }
    return -1;
}

// Writes the length units of name in UTF-8 into the path at at; returns the
// bytes written, or -1 when they do not fit.
static int PutName(IgnoreRules* rules, int at, const WCHAR* name, int length)
{
    int room = IGNORE_PATH_BYTES - at;
    // Most names are ASCII, which needs no conversion.
    int n = 0;
    for (; n < length && name[n] < 0x80; n++) {
        if (n >= room)
            return -1;
        rules->path[at + n] = (BYTE)name[n];
    }
    if (n == length)
        return n;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, name, length, (char*)rules->path + at, room, NULL, NULL);
    return bytes > 0 ? bytes : -1;
}

// Puts level's folder, called by the length units of name, on the path
// behind its parent's: its names start behind it and a "/".
static void PutFolder(IgnoreRules* rules, IgnoreLevel* level, const IgnoreLevel* parent, const WCHAR* name, int length)
{
    int bytes = PutName(rules, parent->pathEnd, name, length);
    if (bytes < 0 || parent->pathEnd + bytes + 1 >= IGNORE_PATH_BYTES) {
        // Too long a path for any rule to judge: nothing below is ignored.
        level->pathEnd = parent->pathEnd;
        level->top = -1;
        return;
    }
    rules->path[parent->pathEnd + bytes] = '/';
    level->pathEnd = parent->pathEnd + bytes + 1;
    level->top = parent->top;
}

// Starts a level: no rules yet, and the arena's use to go back to.
static void BeginLevel(IgnoreRules* rules, IgnoreLevel* level)
{
    level->arenaUsed = rules->used;
    level->own.count = level->exclude.count = level->user.count = 0;
}

// Reads the rules that come with the top of a repository, the folder at
// level whose long form fills rules->folder up to end.
static void ReadTopRules(IgnoreRules* rules, IgnoreLevel* level, int end)
{
    if (RepositoryExcludeFile(rules->folder, end, rules->rulesFile, Scratch(rules)))
        ReadRules(rules, rules->rulesFile, rules->rulesFile, &level->exclude);
    if (!rules->userFileKnown)
        return;
    const WCHAR* user = rules->userFile;
    if (rules->userFileRelative) {
        if (!JoinGitPath(rules->folder, rules->userFile, rules->rulesFile, Scratch(rules)))
            return;
        user = rules->rulesFile;
    }
    ReadRules(rules, user, user, &level->user);
}

// Reads the .gitignore of the folder whose long form fills rules->folder up
// to end; a notice names it as shown, or in full when shown is NULL.
static void ReadFolderRules(IgnoreRules* rules, IgnoreLevel* level, int end, const WCHAR* shown, int shownEnd)
{
    if (shown && shownEnd + 11 < REPORT_PATH_CHARS + 16) {
        lstrcpynW(rules->shown, shown, shownEnd + 1);
        lstrcatW(rules->shown, L".gitignore");
    } else if (!JoinGitPath(rules->folder, L".gitignore", rules->shown, Scratch(rules))) {
        lstrcpyW(rules->shown, L".gitignore");
    }
    lstrcpyW(rules->folder + end, L".gitignore");
    ReadRules(rules, rules->folder, rules->shown, &level->own);
    rules->folder[end] = 0;
}

// Puts the folder whose long form is the first end units of openPath into
// rules->folder; FALSE when it does not fit.
static BOOL TakeFolder(IgnoreRules* rules, const WCHAR* openPath, int end)
{
    if (end + 11 >= OPEN_PATH_CHARS + 16)
        return FALSE;
    CopyMemory(rules->folder, openPath, end * sizeof(WCHAR));
    rules->folder[end] = 0;
    return TRUE;
}

IgnoreRules* StartIgnoreRules(const WCHAR* openPath, int folderEnd, int rootLength, const WCHAR* shownPath,
                              int shownEnd, ScanRing* ring)
{
    IgnoreRules* rules =
        (IgnoreRules*)VirtualAlloc(NULL, sizeof(IgnoreRules), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!rules)
        return NULL;
    rules->ring = ring;
    rules->userFileKnown = UserExcludesFile(rules->userFile, &rules->userFileRelative, Scratch(rules));
    // The nearest folder that holds ".git", from the start folder up.
    int topEnd = 0;
    for (int end = folderEnd; TakeFolder(rules, openPath, end);) {
        if (HoldsRepository(rules->folder, end)) {
            topEnd = end;
            break;
        }
        int up = end - 2;
        while (up >= 0 && openPath[up] != L'\\')
            up--;
        if (up + 1 < rootLength)
            break;
        end = up + 1;
    }
    IgnoreLevel* level = &rules->levels[0];
    BeginLevel(rules, level);
    level->pathEnd = 0;
    level->top = -1;
    if (topEnd == 0)
        return rules;
    // The top, and each folder below it down to the start folder.
    level->top = 0;
    TakeFolder(rules, openPath, topEnd);
    ReadTopRules(rules, level, topEnd);
    for (int end = topEnd;;) {
        BOOL start = end == folderEnd;
        TakeFolder(rules, openPath, end);
        ReadFolderRules(rules, level, end, start ? shownPath : NULL, shownEnd);
        if (start || rules->startLevel + 1 >= IGNORE_LEVELS)
            break;
        int nameAt = end;
        while (end < folderEnd && openPath[end] != L'\\')
            end++;
        end++;
        IgnoreLevel* parent = level;
        level = &rules->levels[++rules->startLevel];
        BeginLevel(rules, level);
        PutFolder(rules, level, parent, openPath + nameAt, end - 1 - nameAt);
    }
    return rules;
}

void EnterIgnoreFolder(IgnoreRules* rules, int depth, const WCHAR* openPath, int folderEnd, const WCHAR* shownPath,
                       int shownEnd)
{
    int index = rules->startLevel + depth;
    if (index >= IGNORE_LEVELS)
        return;
    IgnoreLevel* level = &rules->levels[index];
    BeginLevel(rules, level);
    int nameAt = folderEnd - 1;
    while (nameAt > 0 && openPath[nameAt - 1] != L'\\')
        nameAt--;
    PutFolder(rules, level, &rules->levels[index - 1], openPath + nameAt, folderEnd - 1 - nameAt);
    if (!TakeFolder(rules, openPath, folderEnd))
        return;
    // A repository below another is its own: only its rules count in it.
    if (HoldsRepository(rules->folder, folderEnd)) {
        level->top = index;
        ReadTopRules(rules, level, folderEnd);
    }
    if (level->top >= 0)
        ReadFolderRules(rules, level, folderEnd, shownPath, shownEnd);
}

void LeaveIgnoreFolder(IgnoreRules* rules, int depth)
{
    int index = rules->startLevel + depth;
    if (index < IGNORE_LEVELS)
        rules->used = rules->levels[index].arenaUsed;
}

// The name of a repository's own folder, or of a worktree's file that names
// it: never walked, and never searched.
static BOOL IsGitName(const WCHAR* name)
{
    return name[0] == L'.' && (name[1] | 0x20) == L'g' && (name[2] | 0x20) == L'i' && (name[3] | 0x20) == L't' &&
           name[4] == 0;
}

BOOL IsIgnored(IgnoreRules* rules, int depth, const WCHAR* name, BOOL isFolder)
{
    if (IsGitName(name))
        return TRUE;
    int index = rules->startLevel + depth;
    if (index >= IGNORE_LEVELS)
        return FALSE;
    const IgnoreLevel* level = &rules->levels[index];
    if (level->top < 0)
        return FALSE;
    int nameLength = PutName(rules, level->pathEnd, name, lstrlenW(name));
    if (nameLength < 0)
        return FALSE;
    const BYTE* nameBytes = rules->path + level->pathEnd;
    int end = level->pathEnd + nameLength;
    for (int n = index; n >= level->top; n--) {
        const IgnoreLevel* at = &rules->levels[n];
        int said = at->own.count
                       ? Judge(&at->own, rules->path + at->pathEnd, end - at->pathEnd, nameBytes, nameLength, isFolder)
                       : -1;
        if (said >= 0)
            return said;
    }
    const IgnoreLevel* top = &rules->levels[level->top];
    int said = Judge(&top->exclude, rules->path + top->pathEnd, end - top->pathEnd, nameBytes, nameLength, isFolder);
    if (said < 0)
        said = Judge(&top->user, rules->path + top->pathEnd, end - top->pathEnd, nameBytes, nameLength, isFolder);
    return said > 0;
}

void FinishIgnoreRules(IgnoreRules* rules)
{
    if (rules)
        VirtualFree(rules, 0, MEM_RELEASE);
}
