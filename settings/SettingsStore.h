// Keeps the settings dialog's history lists and options in the registry.
#pragma once
#include "settings/OptionTable.h"

#define SETTINGS_LOAD 0
#define SETTINGS_SAVE 1

// Loads the saved lists and check states into the dialog's controls, or saves
// them from there. Registry errors are ignored.
void TransferSettings(HWND dialog, int direction);

// The stored state of an option whose box the dialog lacks (a satellite
// module made before the option): 1 when its flag value is "Y", 0 for
// another value, the option's unsaved state without one.
LONG SavedOption(const OptionField* option);

// A text value of the settings key beside the dialog's (the results window's
// place, the editor's command line), read into text (capacity units, cut to
// fit); FALSE, with text empty, when there is none.
BOOL ReadSettingText(const WCHAR* name, WCHAR* text, DWORD capacity);
void WriteSettingText(const WCHAR* name, const WCHAR* text);
