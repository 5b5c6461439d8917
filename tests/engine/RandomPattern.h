// Seeded random regular expressions for the differential tests: patterns
// in the engine's syntax (literals, classes, escapes, assertions, groups,
// alternatives, repeats) made of characters that trip the rules and the case
// folding up, each with a sample text that a match may take.
#pragma once
#include "tests/engine/RandomText.h"

// A piece of a pattern, and a text that it may match.
struct Piece {
    std::wstring pattern;
    std::wstring sample;
};

// A character of the patterns and texts: ASCII that trips the rules,
// letters that fold in one alphabet and not the other, characters some code
// pages cannot spell, a surrogate pair, and under code page 950 its
// double-byte characters.
std::wstring PaletteCharacter(Random* random);

// A pattern of alternatives at the nesting depth given (0 for a whole one).
Piece Alternation(Random* random, int depth);

// The text as a pattern that finds just it: "\" before each ASCII
// punctuation character.
std::wstring EscapedLiteral(const std::wstring& text);
