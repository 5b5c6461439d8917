// Inside the regular-expression engine: the literal every match holds.
#pragma once
#include "engine/regex/Compiler.h"

// The longest text that every match of the parsed pattern holds, or one of
// length 0; a reversed program has none.
void FindRequiredLiteral(const Compiler* compiler, const RegexNode* root, RegexLiteral* required);
