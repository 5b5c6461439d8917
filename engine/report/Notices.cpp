// Words to the user beside the report.
#include "engine/report/Notices.h"
#include "engine/report/FileCounts.h"
#include "engine/report/HitList.h"

// Set by the run before the search, read by the walk during it.
static HANDLE UnreadableFiles;

void WriteText(HANDLE handle, const WCHAR* text)
{
    DWORD done, mode;
    int units = lstrlenW(text);
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text, (DWORD)units, &done, NULL);
        return;
    }
    // Written in pieces, so that any length fits a fixed buffer.
    char bytes[1024];
    while (units > 0) {
        int part = units < 256 ? units : 256;
        int length = WideCharToMultiByte(CP_ACP, 0, text, part, bytes, sizeof bytes, NULL, NULL);
        WriteFile(handle, bytes, (DWORD)length, &done, NULL);
        text += part;
        units -= part;
    }
}

void SystemReason(DWORD error, WCHAR* text, int capacity)
{
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, text,
                                  (DWORD)capacity, NULL);
    if (length == 0)
        length = (DWORD)wsprintfW(text, L"system error %lu.", error);
    // The system ends its words with a line end.
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' '))
        length--;
    text[length] = 0;
}

void UnreadableFilesTo(HANDLE destination)
{
    UnreadableFiles = destination;
}

// Writes "Seekline: cannot read ", what, the path and the reason, on a line.
static void TellUnreadable(const WCHAR* what, const WCHAR* shownPath, DWORD error)
{
    CountFile(FILES_UNREADABLE);
    if (HitListOn())
        ListUnreadableFile(shownPath, error);
    if (!UnreadableFiles)
        return;
    // The path may be far longer than any message: it goes in a piece of its own.
    WCHAR reason[512];
    SystemReason(error, reason, 512 - 3);
    lstrcatW(reason, L"\r\n");
    WriteText(UnreadableFiles, L"Seekline: cannot read ");
    WriteText(UnreadableFiles, what);
    WriteText(UnreadableFiles, shownPath);
    WriteText(UnreadableFiles, L": ");
    WriteText(UnreadableFiles, reason);
}

void TellUnreadableFile(const WCHAR* shownPath, DWORD error)
{
    TellUnreadable(L"", shownPath, error);
}

void TellUnreadableFolder(const WCHAR* shownPath, DWORD error)
{
    TellUnreadable(L"folder ", shownPath, error);
}
