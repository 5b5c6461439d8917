// The characters of the ANSI code page as ANSI text is searched: which bytes
// lead a double-byte character, and what a character of one byte folds to
// when case does not matter. Made once per process from the platform and
// only read after. Under code page 65001 ANSI text is UTF-8, which the
// Unicode scanner reads (engine/text/TextForm.h); these tables then fold
// only "a" to "z".
#pragma once
#include <windows.h>

enum AnsiKind {
    ANSI_SINGLE_BYTE,  // every byte a character (1250 to 1258, 874, ...)
    ANSI_DOUBLE_BYTE,  // lead bytes take the next byte with them (932, 936, 949, 950)
    ANSI_UTF8,         // 65001
};

struct AnsiCodePage {
    AnsiKind kind;
    // A byte that is a character of its own, upper-cased: by the platform
    // (CharUpperBuffA) where it gives the exact spelling of the character's
    // upper case as one such byte; "a" to "z" as always; every other byte,
    // and every lead byte, as it stands.
    BYTE fold[256];
    // For a folded byte u: the bits in which the bytes that fold to u differ
    // from it (a vector search's test (byte | varies) == (u | varies) takes
    // them all), how many bytes fold to it, and how often the bytes that
    // test takes stand in source text together (engine/text/ByteFrequency.h).
    BYTE foldVaries[256];
    BYTE foldSources[256];
    unsigned foldFrequency[256];
    BYTE lead[256];  // 1 for a byte that leads a double-byte character
};

// The tables, made on first use by any thread.
const AnsiCodePage* AnsiCharacters();

inline BOOL IsAnsiLineEnd(BYTE b)
{
    return b == '\r' || b == '\n';
}

// The bytes of the character that starts at pos, below size: a lead byte
// takes the byte after it, unless the text or the line ends first (then it
// is a character of one byte); every other byte is a character.
inline ULONGLONG AnsiCharacterBytes(const AnsiCodePage* page, const BYTE* text, ULONGLONG pos, ULONGLONG size)
{
    return page->lead[text[pos]] && pos + 1 < size && !IsAnsiLineEnd(text[pos + 1]) ? 2 : 1;
}
