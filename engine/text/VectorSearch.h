// The line scanner's vector searches: candidate positions of a pattern, line
// ends, and counts of line ends, 16 bytes at a time (32 where the processor
// has AVX2, for bytes), and the first byte outside ASCII. Each reads only the
// bytes its range names.
#pragma once
#include <windows.h>

// A test of one text byte that vector code can make on many bytes at once:
// (byte | fold) == value. A fold of 0x20 with a lower-case value accepts the
// letter in either case.
struct ByteTest {
    BYTE fold;
    BYTE value;
};

// Two bytes of a pattern, at offsets from a candidate position, that must
// pass their tests before the candidate is compared in full.
struct Anchors {
    ULONGLONG offset1;
    ULONGLONG offset2;
    ByteTest test1;
    ByteTest test2;
};

// The first position p in [from, end) whose anchor bytes pass their tests,
// or end. Reads the bytes from + offset to end - 1 + offset of both anchors.
ULONGLONG FindCandidate(const BYTE* bytes, ULONGLONG from, ULONGLONG end, const Anchors* anchors);

// The first CR or LF in [from, to), or to.
ULONGLONG FindLineEnd(const BYTE* bytes, ULONGLONG from, ULONGLONG to);

// The line ends in [from, to): every CR, and every LF that does not follow a
// CR (the two make one line end). Reads the byte before from when from > 0.
ULONGLONG CountLineEnds(const BYTE* bytes, ULONGLONG from, ULONGLONG to);

// The same two for the 16-bit units of UTF-16 text, in its byte order:
// from and to are even offsets from the text's first unit, and every
// position tested is one.
ULONGLONG FindUnitLineEnd(const BYTE* bytes, ULONGLONG from, ULONGLONG to, BOOL bigEndian);
// Reads the unit before from when from > 0.
ULONGLONG CountUnitLineEnds(const BYTE* bytes, ULONGLONG from, ULONGLONG to, BOOL bigEndian);

// The first byte of 0x80 or more in [from, to), or to.
ULONGLONG FindHighByte(const BYTE* bytes, ULONGLONG from, ULONGLONG to);

// Tests: TRUE keeps the searches to 16 bytes at a time, as on a processor
// without AVX2; FALSE lets the processor decide again.
void LimitVectorsToSse2(BOOL limit);
