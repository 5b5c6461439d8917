// Runs the scanner over real files written for a test.
#pragma once
#include "engine/scan/FileSearch.h"
#include "engine/StopFlag.h"
#include "tests/support/Requests.h"
#include "tests/support/TestFiles.h"
#include <string>

// Text in UTF-8 without a mark, and in UTF-16 with its mark.
inline std::string Utf8(const std::wstring& text)
{
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(
        WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &bytes[0], (int)bytes.size(), NULL, NULL));
    return bytes;
}
inline std::string Utf16(const std::wstring& text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t unit : text) {
        char low = (char)(unit & 0xFF), high = (char)(unit >> 8);
        bytes += bigEndian ? std::string {high, low} : std::string {low, high};
    }
    return bytes;
}

// Searches the file at path and returns the report it wrote.
inline std::string SearchPath(const std::wstring& path, const SearchRequest* request)
{
    ReportCapture capture;
    CaptureStart(&capture);
    SearchTestFile(path, request);
    return CaptureFinish(&capture);
}

// Reduces a report on one file to its "(line,column)" pieces, checking that
// every line names the file.
inline std::string Hits(const std::string& report, const std::wstring& path)
{
    std::string name = Ansi(path);
    std::string hits;
    size_t start = 0;
    while (start < report.size()) {
        size_t end = report.find("\r\n", start);
        if (end == std::string::npos)
            return hits + "[unterminated]";
        std::string line = report.substr(start, end - start);
        if (line.compare(0, name.size(), name) != 0)
            return hits + "[other name]";
        size_t close = line.find(") : ", name.size());
        hits += line.substr(name.size(), close + 1 - name.size());
        start = end + 2;
    }
    return hits;
}
