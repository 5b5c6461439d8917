// The texts of a run that started with the settings dialog, from the string
// table of the module that supplies its dialogs: the English satellite, or
// the program itself in Traditional Chinese. The command line's words stay
// in the code, in English, for scripts to rely on.
#pragma once
#include "engine/SearchRequest.h"

// Room for one text of the string tables, filled in.
#define UI_TEXT_CHARS 1024

// Copies text id of module's string table into text (capacity units), or the
// program's own when module lacks it (a satellite made before the text);
// returns its length, 0 when neither has it.
int LoadUiText(HMODULE module, UINT id, WCHAR* text, int capacity);
// The same with %1, %2, ... replaced by the texts arguments (count of them);
// a text the tables lack gives "".
int FormatUiText(HMODULE module, UINT id, WCHAR* text, int capacity, const WCHAR* const* arguments, int count);
// The problem in the words of module's string table; its English text where
// the tables have no words for it.
void WordProblem(HMODULE module, const SearchProblem* problem, WCHAR* text, int capacity);
// The module a dialog was made from, for its texts.
HMODULE DialogModule(HWND dialog);
