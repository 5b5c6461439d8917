// What the benchmark's parts share: the clock, generated source text and a
// request filled the way the settings dialog fills it.
#pragma once
#include "engine/SearchRequest.h"
#include "tests/support/Requests.h"
#include <string>

inline double Seconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}
// C-like text: code, comments and string literals, with a rare hit.
std::string SourceText(size_t bytes, unsigned seed);

// The scanner on one large file (written first if it is missing), every mode
// and needle; prints one tab-separated row per case for scripts/bench.sh.
void BenchScanner(const std::wstring& path);
// Writes the scanner's large file at path unless it is there; FALSE if it
// cannot.
bool ReadyBenchSource(const std::wstring& path);
