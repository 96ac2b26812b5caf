#!/usr/bin/env python3
"""include-cycles.py [folder...]: circles of files inside each folder.

A file and its header are one unit (X.h with X.cpp); a unit depends on
another of the same folder when one of its files includes the other's
header. Prints each circle (a strongly connected set of two or more units)
and exits 1 when there is one. Default folders: ui comm controls sim.
"""
import os
import re
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def units(folder):
    deps = {}
    for name in os.listdir(folder):
        stem, ext = os.path.splitext(name)
        if ext not in (".h", ".cpp"):
            continue
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            found = {os.path.splitext(os.path.basename(i))[0] for i in include.findall(f.read())}
        deps.setdefault(stem, set()).update(found)
    return {u: {d for d in ds if d in deps and d != u} for u, ds in deps.items()}


def circles(graph):
    index, low, stack, on, out = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on.add(v)
        for w in sorted(graph[v]):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                out.append(sorted(group))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)
    return out


found = False
for folder in sys.argv[1:] or ["ui", "comm", "controls", "sim"]:
    for group in circles(units(os.path.join(root, folder))):
        found = True
        print("%s: %s" % (folder, " -> ".join(group)))
sys.exit(1 if found else 0)
