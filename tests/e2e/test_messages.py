"""Status messages: a missing or broken setup file, a missing device root path,
and replacement texts from [cfg_strings], printed by the commands that report
them (l, ml, r, rq, stop, stopq, restart, restartq)."""

import pytest

NOT_FOUND = "INF file not found - please re-install driver\n"
CORRUPT = "INF file format error\n"
REG_ERR = "Error in configuration database found - driver re-installation recommended\n"
F_NOT_FOUND, F_CORRUPT = 0xF0000003, 0xF0000004

VERSION = '[Version]\nSignature="$Windows NT$"\n'
ROOT = r"Software\ZebTest\Devices"
MAP = r"Software\ZebTest\Map"


def inf(*cfg_strings, version=VERSION, tail=""):
    """An INF with the given [cfg_strings] lines."""
    return version + "[cfg_strings]\n" + "".join(f"{s}\n" for s in cfg_strings) + tail


def expect(plat, args, out, code):
    r = plat.run(*args)
    assert (r.out, r.code) == (out, plat.exit(code)), args


# command, text in normal mode, exit code as a function of the status
REPORTERS = [
    (("l",), True, lambda s: 1),
    (("ml",), True, lambda s: 1),
    (("r", "com7"), True, lambda s: 1),
    (("rq", "com7"), False, lambda s: 1),
    (("stop",), True, lambda s: s),
    (("stopq",), False, lambda s: s),
    (("restart",), True, lambda s: 1),
    (("restartq",), False, lambda s: 1),
]


@pytest.mark.parametrize("args, prints, code", REPORTERS,
                         ids=[" ".join(r[0]) for r in REPORTERS])
def test_missing_inf_is_reported_with_the_built_in_text(plat, args, prints, code):
    expect(plat, args, NOT_FOUND if prints else "", code(F_NOT_FOUND))


BROKEN_INFS = {
    "no-version": inf(f"dev_reg_root={ROOT}", f"map_path={MAP}", version=""),
    "wrong-signature": inf(f"dev_reg_root={ROOT}", f"map_path={MAP}",
                           version='[Version]\nSignature="$Linux$"\n'),
    "version-without-signature": inf(f"dev_reg_root={ROOT}", f"map_path={MAP}",
                                     version="[Version]\nClass=Ports\n"),
    "empty-file": "",
}


@pytest.mark.parametrize("name", sorted(BROKEN_INFS))
def test_inf_without_a_version_signature_is_a_format_error(plat, name):
    plat.install_inf(BROKEN_INFS[name])
    # Every reporter once; the other files with one normal and one quiet word.
    reporters = REPORTERS if name == "no-version" else REPORTERS[0::5]
    for args, prints, code in reporters:
        expect(plat, args, CORRUPT if prints else "", code(F_CORRUPT))


@pytest.mark.parametrize("signature", ["$Windows NT$", "$Chicago$", "$WINDOWS NT$"])
def test_accepted_signatures(plat, signature):
    plat.reg_import({"HKLM\\" + ROOT: {}})
    plat.install_inf(inf(f"dev_reg_root={ROOT}",
                         version=f'[Version]\nSignature="{signature}"\n'))
    r = plat.run("l")
    assert r.code == 0 and r.out not in (CORRUPT, NOT_FOUND), r


@pytest.mark.parametrize("lines, out", [
    ((), CORRUPT),                                   # no dev_reg_root at all
    (("dev_reg_root=Software\\" + "r" * 250,), REG_ERR),  # 259: read, not there
    (("dev_reg_root=Software\\" + "r" * 251,), CORRUPT),  # 260: too long
    (("dev_reg_root=Software\\ZebTest\\Missing",), REG_ERR),
])
def test_device_root_path_failures(plat, lines, out):
    plat.install_inf(inf(*lines))
    expect(plat, ("l",), out, 1)


def test_device_root_path_lookup_ignores_key_case(plat):
    plat.reg_import({"HKLM\\" + ROOT: {}})
    plat.install_inf(inf(f"DEV_REG_ROOT={ROOT}"))
    assert plat.run("l").code == 0


# [cfg_strings] lines (no dev_reg_root: l fails with 0xF0000004) -> output of l
REPLACEMENTS = [
    (('msg_inf_corrupt="Setup file damaged"',), "Setup file damaged\n"),
    (("MSG_INF_CORRUPT=first", "msg_inf_corrupt=second"), "first\n"),
    (("msg_inf_corrupt=", ), "\n"),
    (("msg_inf_corrupt=" + "x" * 367 + "END",),
     "x" * 367 + "E\n"),                             # 370: cut to 368
    (("msg_inf_corrupt=" + "y" * 368,), "y" * 368 + "\n"),
    (("msg_inf_corrupt=" + "z" * 399,), "z" * 368 + "\n"),
    (("msg_inf_corrupt=" + "w" * 400,), CORRUPT),     # does not fit: default
    (("msg_inf_corrupt=" + "v" * 1000,), CORRUPT),
    (("msg_unknown=not me",), CORRUPT),               # known codes keep theirs
    (('msg_inf_corrupt="code %d = 0x%x"',), "code -268435452 = 0xf0000004\n"),
    (('msg_inf_corrupt="[%12X] [%-5o]"',), "[    F0000004] [36000000004]\n"),
    (('msg_inf_corrupt="100%% sure, %d"',), "100% sure, -268435452\n"),
]


@pytest.mark.parametrize("lines, out", REPLACEMENTS,
                         ids=[str(i) for i in range(len(REPLACEMENTS))])
def test_replacement_texts(plat, lines, out):
    plat.install_inf(inf(*lines))
    expect(plat, ("l",), out, 1)


def test_first_line_wins_across_repeated_sections(plat):
    plat.install_inf(inf("msg_inf_corrupt=first",
                         tail="[cfg_strings]\nmsg_inf_corrupt=second\n"))
    expect(plat, ("l",), "first\n", 1)


def test_replacement_texts_are_silent_in_quiet_mode(plat):
    # A service that does not exist: ERROR_SERVICE_DOES_NOT_EXIST (1060).
    plat.install_inf(inf("msg_inf_corrupt=loud", "msg_unknown=loud %d",
                         tail="[cfg_start_stop]\nzebtest_no_such_service\n"))
    expect(plat, ("r", "com7"), "loud\n", 1)
    expect(plat, ("rq", "com7"), "", 1)
    expect(plat, ("stop",), "loud 1060\n", 1060)
    expect(plat, ("stopq",), "", 1060)


def test_codes_without_a_row_and_msg_unknown(plat):
    # ml with a map path whose key is missing: status 2, which has no row.
    plat.install_inf(inf(f"map_path={MAP}"))
    expect(plat, ("ml",), "Unrecognized system error 2(0x2)\n", 1)
    plat.install_inf(inf(f"map_path={MAP}", 'msg_unknown="no map (%d, 0x%x)"'))
    expect(plat, ("ml",), "no map (2, 0x2)\n", 1)


def test_lookup_code_of_a_missing_map_path_passes_through(plat):
    # The reader's ERROR_LINE_NOT_FOUND (0xE0000102) reaches the message as is.
    plat.install_inf(inf(f"dev_reg_root={ROOT}"))
    expect(plat, ("ml",), "Unrecognized system error -536870654(0xe0000102)\n", 1)


@pytest.mark.parametrize("text, out", [
    # No conversion but the integer ones reads an argument; a third integer
    # conversion, '*' widths, %s, %n and %p are printed as written.
    ('"%s|%n|%p|%*d|%d|%x|%d"', "%s|%n|%p|%*d|2|2|%d"),
    ('"%s%s%s%s%s%s%s%s%s%s%s%s"', "%s" * 12),
    ('"%n%n%n%n %hn %lln"', "%n%n%n%n %hn %lln"),
    ('"%ls %S %f %e %g %a"', "%ls %S %f %e %g %a"),
    ('"%.*d %-*d"', "%.*d %-*d"),
])
def test_hostile_replacement_texts_print_safely(plat, text, out):
    plat.install_inf(inf(f"map_path={MAP}", f"msg_unknown={text}"))
    expect(plat, ("ml",), out + "\n", 1)


@pytest.mark.parametrize("width", [398, 399, 400, 2000, 2147483647, 4294967295])
def test_huge_widths_stay_within_the_buffer(plat, width):
    plat.install_inf(inf(f"map_path={MAP}", f'msg_unknown="%{width}d|%{width}x"'))
    r = plat.run("ml")
    assert r.code == plat.exit(1)
    assert r.out.endswith("\n") and r.out.count("\n") == 1
    assert 0 < len(r.out) - 1 <= 399
    assert set(r.out[:-1]) <= set(" 2|%0123456789dx")
