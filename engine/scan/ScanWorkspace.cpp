// A scanning thread's workspace: made once per thread, kept from file to
// file, freed with the thread.
#include "engine/scan/ScanWorkspace.h"

ScanWorkspace* NewScanWorkspace(int scanThreads)
{
    ScanWorkspace* workspace =
        (ScanWorkspace*)VirtualAlloc(NULL, sizeof(ScanWorkspace), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (workspace)
        workspace->scanThreads = scanThreads > 1 ? scanThreads : 1;
    return workspace;
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
static BOOL Ready(RegexWorkspace** slot, const RegexProgram* program, DWORD cacheBytes)
{
    if (!program || RegexWorkspaceServes(*slot, program))
        return TRUE;
    RegexWorkspaceFree(*slot);
    *slot = RegexWorkspaceAlloc(program, cacheBytes);
    return *slot != NULL;
}

BOOL ReadyRegexWorkspaces(ScanWorkspace* workspace, const SearchRequest* request)
{
    DWORD programs = (request->ansiProgram != NULL) + (request->ansiReversed != NULL) +
                     (request->unicodeProgram != NULL) + (request->unicodeReversed != NULL);
    DWORD share = REGEX_DFA_CACHES_BYTES / (DWORD)workspace->scanThreads / (programs ? programs : 1);
    return Ready(&workspace->regex[REGEX_ANSI], request->ansiProgram, share) &&
           Ready(&workspace->reversed[REGEX_ANSI], request->ansiReversed, share) &&
           Ready(&workspace->regex[REGEX_UNICODE], request->unicodeProgram, share) &&
           Ready(&workspace->reversed[REGEX_UNICODE], request->unicodeReversed, share);
}
