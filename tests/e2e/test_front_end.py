"""Entry and dispatch: program name, syntax and unknown-command lines, and
command word matching."""

import pytest

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
