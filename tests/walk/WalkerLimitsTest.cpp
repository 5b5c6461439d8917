// The walker at the end of its path buffer: whatever does not fit is passed
// over and the rest of the walk goes on.
#include "tests/walk/WalkHarness.h"
#include "engine/Scanner.h"
#include "tests/support/TestFiles.h"
#include <gtest/gtest.h>

namespace {

// The longest path the walker's buffer holds, without its terminator.
const size_t LONGEST_PATH = REPORT_PATH_CHARS - 1;

class WalkerLimitsTest : public testing::Test {
protected:
    void SetUp() override { root = MakeTestFolder(); }
    void TearDown() override { RemoveTree(root); }

    // A name that makes root\name exactly length units long.
    std::wstring NameFor(size_t length, wchar_t letter, const wchar_t* tail)
    {
        return std::wstring(length - root.size() - 1 - lstrlenW(tail), letter) + tail;
    }
    void ExpectWithinBuffer(const WalkRun& run)
    {
        for (const std::wstring& path : run.searched)
            EXPECT_LE(path.size(), LONGEST_PATH);
        for (const std::wstring& path : run.searches)
            EXPECT_LE(path.size(), LONGEST_PATH);
    }
    std::wstring root;
};

TEST_F(WalkerLimitsTest, PassesOverNamesAndFoldersThatDoNotFit)
{
    // Files of exactly the longest path and one longer; a folder whose file
    // just fits; folders whose pattern, backslash or own name would not fit.
    std::wstring fits = NameFor(LONGEST_PATH, L'f', L".c");
    std::wstring tooLong = NameFor(LONGEST_PATH + 1, L'g', L".c");
    std::wstring fileFits = NameFor(LONGEST_PATH - 4, L'd', L"");
    std::wstring patternTooLong = NameFor(LONGEST_PATH - 3, L'e', L"");
    std::wstring backslashTooLong = NameFor(LONGEST_PATH, L'h', L"");
    std::wstring nameTooLong = NameFor(LONGEST_PATH + 1, L'i', L"");
    WriteTestFile(root + L"\\a.c", "hit\nhit\n");
    WriteTestFile(root + L"\\" + fits, "hit\nhit\n");
    WriteTestFile(root + L"\\" + tooLong, "hit\nhit\n");
    for (const std::wstring& folder : {fileFits, patternTooLong, backslashTooLong, nameTooLong, std::wstring(L"ok")}) {
        MakeFolder(root + L"\\" + folder);
        WriteTestFile(root + L"\\" + folder + L"\\x.c", "hit\nhit\n");
    }

    std::string expected;
    for (const std::wstring& name : Listing(root, L"*.c"))
        if (name != tooLong)
            expected += (expected.empty() ? "" : " ") + Ansi(name);
    for (const std::wstring& name : Listing(root, L"*.*"))
        if (name == fileFits + L"\\" || name == L"ok\\")
            expected += " " + Ansi(name) + "x.c";

    WalkRun run;
    ExpectWalkOfCFiles(root, expected, &run);
    ExpectWithinBuffer(run);
}

// Runs a program of the host system, which Wine starts from its Z: path.
bool RunHost(const wchar_t* program, std::wstring commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(program, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

TEST_F(WalkerLimitsTest, EndsAFolderCycleAtTheEndOfTheBuffer)
{
    // Wine makes no links itself, but shows a host symbolic link to a folder
    // as a folder. The host follows at most 40 links in one path, so the
    // cycle starts deep enough for the buffer to end it first.
    typedef char*(CDECL * UnixFileName)(LPCWSTR);
    UnixFileName unixFileName =
        (UnixFileName)(void*)GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name");
    if (!unixFileName)
        GTEST_SKIP() << "needs Wine";
    std::wstring base = root + L"\\" + NameFor(100, L'n', L"");
    MakeFolder(base);
    char* unixBase = unixFileName(base.c_str());
    ASSERT_NE(unixBase, nullptr);
    std::string hostLink = std::string(unixBase) + "/loop";
    HeapFree(GetProcessHeap(), 0, unixBase);
    std::wstring link(hostLink.begin(), hostLink.end());
    ASSERT_TRUE(RunHost(L"Z:\\bin\\ln", L"ln -s . \"" + link + L"\""));
    ASSERT_NE(GetFileAttributesW((base + L"\\loop").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    WriteTestFile(base + L"\\a.c", "hit\nhit\n");

    std::string expected;
    for (std::wstring level; base.size() + 1 + level.size() + 3 <= LONGEST_PATH; level += L"loop\\")
        expected += (expected.empty() ? "" : " ") + Ansi(level) + "a.c";
    SearchRequest request;
    PrepareWalk(&request, L"*.c", true);
    WalkRun run;
    RunWalk(base, &request, 0, &run);
    RunHost(L"Z:\\bin\\rm", L"rm \"" + link + L"\"");
    EXPECT_EQ(Relative(run.searched, base), expected);
    EXPECT_EQ(run.report, Reported(base, expected));
    ExpectWithinBuffer(run);
}

}  // namespace
