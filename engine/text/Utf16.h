// UTF-16's surrogate pairs: a character above the basic plane is two units,
// a high surrogate then a low one. A surrogate that stands alone is a
// character of its own wherever Seekline reads UTF-16.
#pragma once
#include <windows.h>

// The first character above the basic plane.
#define FIRST_PAIRED_CHARACTER 0x10000u

inline BOOL IsSurrogate(UINT32 unit)
{
    return unit >= 0xD800 && unit <= 0xDFFF;
}

inline BOOL IsHighSurrogate(UINT32 unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

inline BOOL IsLowSurrogate(UINT32 unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The character of a surrogate pair.
inline UINT32 PairedCharacter(UINT32 high, UINT32 low)
{
    return FIRST_PAIRED_CHARACTER + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// Writes character c as its one or two units; returns how many.
inline int PutUtf16(UINT32 c, WCHAR* units)
{
    if (c < FIRST_PAIRED_CHARACTER) {
        units[0] = (WCHAR)c;
        return 1;
    }
    units[0] = (WCHAR)(0xD800 + ((c - FIRST_PAIRED_CHARACTER) >> 10));
    units[1] = (WCHAR)(0xDC00 + ((c - FIRST_PAIRED_CHARACTER) & 0x3FF));
    return 2;
}

// The character at units[at] (of count units): a pair's when a high
// surrogate is followed by a low one, else the unit; *taken says how many
// units it takes.
inline UINT32 Utf16CharacterAt(const WCHAR* units, int at, int count, int* taken)
{
    UINT32 unit = units[at];
    *taken = 1;
    if (IsHighSurrogate(unit) && at + 1 < count && IsLowSurrogate(units[at + 1])) {
        *taken = 2;
        return PairedCharacter(unit, units[at + 1]);
    }
    return unit;
}
