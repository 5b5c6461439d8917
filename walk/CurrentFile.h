// The file being searched, as the progress dialog shows it. The scanning
// threads publish each path here without waiting for the dialog, which
// fetches the latest at its own pace.
#pragma once
#include "engine/scan/FileSearch.h"

// How often the progress dialog shows the current file, in milliseconds:
// about fifteen times a second, as often as anyone can read it.
#define CURRENT_FILE_REFRESH_MS 66

// Posted as WM_COMMAND to the window that shows the current file when a file
// starts after a quiet spell, so that a slow file is named at once.
#define CMD_SHOW_CURRENT_FILE 101

// Called by the run before a search: the window that shows the current
// file, NULL for none (a search without a window).
void ShowCurrentFilesIn(HWND window);

// Called by the walker as a search starts: the search's first file is
// named at once, however recently the search before published.
void BeginCurrentFiles();

// Called by a scanning thread as it starts a file, or to name again a file
// still being searched. The first file of a search, and a file that starts
// when none did for a refresh period, also post CMD_SHOW_CURRENT_FILE to the
// window that shows them. Returns the number the path was published under.
LONG PublishCurrentFile(const WCHAR* path);
// TRUE when no path was published after the one numbered number.
BOOL CurrentFileIsLatest(LONG number);

// Copies the latest path into text (capacity units, cut to fit) when it was
// published after the one *shown; returns FALSE if there is nothing new.
BOOL FetchCurrentFile(WCHAR* text, int capacity, LONG* shown);
