// The word characters of Unicode text, as the platform tells them, once.
#include "engine/text/WordCharacters.h"
#include "engine/text/Utf16.h"

#define BMP_CHARACTERS 0x10000

static DWORD wordBits[BMP_CHARACTERS / 32];
static INIT_ONCE WordBitsMade = INIT_ONCE_STATIC_INIT;

static BOOL CALLBACK MakeWordBits(INIT_ONCE*, void*, void**)
{
    for (UINT32 c = 0; c < BMP_CHARACTERS; c++) {
        BOOL surrogate = IsSurrogate(c);
        if (c == '_' || (!surrogate && IsCharAlphaNumericW((WCHAR)c)))
            wordBits[c / 32] |= 1u << (c % 32);
    }
    return TRUE;
}

const DWORD* UnicodeWordBits()
{
    InitOnceExecuteOnce(&WordBitsMade, MakeWordBits, NULL, NULL);
    return wordBits;
}
