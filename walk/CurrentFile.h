// The file being searched, as the progress dialog shows it. The worker
// publishes each path here without waiting for the dialog, which fetches
// the latest at its own pace.
#pragma once
#include "engine/Scanner.h"

// How often the progress dialog shows the current file, in milliseconds:
// about fifteen times a second, as often as anyone can read it.
#define CURRENT_FILE_REFRESH_MS 66

// Posted as WM_COMMAND to the window given to PublishCurrentFile when a file
// starts after a quiet spell, so that a slow file is named at once.
#define CMD_SHOW_CURRENT_FILE 101

// Called by the worker as it starts a file. When no file started for a
// refresh period, it also posts CMD_SHOW_CURRENT_FILE to window (if any).
void PublishCurrentFile(const WCHAR* path, HWND window);

// Copies the latest path into text (capacity units, cut to fit) when it was
// published after the one *shown; returns FALSE if there is nothing new.
BOOL FetchCurrentFile(WCHAR* text, int capacity, LONG* shown);
