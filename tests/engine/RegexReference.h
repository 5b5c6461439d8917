// A straightforward regular-expression matcher for one line, written for
// clarity rather than speed, that the engine is held to: it parses the
// pattern itself, computes every end a match from a position can reach, and
// applies the line scanner's rules position by position as the byte-by-byte
// literal scanner does.
#pragma once
#include <windows.h>
#include <memory>
#include <string>
#include <vector>

struct ReferencePattern;

// NULL when the pattern does not parse (the reference does not say why).
std::shared_ptr<ReferencePattern> ReferenceParse(const std::wstring& pattern);

// A line's characters (of an ANSI file as AnsiCharacterKey has them, of a
// Unicode one a surrogate pair as one) and the unit offset of each, with the
// length last.
struct ReferenceLine {
    std::vector<DWORD> chars;
    std::vector<ULONGLONG> offsets;
};

ReferenceLine LineOfBytes(const std::string& bytes);
// ANSI text read into characters as the platform reads them.
ReferenceLine LineOfAnsi(const std::string& bytes);
ReferenceLine LineOfUnits(const std::wstring& units);

struct ReferenceRules {
    bool unicode;
    bool matchCase;
    DWORD options;  // REGEX_SKIP_COMMENTS, REGEX_STRINGS_ONLY, REGEX_WHOLE_WORD
};

// The unit offset of the line's first hit, or REGEX_NONE.
ULONGLONG ReferenceFirstHit(const ReferencePattern* pattern, const ReferenceRules& rules, const ReferenceLine& line);

// What the DFA promises: the least unit offset where any match of the line
// ends, with \b and \B taken as true and the options ignored; REGEX_NONE when
// none does.
ULONGLONG ReferenceFirstEnd(const ReferencePattern* pattern, const ReferenceRules& rules, const ReferenceLine& line);
