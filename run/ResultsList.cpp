// The results window's list of hits: its rows' texts read back as the list
// view draws them, its sorting, and copying rows to the clipboard.
#include "run/ResultsList.h"
#include "engine/report/HitList.h"
#include "engine/report/Report.h"
#include "engine/text/Utf16.h"
#include "resources/resource.h"
#include "settings/UiText.h"
#include <shlwapi.h>

// Rows whose texts are kept, at their hit's number modulo this: more than a
// screen holds, so that scrolling a line reads one line.
#define ROW_CACHE 256
// A report line's numbers, "(line,column) : ", at their longest.
#define NUMBERS_BYTES 48
// The report is read this much at a time for the numbers of every row.
#define KEYS_CHUNK_BYTES (1u << 20)
// A Unicode line read back: LINE_TEXT_BYTES characters of at most four bytes.
#define UNICODE_LINE_BYTES (4 * LINE_TEXT_BYTES + 4)
// The most of a line read to count an editor's column; past it the report's
// column is given.
#define COLUMN_PREFIX_BYTES 65536
// What the clipboard is first given room for; it grows twice as large at a time.
#define COPY_START_UNITS 65536
// Room for a number in a row.
#define NUMBER_CHARS 24

// A row as its report line gives it, with the text of its line.
struct CachedRow {
    ULONGLONG hitAndOne;  // the hit's number plus one; 0 for none
    ULONGLONG lineNumber;
    ULONGLONG column;
    WCHAR text[LINE_TEXT_UNITS + 1];
};

// The report, read back; and the searched file last read, by its number.
static HANDLE Report = INVALID_HANDLE_VALUE;
static HANDLE Searched = INVALID_HANDLE_VALUE;
static DWORD SearchedNumber = NO_HIT_FILE;
// Units of each shown path that name the searched folder, its backslash included.
static int FolderUnits;
static ULONGLONG ShownRows;
static CachedRow Cache[ROW_CACHE];
// The rows' hits in the order shown, when sorted; NULL in report order.
static DWORD* Order;
static int SortColumn = -1;
static BOOL SortDown;
// While the rows are sorted: the files' places in path order, and every
// row's numbers.
static DWORD* FileRanks;
static BOOL SortingFiles;
static ULONGLONG* SortLines;
static ULONGLONG* SortColumns;
static BYTE Prefix[COLUMN_PREFIX_BYTES];

static void* Take(SIZE_T bytes)
{
    return VirtualAlloc(NULL, bytes ? bytes : 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

static void Give(void* memory)
{
    if (memory)
        VirtualFree(memory, 0, MEM_RELEASE);
}

static void CloseFile(HANDLE* file)
{
    if (*file != INVALID_HANDLE_VALUE)
        CloseHandle(*file);
    *file = INVALID_HANDLE_VALUE;
}

// Reads up to bytes at offset into buffer; FALSE when the read fails.
static BOOL ReadAt(HANDLE file, ULONGLONG offset, void* buffer, DWORD bytes, DWORD* got)
{
    OVERLAPPED at = {};
    at.Offset = (DWORD)offset;
    at.OffsetHigh = (DWORD)(offset >> 32);
    *got = 0;
    return file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, bytes, got, &at);
}

static void SetColumn(HWND list, int column, HMODULE module, UINT text, int format, int width)
{
    WCHAR heading[64];
    LoadUiText(module, text, heading, 64);
    LVCOLUMNW item = {};
    item.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    item.fmt = format;
    item.pszText = heading;
    item.iSubItem = column;
    // Widths in dialog units, as the window is laid out.
    RECT size = {0, 0, width, 0};
    MapDialogRect(GetParent(list), &size);
    item.cx = size.right;
    SendMessageW(list, LVM_INSERTCOLUMNW, column, (LPARAM)&item);
}

void SetUpResultsList(HWND list, HMODULE module)
{
    DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    SetColumn(list, COLUMN_FILE, module, IDS_COLUMN_FILE, LVCFMT_LEFT, 110);
    SetColumn(list, COLUMN_LINE, module, IDS_COLUMN_LINE, LVCFMT_RIGHT, 30);
    SetColumn(list, COLUMN_COLUMN, module, IDS_COLUMN_COLUMN, LVCFMT_RIGHT, 36);
    SetColumn(list, COLUMN_TEXT, module, IDS_COLUMN_TEXT, LVCFMT_LEFT, 200);
}

void FitTextColumn(HWND list)
{
    RECT client;
    GetClientRect(list, &client);
    int width = client.right;
    // Room for the vertical scroll bar, which comes with the rows, so that
    // the text column never makes a horizontal one.
    if (!(GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL))
        width -= GetSystemMetrics(SM_CXVSCROLL);
    for (int column = COLUMN_FILE; column < COLUMN_TEXT; column++)
        width -= (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0);
    if (width > 0)
        SendMessageW(list, LVM_SETCOLUMNWIDTH, COLUMN_TEXT, width);
}

// Shows the sort arrow in the heading of the column the rows are sorted by.
static void ShowSortArrows(HWND list)
{
    HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
    for (int column = COLUMN_FILE; column <= COLUMN_TEXT; column++) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, column, (LPARAM)&item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == SortColumn)
            item.fmt |= SortDown ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageW(header, HDM_SETITEMW, column, (LPARAM)&item);
    }
}

// Back to report order.
static void Unsort(HWND list)
{
    Give(Order);
    Order = NULL;
    SortColumn = -1;
    ShowSortArrows(list);
}

void StartResultsList(HWND list, const WCHAR* reportPath, const WCHAR* folder)
{
    EndResultsList(list);
    Report = CreateFileW(reportPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                         OPEN_EXISTING, 0, NULL);
    // The walk puts one backslash behind the folder where it has none.
    int length = lstrlenW(folder);
    FolderUnits = length + (length == 0 || folder[length - 1] != L'\\');
}

void EndResultsList(HWND list)
{
    SendMessageW(list, LVM_SETITEMCOUNT, 0, 0);
    ShownRows = 0;
    Unsort(list);
    CloseFile(&Report);
    CloseFile(&Searched);
    SearchedNumber = NO_HIT_FILE;
    for (CachedRow& row : Cache)
        row.hitAndOne = 0;
}

void ShowListedHits(HWND list)
{
    ULONGLONG listed = ListedHits();
    if (listed == ShownRows)
        return;
    BOOL first = ShownRows == 0;
    ShownRows = listed;
    SendMessageW(list, LVM_SETITEMCOUNT, (WPARAM)listed, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    // The first hit is chosen, so that Enter opens it.
    if (first) {
        LVITEMW item = {};
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, 0, (LPARAM)&item);
    }
}

ULONGLONG RowHit(int row)
{
    return Order ? Order[row] : (ULONGLONG)row;
}

// The file's path below the searched folder.
static const WCHAR* PathBelowFolder(const HitFile* file)
{
    int length = lstrlenW(file->shownPath);
    return file->shownPath + (FolderUnits <= length ? FolderUnits : length);
}

// Reads the numbers of a report line that start at bytes (of length):
// "(line,column) : "; returns where its text starts, or 0 when they do not
// read so.
static DWORD ReadNumbers(const char* bytes, DWORD length, ULONGLONG* line, ULONGLONG* column)
{
    DWORD at = 0;
    ULONGLONG* numbers[] = {line, column};
    const char opening[] = {'(', ','};
    for (int n = 0; n < 2; n++) {
        if (at >= length || bytes[at] != opening[n])
            return 0;
        *numbers[n] = 0;
        for (at++; at < length && bytes[at] >= '0' && bytes[at] <= '9'; at++)
            *numbers[n] = *numbers[n] * 10 + (ULONGLONG)(bytes[at] - '0');
    }
    if (at + 4 > length || bytes[at] != ')' || bytes[at + 1] != ' ' || bytes[at + 2] != ':' || bytes[at + 3] != ' ')
        return 0;
    return at + 4;
}

// The row as its report line has it: the numbers behind the file's name,
// then the text in the ANSI code page.
static void ReportRow(const HitRecord* hit, const HitFile* file, CachedRow* row)
{
    char bytes[NUMBERS_BYTES + LINE_TEXT_BYTES + 2] = "";
    DWORD got, length = 0;
    row->lineNumber = row->column = 0;
    row->text[0] = 0;
    ReadAt(Report, hit->reportAt + file->ansiNameBytes, bytes, sizeof bytes, &got);
    DWORD start = ReadNumbers(bytes, got, &row->lineNumber, &row->column);
    if (start == 0)
        return;
    while (start + length < got && length < LINE_TEXT_BYTES && bytes[start + length] != '\r' &&
           bytes[start + length] != '\n')
        length++;
    int units = MultiByteToWideChar(CP_ACP, 0, bytes + start, (int)length, row->text, LINE_TEXT_UNITS);
    row->text[units > 0 ? units : 0] = 0;
}

// Opens the searched file of the hit, keeping the last one open.
static BOOL OpenSearched(DWORD number, const HitFile* file)
{
    if (SearchedNumber == number && Searched != INVALID_HANDLE_VALUE)
        return TRUE;
    CloseFile(&Searched);
    Searched = CreateFileW(file->openPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, 0, NULL);
    SearchedNumber = number;
    return Searched != INVALID_HANDLE_VALUE;
}

// The line's text decoded from the searched file's UTF-8 or UTF-16, as many
// characters as a report line holds; FALSE when the file cannot be read.
static BOOL FileText(const HitRecord* hit, const HitFile* file, WCHAR* text)
{
    BYTE bytes[UNICODE_LINE_BYTES];
    DWORD got;
    if (!OpenSearched(hit->file, file) || !ReadAt(Searched, hit->lineAt, bytes, sizeof bytes, &got))
        return FALSE;
    got -= got % (DWORD)UnitBytes(file->form);
    int units = 0;
    ULONGLONG length;
    for (ULONGLONG pos = 0, characters = 0; pos < got && characters < LINE_TEXT_BYTES; pos += length, characters++) {
        UINT32 c = DecodeCharacter(bytes, pos, got, file->form, &length);
        if (c == '\r' || c == '\n')
            break;
        units += PutUtf16(c, text + units);
    }
    text[units] = 0;
    return TRUE;
}

// The hit's row, from the cache or read back: its numbers from the report,
// its text from the searched file where the Unicode files option read it as
// UTF-8 or UTF-16 and the file can still be read, else from the report.
static const CachedRow* ReadRow(ULONGLONG number)
{
    CachedRow* row = &Cache[number % ROW_CACHE];
    if (row->hitAndOne == number + 1)
        return row;
    const HitRecord* hit = ListedHit(number);
    const HitFile* file = ListedFile(hit->file);
    ReportRow(hit, file, row);
    if (file->form != TEXT_ANSI)
        FileText(hit, file, row->text);
    row->hitAndOne = number + 1;
    return row;
}

void FillResultsRow(NMLVDISPINFOW* info)
{
    LVITEMW* item = &info->item;
    if (!(item->mask & LVIF_TEXT) || item->iItem < 0 || (ULONGLONG)item->iItem >= ShownRows || item->cchTextMax <= 0)
        return;
    ULONGLONG number = RowHit(item->iItem);
    switch (item->iSubItem) {
    case COLUMN_FILE:
        lstrcpynW(item->pszText, PathBelowFolder(ListedFile(ListedHit(number)->file)), item->cchTextMax);
        break;
    case COLUMN_LINE:
    case COLUMN_COLUMN: {
        const CachedRow* row = ReadRow(number);
        WCHAR digits[NUMBER_CHARS];
        wsprintfW(digits, L"%I64u", item->iSubItem == COLUMN_LINE ? row->lineNumber : row->column);
        lstrcpynW(item->pszText, digits, item->cchTextMax);
        break;
    }
    case COLUMN_TEXT: {
        lstrcpynW(item->pszText, ReadRow(number)->text, item->cchTextMax);
        // The list view draws no tab stops: a tab shows as one space.
        for (WCHAR* c = item->pszText; *c; c++) {
            if (*c == L'\t')
                *c = L' ';
        }
        break;
    }
    }
}

static int Compare(ULONGLONG a, ULONGLONG b)
{
    return a < b ? -1 : a > b;
}

// TRUE when item a comes before item b: files by their paths while the
// files are ranked, else hits by the column sorted on.
static BOOL Before(DWORD a, DWORD b)
{
    if (SortingFiles)
        return StrCmpLogicalW(PathBelowFolder(ListedFile(a)), PathBelowFolder(ListedFile(b))) < 0;
    int order = 0;
    if (SortColumn == COLUMN_FILE)
        order = Compare(FileRanks[ListedHit(a)->file], FileRanks[ListedHit(b)->file]);
    if (order == 0 && SortColumn != COLUMN_COLUMN)
        order = Compare(SortLines[a], SortLines[b]);
    if (order == 0 && SortColumn != COLUMN_LINE)
        order = Compare(SortColumns[a], SortColumns[b]);
    return SortDown ? order > 0 : order < 0;
}

// Sorts count items by Before, keeping the order of equal ones (so that
// they stay in report order), merging runs that double in length between
// items and scratch; the result ends in items.
static void MergeSort(DWORD* items, DWORD* scratch, ULONGLONG count)
{
    DWORD* from = items;
    DWORD* to = scratch;
    for (ULONGLONG run = 1; run < count; run *= 2) {
        for (ULONGLONG start = 0; start < count; start += 2 * run) {
            ULONGLONG middle = start + run < count ? start + run : count;
            ULONGLONG end = start + 2 * run < count ? start + 2 * run : count;
            ULONGLONG left = start, right = middle, out = start;
            while (left < middle && right < end)
                to[out++] = Before(from[right], from[left]) ? from[right++] : from[left++];
            while (left < middle)
                to[out++] = from[left++];
            while (right < end)
                to[out++] = from[right++];
        }
        DWORD* swap = from;
        from = to;
        to = swap;
    }
    if (from != items)
        CopyMemory(items, from, (SIZE_T)count * sizeof(DWORD));
}

// Ranks the files by their paths below the folder; FALSE without memory.
static BOOL RankFiles()
{
    DWORD files = ListedFiles();
    DWORD* byPath = (DWORD*)Take((SIZE_T)files * sizeof(DWORD));
    DWORD* scratch = (DWORD*)Take((SIZE_T)files * sizeof(DWORD));
    FileRanks = (DWORD*)Take((SIZE_T)files * sizeof(DWORD));
    BOOL ranked = byPath && scratch && FileRanks;
    if (ranked) {
        for (DWORD n = 0; n < files; n++)
            byPath[n] = n;
        SortingFiles = TRUE;
        MergeSort(byPath, scratch, files);
        SortingFiles = FALSE;
        for (DWORD n = 0; n < files; n++)
            FileRanks[byPath[n]] = n;
    }
    Give(scratch);
    Give(byPath);
    return ranked;
}

// Reads the numbers of every row into SortLines and SortColumns, in one
// pass through the report, a chunk at a time; FALSE without memory. A line
// whose numbers do not read so sorts first.
static BOOL ReadSortKeys()
{
    SortLines = (ULONGLONG*)Take((SIZE_T)ShownRows * sizeof(ULONGLONG));
    SortColumns = (ULONGLONG*)Take((SIZE_T)ShownRows * sizeof(ULONGLONG));
    char* chunk = (char*)Take(KEYS_CHUNK_BYTES);
    if (!SortLines || !SortColumns || !chunk) {
        Give(chunk);
        return FALSE;
    }
    ULONGLONG chunkAt = 0;
    DWORD got = 0;
    for (ULONGLONG n = 0; n < ShownRows; n++) {
        const HitRecord* hit = ListedHit(n);
        ULONGLONG at = hit->reportAt + ListedFile(hit->file)->ansiNameBytes;
        if (at < chunkAt || at + NUMBERS_BYTES > chunkAt + got) {
            chunkAt = at;
            ReadAt(Report, chunkAt, chunk, KEYS_CHUNK_BYTES, &got);
        }
        SortLines[n] = SortColumns[n] = 0;
        DWORD offset = (DWORD)(at - chunkAt);
        if (offset < got)
            ReadNumbers(chunk + offset, got - offset, &SortLines[n], &SortColumns[n]);
    }
    Give(chunk);
    return TRUE;
}

static void GiveSortKeys()
{
    Give(SortLines);
    Give(SortColumns);
    Give(FileRanks);
    SortLines = SortColumns = NULL;
    FileRanks = NULL;
}

void SortResultsBy(HWND list, int column)
{
    if (column == COLUMN_TEXT || ShownRows == 0)
        return;
    if (column == SortColumn && SortDown) {
        Unsort(list);
    } else {
        SortDown = column == SortColumn;
        SortColumn = column;
        if (!Order)
            Order = (DWORD*)Take((SIZE_T)ShownRows * sizeof(DWORD));
        DWORD* scratch = (DWORD*)Take((SIZE_T)ShownRows * sizeof(DWORD));
        HCURSOR cursor = SetCursor(LoadCursorW(NULL, IDC_WAIT));
        BOOL sorted = Order && scratch && ReadSortKeys() && (column != COLUMN_FILE || RankFiles());
        if (sorted) {
            for (ULONGLONG n = 0; n < ShownRows; n++)
                Order[n] = (DWORD)n;
            MergeSort(Order, scratch, ShownRows);
        }
        SetCursor(cursor);
        Give(scratch);
        GiveSortKeys();
        if (!sorted) {
            Unsort(list);
            return;
        }
        ShowSortArrows(list);
    }
    InvalidateRect(list, NULL, FALSE);
}

int ChosenRow(HWND list)
{
    int focused = (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED);
    if (focused >= 0 && (SendMessageW(list, LVM_GETITEMSTATE, focused, LVIS_SELECTED) & LVIS_SELECTED))
        return focused;
    return (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

// The path as the system takes it, without the long form's "\\?\" (a share
// "\\?\UNC\server" becomes "\\server").
static void SystemPath(const WCHAR* longForm, WCHAR* path, int capacity)
{
    if (CompareStringOrdinal(longForm, 8, L"\\\\?\\UNC\\", 8, TRUE) == CSTR_EQUAL) {
        lstrcpynW(path, L"\\\\", capacity);
        lstrcpynW(path + 2, longForm + 8, capacity - 2);
    } else if (CompareStringOrdinal(longForm, 4, L"\\\\?\\", 4, FALSE) == CSTR_EQUAL) {
        lstrcpynW(path, longForm + 4, capacity);
    } else {
        lstrcpynW(path, longForm, capacity);
    }
}

void HitPlace(ULONGLONG number, WCHAR* path, int capacity, ULONGLONG* line, ULONGLONG* column)
{
    const HitRecord* hit = ListedHit(number);
    const HitFile* file = ListedFile(hit->file);
    const CachedRow* row = ReadRow(number);
    SystemPath(file->openPath, path, capacity);
    *line = row->lineNumber;
    *column = row->column;
    // UTF-16 columns count units already.
    ULONGLONG before = row->column - 1;
    DWORD got;
    if (file->form == TEXT_UTF16LE || file->form == TEXT_UTF16BE || before == 0 || before > COLUMN_PREFIX_BYTES ||
        !OpenSearched(hit->file, file) || !ReadAt(Searched, hit->lineAt, Prefix, (DWORD)before, &got) || got != before)
        return;
    UINT codePage = file->form == TEXT_UTF8 ? CP_UTF8 : CP_ACP;
    int units = MultiByteToWideChar(codePage, 0, (const char*)Prefix, (int)got, NULL, 0);
    if (units > 0)
        *column = (ULONGLONG)units + 1;
}

// Hands the units of text (a terminator among them) to the clipboard, which
// takes the memory over.
static void ToClipboard(HWND owner, HGLOBAL text)
{
    if (OpenClipboard(owner)) {
        EmptyClipboard();
        if (SetClipboardData(CF_UNICODETEXT, text))
            text = NULL;
        CloseClipboard();
    }
    if (text)
        GlobalFree(text);
}

// Appends the units of piece to the clipboard text at *memory, used units
// of room units, growing it; FALSE without memory.
static BOOL Append(HGLOBAL* memory, SIZE_T* used, SIZE_T* room, const WCHAR* piece)
{
    SIZE_T units = (SIZE_T)lstrlenW(piece);
    if (*used + units + 1 > *room) {
        SIZE_T larger = *room;
        while (*used + units + 1 > larger)
            larger *= 2;
        HGLOBAL grown = GlobalReAlloc(*memory, larger * sizeof(WCHAR), GMEM_MOVEABLE);
        if (!grown)
            return FALSE;
        *memory = grown;
        *room = larger;
    }
    WCHAR* text = (WCHAR*)GlobalLock(*memory);
    CopyMemory(text + *used, piece, (units + 1) * sizeof(WCHAR));
    GlobalUnlock(*memory);
    *used += units;
    return TRUE;
}

void CopyRows(HWND list)
{
    SIZE_T used = 0, room = COPY_START_UNITS;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, room * sizeof(WCHAR));
    if (!memory)
        return;
    HCURSOR cursor = SetCursor(LoadCursorW(NULL, IDC_WAIT));
    BOOL whole = Append(&memory, &used, &room, L"");
    for (int row = -1; whole;) {
        row = (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)row, LVNI_SELECTED);
        if (row < 0)
            break;
        ULONGLONG number = RowHit(row);
        const CachedRow* read = ReadRow(number);
        WCHAR numbers[2 * NUMBER_CHARS + 8];
        wsprintfW(numbers, L"(%I64u,%I64u) : ", read->lineNumber, read->column);
        whole = Append(&memory, &used, &room, ListedFile(ListedHit(number)->file)->shownPath) &&
                Append(&memory, &used, &room, numbers) && Append(&memory, &used, &room, read->text) &&
                Append(&memory, &used, &room, L"\r\n");
    }
    SetCursor(cursor);
    if (whole)
        ToClipboard(GetParent(list), memory);
    else
        GlobalFree(memory);
}

void CopyRowPath(HWND list)
{
    int row = ChosenRow(list);
    if (row < 0)
        return;
    const HitFile* file = ListedFile(ListedHit(RowHit(row))->file);
    int units = lstrlenW(file->openPath) + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)units * sizeof(WCHAR));
    if (!memory)
        return;
    WCHAR* path = (WCHAR*)GlobalLock(memory);
    SystemPath(file->openPath, path, units);
    GlobalUnlock(memory);
    ToClipboard(GetParent(list), memory);
}
