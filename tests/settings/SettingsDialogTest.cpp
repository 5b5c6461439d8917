// The settings dialog from its real template: the request it builds, its keys
// and its folder browser.
#include "tests/settings/SettingsDriver.h"
#include "resources/resource.h"
#include <gtest/gtest.h>

namespace {

class SettingsDialog : public testing::Test {
protected:
    void SetUp() override { DeleteSettingsKey(); }
};

TEST_F(SettingsDialog, SearchFillsTheRequestFromTheFields)
{
    OwnedRequest request = SearchWith([](HWND dialog) {
        SetText(dialog, IDC_SEARCH_TEXT, L"Foo");
        SetText(dialog, IDC_FILE_TYPES, L"*.c;*.h *.cpp");
        SetText(dialog, IDC_FOLDER, L"C:\\src\\Bar");
    });
    ASSERT_TRUE(request);
    EXPECT_EQ(Needle(request.get()), "FOO");
    EXPECT_EQ(request->needle[3], 0);
    EXPECT_STREQ(request->fileTypes, L"*.c;*.h *.cpp");
    EXPECT_STREQ(request->folder, L"C:\\src\\Bar");
}

TEST_F(SettingsDialog, EmptyFieldsStillGiveARequest)
{
    OwnedRequest request = SearchWith([](HWND) {});
    ASSERT_TRUE(request);
    EXPECT_EQ(request->needleLength, 0);
    EXPECT_EQ(request->needle[0], 0);
    EXPECT_STREQ(request->fileTypes, L"");
    EXPECT_STREQ(request->folder, L"");
}

struct LimitCase {
    int control;
    int limit;
    const wchar_t* told;
};

const LimitCase limitCases[] = {
    {IDC_SEARCH_TEXT, SEARCH_TEXT_CHARS, L"搜尋文字太長：最多 1021 個字元"},
    {IDC_FILE_TYPES, FILE_TYPES_CHARS, L"檔案類型太長：最多 259 個字元"},
    {IDC_FOLDER, FOLDER_CHARS, L"檔案目錄太長：最多 259 個字元"},
};

// Each box admits what the request keeps, and takes that much whole; a
// longer text set from outside (a history entry, a paste) is refused with a
// word, and the dialog stays open with the text as it is.
TEST_F(SettingsDialog, EntriesAreTakenWholeUpToTheirLimitsAndRefusedBeyond)
{
    OwnedRequest request = SearchWith([](HWND dialog) {
        for (const LimitCase& box : limitCases) {
            HWND edit = GetWindow(GetDlgItem(dialog, box.control), GW_CHILD);
            EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), box.limit) << box.control;
            SetText(dialog, box.control, std::wstring(box.limit, L'a'));
        }
    });
    ASSERT_TRUE(request);
    EXPECT_EQ(Needle(request.get()), std::string(SEARCH_TEXT_CHARS, 'A'));
    EXPECT_EQ(std::wstring(request->fileTypes), std::wstring(FILE_TYPES_CHARS, L'a'));
    EXPECT_EQ(std::wstring(request->folder), std::wstring(FOLDER_CHARS, L'a'));

    for (const LimitCase& box : limitCases) {
        DeleteSettingsKey();
        std::wstring longer(box.limit + 1, L'b');
        Refusal refusal = SearchRefused([&](HWND dialog) { SetText(dialog, box.control, longer); }, box.control);
        EXPECT_EQ(refusal.result, 0) << box.control;
        EXPECT_EQ(refusal.told, box.told);
        EXPECT_EQ(refusal.kept, longer);
        EXPECT_FALSE(SettingsKeyExists() && StoredText(L"Cas") != L"<missing>") << "saved on a refusal";
    }
}

// A text the code page cannot spell would be searched with stand-ins (two
// question marks for a Chinese word under 1252, and hits on them): without
// Unicode files the dialog refuses it, says why and where the way out is,
// and stays open with the text as typed; with them it searches Unicode files
// for the text.
TEST_F(SettingsDialog, RefusesATextTheCodePageCannotHoldUnlessUnicodeFilesAreSearched)
{
    std::wstring text = L"\u0100\u4E2D\u6587";
    Refusal refusal = SearchRefused([&](HWND dialog) { SetText(dialog, IDC_SEARCH_TEXT, text); }, IDC_SEARCH_TEXT);
    EXPECT_EQ(refusal.result, 0);
    WCHAR told[PROBLEM_CHARS];
    wsprintfW(told, L"搜尋文字含有字碼頁 %u 無法表示的字元：請勾選「Unicode 檔案」，在 UTF-8 和 UTF-16 檔案中搜尋它",
              GetACP());
    EXPECT_EQ(refusal.told, told);
    EXPECT_EQ(refusal.kept, text);
    EXPECT_EQ(StoredText(L"TXT1"), L"<missing>");

    OwnedRequest request = SearchWith([&](HWND dialog) {
        SetText(dialog, IDC_SEARCH_TEXT, text);
        SetCheck(dialog, IDC_UNICODE_FILES);
    });
    ASSERT_TRUE(request);
    EXPECT_EQ(request->needleLength, NO_ANSI_NEEDLE);
    EXPECT_EQ(std::wstring(request->text), text);
    EXPECT_EQ(StoredText(L"Uni"), L"Y");
}

// A regular expression that does not parse is refused as an overlong entry
// is: the message names the problem and where, the dialog stays open with the
// pattern, nothing is saved. The same pattern as literal text is searched.
TEST_F(SettingsDialog, RefusesARegularExpressionThatDoesNotParse)
{
    const std::wstring pattern = L"(foo|bar_init";
    Refusal refusal = SearchRefused(
        [&](HWND dialog) {
            SetText(dialog, IDC_SEARCH_TEXT, pattern);
            SetCheck(dialog, IDC_REGULAR_EXPRESSION);
        },
        IDC_SEARCH_TEXT);
    EXPECT_EQ(refusal.result, 0);
    EXPECT_EQ(refusal.told, L"規則運算式有誤：( 沒有對應的 )（第 1 個字元）");
    EXPECT_EQ(refusal.kept, pattern);
    EXPECT_EQ(StoredText(L"TXT1"), L"<missing>");
    EXPECT_EQ(StoredText(L"Reg"), L"<missing>");

    OwnedRequest request = SearchWith([&](HWND dialog) { SetText(dialog, IDC_SEARCH_TEXT, pattern); });
    ASSERT_TRUE(request);
    EXPECT_EQ(Needle(request.get()), "(FOO|BAR_INIT");
    EXPECT_FALSE(request->ansiProgram);
}

// The "&" variants are made of literal text: with a regular expression the
// box is kept as it is, and the pattern is searched once, as written.
TEST_F(SettingsDialog, RegularExpressionLeavesOutTheAmpersandVariants)
{
    OwnedRequest request = SearchWith([](HWND dialog) {
        SetText(dialog, IDC_SEARCH_TEXT, L"F(ile|ind)");
        SetCheck(dialog, IDC_STRINGS_ONLY);
        SetCheck(dialog, IDC_AMP_VARIANTS);
        SetCheck(dialog, IDC_REGULAR_EXPRESSION);
        SetCheck(dialog, IDC_UNICODE_FILES);
    });
    ASSERT_TRUE(request);
    EXPECT_EQ(request->options.regularExpression, 1);
    EXPECT_EQ(request->options.stringsOnly, 1);
    EXPECT_EQ(request->options.ampVariants, 0);
    EXPECT_TRUE(request->ansiProgram && request->unicodeProgram);
    EXPECT_EQ(request->needleLength, 0);
    EXPECT_EQ(StoredText(L"Amp"), L"Y");
    EXPECT_EQ(StoredText(L"Reg"), L"Y");
}

struct CheckBoxCase {
    int control;
    LONG SearchOptions::*field;
    const wchar_t* valueName;
};

const CheckBoxCase checkBoxCases[] = {
    {IDC_MATCH_CASE, &SearchOptions::matchCase, L"Cas"},
    {IDC_SKIP_COMMENTS, &SearchOptions::skipComments, L"Com"},
    {IDC_STRINGS_ONLY, &SearchOptions::stringsOnly, L"Str"},
    {IDC_AMP_VARIANTS, &SearchOptions::ampVariants, L"Amp"},
    {IDC_SUBFOLDERS, &SearchOptions::searchSubfolders, L"Sub"},
    {IDC_UNICODE_FILES, &SearchOptions::unicodeFiles, L"Uni"},
    {IDC_WHOLE_WORD, &SearchOptions::wholeWord, L"Wrd"},
    {IDC_REGULAR_EXPRESSION, &SearchOptions::regularExpression, L"Reg"},
    {IDC_SKIP_BINARY, &SearchOptions::skipBinary, L"Bin"},
    {IDC_SKIP_IGNORED, &SearchOptions::skipIgnored, L"Ign"},
};

void PrintTo(const CheckBoxCase& box, std::ostream* out)
{
    *out << "check box " << box.control;
}

class CheckBoxes : public SettingsDialog, public testing::WithParamInterface<CheckBoxCase> { };

TEST_P(CheckBoxes, EachBoxSetsItsOwnFieldAndFlag)
{
    const CheckBoxCase& ticked = GetParam();
    OwnedRequest request = SearchWith([&](HWND dialog) { SetCheck(dialog, ticked.control); });
    ASSERT_TRUE(request);
    for (const CheckBoxCase& box : checkBoxCases) {
        EXPECT_EQ(request->options.*box.field, box.control == ticked.control ? 1 : 0) << box.control;
        EXPECT_EQ(StoredText(box.valueName), box.control == ticked.control ? L"Y" : L"N") << box.control;
    }
}

INSTANTIATE_TEST_SUITE_P(SettingsDialog, CheckBoxes, testing::ValuesIn(checkBoxCases));

struct NeedleCase {
    const wchar_t* typed;
    bool matchCase;
    const char* needle;
};

const NeedleCase needleCases[] = {
    {L"foo", false, "FOO"},
    {L"foo", true, "foo"},
    {L"MiXed 1_z", false, "MIXED 1_Z"},
    {L"MiXed 1_z", true, "MiXed 1_z"},
    {L"", false, ""},
};

void PrintTo(const NeedleCase& needle, std::ostream* out)
{
    *out << (needle.matchCase ? "match case " : "any case ") << needle.needle;
}

class Needles : public SettingsDialog, public testing::WithParamInterface<NeedleCase> { };

TEST_P(Needles, UpperCasedExactlyWhenMatchCaseIsOff)
{
    const NeedleCase& typed = GetParam();
    OwnedRequest request = SearchWith([&](HWND dialog) {
        SetText(dialog, IDC_SEARCH_TEXT, typed.typed);
        if (typed.matchCase)
            SetCheck(dialog, IDC_MATCH_CASE);
    });
    ASSERT_TRUE(request);
    EXPECT_EQ(Needle(request.get()), typed.needle);
    EXPECT_EQ(request->needleLength, (int)strlen(typed.needle));
}

INSTANTIATE_TEST_SUITE_P(SettingsDialog, Needles, testing::ValuesIn(needleCases));

// In Big5, 搜 is B7 6A: its trail byte is a lower-case "j", which upper-casing
// must leave alone.
TEST_F(SettingsDialog, DoubleByteNeedleUnderCodePage950)
{
    if (GetACP() != 950)
        GTEST_SKIP() << "needs code page 950";
    for (bool matchCase : {false, true}) {
        OwnedRequest request = SearchWith([&](HWND dialog) {
            SetText(dialog, IDC_SEARCH_TEXT, L"\u641Cj");
            if (matchCase)
                SetCheck(dialog, IDC_MATCH_CASE);
        });
        ASSERT_TRUE(request);
        EXPECT_EQ(Needle(request.get()), matchCase ? "\xB7\x6Aj" : "\xB7\x6AJ");
        EXPECT_EQ(request->needleLength, 3);
        EXPECT_EQ(StoredText(L"TXT1"), L"\u641Cj");
    }
}

struct KeyCase {
    const char* title;
    int focus;
    WPARAM key;
    bool searches;
};

const KeyCase keyCases[] = {
    {"Enter in the search text", IDC_SEARCH_TEXT, VK_RETURN, true},
    {"Enter in the file types", IDC_FILE_TYPES, VK_RETURN, true},
    {"Enter in the folder", IDC_FOLDER, VK_RETURN, true},
    {"Enter on a check box", IDC_SUBFOLDERS, VK_RETURN, true},
    {"Esc in the search text", IDC_SEARCH_TEXT, VK_ESCAPE, false},
    {"Esc in the folder", IDC_FOLDER, VK_ESCAPE, false},
};

void PrintTo(const KeyCase& key, std::ostream* out)
{
    *out << key.title;
}

class Keys : public SettingsDialog, public testing::WithParamInterface<KeyCase> { };

// Enter presses the default button, Search; Esc cancels and stores nothing.
TEST_P(Keys, EnterSearchesAndEscCancels)
{
    const KeyCase& press = GetParam();
    StoreText(L"TXT1", L"old");
    StoreText(L"Cas", L"N");
    std::vector<std::wstring> before = StoredSnapshot();
    OwnedRequest request = TakeRequest(RunSettingsDialog([&](HWND dialog) {
        SetText(dialog, IDC_SEARCH_TEXT, L"typed");
        SetCheck(dialog, IDC_MATCH_CASE);
        PressKey(dialog, press.focus, press.key);
    }));
    if (press.searches) {
        ASSERT_TRUE(request);
        EXPECT_EQ(Needle(request.get()), "typed");
        EXPECT_EQ(StoredText(L"TXT1"), L"typed");
        EXPECT_EQ(StoredText(L"TXT2"), L"old");
        EXPECT_EQ(StoredText(L"Cas"), L"Y");
    } else {
        EXPECT_FALSE(request);
        EXPECT_EQ(StoredSnapshot(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(SettingsDialog, Keys, testing::ValuesIn(keyCases));

TEST_F(SettingsDialog, CloseBoxCancels)
{
    INT_PTR result = RunSettingsDialog([](HWND dialog) {
        SetText(dialog, IDC_SEARCH_TEXT, L"typed");
        SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(StoredText(L"TXT1"), L"<missing>");
}

// Only a click counts: another notification from the Search button does nothing.
TEST_F(SettingsDialog, OtherNotificationsAreIgnored)
{
    bool open = false;
    INT_PTR result = RunSettingsDialog([&](HWND dialog) {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_SEARCH, BN_DOUBLECLICKED), 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_DOUBLECLICKED), 0);
        Later([&open, dialog]() {
            open = IsWindowVisible(dialog) != FALSE;
            SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
    });
    EXPECT_TRUE(open);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(StoredText(L"Cas"), L"<missing>");
}

// The folder browser opens on the typed folder: accepting it at once gives
// that folder back; cancelling it leaves the text. Either way the folder box
// has the focus afterwards.
TEST_F(SettingsDialog, FolderBrowserOpensOnTheTypedFolder)
{
    WCHAR windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    for (int button : {IDOK, IDCANCEL}) {
        std::wstring picked;
        bool focused = false;
        RunSettingsDialog([&](HWND dialog) {
            SetText(dialog, IDC_FOLDER, windows);
            SetFocus(GetDlgItem(dialog, IDC_SEARCH_TEXT));
            Later([dialog, button]() {
                for (HWND browser = GetWindow(dialog, GW_HWNDFIRST); browser; browser = GetWindow(browser, GW_HWNDNEXT))
                    if (GetWindow(browser, GW_OWNER) == dialog)
                        PostMessageW(browser, WM_COMMAND, button, 0);
            });
            SendDlgItemMessageW(dialog, IDC_BROWSE, BM_CLICK, 0, 0);
            picked = GetText(dialog, IDC_FOLDER);
            focused = IsChild(GetDlgItem(dialog, IDC_FOLDER), GetFocus()) != FALSE;
            SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(lstrcmpiW(picked.c_str(), windows), 0) << "button " << button;
        EXPECT_TRUE(focused) << "button " << button;
    }
}

}  // namespace
