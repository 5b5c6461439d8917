// The patterns of git's ignore rules, matched as git matches them with its
// case folding on (core.ignoreCase, true where git runs on Windows): on the
// bytes of the text, "*" any run of bytes but "/", "?" one byte but "/",
// "[...]" one byte of a class ("[!...]" or "[^...]" one outside it, ranges,
// "[:alpha:]" and the other classes of the C locale), "\" the byte after it
// taken as it is, and "**" that stands between slashes or at an end any run
// of folders. ASCII letters match in either case.
#pragma once
#include <windows.h>

// TRUE when the whole text (a name, or a path with "/" between its names)
// matches the whole pattern.
BOOL GitPatternMatches(const BYTE* pattern, int patternLength, const BYTE* text, int textLength);

// TRUE when the pattern has none of git's special bytes: it matches only a
// text equal to it but for letter case.
BOOL GitPatternIsLiteral(const BYTE* pattern, int length);

// An ASCII letter in lower case, any other byte as it is.
inline BYTE GitFold(BYTE c)
{
    return c >= 'A' && c <= 'Z' ? (BYTE)(c + 32) : c;
}
