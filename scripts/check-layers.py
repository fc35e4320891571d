#!/usr/bin/env python3
"""Checks that the folders of src/ include one another downward only, and
that each tool includes only what TOOL_INCLUDES names for it.

The layers, lowest first:

    platform  <  config  <  device  <  property  <  service  <  cli

A file may include headers of its own folder and of any lower layer. Inside
platform/, the backends (posix/, win32/) include the platform headers and
their own files, never each other, and nothing outside a backend includes a
backend's files. Tools (tools/*/) sit beside cli; each may include its own
files and the layers TOOL_INCLUDES names for it, and never a backend's
files: zebreg and zebinstall the platform layer's headers only, zebstate, a
second front end over the same layers as cli, every layer. A tool that
TOOL_INCLUDES does not name is refused until it is named there.

Derives the folder-level include graph from every #include "..." line, then
fails on an upward include, an include of a backend from outside it, an
include a tool may not make, or a cycle among folders (which an upward
include always makes; the cycle check guards the layer list itself).
Prints the graph with -v. With --self-test, checks the check instead: it
builds small trees in a temporary folder, a clean one and one for each kind
of fault planted in it, and fails unless the clean tree passes and each
fault is refused for its own reason.
"""

import re
import sys
import tempfile
from collections import defaultdict
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
LAYERS = ["platform", "config", "device", "property", "service", "cli"]
BACKENDS = ["platform/posix", "platform/win32"]
# What each tool may include besides its own files.
TOOL_INCLUDES = {
    "tools/zebreg": ["platform"],
    "tools/zebinstall": ["platform"],
    "tools/zebstate": LAYERS,
}
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
    if parts[0] == "tools" and len(parts) > 2:
        return "/".join(parts[:2])
    return parts[0]


def rank(unit):
    """The layer index of a unit; None for a backend, a tool or anything
    else."""
    return LAYERS.index(unit) if unit in LAYERS else None


def tool_violation(source, target):
    allowed = TOOL_INCLUDES.get(source)
    if allowed is None:
        return f"{source} is a tool that TOOL_INCLUDES does not name"
    if target in BACKENDS:
        return f"{source} includes a file of the {target} backend, which no tool may"
    if target not in allowed:
        return f"{source} includes {target}; it may include {', '.join(allowed)}"
    return None


def violation(source, target):
    if source == target:
        return None
    if source.startswith("tools/"):
        return tool_violation(source, target)
    if target in BACKENDS:
        return f"{source} includes the {target} backend"
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


def check(repo):
    """The include graph of the tree at repo and the problems found in it."""
    graph = defaultdict(set)
    problems = []
    files = sorted(p for top in ("src", "tools") for p in (repo / top).rglob("*")
                   if p.suffix in (".h", ".cpp", ".c"))
    for path in files:
        rel = path.relative_to(repo)
        source = unit_of(rel)
        if source is None:
            continue
        graph[source]
        for header in INCLUDE.findall(path.read_text(errors="replace")):
            target = included_unit(header)
            if target is None or target == source:
                continue
            graph[source].add(target)
            why = violation(source, target)
            if why:
                problems.append(f"{rel}: #include \"{header}\": {why}")
    cycle = find_cycle(graph)
    if cycle:
        problems.append("folder cycle: " + " -> ".join(cycle))
    return graph, problems


# A small tree that keeps every rule: (file, the headers it includes).
CLEAN_TREE = [
    ("src/platform/registry.h", []),
    ("src/platform/posix/registry_posix.cpp",
     ["platform/registry.h", "platform/posix/store.h"]),
    ("src/platform/posix/store.h", []),
    ("src/platform/win32/registry_win32.cpp",
     ["platform/registry.h", "platform/win32/win32_error.h"]),
    ("src/platform/win32/win32_error.h", []),
    ("src/config/setup_info.cpp", ["config/setup_info.h", "platform/registry.h"]),
    ("src/config/setup_info.h", []),
    ("src/cli/entry.cpp", ["config/setup_info.h", "platform/registry.h"]),
    ("src/cli/entry.h", []),
    ("tools/zebreg/zebreg_main.cpp", ["zebreg_args.h", "platform/registry.h"]),
    ("tools/zebreg/zebreg_args.h", []),
    ("tools/zebinstall/zebinstall_main.cpp", ["platform/registry.h"]),
    ("tools/zebstate/zebstate_main.cpp",
     ["cli/entry.h", "config/setup_info.h", "platform/registry.h"]),
]

# One fault a case: (name, the files planted in the clean tree with what
# they include, a text the refusal must hold).
PLANTED_FAULTS = [
    ("upward include", [("src/config/os_class.cpp", ["cli/entry.h"])],
     "src/config/os_class.cpp: #include \"cli/entry.h\": config includes cli, "
     "which lies above it"),
    ("backend include from a tool",
     [("tools/zebinstall/root.cpp", ["platform/posix/store.h"])],
     "tools/zebinstall includes a file of the platform/posix backend"),
    ("backend include from a front end",
     [("tools/zebstate/state.cpp", ["platform/win32/win32_error.h"])],
     "tools/zebstate includes a file of the platform/win32 backend"),
    ("layer above the platform from a tool",
     [("tools/zebreg/entry.cpp", ["config/setup_info.h"])],
     "tools/zebreg includes config; it may include platform"),
    ("include of another tool",
     [("tools/zebinstall/args.cpp", ["tools/zebreg/zebreg_args.h"])],
     "tools/zebinstall includes tools/zebreg; it may include platform"),
    ("tool not named", [("tools/zebnew/main.cpp", ["platform/registry.h"])],
     "tools/zebnew is a tool that TOOL_INCLUDES does not name"),
    ("include of the other backend",
     [("src/platform/posix/both.cpp", ["platform/win32/win32_error.h"])],
     "platform/posix includes the platform/win32 backend"),
    ("backend include from a layer",
     [("src/config/store_user.cpp", ["platform/posix/store.h"])],
     "config includes the platform/posix backend"),
    ("cycle", [("src/device/device.cpp", ["cli/entry.h"]),
               ("src/cli/commands.cpp", ["device/device.h"])],
     "folder cycle: cli -> device -> cli"),
]


def plant_tree(root, files):
    for name, headers in files:
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text("".join(f'#include "{h}"\n' for h in headers))


def self_test():
    """Fails unless the clean tree passes and each planted fault is refused
    with its reason."""
    failures = []
    with tempfile.TemporaryDirectory(prefix="check-layers-") as temp:
        clean = Path(temp) / "clean"
        plant_tree(clean, CLEAN_TREE)
        _, problems = check(clean)
        if problems:
            failures.append("the clean tree is refused: " + "; ".join(problems))
        for index, (name, planted, reason) in enumerate(PLANTED_FAULTS):
            tree = Path(temp) / f"fault{index}"
            plant_tree(tree, CLEAN_TREE + planted)
            _, problems = check(tree)
            if not any(reason in problem for problem in problems):
                failures.append(f"{name}: not refused with \"{reason}\" "
                                f"(found: {problems or 'nothing'})")
    if failures:
        print("check-layers --self-test: the check is wrong:", file=sys.stderr)
        for failure in failures:
            print("  " + failure, file=sys.stderr)
        return 1
    print(f"check-layers --self-test: the clean tree passes and each of "
          f"{len(PLANTED_FAULTS)} planted faults is refused")
    return 0


def main():
    if "--self-test" in sys.argv:
        return self_test()
    graph, problems = check(REPO)
    if "-v" in sys.argv:
        for node in sorted(graph):
            print(f"{node} -> {', '.join(sorted(graph[node])) or '(nothing)'}")
    if problems:
        print("check-layers: the folders must include downward only "
              "(" + " < ".join(LAYERS) + "), tools only what TOOL_INCLUDES "
              "names:", file=sys.stderr)
        for problem in problems:
            print("  " + problem, file=sys.stderr)
        return 1
    print("check-layers: " + " < ".join(LAYERS) + ": no upward include, no "
          "backend include from outside it, tools within TOOL_INCLUDES, no cycle")
    return 0


if __name__ == "__main__":
    sys.exit(main())
