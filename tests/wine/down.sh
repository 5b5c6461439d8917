#!/bin/sh
# Ends the wineserver and the X server that up.sh started.
state=$1
WINEPREFIX="$state/prefix" wineserver -k >/dev/null 2>&1
[ -f "$state/xvfb.pid" ] && kill "$(cat "$state/xvfb.pid")" 2>/dev/null
rm -f "$state/xvfb.pid" "$state/display"
exit 0
