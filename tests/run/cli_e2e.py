#!/usr/bin/env python3
"""End-to-end tests of Seekline's command line and of its report failures,
on the real Seekline.exe and Seekline.com under Wine: switches and defaults,
Unicode files, destinations, exit codes, bad input, the registry left alone,
a folder given to the program (and a lone argument to the console program),
Ctrl+C in a console (tmux), a pipe closed or stalled, a desktop report file
that cannot be created, a destination that fills up, and the README's
error-format line in the real Vim.

Runs inside the Wine fixture like e2e.py, on the helpers in
tests/support/seekline_e2e.py.
"""
import contextlib
import os
import random
import re
import resource
import shlex
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from seekline_e2e import (ANSI_SEARCHES, BIG_FILES, IDS, PROGRESS, RESULTS, ROOT, SETTINGS, check,  # noqa: E402
                          check_big_report, check_report, main, make_big_tree, make_files, make_unicode_tree, read,
                          wait_for, whole_lines, winpath, write)

# A stop or a closed pipe must end the program within a second; the bound
# leaves room for a loaded machine and is only a check that nothing hangs.
ENDS_WITHIN = 2.5
OLD_REPORT = b'an older report that must survive\r\n' * 3
# The stop cases run on one scanning thread and on the default number.
THREADS = (['/J:1'], [])

TREE = {
    'a.c': b'int needle = 1;\r\nx = Needle; // needle\r\n',
    'b.h': b'// needle in a comment\r\n',
    'c.txt': b'needle\r\n',
    's.c': b'puts("a needle");\r\nmenu("N&eedle");\r\n',
    'u.c': b'say("caf\xe9 needle");\r\n',
    'sub/d.c': b'x\r\n  NEEDLE();\r\n',
    'dash.txt': b'a/b -- c\r\n',
    'long.txt': b'n' * 1021 + b'\r\n',
    'TODO': b'// TODO: more\r\n',
    'posix.txt': b'a019b\r\nd]]\r\n',
}


class Cli:
    """Runs the programs with arguments, from the shell or through the
    launcher, and keeps the desktop report file in view."""

    def __init__(self, session):
        self.s = session
        self.args = session.args
        self.tree = os.path.join(self.args.work, 'tree')
        self.big = os.path.join(self.args.work, 'big')

    def popen(self, arguments, program=None, cwd=None, stdout=subprocess.PIPE,
              stderr=subprocess.PIPE, preexec_fn=None):
        return self.s.wine(program or self.args.program, *arguments, cwd=cwd or self.tree, stdout=stdout,
                           stderr=stderr, stdin=subprocess.DEVNULL, preexec_fn=preexec_fn)

    def run(self, arguments, **options):
        process = self.popen(arguments, **options)
        out, err = process.communicate(timeout=60)
        return process.returncode, out or b'', err or b''

    def launch(self, arguments, no_output=False, preexec_fn=None, cwd=None):
        """Through the launcher: a caller's pipe, or no standard handles at all."""
        launcher = [self.args.launcher] + (['--no-output'] if no_output else [])
        return self.s.wine(*launcher, winpath(self.args.program), *arguments, cwd=cwd or self.tree,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           stdin=subprocess.DEVNULL, preexec_fn=preexec_fn)

    def old_report(self):
        write(self.s.report, OLD_REPORT)

    def check_old_report(self, what):
        check(os.path.isfile(self.s.report) and read(self.s.report) == OLD_REPORT,
              '%s: the existing desktop report did not survive' % what)


def make_tree(root):
    shutil.rmtree(root, ignore_errors=True)
    for name, data in TREE.items():
        write(os.path.join(root, name), data)


def hit_lines(folder, hits, typed=None):
    """Report lines for (file, line, column) hits, the text taken from the
    file, the folder named as typed (by default its full path)."""
    lines = []
    for name, number, column in hits:
        with open(os.path.join(folder, name.replace('\\', '/')), 'rb') as f:
            text = re.split(rb'\r\n|\r|\n', f.read())[number - 1][:259]
        path = ((typed or winpath(folder)) + '\\' + name.replace('/', '\\')).encode('cp1252')
        lines.append(b'%s(%d,%d) : %s\r\n' % (path, number, column, text))
    return lines


def no_signal_limit(limit):
    """A file-size limit for the process. Wine leaves SIGXFSZ at its default,
    which kills the process at the first write past the limit; ignored, the
    write fails (EFBIG) and the program sees the failure."""
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


@contextlib.contextmanager
def read_only_folder(path):
    """A read-only mount of the folder (root ignores permission bits), or its
    write permission taken away for other users."""
    if os.geteuid() == 0 and subprocess.run(['mount', '--bind', path, path]).returncode == 0:
        try:
            subprocess.run(['mount', '-o', 'remount,ro,bind', path, path], check=True)
            yield
        finally:
            subprocess.run(['umount', path], check=True)
    else:
        os.chmod(path, 0o555)
        try:
            yield
        finally:
            os.chmod(path, 0o755)


@contextlib.contextmanager
def read_only_file(path):
    """A file that cannot be opened for writing, even by root (immutable)."""
    root = os.geteuid() == 0
    subprocess.run(['chattr', '+i', path], check=True) if root else os.chmod(path, 0o444)
    try:
        yield
    finally:
        subprocess.run(['chattr', '-i', path], check=True) if root else os.chmod(path, 0o644)


@contextlib.contextmanager
def small_file_system(path, size='64k'):
    """A tmpfs of the given size at path; None where mounting is not allowed."""
    os.makedirs(path, exist_ok=True)
    if subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=' + size, 'tmpfs', path],
                      stderr=subprocess.DEVNULL).returncode != 0:
        yield None
        return
    try:
        yield path
    finally:
        subprocess.run(['umount', path], check=True)


class Tmux:
    """A terminal for the console program: tmux runs a shell, keys are typed
    into it and the screen is read back."""

    def __init__(self, cli, name):
        self.name = name
        self.cli = cli
        subprocess.run(['tmux', 'kill-session', '-t', name], stderr=subprocess.DEVNULL)
        subprocess.run(['tmux', 'new-session', '-d', '-s', name, '-x', '200', '-y', '50',
                        'sh'], env=cli.s.env, check=True)

    def type(self, line):
        subprocess.run(['tmux', 'send-keys', '-t', self.name, '-l', line], check=True)
        subprocess.run(['tmux', 'send-keys', '-t', self.name, 'Enter'], check=True)

    def key(self, name):
        subprocess.run(['tmux', 'send-keys', '-t', self.name, name], check=True)

    def screen(self):
        return subprocess.run(['tmux', 'capture-pane', '-p', '-J', '-t', self.name],
                              capture_output=True, check=True).stdout.decode('utf-8', 'replace')

    def close(self):
        subprocess.run(['tmux', 'kill-session', '-t', self.name], stderr=subprocess.DEVNULL)

    def wine_command(self, arguments, program):
        return shlex.join(self.cli.s.command(program, *arguments))


# --- the cases -------------------------------------------------------------------

SWITCH_CASES = [
    # arguments, hits (file, line, column) in report order, where the order is fixed
    (['needle'], [('a.c', 1, 5), ('a.c', 2, 5), ('b.h', 1, 4), ('c.txt', 1, 1), ('s.c', 1, 9),
                  ('u.c', 1, 11)]),
    (['/C', 'needle'], [('a.c', 1, 5), ('a.c', 2, 16), ('b.h', 1, 4), ('c.txt', 1, 1), ('s.c', 1, 9),
                        ('u.c', 1, 11)]),
    (['/I', 'needle'], [('a.c', 1, 5), ('a.c', 2, 5), ('c.txt', 1, 1), ('s.c', 1, 9), ('u.c', 1, 11)]),
    (['/S', 'needle'], [('s.c', 1, 9), ('u.c', 1, 11)]),
    (['/T:s.c', '/S', '/A', 'needle'], [('s.c', 1, 9), ('s.c', 2, 7)]),
    (['/D', '/T:*.c', 'needle'], [('a.c', 1, 5), ('a.c', 2, 5), ('s.c', 1, 9), ('u.c', 1, 11),
                                  ('sub\\d.c', 2, 3)]),
    (['/T:*.h;c.txt', 'needle'], [('b.h', 1, 4), ('c.txt', 1, 1)]),
    (['/T:*.h c.txt', 'needle'], [('b.h', 1, 4), ('c.txt', 1, 1)]),
    # Letters in either case, and "-" for "/".
    (['-d', '/t:*.c', '-c', 'NEEDLE'], [('sub\\d.c', 2, 3)]),
    (['/T:c.txt', ''], [('c.txt', 1, 1), ('c.txt', 2, 1)]),
    (['/T:*.h', '--', '// needle'], [('b.h', 1, 1)]),
    (['/T:u.c', 'caf\u00e9'], [('u.c', 1, 6)]),  # every letter folds
    (['/T:u.c', '/C', 'caf\u00e9'], [('u.c', 1, 6)]),
    # A lone "/" or "-" is a text, not a switch; so is a second "--".
    (['/T:dash.txt', '/'], [('dash.txt', 1, 2)]),
    (['/T:dash.txt', '-'], [('dash.txt', 1, 5)]),
    (['/T:dash.txt', '--', '--'], [('dash.txt', 1, 5)]),
    # The longest text a search keeps.
    (['/T:long.txt', 'N' * 1021], [('long.txt', 1, 1)]),
    # The number of threads leaves the report as it is.
    (['/J:3', '/D', '/T:*.c', 'needle'], [('a.c', 1, 5), ('a.c', 2, 5), ('s.c', 1, 9), ('u.c', 1, 11),
                                          ('sub\\d.c', 2, 3)]),
    (['-j:1', '/T:*.h;c.txt', 'needle'], [('b.h', 1, 4), ('c.txt', 1, 1)]),
    # Whole words: "needle" inside "Needles" or "needle_" is none.
    (['/W', '/T:*.c', 'needle'], [('a.c', 1, 5), ('a.c', 2, 5), ('s.c', 1, 9), ('u.c', 1, 11)]),
    (['/W', '/T:*.c', 'needl'], []),
    # Regular expressions: through a literal, through the DFA, with whole
    # words, and the "&" variants left out.
    (['/R', '/T:a.c', 'n[a-z]+e\\b'], [('a.c', 1, 5), ('a.c', 2, 5)]),
    (['/R', '/T:c.txt', '^\\w+$'], [('c.txt', 1, 1)]),
    (['/R', '/W', '/C', '/T:*.h', '\\w+'], [('b.h', 1, 4)]),
    (['-r', '/S', '/A', '/T:s.c', 'N&?eedle'], [('s.c', 1, 9), ('s.c', 2, 7)]),
    # Exclusions: alone they stand for *.* and them; a folder's is not
    # entered; names match in any case.
    (['/T:!*.txt;!*.h;!TODO', 'needle'], [('a.c', 1, 5), ('a.c', 2, 5), ('s.c', 1, 9), ('u.c', 1, 11)]),
    (['/D', '/T:*.c;!SUB\\', 'needle'], [('a.c', 1, 5), ('a.c', 2, 5), ('s.c', 1, 9), ('u.c', 1, 11)]),
    (['/D', '/T:*.c !S*.C', 'needle'], [('a.c', 1, 5), ('a.c', 2, 5), ('u.c', 1, 11), ('sub\\d.c', 2, 3)]),
    # Named classes, not a class of "[:digit" and a "]".
    (['/R', '/T:posix.txt', '[[:digit:]]+'], [('posix.txt', 1, 2)]),
    (['/R', '/T:posix.txt', '[^[:alpha:][:digit:]]'], [('posix.txt', 2, 2)]),
    # A character the code page cannot spell, with Unicode files.
    (['/R', '/U', '/T:c.txt', '\u4e2d'], []),
]


def switches_and_defaults(c):
    """Every switch, the defaults (current folder, *.*), the exit codes 0 and
    1; the report goes to the pipe and no desktop file is made."""
    make_tree(c.tree)
    if os.path.exists(c.s.report):
        os.remove(c.s.report)
    for arguments, hits in SWITCH_CASES:
        code, out, err = c.run(arguments)
        expected = hit_lines(c.tree, hits)
        lines = whole_lines(out)
        # Within a folder files come in the platform's order; the patterns and
        # passes fix the rest.
        if len({name.split('\\')[0] for name, _, _ in hits}) > 2:
            lines, expected = sorted(lines), sorted(expected)
        check(lines == expected, '%r: report %r, not %r (exit code %d, %r, desktop file %s)'
              % (arguments, lines, expected, code, err, os.path.exists(c.s.report)))
        check(code == (0 if hits else 1), '%r: exit code %d' % (arguments, code))
        check(err == b'', '%r: standard error %r' % (arguments, err))
    # The folder switch, from another current folder, and both programs; a
    # folder typed with trailing spaces or dots is the one the platform's path
    # functions read, and the report names it as typed.
    sub = winpath(c.tree) + '\\sub'
    for program, typed in ((c.args.program, sub), (c.args.console, sub), (c.args.console, sub + ' '),
                           (c.args.console, sub + '..'), (c.args.program, sub + '. .')):
        code, out, err = c.run(['/F:' + typed, 'needle'], program=program, cwd=c.args.work)
        expected = b''.join(hit_lines(os.path.join(c.tree, 'sub'), [('d.c', 2, 3)], typed))
        check(code == 0 and out == expected, '/F:%r with %s: %d %r %r' % (typed, program, code, out, err))
    check(not os.path.exists(c.s.report), 'a desktop report file was made')


UNICODE_SEARCHES = ['開啟檔案', 'CAFÉ', 'file', 'σ', 'ΣΟΦΊΑ', 'ς', '', '😀 file', '&']


def unicode_files(c):
    """/U: UTF-8 files with and without a mark and UTF-16LE and BE files with
    one are searched as characters, ANSI files as they were, each against the
    report the files give (Python's codecs, the platform's upper-casing).
    Without /U every file is searched as before, and a text the code page
    cannot hold is refused."""
    folder = os.path.join(c.args.work, 'unicode')
    make_unicode_tree(folder)
    upper = c.s.upper_case()
    found = 0
    searches = [(text, switches) for text in UNICODE_SEARCHES for switches in ('U', 'UISA', '')]
    searches += [('file', 'UC'), ('σ', 'UC'), ('file', 'SA'), ('FILE', 'UI')]
    for text, switches in searches:
        arguments = ['/' + letter for letter in switches] + ['/D', '/F:' + winpath(folder), '--', text]
        code, out, err = c.run(arguments)
        if 'U' not in switches and text.encode('cp1252', 'replace') != text.encode('cp1252', 'ignore'):
            check(code == 2 and out == b'' and b'code page 1252 cannot hold' in err and b'/U' in err,
                  '%r: %d %r %r' % (arguments, code, out, err))
            continue
        lines = check_report(out, folder, text, switches, upper)
        check(code == (0 if lines else 1) and err == b'', '%r: exit code %d, %r' % (arguments, code, err))
        found += lines
    check(found > 80, 'only %d report lines' % found)


def ansi_code_pages(c):
    """Text found as typed in ANSI files of code pages 1252, 950 and 65001:
    every letter folds, and a double-byte character is one character."""
    folder = os.path.join(c.args.work, 'code-pages')
    for locale, files, switches, text, hits in ANSI_SEARCHES:
        make_files(folder, files)
        arguments = switches + [text]
        env = dict(c.s.env, LANG=locale + '.UTF-8')
        process = c.s.wine(c.args.console, '/Q', '/F:' + winpath(folder), *arguments, env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
        out, err = process.communicate(timeout=60)
        expected = b''.join(hit_lines(folder, hits))
        check(out == expected and process.returncode == (0 if hits else 1),
              '%s %r: %d %r, not %r (%r)' % (locale, arguments, process.returncode, out, expected, err))


def usage_and_bad_input(c):
    """/? prints the usage with the exit codes. Bad input: one line naming the
    problem on standard error, exit code 2, nothing searched, the desktop
    report untouched; without standard handles a message box says it, and in
    the no-window mode nothing does."""
    make_tree(c.tree)
    for switch in ('/?', '-?'):
        code, out, _ = c.run([switch])
        check(code == 0 and b'Exit codes: 0 found, 1 not found, 2 bad usage or error' in out
              and b'/T:patterns' in out and b'"cannot read" line' in out and b'/J:n' in out
              and b'/W           match whole word' in out and b'/G           skip what git ignores' in out
              and b'/B           skip binary files' in out
              and b'No back-references, no look-around.' in out and b'[:^alpha:]' in out,
              'usage %s: %d %r' % (switch, code, out))
    c.old_report()
    too_long = 'x' * 260
    bad = [
        (['/X', 'needle'], 'unknown switch /X'),
        (['/CD', 'needle'], 'unknown switch /CD'),
        (['/C:yes', 'needle'], 'switch /C takes no value'),
        (['/T', 'needle'], 'switch /T needs a value'),
        (['/F:', 'needle'], 'switch /F: needs a value'),
        (['/D'], 'no search text'),
        (['needle', 'more'], 'more than one search text (more)'),
        (['needle', '/D'], 'switch /D after the search text'),
        (['/F:no such folder', 'needle'], 'no such folder: no such folder'),
        (['/F:a.c', 'needle'], 'not a folder but a file: a.c'),
        (['\u0100bc'], 'characters that code page 1252 cannot hold'),
        (['\u4e2d'], 'characters that code page 1252 cannot hold'),
        (['/T:' + too_long, 'needle'], 'pattern list too long'),
        (['/F:' + too_long, 'needle'], 'folder too long'),
        (['y' * 1022], 'search text too long'),
        (['-x'], 'unknown switch -x'),
        (['/J', 'needle'], 'switch /J needs a number of threads from 1 to 64'),
        (['/J:0', 'needle'], 'switch /J:0 needs a number of threads from 1 to 64'),
        (['/J:65', 'needle'], 'switch /J:65 needs a number of threads'),
        (['/J:2x', 'needle'], 'switch /J:2x needs a number of threads'),
        (['/R', 'a(b'], 'bad regular expression: unmatched ( at position 2'),
        (['/R', '/U', '*x'], 'bad regular expression: nothing to repeat at position 1'),
        (['/R', 'x{3,2}'], 'bad regular expression: repetition counts out of order at position 2'),
        (['/R', '/W', 'a\\1'], 'bad regular expression: back-references are not supported at position 2'),
        (['/R', '(?=a)'], 'bad regular expression: look-around is not supported at position 1'),
        (['/T:*.c;!sub\\*.c', 'needle'], 'the exclusion !sub\\*.c names a path'),
        # A pattern whose compile would take too long, though it compiles to nothing.
        (['/R', '((((){1000}){1000}){1000}){1000}'], 'bad regular expression: pattern too large at position 27'),
        (['/R', '[[:foo:]]'], 'bad regular expression: unknown class [:foo:] at position 2'),
        (['/R', '[:digit:]'], 'bad regular expression: [:digit:] outside brackets: write [[:digit:]] at position 1'),
        (['/R', 'a[b\u4e2d]'], 'the pattern has a character that code page 1252 cannot hold, ? (U+4E2D) at position 4: '
                               'tick Unicode files (or give /U)'),
    ]
    for arguments, words in bad:
        code, out, err = c.run(arguments)
        message = err.decode('cp1252')
        check(code == 2, '%r: exit code %d' % (arguments[:2], code))
        check(out == b'', '%r: report %r' % (arguments[:2], out))
        check(message == 'Seekline: ' + message[10:].strip() + '\r\n' and words in message,
              '%r: message %r' % (arguments[:2], message))
        c.check_old_report(words)
    # Without standard output or error: a message box, or in /Q nothing.
    process = c.launch(['/X', 'needle'], no_output=True)
    message = c.s.message_box('switch /X')
    check(process.wait(timeout=30) == 2, 'exit code after the message box')
    check(message.count('Unknown switch /X') == 1, 'message box %r' % message)
    process = c.launch(['/Q', '/X', 'needle'], no_output=True)
    check(process.wait(timeout=30) == 2, 'exit code without window')
    c.check_old_report('bad input without standard handles')


def git(*arguments):
    subprocess.run(['git'] + list(arguments), check=True, capture_output=True,
                   env=dict(os.environ, GIT_CONFIG_NOSYSTEM='1', HOME='/nonexistent'))


def binary_ignored_and_unlisted(c):
    """/B passes over binary files and /G what git ignores, in silence; a
    folder that cannot be listed (held by another program that shares it
    with nobody) is named on standard error and the search goes on; when it
    is the folder to search, nothing was searched: the line says so and the
    exit code is 2 (a message box without standard error, nothing with /Q)."""
    folder = os.path.join(c.args.work, 'repository')
    shutil.rmtree(folder, ignore_errors=True)
    for name, data in (('a.c', b'needle\n'), ('b.o', b'needle\n'), ('keep.o', b'needle\n'), ('build/x.c', b'needle\n'),
                       ('data.bin', b'needle\0\n'), ('sub/y.c', b'needle\n'), ('sub/z.h', b'needle\n'),
                       ('.gitignore', b'build/\n*.o\n!keep.o\n'), ('sub/.gitignore', b'*.C\n')):
        write(os.path.join(folder, name), data)
    git('init', '-q', folder)
    every = ['a.c', 'b.o', 'build\\x.c', 'data.bin', 'keep.o', 'sub\\y.c', 'sub\\z.h']
    for switches, names in (([], every), (['/G'], ['a.c', 'data.bin', 'keep.o', 'sub\\z.h']),
                            (['/B'], [n for n in every if n != 'data.bin']), (['/B', '/G'], ['a.c', 'keep.o', 'sub\\z.h'])):
        code, out, err = c.run(switches + ['/D', 'needle'], cwd=folder)
        check(code == 0 and err == b'' and sorted(whole_lines(out)) == sorted(hit_lines(folder, [(n, 1, 1) for n in names])),
              '%r: %d %r %r' % (switches, code, out, err))
    with c.s.holding('--lock', os.path.join(folder, 'sub')):
        code, out, err = c.run(['/D', '/T:*.h;*.c', 'needle'], cwd=folder)
        check(code == 0 and sorted(whole_lines(out)) == sorted(hit_lines(folder, [('a.c', 1, 1), ('build\\x.c', 1, 1)]))
              and err == b'Seekline: cannot read folder %s\\sub: Sharing violation.\r\n' % winpath(folder).encode(),
              'a folder held: %d %r %r' % (code, out, err))
    typed = winpath(folder) + '\\sub'
    with c.s.holding('--lock', os.path.join(folder, 'sub')):
        for program in (c.args.program, c.args.console):
            for quiet in ([], ['/Q']):
                code, out, err = c.run(quiet + ['/F:' + typed, 'needle'], program=program)
                check(code == 2 and out == b'' and err == b'Seekline: cannot read folder %s: Sharing violation. '
                      b'Nothing was searched.\r\n' % typed.encode(), 'the folder to search held: %d %r %r'
                      % (code, out, err))
        process = c.launch(['/F:' + typed, 'needle'], no_output=True)
        message = c.s.message_box('Nothing was searched')
        check(process.wait(timeout=30) == 2 and 'Cannot read folder %s: Sharing violation.' % typed in message,
              'no standard error: %d %r' % (process.returncode, message))
        process = c.launch(['/Q', '/F:' + typed, 'needle'], no_output=True)
        check(process.wait(timeout=30) == 2, 'no standard error, /Q: %d' % process.returncode)


def destinations(c):
    """The report goes to standard output whatever it is (a file, a caller's
    pipe), else to the desktop file."""
    make_tree(c.tree)
    expected = b''.join(hit_lines(c.tree, [('b.h', 1, 4), ('c.txt', 1, 1)]))
    arguments = ['/T:*.h;c.txt', 'needle']
    if os.path.exists(c.s.report):
        os.remove(c.s.report)
    target = os.path.join(c.args.work, 'report-file.txt')
    with open(target, 'wb') as f:
        code, _, _ = c.run(arguments, stdout=f)
    check(code == 0 and read(target) == expected, 'to a file: %d %r' % (code, read(target)))
    process = c.launch(arguments)
    out, _ = process.communicate(timeout=60)
    check(process.returncode == 0 and out == expected, 'to a caller: %d %r' % (process.returncode, out))
    check(not os.path.exists(c.s.report), 'a desktop report file was made')
    for extra in ([], ['/Q']):
        c.old_report()
        process = c.launch(extra + arguments, no_output=True)
        check(process.wait(timeout=60) == 0, 'no standard output: exit code %d' % process.returncode)
        check(read(c.s.report) == expected, 'desktop report %r' % read(c.s.report))
    process = c.launch(['/Q', 'no such text'], no_output=True)
    check(process.wait(timeout=60) == 1 and read(c.s.report) == b'', 'no hit: %d' % process.returncode)


def registry_left_alone(c):
    """A command-line run neither reads nor writes the settings' registry key."""
    make_tree(c.tree)
    c.s.reg_delete()
    code, _, _ = c.run(['/Q', 'needle'])
    check(code == 0 and c.s.reg_query() == {}, 'the key was made')
    stored = {'TXT1': 'other', 'EXT1': '*.h', 'DIR1': winpath(c.args.work), 'Cas': 'Y', 'Com': 'Y',
              'Str': 'Y', 'Amp': 'Y', 'Sub': 'Y'}
    c.s.reg_add(stored)
    code, out, _ = c.run(['needle'])
    expected = hit_lines(c.tree, SWITCH_CASES[0][1])
    check(sorted(whole_lines(out)) == sorted(expected), 'the stored settings changed the search: %r' % out)
    check(c.s.reg_query() == stored, 'the key changed: %r' % c.s.reg_query())


def folder_given_to_the_program(c):
    """One existing folder (or file) and nothing else opens the settings
    dialog on that folder; the rest of the history is as usual, and Search
    runs it as a dialog run does. The console program, typed at a prompt and
    never dropped on, searches for a lone argument that names a file or a
    folder."""
    make_tree(c.tree)
    for text, hits in (('TODO', [('TODO', 1, 4)]), ('sub', [])):
        code, out, err = c.run([text], program=c.args.console)
        check(code == (0 if hits else 1) and out == b''.join(hit_lines(c.tree, hits)) and err == b'',
              'Seekline.com %s: %d %r %r' % (text, code, out, err))
    c.s.reg_delete()
    c.s.reg_add({'TXT1': 'NEEDLE', 'EXT1': '*.c', 'Lst': 'N'})
    for given, folder in ((winpath(c.tree) + '\\sub', winpath(c.tree) + '\\sub'),
                          ('sub\\d.c', winpath(c.tree) + '\\sub')):
        c.old_report()
        process = c.popen([given], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        c.s.running = process
        c.s.find_window(SETTINGS)
        wait_for(lambda: c.s.window_texts(SETTINGS).get(IDS.IDC_FOLDER), 'the folder box to fill')
        texts = c.s.window_texts(SETTINGS)
        check(texts.get(IDS.IDC_FOLDER) == folder and texts.get(IDS.IDC_SEARCH_TEXT) == 'NEEDLE'
              and texts.get(IDS.IDC_FILE_TYPES) == '*.c',
              'dialog boxes %r' % texts)
        c.s.fill_settings()
        c.s.keys('Return')
        check(process.wait(timeout=60) == 0, 'exit code %d' % process.returncode)
        expected = b''.join(hit_lines(c.tree, [('sub\\d.c', 2, 3)]))
        check(read(c.s.report) == expected, 'desktop report %r' % read(c.s.report))
        check(c.s.reg_query().get('DIR1') == folder, 'history %r' % c.s.reg_query())


def console_and_ctrl_c(c):
    """Seekline.com in a terminal: the report shows in the console, with its
    characters; Ctrl+C cancels with the first hits of the report written in
    whole lines (exit code 3), with the progress dialog and without, on one
    thread and on the default number, and ends within a second even when the
    report's reader has stalled."""
    make_tree(c.tree)
    make_big_tree(c.big)
    terminal = Tmux(c, 'seekline-cli')
    try:
        done = os.path.join(c.args.work, 'exit-code')

        def start(arguments, redirect=''):
            for stale in (done, out):
                if os.path.exists(stale):
                    os.remove(stale)
            terminal.type('cd %s && %s %s; echo $? > %s' % (
                c.big if redirect else c.tree, terminal.wine_command(arguments, c.args.console),
                redirect, done))

        def exit_code():
            wait_for(lambda: os.path.exists(done) and read(done).strip(), 'the program to end')
            return int(read(done))

        out = os.path.join(c.args.work, 'ctrl-c.txt')
        start(['/T:u.c;b.h', 'needle'])
        check(exit_code() == 0, 'console run: exit code')
        screen = terminal.screen()
        for line in ('%s\\u.c(1,11) : say("caf\u00e9 needle");' % winpath(c.tree),
                     '%s\\b.h(1,4) : // needle in a comment' % winpath(c.tree)):
            check(line in screen, 'not on the console: %r in %r' % (line, screen))

        # Ctrl+C while the request is built, half way through the compiles of
        # a pattern at its budget (Unicode files: four of them), well after
        # the program's start: a cancel, with nothing written.
        slow = '((){1000}){130}' * 68

        def took(arguments):
            begun = time.time()
            start(arguments, '> ' + out)
            exit_code()
            return time.time() - begun

        started = max(took(['/Q', '/F:no such folder', 'x']) for _ in range(2))
        built = min(took(['/Q', '/R', '/U', '/T:none', slow]) for _ in range(2))
        if built - started < 0.15:
            print('the compiles took only %.2f s: too short to press Ctrl+C in' % (built - started))
        else:
            start(['/Q', '/R', '/U', '/T:none', slow], '> ' + out)
            time.sleep(started + (built - started) / 2)
            terminal.key('C-c')
            check(exit_code() == 3 and read(out) == b'', 'Ctrl+C while the request is built: exit code %s' % read(done))

        # Ctrl+C at a random moment after the first hits.
        rng = random.Random(3)
        for threads in THREADS:
            for window in ([], ['/Q']):
                start(threads + window + ['/D', 'needle'], '> ' + out)
                wait_for(lambda: os.path.exists(out) and os.path.getsize(out) > 0, 'the first hits')
                time.sleep(rng.random() * 0.5)
                terminal.key('C-c')
                what = threads + window
                check(exit_code() == 3, 'Ctrl+C %r: exit code' % what)
                found = check_big_report(read(out), complete=False)
                check(0 < found < BIG_FILES, 'Ctrl+C %r: %d hits' % (what, found))

        # A reader that never reads: Ctrl+C must still end the program.
        fifo = os.path.join(c.args.work, 'stalled')
        if os.path.exists(fifo):
            os.remove(fifo)
        os.mkfifo(fifo)
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        try:
            for threads in THREADS:
                start(threads + ['/Q', '/D', 'needle'], '> ' + fifo)
                time.sleep(2)  # long enough to fill the pipe
                check(not os.path.exists(done), 'the search ended while its reader stalled')
                stopped = time.time()
                terminal.key('C-c')
                code = exit_code()
                took = time.time() - stopped
                check(code == 3 and took < ENDS_WITHIN,
                      'stalled pipe %r: exit code %d after %.1f s' % (threads, code, took))
                # Empty the pipe for the next run.
                while True:
                    try:
                        if not os.read(reader, 1 << 16):
                            break
                    except BlockingIOError:
                        break
        finally:
            os.close(reader)
    finally:
        terminal.close()


def closed_pipe(c):
    """A reader that closes the pipe after a random number of the first
    bytes (| head): the program ends within a second, quietly, with exit
    code 0, on one thread and on the default number; what the reader got is
    the start of the whole report."""
    make_big_tree(c.big)
    c.old_report()
    rng = random.Random(5)
    for threads in THREADS:
        for window in (['/Q'], []):
            what = threads + window
            process = c.popen(what + ['/D', 'needle'], cwd=c.big)
            first = process.stdout.read(rng.randint(1, 60000))
            process.stdout.close()
            closed = time.time()
            code = process.wait(timeout=60)
            took = time.time() - closed
            err = process.stderr.read()
            check(code == 0 and took < ENDS_WITHIN, '%r: exit code %d after %.1f s' % (what, code, took))
            check(err == b'' and first.startswith(b'Z:'), '%r: %r %r' % (what, err, first))
            check_big_report(first[:first.rfind(b'\n') + 1], complete=False)
            c.check_old_report('closed pipe')
    # One file holds every hit, so the pipe closes while its report is on its
    # way: a hit was written, whoever closed what, so the exit code is 0.
    one = os.path.join(c.args.work, 'one-file')
    os.makedirs(one, exist_ok=True)
    write(os.path.join(one, 'n.txt'), b''.join(b'needle %d\r\n' % n for n in range(3000)))
    for threads in ('/J:1', '/J:2', '/J:8'):
        for count in (1, rng.randint(2, 70000), None):
            process = c.popen(['/Q', threads, 'needle'], cwd=one)
            got = process.stdout.read(count) if count else process.stdout.read()
            process.stdout.close()
            code = process.wait(timeout=60)
            err = process.stderr.read()
            check(code == 0 and err == b'', '%s, reader closing after %s bytes: exit code %d, %r'
                  % (threads, count or 'all', code, err))
            check(got[:2] in (b'Z', b'Z:'), '%s: %r' % (threads, got[:40]))


def frozen(c):
    """Whether the progress dialog shows the same file for half a second."""
    shown = c.s.window_texts(PROGRESS).get(IDS.IDC_CURRENT_FILE)
    time.sleep(0.5)
    return shown and shown == c.s.window_texts(PROGRESS).get(IDS.IDC_CURRENT_FILE)


def stalled_pipe_and_cancel(c):
    """A reader that stops reading without closing: Cancel ends the search
    within a second, in a command-line run (exit code 3), on one thread and
    on the default number, and in a dialog run through a caller's pipe (exit
    code 0)."""
    make_big_tree(c.big)
    c.old_report()
    for threads in THREADS:
        process = c.popen(threads + ['/D', 'needle'], cwd=c.big)  # the pipe is not read
        c.s.running = process
        c.s.find_window(PROGRESS)
        wait_for(lambda: frozen(c), 'the search to stall')
        stopped = time.time()
        c.s.keys('space')  # Cancel has the focus
        code = process.wait(timeout=60)
        took = time.time() - stopped
        check(code == 3 and took < ENDS_WITHIN, 'command line %r: exit code %d after %.1f s' % (threads, code, took))
        check_big_report(process.stdout.read().rsplit(b'\r\n', 1)[0] + b'\r\n', complete=False)
        c.check_old_report('stalled pipe')

    launcher = c.s.start(c.args.program, launcher=True)
    c.s.fill_settings('needle', '*.c', winpath(c.big), toggles=c.s.toggles('D'))
    c.s.keys('Return')
    c.s.find_window(PROGRESS)
    wait_for(lambda: frozen(c), 'the search to stall')
    stopped = time.time()
    c.s.keys('space')
    wait_for(lambda: not c.s.has_window(PROGRESS), 'the progress dialog to close')
    took = time.time() - stopped
    check(took < ENDS_WITHIN, 'dialog run: progress dialog open %.1f s after Cancel' % took)
    code, out = c.s.finish(launcher)
    check(code == 0, 'dialog run: exit code %d' % code)
    check_big_report(out.rsplit(b'\r\n', 1)[0] + b'\r\n', complete=False)


def report_file_cannot_be_created(c):
    """The desktop report file cannot be created: read-only desktop, a folder
    named Seekline.txt, the file read-only or held open by another program.
    The user is told before any search, with the file and the system's
    reason (in the dialog's words for a dialog run, with the results window
    or without), and an existing report stays as it was; exit code 0 for a
    dialog run, 2 for a command-line run (no message box with /Q)."""
    make_tree(c.tree)
    desktop = os.path.dirname(c.s.report)

    def attempts(situation, reason):
        for window in 'YN':
            c.s.reg_add({'Lst': window})
            process = c.s.start(c.args.program, launcher=False)
            c.s.fill_settings('needle', '*.c', winpath(c.tree))
            c.s.keys('Return')
            message = c.s.message_box('Seekline.txt')
            check(process.wait(timeout=30) == 0, '%s: dialog run exit code %d' % (situation, process.returncode))
            pattern = r'無法建立報告檔案 C:\\users\\[^\\]+\\Desktop\\Seekline\.txt：(.+\.) 沒有搜尋任何檔案。'
            m = re.search(pattern, message)
            check(m and reason in m.group(1).lower(), '%s: message %r' % (situation, message))
        process = c.launch(['needle'], no_output=True)
        check(reason in c.s.message_box('Seekline.txt').lower(), '%s: command-line message' % situation)
        check(process.wait(timeout=30) == 2, '%s: command-line exit code' % situation)
        process = c.launch(['/Q', 'needle'], no_output=True)
        check(process.wait(timeout=30) == 2, '%s: exit code with /Q' % situation)

    c.old_report()
    with read_only_folder(desktop):
        attempts('read-only desktop', '')
    c.check_old_report('read-only desktop')
    with read_only_file(c.s.report):
        attempts('read-only report', 'access denied')
    c.check_old_report('read-only report')
    with c.s.holding('--hold', c.s.report):
        attempts('report held open', 'sharing violation')
    c.check_old_report('report held open')
    os.remove(c.s.report)
    os.mkdir(c.s.report)
    try:
        attempts('report is a folder', 'access denied')
        check(os.path.isdir(c.s.report) and not os.listdir(c.s.report), 'the folder changed')
    finally:
        os.rmdir(c.s.report)


def report_fills_up(c):
    """A destination that fills up: the search stops, the report keeps whole
    lines only, and the user is told that it is incomplete and why. The desktop
    file under a 64 KiB file-size limit (dialog run: message box, exit 0;
    command line: exit 2), standard output on a 64 KiB file system. Where the
    platform refuses to cut the file back to its last whole line, the message
    says that the last line is cut."""
    make_big_tree(c.big)
    limit = 64 * 1024
    # With the results window, which stays open with the hits written.
    for window in 'NY':
        c.s.reg_add({'Lst': window})
        if os.path.exists(c.s.report):
            os.remove(c.s.report)
        process = c.s.wine(c.args.program, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           preexec_fn=no_signal_limit(limit))
        c.s.running = process
        c.s.fill_settings('needle', '*.c', winpath(c.big), toggles=c.s.toggles('D'))
        c.s.keys('Return')
        message = c.s.message_box('不完整')
        rows = None
        if window == 'Y':
            rows = len(c.s.list_view(RESULTS % 'needle')[1])
            c.s.keys('Escape')
        check(process.wait(timeout=30) == 0, 'dialog run: exit code %d' % process.returncode)
        check('\\Desktop\\Seekline.txt 不完整：' in message and '搜尋已在該處停止。' in message,
              'message %r' % message)
        report = read(c.s.report)
        check(limit - 200 < len(report) <= limit, 'report of %d bytes' % len(report))
        found = check_big_report(report, complete=False)
        check(window == 'N' or rows == found, '%r rows, %d report lines' % (rows, found))

    process = c.launch(['/Q', '/D', 'needle'], no_output=True, preexec_fn=no_signal_limit(limit), cwd=c.big)
    check(process.wait(timeout=60) == 2, 'command line: exit code %d' % process.returncode)
    check_big_report(read(c.s.report), complete=False)

    # One file of many hits, whose report goes out in writes of many whole
    # lines, and a limit inside a line half a buffer past 64 KiB, so that
    # lines of the failing write got in: the program's own report file is cut
    # back to the last of them; a handle the shell opened, which Wine does not
    # let the program cut back (SetEndOfFile fails with ERROR_INVALID_HANDLE),
    # keeps the start of the cut line, and the message says so.
    many = os.path.join(c.args.work, 'many')
    shutil.rmtree(many, ignore_errors=True)
    write(os.path.join(many, 'many.c'), b''.join(b'needle %d\r\n' % n for n in range(5000)))
    whole = os.path.join(c.args.work, 'whole.txt')
    with open(whole, 'wb') as f:
        c.run(['/Q', 'needle'], cwd=many, stdout=f)
    complete = read(whole)
    inside = complete.index(b'\r\n', limit + 4096) - 5
    process = c.launch(['/Q', 'needle'], no_output=True, preexec_fn=no_signal_limit(inside), cwd=many)
    check(process.wait(timeout=60) == 2 and read(c.s.report) == complete[:complete.rindex(b'\n', 0, inside) + 1],
          'cut back: exit code %d, %d bytes' % (process.returncode, len(read(c.s.report))))
    with open(whole, 'wb') as f:
        code, _, err = c.run(['/Q', 'needle'], cwd=many, stdout=f, preexec_fn=no_signal_limit(inside))
    check(code == 2 and read(whole) == complete[:inside], 'not cut back: exit code %d, %d bytes'
          % (code, len(read(whole))))
    check(re.match(rb'^Seekline: the report on standard output is incomplete: .+\. '
                   rb'The search was stopped there, and its last line is cut\.\r\n$', err), 'not cut back: %r' % err)

    # Standard output on a small file system, as a command prompt redirects
    # it (a Windows file handle), and as a Unix shell does, where the last
    # line may stay cut.
    c.old_report()
    with small_file_system(os.path.join(c.args.work, 'small')) as small:
        if small is None:
            print('no tmpfs can be mounted here: standard output under a file-size limit instead')
        limited = None if small else no_signal_limit(limit)
        target = os.path.join(small or c.args.work, 'report.txt')
        prompt = '%s /Q /D needle > %s' % (winpath(c.args.console), winpath(target))
        process = c.s.wine('cmd', '/c', prompt, cwd=c.big, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           preexec_fn=limited)
        _, err = process.communicate(timeout=60)
        check(process.returncode == 2, 'command prompt: exit code %d' % process.returncode)
        check(re.match(rb'^Seekline: the report on standard output is incomplete: .+\. '
                       rb'The search was stopped there\.\r\n$', err), 'command prompt: %r' % err)
        check(check_big_report(read(target), complete=False) > 0, 'nothing written')
        os.remove(target)
        with open(target, 'wb') as f:
            code, _, err = c.run(['/Q', '/D', 'needle'], cwd=c.big, stdout=f, preexec_fn=limited)
        cut = not read(target).endswith(b'\r\n')
        check(code == 2 and b'standard output is incomplete' in err and (b'its last line is cut' in err) == cut,
              'Unix shell: %d %r' % (code, err))
    c.check_old_report('full standard output')


def vim_reads_the_report(c):
    """The README's error-format line makes the real Vim's quickfix list take
    file, line, column and text of every report line, parentheses and spaces
    in the path included, and open a hit in a UTF-8 file at its character."""
    with open(os.path.join(ROOT, 'README.md'), encoding='utf-8') as f:
        lines = [line.strip() for line in f if line.strip().startswith('set errorformat')]
    check(len(lines) == 1, 'error-format lines in the README: %r' % lines)
    folder = os.path.join(c.args.work, 'vim', 'Program Files (x86)')
    shutil.rmtree(os.path.dirname(folder), ignore_errors=True)
    write(os.path.join(folder, 'a.c'), b'int needle;\r\n\tx = needle(1, 2) : needle;\r\n')
    write(os.path.join(folder, 'b(1).h'), b'/* (3,4) : */ needle\r\n')
    write(os.path.join(folder, 'u.cpp'), '/* 開啟檔案 */ needle; // é\n'.encode('utf-8'))
    code, report, _ = c.run(['/U', '/T:*.c;*.h;*.cpp', 'needle'], cwd=folder)
    check(code == 0, 'exit code %d' % code)
    report_file = os.path.join(c.args.work, 'vim', 'report.txt')
    write(report_file, report)
    result = os.path.join(c.args.work, 'vim', 'qf.txt')
    script = ("call writefile(map(getqflist(), "
              "'bufname(v:val.bufnr).\"|\".v:val.lnum.\"|\".v:val.col.\"|\".v:val.valid.\"|\".v:val.text'), "
              "'%s')" % result)
    subprocess.run(['vim', '-N', '-u', 'NONE', '-i', 'NONE', '-es', '-c', lines[0],
                    '-c', 'cgetfile ' + report_file, '-c', script, '-c', 'qa!'],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=60)
    entries = [line for line in read(result).decode('cp1252').splitlines()]
    expected = ['%s\\%s|%d|%d|1|%s' % (winpath(folder), name, line, column, text)
                for name, line, column, text in (('a.c', 1, 5, 'int needle;'),
                                                 ('a.c', 2, 6, '\tx = needle(1, 2) : needle;'),
                                                 ('b(1).h', 1, 15, '/* (3,4) : */ needle'),
                                                 ('u.cpp', 1, 20, '/* ???? */ needle; // é'))]
    check(entries == expected, 'quickfix list %r, not %r' % (entries, expected))
    # Columns of UTF-8 files count bytes, as Vim's do: the entry opens on
    # the hit, past the Chinese characters before it (the report's paths
    # made the Unix paths the Windows ones stand for).
    unix = report.replace(winpath(folder).encode('cp1252') + b'\\', folder.encode() + b'/')
    write(report_file, unix)
    script = ("call writefile([expand('%:t') . '|' . line('.') . '|' . col('.') . '|' . "
              "strpart(getline('.'), col('.') - 1)], '" + result + "')")
    subprocess.run(['vim', '-N', '-u', 'NONE', '-i', 'NONE', '-es', '-c', lines[0], '-c', 'cgetfile ' + report_file,
                    '-c', 'cc 4', '-c', script, '-c', 'qa!'],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=60)
    opened = read(result).decode('utf-8').strip()
    check(opened == 'u.cpp|1|20|needle; // é', 'Vim opened the hit at %r' % opened)


CASES = [
    switches_and_defaults,
    unicode_files,
    ansi_code_pages,
    usage_and_bad_input,
    binary_ignored_and_unlisted,
    destinations,
    registry_left_alone,
    folder_given_to_the_program,
    console_and_ctrl_c,
    closed_pipe,
    stalled_pipe_and_cancel,
    report_file_cannot_be_created,
    report_fills_up,
    vim_reads_the_report,
]


if __name__ == '__main__':
    sys.exit(main(CASES, Cli))
