// Stands in for an editor in the end-to-end tests: registered or named as
// one, it appends the command line it was started with, in UTF-8 and on a
// line of its own, to the file named like itself plus ".log", and ends.
#include <windows.h>

int main()
{
    WCHAR log[MAX_PATH + 8];
    DWORD length = GetModuleFileNameW(NULL, log, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    lstrcatW(log, L".log");
    static char line[3 * 32768 + 2];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line, sizeof line - 1, NULL, NULL);
    if (bytes <= 0)
        return 1;
    line[bytes - 1] = '\n';
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written;
    WriteFile(file, line, (DWORD)bytes, &written, NULL);
    CloseHandle(file);
    return 0;
}
