// Scans in memory for the differential and bounds tests.
#include "tests/engine/ScanCompare.h"
#include "engine/scan/LineScanner.h"
#include "tests/engine/ReferenceScan.h"
#include "tests/engine/ScanHelpers.h"
#include "tests/support/TestFiles.h"
#include <gtest/gtest.h>
#include <string.h>

#define PAGE_BYTES 4096

static ReportCapture capture;

void GuardedAlloc(GuardedBytes* guarded, SIZE_T dataBytes)
{
    guarded->dataBytes = (dataBytes + PAGE_BYTES - 1) / PAGE_BYTES * PAGE_BYTES;
    SIZE_T total = guarded->dataBytes + 2 * PAGE_BYTES;
    guarded->region = (BYTE*)VirtualAlloc(NULL, total, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_TRUE(guarded->region != NULL);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(guarded->region, PAGE_BYTES, PAGE_NOACCESS, &old));
    ASSERT_TRUE(VirtualProtect(guarded->region + PAGE_BYTES + guarded->dataBytes, PAGE_BYTES, PAGE_NOACCESS, &old));
    guarded->data = guarded->region + PAGE_BYTES;
}

void GuardedFree(GuardedBytes* guarded)
{
    VirtualFree(guarded->region, 0, MEM_RELEASE);
    guarded->region = guarded->data = NULL;
}

const BYTE* GuardedPlace(const GuardedBytes* guarded, const std::string& text, bool atEnd)
{
    BYTE* at = atEnd ? guarded->data + guarded->dataBytes - text.size() : guarded->data;
    memcpy(at, text.data(), text.size());
    return at;
}

bool operator==(const ScanResult& a, const ScanResult& b)
{
    return a.report == b.report && a.finished == b.finished;
}

void FillByteRequest(SearchRequest* request, const std::string& needle, unsigned options)
{
    ZeroMemory(request, sizeof *request);
    memcpy(request->needle, needle.data(), needle.size());
    request->needleLength = (int)needle.size();
    request->options = OptionsFromBits(options);
    // Under code page 65001 ANSI text is UTF-8, searched for the text as typed.
    if (GetACP() == CP_UTF8)
        MultiByteToWideChar(CP_UTF8, 0, needle.data(), (int)needle.size(), request->text, SEARCH_TEXT_CHARS);
}

void ScanCaptureStart()
{
    CaptureStart(&capture);
}

void ScanCaptureFinish()
{
    CaptureFinish(&capture);
}

ScanResult ScanWith(bool reference, const BYTE* bytes, size_t size, const SearchRequest* request)
{
    FileOutput* output = BeginTestOutput();
    FileReport name = {L"t", L"t", &TestWorkspace()->names, output, FALSE};
    ScanResult result;
    result.finished = reference ? ReferenceScanFile(bytes, size, &name, request)
                                : ScanBytes(bytes, size, &name, request, TestWorkspace());
    // Straight from the buffer, unless it ran full and wrote out to the
    // scratch file: no file write for most of the many runs.
    if (output->wroteThrough) {
        EndTestOutput();
        result.report = ReadTestFile(capture.path);
        SetFilePointer(capture.handle, 0, NULL, FILE_BEGIN);
        SetEndOfFile(capture.handle);
    } else {
        result.report.assign((const char*)output->buffer, output->used);
        output->used = 0;
        EndTestOutput();
    }
    return result;
}

std::string Escaped(const std::string& bytes)
{
    std::string text = "\"";
    for (unsigned char c : bytes) {
        char piece[8];
        if (c == '"' || c == '\\')
            wsprintfA(piece, "\\%c", c);
        else if (c == '\r')
            lstrcpyA(piece, "\\r");
        else if (c == '\n')
            lstrcpyA(piece, "\\n");
        else if (c >= 0x20 && c < 0x7F)
            wsprintfA(piece, "%c", c);
        else
            wsprintfA(piece, "\\x%02X\"\"", c);  // closed so that a hex digit after it is not taken in
        text += piece;
    }
    return text + "\"";
}

std::string EscapedText(const std::wstring& text)
{
    std::string escaped = "L\"";
    for (wchar_t unit : text) {
        char piece[16];
        if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\')
            wsprintfA(piece, "%c", unit);
        else
            wsprintfA(piece, "\\x%04X\"L\"", (unsigned)unit);
        escaped += piece;
    }
    return escaped + "\"";
}
