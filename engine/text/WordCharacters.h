// The word characters of whole-word search and of \w, \b in regular
// expressions: letters, digits and "_". In ANSI text, ASCII letters and
// digits, "_" and every byte of 0x80 or more (part of a letter in most code
// pages); in Unicode text, what the platform calls alphanumeric
// (IsCharAlphaNumericW) in the basic plane, and "_".
#pragma once
#include <windows.h>

inline BOOL IsWordByte(BYTE b)
{
    return b >= 0x80 || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_';
}

// The basic plane as bits, one per character (bit c % 32 of DWORD c / 32),
// set for the word characters; made once per process on first use and only
// read after.
const DWORD* UnicodeWordBits();

// Whether the character (a code point; a lone surrogate is none) is a word
// character of Unicode text.
inline BOOL IsWordCharacter(const DWORD* bits, UINT32 c)
{
    return c < 0x10000 && ((bits[c / 32] >> (c % 32)) & 1);
}
