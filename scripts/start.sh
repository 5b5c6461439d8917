#!/bin/sh
# Builds Seekline and starts it under Wine, with its own prefix under
# build-app/. With arguments it runs that command-line search and prints the
# report here (sh scripts/start.sh /D '/T:*.c' needle). Without, it opens the
# dialog on your X display, or, with no display, runs a sample search over
# this repository's sources. Either way it ends by itself.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
# Only the report goes to standard output, so that it can be piped on.
sh "$root/scripts/install-deps.sh" >&2
build="$root/build-app"
sh "$root/scripts/build.sh" "$build" OFF OFF >&2

state="$build/wine"
display=$DISPLAY
if [ -n "$display" ]; then
    rm -f "$state/display"
    sh "$root/tests/wine/prefix.sh" "$state" >&2
else
    # The prefix is made on a headless display, which the progress dialog of
    # a command-line search also shows on.
    sh "$root/tests/wine/up.sh" "$state" >&2
    trap 'sh "$root/tests/wine/down.sh" "$state"' EXIT
fi
run() {
    sh "$root/tests/wine/exec.sh" "$state" "$@"
}

if [ $# -gt 0 ]; then
    # The console program: Ctrl+C in this terminal cancels the search.
    status=0
    run "$build/run/Seekline.com" "$@" || status=$?
    exit $status
fi
if [ -n "$display" ]; then
    # The report goes to Seekline.txt on the Wine desktop, which is this folder.
    echo "report: $state/home/Seekline.txt"
    run "$build/run/Seekline.exe"
    exit 0
fi
# The sample searches the source folders one by one, not the whole clone,
# whose build folders hold Wine prefixes with links to the whole file system.
folders=$(git -C "$root" ls-files '*.cpp' '*.h' 2>/dev/null | cut -d/ -s -f1 | sort -u | tr '\n' ' ' | sed 's/ $//')
[ -n "$folders" ] || folders="bench engine installer resources run settings tests walk"
echo "No DISPLAY, so no dialog: a sample command-line search of this repository's sources,"
echo "in each of its source folders ($folders):"
printf '%s\n' "> Seekline /Q /D /T:*.cpp;*.h /F:Z:$(echo "$root" | tr / '\\\\')\\<folder> ProgramEntry"
for name in $folders; do
    # Exit code 1 (no hit in this folder) is no failure here.
    run "$build/run/Seekline.com" /Q /D '/T:*.cpp;*.h' "/F:Z:$(echo "$root/$name" | tr / '\\\\')" ProgramEntry || true
done
echo "To see the dialog, run sh scripts/start.sh again with an X display (DISPLAY set)."
