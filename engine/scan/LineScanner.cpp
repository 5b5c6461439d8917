// The line scanner: tells a file's text apart and runs the request's passes
// over it, literal text or a pattern, in ANSI bytes or Unicode text.
#include "engine/scan/LineScanner.h"
#include "engine/scan/LiteralScan.h"
#include "engine/scan/PatternScan.h"

BOOL ScanBytes(const BYTE* bytes, ULONGLONG size, FileReport* report, const SearchRequest* request,
               ScanWorkspace* workspace)
{
    const SearchOptions* options = &request->options;
    ScanPass pass = {};
    pass.view = bytes;
    pass.size = size;
    pass.form = TEXT_ANSI;
    if (options->unicodeFiles) {
        ULONGLONG markBytes;
        pass.form = DetectTextForm(bytes, size, &markBytes);
        pass.view = bytes + markBytes;
        pass.size = size - markBytes;
    }
    if (pass.form == TEXT_ANSI) {
        pass.ansi = AnsiCharacters();
        pass.doubleByte = pass.ansi->kind == ANSI_DOUBLE_BYTE;
        // ANSI text of code page 65001 is UTF-8: read as the Unicode files
        // option reads UTF-8, its report lines left as they stand.
        if (pass.ansi->kind == ANSI_UTF8) {
            pass.form = TEXT_UTF8;
            pass.ansiBytes = TRUE;
        }
    }
    pass.unitBytes = UnitBytes(pass.form);
    ReportTextStart(report, bytes, pass.form);
    pass.matchCase = options->matchCase != 0;
    pass.skipComments = options->skipComments != 0;
    pass.stringsOnly = options->stringsOnly != 0;
    if (pass.form != TEXT_ANSI) {
        // An odd last byte of UTF-16 text is no unit; a mark alone is no
        // text, as an empty file is none.
        pass.size -= pass.size % pass.unitBytes;
        if (pass.size == 0)
            return !Stopped();
        pass.fold = pass.matchCase ? NULL : LoadCaseFold();
        pass.lineText = workspace->lineText;
    }
    if (options->regularExpression)
        return ScanPattern(&pass, report, request, workspace);
    return ScanLiteral(&pass, report, request, workspace);
}
