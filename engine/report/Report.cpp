// The report line format, and the file name it prints.
#include "engine/report/Report.h"
#include "engine/text/Utf16.h"

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

void ReportTextStart(FileReport* report, const BYTE* bytes, TextForm form)
{
    FileNotes* notes = report->output->notes;
    if (notes) {
        notes->textStart = bytes;
        notes->form = form;
    }
}

// Notes the line for the results window's list, when the file's output
// keeps notes.
static void NoteLine(FileReport* report, const BYTE* lineStart)
{
    FileNotes* notes = report->output->notes;
    if (!notes)
        return;
    notes->shownPath = report->shownPath;
    notes->openPath = report->openPath;
    notes->ansiNameBytes = report->room->ansiLength;
    OutputNoteLine(report->output, (ULONGLONG)(lineStart - notes->textStart));
}

// Every report line leaves the program here; lineStart is where its line
// starts among the file's bytes.
static void WriteReportLine(FileReport* report, ULONGLONG lineNumber, ULONGLONG column, const BYTE* lineStart,
                            const BYTE* text, int textLength)
{
    if (!report->named)
        ConvertName(report);
    char numbers[48];
    int length = wsprintfA(numbers, "(%I64u,%I64u) : ", lineNumber, column);
    FileOutput* output = report->output;
    NoteLine(report, lineStart);
    OutputWrite(output, report->room->ansi, (DWORD)report->room->ansiLength);
    OutputWrite(output, numbers, (DWORD)length);
    OutputWrite(output, text, (DWORD)textLength);
    OutputWrite(output, "\r\n", 2);
    OutputEndLine(output);
}

void ReportHit(FileReport* report, ULONGLONG lineNumber, ULONGLONG column, const BYTE* text, ULONGLONG textLength)
{
    // The text is taken first: it may lie in a mapped view that faults, and
    // then nothing of the line must have been written.
    BYTE copy[LINE_TEXT_BYTES];
    if (textLength > LINE_TEXT_BYTES)
        textLength = LINE_TEXT_BYTES;
    CopyMemory(copy, text, (SIZE_T)textLength);
    WriteReportLine(report, lineNumber, column, text, copy, (int)textLength);
}

// The ANSI code page as report lines of Unicode text need it, asked for once.
struct CodePageFacts {
    UINT codePage;
    WCHAR defaultCharacter;  // what stands for a character the code page lacks
};

static INIT_ONCE CodePageAsked = INIT_ONCE_STATIC_INIT;

static BOOL CALLBACK AskCodePage(INIT_ONCE*, void* facts, void**)
{
    CodePageFacts* asked = (CodePageFacts*)facts;
    asked->codePage = GetACP();
    asked->defaultCharacter = L'?';
    CPINFO info;
    if (GetCPInfo(CP_ACP, &info))
        MultiByteToWideChar(CP_ACP, 0, (const char*)info.DefaultChar, info.DefaultChar[1] ? 2 : 1,
                            &asked->defaultCharacter, 1);
    return TRUE;
}

static const CodePageFacts* CodePage()
{
    static CodePageFacts facts;
    InitOnceExecuteOnce(&CodePageAsked, AskCodePage, &facts, NULL);
    return &facts;
}

// The bytes of the ANSI character that starts at bytes (one of length).
static int AnsiCharacterBytes(const BYTE* bytes, int length, UINT codePage)
{
    int size = 1;
    if (codePage == CP_UTF8)
        size = bytes[0] >= 0xF0 ? 4 : bytes[0] >= 0xE0 ? 3 : bytes[0] >= 0xC0 ? 2 : 1;
    else if (IsDBCSLeadByteEx(codePage, bytes[0]))
        size = 2;
    return size < length ? size : length;
}

// Converts the text, which holds no surrogate the conversion would not turn
// into one default character, and cuts it between characters.
static int SpellInCodePage(const WCHAR* text, int units, UINT codePage, BYTE* line, int room)
{
    // At most four bytes a character; without best-fit look-alikes, each
    // character the code page lacks becomes its default character.
    DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int length = WideCharToMultiByte(CP_ACP, flags, text, units, (char*)line, room, NULL, NULL);
    if (length < 0)
        length = 0;
    int kept = length <= LINE_TEXT_BYTES ? length : 0;
    while (kept < length) {
        int size = AnsiCharacterBytes(line + kept, length - kept, codePage);
        if (kept + size > LINE_TEXT_BYTES)
            break;
        kept += size;
    }
    return kept;
}

void ReportTextHit(FileReport* report, ULONGLONG lineNumber, ULONGLONG column, const BYTE* lineStart, const WCHAR* text,
                   int units)
{
    const CodePageFacts* facts = CodePage();
    if (units > LINE_TEXT_UNITS)
        units = LINE_TEXT_UNITS;
    // ASCII, most lines of source text, is the same in every ANSI code page;
    // anything else is made what the conversion writes as one default
    // character first: a surrogate pair outside UTF-8 (the platform writes
    // two), a lone surrogate (UTF-8 would write U+FFFD).
    BYTE line[4 * LINE_TEXT_BYTES];
    WCHAR holdable[LINE_TEXT_UNITS];
    int count = 0;
    BOOL ascii = TRUE;
    for (int at = 0; at < units; at++) {
        WCHAR unit = text[at];
        ascii &= unit < 0x80;
        line[at] = (BYTE)unit;
        BOOL pair = IsHighSurrogate(unit) && at + 1 < units && IsLowSurrogate(text[at + 1]);
        if (pair && facts->codePage == CP_UTF8) {
            holdable[count++] = unit;
            holdable[count++] = text[++at];
            continue;
        }
        at += pair;
        holdable[count++] = IsSurrogate(unit) ? facts->defaultCharacter : unit;
    }
    int length = ascii ? (units < LINE_TEXT_BYTES ? units : LINE_TEXT_BYTES)
                       : SpellInCodePage(holdable, count, facts->codePage, line, sizeof line);
    WriteReportLine(report, lineNumber, column, lineStart, line, length);
}
