#!/usr/bin/env python3
"""Checks that the folders of src/ include one another downward only.

The layers, lowest first:

    platform  <  config  <  device  <  property  <  service  <  cli

A file may include headers of its own folder and of any lower layer. Inside
platform/, the backends (posix/, win32/) include the platform headers and
their own files, never each other, and nothing above the platform layer
includes a backend's files. Tools (tools/*/) sit beside cli and may include
the platform layer only: its headers, and of a backend's files only those
named in TOOL_BACKEND_HEADERS, each with the reason; except zebstate, a
second front end over the same layers as cli: it may include every layer,
never a backend.

Derives the folder-level include graph from every #include "..." line, then
fails on an upward include, an include of another backend, or a cycle among
folders (which an upward include always makes; the cycle check guards the
layer list itself). Prints the graph with -v.
"""

import re
import sys
from collections import defaultdict
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
LAYERS = ["platform", "config", "device", "property", "service", "cli"]
BACKENDS = ["platform/posix", "platform/win32"]
# The backend headers a tool may include, and why.
TOOL_BACKEND_HEADERS = {
    "platform/posix/root_dir.h": "zebinstall reports the root it installs into",
}
# Tools that are front ends over every layer, as cli is.
FRONT_ENDS = ["tools/zebstate"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def unit_of(path):
    """The folder a src/ or tools/ file belongs to: a layer, a backend
    (platform/posix), or a tool (tools/zebreg); None for anything else."""
    parts = Path(path).parts
    if parts[0] == "tools" and len(parts) > 2:
        return "/".join(parts[:2])
    if parts[0] != "src" or len(parts) < 3:
        return None
    if parts[1] == "platform" and len(parts) > 3:
        return "platform/" + parts[2]
    return parts[1]


def included_unit(header):
    parts = Path(header).parts
    if len(parts) < 2:
        return None  # a header of the file's own folder, by bare name
    if parts[0] == "platform" and len(parts) > 2:
        return "platform/" + parts[1]
    return parts[0]


def rank(unit):
    """The layer index of a unit; backends rank as the platform layer."""
    return LAYERS.index(unit.split("/")[0]) if unit.split("/")[0] in LAYERS else None


def violation(source, target, header):
    if source == target:
        return None
    if source in FRONT_ENDS:
        if rank(target) is None or target in BACKENDS:
            return f"{source} includes {target}, which a front end may not"
        return None
    if target.startswith("platform/"):
        if source.startswith("tools/"):
            if header in TOOL_BACKEND_HEADERS:
                return None
            return f"{source} includes a file of the {target} backend"
        if source != target:
            return f"{source} includes the {target} backend"
    if source.startswith("tools/"):
        return None if target == "platform" else f"{source} reaches above the platform layer"
    if source in BACKENDS:
        return None if target == "platform" else f"backend {source} includes {target}"
    if rank(target) is None:
        return f"unknown folder {target}"
    if rank(target) > rank(source):
        return f"{source} includes {target}, which lies above it"
    return None


def find_cycle(graph):
    state = {}

    def visit(node, path):
        state[node] = "open"
        for nxt in sorted(graph[node]):
            if state.get(nxt) == "open":
                return path + [node, nxt]
            if nxt not in state:
                found = visit(nxt, path + [node])
                if found:
                    return found
        state[node] = "done"
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node, [])
            if found:
                return found[found.index(found[-1]):]
    return None


def main():
    graph = defaultdict(set)
    problems = []
    files = sorted(p for top in ("src", "tools") for p in (REPO / top).rglob("*")
                   if p.suffix in (".h", ".cpp", ".c"))
    for path in files:
        rel = path.relative_to(REPO)
        source = unit_of(rel)
        if source is None:
            continue
        graph[source]
        for header in INCLUDE.findall(path.read_text(errors="replace")):
            target = included_unit(header)
            if target is None or target == source:
                continue
            graph[source].add(target)
            why = violation(source, target, header)
            if why:
                problems.append(f"{rel}: #include \"{header}\": {why}")
    cycle = find_cycle(graph)
    if cycle:
        problems.append("folder cycle: " + " -> ".join(cycle))
    if "-v" in sys.argv:
        for node in sorted(graph):
            print(f"{node} -> {', '.join(sorted(graph[node])) or '(nothing)'}")
    if problems:
        print("check-layers: the folders must include downward only "
              "(" + " < ".join(LAYERS) + "):", file=sys.stderr)
        for problem in problems:
            print("  " + problem, file=sys.stderr)
        return 1
    print("check-layers: " + " < ".join(LAYERS) + ": no upward include, no cycle")
    return 0


if __name__ == "__main__":
    sys.exit(main())
