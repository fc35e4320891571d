"""Batch scripts under Wine's cmd.exe: examples/provision.cmd installs and
configures from the layout of the Windows zip, and the exit-code idiom the
README gives script writers catches zebcfg's negative codes."""

import shutil
from pathlib import Path

import pytest

from harness import EXAMPLE_INF, REPO

PROVISION_CMD = REPO / "examples" / "provision.cmd"
CMD = "C:\\windows\\system32\\cmd.exe"
BATCH_ONLY = "batch files run in cmd.exe; the native build's scripts are shell scripts"


def package_folder(plat, zebcfg_name="zebcfg"):
    """A folder laid out as the Windows zip: zebcfg.exe, zebsetup.inf and
    provision.cmd; returns its Linux path."""
    folder = Path(plat.copy_exe(zebcfg_name)).parent
    shutil.copy2(EXAMPLE_INF, folder / "zebsetup.inf")
    shutil.copy2(PROVISION_CMD, folder / "provision.cmd")
    return folder


def run_batch(plat, script, *args):
    return plat.run_argv([CMD, "/c", plat.session.win_path(script), *args])


@pytest.mark.only_on("wine", reason=BATCH_ONLY)
def test_provision_cmd_installs_and_configures_and_can_run_again(plat):
    folder = package_folder(plat)
    for _ in range(2):
        r = run_batch(plat, folder / "provision.cmd")
        assert r.code == 0, r
        assert r.out.endswith("Configured devices:\n    COM7\n    lab-gw\n"
                              "provision: done\n"), r
    assert plat.inf_path.read_bytes() == EXAMPLE_INF.read_bytes()
    r = plat.run("p", "COM7")
    assert "Port.BaudRate             = 115200\n" in r.out
    assert "Port.Parity               = even\n" in r.out
    assert plat.run("ml").out == ("Property map:\n"
                                  "    PollMs                   = 0xfa (250)\n"
                                  "    Retries                  = 0x03 (3)\n")


@pytest.mark.only_on("wine", reason=BATCH_ONLY)
def test_provision_cmd_stops_at_a_step_that_ends_with_minus_one(plat):
    folder = package_folder(plat)
    # A program name that starts with "." makes zebcfg end with -1 silently.
    hidden = Path(plat.copy_exe(".zebcfg"))
    r = run_batch(plat, folder / "provision.cmd", plat.session.win_path(hidden))
    assert r.code == 1, r
    assert r.out == 'provision: step "create COM7" failed with exit code -1\n'
    assert plat.reg_query(r"HKLM\SOFTWARE\Zeb\zebser\Devices") is not None


IDIOMS = "\r\n".join([
    "@echo off",
    '"%~1" %2',
    "if errorlevel 1 echo errorlevel 1 sees it",
    "if %ERRORLEVEL% NEQ 0 echo NEQ 0 sees %ERRORLEVEL%",
    "",
])


@pytest.mark.only_on("wine", reason=BATCH_ONLY)
@pytest.mark.parametrize("word, out", [
    ("bogus", "unknown command: bogus\nNEQ 0 sees -1\n"),
    ("a", "syntax: zebcfg a <name> prop1=value [prop2=...]\n"
          "errorlevel 1 sees it\nNEQ 0 sees 1\n"),
    # Wine 8 is Windows 10 by default: class 5.
    ("osver", "errorlevel 1 sees it\nNEQ 0 sees 5\n"),
])
def test_only_neq_0_sees_every_failing_exit_code(plat, word, out):
    script = plat.session.prefix / "drive_c" / "t" / plat.test_dir.name / "idioms.cmd"
    script.parent.mkdir(parents=True, exist_ok=True)
    script.write_bytes(IDIOMS.encode())
    r = run_batch(plat, script, plat.exe_path("zebcfg"), word)
    assert r.out == out, r
