// How a file's text is written, as the Unicode files option tells it from
// the file's first bytes, and reading its characters one at a time.
#pragma once
#include <windows.h>

enum TextForm {
    TEXT_ANSI,  // bytes in the ANSI code page, searched as they stand
    TEXT_UTF8,
    TEXT_UTF16LE,
    TEXT_UTF16BE,
};

// What ill-formed text decodes to.
#define REPLACEMENT_CHARACTER 0xFFFD

// Bytes of a file without a byte-order mark that decide whether it is UTF-8:
// the whole of most source files. A file of ASCII that this check reads in
// full costs it that much more than the search alone: measured under Wine,
// the search of 16 MiB read whole took 5.5 ms, and 10.5 ms with the check of
// all 16 MiB; with 1 MiB checked, larger files cost at most a few percent
// more, and a file of 1 MiB or less nothing that shows.
#define UTF8_JUDGED_BYTES (1u << 20)

// The form a byte-order mark at the start of the bytes gives: FF FE is
// UTF-16LE, FE FF UTF-16BE, EF BB BF UTF-8, and *markBytes its length;
// TEXT_ANSI and 0 when they start with none.
TextForm MarkedForm(const BYTE* bytes, ULONGLONG size, ULONGLONG* markBytes);

// The form of a file's text. A byte-order mark decides (MarkedForm): FF FE is UTF-16LE,
// FE FF UTF-16BE, EF BB BF UTF-8; *markBytes is then its length, which is not
// text. A file without one is UTF-8 when its first UTF8_JUDGED_BYTES are
// well-formed UTF-8 (a sequence cut by that limit counts as well-formed)
// holding at least one byte of 0x80 or more; an ill-formed sequence after
// them decodes to U+FFFD like any other. Any other file is ANSI; UTF-16
// without a mark is not guessed, since binary files would pass for it.
TextForm DetectTextForm(const BYTE* bytes, ULONGLONG size, ULONGLONG* markBytes);

// The bytes of one unit of the form's text: 2 in UTF-16, else 1.
inline ULONGLONG UnitBytes(TextForm form)
{
    return form == TEXT_UTF16LE || form == TEXT_UTF16BE ? 2 : 1;
}

// The unit of the form's text at pos: a byte, or a 16-bit unit in its byte
// order. Columns count these.
inline UINT32 UnitAt(const BYTE* text, ULONGLONG pos, TextForm form)
{
    const BYTE* at = text + pos;
    if (form == TEXT_UTF16LE)
        return at[0] | (UINT32)at[1] << 8;
    if (form == TEXT_UTF16BE)
        return (UINT32)at[0] << 8 | at[1];
    return at[0];
}

// The character of UTF-8 or UTF-16 text that starts at pos (below size), and
// in *length the bytes it takes. A UTF-16 surrogate pair is one character, a
// lone surrogate a character of its own. Ill-formed UTF-8 decodes to one
// U+FFFD per maximal subpart, as the Unicode standard recommends: the lead
// byte with the bytes that could still continue it (or a lone byte), so a
// line end or an ASCII byte is never taken into one. Reads nothing at or
// after size.
UINT32 DecodeCharacter(const BYTE* text, ULONGLONG pos, ULONGLONG size, TextForm form, ULONGLONG* length);

// TRUE when pos starts a character of the text, decoded from the start:
// a whole unit, not the second half of a surrogate pair, nor a byte that an
// earlier UTF-8 sequence takes.
BOOL StartsCharacter(const BYTE* text, ULONGLONG pos, ULONGLONG size, TextForm form);

// The bytes of character c in the form, at most 4, into bytes; 0 when the
// form's decoding never gives c (a surrogate in UTF-8).
int EncodeCharacter(UINT32 c, TextForm form, BYTE* bytes);
