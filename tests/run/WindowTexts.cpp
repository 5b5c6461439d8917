// Reads what another process's windows show, for the end-to-end tests, in
// UTF-8:
//   seekline_window_texts CAPTION
//     the controls of the top-level dialog with that caption, one line each:
//     the control id, a tab and the control's text. Only the dialog's own
//     controls are listed (a combo box's edit field has an id of its own),
//     and their texts are asked for, since GetWindowText does not ask
//     another process's edit fields;
//   seekline_window_texts --rows CAPTION ID
//     the column headings of the list view ID in that dialog, then its rows,
//     one line each, the texts between tabs. A list view takes its buffers
//     in its own process, so they are made there;
//   seekline_window_texts --row-place CAPTION ID ROW
//     "x y", the screen point in the middle of that row's first column,
//     scrolled into view, for a click; with --heading-place, the middle of
//     that column's heading;
//   seekline_window_texts --clipboard
//     the clipboard's text.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <stdlib.h>

#define TEXT_UNITS 2048

static void Print(const WCHAR* text)
{
    static char bytes[3 * TEXT_UNITS + 16];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    DWORD written;
    if (length > 1)
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, length - 1, &written, NULL);
}

static BOOL CALLBACK PrintControl(HWND control, LPARAM dialog)
{
    if (GetParent(control) != (HWND)dialog)
        return TRUE;
    // Room for the longest text a settings box may hold, and more.
    WCHAR text[TEXT_UNITS];
    text[0] = 0;
    DWORD_PTR copied;
    SendMessageTimeoutW(control, WM_GETTEXT, TEXT_UNITS, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &copied);
    WCHAR number[16];
    wsprintfW(number, L"%d\t", GetDlgCtrlID(control));
    Print(number);
    Print(text);
    Print(L"\n");
    return TRUE;
}

// A buffer in the process that shows the list: an item record and its text.
struct Remote {
    HANDLE process;
    BYTE* memory;
};

static BOOL OpenRemote(HWND list, Remote* remote)
{
    DWORD id;
    GetWindowThreadProcessId(list, &id);
    remote->process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
    remote->memory = remote->process
                         ? (BYTE*)VirtualAllocEx(remote->process, NULL, sizeof(LVITEMW) + TEXT_UNITS * sizeof(WCHAR),
                                                 MEM_COMMIT, PAGE_READWRITE)
                         : NULL;
    return remote->memory != NULL;
}

// Asks window for a text with message, the record of item bytes naming the
// buffer at the start of the remote text room; copies the text into got.
static void FetchText(const Remote* remote, HWND window, UINT message, WPARAM index, const void* item, SIZE_T bytes,
                      WCHAR* got)
{
    SIZE_T moved;
    got[0] = 0;
    WriteProcessMemory(remote->process, remote->memory, item, bytes, &moved);
    SendMessageW(window, message, index, (LPARAM)remote->memory);
    ReadProcessMemory(remote->process, remote->memory + sizeof(LVITEMW), got, (TEXT_UNITS - 1) * sizeof(WCHAR), &moved);
    got[TEXT_UNITS - 1] = 0;
}

static void PrintRows(HWND list)
{
    Remote remote;
    if (!OpenRemote(list, &remote))
        return;
    int rows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
    int columns = (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0);
    WCHAR* text = (WCHAR*)(remote.memory + sizeof(LVITEMW));
    WCHAR got[TEXT_UNITS];
    // The headings first, then the rows.
    for (int row = -1; row < rows; row++) {
        for (int column = 0; column < columns; column++) {
            if (row < 0) {
                HDITEMW item = {};
                item.mask = HDI_TEXT;
                item.pszText = text;
                item.cchTextMax = TEXT_UNITS;
                FetchText(&remote, header, HDM_GETITEMW, column, &item, sizeof item, got);
            } else {
                LVITEMW item = {};
                item.iSubItem = column;
                item.pszText = text;
                item.cchTextMax = TEXT_UNITS;
                FetchText(&remote, list, LVM_GETITEMTEXTW, row, &item, sizeof item, got);
            }
            Print(column ? L"\t" : L"");
            Print(got);
        }
        Print(L"\n");
    }
    VirtualFreeEx(remote.process, remote.memory, 0, MEM_RELEASE);
    CloseHandle(remote.process);
}

static void PrintPlace(HWND list, int row, BOOL heading)
{
    Remote remote;
    if (!OpenRemote(list, &remote))
        return;
    HWND window = heading ? (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0) : list;
    if (!heading)
        SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
    RECT place = {LVIR_LABEL, 0, 0, 0};
    SIZE_T moved;
    WriteProcessMemory(remote.process, remote.memory, &place, sizeof place, &moved);
    if (SendMessageW(window, heading ? HDM_GETITEMRECT : LVM_GETITEMRECT, row, (LPARAM)remote.memory) &&
        ReadProcessMemory(remote.process, remote.memory, &place, sizeof place, &moved)) {
        POINT middle = {(place.left + place.right) / 2, (place.top + place.bottom) / 2};
        ClientToScreen(window, &middle);
        WCHAR line[48];
        wsprintfW(line, L"%ld %ld\n", middle.x, middle.y);
        Print(line);
    }
    VirtualFreeEx(remote.process, remote.memory, 0, MEM_RELEASE);
    CloseHandle(remote.process);
}

static void PrintClipboard()
{
    if (!OpenClipboard(NULL))
        return;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const WCHAR* text = data ? (const WCHAR*)GlobalLock(data) : NULL;
    if (text) {
        // In pieces, so that any length fits the printing buffer.
        WCHAR piece[TEXT_UNITS];
        for (int at = 0, length = lstrlenW(text); at < length; at += TEXT_UNITS - 1) {
            lstrcpynW(piece, text + at, TEXT_UNITS);
            Print(piece);
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
}

int main()
{
    int count;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 2)
        return 2;
    if (lstrcmpW(arguments[1], L"--clipboard") == 0) {
        PrintClipboard();
        return 0;
    }
    BOOL rows = lstrcmpW(arguments[1], L"--rows") == 0 && count == 4;
    BOOL heading = lstrcmpW(arguments[1], L"--heading-place") == 0;
    BOOL place = (heading || lstrcmpW(arguments[1], L"--row-place") == 0) && count == 5;
    if (!rows && !place && count != 2)
        return 2;
    HWND dialog = FindWindowW(L"#32770", arguments[rows || place ? 2 : 1]);
    if (!dialog)
        return 1;
    if (!rows && !place) {
        EnumChildWindows(dialog, PrintControl, (LPARAM)dialog);
        return 0;
    }
    HWND list = GetDlgItem(dialog, _wtoi(arguments[3]));
    if (!list)
        return 1;
    if (rows)
        PrintRows(list);
    else
        PrintPlace(list, _wtoi(arguments[4]), heading);
    LocalFree(arguments);
    return 0;
}
