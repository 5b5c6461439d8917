// Seeded random numbers and text for the differential tests, and their
// settings from the environment.
#pragma once
#include <windows.h>
#include <stdlib.h>
#include <string>

struct Random {
    ULONGLONG state;
};

inline ULONGLONG Next(Random* random)
{
    ULONGLONG z = (random->state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

inline unsigned Below(Random* random, unsigned n)
{
    return (unsigned)(Next(random) % n);
}

inline unsigned Between(Random* random, unsigned low, unsigned high)
{
    return low + Below(random, high - low + 1);
}

// A lead byte and a trail byte of a double-byte code page; the trail may be
// an ASCII letter, a backslash, or a byte no character takes as a trail
// (a quote, a slash, a space).
inline std::string DoubleByte(Random* random)
{
    std::string pair(1, (char)Between(random, 0x81, 0xFE));
    unsigned pick = Below(random, 10);
    pair += (char)(pick < 4   ? Between(random, 0x40, 0x7E)
                   : pick < 5 ? '\\'
                   : pick < 6 ? "\"'/ "[Below(random, 4)]
                              : Between(random, 0xA1, 0xFE));
    return pair;
}

// A number from the environment, or unset when it is not there.
inline unsigned long Setting(const char* name, unsigned long unset)
{
    const char* text = getenv(name);
    return text && *text ? strtoul(text, NULL, 0) : unset;
}
