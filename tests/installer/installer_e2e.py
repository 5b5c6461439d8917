#!/usr/bin/env python3
"""End-to-end tests of the release package under Wine, in a Wine prefix and
on a display of their own, made afresh for every run: the zip's files; the
setup program installed silently (files, Start menu shortcut, registry values,
uninstall entry, nothing outside the user's own part); a new console finding
`seekline` through PATH; the folder menu's commands started as Explorer starts
them; an upgrade over an older build; the uninstall, started as Apps &
features starts it, leaving nothing it added and the saved searches as they
were; both waiting for a running Seekline and changing nothing while it runs;
a PATH of 2,000 characters kept entry for entry, and entries the user had
left as they were; the English texts installed as Seekline.exe.mui for a
user whose Windows is not in Chinese, and not for one whose Windows is.

The cases build on each other, in order, on the helpers in
tests/support/seekline_e2e.py.
"""
import os
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from seekline_e2e import CASES_ARGUMENT, SETTINGS, Session, check, parse_arguments, read, run_cases, winpath, write  # noqa: E402

UNINSTALL_KEY = 'HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Seekline'
MENU_KEYS = {
    'HKEY_CURRENT_USER\\Software\\Classes\\Directory\\shell\\Seekline': '%1',
    'HKEY_CURRENT_USER\\Software\\Classes\\Directory\\Background\\shell\\Seekline': '%V',
}
ENVIRONMENT_KEY = 'HKEY_CURRENT_USER\\Environment'
SETTINGS_KEY = 'HKEY_CURRENT_USER\\Software\\Ombrel\\Seekline'
MACHINE_KEYS = ['HKLM\\Software\\Classes', 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion',
                'HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment']
# Wine's own records of what it did for the programs (the Start menu
# shortcut's Linux menu entry), not the installer's.
WINE_KEYS = 'HKEY_CURRENT_USER\\Software\\Wine'
# Every user's registry has this key on Windows; a fresh Wine prefix lacks
# it until something is registered there.
CLASSES_KEY = 'HKEY_CURRENT_USER\\Software\\Classes'
MENU_TEXT = '以 Seekline 搜尋'
ZIPPED = ['Seekline.exe', 'Seekline.com', 'Seekline.en.mui', 'README.txt', 'LICENSE.txt']
# What the install adds to them for a user whose Windows is not in Chinese,
# as the prefix's (LANG=en_US) is: the English satellite where the program
# takes it.
INSTALLED = ZIPPED + ['Seekline.exe.mui', 'uninstall.exe']
IDC_FOLDER = 1002
# A user PATH that a new process still gets whole under Wine, which cuts a
# longer user value at about 1,000 characters when it builds the environment.
SHORT_PATH = 'C:\\Tools\\bin;%SystemRoot%\\tools'
# The setup program's and the uninstaller's exit code when a file of the
# install stays in use.
IN_USE = 2
# A user PATH before the install and after it; {} is the install folder, {U}
# the same in upper case. The uninstall gives back the first.
PATH_CASES = [
    ('C:\\A;{};C:\\B;{}', 'C:\\A;{};C:\\B;{}'),
    ('C:\\A;{U};C:\\B', 'C:\\A;{U};C:\\B'),
    ('C:\\A;{}\\', 'C:\\A;{}\\'),
    ('', '{}'),
    (None, '{}'),
]


def registry_text(data):
    """The text of a registry value as reg export writes it: "..." or hex(2)."""
    if data.startswith('"'):
        return data[1:-1].replace('\\"', '"').replace('\\\\', '\\')
    if data.startswith('hex(2):'):
        raw = bytes(int(b, 16) for b in data[7:].split(',') if b)
        return raw.decode('utf-16-le').rstrip('\0')
    return data


class Install:
    """The fresh prefix's user, the package's files and the registry as reg
    export shows it."""

    def __init__(self, session, args):
        self.s = session
        self.args = args
        prefix = os.path.join(args.state, 'prefix')
        users = [u for u in os.listdir(os.path.join(prefix, 'drive_c', 'users')) if u != 'Public']
        check(len(users) == 1, 'users in the prefix: %r' % users)
        self.drive_c = os.path.join(prefix, 'drive_c')
        self.profile = os.path.join(self.drive_c, 'users', users[0])
        self.folder = os.path.join(self.profile, 'AppData', 'Local', 'Programs', 'Seekline')
        self.folder_win = 'C:\\users\\%s\\AppData\\Local\\Programs\\Seekline' % users[0]
        self.menu = os.path.join(self.profile, 'AppData', 'Roaming', 'Microsoft', 'Windows', 'Start Menu',
                                 'Programs')
        self.stage = os.path.join(args.package, 'stage')
        self.setup = os.path.join(args.package, 'Seekline-%s-setup.exe' % args.version)
        self.snapshot = None

    # --- Wine ---------------------------------------------------------------
    def wine(self, *command, cwd=None, timeout=120, env=None):
        process = self.s.wine(*command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              stdin=subprocess.DEVNULL, cwd=cwd, env=env)
        out, _ = process.communicate(timeout=timeout)
        return process.returncode, out.decode('utf-8', 'replace')

    def reg(self, *arguments):
        """Runs Wine's reg tool. Wine once failed to start it at all on a
        loaded machine ("Application could not be started"), before reg read
        a word: that is the instrument failing, not the install, so it is
        started again, a few times."""
        for _ in range(3):
            code, out = self.wine('reg', *arguments)
            if not out.startswith('Application could not be started'):
                break
            time.sleep(1)
        return code, out

    def start_command(self, line):
        """Starts a registered command line as it stands, as Explorer does."""
        return self.s.wine(self.args.launcher, '--command-line', line, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)

    def install(self, setup, expected=0, env=None):
        code, _ = self.wine(setup, '/S', env=env)
        check(code == expected, 'silent install of %s: exit code %d' % (os.path.basename(setup), code))

    def uninstall(self, expected=0, command='QuietUninstallString'):
        """Runs a registered uninstall command, the quiet one by default; when
        it succeeds, a copy of the uninstaller removes the uninstaller and,
        last, its entry."""
        line = self.registry(UNINSTALL_KEY).get(command)
        check(line, 'no %s' % command)
        if command == 'UninstallString':
            line += ' /S'
        code = self.start_command(line).wait(timeout=120)
        check(code == expected, '%s: exit code %d' % (line, code))
        deadline = time.time() + 60
        while code == 0 and UNINSTALL_KEY in self.export('HKCU'):
            check(time.time() < deadline, 'the uninstall entry is still there after 60 s')
            time.sleep(0.5)

    # --- the registry and the files -------------------------------------------
    def export(self, root):
        """{key: {value name: data as exported}} of a whole root key."""
        path = os.path.join(self.args.work, 'export.reg')
        code, out = self.reg('export', root, winpath(path), '/y')
        check(code == 0, 'reg export %s failed: %d %r' % (root, code, out))
        text = read(path).decode('utf-16').replace('\\\r\n  ', '').replace('\r\n', '\n')
        keys, current = {}, None
        for line in text.split('\n'):
            if line.startswith('[') and line.endswith(']'):
                current = keys.setdefault(line[1:-1], {})
            elif current is not None and '=' in line:
                name, _, data = line.partition('=')
                current['' if name == '@' else name[1:-1]] = data
        return keys

    def registry(self, key):
        values = self.export(key.split('\\')[0]).get(key)
        return None if values is None else {name: registry_text(data) for name, data in values.items()}

    def user_path(self):
        values = self.export('HKCU').get(ENVIRONMENT_KEY, {})
        data = values.get('Path')
        check(data is None or data.startswith('hex(2):'), 'Path is no longer REG_EXPAND_SZ: %r' % data)
        return None if data is None else registry_text(data)

    def set_user_path(self, value):
        """Sets the user PATH, or deletes it for None."""
        if value is None:
            self.reg('delete', 'HKCU\\Environment', '/v', 'Path', '/f')
        else:
            self.reg('add', 'HKCU\\Environment', '/v', 'Path', '/t', 'REG_EXPAND_SZ', '/d', value, '/f')
        check(self.user_path() == value, 'could not set the user PATH to %r' % value)

    def files(self):
        """Every file and folder of drive C: but the temporary folders."""
        found = set()
        for folder, dirs, names in os.walk(self.drive_c):
            dirs[:] = [d for d in dirs if d.lower() != 'temp']
            for name in dirs + names:
                found.add(os.path.relpath(os.path.join(folder, name), self.drive_c))
        return found

    def machine(self):
        """The parts of HKEY_LOCAL_MACHINE that an install for all users would change."""
        return [self.export(key) for key in MACHINE_KEYS]

    def take_snapshot(self):
        self.snapshot = (self.export('HKCU'), self.machine(), self.files())

    def check_installed(self, version):
        """Files, shortcut, registry values and uninstall entry of an install of version."""
        check(sorted(os.listdir(self.folder)) == sorted(INSTALLED),
              'install folder: %r' % sorted(os.listdir(self.folder)))
        for name in ZIPPED:
            check(read(os.path.join(self.folder, name)) == read(os.path.join(self.stage, name)),
                  '%s is not the packaged one' % name)
        check(read(os.path.join(self.folder, 'Seekline.exe.mui')) == read(os.path.join(self.stage, 'Seekline.en.mui')),
              'Seekline.exe.mui is not the English satellite')
        shortcuts = [n for n in os.listdir(self.menu) if 'seekline' in n.lower()]
        check(shortcuts == ['Seekline.lnk'], 'Start menu: %r' % shortcuts)
        target = (self.folder_win + '\\Seekline.exe').encode('utf-16-le')
        check(target in read(os.path.join(self.menu, 'Seekline.lnk')), 'the shortcut does not lead to Seekline.exe')

        exe = self.folder_win + '\\Seekline.exe'
        for key, placeholder in MENU_KEYS.items():
            values = self.registry(key)
            check(values and values.get('') == MENU_TEXT and values.get('Icon') == exe + ',0',
                  '%s: %r' % (key, values))
            command = self.registry(key + '\\command')
            check(command and command.get('').startswith('"%s" "%s' % (exe, placeholder)),
                  '%s\\command: %r' % (key, command))

        entry = self.registry(UNINSTALL_KEY)
        check(entry, 'no uninstall entry')
        uninstaller = '"%s\\uninstall.exe"' % self.folder_win
        expected = {'DisplayName': 'Seekline', 'DisplayVersion': version, 'Publisher': 'Ombrel',
                    'DisplayIcon': exe + ',0', 'InstallLocation': self.folder_win,
                    'UninstallString': uninstaller, 'QuietUninstallString': uninstaller + ' /S _?=' + self.folder_win}
        for name, value in expected.items():
            check(entry.get(name) == value, 'uninstall entry %s = %r, not %r' % (name, entry.get(name), value))
        size = int(entry.get('EstimatedSize', 'dword:0')[6:], 16)
        check(size > 0, 'uninstall entry without a size')
        entries = [k for k, v in self.export('HKCU').items() if v.get('DisplayName') == '"Seekline"']
        check(entries == [UNINSTALL_KEY], 'uninstall entries: %r' % entries)

        # Nothing but the user's own part: no administrator rights are needed.
        check(self.machine() == self.snapshot[1], 'the install changed HKEY_LOCAL_MACHINE')
        outside = [f for f in self.files() - self.snapshot[2] if not f.startswith(os.path.relpath(self.profile,
                                                                                                 self.drive_c))]
        check(not outside, 'files outside the user profile: %r' % outside)


# --- the cases -------------------------------------------------------------------

def package_files(p):
    """The zip holds the programs as built, the README and the licence as
    Windows text; the setup program asks for no administrator rights."""
    args = p.args
    with zipfile.ZipFile(os.path.join(args.package, 'Seekline-%s-x64.zip' % args.version)) as z:
        check(sorted(z.namelist()) == sorted(ZIPPED), 'zip holds %r' % z.namelist())
        for name, built in (('Seekline.exe', args.program), ('Seekline.com', args.console),
                            ('Seekline.en.mui', args.satellite)):
            check(z.read(name) == read(built), '%s in the zip is not the one built' % name)
        readme = read(os.path.join(args.source, 'README.md'))
        check(z.read('README.txt') == readme.replace(b'\n', b'\r\n'), 'README.txt is not the README')
        licence = z.read('LICENSE.txt')
        check(licence.startswith(b'MIT License\r\n') and b'Ombrel' in licence, 'LICENSE.txt: %r' % licence[:80])
    setup = read(p.setup)
    check(b'level="asInvoker"' in setup and b'requireAdministrator' not in setup,
          'the setup program asks for administrator rights')


def install_registers_everything(p):
    """A silent install of an older build into the fresh prefix registers
    everything, and a new console finds the console program through PATH."""
    p.set_user_path(SHORT_PATH)
    p.wine('reg', 'add', 'HKCU\\Software\\Ombrel\\Seekline', '/v', 'TXT1', '/d', 'saved search', '/f')
    p.take_snapshot()
    p.install(p.args.older)
    p.check_installed(p.args.older_version)
    check(p.user_path() == SHORT_PATH + ';' + p.folder_win, 'PATH after install: %r' % p.user_path())
    code, out = p.wine('cmd', '/c', 'seekline', '/?', cwd=p.args.work)
    check(code == 0 and 'Seekline [/C] [/I]' in out, 'seekline /? in a new console: %d %r' % (code, out[:200]))


def folder_menu_opens_the_dialog(p):
    """Each folder-menu command, with a folder put in as Explorer does, opens
    the settings dialog on that folder; on a drive root's background too."""
    folder = os.path.join(p.args.work, 'a folder')
    os.makedirs(folder, exist_ok=True)
    cases = [(key, winpath(folder), winpath(folder)) for key in MENU_KEYS]
    # Explorer gives a drive root as C:\ in place of %V.
    cases.append((list(MENU_KEYS)[1], 'C:\\', 'C:\\'))
    for key, given, shown in cases:
        command = p.registry(key + '\\command')['']
        line = command.replace(MENU_KEYS[key], given)
        process = p.start_command(line)
        p.s.running = process
        p.s.find_window(SETTINGS)
        time.sleep(0.3)
        box = p.s.window_texts('Seekline').get(IDC_FOLDER)
        p.s.keys('Escape')
        code = process.wait(timeout=30)
        check(box == shown, '%s started as %s: folder box %r, not %r' % (key, line, box, shown))
        check(code == 0, '%s: exit code %d' % (line, code))


def upgrade_keeps_one_of_everything(p):
    """The current build installed over the older one replaces its files in
    place and leaves one of each registration."""
    write(os.path.join(p.folder, 'Seekline.exe'), b'the older build')
    p.install(p.setup)
    p.check_installed(p.args.version)
    check(p.user_path() == SHORT_PATH + ';' + p.folder_win, 'PATH after the upgrade: %r' % p.user_path())


def running_copies_are_waited_for(p):
    """While the dialog and a console search run from the install folder,
    the setup program and the uninstaller change nothing and end, after a
    while, with the exit code that says so; a setup program started while
    they run waits for both to end, then installs."""
    busy = os.path.join(p.args.work, 'busy')
    write(os.path.join(busy, 'a.txt'), b'busy line\r\n' * 50000)
    dialog = p.s.wine(os.path.join(p.folder, 'Seekline.exe'), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    p.s.running = dialog
    p.s.find_window(SETTINGS)
    # The search waits on a pipe that nobody reads.
    search = p.s.wine(os.path.join(p.folder, 'Seekline.com'), '/Q', '/F:' + winpath(busy), 'busy',
                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    readme = os.path.join(p.folder, 'README.txt')
    write(readme, b'as it was')
    before = {k: v for k, v in p.export('HKCU').items() if not k.startswith(WINE_KEYS)}
    p.install(p.setup, IN_USE)
    p.uninstall(IN_USE)
    after = {k: v for k, v in p.export('HKCU').items() if not k.startswith(WINE_KEYS)}
    changed = sorted(k for k in set(before) | set(after) if before.get(k) != after.get(k))
    check(not changed, 'changed while Seekline ran: %r' % changed)
    check(sorted(os.listdir(p.folder)) == sorted(INSTALLED) and read(readme) == b'as it was',
          'files changed while Seekline ran: %r' % sorted(os.listdir(p.folder)))

    setup = p.s.wine(p.setup, '/S', stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for holder in (dialog, search):
        time.sleep(2)
        check(setup.poll() is None, 'the setup program ended (%r) while Seekline ran' % setup.poll())
        if holder is dialog:
            p.s.keys('Escape')
        else:
            search.communicate(timeout=60)
        check(holder.wait(timeout=30) == 0, 'the running Seekline ended with %d' % holder.returncode)
    check(setup.wait(timeout=60) == 0, 'the setup program waited, then ended with %d' % setup.returncode)
    p.check_installed(p.args.version)


def english_texts_by_the_users_language(p):
    """A user whose Windows shows Chinese gets the program's own texts: the
    English satellite is not installed as Seekline.exe.mui, and one from an
    install before goes; installed again for an English one, it is back."""
    chinese = dict(p.s.env, LANG='zh_TW.UTF-8')
    p.install(p.setup, env=chinese)
    check(sorted(os.listdir(p.folder)) == sorted(set(INSTALLED) - {'Seekline.exe.mui'}),
          'install folder under zh_TW: %r' % sorted(os.listdir(p.folder)))
    p.install(p.setup)
    p.check_installed(p.args.version)


def uninstall_leaves_nothing(p):
    """The quiet uninstall command takes away everything the install added:
    the registry and the files are as before it, the saved searches too."""
    p.uninstall()
    check(not os.path.exists(p.folder), 'the install folder is still there')
    hkcu, hklm, files = p.snapshot
    after = p.export('HKCU')
    changed = sorted(k for k in set(hkcu) | set(after) if hkcu.get(k) != after.get(k) and
                     not k.startswith(WINE_KEYS) and not (k == CLASSES_KEY and not after.get(k)))
    check(not changed, 'keys the uninstall did not restore: %r' % changed)
    check(after.get(SETTINGS_KEY, {}).get('TXT1') == '"saved search"', 'the saved searches changed')
    check(p.machine() == hklm, 'HKEY_LOCAL_MACHINE changed')
    left = p.files() ^ files
    check(not left, 'files left or lost: %r' % sorted(left))


def long_path_kept_entry_for_entry(p):
    """A user PATH of 2,000 characters, with an empty entry, a variable and a
    closing separator, gets one entry more from the install and comes back
    exactly from the uninstall."""
    entries = ['C:\\Tools\\t%04d\\bin' % n for n in range(100)]
    entries[5] = ''
    entries[7] = '%USERPROFILE%\\bin'
    long_path = ';'.join(entries)
    long_path = long_path + 'x' * (1999 - len(long_path)) + ';'
    check(len(long_path) == 2000, 'PATH of %d characters' % len(long_path))
    p.set_user_path(long_path)
    p.install(p.setup)
    check(p.user_path() == long_path + p.folder_win + ';', 'PATH after install: ...%r' % p.user_path()[-300:])
    p.uninstall()
    check(p.user_path() == long_path, 'PATH after uninstall: ...%r' % (p.user_path() or '')[-300:])


def path_entries_the_user_had_stay(p):
    """The install adds the folder to the user PATH only when no entry names
    it as Windows reads them (case aside, a closing backslash aside); the
    plain uninstall command takes away only what the install added, and
    leaves a value that was there, even empty."""
    for before, after in PATH_CASES:
        given, added = [None if t is None else t.replace('{U}', p.folder_win.upper()).replace('{}', p.folder_win)
                        for t in (before, after)]
        p.set_user_path(given)
        p.install(p.setup)
        check(p.user_path() == added, 'PATH %r after install: %r' % (given, p.user_path()))
        p.uninstall(command='UninstallString')
        check(p.user_path() == given, 'PATH %r after uninstall: %r' % (given, p.user_path()))


CASES = [
    package_files,
    install_registers_everything,
    folder_menu_opens_the_dialog,
    upgrade_keeps_one_of_everything,
    running_copies_are_waited_for,
    english_texts_by_the_users_language,
    uninstall_leaves_nothing,
    long_path_kept_entry_for_entry,
    path_entries_the_user_had_stay,
]


def main():
    args = parse_arguments(*[('--' + name, dict(required=True))
                              for name in ('source', 'package', 'version', 'older', 'older-version')], CASES_ARGUMENT)
    wine = os.path.join(args.source, 'tests', 'wine')
    # A fresh prefix, so that what the install adds and the uninstall leaves is all there is.
    shutil.rmtree(args.state, ignore_errors=True)
    try:
        subprocess.run(['sh', os.path.join(wine, 'up.sh'), args.state], check=True, stdout=subprocess.DEVNULL,
                       timeout=300)
        session = Session(args)
        install = Install(session, args)
        # The cases build on each other: the first that fails ends the run.
        for case in CASES:
            if run_cases(session, [case], (install,), args.cases):
                return 1
        return 0
    finally:
        subprocess.run(['sh', os.path.join(wine, 'down.sh'), args.state])


if __name__ == '__main__':
    sys.exit(main())
