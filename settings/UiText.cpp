// Texts from the string tables, filled in.
#include "settings/UiText.h"
#include "resources/resource.h"

// A regular expression's fault as the engine words it, and its text in the
// string tables. A fault that starts with the words of an entry takes its
// text, the rest of the fault (the character of "unknown escape \q") filled
// in as %1. The engine's newer faults stay in English until they are added.
struct FaultText {
    const WCHAR* english;
    UINT id;
};

static const FaultText FaultTexts[] = {
    {L"out of memory", IDS_FAULT_OUT_OF_MEMORY},
    {L"pattern too large", IDS_FAULT_PATTERN_TOO_LARGE},
    {L"class too large", IDS_FAULT_CLASS_TOO_LARGE},
    {L"trailing \\", IDS_FAULT_TRAILING_BACKSLASH},
    {L"\\b in a class", IDS_FAULT_WORD_BOUNDARY_IN_CLASS},
    {L"\\B in a class", IDS_FAULT_NO_BOUNDARY_IN_CLASS},
    {L"\\x without two hex digits", IDS_FAULT_HEX_DIGITS},
    {L"back-references are not supported", IDS_FAULT_BACK_REFERENCE},
    {L"unknown escape ", IDS_FAULT_UNKNOWN_ESCAPE},
    {L"missing ] for [", IDS_FAULT_MISSING_BRACKET},
    {L"a class escape ends a range", IDS_FAULT_ESCAPE_ENDS_RANGE},
    {L"range out of order", IDS_FAULT_RANGE_ORDER},
    {L"look-around is not supported", IDS_FAULT_LOOK_AROUND},
    {L"unsupported group (?", IDS_FAULT_UNSUPPORTED_GROUP},
    {L"groups nested too deeply", IDS_FAULT_NESTED_TOO_DEEPLY},
    {L"unmatched (", IDS_FAULT_UNMATCHED_OPEN},
    {L"unmatched )", IDS_FAULT_UNMATCHED_CLOSE},
    {L"nothing to repeat", IDS_FAULT_NOTHING_TO_REPEAT},
    {L"repetition count over 1000", IDS_FAULT_COUNT_TOO_LARGE},
    {L"repetition counts out of order", IDS_FAULT_COUNT_ORDER},
    {L"a named class ends a range", IDS_FAULT_NAMED_CLASS_ENDS_RANGE},
    {L"unknown class ", IDS_FAULT_UNKNOWN_CLASS},
};

int LoadUiText(HMODULE module, UINT id, WCHAR* text, int capacity)
{
    text[0] = 0;
    int length = module ? LoadStringW(module, id, text, capacity) : 0;
    HMODULE own = GetModuleHandleW(NULL);
    if (length <= 0 && module != own)
        length = LoadStringW(own, id, text, capacity);
    if (length <= 0) {
        text[0] = 0;
        return 0;
    }
    return length;
}

int FormatUiText(HMODULE module, UINT id, WCHAR* text, int capacity, const WCHAR* const* arguments, int count)
{
    WCHAR format[UI_TEXT_CHARS];
    text[0] = 0;
    if (!LoadUiText(module, id, format, UI_TEXT_CHARS))
        return 0;
    // Every insert is a text: %n takes arguments[n - 1].
    DWORD_PTR inserts[8] = {};
    for (int n = 0; n < count && n < 8; n++)
        inserts[n] = (DWORD_PTR)arguments[n];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, format, 0, 0, text,
                                  (DWORD)capacity, (va_list*)inserts);
    if (length == 0)
        text[0] = 0;
    return (int)length;
}

// The fault in the words of the string tables, into text; FALSE when they
// have none for it.
static BOOL WordFault(HMODULE module, const WCHAR* fault, WCHAR* text, int capacity)
{
    for (const FaultText& entry : FaultTexts) {
        int length = lstrlenW(entry.english);
        if (lstrlenW(fault) < length || CompareStringOrdinal(fault, length, entry.english, length, FALSE) != CSTR_EQUAL)
            continue;
        const WCHAR* rest = fault + length;
        return FormatUiText(module, entry.id, text, capacity, &rest, 1) > 0;
    }
    return FALSE;
}

void WordProblem(HMODULE module, const SearchProblem* problem, WCHAR* text, int capacity)
{
    WCHAR numbers[2][24], detail[UI_TEXT_CHARS];
    for (int n = 0; n < 2; n++)
        wsprintfW(numbers[n], L"%I64u", (ULONGLONG)problem->arguments[n]);
    const WCHAR* arguments[] = {numbers[0], numbers[1], detail};
    lstrcpynW(detail, problem->detail, UI_TEXT_CHARS);
    BOOL worded = problem->id != PROBLEM_UNNAMED;
    if (problem->id == PROBLEM_BAD_PATTERN)
        worded = WordFault(module, problem->detail, detail, UI_TEXT_CHARS);
    if (worded && FormatUiText(module, IDS_PROBLEMS + problem->id, text, capacity, arguments, 3) > 0)
        return;
    // A sentence of its own in a box.
    lstrcpynW(text, problem->text, capacity);
    CharUpperBuffW(text, 1);
}

HMODULE DialogModule(HWND dialog)
{
    return (HMODULE)GetWindowLongPtrW(dialog, GWLP_HINSTANCE);
}
