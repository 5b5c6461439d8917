// The editor dialog, from the results window's menu: the command line that
// opens a hit, typed, browsed for, or picked among the editors found.
#pragma once
#include <windows.h>

// Shows the dialog from module, owned by owner, and saves the command line
// when the user presses OK.
void ShowEditorDialog(HWND owner, HMODULE module);
