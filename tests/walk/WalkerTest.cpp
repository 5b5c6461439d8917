// The folder walker on real folder trees: pattern lists, order, recursion and
// cancelling.
#include "tests/walk/WalkHarness.h"
#include "engine/StopFlag.h"
#include "engine/report/Notices.h"
#include "tests/support/Requests.h"
#include "tests/support/TestFiles.h"
#include "walk/CurrentFile.h"
#include "walk/IgnoreRules.h"
#include <gtest/gtest.h>

namespace {

struct WalkCase {
    const char* title;
    const char* tree;  // see MakeTree
    const wchar_t* fileTypes;
    const wchar_t* folder;  // appended to the test folder
    bool subfolders;
    const char* searched;  // files announced, in order
    const char* reported;  // files whose hits are reported, in order
    const char* searches;  // directory searches, in order; nullptr: not checked
};

const WalkCase walkCases[] = {
    {"patterns in list order", "a.c b.h c.txt", L"*.c;*.h", L"", false, "a.c b.h", "a.c b.h", "*.c *.h"},
    {"pattern order, not name order", "a.c b.h", L"*.h;*.c", L"", false, "b.h a.c", "b.h a.c", nullptr},
    {"space separates patterns", "a.c b.h c.rc", L"*.rc *.h *.c", L"", false, "c.rc b.h a.c", "c.rc b.h a.c", nullptr},
    {"a file matching two patterns is searched twice", "a.c", L"*.c *.c", L"", false, "a.c a.c", "a.c a.c", nullptr},
    {"leading separator", "a.c", L";*.c", L"", false, "a.c", "a.c", "*.c"},
    {"trailing separator", "a.c", L"*.c;", L"", false, "a.c", "a.c", "*.c"},
    {"two separators in a row", "a.c b.h", L"*.c; *.h", L"", false, "a.c b.h", "a.c b.h", "*.c *.h"},
    {"question mark", "a.c ab.c", L"?.c", L"", false, "a.c", "a.c", nullptr},
    {"files without hits write nothing", "miss.c b.h", L"*.c;*.h", L"", false, "miss.c b.h", "b.h", nullptr},
    {"empty list searches nothing but descends", "a.c sub\\ sub\\b.c sub\\deep\\", L"", L"", true, "", "",
     "*.* sub\\*.* sub\\deep\\*.*"},
    {"subfolders only when asked", "a.c sub\\ sub\\b.c", L"*.c", L"", false, "a.c", "a.c", "*.c"},
    {"subfolders after the files", "sub\\ sub\\b.c z.c", L"*.c", L"", true, "z.c sub\\b.c", "z.c sub\\b.c",
     "*.c *.* sub\\*.c sub\\*.*"},
    {"trailing backslash on the folder", "a.c sub\\ sub\\b.c", L"*.c", L"\\", true, "a.c sub\\b.c", "a.c sub\\b.c",
     "*.c *.* sub\\*.c sub\\*.*"},
    {"folder named like a pattern is entered, not searched", "a.c x.c\\ x.c\\y.c", L"*.c", L"", true, "a.c x.c\\y.c",
     "a.c x.c\\y.c", nullptr},
    {"folder named like a pattern, no subfolders", "a.c x.c\\ x.c\\y.c", L"*.c", L"", false, "a.c", "a.c", nullptr},
    {"directories passed over in the file pass", "noext sub\\ sub\\f", L"*", L"", true, "noext sub\\f", "noext sub\\f",
     nullptr},
    {"folder that does not exist: nothing more is tried", "a.c", L"*.c", L"\\missing", true, "", "", "missing\\*.c"},
    {"exclusions alone stand for *.* and them", "a.c b.h c.txt", L"!*.h", L"", false, "a.c c.txt", "a.c c.txt", "*.*"},
    {"an exclusion passes over files at every level", "a.c a.min.c sub\\ sub\\b.c sub\\b.MIN.c", L"*.c;!*.min.c", L"",
     true, "a.c sub\\b.c", "a.c sub\\b.c", nullptr},
    {"a folder's exclusion is not entered", "a.c keep\\ keep\\c.c skip\\ skip\\b.c", L"*.c !SKIP\\", L"", true,
     "a.c keep\\c.c", "a.c keep\\c.c", "*.c *.* keep\\*.c keep\\*.*"},
    {"a folder's exclusion with a slash", "keep\\ keep\\c.c skip\\ skip\\b.c", L"!skip/", L"", true, "keep\\c.c",
     "keep\\c.c", nullptr},
    {"a folder's exclusion passes over no file", "x\\ x\\node node\\ node\\y", L"*;!node\\", L"", true, "x\\node",
     "x\\node", nullptr},
    {"a file's exclusion passes over no folder", "lib\\ lib\\a.c", L"*.c;!lib", L"", true, "lib\\a.c", "lib\\a.c",
     nullptr},
    {"a doubled ! finds names that start with !", "!x !!y a.c", L"!!x;!!!*", L"", false, "!x !!y", "!x !!y", "!x !!*"},
};

void PrintTo(const WalkCase& walk, std::ostream* out)
{
    *out << walk.title;
}

class WalkCases : public testing::TestWithParam<WalkCase> { };

TEST_P(WalkCases, SearchesTheFilesInOrder)
{
    const WalkCase& walk = GetParam();
    std::wstring root = MakeTestFolder();
    MakeTree(root, walk.tree);
    SearchRequest request;
    PrepareWalk(&request, walk.fileTypes, walk.subfolders);
    WalkRun run;
    RunWalk(root + walk.folder, &request, 0, &run);
    EXPECT_EQ(Relative(run.searched, root), walk.searched);
    EXPECT_EQ(run.report, Reported(root, walk.reported));
    if (walk.searches) {
        EXPECT_EQ(Relative(run.searches, root), walk.searches);
    }
    RemoveTree(root);
}

INSTANTIATE_TEST_SUITE_P(Walker, WalkCases, testing::ValuesIn(walkCases));

class WalkerTest : public testing::Test {
protected:
    void SetUp() override { root = MakeTestFolder(); }
    void TearDown() override
    {
        ClearStop();
        RemoveTree(root);
    }
    std::wstring root;
};

// The files one folder's pattern finds, in the platform's order, as paths
// relative to the test folder.
std::string Files(const std::wstring& root, const std::wstring& folder, const wchar_t* pattern)
{
    std::vector<std::wstring> paths;
    std::wstring base = folder.empty() ? root : root + L"\\" + folder;
    for (const std::wstring& name : Listing(base, pattern))
        if (name.back() != L'\\')
            paths.push_back(base + L"\\" + name);
    return Relative(paths, root);
}

std::string Join(const std::string& list, const std::string& more)
{
    return list.empty() ? more : more.empty() ? list : list + " " + more;
}

TEST_F(WalkerTest, DescendsDepthFirstInTheOrderThePlatformLists)
{
    MakeTree(root, "m.c a\\ a\\a.c a\\deep\\ a\\deep\\d.c z.c b\\ b\\b.c b\\c.c k.c");
    std::string expected = Files(root, L"", L"*.c");
    for (const std::wstring& name : Listing(root, L"*.*")) {
        if (name == L"a\\")
            expected = Join(expected, Join(Files(root, L"a", L"*.c"), "a\\deep\\d.c"));
        else if (name == L"b\\")
            expected = Join(expected, Files(root, L"b", L"*.c"));
    }
    WalkRun run;
    ExpectWalkOfCFiles(root, expected, &run);
}

// The attributes the platform lists for path.
DWORD ListedAttributes(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return found.dwFileAttributes;
}

TEST_F(WalkerTest, SearchesHiddenAndSystemFiles)
{
    MakeTree(root, ".dot.c hidden.c system.c hid\\ hid\\x.c");
    SetFileAttributesW((root + L"\\hidden.c").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((root + L"\\system.c").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW((root + L"\\hid").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    ASSERT_NE(ListedAttributes(root + L"\\.dot.c") & FILE_ATTRIBUTE_HIDDEN, 0u);
    ASSERT_NE(ListedAttributes(root + L"\\hidden.c") & FILE_ATTRIBUTE_HIDDEN, 0u);
    ASSERT_NE(ListedAttributes(root + L"\\system.c") & FILE_ATTRIBUTE_SYSTEM, 0u);
    ASSERT_NE(ListedAttributes(root + L"\\hid") & FILE_ATTRIBUTE_HIDDEN, 0u);
    std::string expected = Join(Files(root, L"", L"*.c"), "hid\\x.c");
    WalkRun run;
    ExpectWalkOfCFiles(root, expected, &run);
}

// The CMD_SHOW_CURRENT_FILE commands waiting for window.
int ShowCommands(HWND window)
{
    int commands = 0;
    MSG message;
    while (PeekMessageW(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE))
        commands += message.wParam == CMD_SHOW_CURRENT_FILE;
    return commands;
}

TEST_F(WalkerTest, NamesTheFirstFileOfEverySearchAtOnce)
{
    // Two searches one right after the other, on one thread and on three: the
    // second's first file is named at once, however recently the first
    // search named its last.
    MakeTree(root, "a.c");
    HWND window = CreateWindowExW(0, L"STATIC", NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    ASSERT_TRUE(window != NULL);
    for (LONG threads : {1, 3}) {
        SearchRequest request;
        PrepareWalk(&request, L"*.c", false);
        request.scanThreads = threads;
        ShowCurrentFilesIn(window);
        for (int search = 1; search <= 2; search++) {
            WalkRun run;
            RunWalk(root, &request, 0, &run);
            EXPECT_GE(ShowCommands(window), 1) << threads << " threads, search " << search;
        }
    }
    ShowCurrentFilesIn(NULL);
    DestroyWindow(window);
}

// Cancel pressed while the n-th file is announced: that file ends after its
// first hit, no further file is searched and no further folder entered.
struct StopCase {
    size_t stopAfter;
    const char* searched;  // "%" stands for the subfolder entered first
    const char* searches;
};

const StopCase stopCases[] = {
    {1, "a.c", "*.c"},
    {2, "a.c b.h", "*.c *.h"},
    {3, "a.c b.h %\\f.c", "*.c *.h *.* %\\*.c"},
    {4, "a.c b.h %\\f.c %\\f.h", "*.c *.h *.* %\\*.c %\\*.h"},
    {5, "a.c b.h %\\f.c %\\f.h %\\t\\f.c", "*.c *.h *.* %\\*.c %\\*.h %\\*.* %\\t\\*.c"},
};

std::string Expand(const char* text, const std::string& first)
{
    std::string expanded = text;
    for (size_t at = expanded.find('%'); at != std::string::npos; at = expanded.find('%'))
        expanded.replace(at, 1, first);
    return expanded;
}

TEST_F(WalkerTest, CancelEndsTheWalkBetweenFilesPatternsAndFolders)
{
    MakeTree(root,
             "a.c b.h s1\\ s1\\f.c s1\\f.h s1\\t\\ s1\\t\\f.c "
             "s2\\ s2\\f.c s2\\f.h s2\\t\\ s2\\t\\f.c");
    std::string first;
    for (const std::wstring& name : Listing(root, L"*.*"))
        if (first.empty() && name.back() == L'\\')
            first = Ansi(name.substr(0, name.size() - 1));
    for (const StopCase& stop : stopCases) {
        SearchRequest request;
        PrepareWalk(&request, L"*.c;*.h", true);
        WalkRun run;
        SCOPED_TRACE(stop.stopAfter);
        RunWalk(root, &request, stop.stopAfter, &run);
        std::string searched = Expand(stop.searched, first);
        EXPECT_EQ(Relative(run.searched, root), searched);
        EXPECT_EQ(Relative(run.searches, root), Expand(stop.searches, first));
        size_t split = searched.rfind(' ');
        std::string finished = split == std::string::npos ? "" : searched.substr(0, split);
        std::string last = searched.substr(split == std::string::npos ? 0 : split + 1);
        EXPECT_EQ(run.report, Reported(root, finished) + Reported(root, last, 1));
        ClearStop();
    }
}

}  // namespace

namespace {

class WalkerFilters : public testing::Test {
protected:
    void SetUp() override { root = MakeTestFolder(); }
    void TearDown() override { RemoveTree(root); }
    std::wstring root;
};

TEST_F(WalkerFilters, CountsTheBinaryFilesItPassesOver)
{
    WriteTestFile(root + L"\\a.c", std::string("hit\0", 4));
    WriteTestFile(root + L"\\b.c", "hit\nhit\n");
    WriteTestFile(root + L"\\c.c", std::string("\0hit", 4));
    for (LONG threads : {1, 3}) {
        SearchRequest request;
        FillRequest(&request, L"hit", SKIP_BINARY, L"*.c");
        request.scanThreads = threads;
        WalkRun run;
        RunWalk(root, &request, 0, &run);
        EXPECT_EQ(run.report, Reported(root, "b.c"));
        EXPECT_EQ(run.outcome.binarySkipped, 2u) << threads;
        EXPECT_EQ(run.unreadable, "");
    }
}

// A rules file that cannot be read, or does not fit in the room for rules,
// ignores nothing and is named; outside every repository no rule counts;
// .git is never entered.
TEST_F(WalkerFilters, NamesTheRulesFilesItCannotRead)
{
    MakeTree(root,
             "plain\\ plain\\a.c repo\\ repo\\.git\\ repo\\.git\\x.c repo\\a.c repo\\held\\ "
             "repo\\held\\b.c repo\\big\\ repo\\big\\c.c");
    WriteTestFile(root + L"\\plain\\.gitignore", "*.c\n");
    WriteTestFile(root + L"\\repo\\held\\.gitignore", "*.c\n");
    WriteTestFile(root + L"\\repo\\big\\.gitignore", std::string(IGNORE_RULE_BYTES, '\n') + "*.c\n");
    HANDLE held =
        CreateFileW((root + L"\\repo\\held\\.gitignore").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SearchRequest request;
    FillRequest(&request, L"hit", SUBFOLDERS | SKIP_IGNORED, L"*.c");
    request.scanThreads = 1;
    WalkRun run;
    RunWalk(root, &request, 0, &run);
    CloseHandle(held);
    EXPECT_EQ(Relative(run.searched, root), "plain\\a.c repo\\a.c repo\\big\\c.c repo\\held\\b.c");
    WCHAR memory[512], sharing[512];
    SystemReason(ERROR_NOT_ENOUGH_MEMORY, memory, 512);
    SystemReason(ERROR_SHARING_VIOLATION, sharing, 512);
    EXPECT_EQ(run.unreadable, "Seekline: cannot read " + Ansi(root) + "\\repo\\big\\.gitignore: " + Ansi(memory) +
                                  "\r\nSeekline: cannot read " + Ansi(root) +
                                  "\\repo\\held\\.gitignore: " + Ansi(sharing) + "\r\n");
}

}  // namespace
