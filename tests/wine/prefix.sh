#!/bin/sh
# Creates the Wine prefix of a build tree on first use: prefix.sh STATE.
# Needs DISPLAY set.
set -e
state=$1
mkdir -p "$state/home"
export WINEPREFIX="$state/prefix" HOME="$state/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG="${LANG:-en_US.UTF-8}"
[ -f "$state/prefix.ready" ] && exit 0
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >"$state/wineboot.log" 2>&1 </dev/null || { echo "wineboot failed"; cat "$state/wineboot.log"; exit 1; }
fi
# Legible Chinese dialog texts.
for font in "MS Shell Dlg" "MS Shell Dlg 2" Tahoma; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
done
# Without a window manager Wine waits 2 s for one at every window it hides,
# unless its windows are unmanaged.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
touch "$state/prefix.ready"
