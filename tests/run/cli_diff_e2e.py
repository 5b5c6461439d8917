#!/usr/bin/env python3
"""Differential test: for seeded random trees and searches, the report of a
command-line run equals, byte for byte, the report of a dialog run made from
the same entries, the dialog filled with real keyboard input as e2e.py fills
it; the command line searches on 1, 2, 3, 4 or 8 threads, the dialog on the
default number. Runs inside the Wine fixture like e2e.py, on the helpers in
tests/support/seekline_e2e.py."""
import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from seekline_e2e import OPTIONS, Failure, Session, check, parse_arguments, winpath, write  # noqa: E402

RUNS = 50
WORDS = [b'foo', b'Foo', b'FOO', b'fOo', b'bar', b'Bar', b'x', b'&', b'f&oo', b'"foo"', b"'bar'",
         b'"F&oo bar"', b'// foo', b'//', b'"a // foo"', b'"it\'s foo"', b'caf\xe9', b'"', b"'",
         b'foobar', b'o b', b'\tfoo', b'-x', b'/* foo */']
ENDS = [b'\r\n', b'\n', b'\r', b'\r\n']
NAMES = ['a.c', 'b.h', 'c.cpp', 'd.txt', 'e.C', 'f.h', 'g.c']
FOLDERS = ['', '', 'sub', 'sub/deeper', 'other']
TEXTS = ['foo', 'FOO', 'Foo', 'bar', 'oo', 'f&oo', 'o b', '"', '//', '', 'foo"', "'", '-x', '/*', 'r',
         # As regular expressions too (each also a literal text).
         'fo+', 'b.r', '\\bfoo\\b', '[fb]oo', 'o|r', '^foo', '\\w+\\s']
PATTERNS = ['*.*', '*.c', '*.c;*.h', '*.h *.c', '*.txt;;*.c', 'a*', '*.C', '*.c;', '*.cpp;d.txt']
# How a file's text is written: mostly ANSI, else UTF-8 or UTF-16 with a mark.
FORMS = [None] * 6 + ['utf-8', '\ufeff:utf-8', '\ufeff:utf-16-le', '\ufeff:utf-16-be']


def make_tree(root, rng):
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    for _ in range(rng.randint(3, 12)):
        path = os.path.join(root, rng.choice(FOLDERS), rng.choice(NAMES))
        lines = []
        for _ in range(rng.randint(0, 8)):
            words = [rng.choice(WORDS) for _ in range(rng.randint(0, 6))]
            lines.append(b' '.join(words) + rng.choice(ENDS))
        data = b''.join(lines)[:-1] if lines and rng.random() < 0.2 else b''.join(lines)
        form = rng.choice(FORMS)
        if form:
            mark, _, codec = form.rpartition(':')
            data = (mark + data.decode('cp1252')).encode(codec)
        write(path, data)


def toggle_keys(option):
    """The keys that toggle one check box. The ampersand box has no
    accelerator: strings only (alt+s) takes the focus, Down moves it on to the
    next box, Space toggles that, and alt+s puts strings only back."""
    if option.accelerator:
        return ['alt+' + option.accelerator]
    return ['alt+s', 'Down', 'space', 'alt+s']


def dialog_report(s, folder, text, patterns, toggles, first):
    process = s.start(s.args.program, launcher=True)
    s.fill_settings(text, patterns, winpath(folder) if first else None)
    for option in OPTIONS:
        if option.switch in toggles:
            s.keys(*toggle_keys(option))
    s.keys('Return')
    code, out = s.finish(process)
    check(code == 0, 'dialog run: exit code %d' % code)
    return out


def cli_report(s, folder, text, patterns, flags, quiet, threads):
    arguments = ['/' + option.switch for option in OPTIONS if option.switch in flags]
    arguments += ['/Q'] if quiet else []
    arguments += ['/J:%d' % threads]
    arguments += ['/T:' + patterns, '/F:' + winpath(folder), '--', text]
    process = s.wine(s.args.program, *arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = process.communicate(timeout=60)
    expected = 0 if out else 1
    check(process.returncode == expected and err == b'',
          'command line %r: exit code %d, %r' % (arguments, process.returncode, err))
    return out


def main():
    args = parse_arguments(('--runs', dict(type=int, default=RUNS)), ('--first-seed', dict(type=int, default=0)))
    s = Session(args)
    folder = os.path.join(args.work, 'tree')
    s.reg_delete()
    checked = ''  # the boxes the dialog will load checked
    failed = 0
    hits = found = 0
    started = time.time()
    for seed in range(args.first_seed, args.first_seed + args.runs):
        rng = random.Random(seed)
        make_tree(folder, rng)
        text, patterns = rng.choice(TEXTS + ['foo', 'oo']), rng.choice(PATTERNS)
        flags = ''.join(option.switch for option in OPTIONS if rng.random() < (0.6 if option.switch == 'D' else 0.35))
        toggles = ''.join(option.switch for option in OPTIONS if (option.switch in checked) != (option.switch in flags))
        try:
            from_dialog = dialog_report(s, folder, text, patterns, toggles, seed == args.first_seed)
            states = s.checked()
            check(states == flags, 'the dialog ran with boxes %r, not %r' % (states, flags))
            checked = flags
            # The dialog searches on the default number of threads, the
            # command line on one of these.
            from_cli = cli_report(s, folder, text, patterns, flags, quiet=seed % 2 == 1,
                                  threads=(1, 2, 3, 4, 8)[seed % 5])
            check(from_cli == from_dialog, 'reports differ:\n dialog  %r\n command %r' % (from_dialog, from_cli))
            hits += from_cli.count(b'\r\n')
            found += from_cli != b''
        except (Failure, subprocess.TimeoutExpired) as failure:
            failed += 1
            print('FAIL seed %d (text %r, patterns %r, boxes %r): %s' % (seed, text, patterns, flags, failure))
            s.screenshot('failed-diff-%d.png' % seed)
            s.clean_up()
            checked = s.checked()
        sys.stdout.flush()
    print('%d of %d runs equal, %d with hits, %d report lines compared (%.0f s)'
          % (args.runs - failed, args.runs, found, hits, time.time() - started))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
