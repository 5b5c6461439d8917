// Inside the regular-expression engine: the division of the characters into
// classes that no set of the program tells apart.
#pragma once
#include "engine/regex/Compiler.h"

// The characters divided into classes that no set tells apart: cells of
// characters in a row that every set holds whole or not at all, and the
// class of each.
struct Division {
    DWORD cells;
    DWORD* starts;  // the first character of each cell, and the end
    DWORD* classOfCell;
    DWORD classCount;
    DWORD rowWords;  // DWORDs per set row
    DWORD* rows;     // for each set, a bit per class it holds
    BYTE* classIsWord;
    DWORD lineEndClass;
    BYTE byteClass[256];    // ANSI
    DWORD blockStart[256];  // Unicode, the basic plane by blocks of 256
    DWORD blockCount;       // distinct blocks
    WORD* blocks;
    DWORD rangeCount;  // Unicode, above the basic plane
    RegexClassRange* ranges;
};

// Divides the characters by the sets stored so far; FALSE after an error.
BOOL SetsDivide(Compiler* compiler, Division* division);
