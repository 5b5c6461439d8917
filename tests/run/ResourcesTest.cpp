// The resources of the built Seekline.exe and its English satellite, read as
// data files, and the choice of the module for the settings dialog.
#include "run/SearchRun.h"
#include "resources/resource.h"
#include "tests/support/DialogTemplate.h"
#include "tests/support/TestFiles.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <algorithm>
#include <string>
#include <vector>

namespace {

const WORD HONG_KONG = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_HONGKONG);

const std::wstring ProgramPath = WindowsPath(SEEKLINE_EXE);
const std::wstring SatellitePath = WindowsPath(SEEKLINE_SATELLITE_MODULE);

std::string ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language)
{
    HRSRC found = FindResourceExW(module, type, name, language);
    if (!found)
        return std::string();
    const char* data = (const char*)LockResource(LoadResource(module, found));
    return std::string(data, SizeofResource(module, found));
}

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        program = LoadLibraryExW(ProgramPath.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(program, (HMODULE)NULL) << "cannot open Seekline.exe";
    }
    void TearDown() override
    {
        if (program)
            FreeLibrary(program);
    }
    HMODULE program = NULL;
};

TEST(ProgramImports, OnlyTheSystemsOwnLibraries)
{
    // The program is one file: a library of the compiler's (libgcc_s,
    // libstdc++) would be missing beside it on the user's machine.
    const char* system[] = {"advapi32.dll", "comctl32.dll", "comdlg32.dll", "kernel32.dll", "msvcrt.dll",
                            "ole32.dll",    "shell32.dll",  "shlwapi.dll",  "user32.dll"};
    HMODULE image = LoadLibraryExW(ProgramPath.c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(image, (HMODULE)NULL);
    const BYTE* base = (const BYTE*)image;
    const IMAGE_NT_HEADERS* headers = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (const IMAGE_IMPORT_DESCRIPTOR* library = (const IMAGE_IMPORT_DESCRIPTOR*)(base + imports); library->Name;
         library++) {
        std::string name = (const char*)(base + library->Name);
        CharLowerBuffA(&name[0], (DWORD)name.size());
        bool known = false;
        for (const char* dll : system)
            known = known || name == dll;
        EXPECT_TRUE(known) << name;
    }
    FreeLibrary(image);
}

TEST_F(ProgramResources, ManifestAsksForCommonControls6DpiAndLongPathAwarenessAndTheCallersRights)
{
    std::string manifest =
        ResourceBytes(program, RT_MANIFEST, MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    const char* required[] = {
        "<assemblyIdentity type=\"win32\" name=\"Ombrel\" version=\"1.0.0.0\" processorArchitecture=\"*\"/>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        ">true</dpiAware>",
        ">true</longPathAware>",
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10
    };
    for (const char* piece : required)
        EXPECT_NE(manifest.find(piece), std::string::npos) << piece;
}

TEST_F(ProgramResources, ManifestGivesTheProgramTheCommonControls6Assembly)
{
    // The activation context the system builds from the program's manifest:
    // the program's own assembly and the common controls it depends on.
    ACTCTXW context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = ProgramPath.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE activation = CreateActCtxW(&context);
    ASSERT_NE(activation, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> identities;
    for (DWORD index = 1; index <= 2; index++) {
        BYTE buffer[4096];
        SIZE_T needed = 0;
        ASSERT_TRUE(QueryActCtxW(0, activation, &index, AssemblyDetailedInformationInActivationContext, buffer,
                                 sizeof buffer, &needed));
        const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION* assembly =
            (const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*)buffer;
        identities.push_back(assembly->lpAssemblyEncodedAssemblyIdentity);
    }
    ReleaseActCtx(activation);
    EXPECT_NE(identities[0].find(L"Ombrel"), std::wstring::npos) << identities[0];
    EXPECT_NE(identities[1].find(L"Microsoft.Windows.Common-Controls"), std::wstring::npos) << identities[1];
    EXPECT_NE(identities[1].find(L"version=\"6.0."), std::wstring::npos) << identities[1];
}

TEST_F(ProgramResources, VersionBlockIsVersion1InChineseHongKongNamedLikeTheProgram)
{
    EXPECT_FALSE(ResourceBytes(program, RT_VERSION, MAKEINTRESOURCEW(1), HONG_KONG).empty());
    DWORD size = GetFileVersionInfoSizeW(ProgramPath.c_str(), NULL);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(ProgramPath.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed;
    UINT length;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", (void**)&fixed, &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    WORD* translation;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", (void**)&translation, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0C04);
    EXPECT_EQ(translation[1], 1200);
    WCHAR* description;
    ASSERT_TRUE(
        VerQueryValueW(block.data(), L"\\StringFileInfo\\0C0404B0\\FileDescription", (void**)&description, &length));
    EXPECT_STREQ(description, L"Seekline");
    DialogTemplate settings;
    ASSERT_TRUE(ReadDialogTemplate(program, IDD_SETTINGS, HONG_KONG, &settings));
    EXPECT_EQ(settings.caption, description);
}

TEST_F(ProgramResources, IconHas32And16PixelImagesIn16Colours)
{
    std::string group =
        ResourceBytes(program, RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APP), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_GE(group.size(), 6u);
    const BYTE* header = (const BYTE*)group.data();
    WORD count = *(const WORD*)(header + 4);
    ASSERT_EQ(count, 2);
    ASSERT_EQ(group.size(), 6u + 14u * count);
    const BYTE sizes[] = {32, 16};
    for (WORD i = 0; i < count; i++) {
        const BYTE* entry = header + 6 + 14 * i;  // GRPICONDIRENTRY
        EXPECT_EQ(entry[0], sizes[i]);
        EXPECT_EQ(entry[1], sizes[i]);
        EXPECT_EQ(entry[2], 16);                  // colours
        EXPECT_EQ(*(const WORD*)(entry + 6), 4);  // bits per pixel
        WORD id = *(const WORD*)(entry + 12);
        std::string image =
            ResourceBytes(program, RT_ICON, MAKEINTRESOURCEW(id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        const BITMAPINFOHEADER* bitmap = (const BITMAPINFOHEADER*)image.data();
        EXPECT_EQ(bitmap->biWidth, sizes[i]);
        EXPECT_EQ(bitmap->biHeight, 2 * sizes[i]);  // colours and mask
        EXPECT_EQ(bitmap->biBitCount, 4);
    }
}

const DWORD DIALOG_STYLE =
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND | DS_SETFONT;

TEST_F(ProgramResources, ProgressTemplateIsTheSmallDialogWithCancelAndTheFileLine)
{
    DialogTemplate progress;
    ASSERT_TRUE(ReadDialogTemplate(program, IDD_PROGRESS, HONG_KONG, &progress));
    EXPECT_EQ(progress.caption, L"搜尋中");
    EXPECT_EQ(progress.style, DIALOG_STYLE);
    EXPECT_EQ(progress.cx, 168);
    EXPECT_EQ(progress.cy, 50);
    EXPECT_EQ(progress.pointSize, 9);
    EXPECT_EQ(progress.font, L"MS Shell Dlg");
    ASSERT_EQ(progress.controls.size(), 2u);
    const TemplateControl& stop = progress.controls[0];
    EXPECT_EQ(stop.id, (DWORD)IDC_STOP);
    EXPECT_EQ(stop.text, L"取消(&C)");
    EXPECT_EQ(stop.x, 58);
    EXPECT_EQ(stop.y, 32);
    EXPECT_EQ(stop.cx, 50);
    EXPECT_EQ(stop.cy, 14);
    EXPECT_TRUE(stop.style & WS_TABSTOP);
    const TemplateControl& file = progress.controls[1];
    EXPECT_EQ(file.id, (DWORD)IDC_CURRENT_FILE);
    EXPECT_EQ(file.text, L"");
    EXPECT_EQ(file.style & SS_TYPEMASK, (DWORD)SS_CENTER);
    EXPECT_TRUE(file.style & SS_NOPREFIX);
    EXPECT_EQ(file.x, 5);
    EXPECT_EQ(file.y, 5);
    EXPECT_EQ(file.cx, 158);
    EXPECT_EQ(file.cy, 23);
}

// The settings template's layout, and the satellite's match with it, are
// checked with the settings dialog; here only that the program carries it.
TEST_F(ProgramResources, SettingsTemplateIsTheOneThisTestWasBuiltWith)
{
    std::string own = ResourceBytes(program, RT_DIALOG, MAKEINTRESOURCEW(IDD_SETTINGS), HONG_KONG);
    EXPECT_FALSE(own.empty());
    EXPECT_EQ(own, ResourceBytes(GetModuleHandleW(NULL), RT_DIALOG, MAKEINTRESOURCEW(IDD_SETTINGS), HONG_KONG));
}

TEST(Satellite, HoldsTheSettingsDialogButNoProgressDialog)
{
    HMODULE satellite = LoadLibraryExW(SatellitePath.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(satellite, (HMODULE)NULL) << "cannot open Seekline.en.mui";
    EXPECT_NE(FindResourceW(satellite, MAKEINTRESOURCEW(IDD_SETTINGS), RT_DIALOG), (HRSRC)NULL);
    EXPECT_EQ(FindResourceW(satellite, MAKEINTRESOURCEW(IDD_PROGRESS), RT_DIALOG), (HRSRC)NULL);
    FreeLibrary(satellite);
}

bool HasChinese(const std::wstring& text)
{
    for (wchar_t c : text) {
        if ((c >= 0x3000 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF))
            return true;
    }
    return false;
}

// The inserts of a string-table text, %1 to %9, in the order they occur.
std::wstring Inserts(const std::wstring& text)
{
    std::wstring found;
    for (size_t at = 0; at + 1 < text.size(); at++) {
        if (text[at] == L'%' && text[at + 1] >= L'1' && text[at + 1] <= L'9')
            found += text[at + 1];
    }
    std::sort(found.begin(), found.end());
    return found;
}

void CompareMenus(HMENU own, HMENU english, const std::wstring& where)
{
    int count = GetMenuItemCount(own);
    ASSERT_EQ(GetMenuItemCount(english), count) << where;
    for (int n = 0; n < count; n++) {
        WCHAR ownText[256] = L"", englishText[256] = L"";
        GetMenuStringW(own, n, ownText, 256, MF_BYPOSITION);
        GetMenuStringW(english, n, englishText, 256, MF_BYPOSITION);
        std::wstring item = where + L"/" + englishText;
        EXPECT_EQ(GetMenuItemID(english, n), GetMenuItemID(own, n)) << item;
        EXPECT_EQ(ownText[0] == 0, englishText[0] == 0) << item;
        EXPECT_FALSE(HasChinese(englishText)) << item;
        HMENU ownPopup = GetSubMenu(own, n), englishPopup = GetSubMenu(english, n);
        EXPECT_EQ(ownPopup == NULL, englishPopup == NULL) << item;
        if (ownPopup && englishPopup)
            CompareMenus(ownPopup, englishPopup, item);
    }
}

// Every other text of a run that starts with the settings dialog comes from
// the satellite in English: the results window, its menus and dialogs, the
// string table; each with the program's own ids, controls, places and
// inserts. (The settings dialog is compared with its own template's.)
TEST(Satellite, TranslatesEveryTextOfADialogRun)
{
    HMODULE program = LoadLibraryExW(ProgramPath.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    HMODULE satellite = LoadLibraryExW(SatellitePath.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(program && satellite);
    const WORD ENGLISH = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    for (WORD id : {IDD_RESULTS, IDD_EDITOR, IDD_UNREADABLE}) {
        DialogTemplate own, english;
        ASSERT_TRUE(ReadDialogTemplate(program, id, HONG_KONG, &own)) << id;
        ASSERT_TRUE(ReadDialogTemplate(satellite, id, ENGLISH, &english)) << id;
        EXPECT_FALSE(HasChinese(english.caption)) << id;
        EXPECT_EQ((std::vector<DWORD> {english.style, (DWORD)english.cx, (DWORD)english.cy}),
                  (std::vector<DWORD> {own.style, (DWORD)own.cx, (DWORD)own.cy}))
            << id;
        ASSERT_EQ(english.controls.size(), own.controls.size()) << id;
        for (size_t n = 0; n < own.controls.size(); n++) {
            const TemplateControl& a = own.controls[n];
            const TemplateControl& b = english.controls[n];
            EXPECT_EQ(
                (std::vector<DWORD> {b.id, b.classAtom, b.style, (DWORD)b.x, (DWORD)b.y, (DWORD)b.cx, (DWORD)b.cy}),
                (std::vector<DWORD> {a.id, a.classAtom, a.style, (DWORD)a.x, (DWORD)a.y, (DWORD)a.cx, (DWORD)a.cy}))
                << id << " " << n;
            EXPECT_FALSE(HasChinese(b.text)) << id << " " << n;
        }
    }
    for (WORD id : {IDR_RESULTS_MENU, IDR_RESULTS_CONTEXT}) {
        HMENU own = LoadMenuW(program, MAKEINTRESOURCEW(id)), english = LoadMenuW(satellite, MAKEINTRESOURCEW(id));
        ASSERT_TRUE(own && english) << id;
        CompareMenus(own, english, L"menu " + std::to_wstring(id));
        DestroyMenu(own);
        DestroyMenu(english);
    }
    int texts = 0;
    for (UINT id = 1; id < 1024; id++) {
        WCHAR own[1024] = L"", english[1024] = L"";
        int ownLength = LoadStringW(program, id, own, 1024), englishLength = LoadStringW(satellite, id, english, 1024);
        EXPECT_EQ(ownLength > 0, englishLength > 0) << id;
        if (ownLength <= 0 || englishLength <= 0)
            continue;
        texts++;
        EXPECT_FALSE(HasChinese(english)) << id;
        EXPECT_EQ(Inserts(english), Inserts(own)) << id;
    }
    EXPECT_GT(texts, 40);
    FreeLibrary(satellite);
    FreeLibrary(program);
}

// GetResourceModule looks for the test program's own path plus ".mui".
struct SatelliteCase {
    const char* name;
    int content;  // 0 no file, 1 not a module, 2 the English satellite
    bool picked;
};

TEST(ResourceModule, PicksALoadableSatelliteBesideTheProgramElseTheProgramItself)
{
    const SatelliteCase cases[] = {
        {"no satellite", 0, false},
        {"a file that is no module", 1, false},
        {"the English satellite", 2, true},
    };
    WCHAR own[MAX_PATH];
    GetModuleFileNameW(NULL, own, MAX_PATH);
    std::wstring path = std::wstring(own) + L".mui";
    for (const SatelliteCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(path.c_str());
        if (c.content == 1)
            WriteTestFile(path, "not a module");
        if (c.content == 2) {
            ASSERT_TRUE(CopyFileW(SatellitePath.c_str(), path.c_str(), FALSE));
        }

        HMODULE module = GetResourceModule();
        if (!c.picked) {
            EXPECT_EQ(module, GetModuleHandleW(NULL));
            continue;
        }
        EXPECT_NE(module, GetModuleHandleW(NULL));
        EXPECT_EQ(module, GetModuleHandleW(path.c_str()));
        EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(IDD_SETTINGS), RT_DIALOG), (HRSRC)NULL);
        // Asked again, it hands out the module already loaded.
        EXPECT_EQ(GetResourceModule(), module);
        FreeLibrary(module);
    }
    DeleteFileW(path.c_str());
    EXPECT_EQ(GetResourceModule(), GetModuleHandleW(NULL));
}

}  // namespace
