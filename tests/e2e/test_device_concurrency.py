"""Parallel writers of one device root, on both builds.

Every writer of the device root holds the lock named for it, so eight runs
started at once behave as if they ran one after another: eight creations of
distinct names all succeed, eight creations of one name make one device, and
eight removals of one device remove it once. Each device key carries only
values written by the run that created it. And a listing made while others
change the root is one snapshot of it (natively).
"""

import json
import subprocess
import threading

import pytest

from harness.devices import (AUTO, ROOT, auto_values, fresh_root, listing,
                             root_keys)

RUNS = 8
EXISTS = "This device already exists\n"
NOT_FOUND = "Device not found\n"


def _names_in_root(plat):
    """{device name: subkey} of the device root, checking that every key is
    whole and written by one run."""
    owners = {}
    for sub, values in root_keys(plat).items():
        assert sub.startswith("zeb_dev_"), sub
        assert values.get("") == ("REG_SZ", ""), (sub, values)
        rtype, text = values["friendlyname"]
        assert rtype == "REG_SZ" and text.startswith("ZEB_DEV_"), values
        name = text[len("ZEB_DEV_"):]
        assert name not in owners, f"{name} in {owners.get(name)} and {sub}"
        owners[name] = sub
    return owners


def test_eight_creations_of_distinct_names_all_succeed(plat):
    fresh_root(plat)
    names = [f"Dev{i}" for i in range(RUNS)]
    bauds = {name: 1200 * (i + 1) for i, name in enumerate(names)}
    results = plat.run_parallel([
        ["a", name, "Transport=Serial", f"Port.BaudRate={bauds[name]}",
         f"Label={name}"] for name in names])
    for name, r in zip(names, results):
        assert (r.out, r.code) == ("", 0), (name, r)

    owners = _names_in_root(plat)
    assert sorted(owners) == names
    # Distinct subkey numbers, the lowest ones, each holding its run's values.
    assert sorted(owners.values()) == sorted(f"zeb_dev_{i}" for i in range(RUNS))
    keys = root_keys(plat)
    for name, sub in owners.items():
        values = keys[sub]
        assert values["label"] == ("REG_SZ", name), (sub, values)
        assert values["port.baudrate"] == ("REG_DWORD", hex(bauds[name]))
        got = {p: int(values[p.lower()][1], 16) for p in AUTO}
        assert got == auto_values(bauds[name]), (sub, name)

    r = plat.run("l")
    assert r.code == 0, r
    in_key_order = sorted(owners, key=lambda name: int(owners[name][8:]))
    assert r.out == listing(*in_key_order)


def test_eight_creations_of_one_name_make_one_device(plat):
    fresh_root(plat)
    spellings = ["Com1", "COM1", "com1", "cOM1"] * (RUNS // 4)
    results = plat.run_parallel([
        ["a", name, "Transport=Serial", f"Label=run{i}"]
        for i, name in enumerate(spellings)])
    winners = [i for i, r in enumerate(results) if r.code == 0]
    assert len(winners) == 1, results
    for i, r in enumerate(results):
        expected = ("", 0) if i in winners else (EXISTS, plat.exit(1))
        assert (r.out, r.code) == expected, (i, r)

    owners = _names_in_root(plat)
    assert list(owners) == [spellings[winners[0]]]
    keys = root_keys(plat)
    assert keys["zeb_dev_0"]["label"] == ("REG_SZ", f"run{winners[0]}")


def test_eight_removals_of_one_device_remove_it_once(plat):
    fresh_root(plat)
    assert plat.run("a", "Com1", "Transport=Serial").code == 0
    assert plat.run("a", "Com2", "Transport=Serial").code == 0
    results = plat.run_parallel([["r", "COM1"]] * RUNS)
    removed = [r for r in results if r.code == 0]
    assert len(removed) == 1, results
    assert removed[0].out == "COM1 removed\n"
    for r in results:
        if r.code != 0:
            assert (r.out, r.code) == (NOT_FOUND, plat.exit(1)), r
    assert plat.run("l").out == listing("Com2")


def _zebstate_set(name, label):
    instance = {"name": name, "properties": {"Transport": "Serial",
                                             "Label": label}}
    return ["set", "device", "--input", json.dumps(instance)]


# zebstate holds the root's lock from its reading of the actual state to its
# last write: sets of distinct devices all land, and of sets of one device
# one creates it and each other one finds it and changes only what differs.
@pytest.mark.parametrize("same_device", [False, True],
                         ids=["distinct devices", "one device"])
def test_parallel_zebstate_sets(plat, same_device):
    fresh_root(plat)
    names = ["Dev0"] * 4 if same_device else [f"Dev{i}" for i in range(4)]
    results = plat.run_parallel(
        [_zebstate_set(name, "same") for name in names], exe="zebstate")
    changes = []
    for r in results:
        assert r.code == 0, r
        changes.append(json.loads(r.out.splitlines()[1]))
    creations = [c for c in changes if c[:1] == ["_exist"]]
    assert len(creations) == (1 if same_device else 4), changes
    if same_device:
        assert changes.count([]) == 3, changes
    assert sorted(_names_in_root(plat)) == sorted(set(names))


STABLE = 200
CHURNERS = 6
LISTINGS = 40


def _stable_devices_file(path):
    """A registry file of STABLE committed devices Stable0.. in zeb_dev_0.."""
    lines = ["REGEDIT4", ""]
    for i in range(STABLE):
        lines += [f"[HKEY_LOCAL_MACHINE\\{ROOT}\\zeb_dev_{i}]", '@=""',
                  f'"FriendlyName"="ZEB_DEV_Stable{i}"',
                  '"autocfg_mask"=dword:ffffffff',
                  '"DevPartClass"="XPT_SERIAL"', ""]
    path.write_text("\r\n".join(lines) + "\r\n")


def _churn(plat, name, stop):
    """Adds and removes the device name until stop is set."""
    argv = [plat.exe_path()]
    while not stop.is_set():
        for args in (["a", name, "Transport=Serial"], ["r", name]):
            subprocess.run(argv + args, env=plat.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, timeout=60)


# A listing reads one state of the device root: while other processes add
# and remove devices, whose subkeys fall between the stable ones in the
# root's order, each stable device is listed exactly once.
@pytest.mark.only_on("native", reason="under Wine the churning processes "
                     "start half a second apart and hardly overlap a listing; "
                     "Windows lists key by key, as its registry does")
def test_listings_during_changes_show_each_stable_device_once(plat, tmp_path):
    fresh_root(plat)
    _stable_devices_file(tmp_path / "stable.reg")
    assert plat.reg("import", tmp_path / "stable.reg").code == 0
    stable = [f"Stable{i}" for i in range(STABLE)]
    stop = threading.Event()
    churners = [threading.Thread(target=_churn, args=(plat, f"Churn{i}", stop))
                for i in range(CHURNERS)]
    for churner in churners:
        churner.start()
    try:
        results = [plat.run("l") for _ in range(LISTINGS)]
    finally:
        stop.set()
        for churner in churners:
            churner.join()
    for r in results:
        assert r.code == 0, r
        names = [line.strip() for line in r.out.splitlines()[1:]]
        assert len(names) == len(set(names)), r.out
        assert sorted(n for n in names if n.startswith("Stable")) == sorted(stable)
