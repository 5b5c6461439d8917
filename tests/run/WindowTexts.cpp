// Prints the controls of a top-level dialog another process shows, one line
// each: the control id, a tab and the control's text, in UTF-8. The
// end-to-end tests read the dialogs' texts with it. Only the dialog's own
// controls are listed (a combo box's edit field has an id of its own), and
// their texts are asked for, since GetWindowText does not ask another
// process's edit fields. Usage: seekline_window_texts CAPTION
#include <windows.h>
#include <shellapi.h>

static BOOL CALLBACK PrintControl(HWND control, LPARAM dialog)
{
    if (GetParent(control) != (HWND)dialog)
        return TRUE;
    // Room for the longest text a settings box may hold, and more.
    WCHAR text[2048];
    text[0] = 0;
    DWORD_PTR copied;
    SendMessageTimeoutW(control, WM_GETTEXT, 2048, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &copied);
    WCHAR line[2100];
    wsprintfW(line, L"%d\t", GetDlgCtrlID(control));
    lstrcatW(line, text);
    lstrcatW(line, L"\n");
    char bytes[6300];
    int length = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof bytes, NULL, NULL);
    DWORD written;
    if (length > 1)
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, length - 1, &written, NULL);
    return TRUE;
}

int main()
{
    int count;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count != 2)
        return 2;
    HWND dialog = FindWindowW(L"#32770", arguments[1]);
    LocalFree(arguments);
    if (!dialog)
        return 1;
    EnumChildWindows(dialog, PrintControl, (LPARAM)dialog);
    return 0;
}
