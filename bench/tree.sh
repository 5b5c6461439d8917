#!/bin/sh
# The tree benchmark: the program's search of a whole tree, under Wine, on
# one thread, two and the default number, against the floors (walk and read
# only: on one thread, and with one thread walking and others reading) in
# the same run, and ripgrep (on one thread and on all) and GNU grep natively
# on the same tree. Medians of three runs, files in the cache. Then the
# filters: on the Linux tree made a git repository, the skip-ignored option
# against ripgrep with its defaults and against the search without it; and
# on a built clone of this repository, the skip-binary and skip-ignored
# options against the search without them. Called by scripts/bench.sh:
# tree.sh BUILD STATE. With SEEKLINE_BEFORE set to another
# build of seekline_tree_bench.exe (an older version), its search is timed in
# the same run too.
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
for p in ripgrep grep time bc linux-source-6.1 git; do
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
# A repository with nothing in its index, so that its .gitignore files count,
# for git and ripgrep as for the skip-ignored option. Debian's package ends
# the top .gitignore with the rules of its own packaging repository, which
# ignore everything at the top: the kernel's own rules stop before them.
[ -d "$linux/.git" ] || git -C "$linux" init -q
sed -i '/^# Debian packaging/,$d' "$linux/.gitignore"

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

# native NAME COMMAND...: times a peer into $times/NAME; a peer that finds
# nothing exits with 1, which is no failure here.
native() {
    name=$1
    shift
    /usr/bin/time -q -a -o "$times/$name" -f %e "$@" >/dev/null || [ $? -eq 1 ]
}
wine_run() { sh "$root/tests/wine/exec.sh" "$state" "$exe" "$@"; }

# The default number of scanning threads, as the program takes it.
threads=$(wine_run floors "$(winpath "$build/no-such-folder")" '*.c' x NUL | cut -d' ' -f5)
[ "$threads" -gt 0 ] 2>/dev/null || threads=1
# Parallel floors with 2 readers and with the default, once each if equal.
readers=$(printf '%s\n' 2 "$threads" | sort -nu)

for tree in "$generated" "$linux"; do
    # Fill the cache.
    find "$tree" -type f \( -name '*.c' -o -name '*.h' \) -print0 | xargs -0 cat >/dev/null
    dir=$(winpath "$tree")
    times="$build/tree-times"
    rm -rf "$times"
    mkdir -p "$times"
    # Each round runs every row once, so that a noisy spell of the machine
    # falls on all of them alike.
    for run in 1 2 3; do
        wine_run floor "$dir" '*.c;*.h' $needle NUL >>"$times/floor"
        for n in $readers; do
            wine_run floors "$dir" '*.c;*.h' $needle NUL "$n" >>"$times/floors$n"
        done
        for j in $(printf '%s\n' 1 2 "$threads" | sort -nu); do
            wine_run search "$dir" '*.c;*.h' $needle "$(winpath "$build/tree-report-$j.txt")" "$j" >>"$times/search$j"
        done
        if [ -n "$SEEKLINE_BEFORE" ]; then
            sh "$root/tests/wine/exec.sh" "$state" "$SEEKLINE_BEFORE" search "$dir" '*.c;*.h' $needle \
                "$(winpath "$build/tree-report-before.txt")" >>"$times/before"
        fi
        if command -v rg >/dev/null; then
            native rg1 rg -j1 -n --column -iF --no-ignore --hidden -g '*.c' -g '*.h' $needle "$tree"
            native rg rg -n --column -iF --no-ignore --hidden -g '*.c' -g '*.h' $needle "$tree"
        fi
        # The skip-ignored option, beside ripgrep with its defaults, which
        # honour .gitignore in a repository (and pass over hidden and binary
        # files, of which the Linux tree has no *.c or *.h).
        if [ "$tree" = "$linux" ]; then
            for j in 1 "$threads"; do
                wine_run search "$dir" '*.c;*.h' $needle "$(winpath "$build/tree-report-G$j.txt")" "$j" G >>"$times/searchG$j"
            done
            (cd "$tree" && native rg1-defaults rg -j1 -n --column -iF -g '*.c' -g '*.h' $needle) || true
        fi
        native grep grep -rniF --include='*.c' --include='*.h' $needle "$tree"
    done
    seconds() { cut -d' ' -f1 "$times/$1" | median; }
    floor=$(seconds floor)
    files=$(cut -d' ' -f2 "$times/floor" | head -1)
    echo "tree $(basename "$tree"): $files files (*.c;*.h), case-folded \"$needle\", subfolders; medians of 3;"
    echo "  default threads here: $threads; floors and ratios from the same run"
    printf '  %-40s %8s %10s %8s %10s\n' "" seconds files/s "/ floor" "/ par.fl."
    # line TITLE SECONDS [PARALLEL-FLOOR-SECONDS]
    line() {
        printf '  %-40s %8.2f %10.0f %8.2f' "$1" "$2" "$(echo "$files / $2" | bc -l)" "$(echo "$2 / $floor" | bc -l)"
        [ -n "$3" ] && printf ' %10.2f' "$(echo "$2 / $3" | bc -l)"
        echo
    }
    line "floor, one thread (walk, open, read, close)" "$floor"
    for n in $readers; do
        line "floor, one walking + $n reading threads" "$(seconds floors$n)"
    done
    line "Seekline /J:1" "$(seconds search1)"
    line "Seekline /J:2" "$(seconds search2)" "$(seconds floors2)"
    line "Seekline default ($threads threads)" "$(seconds search$threads)" "$(seconds floors$threads)"
    if [ -n "$SEEKLINE_BEFORE" ]; then
        line "Seekline before (one thread)" "$(seconds before)"
        cmp -s "$build/tree-report-$threads.txt" "$build/tree-report-before.txt" && echo "  (same report before and after)"
    fi
    cmp -s "$build/tree-report-$threads.txt" "$build/tree-report-1.txt" || echo "  REPORTS DIFFER between 1 and $threads threads"
    if command -v rg >/dev/null; then
        line "ripgrep -j1 (all files), native" "$(median <"$times/rg1")"
        line "ripgrep, all threads, native" "$(median <"$times/rg")"
    fi
    line "GNU grep -r, native" "$(median <"$times/grep")"
    for j in 1 "$threads"; do
        memory=$(sed -n 3p "$times/search$j" | awk '{print $3 " KiB before, " $6 " KiB at the peak, " $4 " KiB after"}')
        echo "  Seekline on $j threads, private bytes: $memory"
    done
    echo "  report $(wc -l <"$build/tree-report-$threads.txt") lines"
    if [ "$tree" = "$linux" ]; then
        line "Seekline /J:1 /G" "$(seconds searchG1)"
        line "Seekline default ($threads threads) /G" "$(seconds searchG$threads)"
        line "ripgrep -j1 with its defaults, native" "$(median <"$times/rg1-defaults")"
        echo "  /G against without, $threads threads: $(echo "$(seconds searchG$threads) / $(seconds search$threads)" | bc -l | cut -c1-5)x;" \
            "/J:1 /G against ripgrep -j1 with its defaults: $(echo "$(seconds searchG1) / $(median <"$times/rg1-defaults")" | bc -l | cut -c1-5)x"
        # The same hits: path, line and column of each.
        (cd "$tree" && rg -j1 -n --column -iF -g '*.c' -g '*.h' $needle || true) >"$build/rg-defaults.txt"
        python3 - "$build/tree-report-G1.txt" "$build/rg-defaults.txt" "$(winpath "$tree")" <<'PY'
import re, sys
report, peer, prefix = sys.argv[1:]
ours = {re.sub(r'^(.*?)\((\d+),(\d+)\) : .*$', r'\1:\2:\3', line[len(prefix) + 1:]).replace('\\', '/')
        for line in open(report, encoding='latin-1').read().splitlines()}
theirs = {':'.join(line.split(':')[:3]) for line in open(peer, encoding='latin-1').read().splitlines()}
print('  /G and ripgrep with its defaults: %s (%d and %d hits)' % ('the same hits' if ours == theirs else
      'HITS DIFFER: %d only here, %d only there' % (len(ours - theirs), len(theirs - ours)), len(ours), len(theirs)))
PY
    fi
done

# A built clone of this repository, as a developer's tree is: its sources,
# its build folder with objects, libraries and programs, and a Wine prefix
# there. Searched for a word of the sources in every file, with and without
# the skip-binary and skip-ignored options.
clone="$build/clone"
if [ ! -f "$clone/.complete" ]; then
    rm -rf "$clone"
    git clone -q "$root" "$clone"
    git -C "$clone" checkout -q "$(git -C "$root" rev-parse HEAD)"
    sh "$clone/scripts/build.sh" "$clone/build" OFF OFF >/dev/null
    DISPLAY=":$(cat "$state/display")" sh "$clone/tests/wine/prefix.sh" "$clone/build/wine" >/dev/null
    touch "$clone/.complete"
fi
times="$build/tree-times"
rm -rf "$times"
mkdir -p "$times"
for run in 1 2 3; do
    for switches in "" BG; do
        wine_run search "$(winpath "$clone")" '*.*' GetLastError "$(winpath "$build/clone-report$switches.txt")" \
            "$threads" $switches >>"$times/clone$switches"
    done
done
seconds() { cut -d' ' -f1 "$times/$1" | median; }
git -C "$clone" ls-files >"$times/tracked"
echo "a built clone of this repository, \"GetLastError\" in *.*, subfolders, $threads threads; medians of 3:"
for switches in "" BG; do
    python3 - "$build/clone-report$switches.txt" "$(winpath "$clone")" "$times/tracked" "$switches" \
        "$(seconds clone$switches)" <<'PY'
import re, sys
report, prefix, tracked, switches, seconds = sys.argv[1:]
tracked = set(open(tracked, encoding='utf-8').read().splitlines())
lines = [line for line in open(report, encoding='latin-1').read().splitlines() if line.startswith(prefix + '\\')]
ours = sum(1 for line in lines
           if line[len(prefix) + 1:re.search(r'\(\d+,\d+\) : ', line).start()].replace('\\', '/') in tracked)
print('  %-22s %8s s, %5d report lines, %5d of them in files git tracks' % (
    ('/' + ' /'.join(switches)) if switches else 'without the filters', seconds, len(lines), ours))
PY
done
echo "  /B /G against without: $(echo "$(seconds cloneBG) / $(seconds clone)" | bc -l | cut -c1-5)x"
