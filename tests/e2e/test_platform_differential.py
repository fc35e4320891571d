"""Differential test of the two platform layers: zebprobe runs the same INF
reader and registry operations natively and under Wine and prints what each
returns; the two outputs must agree line for line.

The INF half reads tests/probe/inf_script.txt over the files of
tests/probe/inf/ (zebsetup.inf among them, a copy of the example),
installed where each platform's search finds bare names
($ZEBCFG_ROOT/inf natively, C:\\windows\\inf under Wine). The INF cache half
reads tests/probe/inf_cache_script.txt, which itself writes, ages and removes
one file there between opens of the same name in one process. The registry
half is a fixed scenario that zebprobe runs below HKLM\\Software\\ZebProbe,
which it creates and removes itself.

Each backend answers in its system code page (natively UTF-8, under Wine
Windows-1252); zebprobe takes its scripts' text and prints every answer in
Windows-1252, so that the two compare character for character, sizes
included.

Wine's answers are also recorded in tests/probe/*_expected.txt, so that the
native build is checked against them when Wine or the Windows build is
missing. When Wine's answers change, those files are refreshed from a run of
build/win/zebprobe.exe (its output without carriage returns).
"""

import shutil
from pathlib import Path

import pytest

from harness import (NATIVE_DIR, WIN_DIR, NativePlatform, WinePlatform,
                     assert_same_lines, new_test_dir)

PROBE_DIR = Path(__file__).resolve().parents[1] / "probe"
INF_FILES = sorted((PROBE_DIR / "inf").glob("*.inf"))
SCRIPTS = {"inf": PROBE_DIR / "inf_script.txt",
           "infcache": PROBE_DIR / "inf_cache_script.txt"}
RECORDED = {"inf": PROBE_DIR / "inf_expected.txt",
            "infcache": PROBE_DIR / "inf_cache_expected.txt",
            "reg": PROBE_DIR / "reg_expected.txt"}
SCENARIOS = ["inf", "infcache", "reg"]


def install_inf_files(directory):
    directory.mkdir(parents=True, exist_ok=True)
    for source in INF_FILES:
        shutil.copyfile(source, directory / source.name)


def remove_inf_files(directory):
    for source in INF_FILES:
        target = directory / source.name
        if target.exists():
            target.unlink()


def probe_args(scenario, script_path, inf_dir):
    if scenario == "inf":
        return ["inf", script_path]
    if scenario == "infcache":
        return ["inf", script_path, inf_dir]
    return ["reg"]


def run_native(native_session_dir, scenario):
    if not (NATIVE_DIR / "zebprobe").exists():
        pytest.fail(f"{NATIVE_DIR / 'zebprobe'} is not built (run make build)")
    plat = NativePlatform(new_test_dir(native_session_dir), native_session_dir)
    install_inf_files(plat.root / "inf")
    r = plat.run(*probe_args(scenario, str(SCRIPTS.get(scenario)),
                             str(plat.root / "inf")), exe="zebprobe")
    assert r.code is not None, r
    return r


def run_wine(request, native_session_dir, scenario):
    if not (WIN_DIR / "zebprobe.exe").exists():
        pytest.skip(f"{WIN_DIR / 'zebprobe.exe'} is not built")
    session = request.getfixturevalue("wine_session")
    plat = WinePlatform(new_test_dir(native_session_dir), session)
    plat.reset()
    inf_dir = plat.inf_path.parent
    install_inf_files(inf_dir)
    try:
        script = SCRIPTS.get(scenario)
        r = plat.run(*probe_args(scenario,
                                 script and session.win_path(script),
                                 session.win_path(inf_dir)),
                     exe="zebprobe")
    finally:
        remove_inf_files(inf_dir)
    assert r.code is not None, r
    return r


@pytest.mark.parametrize("scenario", SCENARIOS)
def test_native_answers_as_wine_does(request, native_session_dir, scenario):
    native = run_native(native_session_dir, scenario)
    wine = run_wine(request, native_session_dir, scenario)
    assert_same_lines(native.out, wine.out, "wine")
    assert (native.code, wine.code) == (0, 0)


@pytest.mark.parametrize("scenario", SCENARIOS)
def test_native_answers_as_recorded_from_wine(native_session_dir, scenario):
    # Runs without Wine too: the recorded answers stand in for a live run.
    native = run_native(native_session_dir, scenario)
    assert_same_lines(native.out, RECORDED[scenario].read_text(), "recorded")
    assert native.code == 0

