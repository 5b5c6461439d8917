// Words to the user outside the dialogs.
#include "run/Messages.h"
#include "run/SearchRun.h"
#include "settings/UiText.h"

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

void TellSystemFailure(const WCHAR* format, const WCHAR* subject, DWORD error, int where)
{
    WCHAR reason[512], text[MESSAGE_CHARS];
    SystemReason(error, reason, 512);
    wsprintfW(text, format, subject, reason);
    TellUser(text, where);
}

void TellBoxFailure(HWND owner, UINT id, const WCHAR* subject, DWORD error)
{
    WCHAR reason[512], text[UI_TEXT_CHARS];
    SystemReason(error, reason, 512);
    const WCHAR* arguments[] = {subject, reason};
    FormatUiText(GetResourceModule(), id, text, UI_TEXT_CHARS, arguments, 2);
    MessageBoxW(owner, text, L"Seekline", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}
