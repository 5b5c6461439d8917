// How the files of the running search went, counted as they go, for the
// results window to show: searched, could not be read, passed over. Any
// thread counts; the window reads the counts whenever it likes.
#pragma once
#include <windows.h>

enum FileCount {
    FILES_SEARCHED,    // opened, read and searched (walk/ScanRing.cpp counts them)
    FILES_UNREADABLE,  // found but could not be opened or read (TellUnreadableFile)
    FILES_BINARY,      // passed over unsearched as binary files, counted where the search skips them
    FILE_COUNTS
};

// Sets every count to 0, before a search starts.
void ClearFileCounts();
// Counts one file. Safe from any thread.
void CountFile(FileCount count);
ULONGLONG FilesCounted(FileCount count);
