// The Unicode files option done the straightforward way, for the
// differential test to hold the fast scanner to: tell the file's form by its
// byte-order mark or by the platform's own check of UTF-8, decode the whole
// text with the platform, upper-case it with the platform, split it into
// lines and apply the rules to each line character by character, or the
// reference matcher to each line for a regular expression. ANSI files go to
// the byte-by-byte reference.
#include "tests/engine/ReferenceScan.h"
#include "engine/StopFlag.h"
#include "engine/regex/Regex.h"
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

struct DecodedText {
    std::vector<UINT32> shown;       // the characters as they stand
    std::vector<UINT32> compared;    // upper-cased by the platform unless case matters
    std::vector<ULONGLONG> offsets;  // each one's place in the file's units, and the end
};

enum Form { ANSI, UTF8, UTF16LE, UTF16BE };

bool HasHighByte(const BYTE* bytes, ULONGLONG size)
{
    for (ULONGLONG at = 0; at < size; at++)
        if (bytes[at] >= 0x80)
            return true;
    return false;
}

Form FormOf(const BYTE* bytes, ULONGLONG size, ULONGLONG* mark)
{
    *mark = 2;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return UTF16LE;
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
        return UTF16BE;
    *mark = 3;
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return UTF8;
    *mark = 0;
    bool wellFormed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, (const char*)bytes, (int)size, NULL, 0) > 0;
    return wellFormed && HasHighByte(bytes, size) ? UTF8 : ANSI;
}

// The platform's decoding of these bytes as exactly one character.
bool OneCharacter(const BYTE* bytes, int length, UINT32* c)
{
    WCHAR units[4];
    int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, (const char*)bytes, length, units, 4);
    *c = units[0];
    if (count == 2 && units[0] >= 0xD800 && units[0] <= 0xDBFF)
        *c = 0x10000 + ((units[0] - 0xD800) << 10) + (units[1] - 0xDC00);
    return count == 1 || (count == 2 && *c >= 0x10000);
}

// Whether continuation bytes after these could make one well-formed
// character (only a second byte has a range of its own, and it is given).
bool StartsWellFormed(const BYTE* bytes, int length)
{
    for (int total = length + 1; total <= 4; total++) {
        BYTE sequence[4] = {0x80, 0x80, 0x80, 0x80};
        CopyMemory(sequence, bytes, length);
        UINT32 c;
        if (OneCharacter(sequence, total, &c))
            return true;
    }
    return false;
}

// UTF-8 that the platform will not take whole: character by character, each
// well-formed one as the platform reads it, each maximal subpart of an
// ill-formed sequence (its longest start of two or three bytes that could
// still be made well-formed, or else its first byte) as one U+FFFD.
void DecodeIllFormedUtf8(const BYTE* bytes, ULONGLONG size, DecodedText* text)
{
    for (ULONGLONG at = 0; at < size;) {
        text->offsets.push_back(at);
        UINT32 c = 0xFFFD;
        int length = 0;
        for (int k = 1; k <= 4 && at + k <= size && !length; k++)
            if (OneCharacter(bytes + at, k, &c))
                length = k;
        if (!length) {
            c = 0xFFFD;
            length = 1;
            for (int k = 3; k >= 2 && length == 1; k--)
                if (at + k <= size && StartsWellFormed(bytes + at, k))
                    length = k;
        }
        text->shown.push_back(c);
        at += length;
    }
    text->offsets.push_back(size);
}

// UTF-16 units as characters, a surrogate pair as one.
void AddUnits(const std::wstring& units, const std::vector<ULONGLONG>& unitOffsets, DecodedText* text)
{
    for (size_t at = 0; at < units.size(); at++) {
        UINT32 c = units[at];
        text->offsets.push_back(unitOffsets[at]);
        if (c >= 0xD800 && c <= 0xDBFF && at + 1 < units.size() && units[at + 1] >= 0xDC00 && units[at + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++at] - 0xDC00);
        text->shown.push_back(c);
    }
    text->offsets.push_back(unitOffsets.back());
}

std::wstring Units(const std::vector<UINT32>& characters)
{
    std::wstring units;
    for (UINT32 c : characters) {
        if (c >= 0x10000) {
            units += (wchar_t)(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + ((c - 0x10000) & 0x3FF);
        }
        units += (wchar_t)c;
    }
    return units;
}

// The characters upper-cased by the platform as one string.
std::vector<UINT32> UpperCased(const std::vector<UINT32>& characters)
{
    std::wstring units = Units(characters);
    std::wstring upper(units.size(), L'\0');
    if (!units.empty())
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, units.data(), (int)units.size(), &upper[0],
                      (int)upper.size(), NULL, NULL, 0);
    DecodedText text;
    std::vector<ULONGLONG> offsets(upper.size() + 1, 0);
    AddUnits(upper, offsets, &text);
    return text.shown;
}

void Decode(const BYTE* bytes, ULONGLONG size, Form form, bool matchCase, DecodedText* text)
{
    if (form == UTF8) {
        int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, (const char*)bytes, (int)size, NULL, 0);
        if (count > 0) {
            std::wstring units(count, L'\0');
            MultiByteToWideChar(CP_UTF8, 0, (const char*)bytes, (int)size, &units[0], count);
            // Each unit's place in bytes, from its own UTF-8 length.
            std::vector<ULONGLONG> offsets;
            ULONGLONG at = 0;
            for (wchar_t unit : units) {
                offsets.push_back(at);
                at += unit < 0x80 ? 1 : unit < 0x800 ? 2 : unit >= 0xD800 && unit <= 0xDFFF ? 2 : 3;
            }
            offsets.push_back(at);
            AddUnits(units, offsets, text);
        } else {
            DecodeIllFormedUtf8(bytes, size, text);
        }
    } else {
        std::wstring units;
        std::vector<ULONGLONG> offsets;
        for (ULONGLONG at = 0; at + 2 <= size; at += 2) {
            units += (wchar_t)(form == UTF16LE ? bytes[at] | bytes[at + 1] << 8 : bytes[at] << 8 | bytes[at + 1]);
            offsets.push_back(at / 2);
        }
        offsets.push_back(units.size());
        AddUnits(units, offsets, text);
    }
    text->compared = matchCase ? text->shown : UpperCased(text->shown);
}

bool IsTerminator(UINT32 c)
{
    return c == '\r' || c == '\n';
}

}  // namespace

// Positions run from the line's start to its end (its terminator, or the
// end of the text, where only an empty pattern can stand).
long long ReferenceLineHit(const UINT32* line, const UINT32* shown, size_t n, const std::vector<UINT32>& pattern,
                           const SearchOptions* options, bool unicode)
{
    size_t m = pattern.size();
    bool inString = false;
    UINT32 quote = 0;
    for (size_t p = 0; m > 0 ? p + m <= n : p <= n; p++) {
        if (options->skipComments && p + 1 < n && line[p] == '/' && line[p + 1] == '/')
            return -1;
        if (options->stringsOnly && p < n && (line[p] == '"' || line[p] == '\'') && (!inString || line[p] == quote)) {
            inString = !inString;
            quote = line[p];
            continue;
        }
        bool matches = std::equal(pattern.begin(), pattern.end(), line + p);
        bool alone = !options->wholeWord || ((p == 0 || !ReferenceIsWord(shown[p - 1], unicode)) &&
                                             (p + m >= n || !ReferenceIsWord(shown[p + m], unicode)));
        if (matches && alone && (!options->stringsOnly || inString))
            return (long long)p;
    }
    return -1;
}

namespace {

// The line's text as a report line prints it: each character the ANSI code
// page cannot hold exactly as its default character, at most 259 bytes.
std::string AnsiLine(const UINT32* characters, size_t n)
{
    CPINFO info;
    GetCPInfo(CP_ACP, &info);
    std::string fallback((const char*)info.DefaultChar, info.DefaultChar[1] ? 2 : 1);
    std::string line;
    for (size_t at = 0; at < n; at++) {
        std::wstring units = Units({characters[at]});
        char bytes[8];
        BOOL usedDefault = FALSE;
        int length = 0;
        bool surrogate = characters[at] >= 0xD800 && characters[at] <= 0xDFFF;
        if (GetACP() == CP_UTF8)
            length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units.data(), (int)units.size(), bytes, 8, NULL,
                                         NULL);
        else
            length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units.data(), (int)units.size(), bytes, 8, NULL,
                                         &usedDefault);
        std::string piece = surrogate || length <= 0 || usedDefault ? fallback : std::string(bytes, length);
        if (line.size() + piece.size() > LINE_TEXT_BYTES)
            break;
        line += piece;
    }
    return line;
}

// The index of the first hit among the n characters of a line from start,
// or -1.
typedef std::function<long long(size_t start, size_t n)> LineHit;

// One pass over the text: each line's hit reported. Lines end at CR, LF or
// CR LF; the text after the last line end is one more line, empty when the
// text ends with one. With bytes (ANSI text read as UTF-8) a report line is
// the line's bytes as they stand.
BOOL ReportLines(const DecodedText& text, FileReport* report, const LineHit& lineHit, const BYTE* bytes)
{
    ULONGLONG lineNumber = 1;
    for (size_t start = 0;; lineNumber++) {
        size_t end = start;
        while (end < text.shown.size() && !IsTerminator(text.shown[end]))
            end++;
        long long hit = lineHit(start, end - start);
        if (hit >= 0) {
            std::string line =
                bytes ? std::string((const char*)bytes + text.offsets[start], text.offsets[end] - text.offsets[start])
                      : AnsiLine(text.shown.data() + start, end - start);
            ReportHit(report, lineNumber, text.offsets[start + hit] - text.offsets[start] + 1, (const BYTE*)line.data(),
                      line.size());
        }
        if (Stopped())
            return FALSE;
        if (end == text.shown.size())
            break;
        start = end + (text.shown[end] == '\r' && end + 1 < text.shown.size() && text.shown[end + 1] == '\n' ? 2 : 1);
    }
    return !Stopped();
}

// A regular expression: each line's characters through the reference
// matcher, its hit's offset in UTF-16 units taken back to a character.
long long PatternHit(const ReferencePattern* pattern, const ReferenceRules& rules, const UINT32* shown, size_t n)
{
    ReferenceLine line;
    ULONGLONG units = 0;
    for (size_t at = 0; at < n; at++) {
        line.chars.push_back(shown[at]);
        line.offsets.push_back(units);
        units += shown[at] >= 0x10000 ? 2 : 1;
    }
    line.offsets.push_back(units);
    ULONGLONG hit = ReferenceFirstHit(pattern, rules, line);
    if (hit == REGEX_NONE)
        return -1;
    return std::find(line.offsets.begin(), line.offsets.end(), hit) - line.offsets.begin();
}

}  // namespace

BOOL ReferenceScanFile(const BYTE* bytes, ULONGLONG size, FileReport* report, const SearchRequest* request)
{
    ULONGLONG mark = 0;
    Form form = request->options.unicodeFiles ? FormOf(bytes, size, &mark) : ANSI;
    // Under code page 65001 ANSI text is UTF-8.
    const BYTE* ansiBytes = NULL;
    if (form == ANSI && GetACP() == CP_UTF8) {
        form = UTF8;
        ansiBytes = bytes;
    } else if (form == ANSI) {
        return ReferenceScanBytes(bytes, size, report, request);
    }
    const SearchOptions* options = &request->options;
    DecodedText text;
    Decode(bytes + mark, size - mark, form, options->matchCase != 0, &text);
    if (text.shown.empty())
        return !Stopped();

    if (options->regularExpression) {
        std::shared_ptr<ReferencePattern> pattern = ReferenceParse(request->text);
        ReferenceRules rules = RulesOf(request, true);
        return ReportLines(
            text, report,
            [&](size_t start, size_t n) { return PatternHit(pattern.get(), rules, text.shown.data() + start, n); },
            ansiBytes);
    }
    std::vector<UINT32> needle;
    DecodedText typed;
    AddUnits(request->text, std::vector<ULONGLONG>(lstrlenW(request->text) + 1, 0), &typed);
    needle = options->matchCase ? typed.shown : UpperCased(typed.shown);
    size_t passes = options->stringsOnly && options->ampVariants ? needle.size() : 1;
    BOOL finished = TRUE;
    for (size_t k = 0; k < passes && finished; k++) {
        std::vector<UINT32> pattern = needle;
        if (k > 0)
            pattern.insert(pattern.begin() + (needle.size() - k), '&');
        finished = ReportLines(
            text, report,
            [&](size_t start, size_t n) {
                return ReferenceLineHit(text.compared.data() + start, text.shown.data() + start, n, pattern, options,
                                        true);
            },
            ansiBytes);
    }
    return finished;
}
