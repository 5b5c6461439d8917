// How the scanner reads files and names them: whole reads and mappings on
// either side of the size between them, a mapped view that faults, and
// paths that are long or that the code page cannot spell.
#include "tests/engine/ScanHelpers.h"
#include "tests/engine/ScanCompare.h"
#include "tests/support/ImportPatch.h"
#include "engine/scan/FaultGuard.h"
#include "engine/text/TextForm.h"
#include <gtest/gtest.h>

extern "C" int(WINAPI* __imp_WideCharToMultiByte)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);
extern "C" BOOL(WINAPI* __imp_GetFileSizeEx)(HANDLE, PLARGE_INTEGER);

namespace {

class ScannerFiles : public testing::Test {
protected:
    void SetUp() override { folder = MakeTestFolder(); }
    void TearDown() override { RemoveTree(L"\\\\?\\" + folder); }
    std::wstring folder;
};

TEST_F(ScannerFiles, ReadsAndMapsFilesAroundTheSizeBetweenThem)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "one code page is enough for the big files";
    // One byte below, at and above the size: a hit on the first line, one on
    // a line that ends the file without a terminator.
    for (DWORD size : {READ_WHOLE_BYTES - 1, READ_WHOLE_BYTES, READ_WHOLE_BYTES + 1}) {
        SCOPED_TRACE(size);
        std::string text = "foo\r\n";
        text += std::string(size - text.size() - 6, 'x') + "\n";
        text += "a foo";
        ASSERT_EQ(text.size(), size);
        std::wstring path = folder + L"\\big.c";
        WriteTestFile(path, text);
        SearchRequest request;
        FillRequest(&request, L"foo", 0);
        EXPECT_EQ(Hits(SearchPath(path, &request), path), "(1,1)(3,3)");
    }
}

// With the skip-binary option a NUL in the first 64 KiB passes a file over,
// unreported, unless the Unicode files option reads it as UTF-16 by its mark;
// files read whole and mapped alike. Without the option every file is searched.
struct BinaryCase {
    const char* title;
    std::string bytes;
    unsigned bits;
    bool skipped;
};

std::string NulAt(size_t at, size_t size)
{
    std::string text = "foo\n" + std::string(size - 4, 'x');
    text[at] = 0;
    return text + "\nfoo\n";
}

TEST_F(ScannerFiles, SkipsBinaryFilesByANulInTheirFirst64KiB)
{
    const std::string utf16 = Utf16(L"foo\r\n", false);
    const BinaryCase cases[] = {
        {"NUL at the first byte", std::string("\0foo\n", 5), 0, true},
        {"NUL at 64 KiB - 1", NulAt(BINARY_JUDGED_BYTES - 1, BINARY_JUDGED_BYTES + 10), 0, true},
        {"NUL at 64 KiB", NulAt(BINARY_JUDGED_BYTES, BINARY_JUDGED_BYTES + 10), 0, false},
        {"NUL at 64 KiB + 1", NulAt(BINARY_JUDGED_BYTES + 1, BINARY_JUDGED_BYTES + 10), 0, false},
        {"UTF-16 with its mark", utf16, 0, true},
        {"UTF-16 with its mark, Unicode files", utf16, UNICODE_FILES, false},
        {"UTF-16BE with its mark, Unicode files", Utf16(L"foo\n", true), UNICODE_FILES, false},
        {"UTF-16 without a mark, Unicode files", utf16.substr(2), UNICODE_FILES, true},
        {"UTF-8 with its mark, Unicode files", "\xEF\xBB\xBF" + std::string("foo\0\n", 5), UNICODE_FILES, true},
        {"text", "foo\n", 0, false},
        {"empty", "", 0, false},
    };
    std::wstring path = folder + L"\\file.bin";
    for (const BinaryCase& c : cases) {
        SCOPED_TRACE(c.title);
        WriteTestFile(path, c.bytes);
        SearchRequest request;
        FillRequest(&request, L"foo", c.bits | SKIP_BINARY);
        ReportCapture capture;
        CaptureStart(&capture);
        DWORD result = SearchTestFile(path, &request);
        std::string report = CaptureFinish(&capture);
        EXPECT_EQ(result, c.skipped ? FILE_SKIPPED_BINARY : 0u);
        EXPECT_EQ(report.empty(), c.skipped || c.bytes.empty());
        FillRequest(&request, L"foo", c.bits);
        CaptureStart(&capture);
        EXPECT_EQ(SearchTestFile(path, &request), 0u);
        std::string searched = CaptureFinish(&capture);
        if (!c.skipped) {
            EXPECT_EQ(report, searched);
        }
    }
    if (GetACP() != 1252)
        return;
    // Mapped: the start is read for the test.
    for (size_t at : {(size_t)0, (size_t)BINARY_JUDGED_BYTES}) {
        SCOPED_TRACE(at);
        WriteTestFile(path, NulAt(at, READ_WHOLE_BYTES + 1));
        SearchRequest request;
        FillRequest(&request, L"foo", SKIP_BINARY);
        ReportCapture capture;
        CaptureStart(&capture);
        EXPECT_EQ(SearchTestFile(path, &request), at == 0 ? FILE_SKIPPED_BINARY : 0u);
        EXPECT_EQ(Hits(CaptureFinish(&capture), path), at == 0 ? "" : "(1,1)(3,1)");
    }
}

// Whether a file without a mark is UTF-8 is judged on its first MiB: a
// sequence cut by that limit is well-formed, and an ill-formed one after it
// decodes to U+FFFD with columns still in bytes. A file whose first MiB is
// ASCII is ANSI, whatever follows. Both ways, files read whole and mapped.
TEST_F(ScannerFiles, JudgesUtf8ByItsFirstMiB)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "one code page is enough for the big files";
    std::wstring path = folder + L"\\big.txt";
    SearchRequest request;
    FillRequest(&request, L"FOO", UNICODE_FILES);
    for (size_t filler : {(size_t)0, (size_t)READ_WHOLE_BYTES}) {
        SCOPED_TRACE(filler);
        // A Chinese character across the limit, an ill-formed byte after it.
        std::string text = Utf8(L"\u00E9\n") + std::string(UTF8_JUDGED_BYTES - 4, 'x') + Utf8(L"\u4E2D") +
                           "\n\xE9 foo \xC3\xA9\n" + std::string(filler, '\n');
        WriteTestFile(path, text);
        EXPECT_EQ(SearchPath(path, &request), Ansi(path) + "(3,3) : ? foo \xE9\r\n");
        // ASCII as far as the limit: ANSI bytes, shown as they stand.
        text = std::string(UTF8_JUDGED_BYTES, 'x') + "\n" + Utf8(L"\u00E9 foo") + std::string(filler, '\n');
        WriteTestFile(path, text);
        EXPECT_EQ(SearchPath(path, &request), Ansi(path) + "(2,4) : \xC3\xA9 foo\r\n");
    }
}

// A file that shrinks between the reading of its size and of its bytes is
// searched as far as it goes, never into what the buffer held before.
TEST_F(ScannerFiles, SearchesAFileCutShortAsFarAsItIsRead)
{
    std::wstring before = folder + L"\\before.c", cut = folder + L"\\cut.c";
    WriteTestFile(before, std::string(100, 'x') + "\nfoo\n");
    WriteTestFile(cut, "bar\n");
    SearchRequest request;
    FillRequest(&request, L"foo", 0);
    EXPECT_EQ(Hits(SearchPath(before, &request), before), "(2,1)");
    static BOOL(WINAPI * realGetFileSizeEx)(HANDLE, PLARGE_INTEGER);
    realGetFileSizeEx = PatchImport(
        &__imp_GetFileSizeEx, +[](HANDLE file, PLARGE_INTEGER size) -> BOOL {
            BOOL got = realGetFileSizeEx(file, size);
            size->QuadPart += 200;
            return got;
        });
    std::string report = SearchPath(cut, &request);
    PatchImport(&__imp_GetFileSizeEx, realGetFileSizeEx);
    EXPECT_EQ(report, "");
}

TEST_F(ScannerFiles, AFaultingViewEndsItsScanWithWholeLines)
{
    // Three pages of lines with a hit each; the third page faults as a file
    // cut short would. A line that runs into it is not reported at all.
    const size_t page = 4096;
    std::string text;
    while (text.size() < 3 * page)
        text += "\"foo\" \"f&oo\" " + std::string(20, 'x') + "\n";
    std::wstring path = folder + L"\\cut.c";
    WriteTestFile(path, text);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
    BYTE* view = (BYTE*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(view + 2 * page, page, PAGE_NOACCESS, &old));

    // The first pass ("FOO") reports every line until the one that crosses
    // into the third page, and the fault ends the scan there.
    SearchRequest request;
    FillRequest(&request, L"foo", STRINGS_ONLY | AMP_VARIANTS);
    ReportCapture capture;
    CaptureStart(&capture);
    FileReport name = {path.c_str(), path.c_str(), &TestWorkspace()->names, BeginTestOutput(), FALSE};
    ScanMappedView(view, text.size(), &name, &request, TestWorkspace());
    EndTestOutput();
    std::string report = CaptureFinish(&capture);
    size_t lineLength = text.find('\n') + 1;
    size_t lines = text.size() / lineLength + 1;
    std::string expected;
    for (size_t line = 1; line <= 2 * page / lineLength; line++)
        expected += "(" + std::to_string(line) + ",2)";
    EXPECT_EQ(Hits(report, path), expected);

    // The guard is down again: the next scan of a sound view runs whole,
    // through the passes "FOO" and "F&OO".
    VirtualProtect(view + 2 * page, page, PAGE_READONLY, &old);
    CaptureStart(&capture);
    name.named = FALSE;
    name.output = BeginTestOutput();
    ScanMappedView(view, text.size(), &name, &request, TestWorkspace());
    EndTestOutput();
    expected.clear();
    for (const char* column : {",2)", ",8)"})
        for (size_t line = 1; line < lines; line++)
            expected += "(" + std::to_string(line) + column;
    EXPECT_EQ(Hits(CaptureFinish(&capture), path), expected);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(file);
}

// A fault of the program itself during the scan of a view, outside the view:
// its address, and how often a later handler than the guard's saw it.
const volatile BYTE* strayAddress;
int strayFaults;
int(WINAPI* realWideCharToMultiByte)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);

// Called as the first hit's name is spelled, in the middle of the guarded
// scan: reads where it must not.
int WINAPI StrayRead(UINT codePage, DWORD flags, LPCWCH text, int units, LPSTR bytes, int size, LPCCH fallback,
                     LPBOOL usedFallback)
{
    if (strayAddress)
        (void)*strayAddress;
    return realWideCharToMultiByte(codePage, flags, text, units, bytes, size, fallback, usedFallback);
}

// Behind the guard's handler: lets the stray read through by making its page
// readable.
LONG CALLBACK SeeStrayFault(EXCEPTION_POINTERS* exception)
{
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2 ||
        (const BYTE*)record->ExceptionInformation[1] != strayAddress)
        return EXCEPTION_CONTINUE_SEARCH;
    strayFaults++;
    DWORD old;
    VirtualProtect((LPVOID)strayAddress, 1, PAGE_READONLY, &old);
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST_F(ScannerFiles, TheGuardTakesNoFaultOutsideItsView)
{
    // A read just below the view and one just above it, while the view is
    // scanned: neither is the view's, so the guard must pass them on (where,
    // without this test's handler, they would end the program) and the scan
    // goes on to its end.
    GuardedBytes guarded;
    GuardedAlloc(&guarded, 4096);
    std::string text = "foo\nbar\nfoo\n";
    const BYTE* view = GuardedPlace(&guarded, text, false);
    SearchRequest request;
    FillRequest(&request, L"foo", 0);
    PVOID handler = AddVectoredExceptionHandler(0, SeeStrayFault);
    const BYTE* strays[] = {view - 1, guarded.data + guarded.dataBytes};
    for (const BYTE* stray : strays) {
        SCOPED_TRACE(stray < view ? "below" : "above");
        DWORD old;
        VirtualProtect((LPVOID)stray, 1, PAGE_NOACCESS, &old);
        strayAddress = stray;
        strayFaults = 0;
        ReportCapture capture;
        CaptureStart(&capture);
        FileReport name = {L"t", L"t", &TestWorkspace()->names, BeginTestOutput(), FALSE};
        realWideCharToMultiByte = PatchImport(&__imp_WideCharToMultiByte, StrayRead);
        ScanMappedView(view, text.size(), &name, &request, TestWorkspace());
        PatchImport(&__imp_WideCharToMultiByte, realWideCharToMultiByte);
        strayAddress = NULL;
        EndTestOutput();
        EXPECT_EQ(strayFaults, 1) << "the guard took a fault outside its view for its own";
        EXPECT_EQ(Hits(CaptureFinish(&capture), L"t"), "(1,1)(3,1)");
    }
    RemoveVectoredExceptionHandler(handler);
    GuardedFree(&guarded);
}

// The file a report line names, opened from the line's ANSI text.
bool NamesTheFile(const std::string& report, const std::wstring& path)
{
    size_t end = report.find("(1,1) : ");
    if (end == std::string::npos || report.find('?') < end)
        return false;
    WCHAR named[REPORT_PATH_CHARS + 4] = L"\\\\?\\";
    int length = MultiByteToWideChar(CP_ACP, 0, report.data(), (int)end, named + 4, REPORT_PATH_CHARS - 1);
    named[4 + length] = 0;
    HANDLE byName = CreateFileW(named, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE byPath =
        CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    BY_HANDLE_FILE_INFORMATION a = {}, b = {};
    bool same = GetFileInformationByHandle(byName, &a) && GetFileInformationByHandle(byPath, &b) &&
                a.nFileIndexLow == b.nFileIndexLow && a.nFileIndexHigh == b.nFileIndexHigh &&
                a.dwVolumeSerialNumber == b.dwVolumeSerialNumber;
    CloseHandle(byName);
    CloseHandle(byPath);
    return same;
}

TEST_F(ScannerFiles, NamesLongPathsWholeAndUnprintableOnesByTheirShortNames)
{
    // 1,500 units in all, over the 1024 bytes a formatted header could hold;
    // every fourth folder named with a Chinese character, some outside the
    // double-byte code page (and all outside the single-byte one).
    std::wstring path = folder;
    for (int level = 0; path.size() < 1500; level++) {
        path += L"\\" + std::wstring(40, L'x');
        if (level % 4 == 0)
            path += (wchar_t)(L'\x4E00' + level % 3);
        MakeFolder(L"\\\\?\\" + path);
    }
    path += L"\\a.c";
    WriteTestFile(L"\\\\?\\" + path, "foo\n");
    SearchRequest request;
    FillRequest(&request, L"foo", 0);
    ReportCapture capture;
    CaptureStart(&capture);
    SearchTestFileAs(L"\\\\?\\" + path, path, &request);
    std::string report = CaptureFinish(&capture);
    std::string tail = "\\a.c(1,1) : foo\r\n";
    ASSERT_GT(report.size(), 1024u);
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
    EXPECT_TRUE(NamesTheFile(report, path)) << report;
    if (GetACP() == CP_UTF8) {
        EXPECT_EQ(report, Ansi(path) + "(1,1) : foo\r\n");
    }
}

TEST_F(ScannerFiles, KeepsAPartNoShortNameMatchesAsTheCodePageShowsIt)
{
    // A folder given relative and through "..": its first part matches no
    // name of the file's full path, so it prints as the code page shows it;
    // the parts below still print with the short names that open them.
    std::wstring odd = L"\x0416\x4E02";
    std::wstring oddFolder = folder + L"\\" + odd;
    MakeFolder(oddFolder);
    WriteTestFile(oddFolder + L"\\a.c", "foo\n");
    std::wstring shown = odd + L"\\..\\" + odd + L"\\a.c";
    SearchRequest request;
    FillRequest(&request, L"foo", 0);
    ReportCapture capture;
    CaptureStart(&capture);
    SearchTestFileAs(oddFolder + L"\\a.c", shown, &request);
    std::string report = CaptureFinish(&capture);

    WCHAR shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(oddFolder.c_str(), shortPath, MAX_PATH), 0u);
    std::wstring shortName = wcsrchr(shortPath, L'\\') + 1;
    std::wstring spelled = GetACP() == CP_UTF8 ? odd : shortName;
    EXPECT_EQ(report, Ansi(odd) + "\\..\\" + Ansi(spelled) + "\\a.c(1,1) : foo\r\n");
}

}  // namespace
