// The table of the search options.
#include "settings/OptionTable.h"
#include "resources/resource.h"

// The switch letters are the accelerator keys of the program's own dialog,
// and A for the ampersand box, which has none. "Reg" was stored as "N" by
// versions without the regular-expression box, in its place among the first.
// The results window belongs to the dialog alone; it shows a new user's
// first search.
const OptionField OptionFields[] = {
    {&SearchOptions::matchCase, IDC_MATCH_CASE, L"Cas", L'C', 0},
    {&SearchOptions::skipComments, IDC_SKIP_COMMENTS, L"Com", L'I', 0},
    {&SearchOptions::regularExpression, IDC_REGULAR_EXPRESSION, L"Reg", L'R', 0},
    {&SearchOptions::stringsOnly, IDC_STRINGS_ONLY, L"Str", L'S', 0},
    {&SearchOptions::ampVariants, IDC_AMP_VARIANTS, L"Amp", L'A', 0},
    {&SearchOptions::searchSubfolders, IDC_SUBFOLDERS, L"Sub", L'D', 0},
    {&SearchOptions::unicodeFiles, IDC_UNICODE_FILES, L"Uni", L'U', 0},
    {&SearchOptions::wholeWord, IDC_WHOLE_WORD, L"Wrd", L'W', 0},
    {&SearchOptions::skipBinary, IDC_SKIP_BINARY, L"Bin", L'B', 0},
    {&SearchOptions::skipIgnored, IDC_SKIP_IGNORED, L"Ign", L'G', 0},
    {&SearchOptions::listResults, IDC_LIST_RESULTS, L"Lst", 0, 1},
};

const int OptionFieldCount = sizeof OptionFields / sizeof OptionFields[0];

const OptionField* OptionForSwitch(WCHAR letter)
{
    for (const OptionField& field : OptionFields) {
        if (field.switchLetter && field.switchLetter == letter)
            return &field;
    }
    return NULL;
}
