// The report line format, and the file name it prints.
#include "engine/Report.h"
#include "engine/Output.h"

// The length of the path component that ends at end (exclusive) and starts
// after the previous backslash at or after start.
static int ComponentBefore(const WCHAR* start, const WCHAR* end)
{
    const WCHAR* at = end;
    while (at > start && at[-1] != L'\\')
        at--;
    return (int)(end - at);
}

// Rewrites shown into the room's printable path, each component the code
// page cannot spell exactly (a look-alike would name another file) replaced
// by its short name, the one a file system gives every such file where short
// names are enabled. The components are matched from the
// end with those of the long path; where they stop matching (a folder typed
// as a relative path), the rest is kept as it stands. FALSE if nothing
// changed.
static BOOL SpellWithShortNames(const WCHAR* shown, const WCHAR* open, ReportNameRoom* room)
{
    WCHAR* shortPath = room->shortPath;
    WCHAR* printable = room->printable;
    int shortLength = (int)GetShortPathNameW(open, shortPath, LONG_PATH_CHARS);
    if (shortLength <= 0 || shortLength >= LONG_PATH_CHARS)
        return FALSE;
    int shownLength = lstrlenW(shown);
    const WCHAR* shownEnd = shown + shownLength;
    const WCHAR* openEnd = open + lstrlenW(open);
    const WCHAR* shortEnd = shortPath + shortLength;
    // Built from the end backwards.
    WCHAR* out = printable + REPORT_PATH_CHARS - 1;
    *out = 0;
    BOOL changed = FALSE;
    while (shownEnd > shown) {
        int shownPart = ComponentBefore(shown, shownEnd);
        int openPart = ComponentBefore(open, openEnd);
        int shortPart = ComponentBefore(shortPath, shortEnd);
        const WCHAR* part = shownEnd - shownPart;
        if (shownPart == 0 || shortPart == 0 || openPart != shownPart ||
            CompareStringOrdinal(part, shownPart, openEnd - openPart, openPart, TRUE) != CSTR_EQUAL)
            break;
        const WCHAR* spelled = part;
        int spelledLength = shownPart;
        if (!AnsiSpellsExactly(part, shownPart) && AnsiSpellsExactly(shortEnd - shortPart, shortPart)) {
            spelled = shortEnd - shortPart;
            spelledLength = shortPart;
            changed = TRUE;
        }
        if (spelledLength + 1 > out - printable)
            return FALSE;
        out -= spelledLength;
        CopyMemory(out, spelled, spelledLength * sizeof(WCHAR));
        shownEnd -= shownPart;
        openEnd -= openPart;
        shortEnd -= shortPart;
        // The backslash before the component, in all three.
        if (shownEnd == shown || openEnd == open || shortEnd == shortPath)
            break;
        *--out = L'\\';
        shownEnd--;
        openEnd--;
        shortEnd--;
    }
    if (!changed)
        return FALSE;
    int head = (int)(shownEnd - shown);
    if (head > out - printable)
        return FALSE;
    out -= head;
    CopyMemory(out, shown, head * sizeof(WCHAR));
    MoveMemory(printable, out, (printable + REPORT_PATH_CHARS - out) * sizeof(WCHAR));
    return TRUE;
}

// Converts the name for the report. A name the code page cannot spell is
// printed with short names for the parts it cannot spell, so that an editor
// opens the right file; without them, with the code page's default character.
static void ConvertName(FileReport* report)
{
    ReportNameRoom* room = report->room;
    const WCHAR* path = report->shownPath;
    if (!AnsiSpellsExactly(path, lstrlenW(path)) && SpellWithShortNames(path, report->openPath, room))
        path = room->printable;
    room->ansiLength = WideCharToMultiByte(CP_ACP, 0, path, -1, room->ansi, ANSI_NAME_BYTES, NULL, NULL) - 1;
    if (room->ansiLength < 0)
        room->ansiLength = 0;
    report->named = TRUE;
}

void ReportHit(FileReport* report, ULONGLONG lineNumber, ULONGLONG column, const BYTE* text,
               ULONGLONG textLength)
{
    // The text is taken first: it may lie in a mapped view that faults, and
    // then nothing of the line must have been written.
    BYTE line[LINE_TEXT_BYTES];
    if (textLength > LINE_TEXT_BYTES)
        textLength = LINE_TEXT_BYTES;
    CopyMemory(line, text, (SIZE_T)textLength);
    if (!report->named)
        ConvertName(report);
    char numbers[48];
    int length = wsprintfA(numbers, "(%I64u,%I64u) : ", lineNumber, column);
    OutputWrite(report->room->ansi, (DWORD)report->room->ansiLength);
    OutputWrite(numbers, (DWORD)length);
    OutputWrite(line, (DWORD)textLength);
    OutputWrite("\r\n", 2);
    OutputEndLine();
}
