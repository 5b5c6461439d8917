// The folder walker: expands the request's pattern list in one folder, hands
// every file found to the scanning threads, and descends into the subfolders
// depth first. Nothing is listed in memory: each folder on the current
// descent keeps only its open enumeration of subfolders, and one pair of path
// buffers serves the whole walk, so a deep tree costs no stack.
#include "walk/Walker.h"
#include "engine/PatternList.h"
#include "engine/StopFlag.h"
#include "engine/report/FileCounts.h"
#include "walk/CurrentFile.h"
#include "walk/IgnoreRules.h"
#include "walk/ScanRing.h"

// Every level adds at least a one-letter name and a backslash, so this many
// levels reach the platform's longest path.
#define WALK_LEVELS (LONG_PATH_CHARS / 2)

// A folder reached through links whose identity cannot be read might be a
// cycle: a descent passes through at most this many of them (the limit the
// host itself sets on links in one path).
#define UNIDENTIFIED_LINKS 40

// Which folder a folder is, whatever path leads to it.
struct FolderIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

// One folder on the current descent.
struct WalkLevel {
    HANDLE subfolders;  // its enumeration of subfolders: NULL before, open while one is walked
    int openEnd;        // where names start in openPath, behind the folder's backslash
    int shownEnd;       // the same in shownPath
    BOOL belowLink;     // a link or junction was passed on the descent down to here
    int unidentified;   // folders below one whose identity could not be read
    BOOL idKnown;       // the folder's identity, read once a link makes a cycle possible
    FolderIdentity id;
    BOOL unlisted;  // it could not be listed: the rest of it is passed over
};

// The state of one walk, allocated for its length.
struct Walk {
    const SearchRequest* request;
    const WCHAR* folder;  // the start folder as typed
    int listHolds;        // what the pattern list holds (PatternListHolds)
    ScanRing* ring;
    IgnoreRules* ignore;  // with skipIgnored, else NULL
    ULONGLONG filesHandedOut;
    WalkOutcome outcome;
    WCHAR openPath[OPEN_PATH_CHARS];     // "\\?\" and the full path: what the platform is given
    WCHAR shownPath[REPORT_PATH_CHARS];  // the folder as typed and the rest: what the user sees
    WCHAR patternPath[OPEN_PATH_CHARS];  // the long form for a pattern with a folder part
    WCHAR fullPath[LONG_PATH_CHARS];     // scratch for GetFullPathNameW
    WIN32_FIND_DATAW found;
    int depth;
    WalkLevel levels[WALK_LEVELS];
    // The folders that hold the start folder, read when the first link is met.
    BOOL ancestorsRead;
    int ancestors;
    FolderIdentity ancestorIds[WALK_LEVELS];
};

// Writes length units of name, and a terminator, into the long form open at
// openAt and into the shown path at shownAt. Slashes become backslashes in
// the long form, which the platform takes literally. FALSE, writing nothing,
// when either would not fit.
static BOOL PutName(Walk* walk, WCHAR* open, int openAt, int shownAt, const WCHAR* name, int length)
{
    if (length < 0 || openAt + length >= OPEN_PATH_CHARS || shownAt + length >= REPORT_PATH_CHARS)
        return FALSE;
    for (int i = 0; i < length; i++)
        open[openAt + i] = name[i] == L'/' ? L'\\' : name[i];
    open[openAt + length] = 0;
    lstrcpynW(walk->shownPath + shownAt, name, length + 1);
    return TRUE;
}

// Writes the long form of the full path of path into destination: "\\?\",
// or "\\?\UNC\" for a share, in front; a path already in a device form stays
// as it is. The long form reaches paths beyond 260 units, and names like
// "nul.c" as files rather than devices. Returns its length, 0 if it does not
// fit.
static int PutLongForm(Walk* walk, const WCHAR* path, WCHAR* destination)
{
    DWORD length = GetFullPathNameW(path, LONG_PATH_CHARS, walk->fullPath, NULL);
    if (length == 0 || length >= LONG_PATH_CHARS)
        return 0;
    const WCHAR* prefix = L"\\\\?\\";
    const WCHAR* rest = walk->fullPath;
    if (rest[0] == L'\\' && rest[1] == L'\\') {
        if (rest[2] == L'?' || rest[2] == L'.') {
            prefix = L"";
        } else {
            prefix = L"\\\\?\\UNC\\";
            rest += 2;
        }
    }
    int prefixLength = lstrlenW(prefix);
    int restLength = lstrlenW(rest);
    if (prefixLength + restLength >= OPEN_PATH_CHARS)
        return 0;
    lstrcpyW(destination, prefix);
    lstrcpyW(destination + prefixLength, rest);
    return prefixLength + restLength;
}

// The long form path as GetFullPathNameW takes it, without its prefix; a
// share's is rebuilt in the pattern buffer.
static const WCHAR* ShortForm(Walk* walk)
{
    const WCHAR* path = walk->openPath;
    if (path[0] != L'\\' || path[1] != L'\\' || path[2] != L'?' || path[3] != L'\\')
        return path;
    if (CompareStringOrdinal(path + 4, 4, L"UNC\\", 4, TRUE) != CSTR_EQUAL)
        return path + 4;
    walk->patternPath[0] = L'\\';
    lstrcpynW(walk->patternPath + 1, path + 7, OPEN_PATH_CHARS - 1);
    return walk->patternPath;
}

// The folder's own identity, to tell when a descent meets it again.
static BOOL ReadIdentity(const WCHAR* path, FolderIdentity* id)
{
    HANDLE folder = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return FALSE;
    BY_HANDLE_FILE_INFORMATION information;
    BOOL known = GetFileInformationByHandle(folder, &information);
    CloseHandle(folder);
    if (known) {
        id->volume = information.dwVolumeSerialNumber;
        id->indexHigh = information.nFileIndexHigh;
        id->indexLow = information.nFileIndexLow;
    }
    return known;
}

static BOOL SameFolder(const FolderIdentity* a, const FolderIdentity* b)
{
    return a->volume == b->volume && a->indexHigh == b->indexHigh && a->indexLow == b->indexLow;
}

// The identity of the folder whose path is the first end units of the long
// form, its backslash included.
static BOOL ReadIdentityUpTo(Walk* walk, int end, FolderIdentity* id)
{
    WCHAR kept = walk->openPath[end];
    walk->openPath[end] = 0;
    BOOL known = ReadIdentity(walk->openPath, id);
    walk->openPath[end] = kept;
    return known;
}

// The identity of the folder at level n of the descent, read on first need.
static BOOL LevelIdentity(Walk* walk, int n)
{
    WalkLevel* level = &walk->levels[n];
    if (!level->idKnown)
        level->idKnown = ReadIdentityUpTo(walk, level->openEnd, &level->id);
    return level->idKnown;
}

// The length of the root of a long form, its backslash included: 7 for
// "\\?\C:\", up to the share's backslash for "\\?\UNC\server\share\". A path
// whose root cannot be told is all root.
static int LongFormRootLength(const WCHAR* path)
{
    int at = 4;  // behind "\\?\" or "\\.\"
    int names = 1;
    if (CompareStringOrdinal(path + 4, 4, L"UNC\\", 4, TRUE) == CSTR_EQUAL) {
        at = 8;
        names = 2;
    }
    for (; names > 0; names--) {
        while (path[at] && path[at] != L'\\')
            at++;
        if (!path[at])
            return at;
        at++;
    }
    return at;
}

// Reads the identities of the folders that hold the start folder, from its
// parent up to the root: a link to one of them leads back into the walk as
// surely as one to a folder on the descent.
static void ReadAncestors(Walk* walk)
{
    walk->ancestorsRead = TRUE;
    const WCHAR* path = walk->openPath;
    int root = LongFormRootLength(path);
    // Each ancestor's path ends at a backslash before the start folder's own.
    int end = walk->levels[0].openEnd - 1;
    while (end >= root && walk->ancestors < WALK_LEVELS) {
        end--;
        while (end >= 0 && path[end] != L'\\')
            end--;
        if (end + 1 < root)
            return;
        if (ReadIdentityUpTo(walk, end + 1, &walk->ancestorIds[walk->ancestors]))
            walk->ancestors++;
    }
}

// TRUE when the folder at the candidate level is one already on the descent,
// or one that holds the start folder. Only a link or junction can lead back
// into a walk, so folders not below one are never opened for this.
static BOOL ClosesCycle(Walk* walk, WalkLevel* candidate)
{
    candidate->idKnown = ReadIdentity(walk->openPath, &candidate->id);
    if (!candidate->idKnown) {
        candidate->unidentified++;
        return candidate->unidentified > UNIDENTIFIED_LINKS;
    }
    for (int n = walk->depth; n >= 0; n--) {
        if (LevelIdentity(walk, n) && SameFolder(&walk->levels[n].id, &candidate->id))
            return TRUE;
    }
    if (!walk->ancestorsRead)
        ReadAncestors(walk);
    for (int n = 0; n < walk->ancestors; n++) {
        if (SameFolder(&walk->ancestorIds[n], &candidate->id))
            return TRUE;
    }
    return FALSE;
}

// Names the folder whose shown path ends, with its backslash, at shownEnd
// as one that could not be listed, at its turn in walk order. The start
// folder itself, before any file was found, is the walk's failure: nothing
// was searched.
static void TellUnlisted(Walk* walk, const WalkLevel* level, int shownEnd, DWORD error)
{
    BOOL itself = shownEnd == level->shownEnd;
    if (itself && walk->depth == 0 && walk->filesHandedOut == 0) {
        walk->outcome.startError = error;
        return;
    }
    walk->outcome.foldersUnread++;
    if (itself && walk->depth == 0) {
        HandOutNotice(walk->ring, walk->folder, error, NOTICE_FOLDER);
        return;
    }
    WCHAR kept = walk->shownPath[shownEnd - 1];
    walk->shownPath[shownEnd - 1] = 0;
    HandOutNotice(walk->ring, walk->shownPath, error, NOTICE_FOLDER);
    walk->shownPath[shownEnd - 1] = kept;
}

// TRUE when the folder of the level is a drive's root, the only folder that
// lists no "." and ".." for "*" and "*.*": anywhere else such a listing that
// finds nothing failed.
static BOOL ListsNothingOnlyAtRoot(Walk* walk, const WalkLevel* level)
{
    return walk->depth == 0 && level->openEnd <= LongFormRootLength(walk->openPath);
}

// Names a file or folder found at shownAt whose path is longer than the
// platform reaches, the shown path cut where it must be.
static void TellTooLong(Walk* walk, int shownAt, const WCHAR* name, int notice)
{
    lstrcpynW(walk->shownPath + shownAt, name, REPORT_PATH_CHARS - shownAt);
    HandOutNotice(walk->ring, walk->shownPath, ERROR_FILENAME_EXCED_RANGE, notice);
}

// TRUE when the options or the pattern list pass over the file or folder
// called name in the folder being walked.
static BOOL PassedOver(Walk* walk, const WCHAR* name, BOOL isFolder, BOOL judgedByGit)
{
    int kind = isFolder ? PATTERN_EXCLUDES_FOLDERS : PATTERN_EXCLUDES_FILES;
    int held = isFolder ? LIST_EXCLUDES_FOLDERS : LIST_EXCLUDES_FILES;
    if ((walk->listHolds & held) && ExcludedByList(walk->request->fileTypes, name, kind))
        return TRUE;
    return judgedByGit && walk->ignore && IsIgnored(walk->ignore, walk->depth, name, isFolder);
}

// Searches the files that one pattern finds in the folder of the level, in
// the platform's order. A pattern with a folder part ("sub\*.c") finds the
// files of that folder, and they are opened and named there (git's rules
// do not judge them: the folder is taken as given). Folders it happens to
// name wait for the subfolder pass. A folder that cannot be listed is named.
static void SearchPattern(Walk* walk, WalkLevel* level, const WCHAR* pattern, int length)
{
    int namePart = length;
    while (namePart > 0 && pattern[namePart - 1] != L'\\' && pattern[namePart - 1] != L'/')
        namePart--;
    WCHAR* open = walk->openPath;
    int openAt = level->openEnd;
    if (namePart > 0) {
        // The long form takes "." and ".." literally: resolve the folder part
        // as a short path would be resolved, into a buffer of its own, since
        // the folder's own path serves the patterns and subfolders after it.
        if (!PutName(walk, open, openAt, level->shownEnd, pattern, namePart))
            return;
        open = walk->patternPath;
        openAt = PutLongForm(walk, ShortForm(walk), open);
        if (openAt == 0)
            return;
    }
    int shownAt = level->shownEnd + namePart;
    if (!PutName(walk, open, openAt, shownAt, pattern + namePart, length - namePart)) {
        // The folder with the pattern is longer than the platform reaches.
        TellUnlisted(walk, level, level->shownEnd, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    HANDLE search = FindFirstFileW(open, &walk->found);
    if (search == INVALID_HANDLE_VALUE) {
        // Nothing matched; or, in a pattern's folder part, a folder that is
        // not there, as a pattern searched at every level may well name.
        DWORD error = GetLastError();
        BOOL matchesDots = namePart == 0 && (CompareStringOrdinal(pattern, length, L"*", 1, FALSE) == CSTR_EQUAL ||
                                             CompareStringOrdinal(pattern, length, L"*.*", 3, FALSE) == CSTR_EQUAL);
        if ((error != ERROR_FILE_NOT_FOUND || (matchesDots && !ListsNothingOnlyAtRoot(walk, level))) &&
            !(namePart > 0 && error == ERROR_PATH_NOT_FOUND)) {
            TellUnlisted(walk, level, shownAt, error);
            level->unlisted = level->unlisted || namePart == 0;
        }
        return;
    }
    BOOL more = TRUE;
    do {
        const WIN32_FIND_DATAW* found = &walk->found;
        if ((found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || Stopped() ||
            PassedOver(walk, found->cFileName, FALSE, namePart == 0))
            continue;
        if (!PutName(walk, open, openAt, shownAt, found->cFileName, lstrlenW(found->cFileName))) {
            TellTooLong(walk, shownAt, found->cFileName, NOTICE_FILE);
            continue;
        }
        HandOut(walk->ring, open, openAt, found->cAlternateFileName, walk->shownPath);
        walk->filesHandedOut++;
    } while (!Stopped() && (more = FindNextFileW(search, &walk->found)));
    DWORD error = more ? 0 : GetLastError();
    FindClose(search);
    if (error != 0 && error != ERROR_NO_MORE_FILES && !Stopped()) {
        TellUnlisted(walk, level, shownAt, error);
        level->unlisted = level->unlisted || namePart == 0;
    }
}

// Searches the files of the folder at the level, pattern by pattern; an
// empty pattern finds nothing, and a list of exclusions alone stands for
// "*.*" and them.
static void SearchFiles(Walk* walk, WalkLevel* level)
{
    if (!(walk->listHolds & LIST_FINDS)) {
        if (walk->listHolds)
            SearchPattern(walk, level, L"*.*", 3);
        return;
    }
    ListedPattern pattern;
    for (const WCHAR* at = walk->request->fileTypes; NextPattern(&at, &pattern);) {
        if (pattern.kind == PATTERN_FINDS && pattern.length > 0)
            SearchPattern(walk, level, pattern.text, pattern.length);
        if (level->unlisted || Stopped())
            return;
    }
}

// Moves the level's enumeration of subfolders on to the next one to enter
// and writes its name into the paths; FALSE when there is none left. A
// folder that cannot be listed is named.
static BOOL NextSubfolder(Walk* walk, WalkLevel* level)
{
    if (Stopped() || level->unlisted)
        return FALSE;
    WIN32_FIND_DATAW* found = &walk->found;
    for (;;) {
        if (!level->subfolders) {
            if (!PutName(walk, walk->openPath, level->openEnd, level->shownEnd, L"*.*", 3)) {
                TellUnlisted(walk, level, level->shownEnd, ERROR_FILENAME_EXCED_RANGE);
                return FALSE;
            }
            level->subfolders = FindFirstFileW(walk->openPath, found);
            if (level->subfolders == INVALID_HANDLE_VALUE) {
                DWORD error = GetLastError();
                if (error != ERROR_FILE_NOT_FOUND || !ListsNothingOnlyAtRoot(walk, level))
                    TellUnlisted(walk, level, level->shownEnd, error);
                return FALSE;
            }
        } else if (level->subfolders == INVALID_HANDLE_VALUE) {
            return FALSE;
        } else if (!FindNextFileW(level->subfolders, found)) {
            DWORD error = GetLastError();
            if (error != ERROR_NO_MORE_FILES && !Stopped())
                TellUnlisted(walk, level, level->shownEnd, error);
            return FALSE;
        }
        if (!(found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (lstrcmpW(found->cFileName, L".") == 0 || lstrcmpW(found->cFileName, L"..") == 0)
            continue;
        if (PassedOver(walk, found->cFileName, TRUE, TRUE))
            continue;
        if (PutName(walk, walk->openPath, level->openEnd, level->shownEnd, found->cFileName,
                    lstrlenW(found->cFileName)))
            return TRUE;
        TellTooLong(walk, level->shownEnd, found->cFileName, NOTICE_FOLDER);
    }
}

// Enters the subfolder whose name NextSubfolder wrote behind the parent
// level: pushes its level and searches its files. A folder met again on the
// descent (through a link or junction) is not entered.
static void EnterSubfolder(Walk* walk, const WalkLevel* parent)
{
    if (walk->depth + 1 >= WALK_LEVELS)
        return;
    WalkLevel* level = &walk->levels[walk->depth + 1];
    int nameLength = lstrlenW(walk->found.cFileName);
    level->subfolders = NULL;
    level->openEnd = parent->openEnd + nameLength + 1;
    level->shownEnd = parent->shownEnd + nameLength + 1;
    level->belowLink = parent->belowLink || (walk->found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    level->unidentified = parent->unidentified;
    level->idKnown = FALSE;
    level->unlisted = FALSE;
    if (level->belowLink && ClosesCycle(walk, level))
        return;
    if (!PutName(walk, walk->openPath, level->openEnd - 1, level->shownEnd - 1, L"\\", 1))
        return;
    walk->depth++;
    if (walk->ignore)
        EnterIgnoreFolder(walk->ignore, walk->depth, walk->openPath, level->openEnd, walk->shownPath, level->shownEnd);
    SearchFiles(walk, level);
}

// Walks the subfolders below the first level, depth first, each searched
// completely before the next.
static void WalkSubfolders(Walk* walk)
{
    for (;;) {
        WalkLevel* level = &walk->levels[walk->depth];
        if (NextSubfolder(walk, level)) {
            EnterSubfolder(walk, level);
            continue;
        }
        if (level->subfolders && level->subfolders != INVALID_HANDLE_VALUE)
            FindClose(level->subfolders);
        if (walk->depth == 0)
            return;
        if (walk->ignore)
            LeaveIgnoreFolder(walk->ignore, walk->depth);
        walk->depth--;
    }
}

// Sets both paths to the folder with exactly one trailing backslash: as
// typed, and in its long form. An empty folder becomes a lone backslash,
// the root of the current drive, and a drive letter alone its root.
static BOOL StartPaths(Walk* walk, const WCHAR* folder)
{
    int length = lstrlenW(folder);
    if (length >= PATH_CHARS)
        return FALSE;
    lstrcpyW(walk->shownPath, folder);
    if (*CharPrevW(walk->shownPath, walk->shownPath + length) != L'\\')
        walk->shownPath[length++] = L'\\';
    walk->shownPath[length] = 0;
    WalkLevel* level = &walk->levels[0];
    ZeroMemory(level, sizeof *level);
    level->shownEnd = length;
    // The platform's path functions drop the trailing spaces and dots of a
    // path's last name ("app " and "app.." name "app"), which the long form
    // keeps: the folder is read as they read it, so that the walk searches
    // the folder a check of the name finds.
    const WCHAR* source = folder;
    if (folder[0] == 0 || (folder[1] == L':' && folder[2] == 0))
        source = walk->shownPath;
    int openEnd = PutLongForm(walk, source, walk->openPath);
    if (openEnd == 0 || openEnd + 1 >= OPEN_PATH_CHARS)
        return FALSE;
    if (walk->openPath[openEnd - 1] != L'\\')
        walk->openPath[openEnd++] = L'\\';
    walk->openPath[openEnd] = 0;
    level->openEnd = openEnd;
    return TRUE;
}

// Walks the start folder, whose paths are set: its files, then its
// subfolders when asked; with skipIgnored, with git's rules.
static void WalkFromStart(Walk* walk)
{
    WalkLevel* start = &walk->levels[0];
    if (walk->request->options.skipIgnored) {
        walk->ignore = StartIgnoreRules(walk->openPath, start->openEnd, LongFormRootLength(walk->openPath),
                                        walk->shownPath, start->shownEnd, walk->ring);
        if (!walk->ignore) {
            walk->outcome.startError = ERROR_NOT_ENOUGH_MEMORY;
            return;
        }
    }
    SearchFiles(walk, start);
    if (walk->request->options.searchSubfolders)
        WalkSubfolders(walk);
    FinishIgnoreRules(walk->ignore);
}

WalkOutcome SearchFolder(const WCHAR* folder, const SearchRequest* request)
{
    WalkOutcome outcome = {};
    outcome.startError = ERROR_NOT_ENOUGH_MEMORY;
    // Zero-filled by the system: no depth, nothing handed out.
    Walk* walk = (Walk*)VirtualAlloc(NULL, sizeof(Walk), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!walk)
        return outcome;
    walk->request = request;
    walk->folder = folder;
    walk->listHolds = PatternListHolds(request->fileTypes);
    BeginCurrentFiles();
    ClearFileCounts();
    walk->ring = StartScanRing(request);
    if (walk->ring) {
        SetLastError(0);
        if (StartPaths(walk, folder))
            WalkFromStart(walk);
        else
            walk->outcome.startError = GetLastError() ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        walk->outcome.binarySkipped = FinishScanRing(walk->ring);
        outcome = walk->outcome;
    }
    VirtualFree(walk, 0, MEM_RELEASE);
    return outcome;
}
