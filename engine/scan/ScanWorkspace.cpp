// A scanning thread's workspace: made once per thread, kept from file to
// file, freed with the thread.
#include "engine/scan/ScanWorkspace.h"

ScanWorkspace* NewScanWorkspace()
{
    return (ScanWorkspace*)VirtualAlloc(NULL, sizeof(ScanWorkspace), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void ReleaseReadBuffer(ScanWorkspace* workspace)
{
    if (workspace->readBuffer)
        VirtualFree(workspace->readBuffer, 0, MEM_RELEASE);
    workspace->readBuffer = NULL;
    workspace->readBufferBytes = 0;
}

void FreeScanWorkspace(ScanWorkspace* workspace)
{
    if (!workspace)
        return;
    ReleaseReadBuffer(workspace);
    for (int alphabet = REGEX_ANSI; alphabet <= REGEX_UNICODE; alphabet++) {
        RegexWorkspaceFree(workspace->regex[alphabet]);
        RegexWorkspaceFree(workspace->reversed[alphabet]);
    }
    VirtualFree(workspace, 0, MEM_RELEASE);
}

// Makes the workspace in *slot for program, unless the one there serves it.
static BOOL Ready(RegexWorkspace** slot, const RegexProgram* program)
{
    if (!program || RegexWorkspaceServes(*slot, program))
        return TRUE;
    RegexWorkspaceFree(*slot);
    *slot = RegexWorkspaceAlloc(program);
    return *slot != NULL;
}

BOOL ReadyRegexWorkspaces(ScanWorkspace* workspace, const SearchRequest* request)
{
    return Ready(&workspace->regex[REGEX_ANSI], request->ansiProgram) &&
           Ready(&workspace->reversed[REGEX_ANSI], request->ansiReversed) &&
           Ready(&workspace->regex[REGEX_UNICODE], request->unicodeProgram) &&
           Ready(&workspace->reversed[REGEX_UNICODE], request->unicodeReversed);
}

