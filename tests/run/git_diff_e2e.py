#!/usr/bin/env python3
"""Differential test of the skip-ignored option against git itself. Seeded
random trees, each a repository of its own made with `git init` and nothing
added to its index, with random .gitignore files of every rule form (blank
lines and comments, escapes, trailing spaces, negations, patterns anchored by
a slash and patterns for folders only, *, ?, classes, ** in its three places,
letter case, CR LF lines), a random info/exclude, the user's excludes file
that the test sets, and repositories nested in them (some with a .git file
that names their folder elsewhere). The files that `Seekline.com /G /D`
searches for the empty text (which reports every file) are exactly those
that `git ls-files --others --exclude-standard` lists, repository by
repository. Searched from a folder inside a tree too: that folder, and the
ones above it, are walked whatever the rules say of them, which git is told
with --exclude=!/FOLDER/.

git runs as it does on Windows, with core.ignoreCase true (set in the
user's configuration here), since the program folds letter case as git does
there; HOME and XDG_CONFIG_HOME point into the test's folders.
GIT_DIFF_TREES trees (2,000 by default) in a few batches, each searched by one
run; GIT_DIFF_SEED sets the seed. A mismatch prints the seed and the tree cut
down to what still differs. Runs inside the Wine fixture like e2e.py.
"""
import copy
import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from seekline_e2e import Failure, Session, check, parse_arguments, winpath, write  # noqa: E402

TREES = int(os.environ.get('GIT_DIFF_TREES', '2000'))
SEED = int(os.environ.get('GIT_DIFF_SEED', '1'))
BATCHES = 4
STARTS = 24  # searches from a folder inside a tree

FOLDERS = ['src', 'lib', 'build', 'Build', 'doc', 'sub', 'deep', 'a', 'b', 'node_modules', 'x.d', 'Foo', 'out']
FILES = ['a.c', 'b.h', 'A.C', 'foo', 'Foo.txt', 'foo.o', 'bar.o', 'x.min.js', 'main.js', 'test_1.c', 'test_22.c',
         'README', '.hidden', '#hash', '!bang', '[br].c', 'sp ace.c', 'caf\u00e9.c', 'a1', 'ab', 'abc', 'keep.o',
         'z.log', 'build', 'trail ']
CLASSES = ['[abc]', '[a-f]', '[!a]', '[^x]', '[]x]', '[A-Z]', '[a-]', '[[:alpha:]]', '[[:digit:]]', '[[:upper:]]',
           '[[:lower:]]', '[[:alnum:]]', '[\\]]', '[ab', '[[:punct:]]']


def vary_case(rng, text):
    return ''.join(c.swapcase() if rng.random() < 0.15 else c for c in text)


def glob(rng, name):
    """A pattern for a name: as it is or in another case, with wildcards or a
    class in place of some of it."""
    r = rng.random()
    if r < 0.35 or not name:
        return vary_case(rng, name)
    at = rng.randrange(len(name))
    if r < 0.5:
        return name[:at] + '*'
    if r < 0.6:
        return '*' + name[at:]
    if r < 0.7:
        return name[:at] + '?' + name[at + 1:]
    if r < 0.85:
        return name[:at] + rng.choice(CLASSES) + name[at + 1:]
    return rng.choice(['*', '*.c', '*.o', '?', 'a*', '*o*', '***', 'a**b', '*.[ch]', '[[:alpha:]]*'])


def pattern(rng, names, folders):
    """One line of a rules file: a random rule of every form git has."""
    r = rng.random()
    if r < 0.05:
        return rng.choice(['', '# a comment', '   ', '#foo', '\t'])
    if r < 0.12:
        return rng.choice(['\\#hash', '\\!bang', 'foo\\ ', 'trail\\ ', 'trail ', 'foo   ', 'foo\\', '\\[br].c',
                           '[[]br].c', 'sp\\ ace.c', ' foo', 'caf?.c', 'caf\u00e9*', '**', '/**', '**/', '/'])
    if r < 0.55:
        line = glob(rng, rng.choice(names))
    else:
        parts = [glob(rng, rng.choice(folders)) for _ in range(rng.randint(1, 3))]
        if rng.random() < 0.7:
            parts.append(glob(rng, rng.choice(names)))
        shape = rng.random()
        if shape < 0.2:
            line = '**/' + '/'.join(parts)
        elif shape < 0.35:
            line = '/'.join(parts) + '/**'
        elif shape < 0.5 and len(parts) > 1:
            line = parts[0] + '/**/' + '/'.join(parts[1:])
        else:
            line = '/'.join(parts)
        if rng.random() < 0.4:
            line = '/' + line
    if rng.random() < 0.2:
        line += '/'
    if rng.random() < 0.25:
        line = '!' + line
    return line


def rules(rng, names, folders, count):
    lines = [pattern(rng, names, folders) for _ in range(count)]
    end = '\r\n' if rng.random() < 0.2 else '\n'
    text = end.join(lines) + (end if rng.random() < 0.8 else '')
    return text.encode('utf-8') or b'\n'



class Tree:
    """A tree as data: its files (rules files among them), the folders
    that are repositories of their own, the ones whose .git is a file, and
    the text of info/exclude of each repository."""

    def __init__(self):
        self.files = {}
        self.folders = set()
        self.repositories = []
        self.separate = set()
        self.excludes = {}


def make_tree(rng):
    tree = Tree()
    names, folders = set(), set()

    def fill(path, depth):
        taken = set()
        for name in rng.sample(FILES, rng.randint(1, 5)):
            taken.add(name.lower())
            names.add(name)
            tree.files[path + name] = b'x\n'
        if depth < 3:
            for name in rng.sample(FOLDERS, rng.randint(0, 3 - depth)):
                if name.lower() in taken:
                    continue
                taken.add(name.lower())
                folders.add(name)
                tree.folders.add(path + name)
                fill(path + name + '/', depth + 1)

    fill('', 0)
    # Rules may name folders the tree lacks.
    folders |= set(rng.sample(FOLDERS, 2))
    places = [''] + sorted(tree.folders)
    for place in places:
        if rng.random() < (0.7 if place == '' else 0.3):
            tree.files[(place + '/' if place else '') + '.gitignore'] = None
    # Repositories inside the tree: a folder, not the top.
    for place in sorted(tree.folders):
        if rng.random() < 0.06:
            tree.repositories.append(place)
            if rng.random() < 0.5:
                tree.separate.add(place)
    for place in [''] + tree.repositories:
        if rng.random() < 0.3:
            tree.excludes[place] = rules(rng, sorted(names), sorted(folders), rng.randint(1, 3))
    for path, data in list(tree.files.items()):
        if data is None:
            tree.files[path] = rules(rng, sorted(names), sorted(folders), rng.randint(1, 8))
    return tree


def git(args, env, **options):
    return subprocess.run(['git'] + args, env=env, capture_output=True, check=True, **options).stdout


def write_tree(tree, folder, gitdirs, env):
    """Writes the tree at folder: its files, and a repository at its top and
    at each folder that is one; a separate folder of a nested one goes under
    gitdirs."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for place in sorted(tree.folders):
        os.makedirs(os.path.join(folder, place), exist_ok=True)
    for place in [''] + tree.repositories:
        top = os.path.join(folder, place)
        arguments = ['init', '-q', '--template=']
        if place in tree.separate:
            separate = os.path.join(gitdirs, '%s-%s' % (os.path.basename(folder), place.replace('/', '-')))
            shutil.rmtree(separate, ignore_errors=True)
            arguments.append('--separate-git-dir=' + separate)
        git(arguments + [top], env)
        if place in tree.excludes:
            info = os.path.join(top, '.git') if place not in tree.separate else separate
            write(os.path.join(info, 'info', 'exclude'), tree.excludes[place])
    for path, data in tree.files.items():
        write(os.path.join(folder, path), data)


def git_files(folder, env, excludes=(), under=''):
    """The files git lists below folder (relative to it), each nested
    repository's by its own rules; with excludes added as --exclude
    patterns, and only those below the folder under."""
    arguments = ['-C', folder, 'ls-files', '-z', '--others', '--exclude-standard']
    arguments += ['--exclude=' + e for e in excludes] + (['--', under] if under else [])
    files = set()
    for entry in git(arguments, env).split(b'\0'):
        if not entry:
            continue
        entry = entry.decode('utf-8')
        if entry.endswith('/'):
            files |= {entry + name for name in git_files(os.path.join(folder, entry), env)}
        else:
            files.add(entry)
    return {name[len(under):] for name in files}


def seekline_files(s, folder, env):
    """The files Seekline.com /G /D reports for the empty text below folder."""
    process = s.wine(s.args.console, '/Q', '/G', '/D', '/F:' + winpath(folder), '', env=env,
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = process.communicate(timeout=300)
    check(process.returncode in (0, 1) and err == b'', 'exit code %d, %r' % (process.returncode, err[:300]))
    prefix = winpath(folder) + '\\'
    files = set()
    for line in out.split(b'\r\n')[:-1]:
        path = line[:line.rindex(b'(')].decode('cp1252')
        check(path.startswith(prefix), 'report line %r' % line)
        files.add(path[len(prefix):].replace('\\', '/'))
    return files


class Configuration:
    """The user's git configuration of one batch, for git and for the
    program: core.ignoreCase, and the excludes file at git's default place
    under XDG_CONFIG_HOME, or named by core.excludesFile in ~/.gitconfig,
    HOME then being the prefix's user folder, which the program takes for
    HOME (Wine does not pass HOME on)."""

    def __init__(self, s, work, kind, rules_text):
        self.s = s
        self.made = []
        base = dict(os.environ, GIT_CONFIG_NOSYSTEM='1', LANG='C.UTF-8')
        for name in ('GIT_DIR', 'GIT_WORK_TREE', 'GIT_CONFIG_GLOBAL', 'GIT_CEILING_DIRECTORIES'):
            base.pop(name, None)
        self.program = dict(s.env)
        self.program.pop('XDG_CONFIG_HOME', None)
        if kind == 'xdg':
            xdg = os.path.join(work, 'xdg')
            shutil.rmtree(xdg, ignore_errors=True)
            self.put(os.path.join(xdg, 'git', 'config'), b'[core]\n\tignoreCase = true\n')
            self.put(os.path.join(xdg, 'git', 'ignore'), rules_text)
            self.git = dict(base, HOME=os.path.join(work, 'home'), XDG_CONFIG_HOME=xdg)
            self.program['XDG_CONFIG_HOME'] = winpath(xdg)
        else:
            home = s.profile
            self.put(os.path.join(home, '.gitconfig'),
                     b'# the user\'s own\n[user]\n  name = x\n[core] ; as on Windows\n  ignorecase\n'
                     b'  excludesFile = "~/custom ignore"  # a path with a space\n')
            self.put(os.path.join(home, 'custom ignore'), rules_text)
            self.git = dict(base, HOME=home)
            self.git.pop('XDG_CONFIG_HOME', None)
        os.makedirs(os.path.join(work, 'home'), exist_ok=True)

    def put(self, path, data):
        write(path, data)
        self.made.append(path)

    def remove(self):
        for path in self.made:
            os.remove(path)


def found(s, config, folder, start=''):
    """The files Seekline and git find below folder, or below start in it."""
    parts = start.split('/') if start else []
    excludes = ['!/' + '/'.join(parts[:n + 1]) + '/' for n in range(len(parts))]
    expected = git_files(folder, config.git, excludes, start + '/' if start else '')
    # An empty file has no line to report.
    under = os.path.join(folder, start)
    expected = {name for name in expected if os.path.getsize(os.path.join(under, name)) > 0}
    got = seekline_files(s, os.path.join(folder, start) if start else folder, config.program)
    return got, expected


def compare(s, config, folder, start=''):
    """The number of files Seekline and git find alike below folder, or
    below start in it; a failure names the difference."""
    got, expected = found(s, config, folder, start)
    check(got == expected, 'only Seekline: %r, only git: %r' % (sorted(got - expected), sorted(expected - got)))
    return len(got)


def describe(tree, global_rules):
    lines = ['  global excludes: %r' % global_rules]
    for place, text in sorted(tree.excludes.items()):
        lines.append('  %s info/exclude: %r' % (place or '.', text))
    for place in tree.repositories:
        lines.append('  %s/ is a repository%s' % (place, ' (.git file)' if place in tree.separate else ''))
    for path, data in sorted(tree.files.items()):
        lines.append('  %s%s' % (path, '' if data == b'x\n' else ': %r' % data))
    return '\n'.join(lines)


def cut_down(s, config, tree, work, gitdirs, start):
    """The tree with every file and rule taken away that the difference
    does not need."""
    folder = os.path.join(work, 'cut')

    def differs(candidate):
        write_tree(candidate, folder, gitdirs, config.git)
        if start and not os.path.isdir(os.path.join(folder, start)):
            return False
        try:
            compare(s, config, folder, start)
            return False
        except Failure:
            return True

    changed = True
    while changed:
        changed = False
        for path in sorted(tree.files):
            data = tree.files[path]
            if data != b'x\n' and path.endswith('.gitignore'):
                lines = data.split(b'\n')
                for n in range(len(lines) - 1, -1, -1):
                    trial = copy.deepcopy(tree)
                    trial.files[path] = b'\n'.join(lines[:n] + lines[n + 1:])
                    if differs(trial):
                        tree, lines, changed = trial, lines[:n] + lines[n + 1:], True
            trial = copy.deepcopy(tree)
            if path in trial.files:
                del trial.files[path]
                if differs(trial):
                    tree, changed = trial, True
    return tree


def main():
    args = parse_arguments()
    s = Session(args)
    rng = random.Random(SEED)
    root = os.path.join(args.work, 'trees')
    gitdirs = os.path.join(args.work, 'gitdirs')
    started = time.time()
    failed = compared = 0
    per_batch = (TREES + BATCHES - 1) // BATCHES
    for batch in range(BATCHES):
        kind = 'home' if batch == BATCHES - 1 else 'xdg'
        global_rules = rules(rng, FILES, FOLDERS, rng.randint(0, 4))
        config = Configuration(s, args.work, kind, global_rules)
        try:
            shutil.rmtree(root, ignore_errors=True)
            shutil.rmtree(gitdirs, ignore_errors=True)
            os.makedirs(gitdirs)
            git(['init', '-q', '--template=', root], config.git)
            trees = {}
            for n in range(per_batch):
                trees['t%04d' % n] = make_tree(rng)
                write_tree(trees['t%04d' % n], os.path.join(root, 't%04d' % n), gitdirs, config.git)
            got, expected = found(s, config, root)
            compared += len(got & expected)
            differing = sorted({path.split('/')[0] for path in got ^ expected})
            for name in differing[:3]:
                print('FAIL tree %s (batch %d, seed %d): only Seekline %r, only git %r'
                      % (name, batch, SEED, sorted(p for p in got - expected if p.startswith(name + '/')),
                         sorted(p for p in expected - got if p.startswith(name + '/'))))
                tree = cut_down(s, config, trees[name], args.work, gitdirs, '')
                print('  cut down:\n%s' % describe(tree, global_rules))
            failed += len(differing)
            # From folders inside the trees, each a folder of the tree's own
            # repository.
            for _ in range(STARTS // BATCHES):
                name = rng.choice(sorted(trees))
                tree = trees[name]
                inner = [f for f in sorted(tree.folders)
                         if not any(f.startswith(r + '/') for r in tree.repositories)]
                if not inner:
                    continue
                start = rng.choice(inner)
                try:
                    compared += compare(s, config, os.path.join(root, name), start)
                except Failure as failure:
                    failed += 1
                    print('FAIL from %s/%s (batch %d, seed %d): %s' % (name, start, batch, SEED, failure))
                    tree = cut_down(s, config, tree, args.work, gitdirs, start)
                    print('  cut down:\n%s' % describe(tree, global_rules))
        finally:
            config.remove()
        sys.stdout.flush()
    print('%d trees in %d batches and %d inner folders, %d files compared, %d failures (%.0f s)'
          % (per_batch * BATCHES, BATCHES, STARTS, compared, failed, time.time() - started))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
