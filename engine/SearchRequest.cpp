// Making a search request from the user's entries.
#include "engine/SearchRequest.h"
#include "engine/PatternList.h"
#include "engine/text/Utf16.h"
#include "engine/text/CaseFold.h"
#include "engine/regex/Regex.h"

BOOL AnsiSpellsExactly(const WCHAR* text, int length)
{
    if (length <= 0)
        return TRUE;
    if (GetACP() == CP_UTF8)
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, NULL, 0, NULL, NULL) > 0;
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, NULL, 0, NULL, &usedDefault);
    return bytes > 0 && !usedDefault;
}

void DescribeTooLong(WCHAR* problem, const WCHAR* what, int limit)
{
    wsprintfW(problem, L"%.100s too long: at most %d characters", what, limit);
}

void NameProblem(SearchProblem* problem, int id)
{
    problem->id = id;
    problem->arguments[0] = problem->arguments[1] = 0;
    problem->detail[0] = 0;
    problem->text[0] = 0;
}

// The problem of an entry longer than limit units.
static void TooLong(SearchProblem* problem, int id, const WCHAR* what, int limit)
{
    NameProblem(problem, id);
    problem->arguments[0] = (DWORD_PTR)limit;
    DescribeTooLong(problem->text, what, limit);
}

BOOL ConvertNeedle(SearchRequest* request, const WCHAR* text)
{
    request->needle[0] = 0;
    request->needleLength = 0;
    if (text[0] == 0)
        return TRUE;
    // The field holds any text the search box admits; a longer one is refused
    // whole rather than cut, and a failed conversion must not leave an empty
    // needle, which would report every line.
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, request->needle, NEEDLE_BYTES, NULL, NULL);
    if (bytes <= 1) {
        request->needle[0] = 0;
        return FALSE;
    }
    request->needleLength = bytes - 1;
    return TRUE;
}

// Upper-cases the needle converted from text a character at a time
// (UpperCaseAnsiCharacter): the platform's upper-casing of the whole needle
// in place cuts characters off its end, or leaves stray bytes, where a
// character's upper-case form takes another number of bytes (UTF-8).
static void UpperCaseNeedle(SearchRequest* request, const WCHAR* text)
{
    int length = 0;
    for (int at = 0; text[at];) {
        int units;
        Utf16CharacterAt(text, at, at + 2, &units);
        char bytes[8];
        int count = WideCharToMultiByte(CP_ACP, 0, text + at, units, bytes, sizeof bytes, NULL, NULL);
        count = UpperCaseAnsiCharacter(bytes, count);
        // Never more than the needle had: it stays inside its field.
        CopyMemory(request->needle + length, bytes, count);
        length += count;
        at += units;
    }
    request->needle[length] = 0;
    request->needleLength = length;
}

// FALSE, with the problem, when an entry is longer than the request keeps:
// cut, it would search for something else than what was asked; or when an
// exclusion of the pattern list could never match.
static BOOL EntriesFit(const SearchEntries* entries, SearchProblem* problem)
{
    WCHAR typed[FILE_TYPES_CHARS + 1];
    if (lstrlenW(entries->text) > SEARCH_TEXT_CHARS)
        TooLong(problem, PROBLEM_TEXT_TOO_LONG, L"search text", SEARCH_TEXT_CHARS);
    else if (lstrlenW(entries->fileTypes) > FILE_TYPES_CHARS)
        TooLong(problem, PROBLEM_TYPES_TOO_LONG, L"pattern list", FILE_TYPES_CHARS);
    else if (lstrlenW(entries->folder) > FOLDER_CHARS)
        TooLong(problem, PROBLEM_FOLDER_TOO_LONG, L"folder", FOLDER_CHARS);
    else if (CheckPatternList(entries->fileTypes, typed))
        return TRUE;
    else {
        NameProblem(problem, PROBLEM_EXCLUSION_NAMES_PATH);
        lstrcpynW(problem->detail, typed, PROBLEM_DETAIL_CHARS);
        wsprintfW(problem->text,
                  L"the exclusion %s names a path: an exclusion is a name, as in !*.min.js, or "
                  L"a folder's name and a backslash, as in !node_modules\\",
                  typed);
    }
    return FALSE;
}

// Compiles the text, forwards and reversed, for the alphabets the search
// needs: ANSI files always, Unicode files when they are searched. FALSE,
// with the problem, when the pattern is refused.
static BOOL CompilePattern(SearchRequest* request, const WCHAR* text, SearchProblem* problem)
{
    RegexError error;
    int length = lstrlenW(text);
    // Under code page 65001 ANSI files are UTF-8, searched as Unicode text.
    BOOL matchCase = request->options.matchCase != 0;
    BOOL unicode = request->options.unicodeFiles != 0 || GetACP() == CP_UTF8;
    request->ansiProgram = RegexCompile(text, length, REGEX_ANSI, matchCase, &error);
    if (request->ansiProgram && error.unspelled && !unicode) {
        // As for literal text: only a Unicode file can hold such a character.
        WCHAR spelled[3] = {};
        PutUtf16(error.unspelled, spelled);
        NameProblem(problem, PROBLEM_PATTERN_NOT_IN_CODE_PAGE);
        problem->arguments[0] = GetACP();
        problem->arguments[1] = (DWORD_PTR)error.unspelledPosition;
        wsprintfW(problem->detail, L"%s (U+%04X)", spelled, error.unspelled);
        wsprintfW(problem->text,
                  L"the pattern has a character that code page %u cannot hold, %s at position %d: "
                  L"tick Unicode files (or give /U) to search UTF-8 and UTF-16 files for it",
                  GetACP(), problem->detail, error.unspelledPosition);
        return FALSE;
    }
    if (request->ansiProgram &&
        (request->ansiReversed = RegexCompileReversed(text, length, REGEX_ANSI, matchCase, &error)) &&
        (!unicode ||
         ((request->unicodeProgram = RegexCompile(text, length, REGEX_UNICODE, matchCase, &error)) &&
          (request->unicodeReversed = RegexCompileReversed(text, length, REGEX_UNICODE, matchCase, &error)))))
        return TRUE;
    NameProblem(problem, PROBLEM_BAD_PATTERN);
    problem->arguments[0] = (DWORD_PTR)error.position;
    lstrcpynW(problem->detail, error.fault, PROBLEM_DETAIL_CHARS);
    wsprintfW(problem->text, L"bad regular expression: %s", error.message);
    return FALSE;
}

SearchRequest* NewSearchRequest(const SearchEntries* entries, SearchProblem* problem)
{
    NameProblem(problem, PROBLEM_UNNAMED);
    if (!EntriesFit(entries, problem))
        return NULL;
    SearchRequest* request = (SearchRequest*)GlobalAlloc(GPTR, sizeof(SearchRequest));
    if (!request) {
        NameProblem(problem, PROBLEM_NO_MEMORY);
        lstrcpyW(problem->text, L"not enough memory to start the search");
        return NULL;
    }
    request->options = entries->options;
    if (request->options.regularExpression) {
        // The variants are made of literal text; a pattern is searched as written.
        request->options.ampVariants = 0;
        if (!CompilePattern(request, entries->text, problem)) {
            FreeSearchRequest(request);
            return NULL;
        }
    } else if (!AnsiSpellsExactly(entries->text, lstrlenW(entries->text))) {
        // The default character, or a look-alike, in place of the others
        // would search for something else; only a Unicode file can hold such
        // a text.
        if (!request->options.unicodeFiles) {
            NameProblem(problem, PROBLEM_TEXT_NOT_IN_CODE_PAGE);
            problem->arguments[0] = GetACP();
            wsprintfW(problem->text,
                      L"the search text has characters that code page %u cannot hold: tick Unicode "
                      L"files (or give /U) to search UTF-8 and UTF-16 files for it",
                      GetACP());
            GlobalFree(request);
            return NULL;
        }
        request->needleLength = NO_ANSI_NEEDLE;
    } else if (!ConvertNeedle(request, entries->text)) {
        NameProblem(problem, PROBLEM_TEXT_NOT_CONVERTED);
        problem->arguments[0] = GetACP();
        wsprintfW(problem->text, L"the search text cannot be converted to code page %u", GetACP());
        GlobalFree(request);
        return NULL;
    }
    lstrcpynW(request->text, entries->text, SEARCH_TEXT_CHARS + 1);
    lstrcpynW(request->fileTypes, entries->fileTypes, FILE_TYPES_CHARS + 1);
    lstrcpynW(request->folder, entries->folder, FOLDER_CHARS + 1);
    if (!request->options.matchCase && request->needleLength > 0)
        UpperCaseNeedle(request, entries->text);
    return request;
}

void FreeSearchPatterns(SearchRequest* request)
{
    RegexFree(request->ansiProgram);
    RegexFree(request->unicodeProgram);
    RegexFree(request->ansiReversed);
    RegexFree(request->unicodeReversed);
    request->ansiProgram = request->unicodeProgram = request->ansiReversed = request->unicodeReversed = NULL;
}

void FreeSearchRequest(SearchRequest* request)
{
    if (!request)
        return;
    FreeSearchPatterns(request);
    GlobalFree(request);
}
