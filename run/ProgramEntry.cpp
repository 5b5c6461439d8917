// The process entry: one search run from the settings dialog to ExitProcess.
// There is no C runtime start-up before it; it never returns.
#include "run/SearchRun.h"
#include "engine/Output.h"
#include "engine/SearchRequest.h"
#include "resources/resource.h"
#include "settings/SettingsDialog.h"
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

// Creates "Seekline.txt" on the user's desktop afresh, or returns
// INVALID_HANDLE_VALUE; the search then runs and its writes fail in silence.
static HANDLE CreateReportFile()
{
    WCHAR path[MAX_PATH];
    if (!SHGetSpecialFolderPathW(NULL, path, CSIDL_DESKTOPDIRECTORY, FALSE))
        return INVALID_HANDLE_VALUE;
    if (!PathAppendW(path, L"Seekline.txt"))
        return INVALID_HANDLE_VALUE;
    return CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

extern "C" __attribute__((noreturn)) void ProgramEntry()
{
    if (FAILED(CoInitialize(NULL)))
        ExitProcess(0);
    InitCommonControls();
    STARTUPINFOW startup;
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);

    // -1 (the dialog could not be shown) counts as a cancel, like 0.
    INT_PTR result = DialogBoxParamW(GetResourceModule(), MAKEINTRESOURCEW(IDD_SETTINGS), NULL,
                                     SettingsDlgProc, 0);
    if (result != 0 && result != -1) {
        SearchRequest* request = (SearchRequest*)result;
        // A caller that handed us standard handles gets the report; the
        // handle is its, so it is never closed here.
        HANDLE reportFile = INVALID_HANDLE_VALUE;
        HANDLE destination = startup.hStdOutput;
        if (!(startup.dwFlags & STARTF_USESTDHANDLES)) {
            reportFile = CreateReportFile();
            destination = reportFile;
        }
        OutputStart(destination);
        // Returns only after the worker's done command, so nothing below is
        // still in use.
        DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_PROGRESS), NULL,
                        ProgressDlgProc, (LPARAM)request);
        OutputRelease();
        GlobalFree(request);
        if (reportFile != INVALID_HANDLE_VALUE)
            CloseHandle(reportFile);
    }
    CoUninitialize();
    ExitProcess(0);
}
