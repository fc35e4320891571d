"""The property map: ml lists the named DWORDs of the map key, ms and msq set
and delete them. Every case runs natively and under Wine."""

import pytest

SYNTAX_ERROR = "Command line syntax error\n"
ACCESS_DENIED = "Access denied (admin privilege required)\n"
NOT_FOUND = "Unrecognized system error 2(0x2)\n"
EMPTY = "Property map is empty\n"


def map_key(ex):
    return "HKLM\\" + ex.map_path


def entries(ex):
    """The map key's values as {name: (type, int or raw data)}; the empty
    default value that Wine's reg shows for a key without values is left out."""
    values = ex.plat.reg_query(map_key(ex))
    assert values is not None, "the map key is gone"
    result = {}
    for name, (kind, data) in values.items():
        if name == "" and kind == "REG_SZ" and data == "":
            continue
        result[name] = (kind, int(data, 16) if kind == "REG_DWORD" else data)
    return result


def line(name, value):
    return "    %-24s = 0x%02x (%d)\n" % (name, value, value - (1 << 32)
                                        if value >= 1 << 31 else value)


def test_ml_on_an_empty_key(setup_inf):
    r = setup_inf.plat.run("ml")
    assert (r.out, r.code) == (EMPTY, 0)


def test_ml_prints_each_line_format(setup_inf):
    """Header once, then one line per entry in the key's enumeration order
    (names compare without case), values in hex of at least two digits and as
    signed decimal; long names are printed whole. Arguments are ignored."""
    long_name = "Zeta" + "x" * 30
    setup_inf.plat.reg_import({map_key(setup_inf): {
        "beta": 255, "Alpha": 5, "delta": 0xFFFFFFFF, "gamma": 0,
        "epsilon": 0x80000000, long_name: 0x1234}})
    r = setup_inf.plat.run("ml", "ignored", "args")
    assert r.code == 0, r
    assert r.out == ("Property map:\n"
                     "    Alpha                    = 0x05 (5)\n"
                     "    beta                     = 0xff (255)\n"
                     "    delta                    = 0xffffffff (-1)\n"
                     "    epsilon                  = 0x80000000 (-2147483648)\n"
                     "    gamma                    = 0x00 (0)\n"
                     "    " + long_name + " = 0x1234 (4660)\n")


def test_unnamed_value_is_written_but_not_listed(setup_inf):
    ex = setup_inf
    r = ex.plat.run("ms", "=5")
    assert (r.out, r.code) == ("", 0)
    assert entries(ex) == {"": ("REG_DWORD", 5)}
    r = ex.plat.run("ml")
    assert (r.out, r.code) == (EMPTY, 0)
    # Beside a named entry the header and that entry alone are printed.
    ex.plat.run("ms", "one=1")
    r = ex.plat.run("ml")
    assert (r.out, r.code) == ("Property map:\n" + line("one", 1), 0)


def test_ms_reads_every_literal_form(setup_inf):
    ex = setup_inf
    pairs = {
        "hex": ("0x10", 16),
        "HEXU": ("0X1f", 31),
        "oct": ("010", 8),
        "plus": ("+7", 7),
        "neg": ("-5", 0xFFFFFFFB),
        "zero": ("0", 0),
        "blank": ("  12", 12),          # leading white space is allowed
        "dec": ("4660", 4660),
        "max": ("2147483647", 0x7FFFFFFF),
        "big": ("4294967295", 0x7FFFFFFF),        # clamped, not -1
        "bighex": ("0xffffffff", 0x7FFFFFFF),     # clamped, not -1
        "huge": ("99999999999999999999", 0x7FFFFFFF),
        "low": ("-2147483648", 0x80000000),
        "lower": ("-2147483649", 0x80000000),     # clamped
        "negtwo": ("-0x2", 0xFFFFFFFE),
    }
    r = ex.plat.run("ms", *[f"{n}={text}" for n, (text, _) in pairs.items()])
    assert (r.out, r.code) == ("", 0)
    assert entries(ex) == {n: ("REG_DWORD", v) for n, (_, v) in pairs.items()}


@pytest.mark.parametrize("value", ["", "-1", "-0x1"],
                         ids=["empty", "minus-one", "minus-hex-one"])
def test_ms_deletes_with_the_empty_value_and_minus_one(setup_inf, value):
    ex = setup_inf
    ex.plat.reg_import({map_key(ex): {"gone": 7, "kept": 8}})
    r = ex.plat.run("ms", "gone=" + value)
    assert (r.out, r.code) == ("", 0)
    assert entries(ex) == {"kept": ("REG_DWORD", 8)}
    # Deleting what is not there fails with the registry's code.
    r = ex.plat.run("ms", "gone=" + value)
    assert (r.out, r.code) == (NOT_FOUND, 1)
    r = ex.plat.run("msq", "gone=" + value)
    assert (r.out, r.code) == ("", 1)


BAD_PAIRS = ["n=12abc", "n=0x", "n=1=2", "n=12 ", "n=0x1g", "n=09", "n=+",
             "n= ", "n=--1", "n=1.5", "noequals"]


def test_ms_rejects_what_is_not_a_whole_literal(setup_inf):
    """One run per pair, checked together (a pair per test would cost a
    prefix reset each under Wine)."""
    ex = setup_inf
    results = {pair: ex.plat.run("ms", pair) for pair in BAD_PAIRS}
    wrong = {pair: r for pair, r in results.items()
             if (r.out, r.code) != (SYNTAX_ERROR, 1)}
    assert wrong == {}
    assert entries(ex) == {}


def test_a_failing_pair_stops_the_rest(setup_inf):
    ex = setup_inf
    r = ex.plat.run("ms", "a=1", "b", "c=3")
    assert (r.out, r.code) == (SYNTAX_ERROR, 1)
    assert entries(ex) == {"a": ("REG_DWORD", 1)}
    r = ex.plat.run("msq", "d=4", "e=0x", "f=6")
    assert (r.out, r.code) == ("", 1)
    assert entries(ex) == {"a": ("REG_DWORD", 1), "d": ("REG_DWORD", 4)}


def test_names_of_255_and_256_characters(setup_inf):
    ex = setup_inf
    name255, name256 = "n" * 255, "m" * 256
    r = ex.plat.run("ms", name255 + "=1")
    assert (r.out, r.code) == ("", 0)
    r = ex.plat.run("ms", name256 + "=1")
    assert (r.out, r.code) == (SYNTAX_ERROR, 1)
    assert entries(ex) == {name255: ("REG_DWORD", 1)}
    r = ex.plat.run("ml")
    assert (r.out, r.code) == ("Property map:\n    " + name255 + " = 0x01 (1)\n", 0)


def test_ml_stops_at_an_entry_that_does_not_fit(setup_inf):
    """A stored name of 256 characters or data longer than 4 bytes ends the
    listing with 234; the lines before it stay printed."""
    ex = setup_inf
    ex.plat.reg_import({map_key(ex): {"aaa": 1, "b" * 256: 2}})
    r = ex.plat.run("ml")
    assert (r.out, r.code) == ("Property map:\n" + line("aaa", 1) +
                               "Buffer overflow\n", 1)
    ex.plat.reg_import({map_key(ex): {"b" * 256: None, "ccc": b"\1\2\3\4\5"}})
    r = ex.plat.run("ml")
    assert (r.out, r.code) == ("Property map:\n" + line("aaa", 1) +
                               "Buffer overflow\n", 1)


def test_syntax_line_and_quiet_forms(plat):
    # Neither needs the setup information file when no pair is given.
    r = plat.run("ms")
    assert (r.out, r.code) == ("Syntax: zebcfg ms name=val\n", 1)
    r = plat.run("msq")
    assert (r.out, r.code) == ("", 1)


def test_msq_prints_nothing_on_success(setup_inf):
    ex = setup_inf
    r = ex.plat.run("msq", "q=0x20")
    assert (r.out, r.code) == ("", 0)
    assert entries(ex) == {"q": ("REG_DWORD", 32)}


def test_missing_map_key(plat):
    plat.install_example_inf()   # the map key is not created
    for args, out in [(("ml",), NOT_FOUND), (("ms", "a=1"), NOT_FOUND),
                      (("msq", "a=1"), "")]:
        r = plat.run(*args)
        assert (r.out, r.code) == (out, 1), args


def test_missing_setup_file_and_missing_map_path(plat):
    r = plat.run("ml")
    assert (r.out, r.code) == ("INF file not found - please re-install driver\n", 1)
    r = plat.run("ms", "a=1")
    assert (r.out, r.code) == ("INF file not found - please re-install driver\n", 1)
    # Without a map_path line the lookup's own code is reported unchanged:
    # SetupAPI's "line not found".
    plat.install_inf('[Version]\r\nSignature="$Windows NT$"\r\n\r\n'
                     '[cfg_strings]\r\ndev_reg_root=SOFTWARE\\ZebTest\\Dev\r\n')
    line_not_found = "Unrecognized system error -536870654(0xe0000102)\n"
    for args in (("ml",), ("ms", "a=1")):
        r = plat.run(*args)
        assert (r.out, r.code) == (line_not_found, 1), args


@pytest.mark.only_on("native", reason="under Wine the user is always an "
                     "administrator")
def test_unprivileged_user_may_list_but_not_write(setup_inf):
    ex = setup_inf
    ex.plat.reg_import({map_key(ex): {"seen": 3}})
    r = ex.plat.run_unprivileged("ml")
    assert (r.out, r.code) == ("Property map:\n" + line("seen", 3), 0)
    for pair in ("seen=4", "seen=", "new=1"):
        r = ex.plat.run_unprivileged("ms", pair)
        assert (r.out, r.code) == (ACCESS_DENIED, 1), pair
    r = ex.plat.run_unprivileged("msq", "seen=4")
    assert (r.out, r.code) == ("", 1)
    assert entries(ex) == {"seen": ("REG_DWORD", 3)}
    # The gate comes before the setup information file is read.
    ex.plat.remove_inf()
    r = ex.plat.run_unprivileged("ms", "seen=4")
    assert (r.out, r.code) == (ACCESS_DENIED, 1)
