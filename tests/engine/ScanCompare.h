// Runs the scanner and the reference scanner on bytes in memory that lie
// flush against pages the process may not touch, and captures their reports
// without a file write per run.
#pragma once
#include "engine/SearchRequest.h"
#include <string>

// Committed pages between two no-access pages.
struct GuardedBytes {
    BYTE* region;      // the whole reservation
    BYTE* data;        // the first byte after the leading no-access page
    SIZE_T dataBytes;  // whole pages
};

void GuardedAlloc(GuardedBytes* guarded, SIZE_T dataBytes);
void GuardedFree(GuardedBytes* guarded);
// Copies the text so that its last byte lies just before the trailing
// no-access page (atEnd) or its first byte just after the leading one.
const BYTE* GuardedPlace(const GuardedBytes* guarded, const std::string& text, bool atEnd);

// What one scan did: the report bytes and the result.
struct ScanResult {
    std::string report;
    BOOL finished;
};

bool operator==(const ScanResult& a, const ScanResult& b);

// Fills a request with the needle's bytes as they are (no conversion, no
// upper-casing) and the options (OptionBit flags); under code page 65001
// its text too, the needle read as UTF-8.
void FillByteRequest(SearchRequest* request, const std::string& needle, unsigned options);

// Points the report output at a scratch file for a series of scans.
void ScanCaptureStart();
void ScanCaptureFinish();

// Scans the bytes with the request, with the fast scanner or the
// reference (with the Unicode files option, each tells the text's form
// itself), naming the file "t" in the report.
ScanResult ScanWith(bool reference, const BYTE* bytes, size_t size, const SearchRequest* request);

// The bytes as a C string literal, for messages.
std::string Escaped(const std::string& bytes);
// UTF-16 text as a wide string literal.
std::string EscapedText(const std::wstring& text);
