"""End to end: setting, resetting, validating and listing device properties
(s, sq, p and the pairs of a), on the native build and under Wine alike."""

from harness.devices import (AUTO, LISTED, auto_values, delete_value,
                             device_values, fresh_root, prop_line,
                             prop_listing, put_keys, root_keys)

INVALID = "Invalid parameter\n"
RANGE = "Specified value is out of range\n"
UNKNOWN = "specified property name is not valid\n"
SYNTAX = "Command line syntax error\n"
ERROR_2 = "Unrecognized system error 2(0x2)\n"


def check(plat, args, out, code):
    r = plat.run(*args)
    assert (r.out, r.code) == (out, plat.exit(code)), args


def shown(plat, device, prop):
    """The text after "= " on prop's line of `p device`, or the failure line."""
    r = plat.run("p", device)
    assert r.code == plat.exit(0), r
    for line in r.out.splitlines():
        if line.startswith(f"{prop:<26}= "):
            return line[28:]
        if line.startswith(f"*** failed to get {prop} :"):
            return line
    return None


def one_device(plat, **values):
    fresh_root(plat, {"zeb_dev_0": device_values("Com1", **values)})


def test_integer_literals_ranges_and_clamping(plat):
    one_device(plat)
    # (pair, expected output, exit code, value shown afterwards or None)
    cases = [
        ("Retries=0x0A", "", 0, "10"),
        ("Retries=012", "", 0, "10"),
        ("Retries=+7", "", 0, "7"),
        ("Retries= 7", "", 0, "7"),
        ("Retries=1", "", 0, "1"),
        ("Retries=7 ", INVALID, 1, None),
        ("Retries=09", INVALID, 1, None),
        ("Retries=11", RANGE, 1, None),
        ("Retries=0", RANGE, 1, None),
        ("Retries=", RANGE, 1, None),
        ("Retries=-0x1", RANGE, 1, None),
        ("Level=-0x5", "", 0, "-5"),
        ("Level=0X10", "", 0, "16"),
        ("Level=-6", RANGE, 1, None),
        ("Level=0x11", RANGE, 1, None),
        ("Level=99999999999", RANGE, 1, None),
        ("Level=-99999999999", RANGE, 1, None),
        ("Count=99999999999", "", 0, "2147483647"),
        ("Count=-99999999999", "", 0, "-2147483648"),
        ("Count=0xFFFFFFFF", "", 0, "2147483647"),
        ("Count=-1", "", 0, "-1"),
        ("Count=abc", INVALID, 1, None),
        ("Raw=-7", "", 0, "-7"),
    ]
    last = {}
    for pair, out, code, value in cases:
        check(plat, ["s", "Com1", pair], out, code)
        prop = pair.split("=")[0]
        if value is not None:
            last[prop] = value
            assert shown(plat, "Com1", prop) == value, pair
    dev = root_keys(plat)["zeb_dev_0"]
    assert dev["retries"] == ("REG_DWORD", "0x1")
    assert dev["count"] == ("REG_DWORD", "0xffffffff")
    # A type other than 0 and 1 is stored as a number and shown in decimal.
    assert dev["raw"] == ("REG_DWORD", "0xfffffff9")
    assert shown(plat, "Com1", "Level") == last["Level"]


def test_allowed_lists(plat):
    one_device(plat)
    cases = [
        ("Parity=Odd", "", 0),
        ("Parity=odd", RANGE, 1),
        ("Parity=None|Even", RANGE, 1),
        ("Parity=NoneEven", RANGE, 1),
        ("Parity=", RANGE, 1),
        ("Pair=B", "", 0),
        ("Pair=A", RANGE, 1),
        ("Blank=", ERROR_2, 1),  # admitted, but nothing to delete
        ("Blank=A", "", 0),
        ("Blank=AB", RANGE, 1),
        ("Blank=", "", 0),
        ("Label=x=y", "", 0),
    ]
    for pair, out, code in cases:
        check(plat, ["s", "Com1", pair], out, code)
    dev = root_keys(plat)["zeb_dev_0"]
    assert dev["parity"] == ("REG_SZ", "Odd")
    assert dev["pair"] == ("REG_SZ", "B")
    assert dev["label"] == ("REG_SZ", "x=y")
    assert "blank" not in dev
    # A name that matches its line only in case finds it.
    check(plat, ["s", "Com1", "PARITY=Even"], "", 0)
    assert shown(plat, "Com1", "Parity") == "Even"


def test_failing_pair_stops_the_rest(plat):
    one_device(plat)
    check(plat, ["s", "Com1", "Parity=Even", "Retries=3x", "Label=no"],
          INVALID, 1)
    check(plat, ["s", "Com1", "Label=a", "Missing", "Pair=B"], SYNTAX, 1)
    check(plat, ["s", "Com1", "Pair=B", "N" * 256 + "=1"], SYNTAX, 1)
    check(plat, ["sq", "Com1", "Note=x", "Nope=1"], "", 1)
    check(plat, ["s", "Com1", "Secret=1"], UNKNOWN, 1)
    dev = root_keys(plat)["zeb_dev_0"]
    assert dev["parity"] == ("REG_SZ", "Even")
    assert dev["label"] == ("REG_SZ", "a")
    assert dev["pair"] == ("REG_SZ", "B")
    assert dev["note"] == ("REG_SZ", "x")
    assert "retries" not in dev and "secret" not in dev and "nope" not in dev


def test_setting_and_resetting_an_automatic_property(plat):
    one_device(plat)
    check(plat, ["s", "Com1", "Port.BaudRate=19200"], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert {p: int(dev[p.lower()][1], 16) for p in AUTO} == auto_values(19200)

    # Setting clears the bit: later commits leave the value alone.
    check(plat, ["s", "Com1", "Timing.CharGap=77"], "", 0)
    check(plat, ["s", "Com1", "Port.BaudRate=1200"], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert dev["autocfg_mask"] == ("REG_DWORD", "0xfffffffe")
    assert dev["timing.chargap"] == ("REG_DWORD", "0x4d")
    assert dev["timing.rxtimeout"] == ("REG_DWORD", hex(37596))
    values = {p: "<auto>" for p in AUTO}
    values.update({"Transport": "Serial", "Port.BaudRate": "1200",
                   "Timing.CharGap": "77"})
    check(plat, ["p", "Com1"], prop_listing("Com1", values), 0)

    # Resetting sets the bit again and the commit recomputes the value.
    check(plat, ["s", "Com1", "Timing.CharGap="], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert dev["autocfg_mask"] == ("REG_DWORD", "0xffffffff")
    assert dev["timing.chargap"] == ("REG_DWORD", hex(21))
    values["Timing.CharGap"] = "<auto>"
    check(plat, ["p", "Com1"], prop_listing("Com1", values), 0)

    # An automatic value deleted behind the tool's back shows as default
    # until the next commit; resetting it then has nothing to delete.
    delete_value(plat, "zeb_dev_0", "Timing.TxTimeout")
    assert shown(plat, "Com1", "Timing.TxTimeout") == "<default>"
    check(plat, ["s", "Com1", "Timing.TxTimeout="], ERROR_2, 1)
    assert shown(plat, "Com1", "Timing.TxTimeout") == "<auto>"

    # With the bit clear and no value stored, a reset still succeeds: the
    # mask write decides.
    check(plat, ["s", "Com1", "Timing.Spare=5"], "", 0)
    delete_value(plat, "zeb_dev_0", "Timing.Spare")
    check(plat, ["s", "Com1", "Timing.Spare="], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert dev["autocfg_mask"] == ("REG_DWORD", "0xffffffff")
    assert dev["timing.spare"] == ("REG_DWORD", "0x0")


def test_transport_map_both_ways(plat):
    one_device(plat, xpt="XPT_SERIAL")
    steps = [
        ("Transport=usb", "", 0, "XPT_USB"),
        ("Transport=Rs232", "", 0, "XPT_SERIAL"),
        ("Transport=Nope", INVALID, 1, "XPT_SERIAL"),
        ("Transport=", INVALID, 1, "XPT_SERIAL"),
        ("Link=Usb", "", 0, "XPT_USB"),
        ("Link=Other", "", 0, "XPT_USB"),
        ("Link=", INVALID, 1, "XPT_USB"),
    ]
    for pair, out, code, xpt in steps:
        check(plat, ["s", "Com1", pair], out, code)
        assert root_keys(plat)["zeb_dev_0"]["devpartclass"] == (
            "REG_SZ", xpt), pair
    dev = root_keys(plat)["zeb_dev_0"]
    assert dev["link"] == ("REG_SZ", "Other")
    assert "transport" not in dev
    auto = {p: "<auto>" for p in AUTO}
    check(plat, ["p", "Com1"], prop_listing(
        "Com1", dict(auto, Transport="Usb", Link="Other")), 0)

    # Reverse mapping ignores case and takes the first line of a class.
    put_keys(plat, {"zeb_dev_0": {"DevPartClass": "xpt_serial"}})
    assert shown(plat, "Com1", "Transport") == "Serial"
    put_keys(plat, {"zeb_dev_0": {"DevPartClass": "XPT_NONE"}})
    check(plat, ["p", "Com1"], prop_listing(
        "Com1", dict(auto, Link="Other"),
        failures={"Transport": "Invalid parameter"}), 0)
    delete_value(plat, "zeb_dev_0", "DevPartClass")
    check(plat, ["p", "Com1"], prop_listing(
        "Com1", dict(auto, Link="Other"),
        failures={"Transport": "specified property name is not valid"}), 0)

    # A property that sets the transport is enough for a device to survive.
    check(plat, ["a", "Com2", "Link=Serial"], "", 0)
    dev = root_keys(plat)["zeb_dev_1"]
    assert dev["devpartclass"] == ("REG_SZ", "XPT_SERIAL")
    assert dev["link"] == ("REG_SZ", "Serial")
    check(plat, ["a", "Com3", "Link=Other"],
          "Transport type not specified\n", 1)
    assert sorted(root_keys(plat)) == ["zeb_dev_0", "zeb_dev_1"]


def test_listing_shows_each_property_as_stored(plat):
    one_device(plat, Count=0xFFFFFFFF, Raw=300, Label="x" * 300,
               Note="shown", Secret="never", mask=0)
    lines = [
        prop_line("Transport", "Serial"),
    ] + [prop_line(p, "<default>") for p in LISTED[1:10]] + [
        prop_line("Retries", "<default>"),
        prop_line("Note", "shown"),
        prop_line("Raw", "300"),
        prop_line("Count", "-1"),
        "*** failed to get Label :Buffer overflow\n",
        prop_line("Blank", "<default>"),
        prop_line("Pair", "<default>"),
    ]
    assert LISTED[10] == "Retries"
    check(plat, ["p", "Com1"], "List Properties for Com1\n" + "".join(lines),
          0)
    # Automatic properties stored while their bit is clear show their values.
    put_keys(plat, {"zeb_dev_0": {"Timing.CharGap": 5, "autocfg_mask": 0}})
    assert shown(plat, "Com1", "Timing.CharGap") == "5"
    put_keys(plat, {"zeb_dev_0": {"autocfg_mask": 1}})
    assert shown(plat, "Com1", "Timing.CharGap") == "<auto>"
    check(plat, ["s", "Com1", "Secret="], UNKNOWN, 1)


def test_listing_ends_at_a_broken_line_and_may_be_empty(plat):
    one_device(plat)
    plat.install_inf(
        '[Version]\nSignature="$Windows NT$"\n\n[cfg_strings]\n'
        "dev_reg_root=SOFTWARE\\ZebTest\\Devices\n\n"
        "[cfg_prop_map]\nTransport=0,0x4\nPort.BaudRate=1,0\nBroken=0\n"
        "Parity=0,0\n\n[cfg_xpt_map]\nSerial=XPT_SERIAL\n")
    check(plat, ["p", "Com1"], prop_listing(
        "Com1", {"Transport": "Serial"},
        shown=["Transport", "Port.BaudRate"]), 0)
    plat.install_inf(
        '[Version]\nSignature="$Windows NT$"\n\n[cfg_strings]\n'
        "dev_reg_root=SOFTWARE\\ZebTest\\Devices\n\n"
        "[cfg_prop_map]\nSecret=0,1\n")
    check(plat, ["p", "Com1"], "", 0)
    check(plat, ["p", "Nope"], "Device not found\n", 1)
