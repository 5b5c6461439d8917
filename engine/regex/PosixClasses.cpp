// The members of the named classes: ASCII rules for ANSI files, the
// platform's character types for Unicode files.
#include "engine/regex/PosixClasses.h"
#include "engine/text/Utf16.h"
#include "engine/text/WordCharacters.h"

#define BMP_CHARACTERS 0x10000

static DWORD* unicodeBits;  // POSIX_CLASSES rows of the basic plane's bits
static INIT_ONCE unicodeBitsMade = INIT_ONCE_STATIC_INIT;

BOOL AnsiPosixHas(DWORD posixClass, BYTE b)
{
    BOOL upper = b >= 'A' && b <= 'Z', lower = b >= 'a' && b <= 'z', digit = b >= '0' && b <= '9';
    switch (posixClass) {
    case POSIX_ALPHA: return upper || lower;
    case POSIX_DIGIT: return digit;
    case POSIX_ALNUM: return upper || lower || digit;
    case POSIX_SPACE: return b == ' ' || (b >= '\t' && b <= '\r');
    case POSIX_UPPER: return upper;
    case POSIX_LOWER: return lower;
    case POSIX_PUNCT: return IsAsciiPunctuation(b);
    case POSIX_XDIGIT: return digit || ((b | 0x20) >= 'a' && (b | 0x20) <= 'f');
    default: return IsWordByte(b);
    }
}

// Whether character c (of the basic plane, no surrogate) of types (CT_CTYPE1)
// is a member.
static BOOL UnicodeHas(DWORD posixClass, WCHAR c, WORD types)
{
    switch (posixClass) {
    case POSIX_ALPHA: return IsCharAlphaW(c);
    case POSIX_DIGIT: return (types & C1_DIGIT) != 0;
    case POSIX_ALNUM: return IsCharAlphaNumericW(c);
    case POSIX_SPACE: return (types & C1_SPACE) != 0;
    case POSIX_UPPER: return IsCharUpperW(c);
    case POSIX_LOWER: return IsCharLowerW(c);
    case POSIX_PUNCT: return (types & C1_PUNCT) != 0;
    default: return (types & C1_XDIGIT) != 0;
    }
}

static BOOL CALLBACK MakeUnicodeBits(INIT_ONCE*, void*, void**)
{
    const DWORD rowWords = BMP_CHARACTERS / 32;
    SIZE_T bytes = sizeof(DWORD) * rowWords * POSIX_CLASSES + (sizeof(WORD) + sizeof(WCHAR)) * BMP_CHARACTERS;
    DWORD* bits = (DWORD*)VirtualAlloc(NULL, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!bits)
        return TRUE;
    // The types of the whole plane in one call, in room after the rows.
    WORD* types = (WORD*)(bits + rowWords * POSIX_CLASSES);
    WCHAR* plane = (WCHAR*)(types + BMP_CHARACTERS);
    for (DWORD c = 0; c < BMP_CHARACTERS; c++)
        plane[c] = (WCHAR)c;
    GetStringTypeW(CT_CTYPE1, plane, BMP_CHARACTERS, types);
    CopyMemory(bits + rowWords * POSIX_WORD, UnicodeWordBits(), sizeof(DWORD) * rowWords);
    for (DWORD k = 0; k < POSIX_CLASSES; k++) {
        for (DWORD c = 0; c < BMP_CHARACTERS && k != POSIX_WORD; c++) {
            if (!IsSurrogate(c) && UnicodeHas(k, (WCHAR)c, types[c]))
                bits[rowWords * k + c / 32] |= 1u << (c % 32);
        }
    }
    unicodeBits = bits;
    return TRUE;
}

const DWORD* UnicodePosixBits(DWORD posixClass)
{
    InitOnceExecuteOnce(&unicodeBitsMade, MakeUnicodeBits, NULL, NULL);
    return unicodeBits ? unicodeBits + BMP_CHARACTERS / 32 * posixClass : NULL;
}
