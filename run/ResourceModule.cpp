// Chooses the module that supplies the dialogs and texts of a dialog run: a
// satellite named like the program plus ".mui" when one sits beside it, else
// the program itself.
#include "run/SearchRun.h"
#include "engine/SearchRequest.h"

HMODULE GetResourceModule()
{
    HMODULE own = GetModuleHandleW(NULL);
    WCHAR path[PATH_CHARS + 4];  // the program's path and ".mui"
    DWORD length = GetModuleFileNameW(NULL, path, PATH_CHARS);
    // A cut path would name some other file.
    if (length == 0 || length >= PATH_CHARS)
        return own;
    lstrcpynW(path + length, L".mui", 5);
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
        return own;
    HMODULE satellite = GetModuleHandleW(path);
    if (!satellite)
        satellite = LoadLibraryW(path);
    return satellite ? satellite : own;
}
