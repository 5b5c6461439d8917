// The settings dialog: builds the search request from the user's entries.
#pragma once
#include <windows.h>

// Dialog procedure of IDD_SETTINGS. The dialog ends with 0 when cancelled,
// otherwise with the address of a SearchRequest from GlobalAlloc, which the
// caller frees with GlobalFree. A creation parameter other than 0 is a folder
// path that the folder box shows in place of the last folder used.
INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The folder browser's callback: opens the browser on the folder passed as
// its parameter.
int CALLBACK BrowseCallbackProc(HWND browser, UINT message, LPARAM lParam, LPARAM data);
