// Dialog templates read back from a module's resources, so that tests can
// check a template's layout and compare one language's template with another.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct TemplateControl {
    DWORD id;
    WORD classAtom;  // 0x80 button, 0x82 static, 0x85 combo box; 0 for a class given by name
    DWORD style;
    short x, y, cx, cy;
    std::wstring text;
    size_t offset;  // where its item starts in the template's bytes
};

struct DialogTemplate {
    DWORD style;
    short cx, cy;
    std::wstring caption;
    WORD pointSize;  // 0 and no font without DS_SETFONT
    std::wstring font;
    std::vector<TemplateControl> controls;
};

// Reads the extended (DIALOGEX) template id in language from module, which
// may be loaded as a data file. False when there is none or it is not an
// extended template.
bool ReadDialogTemplate(HMODULE module, WORD id, WORD language, DialogTemplate* dialog);

// The bytes of the template id in language from module without the control
// (a satellite made before that control existed); empty when there is no
// such template or control.
std::vector<BYTE> TemplateWithout(HMODULE module, WORD id, WORD language, DWORD control);
