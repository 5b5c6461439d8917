// Runs the real settings dialog and drives it through its controls, and
// reads and writes the program's registry key.
#pragma once
#include "engine/SearchRequest.h"
#include "settings/OptionTable.h"
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The dialog's result when it was still open after the watchdog's time.
#define DIALOG_HUNG ((INT_PTR)-2)

// Shows IDD_SETTINGS from module (NULL: this program), or the template given
// in bytes, with SettingsDlgProc and runs script on the dialog once its
// message loop is running. The script ends the dialog itself, at once or by
// posting input.
INT_PTR RunSettingsDialog(const std::function<void(HWND)>& script, HMODULE module = NULL,
                          const std::vector<BYTE>* dialogTemplate = NULL);

// Runs step on the dialog's thread once the messages posted so far are handled.
void Later(const std::function<void()>& step);
// The dialogs of this thread (a message box is one), innermost first.
std::vector<HWND> ThreadDialogs();

void SetText(HWND dialog, int control, const std::wstring& text);
std::wstring GetText(HWND dialog, int control);
void SetCheck(HWND dialog, int control);
// Focuses the control and posts a key press to the focused window, as the
// keyboard would.
void PressKey(HWND dialog, int control, WPARAM key);

// The state of the three history boxes and the check boxes.
struct DialogState {
    std::vector<std::wstring> items[3];  // search text, file types, folder
    std::wstring texts[3];
    std::vector<LONG> checks;  // in the order of OptionFields
};
DialogState ReadDialogState(HWND dialog);

struct RequestFree {
    void operator()(SearchRequest* request) const { FreeSearchRequest(request); }
};
typedef std::unique_ptr<SearchRequest, RequestFree> OwnedRequest;
inline OwnedRequest TakeRequest(INT_PTR result)
{
    return OwnedRequest(result > 0 ? (SearchRequest*)result : nullptr);
}
inline std::string Needle(const SearchRequest* request)
{
    return std::string(request->needle, request->needleLength);
}

// HKEY_CURRENT_USER "Software\Ombrel\Seekline".
void DeleteSettingsKey();
bool SettingsKeyExists();
void StoreValue(const std::wstring& name, DWORD type, const void* bytes, DWORD size);
void StoreText(const std::wstring& name, const std::wstring& text);

struct StoredValue {
    bool exists;
    DWORD type;
    std::vector<BYTE> bytes;
};
StoredValue ReadStored(const std::wstring& name);
// A stored REG_SZ text, or "<missing>".
std::wstring StoredText(const std::wstring& name);
// Every value of the key as name=type:bytes, sorted, to compare snapshots.
std::vector<std::wstring> StoredSnapshot();

// Fills the dialog with fill, presses Search and returns the request.
OwnedRequest SearchWith(const std::function<void(HWND)>& fill);

// What a refused search left: the dialog's result once closed with Esc, the
// message box's text, and the text of the box control afterwards.
struct Refusal {
    INT_PTR result;
    std::wstring told;
    std::wstring kept;
};
// Fills the dialog (from module, NULL: this program) with fill and presses
// Search, which must be refused.
Refusal SearchRefused(const std::function<void(HWND)>& fill, int control, HMODULE module = NULL);
