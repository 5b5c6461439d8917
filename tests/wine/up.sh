#!/bin/sh
# Starts what the Windows tests run on: a headless X server, the Wine prefix
# (created on first use) and a wineserver kept alive between test programs.
# up.sh STATE; down.sh STATE ends both.
set -e
state=$1
mkdir -p "$state/home"
export WINEPREFIX="$state/prefix" HOME="$state/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=en_US.UTF-8

# Xvfb picks a free display itself and writes its number to fd 3.
rm -f "$state/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display.new" >/dev/null 2>&1 </dev/null &
echo $! >"$state/xvfb.pid"
tries=0
until [ -s "$state/display.new" ]; do
    tries=$((tries + 1))
    [ $tries -gt 100 ] && { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done
tr -d '\n' <"$state/display.new" >"$state/display"
rm -f "$state/display.new"
export DISPLAY=":$(cat "$state/display")"

# A new prefix is made on passing servers. The last one is let end, which
# saves the registry and takes with it the services started before the
# prefix's settings were made, before the lasting server starts.
if [ ! -f "$state/prefix.ready" ]; then
    sh "$(dirname "$0")/prefix.sh" "$state"
    timeout 120 wineserver -w || wineserver -k || true
fi
# A server that stays up spares every test program a Wine start; it may be
# running already from an earlier run. Without it, each test program that
# found no server would start a passing one, which writes its complaints
# into that program's standard error and ends a few seconds after it.
wineserver -p >/dev/null 2>&1 </dev/null || true
# Start Wine's background services now, detached: started later by a test
# program's first window, they would inherit ctest's output pipe and outlive
# the test, and ctest would wait on the pipe.
wineboot >/dev/null 2>&1 </dev/null
echo "display $DISPLAY, prefix $WINEPREFIX"
