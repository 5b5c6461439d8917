// Telling a file's text form and reading its characters.
#include "engine/text/TextForm.h"
#include "engine/text/Utf16.h"
#include "engine/text/VectorSearch.h"

static BOOL IsContinuation(BYTE b)
{
    return b >= 0x80 && b <= 0xBF;
}

// How many bytes the UTF-8 sequence that lead starts takes, and the range
// its second byte must lie in (the later ones lie in 80..BF); 0 for a byte
// that starts none. The ranges leave out overlong forms, surrogates and
// what lies beyond U+10FFFF.
static int SequenceBytes(BYTE lead, BYTE* low, BYTE* high)
{
    *low = 0x80;
    *high = 0xBF;
    if (lead < 0xC2)
        return 0;
    if (lead <= 0xDF)
        return 2;
    if (lead == 0xE0)
        *low = 0xA0;
    else if (lead == 0xED)
        *high = 0x9F;
    if (lead <= 0xEF)
        return 3;
    if (lead == 0xF0)
        *low = 0x90;
    else if (lead == 0xF4)
        *high = 0x8F;
    return lead <= 0xF4 ? 4 : 0;
}

// Reads the UTF-8 sequence at the start of available bytes (at least one):
// returns the bytes it takes, the maximal subpart when it is ill-formed, and
// sets *c to its character or U+FFFD. *wellFormed tells which; *cut is TRUE
// for an ill-formed sequence that only ran out of bytes.
static ULONGLONG ReadUtf8(const BYTE* at, ULONGLONG available, UINT32* c, BOOL* wellFormed, BOOL* cut)
{
    BYTE lead = at[0];
    *c = lead;
    *wellFormed = TRUE;
    *cut = FALSE;
    if (lead < 0x80)
        return 1;
    *c = REPLACEMENT_CHARACTER;
    *wellFormed = FALSE;
    BYTE low, high;
    int expected = SequenceBytes(lead, &low, &high);
    if (expected == 0)
        return 1;
    UINT32 value = lead & (0x7F >> expected);
    for (int k = 1; k < expected; k++) {
        if ((ULONGLONG)k >= available) {
            *cut = TRUE;
            return k;
        }
        BYTE b = at[k];
        if (b < low || b > high)
            return k;
        value = value << 6 | (b & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *c = value;
    *wellFormed = TRUE;
    return expected;
}

// Whether the judged bytes are well-formed UTF-8 with a byte of 0x80 or
// more; a sequence cut at their end counts as well-formed when the file goes
// on (cutShort). ASCII runs are passed over with vector searches.
static BOOL IsUtf8Text(const BYTE* bytes, ULONGLONG judged, BOOL cutShort)
{
    ULONGLONG pos = FindHighByte(bytes, 0, judged);
    if (pos == judged)
        return FALSE;
    while (pos < judged) {
        if (bytes[pos] < 0x80) {
            pos = FindHighByte(bytes, pos, judged);
            continue;
        }
        UINT32 c;
        BOOL wellFormed, cut;
        pos += ReadUtf8(bytes + pos, judged - pos, &c, &wellFormed, &cut);
        if (!wellFormed)
            return cut && cutShort;
    }
    return TRUE;
}

TextForm MarkedForm(const BYTE* bytes, ULONGLONG size, ULONGLONG* markBytes)
{
    *markBytes = 2;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return TEXT_UTF16LE;
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
        return TEXT_UTF16BE;
    *markBytes = 3;
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return TEXT_UTF8;
    *markBytes = 0;
    return TEXT_ANSI;
}

TextForm DetectTextForm(const BYTE* bytes, ULONGLONG size, ULONGLONG* markBytes)
{
    TextForm marked = MarkedForm(bytes, size, markBytes);
    if (*markBytes > 0)
        return marked;
    ULONGLONG judged = size < UTF8_JUDGED_BYTES ? size : UTF8_JUDGED_BYTES;
    return IsUtf8Text(bytes, judged, judged < size) ? TEXT_UTF8 : TEXT_ANSI;
}

UINT32 DecodeCharacter(const BYTE* text, ULONGLONG pos, ULONGLONG size, TextForm form, ULONGLONG* length)
{
    if (form == TEXT_UTF8) {
        UINT32 c;
        BOOL wellFormed, cut;
        *length = ReadUtf8(text + pos, size - pos, &c, &wellFormed, &cut);
        return c;
    }
    UINT32 unit = UnitAt(text, pos, form);
    *length = 2;
    if (IsHighSurrogate(unit) && pos + 4 <= size) {
        UINT32 next = UnitAt(text, pos + 2, form);
        if (IsLowSurrogate(next)) {
            *length = 4;
            return PairedCharacter(unit, next);
        }
    }
    return unit;
}

BOOL StartsCharacter(const BYTE* text, ULONGLONG pos, ULONGLONG size, TextForm form)
{
    if (form == TEXT_UTF16LE || form == TEXT_UTF16BE)
        return (pos & 1) == 0 &&
               !(pos >= 2 && IsLowSurrogate(UnitAt(text, pos, form)) && IsHighSurrogate(UnitAt(text, pos - 2, form)));
    if (form != TEXT_UTF8 || !IsContinuation(text[pos]))
        return TRUE;
    // A sequence takes at most three bytes after its lead, and none that
    // cannot continue it, so decoding from the nearest byte that is no
    // continuation byte tells; without one that near, pos is a stray byte.
    ULONGLONG start = pos;
    while (start > 0 && pos - start < 3 && IsContinuation(text[start]))
        start--;
    if (IsContinuation(text[start]))
        return TRUE;
    ULONGLONG length;
    while (start < pos) {
        DecodeCharacter(text, start, size, form, &length);
        start += length;
    }
    return start == pos;
}

int EncodeCharacter(UINT32 c, TextForm form, BYTE* bytes)
{
    if (form == TEXT_UTF8) {
        if (c < 0x80) {
            bytes[0] = (BYTE)c;
            return 1;
        }
        if (c < 0x800) {
            bytes[0] = (BYTE)(0xC0 | c >> 6);
            bytes[1] = (BYTE)(0x80 | (c & 0x3F));
            return 2;
        }
        if (IsSurrogate(c))
            return 0;
        if (c < 0x10000) {
            bytes[0] = (BYTE)(0xE0 | c >> 12);
            bytes[1] = (BYTE)(0x80 | (c >> 6 & 0x3F));
            bytes[2] = (BYTE)(0x80 | (c & 0x3F));
            return 3;
        }
        bytes[0] = (BYTE)(0xF0 | c >> 18);
        bytes[1] = (BYTE)(0x80 | (c >> 12 & 0x3F));
        bytes[2] = (BYTE)(0x80 | (c >> 6 & 0x3F));
        bytes[3] = (BYTE)(0x80 | (c & 0x3F));
        return 4;
    }
    if (form != TEXT_UTF16LE && form != TEXT_UTF16BE)
        return 0;
    WCHAR units[2];
    int count = PutUtf16(c, units);
    for (int n = 0; n < count; n++) {
        BYTE low = (BYTE)units[n], high = (BYTE)(units[n] >> 8);
        bytes[2 * n] = form == TEXT_UTF16LE ? low : high;
        bytes[2 * n + 1] = form == TEXT_UTF16LE ? high : low;
    }
    return 2 * count;
}
