// Seeded random regular expressions in the syntax the engine takes, each
// with a text it may match.
#include "tests/engine/RandomPattern.h"
#include <wctype.h>

// Characters the patterns and texts are made of: ASCII that trips the rules,
// letters that fold in one alphabet and not the other, characters some code
// pages cannot spell, a pair of surrogates.
static const wchar_t* const specials[] = {L"\u00E9", L"\u00C9", L"\u00FF", L"\u0178", L"\u00DF",     L"\u20AC",
                                          L"\u4E2D", L"\u6587", L"\uFF21", L"\uFF41", L"\u03C2",     L"\u03C3",
                                          L"\u03A3", L"\u0131", L"\u212A", L"\u01C5", L"\U0001F600", L"\U00010428"};

// A character of the double-byte code page whose trail byte may be a letter.
static std::wstring DoubleByteCharacter(Random* random)
{
    std::string pair = DoubleByte(random);
    wchar_t units[4];
    int count = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pair.data(), 2, units, 4);
    return count == 1 ? std::wstring(units, 1) : std::wstring(L"\u4E2D");
}

std::wstring PaletteCharacter(Random* random)
{
    unsigned pick = Below(random, 100);
    if (pick < 40)
        return std::wstring(1, L"abcxABCX01_"[Below(random, 11)]);
    if (pick < 55)
        return std::wstring(1, L" \"'/&=;-,#"[Below(random, 10)]);
    if (pick < 85 || GetACP() != 950)
        return specials[Below(random, sizeof specials / sizeof specials[0])];
    return DoubleByteCharacter(random);
}

// A literal character, escaped where the syntax needs it.
static Piece LiteralPiece(Random* random)
{
    std::wstring c = PaletteCharacter(random);
    bool escape =
        c.size() == 1 && (wcschr(L"\\.[]()*+?{}|^$", c[0]) || (c[0] < 0x80 && iswpunct(c[0]) && Below(random, 4) == 0));
    return {escape ? L"\\" + c : c, c};
}

static Piece ClassMember(Random* random)
{
    // Ranges and escapes with a member of each.
    static const Piece members[] = {{L"a-c", L"b"},
                                    {L"A-Z", L"Q"},
                                    {L"0-9", L"7"},
                                    {L"a-z", L"k"},
                                    {L"\u00E0-\u00FF", L"\u00E9"},
                                    {L"\\x41-\\x5A", L"C"},
                                    {L"\\x80-\\xFF", L"\u00E9"},
                                    {L"\u03C0-\u03CA", L"\u03C3"},
                                    {L"\u4E00-\u4E2D", L"\u4E2D"},
                                    {L"!-/", L"&"},
                                    {L"\\d", L"5"},
                                    {L"\\w", L"k"},
                                    {L"\\s", L" "},
                                    {L"\\D", L"x"},
                                    {L"\\W", L"-"},
                                    {L"\\S", L"q"},
                                    {L"\\t", L"\t"},
                                    {L"\\x61", L"a"},
                                    {L"\\xE9", L"\u00E9"},
                                    {L"\\xA4", L"\u00A4"},
                                    {L"\\]", L"]"},
                                    {L"\\-", L"-"},
                                    {L"\\\\", L"\\"},
                                    {L"[:alpha:]", L"k"},
                                    {L"[:digit:]", L"4"},
                                    {L"[:alnum:]", L"Z"},
                                    {L"[:space:]", L" "},
                                    {L"[:upper:]", L"Q"},
                                    {L"[:lower:]", L"\u00E9"},
                                    {L"[:punct:]", L"&"},
                                    {L"[:xdigit:]", L"f"},
                                    {L"[:word:]", L"_"},
                                    {L"[:^digit:]", L"x"},
                                    {L"[:^upper:]", L"\u03C3"},
                                    {L"[:^space:]", L"\u4E2D"}};
    if (Below(random, 2)) {
        std::wstring c = PaletteCharacter(random);
        return {c.size() == 1 && wcschr(L"]\\^-", c[0]) ? L"\\" + c : c, c};
    }
    return members[Below(random, sizeof members / sizeof members[0])];
}

static Piece ClassPiece(Random* random)
{
    bool negated = Below(random, 4) == 0;
    Piece piece = {negated ? L"[^" : L"[", L""};
    unsigned count = Between(random, 1, 3), chosen = Below(random, count);
    for (unsigned i = 0; i < count; i++) {
        Piece member = ClassMember(random);
        piece.pattern += member.pattern;
        if (i == chosen)
            piece.sample = negated ? PaletteCharacter(random) : member.sample;
    }
    piece.pattern += L"]";
    return piece;
}

static Piece EscapePiece(Random* random)
{
    static const Piece escapes[] = {{L"\\d", L"3"},   {L"\\w", L"w"},        {L"\\s", L" "},       {L"\\D", L"D"},
                                    {L"\\W", L"'"},   {L"\\S", L"\""},       {L"\\t", L"\t"},      {L"\\x41", L"A"},
                                    {L"\\x61", L"a"}, {L"\\xE9", L"\u00E9"}, {L"\\xA4", L"\u00A4"}};
    return escapes[Below(random, sizeof escapes / sizeof escapes[0])];
}

// A quantifier, and how many times the sample repeats.
static std::wstring Quantifier(Random* random, unsigned* times)
{
    static const wchar_t* const quantifiers[] = {L"*", L"+", L"?", L"{2}", L"{0,2}", L"{1,}", L"{2,3}", L"{0}", L"{1}"};
    static const unsigned least[] = {0, 1, 0, 2, 0, 1, 2, 0, 1}, most[] = {3, 3, 1, 2, 2, 3, 3, 0, 1};
    unsigned pick = Below(random, sizeof quantifiers / sizeof quantifiers[0]);
    *times = Between(random, least[pick], most[pick]);
    std::wstring q = quantifiers[pick];
    return Below(random, 5) == 0 ? q + L"?" : q;
}

static Piece Atom(Random* random, int depth, bool* repeatable)
{
    *repeatable = true;
    unsigned pick = Below(random, 100);
    if (pick < 35)
        return LiteralPiece(random);
    if (pick < 45) {
        Piece text;
        for (unsigned n = Between(random, 2, 4); n > 0; n--) {
            Piece c = LiteralPiece(random);
            text.pattern += c.pattern;
            text.sample += c.sample;
        }
        *repeatable = false;  // a quantifier would take only the last
        return text;
    }
    if (pick < 50)
        return {L".", PaletteCharacter(random)};
    if (pick < 63)
        return ClassPiece(random);
    if (pick < 71)
        return EscapePiece(random);
    if (pick < 80) {
        *repeatable = false;
        static const wchar_t* const assertions[] = {L"\\b", L"\\B", L"^", L"$"};
        return {assertions[Below(random, 4)], L""};
    }
    if (depth >= 3)
        return LiteralPiece(random);
    Piece inner = Alternation(random, depth + 1);
    return {(Below(random, 2) ? L"(" : L"(?:") + inner.pattern + L")", inner.sample};
}

static Piece Concatenation(Random* random, int depth)
{
    Piece piece;
    for (unsigned n = Between(random, depth == 0 ? 1 : 0, 3); n > 0; n--) {
        bool repeatable;
        Piece atom = Atom(random, depth, &repeatable);
        unsigned times = 1;
        if (repeatable && Below(random, 10) < 3)
            atom.pattern += Quantifier(random, &times);
        piece.pattern += atom.pattern;
        while (times-- > 0)
            piece.sample += atom.sample;
    }
    return piece;
}

Piece Alternation(Random* random, int depth)
{
    Piece piece = Concatenation(random, depth);
    while (Below(random, 5) == 0) {
        Piece other = Concatenation(random, depth);
        piece.pattern += L"|" + other.pattern;
        if (Below(random, 2))
            piece.sample = other.sample;
    }
    return piece;
}

std::wstring EscapedLiteral(const std::wstring& text)
{
    std::wstring pattern;
    for (wchar_t c : text) {
        if (c < 0x80 && iswpunct(c))
            pattern += L'\\';
        pattern += c;
    }
    return pattern;
}
