"""Writers killed at random moments leave the native store whole.

Each round starts one `a`, `s`, `r` or `ms` run and kills it with SIGKILL
after a random pause within its running time. After every round the store
passes SQLite's integrity check, `l` succeeds, `p` works on every listed
device, and every subkey of the device root holds a name value: a device
key lands whole or not at all. The rounds are drawn from a fixed seed,
printed with any failure (ZEBCFG_CRASH_SEED chooses another).

Native only: the guarantee under test is the embedded store's (one
transaction for a new device key, a write-ahead log); on Windows the
registry lands a key's values one by one, as the README says.
"""

import os
import random
import signal
import sqlite3
import statistics
import subprocess
import time

import pytest

from harness.devices import MAP, ROOT, fresh_root, root_keys

NATIVE = pytest.mark.only_on(
    "native", reason="kills the embedded store's writers; Windows lands a "
    "device key's values one by one")

SEED = int(os.environ.get("ZEBCFG_CRASH_SEED", "20261208"))
MIN_KILLS = 100
MAX_ROUNDS = 400
# Kills land anywhere in the first PAUSE_SHARE of a command's usual running
# time, measured before the rounds: most runs are killed, at every stage.
PAUSE_SHARE = 0.9
CALIBRATION_RUNS = 5


def integrity(root):
    """SQLite's verdict on the store, opened read-only."""
    db = sqlite3.connect(f"file:{root / 'registry.db'}?mode=ro", uri=True)
    try:
        return db.execute("PRAGMA integrity_check").fetchone()[0]
    finally:
        db.close()


def start(plat, argv, env):
    return subprocess.Popen([plat.exe_path("zebcfg"), *argv],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, env=env,
                            start_new_session=True)


def usual_seconds(plat, env, rng):
    """The median running time of each kind of command, as started here."""
    times = {}
    for serial in range(CALIBRATION_RUNS * 12):
        argv = pick_command(rng, serial)
        began = time.perf_counter()
        start(plat, argv, env).wait(timeout=60)
        times.setdefault(argv[0], []).append(time.perf_counter() - began)
    return {kind: statistics.median(runs) for kind, runs in times.items()}


def pick_command(rng, serial):
    # Few names, so that runs meet on the same devices and the root stays
    # small enough to check after every round.
    name = f"Dev{rng.randrange(8)}"
    kind = rng.choice(["a", "a", "s", "r", "ms"])
    if kind == "a":
        return ["a", name, "Transport=Serial",
                f"Port.BaudRate={rng.choice([1200, 9600, 115200])}",
                f"Label=l{serial}"]
    if kind == "s":
        return ["s", name, f"Label=s{serial}", f"Port.BaudRate={rng.choice([2400, 57600])}"]
    if kind == "r":
        return ["r", name]
    return ["ms", f"Entry{rng.randrange(4)}={serial}", "Gone="]


def check_store(plat, context):
    assert integrity(plat.root) == "ok", context
    r = plat.run("l")
    assert r.code == 0, (context, r)
    names = [line[4:] for line in r.out.splitlines()[1:]]
    for name in names:
        # A device whose creation was cut short before its pairs is still
        # marked new and has no transport class to show; it lists all the
        # same. The commit that ends a p purges doomed devices (a killed run
        # may have marked one), so a device listed before may be gone now.
        p = plat.run("p", name)
        if p.out == "Device not found\n":
            assert name not in plat.run("l").out.splitlines(), (context, name)
            continue
        assert p.code == 0 and f"List Properties for {name}\n" in p.out, \
            (context, name, p)
    for sub, values in root_keys(plat).items():
        assert "friendlyname" in values, (context, sub, values)
        assert "autocfg_mask" in values and "" in values, (context, sub, values)
    assert plat.run("ml").code == 0, context


@NATIVE
def test_writers_killed_at_random_leave_whole_devices(plat):
    fresh_root(plat)
    plat.reg_add(f"HKLM\\{MAP}")
    for n in range(3):
        assert plat.run("a", f"Dev{n}", "Transport=Serial").code == 0
    rng = random.Random(SEED)
    kills = 0
    # Under the sanitizers, a kill that lands in the leak check at exit
    # makes LeakSanitizer report that it could not stop the process; the
    # victims' leaks are not what this test is about.
    victim_env = dict(plat.env)
    if "ASAN_OPTIONS" in victim_env:
        victim_env["ASAN_OPTIONS"] += ":detect_leaks=0"
    usual = usual_seconds(plat, victim_env, rng)
    for serial in range(MAX_ROUNDS):
        argv = pick_command(rng, serial)
        pause = rng.uniform(0, PAUSE_SHARE * usual[argv[0]])
        proc = start(plat, argv, victim_env)
        time.sleep(pause)
        proc.send_signal(signal.SIGKILL)
        if proc.wait(timeout=60) == -signal.SIGKILL:
            kills += 1
        check_store(plat, f"seed {SEED}, round {serial}: {argv} killed after "
                          f"{pause * 1000:.1f} ms")
        if kills >= MIN_KILLS:
            break
    assert kills >= MIN_KILLS, f"seed {SEED}: only {kills} of {MAX_ROUNDS} runs killed"


@NATIVE
def test_a_reader_without_write_rights_reads_past_a_killed_writer(plat):
    """A writer killed inside its transaction leaves it unfinished in the
    store's log; a reader that may not write the store (uid 65534) still
    sees the last committed state."""
    fresh_root(plat)
    assert plat.run("a", "Com1", "Transport=Serial").code == 0
    writer = subprocess.run(
        ["python3", "-c", KILLED_WRITER, str(plat.root / "registry.db")],
        stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    assert writer.returncode == -signal.SIGKILL, writer
    r = plat.run_unprivileged("l")
    assert (r.out, r.code) == ("Configured devices:\n    Com1\n", 0), r
    r = plat.run_unprivileged("p", "Com1")
    assert r.code == 0 and "Transport" in r.out, r
    # The next writer finds the store as the last commit left it.
    assert integrity(plat.root) == "ok"
    assert plat.run("a", "Com2", "Transport=Serial").code == 0
    assert plat.run("l").out == "Configured devices:\n    Com1\n    Com2\n"


# Begins a write transaction, writes more than the page cache holds (so
# that the log receives pages of it), and dies without committing.
KILLED_WRITER = """
import os, signal, sqlite3, sys
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute("PRAGMA cache_size=1")
db.execute("BEGIN IMMEDIATE")
db.execute("INSERT INTO keys(parent, name, folded) VALUES(1, 'half', 'half')")
for i in range(2000):
    db.execute("INSERT INTO vals(key, name, folded, type, data) "
               "VALUES(1, ?, ?, 3, randomblob(500))", (f"v{i}", f"v{i}"))
os.kill(os.getpid(), signal.SIGKILL)
"""
