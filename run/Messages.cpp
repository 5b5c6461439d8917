// Words to the user outside the dialogs.
#include "run/Messages.h"

HANDLE StandardHandle(DWORD which)
{
    HANDLE handle = GetStdHandle(which);
    if (handle == NULL || handle == INVALID_HANDLE_VALUE)
        return NULL;
    // A GUI program can be handed a handle that is not its own (another
    // process's console): the platform knows no type for it.
    if (GetFileType(handle) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR)
        return NULL;
    return handle;
}

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

void TellUser(const WCHAR* text, int where)
{
    HANDLE error = where == TELL_BOX ? NULL : StandardHandle(STD_ERROR_HANDLE);
    if (error) {
        WCHAR line[MESSAGE_CHARS + 16];
        wsprintfW(line, L"Seekline: %.1000s\r\n", text);
        WriteText(error, line);
    } else if (where != TELL_QUIET) {
        // A sentence of its own in a box, a clause after "Seekline:" on a line.
        WCHAR sentence[MESSAGE_CHARS];
        lstrcpynW(sentence, text, MESSAGE_CHARS);
        CharUpperBuffW(sentence, 1);
        MessageBoxW(NULL, sentence, L"Seekline", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    }
}

// The system's words for an error code, on one line.
static void SystemReason(DWORD error, WCHAR* text, int capacity)
{
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                  error, 0, text, (DWORD)capacity, NULL);
    if (length == 0)
        length = (DWORD)wsprintfW(text, L"system error %lu.", error);
    // The system ends its words with a line end.
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' '))
        length--;
    text[length] = 0;
}

void TellSystemFailure(const WCHAR* format, const WCHAR* subject, DWORD error, int where)
{
    WCHAR reason[512], text[MESSAGE_CHARS];
    SystemReason(error, reason, 512);
    wsprintfW(text, format, subject, reason);
    TellUser(text, where);
}
