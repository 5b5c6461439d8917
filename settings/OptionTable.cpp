// The table of the search options.
#include "settings/OptionTable.h"
#include "resources/resource.h"

// The switch letters are the accelerator keys of the program's own dialog,
// and A for the ampersand box, which has none. "Reg" was stored as "N" by
// versions without the regular-expression box, in its place among the first.
const OptionField OptionFields[] = {
    {&SearchOptions::matchCase, IDC_MATCH_CASE, L"Cas", L'C'},
    {&SearchOptions::skipComments, IDC_SKIP_COMMENTS, L"Com", L'I'},
    {&SearchOptions::regularExpression, IDC_REGULAR_EXPRESSION, L"Reg", L'R'},
    {&SearchOptions::stringsOnly, IDC_STRINGS_ONLY, L"Str", L'S'},
    {&SearchOptions::ampVariants, IDC_AMP_VARIANTS, L"Amp", L'A'},
    {&SearchOptions::searchSubfolders, IDC_SUBFOLDERS, L"Sub", L'D'},
    {&SearchOptions::unicodeFiles, IDC_UNICODE_FILES, L"Uni", L'U'},
    {&SearchOptions::wholeWord, IDC_WHOLE_WORD, L"Wrd", L'W'},
    {&SearchOptions::skipBinary, IDC_SKIP_BINARY, L"Bin", L'B'},
    {&SearchOptions::skipIgnored, IDC_SKIP_IGNORED, L"Ign", L'G'},
};

const int OptionFieldCount = sizeof OptionFields / sizeof OptionFields[0];

const OptionField* OptionForSwitch(WCHAR letter)
{
    for (const OptionField& field : OptionFields) {
        if (field.switchLetter == letter)
            return &field;
    }
    return NULL;
}
