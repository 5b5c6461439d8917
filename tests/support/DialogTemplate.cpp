// Dialog templates read back from a module's resources.
#include "tests/support/DialogTemplate.h"

namespace {

// A name-or-ordinal field of a template; an ordinal comes back as "#n".
std::wstring ReadField(const WORD*& at)
{
    if (at[0] == 0xFFFF) {
        std::wstring ordinal = L"#" + std::to_wstring(at[1]);
        at += 2;
        return ordinal;
    }
    std::wstring text((const WCHAR*)at);
    at += text.size() + 1;
    return text;
}

}  // namespace

bool ReadDialogTemplate(HMODULE module, WORD id, WORD language, DialogTemplate* dialog)
{
    *dialog = DialogTemplate();
    HRSRC found = FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(id), language);
    if (!found || SizeofResource(module, found) < 26)
        return false;
    const BYTE* start = (const BYTE*)LockResource(LoadResource(module, found));
    const WORD* at = (const WORD*)start;
    if (at[0] != 1 || at[1] != 0xFFFF)  // dlgVer 1, signature of DLGTEMPLATEEX
        return false;
    dialog->style = *(const DWORD*)(at + 6);
    WORD count = at[8];
    dialog->cx = (short)at[11];
    dialog->cy = (short)at[12];
    at += 13;
    ReadField(at);  // menu
    ReadField(at);  // class
    dialog->caption = ReadField(at);
    if (dialog->style & DS_SETFONT) {
        dialog->pointSize = at[0];
        at += 3;  // point size, weight, italic and charset
        dialog->font = ReadField(at);
    }
    for (WORD n = 0; n < count; n++) {
        // Every item starts on a DWORD boundary.
        at = (const WORD*)(start + (((const BYTE*)at - start + 3) & ~3));
        TemplateControl control;
        control.offset = (const BYTE*)at - start;
        control.style = *(const DWORD*)(at + 4);
        control.x = (short)at[6];
        control.y = (short)at[7];
        control.cx = (short)at[8];
        control.cy = (short)at[9];
        control.id = *(const DWORD*)(at + 10);
        at += 12;
        std::wstring className = ReadField(at);
        control.classAtom = className[0] == L'#' ? (WORD)std::stoi(className.substr(1)) : 0;
        control.text = ReadField(at);
        WORD extra = *at++;
        at = (const WORD*)((const BYTE*)at + extra);
        dialog->controls.push_back(control);
    }
    return true;
}

std::vector<BYTE> TemplateWithout(HMODULE module, WORD id, WORD language, DWORD control)
{
    DialogTemplate dialog;
    if (!ReadDialogTemplate(module, id, language, &dialog))
        return {};
    HRSRC found = FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(id), language);
    const BYTE* start = (const BYTE*)LockResource(LoadResource(module, found));
    std::vector<BYTE> bytes(start, start + SizeofResource(module, found));
    for (size_t n = 0; n < dialog.controls.size(); n++) {
        if (dialog.controls[n].id != control)
            continue;
        // Items start on DWORD boundaries, so the ones after it keep theirs.
        size_t end = n + 1 < dialog.controls.size() ? dialog.controls[n + 1].offset : bytes.size();
        bytes.erase(bytes.begin() + dialog.controls[n].offset, bytes.begin() + end);
        ((WORD*)bytes.data())[8]--;  // the count of items
        return bytes;
    }
    return {};
}
