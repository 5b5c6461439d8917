// The table of the search options.
#include "settings/OptionTable.h"
#include "resources/resource.h"

// The switch letters are the accelerator keys of the program's own dialog,
// and A for the ampersand box, which has none. "Reg" is stored for a check box
// the dialog does not have: it always reads as unchecked, so it is saved as
// "N", and setting it changes nothing.
const OptionField OptionFields[] = {
    {&SearchOptions::matchCase, IDC_MATCH_CASE, L"Cas", L'C'},
    {&SearchOptions::skipComments, IDC_SKIP_COMMENTS, L"Com", L'I'},
    {NULL, IDC_RESERVED_REG, L"Reg", 0},
    {&SearchOptions::stringsOnly, IDC_STRINGS_ONLY, L"Str", L'S'},
    {&SearchOptions::ampVariants, IDC_AMP_VARIANTS, L"Amp", L'A'},
    {&SearchOptions::searchSubfolders, IDC_SUBFOLDERS, L"Sub", L'D'},
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
