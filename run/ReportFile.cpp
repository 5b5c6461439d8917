// The desktop report file.
#include "run/ReportFile.h"
#include "run/Messages.h"
#include "engine/report/Output.h"
#include "resources/resource.h"
#include "run/SearchRun.h"
#include "settings/UiText.h"
#include <shlobj.h>
#include <shlwapi.h>

HANDLE CreateReportFile(WCHAR* path, BOOL readable, int where, HWND owner)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_PATH_NOT_FOUND;
    if (SHGetSpecialFolderPathW(NULL, path, CSIDL_DESKTOPDIRECTORY, FALSE) && PathAppendW(path, L"Seekline.txt")) {
        file = CreateFileW(path, GENERIC_WRITE, readable ? FILE_SHARE_READ : 0, NULL, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
        error = GetLastError();
    } else if (where == TELL_BOX) {
        LoadUiText(GetResourceModule(), IDS_REPORT_ON_DESKTOP, path, MAX_PATH);
    } else {
        lstrcpyW(path, L"Seekline.txt on the desktop");
    }
    if (file != INVALID_HANDLE_VALUE)
        return file;
    if (where == TELL_BOX)
        TellBoxFailure(owner, IDS_REPORT_NOT_CREATED, path, error);
    else
        TellSystemFailure(L"cannot create the report file %.300s: %.500s Nothing was searched.", path, error, where);
    return INVALID_HANDLE_VALUE;
}

BOOL TellIncompleteReport(const WCHAR* path, int where, HWND owner)
{
    DWORD failure = OutputFailure();
    if (failure == 0 || failure == ERROR_OPERATION_ABORTED || OutputReaderGone())
        return FALSE;
    if (where == TELL_BOX) {
        WCHAR place[MAX_PATH + 64];
        if (path)
            FormatUiText(GetResourceModule(), IDS_REPORT_IN_FILE, place, MAX_PATH + 64, &path, 1);
        else
            LoadUiText(GetResourceModule(), IDS_REPORT_ON_OUTPUT, place, MAX_PATH + 64);
        TellBoxFailure(owner, OutputLastLineCut() ? IDS_REPORT_INCOMPLETE_CUT : IDS_REPORT_INCOMPLETE, place, failure);
        return TRUE;
    }
    WCHAR place[MAX_PATH + 24] = L"on standard output";
    if (path)
        wsprintfW(place, L"in %s", path);
    const WCHAR* format = L"the report %.300s is incomplete: %.500s The search was stopped there.";
    if (OutputLastLineCut())
        format = L"the report %.300s is incomplete: %.500s The search was stopped there, and its last line is cut.";
    TellSystemFailure(format, place, failure, where);
    return TRUE;
}
