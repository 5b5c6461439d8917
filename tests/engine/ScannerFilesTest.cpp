// How the scanner reads files and names them: whole reads and mappings on
// either side of the size between them, a mapped view that faults, and
// paths that are long or that the code page cannot spell.
#include "tests/engine/ScanHelpers.h"
#include "engine/FaultGuard.h"
#include <gtest/gtest.h>

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
    FileReport name = {path.c_str(), path.c_str(), &TestWorkspace()->names, FALSE};
    ReportCapture capture;
    CaptureStart(&capture);
    ScanMappedView(view, text.size(), &name, &request, TestWorkspace());
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
    ScanMappedView(view, text.size(), &name, &request, TestWorkspace());
    expected.clear();
    for (const char* column : {",2)", ",8)"})
        for (size_t line = 1; line < lines; line++)
            expected += "(" + std::to_string(line) + column;
    EXPECT_EQ(Hits(CaptureFinish(&capture), path), expected);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(file);
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
    HANDLE byPath = CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
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
    SearchFileAs((L"\\\\?\\" + path).c_str(), path.c_str(), &request, TestWorkspace());
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
    SearchFileAs((oddFolder + L"\\a.c").c_str(), shown.c_str(), &request, TestWorkspace());
    std::string report = CaptureFinish(&capture);

    WCHAR shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(oddFolder.c_str(), shortPath, MAX_PATH), 0u);
    std::wstring shortName = wcsrchr(shortPath, L'\\') + 1;
    std::wstring spelled = GetACP() == CP_UTF8 ? odd : shortName;
    EXPECT_EQ(report, Ansi(odd) + "\\..\\" + Ansi(spelled) + "\\a.c(1,1) : foo\r\n");
}

}  // namespace
