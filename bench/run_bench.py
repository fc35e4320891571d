#!/usr/bin/python3
"""Times whole zebcfg processes on the native build and under Wine, side by
side, and prints the figures as a markdown table.

    bench/run_bench.py [--native-dir DIR] [--win-dir DIR] [--runs N]
                       [--no-wine] [--no-native] [--no-callgrind]

Measured, each as the median wall time of N runs of one process:
  - `l` over 1,000 and 10,000 devices;
  - `p` of one device over a schema of 50 properties (every one stored);
  - `a` of one device (with a transport pair) into a root of 1,000 devices;
  - the process start alone (no command word), for reference.
The native build's `l` is also counted in instructions with callgrind at
1,000 and 10,000 devices, to show that listing cost grows no faster than
n log n (the ratio must stay below 10 * log(10000) / log(1000) = 13.3).

The device roots are filled by bench/tools/zebpopulate, which writes through
the platform layer, so one program fills both the embedded store and Wine's
registry (natively into a store in /dev/shm, then copied into place, since
each write of the store is a durable transaction of its own). Native runs use
a temporary $ZEBCFG_ROOT; Wine runs use a temporary prefix with its own
wineserver, removed at the end.
"""

import argparse
import math
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
ROOT = r"SOFTWARE\ZebBench\Devices"
PROPS = 45  # with Transport, Port.BaudRate and three timing lines: 50

SCHEMA = (
    "[Version]\r\n"
    'Signature="$Windows NT$"\r\n'
    "\r\n"
    "[cfg_strings]\r\n"
    f"dev_reg_root={ROOT}\r\n"
    "\r\n"
    "[cfg_prop_map]\r\n"
    "Transport=0,0x4\r\n"
    "Port.BaudRate=1,0,0,921600\r\n"
    "Timing.CharGap=1,0x00000008\r\n"
    "Timing.RxTimeout=1,0x00010008\r\n"
    "Timing.TxTimeout=1,0x00020008\r\n"
    + "".join(f"P{j}=0,0\r\n" for j in range(PROPS)) +
    "\r\n"
    "[cfg_xpt_map]\r\n"
    "Serial=XPT_SERIAL\r\n"
)


class Native:
    """The native build over a private store."""

    label = "native"

    def __init__(self, build_dir, work):
        self.build = Path(build_dir)
        self.work = Path(work)
        self.env = None

    def fresh(self, name):
        self.root = self.work / name
        shutil.rmtree(self.root, ignore_errors=True)
        (self.root / "inf").mkdir(parents=True)
        (self.root / "inf" / "zebsetup.inf").write_text(SCHEMA)
        self.env = dict(os.environ, ZEBCFG_ROOT=str(self.root))

    def populate(self, *args):
        """Runs zebpopulate on a store in memory (every write of the store is
        its own durable transaction, which on disk costs milliseconds), then
        moves the finished store into this root."""
        shm = Path(tempfile.mkdtemp(prefix="zebbench-", dir=memory_dir()))
        try:
            env = dict(os.environ, ZEBCFG_ROOT=str(shm))
            result = run(self.argv("zebpopulate", *args), env, self.work)
            shutil.copy2(shm / "registry.db", self.root / "registry.db")
        finally:
            shutil.rmtree(shm, ignore_errors=True)
        return result

    def argv(self, program, *args):
        return [str(self.build / program), *args]

    def run(self, program, *args):
        return run(self.argv(program, *args), self.env, self.work)

    def close(self):
        pass


class Wine:
    """zebcfg.exe under Wine, in a prefix of its own."""

    label = "Wine"

    def __init__(self, build_dir, work):
        self.build = Path(build_dir)
        self.work = Path(work)
        self.prefix = self.work / "prefix"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix),
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        with open(self.work / "wineboot.log", "wb") as log:
            subprocess.run(["wineboot", "-i"], env=self.env, stdout=log,
                           stderr=log, stdin=subprocess.DEVNULL, check=True)
            subprocess.run(["wineserver", "-w"], env=self.env, stdout=log,
                           stderr=log)
        self.server = subprocess.Popen(["wineserver", "-p", "-f"], env=self.env,
                                       stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        self.inf = self.prefix / "drive_c" / "windows" / "inf" / "zebsetup.inf"

    def fresh(self, name):
        del name
        self.run("reg", "delete", "HKLM\\" + ROOT.rsplit("\\", 1)[0], "/f")
        self.inf.write_text(SCHEMA)

    def argv(self, program, *args):
        exe = program if program == "reg" else str(self.build / (program + ".exe"))
        return ["wine", exe, *args]

    def populate(self, *args):
        return self.run("zebpopulate", *args)

    def run(self, program, *args):
        return run(self.argv(program, *args), self.env, self.work)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.server.wait(timeout=60)


def run(argv, env, work):
    """Runs argv with output to a file; returns (seconds, exit code, out)."""
    out_path = Path(work) / "out.txt"
    with open(out_path, "wb") as out:
        start = time.perf_counter()
        code = subprocess.run(argv, env=env, stdout=out,
                              stderr=subprocess.DEVNULL,
                              stdin=subprocess.DEVNULL).returncode
        seconds = time.perf_counter() - start
    return seconds, code, out_path.read_bytes().decode("latin-1")


def memory_dir():
    """A folder in memory when the machine has one, else the temp folder."""
    return "/dev/shm" if os.path.isdir("/dev/shm") else None


def progress(text):
    print(text, file=sys.stderr, flush=True)


def populate(plat, count, props=0):
    progress(f"{plat.label}: populating {count} devices")
    seconds, code, _ = plat.populate(ROOT, "0", str(count), str(props))
    if code != 0:
        sys.exit(f"{plat.label}: zebpopulate {count} failed")
    return seconds


def median_run(plat, runs, args, check, before=None):
    progress(f"{plat.label}: zebcfg {' '.join(args)[:40]}")
    times = []
    for _ in range(runs):
        if before:
            before()
        seconds, code, out = plat.run("zebcfg", *args)
        if not check(code, out):
            sys.exit(f"{plat.label}: zebcfg {' '.join(args)} gave {code}: "
                     f"{out[:300]!r}")
        times.append(seconds)
    return statistics.median(times)


def listing_ok(count):
    def check(code, out):
        lines = out.replace("\r\n", "\n").splitlines()
        return code == 0 and len(lines) == count + 1
    return check


def measure(plat, runs):
    """Figures for one platform: {row name: seconds}."""
    rows = {}
    plat.fresh("start")
    rows["start-up alone (no command word)"] = median_run(
        plat, runs, [], lambda code, out: "syntax:" in out)
    for count in (1000, 10000):
        plat.fresh(f"l{count}")
        rows[f"populate {count:,} devices (zebpopulate)"] = populate(plat, count)
        rows[f"`l` over {count:,} devices"] = median_run(
            plat, runs, ["l"], listing_ok(count))
    plat.fresh("p50")
    populate(plat, 1, PROPS)
    rows["`p` over 50 properties"] = median_run(
        plat, runs, ["p", "Dev0"],
        lambda code, out: code == 0 and out.count("\n") == 51)
    plat.fresh("a1000")
    populate(plat, 1000)
    rows["`a` into a root of 1,000 devices"] = median_run(
        plat, runs, ["a", "NewDev", "Transport=Serial"],
        lambda code, out: code == 0 and out == "",
        before=lambda: plat.run("zebcfg", "rq", "NewDev"))
    return rows


def callgrind_instructions(native, count):
    native.fresh(f"cg{count}")
    populate(native, count)
    log = native.work / "callgrind.log"
    argv = ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
            f"--log-file={log}"] + native.argv("zebcfg", "l")
    subprocess.run(argv, env=native.env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    match = re.search(r"Collected : (\d+)", log.read_text())
    return int(match.group(1))


def ms(seconds):
    return f"{seconds * 1000:,.1f} ms" if seconds is not None else "n/a"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--native-dir", default=os.environ.get(
        "ZEBCFG_NATIVE_DIR", str(REPO / "build" / "native")))
    parser.add_argument("--win-dir", default=os.environ.get(
        "ZEBCFG_WIN_DIR", str(REPO / "build" / "win")))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--no-wine", action="store_true")
    parser.add_argument("--no-native", action="store_true")
    parser.add_argument("--no-callgrind", action="store_true")
    opts = parser.parse_args()

    work = Path(tempfile.mkdtemp(prefix="zebbench-"))
    try:
        native = Native(opts.native_dir, work / "native")
        native.work.mkdir()
        results = {}
        if not opts.no_native:
            results["native"] = measure(native, opts.runs)
        if not opts.no_wine:
            (work / "wine").mkdir()
            wine = Wine(opts.win_dir, work / "wine")
            try:
                results["Wine"] = measure(wine, opts.runs)
            finally:
                wine.close()
        counts = None
        if (not opts.no_native and not opts.no_callgrind
                and shutil.which("valgrind")):
            counts = {n: callgrind_instructions(native, n)
                      for n in (1000, 10000)}
    finally:
        shutil.rmtree(work, ignore_errors=True)

    header = "| Operation | " + " | ".join(results) + " |"
    print(header)
    print("|---|" + "---|" * len(results))
    for row in next(iter(results.values())):
        cells = [ms(results[plat].get(row)) for plat in results]
        print(f"| {row} | " + " | ".join(cells) + " |")
    print()
    print(f"Median wall time of {opts.runs} runs of one whole process "
          "(process start included); zebpopulate rows are one run.")
    if counts:
        ratio = counts[10000] / counts[1000]
        bound = 10 * math.log(10000) / math.log(1000)
        print()
        print("| Native `l`, instructions (callgrind) | 1,000 devices "
              "| 10,000 devices | ratio | n log n bound |")
        print("|---|---|---|---|---|")
        print(f"| total | {counts[1000]:,} | {counts[10000]:,} | "
              f"{ratio:.2f} | {bound:.2f} |")


if __name__ == "__main__":
    main()
