// How the user meets each search option: its check box in the settings
// dialog, its flag value in the settings key and its command-line switch. An
// option is added here and in SearchOptions, and nowhere else in the code.
#pragma once
#include "engine/SearchRequest.h"

struct OptionField {
    LONG SearchOptions::*flag;
    int control;             // the check box
    const WCHAR* valueName;  // "Y" or "N" in the settings key
    WCHAR switchLetter;      // /X on the command line, or 0 for an option the command line lacks
    LONG unsaved;            // its state while the settings key holds no value for it
};

// In the order the settings key stores them.
extern const OptionField OptionFields[];
extern const int OptionFieldCount;

// The option that the command-line letter (upper case) sets, or NULL.
const OptionField* OptionForSwitch(WCHAR letter);
