#!/bin/sh
# Holds a change that must not change what Seekline finds to the build
# before it: both programs search the Linux 6.1 sources and the benchmark's
# 256 MiB file in every mode, and their reports (and exit codes) must be
# the same bytes. compare_reports.sh BEFORE, BEFORE being the build folder
# of the other version (made with scripts/build.sh); this clone is built
# into build-compare.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
before=$(cd "$1" && pwd)
build="$root/build-compare"
sh "$root/scripts/install-deps.sh"
sh "$root/scripts/build.sh" "$build" ON OFF SeeklineConsole seekline_bench >/dev/null
state="$build/wine"
data="$build/compare-data"
mkdir -p "$data"
sh "$root/tests/wine/up.sh" "$state" >/dev/null
trap 'sh "$root/tests/wine/down.sh" "$state"' EXIT
run() { sh "$root/tests/wine/exec.sh" "$state" "$@"; }
winpath() { echo "Z:$1" | tr / '\\'; }

# The trees: the Linux sources as the tree benchmark unpacks them, and the
# benchmark's file.
linux="$data/linux-tree"
if [ ! -f "$linux/.complete" ]; then
    dpkg -s linux-source-6.1 >/dev/null 2>&1 || sh "$root/scripts/install-deps.sh" linux-source-6.1
    rm -rf "$linux" && mkdir -p "$linux"
    tar -xJf /usr/src/linux-source-6.1.tar.xz -C "$linux" --strip-components=1
    touch "$linux/.complete"
fi
mkdir -p "$data/file"
run "$build/bench/seekline_bench.exe" source "$data/file/source.c" || { echo "cannot write the benchmark's file"; exit 1; }

# Every mode over both: case, comments, strings with & variants, whole words,
# Unicode files, patterns with and without a required literal.
failed=0
compare() {
    name=$1
    shift
    for side in before after; do
        program="$build/run/Seekline.com"
        [ $side = before ] && program="$before/run/Seekline.com"
        status=0
        run "$program" /Q "$@" >"$data/$name.$side" 2>"$data/$name.$side.err" || status=$?
        echo "$status" >>"$data/$name.$side.err"
    done
    if cmp -s "$data/$name.before" "$data/$name.after" && cmp -s "$data/$name.before.err" "$data/$name.after.err"; then
        echo "same: $name ($(wc -l <"$data/$name.after") lines)"
    else
        echo "DIFFERENT: $name (see $data/$name.before and .after)"
        failed=1
    fi
}
for where in linux file; do
    folder=$(winpath "$linux")
    [ $where = file ] && folder=$(winpath "$data/file")
    compare "$where-case" /D "/F:$folder" "/T:*.c;*.h" /C PM_RESUME
    compare "$where-folded" /D "/F:$folder" "/T:*.c;*.h" pm_resume
    compare "$where-comments" /D "/F:$folder" "/T:*.c;*.h" /I /C return
    compare "$where-strings" /D "/F:$folder" "/T:*.c;*.h" /S /A file
    compare "$where-words" /D "/F:$folder" "/T:*.c;*.h" /W if
    compare "$where-unicode" /D "/F:$folder" "/T:*.c;*.h" /U "müller"
    compare "$where-pattern" /D "/F:$folder" "/T:*.c;*.h" /R "PM_[A-Z]+"
    compare "$where-dfa" /D "/F:$folder" "/T:*.c;*.h" /R /I "\\w+\\s*=\\s*\\d+"
done
exit $failed
