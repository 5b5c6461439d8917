// Replaces a platform function for this test program's own calls to it, by
// writing its import table slot (declared as __imp_<name>), to watch the
// program's calls to the platform or to play a user's action at a chosen
// call. Returns what the slot held.
#pragma once
#include <windows.h>

template <typename Slot> Slot PatchImport(Slot* slot, Slot value)
{
    DWORD protection;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    Slot old = *slot;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return old;
}
