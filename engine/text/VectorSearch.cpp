// The line scanner's vector searches. SSE2 is part of every x86-64
// processor; AVX2 doubles the width and is used only after the processor
// says it has it. Every load covers bytes inside the range asked for: the
// last few positions of a range, too few for a whole vector, are tested one
// by one.
#include "engine/text/VectorSearch.h"
#include <atomic>
#include <cpuid.h>
#include <immintrin.h>

// 16 or 32 once the processor has been asked, 0 before. Several scanning
// threads may ask at once: each stores the same answer, and a relaxed atomic
// load costs no more than a plain one.
static std::atomic<int> vectorBytes(0);

// AVX2 needs the instructions and the operating system's saving of the
// 256-bit registers.
__attribute__((target("xsave"))) static BOOL ProcessorHasAvx2()
{
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX))
        return FALSE;
    if ((_xgetbv(0) & 6) != 6)
        return FALSE;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2);
}

static BOOL UseAvx2()
{
    int bytes = vectorBytes.load(std::memory_order_relaxed);
    if (!bytes) {
        bytes = ProcessorHasAvx2() ? 32 : 16;
        vectorBytes.store(bytes, std::memory_order_relaxed);
    }
    return bytes == 32;
}

void LimitVectorsToSse2(BOOL limit)
{
    vectorBytes.store(limit ? 16 : 0, std::memory_order_relaxed);
}

static BOOL PassesTests(const BYTE* bytes, ULONGLONG p, const Anchors* anchors)
{
    return (bytes[p + anchors->offset1] | anchors->test1.fold) == anchors->test1.value &&
           (bytes[p + anchors->offset2] | anchors->test2.fold) == anchors->test2.value;
}

static BOOL IsLineEnd(BYTE c)
{
    return c == '\r' || c == '\n';
}

// One lane per position: all ones where both anchors pass. Two rare bytes of
// the pattern let few positions through to the full comparison; OR-ing 0x20
// into the text folds a letter's case in the same compare.
static inline __m128i Candidates16(const BYTE* first, const BYTE* second, const __m128i* tests)
{
    __m128i x = _mm_loadu_si128((const __m128i*)first);
    __m128i y = _mm_loadu_si128((const __m128i*)second);
    return _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(x, tests[0]), tests[1]),
                         _mm_cmpeq_epi8(_mm_or_si128(y, tests[2]), tests[3]));
}

static ULONGLONG FindCandidate16(const BYTE* bytes, ULONGLONG p, ULONGLONG end, const Anchors* anchors)
{
    const BYTE* first = bytes + anchors->offset1;
    const BYTE* second = bytes + anchors->offset2;
    __m128i tests[4] = {_mm_set1_epi8((char)anchors->test1.fold), _mm_set1_epi8((char)anchors->test1.value),
                        _mm_set1_epi8((char)anchors->test2.fold), _mm_set1_epi8((char)anchors->test2.value)};
    // 64 positions a round, one branch for them while nothing is found.
    for (; p + 64 <= end; p += 64) {
        __m128i c0 = Candidates16(first + p, second + p, tests);
        __m128i c1 = Candidates16(first + p + 16, second + p + 16, tests);
        __m128i c2 = Candidates16(first + p + 32, second + p + 32, tests);
        __m128i c3 = Candidates16(first + p + 48, second + p + 48, tests);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(c0, c1), _mm_or_si128(c2, c3)))) {
            ULONGLONG bits =
                (ULONGLONG)(unsigned)_mm_movemask_epi8(c0) | (ULONGLONG)(unsigned)_mm_movemask_epi8(c1) << 16 |
                (ULONGLONG)(unsigned)_mm_movemask_epi8(c2) << 32 | (ULONGLONG)(unsigned)_mm_movemask_epi8(c3) << 48;
            return p + __builtin_ctzll(bits);
        }
    }
    for (; p + 16 <= end; p += 16) {
        unsigned bits = (unsigned)_mm_movemask_epi8(Candidates16(first + p, second + p, tests));
        if (bits)
            return p + __builtin_ctz(bits);
    }
    for (; p < end; p++) {
        if (PassesTests(bytes, p, anchors))
            return p;
    }
    return end;
}

static inline __m128i LineEnds16(__m128i x)
{
    return _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(x, _mm_set1_epi8('\n')));
}

static ULONGLONG FindLineEnd16(const BYTE* bytes, ULONGLONG p, ULONGLONG to)
{
    for (; p + 16 <= to; p += 16) {
        unsigned bits = (unsigned)_mm_movemask_epi8(LineEnds16(_mm_loadu_si128((const __m128i*)(bytes + p))));
        if (bits)
            return p + __builtin_ctz(bits);
    }
    for (; p < to && !IsLineEnd(bytes[p]); p++) { }
    return p;
}

// An LF right after a CR is no line end of its own: the load one byte back
// shows, lane by lane, what precedes each byte. Counts go into byte lanes,
// which hold up to 255; they are summed before then.
static ULONGLONG CountLineEnds16(const BYTE* bytes, ULONGLONG* at, ULONGLONG to)
{
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
    ULONGLONG p = *at, count = 0;
    while (p + 16 <= to) {
        __m128i lanes = zero;
        for (int round = 0; round < 255 && p + 16 <= to; round++, p += 16) {
            __m128i x = _mm_loadu_si128((const __m128i*)(bytes + p));
            __m128i before = _mm_loadu_si128((const __m128i*)(bytes + p - 1));
            __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(x, cr),
                                        _mm_andnot_si128(_mm_cmpeq_epi8(before, cr), _mm_cmpeq_epi8(x, lf)));
            lanes = _mm_sub_epi8(lanes, ends);
        }
        __m128i sums = _mm_sad_epu8(lanes, zero);
        count += (ULONGLONG)_mm_cvtsi128_si64(sums) + (ULONGLONG)_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
    }
    *at = p;
    return count;
}

// The same three searches 32 bytes at a time.

__attribute__((target("avx2"))) static inline __m256i Candidates32(const BYTE* first, const BYTE* second,
                                                                   const __m256i* tests)
{
    __m256i x = _mm256_loadu_si256((const __m256i*)first);
    __m256i y = _mm256_loadu_si256((const __m256i*)second);
    return _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(x, tests[0]), tests[1]),
                            _mm256_cmpeq_epi8(_mm256_or_si256(y, tests[2]), tests[3]));
}

__attribute__((target("avx2"))) static ULONGLONG FindCandidate32(const BYTE* bytes, ULONGLONG p, ULONGLONG end,
                                                                 const Anchors* anchors)
{
    const BYTE* first = bytes + anchors->offset1;
    const BYTE* second = bytes + anchors->offset2;
    __m256i tests[4] = {_mm256_set1_epi8((char)anchors->test1.fold), _mm256_set1_epi8((char)anchors->test1.value),
                        _mm256_set1_epi8((char)anchors->test2.fold), _mm256_set1_epi8((char)anchors->test2.value)};
    for (; p + 64 <= end; p += 64) {
        __m256i c0 = Candidates32(first + p, second + p, tests);
        __m256i c1 = Candidates32(first + p + 32, second + p + 32, tests);
        if (_mm256_movemask_epi8(_mm256_or_si256(c0, c1))) {
            ULONGLONG bits =
                (ULONGLONG)(unsigned)_mm256_movemask_epi8(c0) | (ULONGLONG)(unsigned)_mm256_movemask_epi8(c1) << 32;
            return p + __builtin_ctzll(bits);
        }
    }
    return FindCandidate16(bytes, p, end, anchors);
}

__attribute__((target("avx2"))) static ULONGLONG FindLineEnd32(const BYTE* bytes, ULONGLONG p, ULONGLONG to)
{
    const __m256i cr = _mm256_set1_epi8('\r'), lf = _mm256_set1_epi8('\n');
    for (; p + 32 <= to; p += 32) {
        __m256i x = _mm256_loadu_si256((const __m256i*)(bytes + p));
        unsigned bits =
            (unsigned)_mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(x, cr), _mm256_cmpeq_epi8(x, lf)));
        if (bits)
            return p + __builtin_ctz(bits);
    }
    return FindLineEnd16(bytes, p, to);
}

__attribute__((target("avx2"))) static ULONGLONG CountLineEnds32(const BYTE* bytes, ULONGLONG* at, ULONGLONG to)
{
    const __m256i cr = _mm256_set1_epi8('\r'), lf = _mm256_set1_epi8('\n'), zero = _mm256_setzero_si256();
    ULONGLONG p = *at, count = 0;
    while (p + 32 <= to) {
        __m256i lanes = zero;
        for (int round = 0; round < 255 && p + 32 <= to; round++, p += 32) {
            __m256i x = _mm256_loadu_si256((const __m256i*)(bytes + p));
            __m256i before = _mm256_loadu_si256((const __m256i*)(bytes + p - 1));
            __m256i ends = _mm256_or_si256(
                _mm256_cmpeq_epi8(x, cr), _mm256_andnot_si256(_mm256_cmpeq_epi8(before, cr), _mm256_cmpeq_epi8(x, lf)));
            lanes = _mm256_sub_epi8(lanes, ends);
        }
        __m256i sums = _mm256_sad_epu8(lanes, zero);
        count += (ULONGLONG)_mm256_extract_epi64(sums, 0) + (ULONGLONG)_mm256_extract_epi64(sums, 1) +
                 (ULONGLONG)_mm256_extract_epi64(sums, 2) + (ULONGLONG)_mm256_extract_epi64(sums, 3);
    }
    *at = p;
    return count;
}

// UTF-16 text: the same searches on 16-bit lanes, which hold a unit each
// (the ranges start on a unit). 16 bytes at a time: UTF-16 text has half the
// characters per byte of ANSI text, and its line ends are as rare.

static inline __m128i UnitLineEnds(__m128i x, __m128i cr, __m128i lf)
{
    return _mm_or_si128(_mm_cmpeq_epi16(x, cr), _mm_cmpeq_epi16(x, lf));
}

static UINT32 UnitFrom(const BYTE* at, BOOL bigEndian)
{
    return bigEndian ? (UINT32)at[0] << 8 | at[1] : at[0] | (UINT32)at[1] << 8;
}

ULONGLONG FindUnitLineEnd(const BYTE* bytes, ULONGLONG p, ULONGLONG to, BOOL bigEndian)
{
    const __m128i cr = _mm_set1_epi16(bigEndian ? 0x0D00 : 0x000D), lf = _mm_set1_epi16(bigEndian ? 0x0A00 : 0x000A);
    for (; p + 16 <= to; p += 16) {
        unsigned bits = (unsigned)_mm_movemask_epi8(UnitLineEnds(_mm_loadu_si128((const __m128i*)(bytes + p)), cr, lf));
        if (bits)
            return p + __builtin_ctz(bits);
    }
    for (; p < to; p += 2) {
        UINT32 unit = UnitFrom(bytes + p, bigEndian);
        if (unit == '\r' || unit == '\n')
            break;
    }
    return p;
}

// Lanes of 16 bits count up to 32767 without trouble as signed sums; they are
// summed before then.
#define UNIT_LANE_ROUNDS 32767

ULONGLONG CountUnitLineEnds(const BYTE* bytes, ULONGLONG from, ULONGLONG to, BOOL bigEndian)
{
    const __m128i cr = _mm_set1_epi16(bigEndian ? 0x0D00 : 0x000D), lf = _mm_set1_epi16(bigEndian ? 0x0A00 : 0x000A);
    const __m128i ones = _mm_set1_epi16(1);
    ULONGLONG p = from, count = 0;
    if (p == 0 && p < to) {
        UINT32 unit = UnitFrom(bytes, bigEndian);
        count += unit == '\r' || unit == '\n';
        p = 2;
    }
    while (p + 16 <= to) {
        __m128i lanes = _mm_setzero_si128();
        for (int round = 0; round < UNIT_LANE_ROUNDS && p + 16 <= to; round++, p += 16) {
            __m128i x = _mm_loadu_si128((const __m128i*)(bytes + p));
            __m128i before = _mm_loadu_si128((const __m128i*)(bytes + p - 2));
            __m128i ends = _mm_or_si128(_mm_cmpeq_epi16(x, cr),
                                        _mm_andnot_si128(_mm_cmpeq_epi16(before, cr), _mm_cmpeq_epi16(x, lf)));
            lanes = _mm_sub_epi16(lanes, ends);
        }
        __m128i sums = _mm_madd_epi16(lanes, ones);
        sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(1, 0, 3, 2)));
        sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(2, 3, 0, 1)));
        count += (ULONGLONG)(unsigned)_mm_cvtsi128_si32(sums);
    }
    for (; p < to; p += 2) {
        UINT32 unit = UnitFrom(bytes + p, bigEndian);
        count += unit == '\r' || (unit == '\n' && UnitFrom(bytes + p - 2, bigEndian) != '\r');
    }
    return count;
}

ULONGLONG FindHighByte(const BYTE* bytes, ULONGLONG p, ULONGLONG to)
{
    // The top bits of 64 bytes at once, one branch for them.
    for (; p + 64 <= to; p += 64) {
        __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128((const __m128i*)(bytes + p)),
                                                _mm_loadu_si128((const __m128i*)(bytes + p + 16))),
                                   _mm_or_si128(_mm_loadu_si128((const __m128i*)(bytes + p + 32)),
                                                _mm_loadu_si128((const __m128i*)(bytes + p + 48))));
        if (_mm_movemask_epi8(any))
            break;
    }
    for (; p + 16 <= to; p += 16) {
        unsigned bits = (unsigned)_mm_movemask_epi8(_mm_loadu_si128((const __m128i*)(bytes + p)));
        if (bits)
            return p + __builtin_ctz(bits);
    }
    for (; p < to && bytes[p] < 0x80; p++) { }
    return p;
}

ULONGLONG FindCandidate(const BYTE* bytes, ULONGLONG from, ULONGLONG end, const Anchors* anchors)
{
    return UseAvx2() ? FindCandidate32(bytes, from, end, anchors) : FindCandidate16(bytes, from, end, anchors);
}

ULONGLONG FindLineEnd(const BYTE* bytes, ULONGLONG from, ULONGLONG to)
{
    return UseAvx2() ? FindLineEnd32(bytes, from, to) : FindLineEnd16(bytes, from, to);
}

ULONGLONG CountLineEnds(const BYTE* bytes, ULONGLONG from, ULONGLONG to)
{
    ULONGLONG p = from, count = 0;
    // The vector loops look one byte back, which the first byte of the
    // text does not have.
    if (p == 0 && p < to) {
        count += IsLineEnd(bytes[0]);
        p = 1;
    }
    if (UseAvx2())
        count += CountLineEnds32(bytes, &p, to);
    count += CountLineEnds16(bytes, &p, to);
    for (; p < to; p++)
        count += bytes[p] == '\r' || (bytes[p] == '\n' && bytes[p - 1] != '\r');
    return count;
}
