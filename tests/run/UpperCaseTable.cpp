// Prints the platform's upper-casing (LCMapStringEx, invariant locale,
// LCMAP_UPPERCASE) of every character of the basic plane and plane 1 that it
// changes, one "XXXX YYYY" line of hexadecimal code points each: the
// end-to-end tests fold as the program does with it, not with Python's own
// upper-casing, which differs. Usage: seekline_upper_case
#include <windows.h>
#include <stdio.h>

static void PrintChanged(UINT32 first, UINT32 count)
{
    static WCHAR from[2 * 0x10000], to[2 * 0x10000];
    int units = 0;
    for (UINT32 c = first; c < first + count; c++) {
        if (c >= 0x10000) {
            from[units++] = (WCHAR)(0xD800 + ((c - 0x10000) >> 10));
            from[units++] = (WCHAR)(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else if (c < 0xD800 || c > 0xDFFF) {
            from[units++] = (WCHAR)c;
        }
    }
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, from, units, to, units, NULL, NULL, 0);
    for (int at = 0; at < units;) {
        int length = from[at] >= 0xD800 && from[at] <= 0xDBFF ? 2 : 1;
        UINT32 c = from[at], upper = to[at];
        if (length == 2) {
            c = 0x10000 + ((c - 0xD800) << 10) + (from[at + 1] - 0xDC00);
            upper = 0x10000 + ((upper - 0xD800) << 10) + (to[at + 1] - 0xDC00);
        }
        if (upper != c)
            printf("%04X %04X\n", c, upper);
        at += length;
    }
}

int main()
{
    PrintChanged(0, 0x10000);
    PrintChanged(0x10000, 0x10000);
    return 0;
}
