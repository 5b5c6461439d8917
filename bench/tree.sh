#!/bin/sh
# The tree benchmark: the program's search of a whole tree, under Wine,
# against the floor program (walk and read only) in the same run, and
# ripgrep and GNU grep natively on the same tree. Medians of three runs,
# files in the cache. Called by scripts/bench.sh: tree.sh BUILD STATE. With
# SEEKLINE_BEFORE set to another build of seekline_tree_bench.exe (an older
# version), its search is timed in the same run too.
set -e
build=$1
state=$2
root=$(cd "$(dirname "$0")/.." && pwd)
exe="$build/bench/seekline_tree_bench.exe"
needle=PM_RESUME

# The native peers and the Linux 6.1 sources, unpacked once into the build
# folder.
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
missing=""
for p in ripgrep grep time bc linux-source-6.1; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] || DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null
linux="$build/linux-tree"
if [ ! -f "$linux/.complete" ]; then
    rm -rf "$linux"
    mkdir -p "$linux"
    tar -xJf /usr/src/linux-source-6.1.tar.xz -C "$linux" --strip-components=1
    touch "$linux/.complete"
fi

# A generated tree of small files: 200 folders of 100 files of 2 KiB.
generated="$build/generated-tree"
if [ ! -f "$generated/.complete" ]; then
    rm -rf "$generated"
    python3 - "$generated" <<'PY'
import os, sys
root = sys.argv[1]
line = b'    int count = CountItems(list, "items"); // how many are there\r\n'
for d in range(200):
    folder = os.path.join(root, 'd%03d' % d)
    os.makedirs(folder)
    for f in range(100):
        with open(os.path.join(folder, 'f%03d.%s' % (f, 'c' if f % 2 else 'h')), 'wb') as out:
            out.write(line * 32)
PY
    touch "$generated/.complete"
fi

median() { sort -n | sed -n 2p; }
winpath() { echo "Z:$1" | tr / '\\'; }

# What the scanner's choice between reading a file whole and mapping it rests
# on: the time per file of each, by size, in the cache.
echo "reading a file whole against mapping it, per file (open to close, every byte touched):"
sh "$root/tests/wine/exec.sh" "$state" "$exe" read-map "$(winpath "$build")"

wine_run() { sh "$root/tests/wine/exec.sh" "$state" "$exe" "$@"; }

for tree in "$generated" "$linux"; do
    # Fill the cache.
    find "$tree" -type f \( -name '*.c' -o -name '*.h' \) -print0 | xargs -0 cat >/dev/null
    dir=$(winpath "$tree")
    : >"$build/floor.times"
    : >"$build/search.times"
    : >"$build/before.times"
    for run in 1 2 3; do
        wine_run floor "$dir" '*.c;*.h' $needle NUL >>"$build/floor.times"
        wine_run search "$dir" '*.c;*.h' $needle "$(winpath "$build/tree-report.txt")" >>"$build/search.times"
        if [ -n "$SEEKLINE_BEFORE" ]; then
            sh "$root/tests/wine/exec.sh" "$state" "$SEEKLINE_BEFORE" search "$dir" '*.c;*.h' $needle \
                "$(winpath "$build/tree-report-before.txt")" >>"$build/before.times"
        fi
    done
    floor=$(cut -d' ' -f1 "$build/floor.times" | median)
    files=$(cut -d' ' -f2 "$build/floor.times" | head -1)
    search=$(cut -d' ' -f1 "$build/search.times" | median)
    memory=$(sed -n 3p "$build/search.times" | awk '{print $3 " KiB before, " $4 " KiB after"}')
    echo "tree $(basename "$tree"): $files files (*.c;*.h), case-folded \"$needle\", subfolders"
    printf '  %-34s %8s %10s %9s\n' "" seconds files/s "/ floor"
    line() { printf '  %-34s %8.2f %10.0f %9.2f\n' "$1" "$2" "$(echo "$files / $2" | bc -l)" "$(echo "$2 / $floor" | bc -l)"; }
    line "floor (walk, open, read, close)" "$floor"
    line "Seekline (progress dialog, worker)" "$search"
    if [ -n "$SEEKLINE_BEFORE" ]; then
        line "Seekline before" "$(cut -d' ' -f1 "$build/before.times" | median)"
        cmp -s "$build/tree-report.txt" "$build/tree-report-before.txt" && echo "  (same report before and after)"
    fi
    if command -v rg >/dev/null; then
        t=$(for run in 1 2 3; do /usr/bin/time -f %e rg -j1 -n --column -iF --no-ignore --hidden -g '*.c' -g '*.h' $needle "$tree" 2>&1 >/dev/null | tail -1; done | median)
        line "ripgrep -j1 (all files), native" "$t"
    fi
    t=$(for run in 1 2 3; do /usr/bin/time -f %e grep -rniF --include='*.c' --include='*.h' $needle "$tree" 2>&1 >/dev/null | tail -1; done | median)
    line "GNU grep -r, native" "$t"
    echo "  Seekline private bytes: $memory; report $(wc -l <"$build/tree-report.txt") lines"
done
