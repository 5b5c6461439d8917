// The history lists and check boxes in the registry of the test's own Wine
// prefix, loaded into and saved from the real dialog.
#include "tests/settings/SettingsDriver.h"
#include "resources/resource.h"
#include <gtest/gtest.h>

namespace {

class SettingsStore : public testing::Test {
protected:
    void SetUp() override { DeleteSettingsKey(); }
};

// Opens the dialog, takes its loaded state and cancels.
DialogState LoadedState()
{
    DialogState state = {};
    RunSettingsDialog([&](HWND dialog) {
        state = ReadDialogState(dialog);
        PressKey(dialog, IDC_SEARCH_TEXT, VK_ESCAPE);
    });
    return state;
}

std::wstring Name(const wchar_t* prefix, int n)
{
    return prefix + std::to_wstring(n);
}

void StoreList(const wchar_t* prefix, const std::vector<std::wstring>& texts)
{
    for (size_t n = 0; n < texts.size(); n++)
        StoreText(Name(prefix, (int)n + 1), texts[n]);
}

// TXT1, TXT2, ... up to the first missing one, and whether any follow.
std::vector<std::wstring> StoredList(const wchar_t* prefix)
{
    std::vector<std::wstring> texts;
    for (int n = 1; n <= 30; n++) {
        std::wstring text = StoredText(Name(prefix, n));
        if (text == L"<missing>") {
            for (int rest = n + 1; rest <= 30; rest++)
                EXPECT_EQ(StoredText(Name(prefix, rest)), L"<missing>") << prefix << rest;
            break;
        }
        texts.push_back(text);
    }
    return texts;
}

std::vector<std::wstring> Numbered(const wchar_t* prefix, int first, int last)
{
    std::vector<std::wstring> texts;
    for (int n = first; n <= last; n++)
        texts.push_back(Name(prefix, n));
    return texts;
}

typedef std::vector<std::wstring> Texts;

TEST_F(SettingsStore, FirstRunCreatesTheKeyAndStartsEmpty)
{
    DialogState state = LoadedState();
    EXPECT_TRUE(SettingsKeyExists());
    EXPECT_TRUE(StoredSnapshot().empty());
    for (int list = 0; list < 3; list++) {
        EXPECT_TRUE(state.items[list].empty());
        EXPECT_EQ(state.texts[list], L"");
    }
    EXPECT_EQ(state.checks.size(), (size_t)OptionFieldCount);
    // Unchecked, but the results window's box, which shows a new user's first search.
    for (int n = 0; n < OptionFieldCount; n++)
        EXPECT_EQ(state.checks[n], OptionFields[n].control == IDC_LIST_RESULTS) << OptionFields[n].valueName;
}

TEST_F(SettingsStore, FirstSearchWritesTheEntriesAndAllNineFlags)
{
    OwnedRequest request = SearchWith([](HWND dialog) {
        SetText(dialog, IDC_SEARCH_TEXT, L"needle");
        SetText(dialog, IDC_FOLDER, L"C:\\src");
        SetCheck(dialog, IDC_SUBFOLDERS);
    });
    ASSERT_TRUE(request);
    EXPECT_EQ(StoredList(L"TXT"), Texts {L"needle"});
    EXPECT_EQ(StoredList(L"EXT"), Texts {});
    EXPECT_EQ(StoredList(L"DIR"), Texts {L"C:\\src"});
    StoredValue text = ReadStored(L"TXT1");
    EXPECT_EQ(text.type, (DWORD)REG_SZ);
    EXPECT_EQ(text.bytes.size(), 14u);
    const wchar_t* flags[11][2] = {{L"Cas", L"N"}, {L"Com", L"N"}, {L"Reg", L"N"}, {L"Str", L"N"},
                                   {L"Amp", L"N"}, {L"Sub", L"Y"}, {L"Uni", L"N"}, {L"Wrd", L"N"},
                                   {L"Bin", L"N"}, {L"Ign", L"N"}, {L"Lst", L"Y"}};
    for (auto& flag : flags) {
        StoredValue value = ReadStored(flag[0]);
        EXPECT_EQ(value.type, (DWORD)REG_SZ) << flag[0];
        EXPECT_EQ(value.bytes.size(), 4u) << flag[0];
        EXPECT_EQ(StoredText(flag[0]), flag[1]) << flag[0];
    }
    EXPECT_EQ(StoredSnapshot().size(), 13u);
}

TEST_F(SettingsStore, LoadFillsTheListsMostRecentFirst)
{
    StoreList(L"TXT", {L"one", L"two", L"three"});
    StoreList(L"EXT", {L"*.c"});
    StoreList(L"DIR", Numbered(L"D", 1, 25));
    DialogState state = LoadedState();
    EXPECT_EQ(state.items[0], (Texts {L"one", L"two", L"three"}));
    EXPECT_EQ(state.texts[0], L"one");
    EXPECT_EQ(state.items[1], Texts {L"*.c"});
    EXPECT_EQ(state.texts[1], L"*.c");
    // No upper bound when loading.
    EXPECT_EQ(state.items[2], Numbered(L"D", 1, 25));
}

struct HistoryCase {
    const char* title;
    Texts stored;
    const wchar_t* typed;  // nullptr: leave the loaded text
    Texts saved;
};

const HistoryCase historyCases[] = {
    {"new text goes on top", {L"a", L"b"}, L"c", {L"c", L"a", L"b"}},
    {"loaded text moves nothing", {L"a", L"b"}, nullptr, {L"a", L"b"}},
    {"re-search in another letter case", {L"foo", L"Bar", L"baz"}, L"BAR", {L"BAR", L"foo", L"baz"}},
    {"twenty entries roll", Numbered(L"e", 1, 20), L"new",
     [] {
         Texts saved = Numbered(L"e", 1, 19);
         saved.insert(saved.begin(), L"new");
         return saved;
     }()},
    {"re-search among twenty keeps the oldest", Numbered(L"e", 1, 20), L"E5",
     [] {
         Texts saved = Numbered(L"e", 1, 20);
         saved.erase(saved.begin() + 4);
         saved.insert(saved.begin(), L"E5");
         return saved;
     }()},
    {"empty text leaves the stored texts alone", {L"a", L"b"}, L"", {L"a", L"b"}},
};

void PrintTo(const HistoryCase& history, std::ostream* out)
{
    *out << history.title;
}

class History : public SettingsStore, public testing::WithParamInterface<HistoryCase> { };

TEST_P(History, SaveMovesTheTextToTheTop)
{
    const HistoryCase& history = GetParam();
    StoreList(L"TXT", history.stored);
    StoreList(L"EXT", {L"*.h"});
    OwnedRequest request = SearchWith([&](HWND dialog) {
        if (history.typed)
            SetText(dialog, IDC_SEARCH_TEXT, history.typed);
    });
    ASSERT_TRUE(request);
    EXPECT_EQ(StoredList(L"TXT"), history.saved);
    EXPECT_EQ(StoredList(L"EXT"), Texts {L"*.h"});
}

INSTANTIATE_TEST_SUITE_P(SettingsStore, History, testing::ValuesIn(historyCases));

TEST_F(SettingsStore, GapEndsTheListAndTheNextSaveClosesIt)
{
    StoreText(L"TXT1", L"one");
    StoreText(L"TXT2", L"two");
    StoreText(L"TXT4", L"four");
    EXPECT_EQ(LoadedState().items[0], (Texts {L"one", L"two"}));
    OwnedRequest request = SearchWith([](HWND dialog) { SetText(dialog, IDC_SEARCH_TEXT, L"new"); });
    EXPECT_EQ(StoredList(L"TXT"), (Texts {L"new", L"one", L"two"}));
}

struct FlagCase {
    const char* title;
    DWORD type;
    std::string bytes;  // as stored; empty with type 0: missing
    LONG checked;       // -1: as without a value (OptionField.unsaved)
};

const FlagCase flagCases[] = {
    {"Y", REG_SZ, std::string("Y\0\0", 4), 1},
    {"N", REG_SZ, std::string("N\0\0", 4), 0},
    {"lower-case y", REG_SZ, std::string("y\0\0", 4), 0},
    {"Yes: only the first unit counts", REG_SZ, std::string("Y\0e\0s\0\0", 8), 1},
    {"missing", 0, "", -1},
    {"of another type", REG_BINARY, std::string("Y\0", 2), 1},
    {"half a unit", REG_BINARY, "Y", 0},
    {"empty", REG_SZ, "", 0},
    {"eight units, no terminator", REG_BINARY, std::string("Y\0Y\0Y\0Y\0Y\0Y\0Y\0Y\0", 16), 1},
    {"too long to read", REG_SZ, std::string("Y\0Y\0Y\0Y\0Y\0Y\0Y\0Y\0\0", 18), -1},
};

void PrintTo(const FlagCase& flag, std::ostream* out)
{
    *out << flag.title;
}

class Flags : public SettingsStore, public testing::WithParamInterface<FlagCase> { };

TEST_P(Flags, LoadChecksTheBoxOnAnUpperCaseY)
{
    const FlagCase& flag = GetParam();
    for (int n = 0; n < OptionFieldCount; n++)
        if (flag.type != 0)
            StoreValue(OptionFields[n].valueName, flag.type, flag.bytes.data(), (DWORD)flag.bytes.size());
    DialogState state = LoadedState();
    for (int box = 0; box < OptionFieldCount; box++)
        EXPECT_EQ(state.checks[box], flag.checked < 0 ? OptionFields[box].unsaved : flag.checked)
            << "box " << OptionFields[box].control;
}

INSTANTIATE_TEST_SUITE_P(SettingsStore, Flags, testing::ValuesIn(flagCases));

// A value that fills the 2048-byte read without a terminator is cut to 1023
// characters, which a save stores and the next load reads whole again; a
// longer value ends the list.
TEST_F(SettingsStore, UnterminatedValueIsCutWithinItsBuffer)
{
    std::wstring full(1024, L'x');
    std::wstring cut(1023, L'x');
    StoreValue(L"TXT1", REG_BINARY, full.data(), 2048);
    StoreText(L"TXT2", L"after");
    StoreValue(L"TXT3", REG_SZ, (full + L"y").c_str(), 2050);
    StoreText(L"TXT4", L"unread");
    EXPECT_EQ(LoadedState().items[0], (Texts {cut, L"after"}));

    OwnedRequest request = SearchWith([](HWND dialog) { SetText(dialog, IDC_SEARCH_TEXT, L"new"); });
    EXPECT_EQ(StoredList(L"TXT"), (Texts {L"new", cut, L"after"}));
    EXPECT_EQ(ReadStored(L"TXT2").bytes.size(), 2048u);
    EXPECT_EQ(LoadedState().items[0], (Texts {L"new", cut, L"after"}));
}

// The longest texts the boxes admit become the list items and the stored
// values whole; a 1023-character item is saved whole.
TEST_F(SettingsStore, LongestTextsFitTheListAndTheRegistry)
{
    std::wstring typed(SEARCH_TEXT_CHARS, L'q'), patterns(FILE_TYPES_CHARS, L'p');
    StoreText(L"TXT1", std::wstring(1023, L'z'));
    OwnedRequest request = SearchWith([&](HWND dialog) {
        SetText(dialog, IDC_SEARCH_TEXT, typed);
        SetText(dialog, IDC_FILE_TYPES, patterns);
    });
    EXPECT_EQ(StoredList(L"TXT"), (Texts {typed, std::wstring(1023, L'z')}));
    EXPECT_EQ(StoredList(L"EXT"), Texts {patterns});
}

TEST_F(SettingsStore, EscSavesNothing)
{
    StoreList(L"TXT", {L"a", L"b"});
    StoreText(L"Sub", L"Y");
    std::vector<std::wstring> before = StoredSnapshot();
    INT_PTR result = RunSettingsDialog([](HWND dialog) {
        SetText(dialog, IDC_SEARCH_TEXT, L"c");
        SetText(dialog, IDC_FOLDER, L"C:\\x");
        SendDlgItemMessageW(dialog, IDC_SUBFOLDERS, BM_SETCHECK, BST_UNCHECKED, 0);
        PressKey(dialog, IDC_FILE_TYPES, VK_ESCAPE);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(StoredSnapshot(), before);
}

}  // namespace
