// The settings dialog's template: every control with its id, class, style,
// text and place, read from the resource and checked on the live dialog; and
// the English template in the satellite module, which must match it but for
// the texts.
#include "tests/settings/SettingsDriver.h"
#include "tests/support/DialogTemplate.h"
#include "tests/support/TestFiles.h"
#include "resources/resource.h"
#include <gtest/gtest.h>
#include <cwctype>
#include <set>

namespace {

const WORD CHINESE_HONG_KONG = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_HONGKONG);
const WORD ENGLISH_US = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD BUTTON = 0x80, STATIC = 0x82, COMBOBOX = 0x85;
const DWORD NO_ID = 0xFFFFFFFF;

const DWORD COMBO_STYLE = WS_CHILD | WS_VISIBLE | CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
const DWORD CHECK_STYLE = WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX;
const DWORD LABEL_STYLE = WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP;

const TemplateControl expectedControls[] = {
    {IDC_SEARCH_TEXT, COMBOBOX, COMBO_STYLE, 43, 6, 210, 214, L""},
    {IDC_FILE_TYPES, COMBOBOX, COMBO_STYLE, 43, 21, 210, 249, L""},
    {IDC_FOLDER, COMBOBOX, COMBO_STYLE, 43, 36, 210, 224, L""},
    {IDC_BROWSE, BUTTON, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP, 256, 36, 15, 12, L"..."},
    {IDC_MATCH_CASE, BUTTON, CHECK_STYLE | WS_TABSTOP, 11, 68, 75, 10, L"大小寫須相符(&C)"},
    {IDC_SKIP_COMMENTS, BUTTON, CHECK_STYLE, 11, 82, 56, 10, L"略過評語(&I)"},
    {IDC_SUBFOLDERS, BUTTON, CHECK_STYLE, 99, 68, 67, 10, L"搜尋子目錄(&D)"},
    {IDC_STRINGS_ONLY, BUTTON, CHECK_STYLE, 99, 82, 105, 10, L"只搜尋字串中的文字幕(&S)"},
    {IDC_AMP_VARIANTS, BUTTON, CHECK_STYLE, 109, 96, 59, 10, L"搜尋(&&)符號"},
    {IDC_UNICODE_FILES, BUTTON, CHECK_STYLE, 11, 96, 75, 10, L"Unicode 檔案(&U)"},
    {IDC_WHOLE_WORD, BUTTON, CHECK_STYLE, 11, 110, 84, 10, L"全字拼寫須相符(&W)"},
    {IDC_REGULAR_EXPRESSION, BUTTON, CHECK_STYLE, 99, 110, 84, 10, L"規則運算式(&R)"},
    {IDC_SKIP_BINARY, BUTTON, CHECK_STYLE, 11, 124, 84, 10, L"略過二進位檔(&B)"},
    {IDC_SKIP_IGNORED, BUTTON, CHECK_STYLE, 99, 124, 105, 10, L"略過 Git 忽略的檔案(&G)"},
    {IDC_LIST_RESULTS, BUTTON, CHECK_STYLE, 7, 145, 200, 10, L"在視窗中列出結果(&L)"},
    {IDC_SEARCH, BUTTON, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, 221, 98, 50, 14, L"搜尋(&F)"},
    {NO_ID, STATIC, LABEL_STYLE, 7, 8, 33, 8, L"搜尋文字"},
    {NO_ID, STATIC, LABEL_STYLE, 7, 23, 33, 8, L"檔案類型"},
    {NO_ID, STATIC, LABEL_STYLE, 7, 38, 33, 8, L"檔案目錄"},
    {NO_ID, BUTTON, WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 3, 54, 206, 86, L"搜尋選項"},
};

const DWORD DIALOG_STYLE =
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND | DS_SETFONT;

std::wstring Describe(const TemplateControl& control)
{
    return std::to_wstring((int)control.id) + L" " + control.text;
}

TEST(SettingsTemplate, ChineseTemplateHasEveryControlInOrder)
{
    DialogTemplate dialog;
    ASSERT_TRUE(ReadDialogTemplate(GetModuleHandleW(NULL), IDD_SETTINGS, CHINESE_HONG_KONG, &dialog));
    EXPECT_EQ(dialog.style, DIALOG_STYLE);
    EXPECT_EQ(dialog.cx, 278);
    EXPECT_EQ(dialog.cy, 159);
    EXPECT_EQ(dialog.caption, L"Seekline");
    EXPECT_EQ(dialog.font, L"MS Shell Dlg");
    EXPECT_EQ(dialog.pointSize, 9);
    ASSERT_EQ(dialog.controls.size(), std::size(expectedControls));
    for (size_t n = 0; n < dialog.controls.size(); n++) {
        const TemplateControl& got = dialog.controls[n];
        const TemplateControl& want = expectedControls[n];
        EXPECT_EQ(Describe(got), Describe(want)) << n;
        EXPECT_EQ(got.classAtom, want.classAtom) << n;
        EXPECT_EQ(got.style, want.style) << n;
        EXPECT_EQ((std::vector<short> {got.x, got.y, got.cx, got.cy}),
                  (std::vector<short> {want.x, want.y, want.cx, want.cy}))
            << n;
    }
}

// The controls as the dialog manager made them: styles, places in pixels,
// and the tab order.
TEST(SettingsTemplate, LiveDialogHasTheTemplatesControls)
{
    DeleteSettingsKey();
    std::vector<int> tabOrder;
    RunSettingsDialog([&](HWND dialog) {
        for (const TemplateControl& want : expectedControls) {
            if (want.id == NO_ID)
                continue;
            HWND control = GetDlgItem(dialog, want.id);
            if (!control) {
                ADD_FAILURE() << "no control " << want.id;
                continue;
            }
            // A combo box hands its scroll bar on to its list, which shows
            // it only when needed.
            DWORD style = want.classAtom == COMBOBOX ? want.style & ~WS_VSCROLL : want.style;
            EXPECT_EQ((DWORD)GetWindowLongW(control, GWL_STYLE) & style, style) << want.id;
            // Place and size are converted apart, as the dialog manager does.
            RECT place = {want.x, want.y, 0, 0};
            RECT size = {0, 0, want.cx, want.cy};
            MapDialogRect(dialog, &place);
            MapDialogRect(dialog, &size);
            RECT got;
            GetWindowRect(control, &got);
            MapWindowPoints(NULL, dialog, (POINT*)&got, 2);
            EXPECT_EQ(got.left, place.left) << want.id;
            EXPECT_EQ(got.top, place.top) << want.id;
            EXPECT_EQ(got.right - got.left, size.right) << want.id;
            // A drop-down combo box is as high as its edit field; the template
            // height is for the open list.
            if (want.classAtom != COMBOBOX) {
                EXPECT_EQ(got.bottom - got.top, size.bottom) << want.id;
            }
        }
        HWND first = GetDlgItem(dialog, IDC_SEARCH_TEXT);
        HWND control = first;
        do {
            tabOrder.push_back(GetDlgCtrlID(control));
            control = GetNextDlgTabItem(dialog, control, FALSE);
        } while (control && control != first && tabOrder.size() < 20);
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(tabOrder,
              (std::vector<int> {IDC_SEARCH_TEXT, IDC_FILE_TYPES, IDC_FOLDER, IDC_BROWSE, IDC_MATCH_CASE, IDC_SEARCH}));
}

// The English template comes from the satellite module the build makes.
HMODULE LoadEnglishModule()
{
    return LoadLibraryW(WindowsPath(SEEKLINE_SATELLITE_MODULE).c_str());
}

std::set<wchar_t> Accelerators(const std::wstring& text, int* count)
{
    std::set<wchar_t> found;
    for (size_t at = 0; at + 1 < text.size(); at++) {
        if (text[at] != L'&')
            continue;
        if (text[at + 1] != L'&') {
            found.insert(towupper(text[at + 1]));
            ++*count;
        }
        at++;
    }
    return found;
}

TEST(SettingsTemplate, EnglishTemplateMatchesButForTheTexts)
{
    HMODULE english = LoadEnglishModule();
    ASSERT_TRUE(english);
    DialogTemplate chinese, translated;
    ASSERT_TRUE(ReadDialogTemplate(GetModuleHandleW(NULL), IDD_SETTINGS, CHINESE_HONG_KONG, &chinese));
    ASSERT_TRUE(ReadDialogTemplate(english, IDD_SETTINGS, ENGLISH_US, &translated));
    EXPECT_EQ(translated.style, chinese.style);
    EXPECT_EQ(translated.cx, chinese.cx);
    EXPECT_EQ(translated.cy, chinese.cy);
    EXPECT_EQ(translated.caption, chinese.caption);
    EXPECT_EQ(translated.font, chinese.font);
    EXPECT_EQ(translated.pointSize, chinese.pointSize);
    ASSERT_EQ(translated.controls.size(), chinese.controls.size());
    std::set<wchar_t> accelerators;
    int acceleratorCount = 0;
    int untranslated = 0;
    for (size_t n = 0; n < chinese.controls.size(); n++) {
        const TemplateControl& got = translated.controls[n];
        const TemplateControl& want = chinese.controls[n];
        EXPECT_EQ(got.id, want.id) << n;
        EXPECT_EQ(got.classAtom, want.classAtom) << n;
        EXPECT_EQ(got.style, want.style) << n;
        EXPECT_EQ((std::vector<short> {got.x, got.y, got.cx, got.cy}),
                  (std::vector<short> {want.x, want.y, want.cx, want.cy}))
            << n;
        EXPECT_EQ(got.text.empty(), want.text.empty()) << n;
        if (!got.text.empty() && got.text == want.text)
            untranslated++;
        std::set<wchar_t> own = Accelerators(got.text, &acceleratorCount);
        accelerators.insert(own.begin(), own.end());
    }
    EXPECT_EQ(accelerators.size(), (size_t)acceleratorCount) << "an accelerator is used twice";
    EXPECT_EQ(untranslated, 1) << "only the browse button's ... stays as it is";
    FreeLibrary(english);
}

// A satellite module made before the Unicode files, whole word, regular
// expression, skip-binary or skip-ignored box existed: the option keeps its saved state, in the request
// and in the settings key, while the boxes the dialog has are saved as
// always.
struct NewerBox {
    int control;
    const wchar_t* valueName;
    LONG SearchOptions::*field;
};

const NewerBox newerBoxes[] = {
    {IDC_UNICODE_FILES, L"Uni", &SearchOptions::unicodeFiles},
    {IDC_WHOLE_WORD, L"Wrd", &SearchOptions::wholeWord},
    {IDC_REGULAR_EXPRESSION, L"Reg", &SearchOptions::regularExpression},
    {IDC_SKIP_BINARY, L"Bin", &SearchOptions::skipBinary},
    {IDC_SKIP_IGNORED, L"Ign", &SearchOptions::skipIgnored},
};

TEST(SettingsTemplate, ADialogWithoutANewerBoxKeepsItsSavedState)
{
    for (const NewerBox& box : newerBoxes) {
        std::vector<BYTE> older = TemplateWithout(GetModuleHandleW(NULL), IDD_SETTINGS, CHINESE_HONG_KONG, box.control);
        ASSERT_FALSE(older.empty());
        for (const wchar_t* saved : {L"Y", L"N", L"<missing>"}) {
            DeleteSettingsKey();
            if (lstrcmpW(saved, L"<missing>") != 0)
                StoreText(box.valueName, saved);
            bool hasBox = true;
            OwnedRequest request = TakeRequest(RunSettingsDialog(
                [&](HWND dialog) {
                    hasBox = GetDlgItem(dialog, box.control) != NULL;
                    SetText(dialog, IDC_SEARCH_TEXT, L"abc");
                    SetCheck(dialog, IDC_STRINGS_ONLY);
                    SendDlgItemMessageW(dialog, IDC_SEARCH, BM_CLICK, 0, 0);
                },
                NULL, &older));
            EXPECT_FALSE(hasBox);
            ASSERT_TRUE(request);
            EXPECT_EQ(request->options.*box.field, lstrcmpW(saved, L"Y") == 0 ? 1 : 0) << box.valueName << saved;
            EXPECT_EQ(StoredText(box.valueName), saved);
            EXPECT_EQ(StoredText(L"Str"), L"Y");
            EXPECT_EQ(request->options.stringsOnly, 1);
        }
    }
}

TEST(SettingsTemplate, EnglishDialogBuildsTheSameRequest)
{
    DeleteSettingsKey();
    HMODULE english = LoadEnglishModule();
    ASSERT_TRUE(english);
    std::wstring caption;
    OwnedRequest request = TakeRequest(RunSettingsDialog(
        [&](HWND dialog) {
            caption = GetText(dialog, IDC_MATCH_CASE);
            SetText(dialog, IDC_SEARCH_TEXT, L"abc");
            SetText(dialog, IDC_FOLDER, L"C:\\src");
            SetCheck(dialog, IDC_STRINGS_ONLY);
            PressKey(dialog, IDC_FOLDER, VK_RETURN);
        },
        english));
    FreeLibrary(english);
    EXPECT_EQ(caption, L"Match &case");
    ASSERT_TRUE(request);
    EXPECT_EQ(Needle(request.get()), "ABC");
    EXPECT_STREQ(request->folder, L"C:\\src");
    EXPECT_EQ(request->options.stringsOnly, 1);
    EXPECT_EQ(StoredText(L"DIR1"), L"C:\\src");
}

// The English dialog words its refusals from its own string table, as the
// command line words them, but for the switch.
TEST(SettingsTemplate, EnglishDialogWordsItsRefusalsInEnglish)
{
    HMODULE english = LoadEnglishModule();
    ASSERT_TRUE(english);
    WCHAR codePage[PROBLEM_CHARS], patternCodePage[PROBLEM_CHARS];
    wsprintfW(codePage,
              L"The search text has characters that code page %u cannot hold: tick Unicode files to search "
              L"UTF-8 and UTF-16 files for it",
              GetACP());
    wsprintfW(patternCodePage,
              L"The pattern has a character that code page %u cannot hold, \u0100 (U+0100) at "
              L"position 4: tick Unicode files to search UTF-8 and UTF-16 files for it",
              GetACP());
    struct Refused {
        const wchar_t* text;
        int box;
        std::wstring told;
    };
    const Refused cases[] = {
        {L"(foo|bar", IDC_REGULAR_EXPRESSION, L"Bad regular expression: unmatched ( at position 1"},
        {L"a\\q", IDC_REGULAR_EXPRESSION, L"Bad regular expression: unknown escape \\q at position 2"},
        // Neither code page 1252 nor 950 holds an A with a macron.
        {L"\u0100\u4E2D", 0, codePage},
        {L"a[b\u0100]", IDC_REGULAR_EXPRESSION, patternCodePage},
    };
    for (const Refused& refused : cases) {
        DeleteSettingsKey();
        Refusal refusal = SearchRefused(
            [&](HWND dialog) {
                SetText(dialog, IDC_SEARCH_TEXT, refused.text);
                if (refused.box)
                    SetCheck(dialog, refused.box);
            },
            IDC_SEARCH_TEXT, english);
        EXPECT_EQ(refusal.told, refused.told);
    }
    FreeLibrary(english);
}

}  // namespace
