// Reading the command line: switches in the platform's manner (/X, /X:value,
// also -X, in any letter case), then the search text.
#include "run/CommandLine.h"
#include "settings/OptionTable.h"
#include "walk/ScanRing.h"
#include <shellapi.h>
#include <shlwapi.h>

// A number constant as a wide string literal, for the usage text.
#define WIDE_NUMBER(n) WIDE_DIGITS(n)
#define WIDE_DIGITS(n) L## #n

const WCHAR UsageText[] =
    L"Searches files for a text and writes one line per hit: path(line,column) : text\r\n"
    L"\r\n"
    L"Seekline [/C] [/I] [/S [/A]] [/W] [/R] [/U] [/B] [/G] [/D] [/T:patterns] [/F:folder] [/J:n] [/Q]\r\n"
    L"         text\r\n"
    L"\r\n"
    L"  text         the text to find; \"\" finds every line. Put -- before a text\r\n"
    L"               that starts with / or -.\r\n"
    L"  /C           match case\r\n"
    L"  /I           ignore comments: stop looking at a line at //\r\n"
    L"  /S           only inside strings: hits that start inside \"...\" or '...'\r\n"
    L"  /A           with /S, also find the text with a & between two of its\r\n"
    L"               characters (F&ile for File); not with /R, which searches\r\n"
    L"               the pattern once, as written\r\n"
    L"  /W           match whole word: no word character right before or after a\r\n"
    L"               hit (letters, digits, _; in ANSI files any byte of 0x80 or more)\r\n"
    L"  /R           the text is a regular expression (below)\r\n"
    L"  /U           Unicode files: search UTF-8 and UTF-16 files as text too\r\n"
    L"  /B           skip binary files: those with a NUL byte in their first 64 KiB\r\n"
    L"               (with /U, not UTF-16 files that start with their mark)\r\n"
    L"  /G           skip what git ignores (.gitignore, info/exclude, your excludes\r\n"
    L"               file) and .git folders\r\n"
    L"  /D           search subfolders too\r\n"
    L"  /T:patterns  file patterns, separated by ; or a space (default *.*)\r\n"
    L"               !name passes over files, !name\\ folders, at every level;\r\n"
    L"               exclusions alone mean *.* and them; !!x finds the file !x\r\n"
    L"  /F:folder    the folder to search (default: the current folder)\r\n"
    L"  /J:n         search files on n threads, 1 to " WIDE_NUMBER(SCAN_THREADS_LIMIT) L" (default: one per\r\n"
    L"               processor, at most " WIDE_NUMBER(SCAN_THREADS_DEFAULT_MAX) L"); the report is the same\r\n"
    L"  /Q           no window at all: no progress dialog, no message box\r\n"
    L"  /?           this text\r\n"
    L"\r\n"
    L"Regular expressions match within one line: . any character; [abc] [a-z]\r\n"
    L"[^abc] classes; \\d digit, \\w word character, \\s space, tab, VT or FF, and\r\n"
    L"\\D \\W \\S their opposites; \\b \\B a word boundary or none; ^ $ the line's\r\n"
    L"start and end; * + ? {m} {m,} {m,n} repeats (also lazy: *? +? ...); a|b\r\n"
    L"either; ( ) and (?: ) groups; \\\\ \\. \\t \\xHH and \\ before any punctuation\r\n"
    L"for the character itself. No back-references, no look-around.\r\n"
    L"In classes also [:alpha:] [:digit:] [:alnum:] [:space:] [:upper:] [:lower:]\r\n"
    L"[:punct:] [:xdigit:] [:word:] and [:^alpha:] ... for the rest ([[:digit:]]+).\r\n"
    L"\r\n"
    L"The report goes to standard output; without one, to Seekline.txt on the\r\n"
    L"desktop. Started with only an existing folder or file, Seekline.exe opens\r\n"
    L"its dialog on that folder; Seekline.com searches for it as a text.\r\n"
    L"\r\n"
    L"Exit codes: 0 found, 1 not found, 2 bad usage or error (nothing searched,\r\n"
    L"or the report is incomplete), 3 cancelled. A \"cannot read\" line on\r\n"
    L"standard error names a file that could not be read: the search is\r\n"
    L"incomplete, whatever the exit code; so does \"cannot read folder\".\r\n";

static BOOL IsSwitch(const WCHAR* argument)
{
    return (argument[0] == L'/' || argument[0] == L'-') && argument[1] != 0;
}

// Makes the run a bad usage; format may hold one %s for detail.
static BOOL Refuse(CommandLine* line, const WCHAR* format, const WCHAR* detail)
{
    line->run = RUN_BAD_USAGE;
    wsprintfW(line->problem, format, detail);
    return FALSE;
}

// Copies a switch's value of at most limit units; FALSE when it is missing or
// too long.
static BOOL TakeValue(CommandLine* line, const WCHAR* argument, WCHAR* value, int limit, const WCHAR* what)
{
    if (argument[2] != L':' || argument[3] == 0)
        return Refuse(line, L"switch %.100s needs a value, as in /T:*.c;*.h or /F:C:\\src", argument);
    if (lstrlenW(argument + 3) > limit) {
        line->run = RUN_BAD_USAGE;
        DescribeTooLong(line->problem, what, limit);
        return FALSE;
    }
    lstrcpynW(value, argument + 3, limit + 1);
    return TRUE;
}

// Reads the number of scanning threads of /J:n.
static BOOL TakeThreads(CommandLine* line, const WCHAR* argument)
{
    const WCHAR* digits = argument + 3;
    int threads = 0;
    while (argument[2] == L':' && *digits >= L'0' && *digits <= L'9' && threads <= SCAN_THREADS_LIMIT)
        threads = threads * 10 + (*digits++ - L'0');
    if (argument[2] != L':' || digits == argument + 3 || *digits != 0 || threads < 1 || threads > SCAN_THREADS_LIMIT) {
        line->run = RUN_BAD_USAGE;
        wsprintfW(line->problem, L"switch %.100s needs a number of threads from 1 to %d, as in /J:4", argument,
                  SCAN_THREADS_LIMIT);
        return FALSE;
    }
    line->scanThreads = threads;
    return TRUE;
}

// Reads one switch into line; FALSE, with the problem, when it is not one.
static BOOL ReadSwitch(CommandLine* line, const WCHAR* argument)
{
    WCHAR letter = argument[1];
    if (letter >= L'a' && letter <= L'z')
        letter = (WCHAR)(letter - L'a' + L'A');
    if (letter == L'T')
        return TakeValue(line, argument, line->fileTypes, FILE_TYPES_CHARS, L"pattern list");
    if (letter == L'F')
        return TakeValue(line, argument, line->folder, FOLDER_CHARS, L"folder");
    if (letter == L'J')
        return TakeThreads(line, argument);
    const OptionField* option = OptionForSwitch(letter);
    LONG* flag = NULL;
    if (option)
        flag = &(line->options.*option->flag);
    else if (letter == L'Q')
        flag = &line->noWindow;
    else if (letter != L'?')
        return Refuse(line, L"unknown switch %.100s (/? lists them)", argument);
    if (argument[2] == L':')
        return Refuse(line, L"switch %.2s takes no value", argument);
    if (argument[2] != 0)
        return Refuse(line, L"unknown switch %.100s (/? lists them)", argument);
    if (!flag)
        line->run = RUN_USAGE;
    else
        *flag = 1;
    return TRUE;
}

// Checks what the switches and the text say, once they are all read.
static void CheckSearch(CommandLine* line, BOOL haveText)
{
    if (!haveText) {
        Refuse(line, L"no search text: it comes last, after the switches (/? for help)", NULL);
        return;
    }
    if (line->folder[0] == 0) {
        DWORD length = GetCurrentDirectoryW(FOLDER_CHARS + 1, line->folder);
        if (length == 0 || length > FOLDER_CHARS) {
            line->folder[0] = 0;
            line->run = RUN_BAD_USAGE;
            wsprintfW(line->problem, L"the current folder is too long: give a folder of at most %d characters with /F",
                      FOLDER_CHARS);
            return;
        }
    }
    DWORD attributes = GetFileAttributesW(line->folder);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        Refuse(line, L"no such folder: %.300s", line->folder);
    else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        Refuse(line, L"not a folder but a file: %.300s", line->folder);
}

// One argument that names an existing folder or file: the dialog opens on
// that folder, given in full. FALSE when the argument is something else.
static BOOL ReadDroppedPath(CommandLine* line, const WCHAR* argument)
{
    if (argument[0] == 0 || IsSwitch(argument))
        return FALSE;
    DWORD attributes = GetFileAttributesW(argument);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    DWORD length = GetFullPathNameW(argument, FOLDER_CHARS + 1, line->folder, NULL);
    if (length == 0 || length > FOLDER_CHARS) {
        // Too long for the folder box: the dialog opens as usual.
        line->folder[0] = 0;
        line->run = RUN_DIALOG;
        return TRUE;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        PathRemoveFileSpecW(line->folder);
    line->run = RUN_DIALOG_ON_FOLDER;
    return TRUE;
}

static void ReadArguments(CommandLine* line, LPWSTR* arguments, int count, BOOL opensDroppedPaths)
{
    if (count <= 1) {
        line->run = RUN_DIALOG;
        return;
    }
    if (count == 2 && opensDroppedPaths && ReadDroppedPath(line, arguments[1]))
        return;
    line->run = RUN_SEARCH;
    lstrcpyW(line->fileTypes, L"*.*");
    BOOL haveText = FALSE, switchesOver = FALSE;
    for (int n = 1; n < count; n++) {
        const WCHAR* argument = arguments[n];
        if (haveText) {
            if (IsSwitch(argument))
                Refuse(line, L"switch %.100s after the search text: the text comes last", argument);
            else
                Refuse(line, L"more than one search text (%.100s): quote a text that has spaces", argument);
            return;
        }
        if (!switchesOver && lstrcmpW(argument, L"--") == 0) {
            switchesOver = TRUE;
            continue;
        }
        if (!switchesOver && IsSwitch(argument)) {
            if (!ReadSwitch(line, argument))
                return;
            continue;
        }
        if (lstrlenW(argument) > SEARCH_TEXT_CHARS) {
            line->run = RUN_BAD_USAGE;
            DescribeTooLong(line->problem, L"search text", SEARCH_TEXT_CHARS);
            return;
        }
        lstrcpynW(line->text, argument, SEARCH_TEXT_CHARS + 1);
        haveText = TRUE;
    }
    if (line->run == RUN_SEARCH)
        CheckSearch(line, haveText);
}

void ReadCommandLine(CommandLine* line, BOOL opensDroppedPaths)
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) {
        Refuse(line, L"the command line cannot be read", NULL);
        return;
    }
    ReadArguments(line, arguments, count, opensDroppedPaths);
    LocalFree(arguments);
}
