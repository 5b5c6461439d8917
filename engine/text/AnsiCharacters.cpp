// The ANSI code page's lead bytes and the folding of its one-byte
// characters, as the platform tells them, once.
#include "engine/text/AnsiCharacters.h"
#include "engine/text/ByteFrequency.h"

static AnsiCodePage page;
static INIT_ONCE PageMade = INIT_ONCE_STATIC_INIT;

// The character of one byte as UTF-16, or 0 when the code page has none.
static WCHAR CharacterOf(BYTE b)
{
    WCHAR c = 0;
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, (const char*)&b, 1, &c, 1) == 1 ? c : 0;
}

// The platform's upper-casing of the one-byte character b, kept only where
// it is exact: where the code page lacks the upper case, CharUpperBuffA
// writes a look-alike (under 1256 "E" for an e acute), which would make the
// letter find another.
static BYTE UpperByte(BYTE b)
{
    if (b < 0x80)
        return b >= 'a' && b <= 'z' ? (BYTE)(b - 0x20) : b;
    if (page.lead[b] || page.kind == ANSI_UTF8)
        return b;
    char upper = (char)b;
    CharUpperBuffA(&upper, 1);
    BYTE u = (BYTE)upper;
    WCHAR c = CharacterOf(b), expected = c;
    CharUpperBuffW(&expected, 1);
    if (u == b || u < 0x80 || page.lead[u] || !c || CharacterOf(u) != expected)
        return b;
    return u;
}

static BOOL CALLBACK MakePage(INIT_ONCE*, void*, void**)
{
    CPINFO info = {};
    GetCPInfo(CP_ACP, &info);
    page.kind = GetACP() == CP_UTF8 ? ANSI_UTF8 : info.MaxCharSize > 1 ? ANSI_DOUBLE_BYTE : ANSI_SINGLE_BYTE;
    if (page.kind == ANSI_DOUBLE_BYTE) {
        for (int n = 0; n + 1 < MAX_LEADBYTES && info.LeadByte[n]; n += 2)
            for (UINT b = info.LeadByte[n]; b <= info.LeadByte[n + 1]; b++)
                page.lead[b] = 1;
    }
    for (UINT b = 0; b < 256; b++)
        page.fold[b] = UpperByte((BYTE)b);
    for (UINT b = 0; b < 256; b++) {
        BYTE u = page.fold[b];
        page.foldVaries[u] |= (BYTE)(b ^ u);
        page.foldSources[u]++;
    }
    // The test of a folded byte takes every byte that differs from it only
    // in the varying bits, where more than one bit varies (Y with diaeresis
    // under 1252: 9F and FF) more than fold to it.
    for (UINT u = 0; u < 256; u++)
        for (UINT b = 0; b < 256; b++)
            if ((b | page.foldVaries[u]) == (u | page.foldVaries[u]))
                page.foldFrequency[u] += byteFrequency[b];
    return TRUE;
}

const AnsiCodePage* AnsiCharacters()
{
    InitOnceExecuteOnce(&PageMade, MakePage, NULL, NULL);
    return &page;
}
