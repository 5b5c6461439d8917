// A whole line's first hit: the lazy DFA rules out a line that holds no
// match at its speed, and the Pike VM finds the exact hit of one that does.
#include "engine/regex/Workspace.h"

// Whether the DFA finds a match anywhere in a whole line: when it does not,
// the line has no hit and the VM need not run.
static BOOL LineMayMatch(RegexWorkspace* workspace, const BYTE* bytes, const WCHAR* units, ULONGLONG length)
{
    RegexFindBegin(workspace);
    ULONGLONG end = bytes ? RegexFindBytes(workspace, bytes, 0, length) : RegexFindUnits(workspace, units, 0, length);
    return end != REGEX_NONE || RegexFindAtEnd(workspace);
}

// A whole line's first hit, in bytes or in units (the other NULL).
static ULONGLONG FirstHit(RegexWorkspace* workspace, const BYTE* bytes, const WCHAR* units, ULONGLONG length,
                          DWORD options)
{
    if (!LineMayMatch(workspace, bytes, units, length))
        return REGEX_NONE;
    RegexLineBegin(workspace, options);
    if (bytes)
        RegexLineBytes(workspace, bytes, length);
    else
        RegexLineUnits(workspace, units, length);
    return RegexLineEnd(workspace);
}

ULONGLONG RegexFirstHitBytes(RegexWorkspace* workspace, const BYTE* line, ULONGLONG length, DWORD options)
{
    return FirstHit(workspace, line, NULL, length, options);
}

ULONGLONG RegexFirstHitUnits(RegexWorkspace* workspace, const WCHAR* line, ULONGLONG length, DWORD options)
{
    return FirstHit(workspace, NULL, line, length, options);
}
