#!/usr/bin/python3
"""Times whole zebcfg processes on the native build and under Wine, against
the performance targets, and prints the figures as markdown tables.

    bench/run_bench.py [--native-dir DIR] [--win-dir DIR]
                       [--before-native-dir DIR] [--before-win-dir DIR]
                       [--runs N] [--no-wine] [--no-native] [--no-callgrind]
                       [--only TEXT]

Every timed row is the median wall time of N (at least 5) runs of one whole
process, and is also given as a multiple of a bare process start
(`/bin/true`), timed N times in the same run. With --before-*-dir a second
build (an older one, say) is measured in the same run, over the same data,
its runs interleaved with those of the first, and the tables show both.

Measured:
  - `/bin/true`, and zebcfg with no command word (its own start-up);
  - `l` over 1,000 and 10,000 devices;
  - `p` of one device over a schema of 50 properties, every one stored, and
    the same with the setup file written again 0.1 s before each run (as
    an installer's script does just before it runs zebcfg);
  - `p` of that device with a 50 MB setup file (the schema followed by many
    sections of other lines), natively, with its peak memory;
  - `a` of one device (with a transport pair) into a root of 1,000 devices;
  - natively, one durable write of the store (`zebreg add` of one value);
  - natively, `zebreg export` of 10,000 devices with 50 values each, timed
    in turn with `zebreg query /s` over the same keys, and `zebreg import`
    of the file it wrote into an empty store;
  - under Wine, `wine reg query ROOT /s` over the 10,000 devices, the same
    keys `l` reads;
  - 256 devices of 8 properties (of a schema of 10) made by 256 runs of
    `zebcfg a` and by one `zebstate set`, timed in turn (the registries compared), the same set
    again (natively the store's bytes compared) and a `zebstate get` of
    them; under Wine in 3 rounds, the 256 starts taking minutes;
  - natively, the peak memory (maximum resident set) of each process, `l`
    counted in instructions with callgrind at 1,000 and 10,000 devices, and
    the system calls of `l` over 10,000 devices (`strace -c -f`).

The device roots are filled by bench/tools/zebpopulate, which writes through
the platform layer, so one program fills both the embedded store and Wine's
registry (natively into a store in /dev/shm, then copied into place, since
each write of the store is a durable transaction of its own). Processes start
through the end-to-end tests' drivers (tests/e2e/harness), each timed alone
(under Wine without the tests' exit-code wrapper): natively with a temporary
$ZEBCFG_ROOT, under Wine in a prefix of the harness's Wine session, with its
own wineserver, ended and removed at the end.
"""

import argparse
import json
import os
import re
import shutil
import statistics
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
# The end-to-end tests' platform drivers and Wine session start every
# process here too.
sys.path.insert(0, str(REPO / "tests" / "e2e"))
from harness import NativePlatform, WinePlatform, WineSession  # noqa: E402
ROOT = r"SOFTWARE\ZebBench\Devices"
PROPS = 45  # with Transport, Port.BaudRate and three timing lines: 50
FILE_DEVICES = 10000  # the registry file rows: devices, and values of each
FILE_VALUES = 50
BIG_INF_BYTES = 50 * 1000 * 1000
# How long before a run of the "young setup file" row its file is written.
YOUNG_SECONDS = 0.1
YOUNG_ROW = "`p` over 50 properties, setup file written 0.1 s before"
PAUSED_BARE_ROW = "bare process start 0.1 s after the last"

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


def big_schema(size):
    """SCHEMA followed by sections of lines such as a large driver package
    holds (registry lines, file lists, descriptions, comments) up to size
    bytes."""
    parts = [SCHEMA]
    total = len(SCHEMA)
    section = 0
    while total < size:
        lines = [f"\r\n[Install.Section{section}]\r\n",
                 "; registry entries and files of one install section\r\n"]
        for i in range(200):
            n = section * 200 + i
            lines.append(f'HKR,Parameters\\Port{n},Value{i},0x00010001,{n}\r\n')
            lines.append(f"zebser{n}.sys,,,0x00004000\r\n")
            lines.append(f'Desc{n}="Zeb serial port {n} on %Provider%"\r\n')
        text = "".join(lines)
        parts.append(text)
        total += len(text)
        section += 1
    return "".join(parts)


class Target:
    """One platform under measurement: the builds timed on it and the
    harness's driver of the root being measured (natively a fresh store at
    each fresh(), under Wine one prefix for the whole run). Every process
    starts through the driver's plain runner, which times that process
    alone; Linux programs such as /bin/true start through host, natively."""

    def __init__(self, label, build_dirs, work, host):
        self.label = label
        self.native = label == "native"
        self.builds = [Path(d).resolve() for d in build_dirs]
        self.work = Path(work)
        self.host = host
        self.session = None
        self.plat = None
        if not self.native:
            self.session = WineSession()
            self.plat = WinePlatform(self.work, self.session)

    def fresh(self, name, schema=SCHEMA):
        if self.native:
            folder = self.work / name
            shutil.rmtree(folder, ignore_errors=True)
            self.plat = NativePlatform(folder, self.work, self.builds[0])
        else:
            self.plat.reg_delete("HKLM\\" + ROOT.rsplit("\\", 1)[0])
        self.write_setup_file(schema)

    def write_setup_file(self, schema=SCHEMA):
        self.plat.install_inf(schema)

    def populate(self, *args):
        """Runs zebpopulate; natively on a store in memory (every write of
        the store is its own durable transaction, which on disk costs
        milliseconds), then moves the finished store into this root."""
        if not self.native:
            return self.run(0, "zebpopulate", *args)
        shm = Path(tempfile.mkdtemp(prefix="zebbench-", dir=memory_dir()))
        try:
            memory = NativePlatform(shm, shm, self.builds[0])
            result = memory.run_plain([memory.exe_path("zebpopulate"), *args],
                                      timeout=None)
            # The store's write-ahead log may hold commits not yet copied
            # into the database file: it moves with it.
            for name in ("registry.db", "registry.db-wal"):
                if (memory.root / name).exists():
                    shutil.copy2(memory.root / name, self.plat.root / name)
        finally:
            shutil.rmtree(shm, ignore_errors=True)
        return result

    def argv(self, build, program, *args):
        if os.path.isabs(program) or program == "reg":
            return [program, *args]
        path = self.builds[build] / (program + self.plat.exe_suffix)
        return [self.plat.exe_path(path), *args]

    def run(self, build, program, *args, stdin=None):
        runner = self.host if os.path.isabs(program) else self.plat
        return runner.run_plain(self.argv(build, program, *args),
                                timeout=None, stdin=stdin)

    def registry(self):
        """The registry file of the device root, and natively a digest of
        the store's bytes."""
        return self.plat.registry_snapshot("HKLM\\" + ROOT)

    def close(self):
        if self.session:
            self.session.close()


def max_rss_kb(native, argv):
    """The peak resident memory of one more run of argv, as /usr/bin/time
    reports it (a child of this process would also count the memory of this
    process before the exec); None without /usr/bin/time."""
    if not os.path.exists("/usr/bin/time"):
        return None
    report = native.work / "rss.txt"
    native.plat.run_plain(["/usr/bin/time", "-f", "%M", "-o", str(report), *argv],
                          timeout=None)
    return int(report.read_text().split()[-1])


def memory_dir():
    """A folder in memory when the machine has one, else the temp folder."""
    return "/dev/shm" if os.path.isdir("/dev/shm") else None


def progress(text):
    print(text, file=sys.stderr, flush=True)


def populate(plat, count, props=0):
    progress(f"{plat.label}: populating {count} devices")
    result = plat.populate(ROOT, "0", str(count), str(props))
    if result.code != 0:
        sys.exit(f"{plat.label}: zebpopulate {count} failed")


class Figure:
    """The runs of one row for one build."""

    def __init__(self):
        self.times = []
        self.rss_kb = None

    def median(self):
        return statistics.median(self.times)

    def max_rss_mb(self):
        return "n/a" if self.rss_kb is None else f"{self.rss_kb / 1024:,.1f} MB"


def timed_rows(plat, runs, program, args, check, before=None, also=None,
               builds=None):
    """Runs program with args on every build (or the first builds ones),
    runs times each, and with also (program, args, check) that command too,
    all interleaved so that each meets the same load on the machine; returns
    one Figure per build, then one for also."""
    progress(f"{plat.label}: {program} {' '.join(args)[:40]}")
    commands = [(build, program, args, check)
                for build in range(builds or len(plat.builds))]
    if also:
        commands.append((0,) + also)
    figures = [Figure() for _ in commands]
    for _ in range(runs):
        for (build, command, command_args, ok), figure in zip(commands,
                                                              figures):
            if before:
                before(build)
            result = plat.run(build, command, *command_args)
            if not ok(result.code, result.out):
                sys.exit(f"{plat.label} build {build}: {command} "
                         f"{' '.join(command_args)} gave {result.code}: "
                         f"{result.out[:300]!r}")
            figure.times.append(result.seconds)
    if plat.native:
        for (build, command, command_args, _), figure in zip(commands,
                                                             figures):
            if before:
                before(build)
            figure.rss_kb = max_rss_kb(plat, plat.argv(build, command,
                                                       *command_args))
    return figures


def bare_start(host, runs):
    figure = Figure()
    for _ in range(runs):
        figure.times.append(host.run_plain(["/bin/true"], timeout=None).seconds)
    return figure


def listing_ok(count):
    def check(code, out):
        lines = out.replace("\r\n", "\n").splitlines()
        return code == 0 and len(lines) == count + 1
    return check


def properties_ok(code, out):
    return code == 0 and out.count("\n") == 51


def query_ok(count):
    def check(code, out):
        return code == 0 and out.count("zeb_dev_") >= count
    return check


def measure(plat, runs, only=None):
    """Figures for one platform: {row name: [Figure per build]}; with only,
    just the rows whose names hold that text."""
    rows = {}

    def wanted(row):
        return only is None or only in row

    row = "start-up alone (no command word)"
    if wanted(row):
        plat.fresh("start")
        rows[row] = timed_rows(plat, runs, "zebcfg", [],
                               lambda code, out: "syntax:" in out)
    for count in (1000, 10000):
        row = f"`l` over {count:,} devices"
        query_row = f"`reg query /s` over the same {count:,} devices"
        query = not plat.native and count == 10000 and wanted(query_row)
        if not wanted(row) and not query:
            continue
        plat.fresh(f"l{count}")
        populate(plat, count)
        also = None
        if query:
            also = ("reg", ["query", "HKLM\\" + ROOT, "/s"], query_ok(count))
        figures = timed_rows(plat, runs, "zebcfg", ["l"], listing_ok(count),
                             also=also)
        if wanted(row):
            rows[row] = figures[:len(plat.builds)]
        if query:
            rows[query_row] = figures[-1:]
    row = "`p` over 50 properties"
    if wanted(row):
        plat.fresh("p50")
        populate(plat, 1, PROPS)
        rows[row] = timed_rows(plat, runs, "zebcfg", ["p", "Dev0"],
                               properties_ok)
    row = YOUNG_ROW
    if wanted(row):
        plat.fresh("p50young")
        populate(plat, 1, PROPS)

        def rewrite_setup_file(build):
            plat.write_setup_file()
            time.sleep(YOUNG_SECONDS)

        # A process started after a pause runs slower than one started
        # right after another (the processor has slowed down meanwhile), so
        # a bare start after the same pause is timed in turn with it.
        figures = timed_rows(plat, runs, "zebcfg", ["p", "Dev0"],
                             properties_ok, before=rewrite_setup_file,
                             also=("/bin/true", [], lambda code, out: True))
        rows[row] = figures[:-1]
        rows[PAUSED_BARE_ROW] = figures[-1:]
    row = "`p` with a 50 MB setup file"
    if plat.native and wanted(row):
        plat.fresh("p50big", big_schema(BIG_INF_BYTES))
        populate(plat, 1, PROPS)
        rows[row] = timed_rows(plat, runs, "zebcfg", ["p", "Dev0"],
                               properties_ok)
    row = "one store write (`zebreg add` of a REG_DWORD)"
    if plat.native and wanted(row):
        plat.fresh("write")
        populate(plat, 1)
        rows[row] = timed_rows(
            plat, runs, "zebreg",
            ["add", "HKLM\\" + ROOT, "/v", "Bench", "/t", "REG_DWORD", "/d",
             "1", "/f"], lambda code, out: code == 0)
    if plat.native:
        rows.update(measure_registry_files(plat, runs, wanted))
    rows.update(measure_desired_state(plat, runs, wanted))
    row = "`a` into a root of 1,000 devices"
    if wanted(row):
        plat.fresh("a1000")
        populate(plat, 1000)
        rows[row] = timed_rows(
            plat, runs, "zebcfg", ["a", "NewDev", "Transport=Serial"],
            lambda code, out: code == 0 and out == "",
            before=lambda build: plat.run(build, "zebcfg", "rq", "NewDev"))
    return rows


EXPORT_ROW = (f"`zebreg export` of {FILE_DEVICES:,} devices with "
              f"{FILE_VALUES} values each")
FILE_QUERY_ROW = f"`zebreg query /s` over the same {FILE_DEVICES:,} devices"
IMPORT_ROW = "`zebreg import` of that file into an empty store"


def silent_success(code, out):
    return code == 0 and out == ""


def measure_registry_files(native, runs, wanted):
    """Natively: zebreg export of a large device root, timed in turn with
    zebreg query /s over the same keys, then zebreg import of the file it
    wrote into an empty store (on disk, as a restore would be). Only the
    first build: an older zebreg may have neither."""
    rows = {}
    if not any(wanted(row) for row in (EXPORT_ROW, FILE_QUERY_ROW, IMPORT_ROW)):
        return rows
    native.fresh("export")
    # zebpopulate writes 8 values of its own per device, then PROPS more.
    populate(native, FILE_DEVICES, FILE_VALUES - 8)
    path = str(native.work / "devices.reg")
    key = "HKLM\\" + ROOT
    figures = timed_rows(native, runs, "zebreg", ["export", key, path, "/y"],
                         silent_success, builds=1,
                         also=("zebreg", ["query", key, "/s"],
                               query_ok(FILE_DEVICES)))
    rows[EXPORT_ROW], rows[FILE_QUERY_ROW] = figures[:1], figures[1:]
    if wanted(IMPORT_ROW):
        native.fresh("import")
        store = native.plat.root / "registry.db"

        def empty_store(build):
            for suffix in ("", "-wal", "-shm", "-journal"):
                Path(str(store) + suffix).unlink(missing_ok=True)

        rows[IMPORT_ROW] = timed_rows(native, runs, "zebreg", ["import", path],
                                      silent_success, before=empty_store,
                                      builds=1)
    return rows


STATE_DEVICES = 256
# A driver's schema of ten properties (the example's size), eight of them set.
STATE_SCHEMA = SCHEMA.replace(
    "".join(f"P{j}=0,0\r\n" for j in range(PROPS)),
    "".join(f"P{j}=0,0\r\n" for j in range(5)))
STATE_A_ROW = f"{STATE_DEVICES} `zebcfg a` runs of 8 properties each (all of them)"
STATE_SET_ROW = f"`zebstate set` of the same {STATE_DEVICES} devices, one process"
STATE_AGAIN_ROW = "`zebstate set` of that document again (writes nothing)"
STATE_GET_ROW = f"`zebstate get` of the same {STATE_DEVICES} devices"
STATE_ROWS = (STATE_A_ROW, STATE_SET_ROW, STATE_AGAIN_ROW, STATE_GET_ROW)
# Under Wine the 256 starts of zebcfg.exe take about two minutes a round.
STATE_WINE_RUNS = 3


def state_pairs(i):
    """The 8 properties of device i, as zebcfg's pairs."""
    return ["Transport=Serial", f"Port.BaudRate={1200 * (i % 8 + 1)}",
            f"Timing.RxTimeout={100 + i}"] + [f"P{j}=text {i}.{j}"
                                               for j in range(5)]


def state_document(get=False):
    """The JSON document of the same devices (for get, their names)."""
    devices = []
    for i in range(STATE_DEVICES):
        device = {"name": f"Dev{i}"}
        if not get:
            properties = {}
            for pair in state_pairs(i):
                name, value = pair.split("=", 1)
                properties[name] = int(value) if value.isdigit() else value
            device["properties"] = properties
        devices.append(device)
    return json.dumps({"devices": devices}).encode()


def measure_desired_state(plat, runs, wanted):
    """The same 256 devices of 8 properties made by 256 runs of zebcfg a and
    by one zebstate set, timed in turn round by round on an emptied root;
    the two registries must be the same. Then the same set again (natively
    the store's bytes must not change) and a get of the devices. Only the
    first build: an older one has no zebstate."""
    rows = {}
    if not any(wanted(row) for row in STATE_ROWS):
        return rows
    rounds = runs if plat.native else min(runs, STATE_WINE_RUNS)
    figures = {row: Figure() for row in STATE_ROWS}
    document, names = state_document(), state_document(get=True)
    for n in range(rounds):
        progress(f"{plat.label}: desired state, round {n + 1} of {rounds}")
        plat.fresh("state", STATE_SCHEMA)
        populate(plat, 0)
        start = time.perf_counter()
        for i in range(STATE_DEVICES):
            if plat.run(0, "zebcfg", "a", f"Dev{i}", *state_pairs(i)).code != 0:
                sys.exit(f"{plat.label}: zebcfg a Dev{i} failed")
        figures[STATE_A_ROW].times.append(time.perf_counter() - start)
        by_zebcfg = plat.registry()[0]
        plat.fresh("state", STATE_SCHEMA)
        populate(plat, 0)
        for row in (STATE_SET_ROW, STATE_AGAIN_ROW):
            before = plat.registry()
            result = plat.run(0, "zebstate", "set", stdin=document)
            if result.code != 0:
                sys.exit(f"{plat.label}: zebstate set gave {result.code}")
            figures[row].times.append(result.seconds)
        if plat.registry()[0] != by_zebcfg:
            sys.exit(f"{plat.label}: zebstate set left another registry than "
                     "zebcfg a")
        if plat.native and plat.registry()[1] != before[1]:
            sys.exit("native: the second zebstate set changed the store")
        result = plat.run(0, "zebstate", "get", stdin=names)
        if result.code != 0 or result.out.count("\n") != STATE_DEVICES:
            sys.exit(f"{plat.label}: zebstate get gave {result.code}")
        figures[STATE_GET_ROW].times.append(result.seconds)
    return {row: [figure] for row, figure in figures.items()}


def checked_run(native, argv):
    """Runs argv natively in the current root; ends the bench when it fails."""
    result = native.plat.run_plain(argv, timeout=None)
    if result.code != 0:
        sys.exit(f"native: {' '.join(argv)} gave {result.code}: "
                 f"{result.err[-300:]!r}")


def listing_system_calls(native, build, count):
    """The system calls of native `l` over count devices, all threads and
    children counted (strace -c -f)."""
    native.fresh(f"strace{count}")
    populate(native, count)
    log = native.work / "strace.log"
    argv = ["strace", "-c", "-f", "-o", str(log)] + native.argv(
        build, "zebcfg", "l")
    checked_run(native, argv)
    match = re.search(r"^\S.*?(\d+)\s+(?:\d+\s+)?total$", log.read_text(), re.M)
    return int(match.group(1))


def callgrind_instructions(native, build, count):
    native.fresh(f"cg{count}")
    populate(native, count)
    log = native.work / "callgrind.log"
    argv = ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
            f"--log-file={log}"] + native.argv(build, "zebcfg", "l")
    checked_run(native, argv)
    match = re.search(r"Collected : (\d+)", log.read_text())
    return int(match.group(1))


def cell(figure, bare):
    if figure is None:
        return "n/a"
    seconds = figure.median()
    return f"{seconds * 1000:,.1f} ms ({seconds / bare.median():,.1f}×)"


def print_tables(results, labels, bare, runs, counts, calls):
    columns = [(plat, build) for plat in results for build in range(len(labels))]
    names = [f"{plat} {labels[build]}".strip() for plat, build in columns]
    print("| Operation | " + " | ".join(names) + " |")
    print("|---|" + "---|" * len(columns))
    print(f"| bare process start (`/bin/true`) | "
          + " | ".join(f"{bare.median() * 1000:,.1f} ms (1.0×)"
                       for _ in columns) + " |")
    rows = []
    for plat in results:
        rows += [row for row in results[plat] if row not in rows]
    for row in rows:
        cells = []
        for plat, build in columns:
            figures = results[plat].get(row)
            figure = figures[build] if figures and build < len(figures) else None
            cells.append(cell(figure, bare))
        print(f"| {row} | " + " | ".join(cells) + " |")
    print()
    print(f"Median wall time of {runs} runs of one whole process (process "
          "start included), and in brackets its multiple of the median bare "
          "process start (`/bin/true`) of the same run.")
    wine = results.get("Wine", {})
    query = wine.get("`reg query /s` over the same 10,000 devices")
    listing = wine.get("`l` over 10,000 devices")
    if query and listing:
        print()
        print("Under Wine, `l` over 10,000 devices against `reg query /s` over "
              "the same keys, timed in turn: " + ", ".join(
                  f"{query[0].median() / figure.median():.1f}× faster "
                  f"({labels[build] or 'this build'})"
                  for build, figure in enumerate(listing)) + ".")
    for plat, figures in results.items():
        young, paused = figures.get(YOUNG_ROW), figures.get(PAUSED_BARE_ROW)
        if young and paused:
            print()
            print(f"{plat}: `p` with a setup file written 0.1 s before, against "
                  "a bare process start after the same pause, timed in turn: "
                  + ", ".join(f"{figure.median() / paused[0].median():.1f}× "
                              f"({labels[build] or 'this build'})"
                              for build, figure in enumerate(young)) + ".")
    for plat, figures in results.items():
        if all(figures.get(row) for row in STATE_ROWS):
            median = {row: figures[row][0].median() for row in STATE_ROWS}
            print()
            print(f"{plat}: one `zebstate set` of {STATE_DEVICES} devices is "
                  f"{median[STATE_A_ROW] / median[STATE_SET_ROW]:.1f}× faster "
                  f"than the {STATE_DEVICES} `zebcfg a` runs that make the "
                  "same registry, timed in turn; the second set takes "
                  f"{median[STATE_AGAIN_ROW] / median[STATE_GET_ROW]:.2f}× the "
                  "time of a get of the same devices"
                  + (" and leaves the store's bytes as they were"
                     if plat == "native" else "") + ".")
    native = results.get("native", {})
    if native.get(EXPORT_ROW) and native.get(FILE_QUERY_ROW):
        print()
        print(f"Natively, `zebreg export` of {FILE_DEVICES:,} devices against "
              "`zebreg query /s` over the same keys, timed in turn: "
              f"{native[EXPORT_ROW][0].median() / native[FILE_QUERY_ROW][0].median():.2f}"
              "× the time of the query.")
    if "native" in results:
        print()
        print("| Native peak memory (maximum resident set) | "
              + " | ".join(f"native {label}".strip() for label in labels)
              + " |")
        print("|---|" + "---|" * len(labels))
        for row, figures in results["native"].items():
            cells = [figure.max_rss_mb() for figure in figures]
            cells += ["n/a"] * (len(labels) - len(cells))
            print(f"| {row} | " + " | ".join(cells) + " |")
    if calls:
        print()
        print("| Native `l` over 10,000 devices, system calls (strace -c -f) "
              "| calls | per device |")
        print("|---|---|---|")
        for build, label in enumerate(labels):
            print(f"| {('native ' + label).strip()} | {calls[build]:,} | "
                  f"{calls[build] / 10000:.2f} |")
    if counts:
        print()
        print("| Native `l`, instructions (callgrind) | 1,000 devices "
              "| 10,000 devices | growth |")
        print("|---|---|---|---|")
        for build, label in enumerate(labels):
            small, large = counts[build][1000], counts[build][10000]
            print(f"| {('native ' + label).strip()} | {small:,} | {large:,} | "
                  f"{large / small:.2f}× |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--native-dir", default=os.environ.get(
        "ZEBCFG_NATIVE_DIR", str(REPO / "build" / "native")))
    parser.add_argument("--win-dir", default=os.environ.get(
        "ZEBCFG_WIN_DIR", str(REPO / "build" / "win")))
    parser.add_argument("--before-native-dir")
    parser.add_argument("--before-win-dir")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--no-wine", action="store_true")
    parser.add_argument("--no-native", action="store_true")
    parser.add_argument("--no-callgrind", action="store_true")
    parser.add_argument("--only", help="measure only the rows holding this")
    opts = parser.parse_args()
    if opts.runs < 5:
        parser.error("--runs: at least 5 runs make a median")
    labels = ["after", "before"] if opts.before_native_dir else [""]
    native_dirs = [opts.native_dir] + (
        [opts.before_native_dir] if opts.before_native_dir else [])
    win_dirs = [opts.win_dir] + (
        [opts.before_win_dir or opts.win_dir] if opts.before_native_dir else [])

    work = Path(tempfile.mkdtemp(prefix="zebbench-"))
    try:
        host = NativePlatform(work / "host", work, native_dirs[0])
        bare = bare_start(host, opts.runs)
        native = Target("native", native_dirs, work / "native", host)
        native.work.mkdir()
        results = {}
        if not opts.no_native:
            results["native"] = measure(native, opts.runs, opts.only)
        if not opts.no_wine:
            (work / "wine").mkdir()
            wine = Target("Wine", win_dirs, work / "wine", host)
            try:
                results["Wine"] = measure(wine, opts.runs, opts.only)
            finally:
                wine.close()
        counts = None
        if (not opts.no_native and not opts.no_callgrind and not opts.only
                and shutil.which("valgrind")):
            counts = [{n: callgrind_instructions(native, build, n)
                       for n in (1000, 10000)} for build in range(len(labels))]
        calls = None
        if not opts.no_native and not opts.only and shutil.which("strace"):
            calls = [listing_system_calls(native, build, 10000)
                     for build in range(len(labels))]
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print_tables(results, labels, bare, opts.runs, counts, calls)


if __name__ == "__main__":
    main()
