"""Concurrent device creation on the native build's embedded store.

Eight `a` runs with distinct names start at once. The only guard between
them is the store's refusal to create a key that exists, so each run ends
either with success or with "This device already exists", and no device key
may ever hold values written by two runs.
"""

import subprocess

import pytest

from device_support import AUTO, auto_values, fresh_root, listing, root_keys

RUNS = 8
ROUNDS = 5
EXISTS = "This device already exists\n"


def start_all(plat, argvs):
    procs = [subprocess.Popen([plat.exe_path("zebcfg"), *argv],
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, env=plat.env)
             for argv in argvs]
    results = []
    for proc in procs:
        out, err = proc.communicate(timeout=120)
        results.append((out.decode(), err.decode(), proc.returncode))
    return results


@pytest.mark.only_on("native", reason="the guarantee under test is the "
                     "embedded store's: one atomic transaction per write and "
                     "an existing-key disposition for a key that exists; "
                     "Wine's registry server is another store")
def test_eight_concurrent_creations(plat):
    for round_no in range(ROUNDS):
        fresh_root(plat)
        names = [f"Dev{round_no}_{i}" for i in range(RUNS)]
        bauds = {name: 1200 * (i + 1) for i, name in enumerate(names)}
        results = start_all(plat, [
            ["a", name, "Transport=Serial", f"Port.BaudRate={bauds[name]}",
             f"Label={name}"] for name in names])

        created = set()
        for name, (out, err, code) in zip(names, results):
            assert (out, code) in (("", 0), (EXISTS, 1)), (round_no, name, out,
                                                           err, code)
            assert err == "", (round_no, name, err)
            if code == 0:
                created.add(name)
        assert created, f"round {round_no}: no run succeeded"

        keys = root_keys(plat)
        owners = {}
        for sub, values in keys.items():
            assert sub.startswith("zeb_dev_"), sub
            marker = values.get("")
            assert marker == ("REG_SZ", ""), (sub, values)
            rtype, text = values["friendlyname"]
            assert rtype == "REG_SZ" and text.startswith("ZEB_DEV_"), values
            name = text[len("ZEB_DEV_"):]
            assert name in created, (sub, name, created)
            assert name not in owners, f"{name} in {owners.get(name)} and {sub}"
            owners[name] = sub
            # Every value must come from the run that wrote the name.
            assert values["autocfg_mask"] == ("REG_DWORD", "0xffffffff")
            assert values["devpartclass"] == ("REG_SZ", "XPT_SERIAL")
            assert values["label"] == ("REG_SZ", name), (sub, values)
            assert values["port.baudrate"] == ("REG_DWORD",
                                               hex(bauds[name])), values
            expected = auto_values(bauds[name])
            got = {p: int(values[p.lower()][1], 16) for p in AUTO}
            assert got == expected, (sub, name)
        assert set(owners) == created

        r = plat.run("l")
        assert r.code == 0, r
        assert r.out.startswith("Configured devices:\n"), r
        shown = sorted(line[4:] for line in r.out.splitlines()[1:])
        assert shown == sorted(created), (round_no, r.out)
        assert r.out == listing(*_in_key_order(owners))


def _in_key_order(owners):
    """Names of the surviving devices in the store's enumeration order
    (subkey names compared with A-Z folded)."""
    return [name for name, sub in sorted(owners.items(),
                                         key=lambda item: item[1].lower())]
