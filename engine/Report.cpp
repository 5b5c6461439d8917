// The report line format.
#include "engine/Report.h"
#include "engine/Output.h"
#include "engine/Scanner.h"

// The ANSI form of the longest path: three bytes per unit in UTF-8. The header
// adds "(", two 10-digit numbers, "," and ") : ", well inside the 1024 bytes
// that wsprintfA writes at most.
#define HEADER_BYTES (REPORT_PATH_CHARS * 3 + 32)

void ReportHit(const ReportName* name, DWORD lineNumber, DWORD column, const BYTE* text, ULONGLONG textLength)
{
    char header[HEADER_BYTES];
    int length = wsprintfA(header, "%s(%u,%u) : ", name->ansi, lineNumber, column);
    if (textLength > LINE_TEXT_BYTES)
        textLength = LINE_TEXT_BYTES;
    OutputWrite(header, (DWORD)length);
    OutputWrite(text, (DWORD)textLength);
    OutputWrite("\r\n", 2);
    OutputEndLine();
}
