"""Entry and dispatch: program name, syntax and unknown-command lines, and
command word matching."""

import re

import pytest

from harness import REPO

SYNTAX = "syntax: {} <cmd> [args]\n"

# Each word in another case, with its lower-case form. Left out: the words
# whose failure paths wait for a user (msg, stopd, restartd, reboot, wait).
CASE_VARIANTS = [("A", "a"), ("rQ", "rq"), ("L", "l"), ("Ml", "ml"),
                 ("mSq", "msq"), ("OsVer", "osver"), ("STOP", "stop"),
                 ("RESTARTQ", "restartq")]


def test_words_match_without_regard_to_case(plat):
    # No INF is installed, so every word fails the same way whatever its case.
    for variant, lower in CASE_VARIANTS:
        expected = plat.run(lower)
        r = plat.run(variant)
        assert not r.out.startswith("unknown command"), (variant, r)
        assert (r.out, r.code) == (expected.out, expected.code), (variant, r,
                                                                  expected)


def test_extra_arguments_reach_the_handler_unrejected(plat):
    plain = plat.run("osver")
    r = plat.run("OsVer", "x", "", "y z")
    assert (r.out, r.code) == ("", plain.code)


@pytest.mark.parametrize("file_name, shown", [
    ("cfg.tool", "cfg"),
    ("cfg", "cfg"),
    ("MyCfg.v2.tool", "MyCfg"),
    ("zeb-config", "zeb-config"),
])
def test_program_name_is_the_file_name_before_its_first_dot(plat, file_name, shown):
    exe = plat.copy_exe(file_name)
    r = plat.run(exe=exe)
    assert (r.out, r.code) == (SYNTAX.format(shown), plat.exit(-1))


def test_dots_in_the_folder_do_not_cut_the_name(plat):
    exe = plat.copy_exe("cfg", subdir="my.tools dir")
    r = plat.run(exe=exe)
    assert (r.out, r.code) == (SYNTAX.format("cfg"), plat.exit(-1))


@pytest.mark.parametrize("args", [(), ("osver",), ("bogus",), ("l",)])
def test_name_starting_with_a_dot_ends_silently(plat, args):
    exe = plat.copy_exe(".hidden")
    r = plat.run(*args, exe=exe)
    assert (r.out, r.code) == ("", plat.exit(-1))


def test_nothing_goes_to_standard_error(plat):
    for args in [(), ("bogus",), ("l",), ("stop",)]:
        r = plat.run(*args)
        # Wine may add its own diagnostics; the program itself writes none.
        if plat.name == "native":
            assert r.err == "", args


NATIVE_TOOL = pytest.mark.only_on("native", reason="the Windows build ships "
                                  "no zebreg or zebinstall: reg.exe and "
                                  "rundll32 are theirs there")
VERSION = re.search(r"project\(zebcfg VERSION ([0-9.]+)",
                    (REPO / "CMakeLists.txt").read_text()).group(1)


# zebcfg has no options of its own: --help and --version are unknown
# commands. Every other program answers both, with its words and its man
# page, or its version.
@pytest.mark.parametrize("exe, word, first, last, code", [
    ("zebcfg", "--help", "unknown command: --help", None, -1),
    ("zebcfg", "--version", "unknown command: --version", None, -1),
    ("zebstate", "--help", "zebstate: ", "See zebstate(1).", 0),
    ("zebstate", "--version", f"zebstate {VERSION}", None, 0),
    pytest.param("zebreg", "--help", "Usage:", "See zebreg(1).", 0,
                 marks=NATIVE_TOOL),
    pytest.param("zebreg", "--version", f"zebreg {VERSION}", None, 0,
                 marks=NATIVE_TOOL),
    pytest.param("zebinstall", "--help", "zebinstall: ", "See zebinstall(1).",
                 0, marks=NATIVE_TOOL),
])
def test_help_and_version(plat, exe, word, first, last, code):
    r = plat.run(word, exe=exe)
    lines = r.out.splitlines()
    assert (r.code, lines[0].startswith(first)) == (plat.exit(code), True), r
    assert lines[-1] == (last or lines[0]), r
