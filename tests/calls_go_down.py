#!/usr/bin/env python3
"""Checks that calls between the program's source files go one way: no file
calls, directly or through others, into a file that calls it back. The
graph comes from the built libraries themselves (nm: which object defines a
symbol and which objects use it), so it holds whatever the headers say.
Function-pointer records (a pass's steps) are references of the file that
fills the record, which is the one above.

calls_go_down.py NM LIBRARY...: prints each circle found and exits 1, or
prints the number of files and calls checked.
"""
import subprocess
import sys


def symbols(nm, library):
    """(object, defined symbols, used symbols) of each object in library."""
    lines = subprocess.run([nm, '-A', library], check=True, capture_output=True, text=True).stdout.splitlines()
    objects = {}
    for line in lines:
        # "lib.a:File.cpp.obj:0000000000000000 T name" or "lib.a:File.cpp.obj:   U name"
        where, _, rest = line.rpartition('.obj:')
        parts = rest.split()
        if len(parts) < 2:
            continue
        name = where.rsplit(':', 1)[-1] + '.obj'
        kind, symbol = parts[-2], parts[-1]
        defined, used = objects.setdefault(name, (set(), set()))
        if kind in 'TDRB':
            defined.add(symbol)
        elif kind == 'U':
            used.add(symbol)
    return objects


def circles(edges):
    """The strongly connected components of more than one file (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for other in edges.get(node, ()):
            if other not in index:
                visit(other)
                low[node] = min(low[node], low[other])
            elif other in on_stack:
                low[node] = min(low[node], index[other])
        if low[node] == index[node]:
            component = []
            while True:
                other = stack.pop()
                on_stack.discard(other)
                component.append(other)
                if other == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for node in sorted(edges):
        if node not in index:
            visit(node)
    return found


def main():
    nm, libraries = sys.argv[1], sys.argv[2:]
    objects = {}
    for library in libraries:
        for name, tables in symbols(nm, library).items():
            objects[library.rsplit('/', 1)[-1] + ':' + name] = tables
    # A symbol that several objects define (an inline function kept out of
    # line) belongs to none of them.
    owners = {}
    for name, (defined, _) in objects.items():
        for symbol in defined:
            owners.setdefault(symbol, set()).add(name)
    edges = {}
    calls = 0
    for name, (_, used) in objects.items():
        targets = {next(iter(owners[s])) for s in used if len(owners.get(s, ())) == 1} - {name}
        edges[name] = targets
        calls += len(targets)
    found = circles(edges)
    for component in found:
        print('calls go round between: ' + ', '.join(component))
        for name in component:
            back = sorted(edges[name] & set(component))
            print('  %s calls %s' % (name, ', '.join(back)))
    if found:
        return 1
    print('%d files, %d calls between them, all going one way' % (len(objects), calls))
    return 0


if __name__ == '__main__':
    sys.exit(main())
