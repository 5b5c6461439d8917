"""What the end-to-end drivers share (tests/run/*.py, tests/installer/):
the arguments they are given, the session on the Wine fixture's prefix and
headless display (programs, registry, windows, keys), the program's option
table and control ids read from its sources, waiting, the case runner, and
a model of the report, computed from the files (Python's codecs, the
platform's upper-casing), for searches of a tree in ANSI and Unicode forms.

A driver puts this folder on its module path and imports what it needs; its
own file holds only its cases.
"""
import argparse
import collections
import contextlib
import glob
import os
import re
import shutil
import subprocess
import sys
import time
import types

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
# The dialogs' captions (resources/*.rc); a message box has the settings
# dialog's.
SETTINGS = 'Seekline'
PROGRESS = '搜尋中'
# The results window's caption for a search text, in the program's own
# words and in the English satellite's (resources/Texts*.rc).
RESULTS = '「%s」的搜尋結果 - Seekline'
RESULTS_ENGLISH = 'Results for "%s" - Seekline'
# The settings' registry key. Written out here, not read from the program,
# so that a change of the key the settings are kept under fails the tests.
SETTINGS_KEY = 'HKCU\\Software\\Ombrel\\Seekline'
# What every driver is given (tests/CMakeLists.txt, SEEKLINE_E2E_PROGRAMS).
TOOLS = ('state', 'exec', 'program', 'console', 'satellite', 'launcher', 'window-texts', 'upper-case',
         'stand-in-editor', 'work')
CASES_ARGUMENT = ('cases', dict(nargs='*', help='names of the cases to run; all by default'))


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(condition, what, timeout=30, interval=0.1):
    """The first true value of condition(), asked every interval seconds.
    At the deadline: a failure, waiting in vain for what; or, with what
    None, the last false value."""
    deadline = time.time() + timeout
    while True:
        value = condition()
        if value or time.time() >= deadline:
            break
        time.sleep(interval)
    check(value or what is None, 'waited in vain for ' + str(what))
    return value


# --- the program's own tables, read from its sources ------------------------------

def source(path):
    with open(os.path.join(ROOT, path), encoding='utf-8') as f:
        return f.read()


# The resource and control ids: IDS.IDC_FOLDER is 1002.
IDS = types.SimpleNamespace(**{name: int(number) for name, number in
                               re.findall(r'^#define\s+(ID\w+)\s+(\d+)\s*$', source('resources/resource.h'), re.M)})

# A search option: its box's control id, its registry value, its
# command-line switch and the accelerator key of its box in the program's own
# settings dialog (None for a box without one).
Option = collections.namedtuple('Option', 'control value switch accelerator')


def read_options():
    """The options in the order of settings/OptionTable.cpp: those with a
    command-line switch, and the results window's box, which has none."""
    accelerators = {}
    dialog = source('resources/SettingsDialog.rc')
    for caption, control in re.findall(r'AUTOCHECKBOX\s+"([^"]*)",\s*(IDC_\w+)', dialog):
        key = re.search('&(.)', caption.replace('&&', ''))
        accelerators[control] = key.group(1).lower() if key else None
    table = source('settings/OptionTable.cpp')
    rows = re.findall(r'\{\s*&SearchOptions::\w+,\s*(IDC_\w+),\s*L"(\w+)",\s*(?:L\'(\w)\'|0),\s*\d\s*\}', table)
    check(rows and len(rows) == table.count('&SearchOptions::') and all(c in accelerators for c, _, _ in rows),
          'the option table in settings/OptionTable.cpp does not read')
    options = [Option(getattr(IDS, control), value, switch or None, accelerators[control])
               for control, value, switch in rows]
    return [o for o in options if o.switch], [o for o in options if not o.switch][0]


OPTIONS, LIST_RESULTS = read_options()


# --- arguments -----------------------------------------------------------------------

def parse_arguments(*extra):
    """The arguments every driver is given, and extra ones, (name, options)."""
    parser = argparse.ArgumentParser()
    for name in TOOLS:
        parser.add_argument('--' + name, required=True)
    for name, options in extra:
        parser.add_argument(name, **options)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    return args


# --- the session ---------------------------------------------------------------------

class Session:
    """The Wine fixture's prefix and display, read from its state folder
    (tests/wine/up.sh), and what a driver does there."""

    def __init__(self, args):
        self.args = args
        self.work = args.work
        with open(os.path.join(args.state, 'display')) as f:
            self.env = dict(os.environ, DISPLAY=':' + f.read().strip(), LANG='en_US.UTF-8')
        users = [d for d in glob.glob(os.path.join(args.state, 'prefix/drive_c/users/*/Desktop'))
                 if '/Public/' not in d]
        check(users, 'no desktop folder in the Wine prefix')
        # The prefix's user folder, C:\users\NAME.
        self.profile = os.path.dirname(users[0])
        # The report file lands wherever the prefix's desktop points.
        self.desktop = os.path.realpath(users[0])
        os.makedirs(self.desktop, exist_ok=True)
        self.report = os.path.join(self.desktop, 'Seekline.txt')
        self.running = None
        self.shots = os.path.join(args.work, 'shots')
        os.makedirs(self.shots, exist_ok=True)
        self.upper = None

    # --- processes -------------------------------------------------------
    def command(self, *command):
        """The command line that runs a Windows program in the prefix."""
        return ['sh', self.args.exec, self.args.state] + list(command)

    def wine(self, *command, env=None, **options):
        return subprocess.Popen(self.command(*command), env=env or self.env, **options)

    def start(self, program, launcher, stderr=subprocess.DEVNULL):
        """Starts the program, through the launcher (standard handles and a
        pipe for the report) or straight from the shell (no standard handles
        as far as the program can tell)."""
        if launcher:
            process = self.wine(self.args.launcher, winpath(program), stdout=subprocess.PIPE, stderr=stderr)
        else:
            process = self.wine(program, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.running = process
        return process

    def clean_up(self):
        """After a failed case: ends the program the case started, so that its
        windows do not mislead the next case."""
        if not self.running or self.running.poll() is not None:
            return
        # Wine starts a child Windows process as a child Unix process.
        victims = [self.running.pid]
        for pid in victims:
            for stat in glob.glob('/proc/[0-9]*/stat'):
                try:
                    with open(stat) as f:
                        fields = f.read().rsplit(')', 1)[1].split()
                except OSError:
                    continue
                if int(fields[1]) == pid:
                    victims.append(int(stat.split('/')[2]))
        for pid in reversed(victims):
            try:
                os.kill(pid, 9)
            except OSError:
                pass
        self.running.wait()

    def finish(self, process, timeout=60):
        out, _ = process.communicate(timeout=timeout)
        return process.returncode, out or b''

    def output(self, *command):
        """What a Windows program prints, as text."""
        process = self.wine(*command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        out, _ = process.communicate(timeout=60)
        return out.decode('utf-8', 'replace')

    @contextlib.contextmanager
    def holding(self, how, path):
        """While the block runs, the file at path is held open by another
        program: how is the launcher's --hold (shared as an editor does) or
        --lock (shared with nobody)."""
        holder = self.wine(self.args.launcher, how, winpath(path), stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            check(holder.stdout.readline() == b'held\n', '%s %s: the file could not be held' % (how, path))
            yield
        finally:
            holder.stdin.close()
            holder.wait(timeout=30)

    # --- the settings' registry key ------------------------------------------
    def reg_query(self):
        values = {}
        for line in self.output('reg', 'query', SETTINGS_KEY).splitlines():
            parts = line.split(None, 2)
            if len(parts) >= 2 and parts[1] == 'REG_SZ':
                values[parts[0]] = parts[2] if len(parts) > 2 else ''
        return values

    def reg_add(self, values):
        for name, value in values.items():
            self.wine('reg', 'add', SETTINGS_KEY, '/v', name, '/d', value, '/f',
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).wait(timeout=60)

    def reg(self, *arguments):
        """Runs Wine's reg with the arguments, forcing it."""
        self.wine('reg', *arguments, '/f', stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).wait(timeout=60)

    def reg_delete(self):
        self.wine('reg', 'delete', SETTINGS_KEY, '/f', stdout=subprocess.DEVNULL,
                  stderr=subprocess.DEVNULL).wait(timeout=60)

    def checked(self):
        """The switch letters of the options whose boxes the settings dialog
        loads checked."""
        stored = self.reg_query()
        return ''.join(option.switch for option in OPTIONS if stored.get(option.value) == 'Y')

    def toggles(self, wanted):
        """The accelerator keys that leave checked just the boxes of the
        options wanted (switch letters), of the boxes that have a key, from
        the states the settings dialog loads."""
        checked = self.checked()
        return ''.join(option.accelerator for option in OPTIONS
                       if option.accelerator and (option.switch in checked) != (option.switch in wanted))

    # --- the tests' helper programs -------------------------------------------
    def upper_case(self):
        """The platform's upper-casing, {code point: upper-case code point},
        read once from the tests' helper program."""
        if self.upper is None:
            out = self.output(self.args.upper_case)
            self.upper = {int(a, 16): int(b, 16) for a, b in (line.split() for line in out.splitlines())}
            check(len(self.upper) > 1000, 'the upper-case table has %d characters' % len(self.upper))
        return self.upper

    def window_texts(self, caption):
        """{control id: text} of the dialog with that caption."""
        texts = {}
        for line in self.output(self.args.window_texts, caption).splitlines():
            number, _, text = line.partition('\t')
            texts.setdefault(int(number), text)
        return texts

    def list_view(self, caption):
        """The column headings of the results window with that caption and
        its rows, each a list of its columns' texts (file, line, column, text)."""
        out = self.output(self.args.window_texts, '--rows', caption, str(IDS.IDC_RESULTS_LIST))
        lines = [line.split('\t') for line in out.split('\n')[:-1]]
        check(lines, 'no list in %s' % caption)
        return lines[0], lines[1:]

    def row_place(self, caption, row, what='--row-place'):
        """The screen point in the middle of a row of the results window, or
        with '--heading-place' of a column's heading."""
        out = self.output(self.args.window_texts, what, caption, str(IDS.IDC_RESULTS_LIST), str(row))
        check(out.strip(), '%s %d of %s has no place' % (what, row, caption))
        return out.split()

    def clipboard(self):
        return self.output(self.args.window_texts, '--clipboard')

    def search_over(self, caption):
        """Waits until the results window's search is over (its Stop button
        grey, the line above the counts naming the report), and returns the
        window's texts."""
        def over():
            texts = self.window_texts(caption)
            return texts if 'Seekline.txt' in texts.get(IDS.IDC_RESULTS_FILE, '') else None
        return wait_for(over, 'the search in %s to end' % caption)

    def message_box(self, words):
        """The text of the message box that shows words; then presses OK."""
        def shown():
            texts = self.window_texts(SETTINGS)
            message = ' '.join(texts.values())
            return message if words in message and IDS.IDC_SEARCH not in texts else None
        message = wait_for(shown, 'a message box saying %r' % words)
        self.keys('Return')
        return message

    # --- the display ----------------------------------------------------------
    def xdotool(self, *arguments):
        return subprocess.run(['xdotool'] + list(arguments), env=self.env, capture_output=True,
                              text=True, timeout=30).stdout

    def windows(self, caption):
        return self.xdotool('search', '--onlyvisible', '--name', '^%s$' % re.escape(caption)).split()

    # A loaded two-core machine has been seen to take over 30 s for a
    # program's first window under Wine.
    def find_window(self, caption, timeout=60):
        return wait_for(lambda: self.windows(caption), 'a window named ' + caption, timeout)[0]

    def has_window(self, caption):
        return bool(self.windows(caption))

    def keys(self, *names):
        for name in names:
            self.xdotool('key', name)
            time.sleep(0.05)

    def type(self, text):
        # "--" first, or xdotool takes a text such as "-x" for an option.
        self.xdotool('type', '--delay', '15', '--', text)

    def replace_field(self, text):
        """Replaces the text of the focused box with text, as typed."""
        self.keys('End', 'shift+Home', 'Delete')
        if text:
            self.type(text)

    def screenshot(self, name, window=None):
        crop = []
        if window:
            geometry = self.xdotool('getwindowgeometry', '--shell', window)
            g = dict(line.split('=') for line in geometry.split())
            crop = ['-crop', '%sx%s+%s+%s' % (g['WIDTH'], g['HEIGHT'], g['X'], g['Y']), '+repage']
        shot = subprocess.run(['xwd', '-root', '-silent'], env=self.env, capture_output=True, timeout=30)
        subprocess.run(['convert', 'xwd:-'] + crop + [os.path.join(self.shots, name)],
                       input=shot.stdout, timeout=60, check=True)

    def fill_settings(self, text=None, types=None, folder=None, toggles='', shot=None):
        """Fills the settings dialog from its first box on, stopping in the last
        box given (Return there presses Search; on the browse button behind the
        folder box it would open the folder browser). None leaves a box as it
        is; toggles are the check boxes' accelerator letters."""
        window = self.find_window(SETTINGS)
        time.sleep(0.3)
        values = [text, types, folder]
        while values and values[-1] is None:
            values.pop()
        for number, value in enumerate(values):
            if number:
                self.keys('Tab')
            if value is not None:
                self.replace_field(value)
        for letter in toggles:
            self.keys('alt+' + letter)
        if shot:
            time.sleep(0.3)
            self.screenshot(shot, window)
        return window


# --- running the cases -----------------------------------------------------------------

def run_cases(session, cases, context, names):
    """Runs the cases named (all when none are), each given context; a failed
    case leaves a screenshot and its program ended. Returns the exit code."""
    failed = 0
    for case in cases:
        if names and case.__name__ not in names:
            continue
        started = time.time()
        try:
            case(*context)
            print('ok   %s (%.1f s)' % (case.__name__, time.time() - started))
        except (Failure, subprocess.TimeoutExpired) as failure:
            failed += 1
            print('FAIL %s: %s' % (case.__name__, failure))
            session.screenshot('failed-%s.png' % case.__name__)
            session.clean_up()
        sys.stdout.flush()
    return 1 if failed else 0


def main(cases, context=None):
    """Runs the cases named on the command line, all by default, each given
    context(session), or the session itself. Returns the exit code."""
    session = Session(parse_arguments(CASES_ARGUMENT))
    return run_cases(session, cases, (context(session) if context else session,), session.args.cases)


# --- files ---------------------------------------------------------------------------

def winpath(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def whole_lines(report):
    check(report == b'' or report.endswith(b'\r\n'), 'report ends inside a line: %r' % report[-80:])
    return [line + b'\r\n' for line in report.split(b'\r\n')[:-1]]


# --- a big tree, for searches that run long enough to be stopped -----------------------

BIG_FILES = 12000
BIG_LINE = re.compile(rb'^Z:.*\\d\d{3}\\f(\d{5})\.c\(2,5\) : int needle_(\d+);$')


def make_big_tree(root):
    """Many small files in many folders, one hit each. Kept between runs."""
    marker = os.path.join(root, 'complete')
    if os.path.exists(marker):
        return
    shutil.rmtree(root, ignore_errors=True)
    per_folder = 300
    for n in range(BIG_FILES):
        folder = os.path.join(root, 'd%03d' % (n // per_folder))
        if n % per_folder == 0:
            os.makedirs(folder)
        with open(os.path.join(folder, 'f%05d.c' % n), 'wb') as f:
            f.write(b'/* file %d */\r\nint needle_%d;\r\n' % (n, n))
    write(marker, b'')


def check_big_report(report, complete):
    """The number of lines of a report on the big tree, which must be the
    first lines of the whole report (its files in walk order), whole."""
    lines = whole_lines(report)
    for number, line in enumerate(lines):
        m = BIG_LINE.match(line[:-2])
        check(m and int(m.group(1)) == int(m.group(2)) == number,
              'report line %d is not the start of the whole report: %r' % (number, line))
    if complete:
        check(len(lines) == BIG_FILES, '%d hits of %d' % (len(lines), BIG_FILES))
    return len(lines)


# --- the expected report, computed from the files ---------------------------------
# The scan's rules written out once more, on the files' own bytes: a report
# model for the Unicode files option and for plain ANSI searches. Switches are
# the command line's letters: C match case, I ignore comments, S strings
# only, A & variants, U Unicode files.

# A tree that mixes the forms of text the Unicode files option tells apart.
UNICODE_TREE = {
    'ansi.c': 'x = "&File"; // café\r\nint Café;\r\n'.encode('cp1252'),
    'utf8.cpp': '// 開啟檔案\nauto s = "開啟檔案"; // CAFÉ déjà\nmenu("F&ile");\nσοφία Σ ς\n'.encode('utf-8'),
    'marked.cpp': '\ufeffint café = 1; "file"\r\n'.encode('utf-8'),
    'sub/menu.rc': '\ufeffMENUITEM "&File", 1\r\n"開啟檔案" // café\r\nPOPUP "F&ILE"\r\n'.encode('utf-16-le'),
    'sub/big.rc': '\ufeffCAPTION "Fichier é"\n"Ωmega" FILE σ 😀 file\n'.encode('utf-16-be'),
    'bare.txt': 'file\r\n'.encode('utf-16-le'),
    'plain.txt': b'file "file"\n',
}


def make_files(root, files):
    """A folder of just these files, {name: bytes}."""
    shutil.rmtree(root, ignore_errors=True)
    for name, data in files.items():
        write(os.path.join(root, name), data)


def make_unicode_tree(root):
    make_files(root, UNICODE_TREE)


# Searches as typed in ANSI files of other code pages, each under the locale
# that gives it: locale, the files' bytes, command-line switches, the text,
# hits (file, line, column). Big5 spells 中文 A4 A4 A4 E5 and 乙 A4 41, with
# the letter A as its trail byte.
BIG5_FILE = {'b.txt': b'\xa4\xa4\xa4\xe5abc\r\n\xa4A\r\n'}
ANSI_SEARCHES = [
    ('en_US', {'a.txt': 'Se\u00f1or \u00f1s\r\nSE\u00d1OR\r\n'.encode('cp1252')}, [], 'Se\u00f1or',
     [('a.txt', 1, 1), ('a.txt', 2, 1)]),
    ('en_US', {'a.txt': 'Se\u00f1or \u00f1s\r\nSE\u00d1OR\r\n'.encode('cp1252')}, [], '\u00f1s', [('a.txt', 1, 7)]),
    ('zh_TW', BIG5_FILE, [], '\u4e2d\u6587abc', [('b.txt', 1, 1)]),
    ('zh_TW', BIG5_FILE, [], 'A', [('b.txt', 1, 5)]),
    ('zh_TW', BIG5_FILE, ['/R'], 'a|\u4e59$', [('b.txt', 1, 5), ('b.txt', 2, 1)]),
    ('zh_TW', BIG5_FILE, ['/W'], 'abc', []),
    ('hi_IN', {'c.txt': 'Kleine-K\u00f6nig\nKLEINE-K\u00d6NIG\nkleine-konig\n'.encode('utf-8')}, [],
     'Kleine-K\u00f6nig', [('c.txt', 1, 1), ('c.txt', 2, 1)]),
]


def text_form(data):
    """The form the Unicode files option tells by the first bytes: the codec's
    name (or 'ansi') and the length of the byte-order mark."""
    for mark, form in ((b'\xff\xfe', 'utf-16-le'), (b'\xfe\xff', 'utf-16-be'), (b'\xef\xbb\xbf', 'utf-8')):
        if data.startswith(mark):
            return form, len(mark)
    try:
        data.decode('utf-8')
        return ('utf-8' if max(data, default=0) >= 0x80 else 'ansi'), 0
    except UnicodeDecodeError:
        return 'ansi', 0


def first_hit(items, start, end, pattern, switches, equal):
    """The first hit in the line items[start:end] (its end excluded), as an
    offset, or None: "//" ends the line, quotes open and close strings, the
    end counts only for an empty pattern."""
    m = len(pattern)
    in_string, quote = False, None
    p = start
    while (p + m <= end) if m else (p <= end):
        if 'I' in switches and p + 1 < end and items[p] == items[p + 1] == ord('/'):
            return None
        if 'S' in switches and p < end and items[p] in (ord('"'), ord("'")) and (not in_string or items[p] == quote):
            in_string, quote = not in_string, items[p]
        elif equal(p, pattern) and ('S' not in switches or in_string):
            return p - start
        p += 1
    return None


def split_lines(items):
    """(start, end) of each line: CR, LF and CR LF end lines, and what
    follows the last line end is one more line."""
    lines, start, at = [], 0, 0
    while at < len(items):
        if items[at] in (13, 10):
            lines.append((start, at))
            at += 2 if items[at] == 13 and at + 1 < len(items) and items[at + 1] == 10 else 1
            start = at
        else:
            at += 1
    return lines + [(start, len(items))]


def ansi_fold(b, upper):
    """A byte of code page 1252 folded as the platform upper-cases its
    character, where the code page spells the upper case in one byte."""
    try:
        c = bytes([b]).decode('cp1252')
        folded = chr(upper.get(ord(c), ord(c))).encode('cp1252')
    except UnicodeError:
        return b
    return folded[0] if len(folded) == 1 else b


def cut_ansi(text):
    """A Unicode line as a report line shows it under code page 1252: what
    the code page lacks as "?", at most 259 bytes."""
    shown = b''
    for c in text:
        try:
            piece = c.encode('cp1252')
        except UnicodeEncodeError:
            piece = b'?'
        if len(shown) + len(piece) > 259:
            break
        shown += piece
    return shown


def file_report_lines(path, data, text, switches, upper):
    """The report lines of one file (path as the report names it), in the
    program's order, under code page 1252."""
    form, mark = text_form(data) if 'U' in switches else ('ansi', 0)
    if not data:
        return []
    if form == 'ansi':
        try:
            needle = text.encode('cp1252')
        except UnicodeEncodeError:
            return []  # no ANSI file holds it
        if 'C' not in switches:
            needle = ''.join(chr(upper.get(ord(c), ord(c))) for c in needle.decode('cp1252')).encode('cp1252')
        needle = list(needle)
        items = list(data)
        widths = [1] * len(items)
        if 'C' not in switches:
            items = [ansi_fold(b, upper) for b in items]
        equal = lambda p, q: items[p:p + len(q)] == q
        shown = lambda start, end: data[start:end][:259]
    else:
        decoded = data[mark:].decode(form, 'replace')
        fold = (lambda c: c) if 'C' in switches else (lambda c: upper.get(c, c))
        needle = [fold(ord(c)) for c in text]
        items = [fold(ord(c)) for c in decoded]
        widths = [len(c.encode('utf-8')) if form == 'utf-8' else 1 + (ord(c) > 0xFFFF) for c in decoded]
        equal = lambda p, q: items[p:p + len(q)] == q
        shown = lambda start, end: cut_ansi(decoded[start:end])
        if not items:
            return []
    passes = [needle]
    if 'S' in switches and 'A' in switches:
        passes = [needle[:len(needle) - k] + [ord('&')] + needle[len(needle) - k:] if k else needle
                  for k in range(len(needle))]
    lines = []
    for pattern in passes:
        for number, (start, end) in enumerate(split_lines(items), 1):
            hit = first_hit(items, start, end, pattern, switches, equal)
            if hit is not None:
                column = sum(widths[start:start + hit]) + 1
                lines.append(b'%s(%d,%d) : %s\r\n' % (path.encode('cp1252'), number, column, shown(start, end)))
    return lines


def expected_report(folder, names, text, switches, upper):
    """The report lines of a search of the files named, {name: lines}."""
    return {name: file_report_lines(winpath(folder) + '\\' + name.replace('/', '\\'),
                                    read(os.path.join(folder, name)), text, switches, upper) for name in names}


def report_by_file(report, folder):
    """A report's lines, {name: lines} in report order, checking that each
    file's lines come together."""
    prefix = (winpath(folder) + '\\').encode('cp1252')
    files, last = {}, None
    for line in report.split(b'\r\n')[:-1]:
        check(line.startswith(prefix), 'report line %r' % line)
        name = line[len(prefix):line.index(b'(', len(prefix))].decode('cp1252').replace('\\', '/')
        check(name == last or name not in files, 'the lines of %s are apart' % name)
        files.setdefault(name, []).append(line + b'\r\n')
        last = name
    check(report.endswith(b'\r\n') or report == b'', 'report ends inside a line')
    return files


def check_report(report, folder, text, switches, upper):
    """The report of a search of UNICODE_TREE is the one the files give."""
    expected = {name: lines for name, lines in expected_report(folder, UNICODE_TREE, text, switches, upper).items()
                if lines}
    got = report_by_file(report, folder)
    check(got == expected, '%r %s: report\n%r\nnot\n%r' % (text, switches, got, expected))
    return sum(len(lines) for lines in got.values())
