// What the walker reaches: paths beyond 260 units, folder cycles through
// links, files named like devices, and patterns with a folder part.
#include "tests/walk/WalkHarness.h"
#include "tests/support/TestFiles.h"
#include <gtest/gtest.h>

namespace {

class WalkerReach : public testing::Test {
protected:
    void SetUp() override { root = MakeTestFolder(); }
    void TearDown() override { RemoveTree(L"\\\\?\\" + root); }
    std::wstring root;
};

TEST_F(WalkerReach, SearchesFilesDeepBelow260UnitsInWalkOrder)
{
    // A chain of folders 400 units deep and a second shallow branch after
    // it; hits at several depths, the deepest beyond the old path limit.
    std::wstring expected;
    std::wstring folder = root;
    std::string relative;
    std::string searched;
    for (int level = 0; folder.size() < root.size() + 400; level++) {
        std::wstring name = L"level" + std::to_wstring(level) + std::wstring(24, L'x');
        folder += L"\\" + name;
        relative += Ansi(name) + "\\";
        MakeFolder(L"\\\\?\\" + folder);
        if (level % 3 == 0) {
            WriteTestFile(L"\\\\?\\" + folder + L"\\deep.c", "hit\nhit\n");
            searched += " " + relative + "deep.c";
        }
    }
    ASSERT_GT(folder.size() + 7, (size_t)MAX_PATH + 140);
    MakeTree(root, "top.c zz\\ zz\\last.c");
    std::vector<std::wstring> topFolders = Listing(root, L"*.*");
    ASSERT_EQ(topFolders.size(), 3u);  // top.c and the two folders
    searched = "top.c" + (topFolders[1] == L"zz\\" ? " zz\\last.c" + searched : searched + " zz\\last.c");

    // Typed with and without the trailing backslash: the same walk.
    for (const wchar_t* typed : {L"", L"\\"}) {
        WalkRun run;
        SearchRequest request;
        PrepareWalk(&request, L"*.c", true);
        RunWalk(root + typed, &request, 0, &run);
        EXPECT_EQ(Relative(run.searched, root), searched);
        EXPECT_EQ(run.report, Reported(root, searched));
    }
}

TEST_F(WalkerReach, SearchesEachFileOncePerPathWithoutACycle)
{
    if (HostPath(root).empty())
        GTEST_SKIP() << "needs Wine to make host links";
    // base\loop is base itself, base\sub\back its grandparent: both close a
    // cycle. base\alias is base\sub again, by another path without a cycle.
    MakeTree(root, "a.c sub\\ sub\\b.c");
    MakeLink(".", root + L"\\loop");
    MakeLink(HostPath(root), root + L"\\sub\\back");
    MakeLink(HostPath(root + L"\\sub"), root + L"\\alias");
    std::string expected = "a.c";
    for (const std::wstring& name : Listing(root, L"*.*"))
        if (name == L"sub\\" || name == L"alias\\")
            expected += " " + Ansi(name) + "b.c";
    WalkRun run;
    ExpectWalkOfCFiles(root, expected, &run);
    for (const wchar_t* link : {L"\\loop", L"\\sub\\back", L"\\alias"})
        RemoveLink(root + link);
}

TEST_F(WalkerReach, SearchesFilesNamedLikeDevices)
{
    // Legal names on a shared drive or a checkout made by another system;
    // only the long form makes them here.
    for (const wchar_t* name : {L"nul.c", L"con.h", L"aux.c", L"com1.c", L"prn.c", L"lpt1.h"})
        WriteTestFile(L"\\\\?\\" + root + L"\\" + name, "hit\nhit\n");
    std::string expected;
    for (const wchar_t* pattern : {L"*.c", L"*.h"})
        for (const std::wstring& name : Listing(L"\\\\?\\" + root, pattern))
            expected += (expected.empty() ? "" : " ") + Ansi(name);
    ASSERT_EQ(std::count(expected.begin(), expected.end(), ' '), 5) << expected;
    SearchRequest request;
    PrepareWalk(&request, L"*.c;*.h", false);
    WalkRun run;
    RunWalk(root, &request, 0, &run);
    EXPECT_EQ(Relative(run.searched, root), expected);
    EXPECT_EQ(run.report, Reported(root, expected));
}

TEST_F(WalkerReach, OpensAndNamesTheFilesInThePatternsFolder)
{
    // An a.c at the top too, which a pattern naming another folder must
    // not open.
    MakeTree(root, "a.c sub\\ sub\\a.c other\\ other\\a.c");
    struct {
        const wchar_t* folder;
        const wchar_t* patterns;
        const char* opened;  // relative to the test folder
        const char* shown;   // relative to the folder searched
    } cases[] = {
        {L"", L"sub\\*.c", "sub\\a.c", "sub\\a.c"},
        {L"", L"sub/*.c", "sub\\a.c", "sub/a.c"},
        {L"\\sub", L"..\\other\\*.c;*.c", "other\\a.c sub\\a.c", "..\\other\\a.c a.c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Ansi(c.patterns));
        SearchRequest request;
        PrepareWalk(&request, c.patterns, false);
        WalkRun run;
        RunWalk(root + c.folder, &request, 0, &run);
        EXPECT_EQ(Relative(run.searched, root), c.opened);
        EXPECT_EQ(run.report, Reported(root + c.folder, c.shown));
    }
}

}  // namespace

namespace {

// A folder held open by another program that shares it with nobody (here
// the test itself): the platform cannot list it.
HANDLE HoldFolder(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
}

TEST_F(WalkerReach, NamesTheFoldersItCannotList)
{
    MakeTree(root, "a.c held\\ held\\b.c z\\ z\\c.c");
    HANDLE held = HoldFolder(root + L"\\held");
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SearchRequest request;
    PrepareWalk(&request, L"*.c", true);
    WalkRun run;
    // Below the start folder: named in walk order, the walk goes on.
    RunWalk(root, &request, 0, &run);
    EXPECT_EQ(Relative(run.searched, root), "a.c z\\c.c");
    EXPECT_EQ(run.report, Reported(root, "a.c z\\c.c"));
    EXPECT_EQ(run.unreadable, "Seekline: cannot read folder " + Ansi(root) + "\\held: Sharing violation.\r\n");
    EXPECT_EQ(run.outcome.foldersUnread, 1u);
    EXPECT_EQ(run.outcome.startError, 0u);
    // The start folder itself: nothing searched, the walk's failure, and no
    // second listing tried.
    RunWalk(root + L"\\held", &request, 0, &run);
    EXPECT_EQ(run.outcome.startError, (DWORD)ERROR_SHARING_VIOLATION);
    EXPECT_EQ(run.searches.size(), 1u);
    EXPECT_EQ(run.report + run.unreadable, "");
    CloseHandle(held);
    RunWalk(root + L"\\missing", &request, 0, &run);
    EXPECT_EQ(run.outcome.startError, (DWORD)ERROR_PATH_NOT_FOUND);
    RunWalk(root, &request, 0, &run);
    EXPECT_EQ(run.outcome.startError + run.outcome.foldersUnread, 0u);
    EXPECT_EQ(run.unreadable, "");
}

}  // namespace
