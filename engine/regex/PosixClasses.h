// Inside the regular-expression engine: the members of the classes a
// bracket names, [:alpha:] and the others (RegexPosixClass, Parser.h).
#pragma once
#include "engine/regex/Parser.h"

// ASCII punctuation: what "\" before a character makes a literal, and
// [:punct:] in ANSI files.
inline BOOL IsAsciiPunctuation(DWORD c)
{
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
}

// ANSI files: whether byte b is a member, by its ASCII meaning; [:word:] is
// what \w takes (engine/text/WordCharacters.h), bytes of 0x80 or more too.
BOOL AnsiPosixHas(DWORD posixClass, BYTE b);

// Unicode files: the members in the basic plane as bits (bit c % 32 of DWORD
// c / 32), by the platform's character types: IsCharAlphaW, IsCharUpperW,
// IsCharLowerW and IsCharAlphaNumericW for [:alpha:], [:upper:], [:lower:]
// and [:alnum:], GetStringTypeW's C1_DIGIT, C1_SPACE, C1_PUNCT and C1_XDIGIT
// for the others, and for [:word:] what \w takes. No character beyond the
// basic plane is a member. Made once per process on first use (NULL
// without memory) and only read after.
const DWORD* UnicodePosixBits(DWORD posixClass);
