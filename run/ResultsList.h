// The results window's list of hits: a list view in owner-data mode over the
// hit list (engine/report/HitList.h). The list view asks for a row's texts
// only when it draws the row; each line's text is read back then, from the
// report, or from the searched file when the Unicode files option read it as
// UTF-8 or UTF-16, so a row costs the list a few numbers however many there
// are. User-interface thread only.
#pragma once
#include <windows.h>
#include <commctrl.h>

// The columns, in their order.
#define COLUMN_FILE 0
#define COLUMN_LINE 1
#define COLUMN_COLUMN 2
#define COLUMN_TEXT 3

// Gives the list view its columns, with their headings from module.
void SetUpResultsList(HWND list, HMODULE module);
// Widens the text column to the list's width, after the others.
void FitTextColumn(HWND list);
// Begins the list of a search of folder (as typed) whose report is written
// to reportPath: the report is opened to read the rows back. The list shows
// no row until ShowListedHits.
void StartResultsList(HWND list, const WCHAR* reportPath, const WCHAR* folder);
// Empties the list and closes what it read from; before the hit list is
// cleared for another search.
void EndResultsList(HWND list);
// Shows every hit listed so far, in report order; the first that comes is
// chosen.
void ShowListedHits(HWND list);
// The texts of a row the list view draws (LVN_GETDISPINFOW).
void FillResultsRow(NMLVDISPINFOW* info);
// Sorts the rows by the column clicked: once ascending, again descending,
// a third time back in report order. The text column keeps report order.
void SortResultsBy(HWND list, int column);

// The hit of a row, in the order shown.
ULONGLONG RowHit(int row);
// The row the user acts on: the focused row when it is selected, else the
// first selected one; -1 for none.
int ChosenRow(HWND list);
// Puts the selected rows on the clipboard as report lines,
// "path(line,column) : text", each with the text the row shows.
void CopyRows(HWND list);
// Puts the path of the chosen row's file on the clipboard.
void CopyRowPath(HWND list);

// Where the hit is, for an editor: the file's path as the system takes it
// (no "\\?\"), its line, and its column in characters (UTF-16 units) from 1,
// which editors count, where the report counts bytes of ANSI and UTF-8 text.
void HitPlace(ULONGLONG hit, WCHAR* path, int capacity, ULONGLONG* line, ULONGLONG* column);
