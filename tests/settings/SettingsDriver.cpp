// Runs the real settings dialog and drives it through its controls, and
// reads and writes the program's registry key.
#include "tests/settings/SettingsDriver.h"
#include "settings/SettingsDialog.h"
#include "resources/resource.h"
#include <gtest/gtest.h>
#include <objbase.h>
#include <algorithm>
#include <map>

namespace {

const WCHAR settingsKey[] = L"Software\\Ombrel\\Seekline";

// Thread timers fire inside whatever modal loop runs on this thread.
std::map<UINT_PTR, std::function<void()>> pendingSteps;

void CALLBACK RunStep(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    auto found = pendingSteps.find(timer);
    if (found == pendingSteps.end())
        return;
    std::function<void()> step = found->second;
    pendingSteps.erase(found);
    step();
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM found)
{
    WCHAR className[16];
    GetClassNameW(window, className, 16);
    if (lstrcmpW(className, L"#32770") == 0)
        ((std::vector<HWND>*)found)->push_back(window);
    return TRUE;
}

// A dialog that never ends would hang the whole test program: end every
// dialog of this thread, innermost first.
void CALLBACK Watchdog(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    for (HWND dialog : ThreadDialogs())
        EndDialog(dialog, DIALOG_HUNG);
}

const int watchdogMilliseconds = 60000;

}  // namespace

std::vector<HWND> ThreadDialogs()
{
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialog, (LPARAM)&found);
    return found;
}

void Later(const std::function<void()>& step)
{
    UINT_PTR timer = SetTimer(NULL, 0, USER_TIMER_MINIMUM, RunStep);
    pendingSteps[timer] = step;
}

INT_PTR RunSettingsDialog(const std::function<void(HWND)>& script, HMODULE module,
                          const std::vector<BYTE>* dialogTemplate)
{
    CoInitialize(NULL);
    Later([script]() {
        std::vector<HWND> dialogs = ThreadDialogs();
        if (!dialogs.empty())
            script(dialogs.front());
    });
    UINT_PTR watchdog = SetTimer(NULL, 0, watchdogMilliseconds, Watchdog);
    INT_PTR result = dialogTemplate
                         ? DialogBoxIndirectParamW(GetModuleHandleW(NULL), (const DLGTEMPLATE*)dialogTemplate->data(),
                                                   NULL, SettingsDlgProc, 0)
                         : DialogBoxParamW(module ? module : GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_SETTINGS),
                                           NULL, SettingsDlgProc, 0);
    KillTimer(NULL, watchdog);
    for (auto& pending : pendingSteps)
        KillTimer(NULL, pending.first);
    pendingSteps.clear();
    CoUninitialize();
    return result;
}

void SetText(HWND dialog, int control, const std::wstring& text)
{
    SendDlgItemMessageW(dialog, control, WM_SETTEXT, 0, (LPARAM)text.c_str());
}

std::wstring GetText(HWND dialog, int control)
{
    WCHAR text[4096];
    text[0] = 0;
    SendDlgItemMessageW(dialog, control, WM_GETTEXT, 4096, (LPARAM)text);
    return text;
}

void SetCheck(HWND dialog, int control)
{
    SendDlgItemMessageW(dialog, control, BM_SETCHECK, BST_CHECKED, 0);
}

void PressKey(HWND dialog, int control, WPARAM key)
{
    SetFocus(GetDlgItem(dialog, control));
    PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
}

DialogState ReadDialogState(HWND dialog)
{
    static const int combos[3] = {IDC_SEARCH_TEXT, IDC_FILE_TYPES, IDC_FOLDER};
    DialogState state;
    for (int list = 0; list < 3; list++) {
        HWND combo = GetDlgItem(dialog, combos[list]);
        LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT item = 0; item < count; item++) {
            std::wstring text(SendMessageW(combo, CB_GETLBTEXTLEN, item, 0) + 1, L'\0');
            SendMessageW(combo, CB_GETLBTEXT, item, (LPARAM)&text[0]);
            text.resize(lstrlenW(text.c_str()));
            state.items[list].push_back(text);
        }
        state.texts[list] = GetText(dialog, combos[list]);
    }
    for (int box = 0; box < OptionFieldCount; box++)
        state.checks.push_back((LONG)SendDlgItemMessageW(dialog, OptionFields[box].control, BM_GETCHECK, 0, 0));
    return state;
}

void DeleteSettingsKey()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey);
}

bool SettingsKeyExists()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, settingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void StoreValue(const std::wstring& name, DWORD type, const void* bytes, DWORD size)
{
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, settingsKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
    RegSetValueExW(key, name.c_str(), 0, type, (const BYTE*)bytes, size);
    RegCloseKey(key);
}

void StoreText(const std::wstring& name, const std::wstring& text)
{
    StoreValue(name, REG_SZ, text.c_str(), (DWORD)(text.size() + 1) * sizeof(WCHAR));
}

StoredValue ReadStored(const std::wstring& name)
{
    StoredValue value = {false, 0, {}};
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, settingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), NULL, &value.type, NULL, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.exists =
            RegQueryValueExW(key, name.c_str(), NULL, &value.type, value.bytes.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return value;
}

std::wstring StoredText(const std::wstring& name)
{
    StoredValue value = ReadStored(name);
    if (!value.exists)
        return L"<missing>";
    std::wstring text((const WCHAR*)value.bytes.data(), value.bytes.size() / sizeof(WCHAR));
    if (!text.empty() && text.back() == 0)
        text.pop_back();
    return text;
}

std::vector<std::wstring> StoredSnapshot()
{
    std::vector<std::wstring> values;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, settingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; index++) {
        WCHAR name[64];
        DWORD nameLength = 64;
        BYTE bytes[4096];
        DWORD size = sizeof bytes;
        DWORD type = 0;
        if (RegEnumValueW(key, index, name, &nameLength, NULL, &type, bytes, &size) != ERROR_SUCCESS)
            break;
        WCHAR head[96];
        wsprintfW(head, L"%s=%u:", name, (unsigned)type);
        std::wstring entry = head;
        for (DWORD at = 0; at < size; at++) {
            WCHAR hex[4];
            wsprintfW(hex, L"%02x", bytes[at]);
            entry += hex;
        }
        values.push_back(entry);
    }
    RegCloseKey(key);
    std::sort(values.begin(), values.end());
    return values;
}

OwnedRequest SearchWith(const std::function<void(HWND)>& fill)
{
    return TakeRequest(RunSettingsDialog([fill](HWND dialog) {
        fill(dialog);
        SendDlgItemMessageW(dialog, IDC_SEARCH, BM_CLICK, 0, 0);
    }));
}

Refusal SearchRefused(const std::function<void(HWND)>& fill, int control, HMODULE module)
{
    Refusal refusal;
    refusal.result = RunSettingsDialog(
        [&](HWND dialog) {
            fill(dialog);
            // Runs in the message box's own loop.
            Later([&, dialog]() {
                for (HWND shown : ThreadDialogs()) {
                    if (shown == dialog)
                        continue;
                    refusal.told = GetText(shown, 0xFFFF);
                    EndDialog(shown, IDOK);
                }
                Later([&, dialog]() {
                    refusal.kept = GetText(dialog, control);
                    PressKey(dialog, control, VK_ESCAPE);
                });
            });
            SendDlgItemMessageW(dialog, IDC_SEARCH, BM_CLICK, 0, 0);
        },
        module);
    return refusal;
}
