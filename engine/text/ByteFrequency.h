// How often each byte stands in source text: the rarest bytes of a search
// text, or of a pattern's required literal, are the ones the vector search
// looks for first.
#pragma once
#include <windows.h>

// In 65536ths, at least 1.
extern const unsigned short byteFrequency[256];
