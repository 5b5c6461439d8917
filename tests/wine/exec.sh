#!/bin/sh
# Runs a Windows program under the build tree's own Wine prefix, home folder
# (the Wine desktop links to it) and headless display: exec.sh STATE PROGRAM ARGS...
state=$1
shift
# Without Wine's crash debugger a crash ends the program at once (exit code
# 5) instead of waiting on a dialog for ever.
export WINEPREFIX="$state/prefix" HOME="$state/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export LANG="${LANG:-en_US.UTF-8}"
[ -f "$state/display" ] && export DISPLAY=":$(cat "$state/display")"
exec wine "$@"
