"""End to end: creating, listing, opening, committing and removing devices
(a, aq, l, r, rq and the commit that s and p run), on the native build and
under Wine alike."""

import pytest

from harness.devices import (AUTO, auto_values, delete_value, device_values,
                             fresh_root, listing, prop_listing, put_keys,
                             root_keys)

ACCESS = "Access denied (admin privilege required)\n"
EXISTS = "This device already exists\n"
NOT_FOUND = "Device not found\n"
NO_XPT = "Transport type not specified\n"
ERROR_2 = "Unrecognized system error 2(0x2)\n"


def check(plat, args, out, code, unprivileged=False):
    r = plat.run(*args, unprivileged=unprivileged)
    assert (r.out, r.code) == (out, plat.exit(code)), args


def dword(values, name):
    rtype, data = values[name.lower()]
    assert rtype == "REG_DWORD", (name, rtype)
    return int(data, 16)


def sz(values, name):
    rtype, data = values[name.lower()]
    assert rtype == "REG_SZ", (name, rtype)
    return data


def test_typical_road(plat):
    fresh_root(plat)
    check(plat, ["a", "Com1", "Transport=Serial", "Port.BaudRate=19200",
                 "Parity=Even"], "", 0)
    check(plat, ["a", "Com2", "Transport=Usb"], "", 0)
    check(plat, ["l"], listing("Com1", "Com2"), 0)

    keys = root_keys(plat)
    assert sorted(keys) == ["zeb_dev_0", "zeb_dev_1"]
    dev = keys["zeb_dev_0"]
    assert sz(dev, "") == ""
    assert sz(dev, "FriendlyName") == "ZEB_DEV_Com1"
    assert sz(dev, "DevPartClass") == "XPT_SERIAL"
    assert dword(dev, "autocfg_mask") == 0xFFFFFFFF
    assert dword(dev, "Port.BaudRate") == 19200
    assert sz(dev, "Parity") == "Even"
    for name, value in auto_values(19200).items():
        assert dword(dev, name) == value, name
    assert "timing.far" not in dev
    assert "transport" not in dev

    auto = {name: "<auto>" for name in AUTO}
    check(plat, ["p", "Com1"], prop_listing("Com1", dict(
        auto, Transport="Serial", **{"Port.BaudRate": "19200"},
        Parity="Even")), 0)

    # An explicit value survives later commits; a reset gives it back to the
    # automatic configuration.
    check(plat, ["s", "Com1", "Timing.RxTimeout=500"], "", 0)
    check(plat, ["s", "com1", "Port.BaudRate=1200"], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert dword(dev, "Timing.RxTimeout") == 500
    assert dword(dev, "autocfg_mask") == 0xFFFFFFFD
    assert dword(dev, "Timing.CharGap") == 21
    assert dword(dev, "Timing.TxTimeout") == 75193
    check(plat, ["p", "COM1"], prop_listing("COM1", dict(
        auto, Transport="Serial", **{"Port.BaudRate": "1200",
                                     "Timing.RxTimeout": "500"},
        Parity="Even")), 0)
    check(plat, ["s", "Com1", "Timing.RxTimeout="], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert dword(dev, "Timing.RxTimeout") == 37596
    assert dword(dev, "autocfg_mask") == 0xFFFFFFFF

    check(plat, ["r", "COM1"], "COM1 removed\n", 0)
    check(plat, ["l"], listing("Com2"), 0)
    check(plat, ["rq", "Com2"], "", 0)
    check(plat, ["l"], listing(), 0)
    assert root_keys(plat) == {}


def test_syntax_lines_and_quiet_forms(plat):
    fresh_root(plat, {"zeb_dev_0": device_values("Com1")})
    a_syntax = "syntax: zebcfg a <name> prop1=value [prop2=...]\n"
    s_syntax = "syntax: zebcfg s <name> prop1=value [prop2=...]\n"
    p_syntax = "Syntax: zebcfg p <dev.name>\n"
    r_syntax = "Syntax: zebcfg r <dev. name>\n"
    for args, out in [
        (["a"], a_syntax), (["a", "Com9"], a_syntax), (["aq", "Com9"], ""),
        (["s", "Com1"], s_syntax), (["sq", "Com1"], ""),
        (["p"], p_syntax), (["p", "Com1", "x"], p_syntax),
        (["r"], r_syntax), (["r", "Com1", "x"], r_syntax), (["rq"], ""),
        (["r", "Nope"], NOT_FOUND), (["rq", "Nope"], ""),
        (["s", "Nope", "Parity=Odd"], NOT_FOUND),
        (["sq", "Nope", "Parity=Odd"], ""),
        (["p", "Nope"], NOT_FOUND),
    ]:
        check(plat, args, out, 1)
    check(plat, ["l", "x"], listing("Com1"), 0)
    check(plat, ["l", "x", "y"],
          "warning: 'zebcfg d' command does not require arguments\n"
          + listing("Com1"), 0)
    assert sorted(root_keys(plat)) == ["zeb_dev_0"]


def test_duplicates_in_any_case(plat):
    fresh_root(plat)
    check(plat, ["a", "Com1", "Transport=Serial", "Parity=Even"], "", 0)
    check(plat, ["a", "Com1", "Parity=Odd"], EXISTS, 1)
    check(plat, ["a", "COM1", "Transport=Usb"], EXISTS, 1)
    check(plat, ["aq", "cOm1", "Transport=Usb"], "", 1)
    keys = root_keys(plat)
    assert sorted(keys) == ["zeb_dev_0"]
    assert sz(keys["zeb_dev_0"], "Parity") == "Even"
    assert sz(keys["zeb_dev_0"], "DevPartClass") == "XPT_SERIAL"
    assert sz(keys["zeb_dev_0"], "FriendlyName") == "ZEB_DEV_Com1"
    check(plat, ["a", "Com1x", "Transport=Usb"], "", 0)
    check(plat, ["l"], listing("Com1", "Com1x"), 0)


def test_device_without_transport_is_removed_by_its_commit(plat):
    fresh_root(plat, {"zeb_dev_0": device_values("Keep")})
    check(plat, ["a", "Com1", "Parity=Even"], NO_XPT, 1)
    check(plat, ["aq", "Com2", "Parity=Even"], "", 1)
    check(plat, ["l"], listing("Keep"), 0)
    assert sorted(root_keys(plat)) == ["zeb_dev_0"]
    # A committed device that lost its transport class stays, with the value
    # s stored; the commit's failure is reported.
    put_keys(plat, {"zeb_dev_1": device_values("Old", xpt=None)})
    check(plat, ["s", "Old", "Parity=Odd"], NO_XPT, 1)
    dev = root_keys(plat)["zeb_dev_1"]
    assert sz(dev, "") == ""
    assert sz(dev, "Parity") == "Odd"


def test_pair_failing_in_the_middle(plat):
    fresh_root(plat)
    # The transport came first: the device survives with the pairs before the
    # failure, and the one after it is not attempted.
    check(plat, ["a", "Com1", "Transport=Serial", "Parity=Bad", "Retries=3"],
          "Specified value is out of range\n", 1)
    dev = root_keys(plat)["zeb_dev_0"]
    assert sz(dev, "DevPartClass") == "XPT_SERIAL"
    assert "parity" not in dev and "retries" not in dev
    assert dword(dev, "Timing.CharGap") == 11
    # Without a transport before the failure both failures are reported.
    check(plat, ["a", "Com2", "Parity=Even", "Retries=x", "Transport=Serial"],
          "Invalid parameter\n" + NO_XPT, 1)
    check(plat, ["a", "Com3", "Transport=Usb", "NoEquals", "Parity=Odd"],
          "Command line syntax error\n", 1)
    check(plat, ["a", "Com4", "Bogus=1", "Transport=Usb"],
          "specified property name is not valid\n" + NO_XPT, 1)
    check(plat, ["l"], listing("Com1", "Com3"), 0)
    dev = root_keys(plat)["zeb_dev_1"]
    assert sz(dev, "FriendlyName") == "ZEB_DEV_Com3"
    assert "parity" not in dev
    check(plat, ["s", "Com1", "Parity=Odd", "Secret=1", "Retries=4"],
          "specified property name is not valid\n", 1)
    check(plat, ["sq", "Com1", "Label=a", "Retries=99", "Parity=None"], "", 1)
    dev = root_keys(plat)["zeb_dev_0"]
    assert sz(dev, "Parity") == "Odd"
    assert sz(dev, "Label") == "a"
    assert "retries" not in dev


def test_lowest_free_subkey_number_is_reused(plat):
    fresh_root(plat)
    for name in ["A", "B", "C"]:
        check(plat, ["a", name, "Transport=Serial"], "", 0)
    check(plat, ["r", "B"], "B removed\n", 0)
    check(plat, ["a", "D", "Transport=Usb"], "", 0)
    keys = root_keys(plat)
    assert {k: sz(v, "FriendlyName") for k, v in keys.items()} == {
        "zeb_dev_0": "ZEB_DEV_A", "zeb_dev_1": "ZEB_DEV_D",
        "zeb_dev_2": "ZEB_DEV_C"}
    # The lowest gap wins.
    check(plat, ["r", "A"], "A removed\n", 0)
    check(plat, ["a", "E", "Transport=Usb"], "", 0)
    assert sz(root_keys(plat)["zeb_dev_0"], "FriendlyName") == "ZEB_DEV_E"
    check(plat, ["l"], listing("E", "D", "C"), 0)


BAUDS = [1200, 9600, 19200, 38400, 115200, 921600]


def test_automatic_timing_values_follow_the_formula_table(plat):
    fresh_root(plat)
    for baud in BAUDS:
        check(plat, ["a", f"B{baud}", "Transport=Serial",
                     f"Port.BaudRate={baud}"], "", 0)
    # No baud rate, and a baud rate of 0, both count as 9600.
    check(plat, ["a", "NoBaud", "Transport=Serial"], "", 0)
    check(plat, ["a", "Zero", "Transport=Serial", "Port.BaudRate=0"], "", 0)
    keys = root_keys(plat)
    by_name = {sz(v, "FriendlyName")[8:]: v for v in keys.values()}
    expected = {f"B{b}": auto_values(b) for b in BAUDS}
    expected["NoBaud"] = expected["Zero"] = auto_values(9600)
    assert expected["B9600"] == {"Timing.CharGap": 11,
                                 "Timing.RxTimeout": 4743,
                                 "Timing.TxTimeout": 9486, "Timing.Spare": 0}
    assert expected["B921600"]["Timing.RxTimeout"] == 250
    for name, values in expected.items():
        got = {p: dword(by_name[name], p) for p in values}
        assert got == values, name
        # An auto index above 31 is never configured automatically.
        assert "timing.far" not in by_name[name], name
    # A baud rate stored as a binary value of 4 bytes is read raw.
    put_keys(plat, {"zeb_dev_0": {"Port.BaudRate":
                                  (38400).to_bytes(4, "little")}})
    check(plat, ["s", "B1200", "Parity=None"], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert {p: dword(dev, p) for p in AUTO} == auto_values(38400)


def test_auto_index_above_31_is_never_automatic(plat):
    fresh_root(plat)
    check(plat, ["a", "Com1", "Transport=Serial", "Timing.Far=5"], "", 0)
    check(plat, ["s", "Com1", "Port.BaudRate=1200"], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert dword(dev, "Timing.Far") == 5
    assert dword(dev, "autocfg_mask") == 0xFFFFFFFF
    r = plat.run("p", "Com1")
    assert prop_listing("Com1", {"Timing.Far": "5"}).splitlines()[7] in \
        r.out.splitlines()
    check(plat, ["s", "Com1", "Timing.Far="], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert "timing.far" not in dev
    assert dword(dev, "autocfg_mask") == 0xFFFFFFFF


def test_foreign_subkeys(plat):
    long_name = "a" * 20  # sorts before zeb_dev_*
    fresh_root(plat, {
        "zeb_dev_0": device_values("Com1"),
        "zz_no_name": {"": ""},
    })
    # A subkey without a name value stops the listing, not the searches.
    check(plat, ["l"], listing("Com1") + ERROR_2, 1)
    check(plat, ["s", "Com1", "Parity=Odd"], "", 0)
    check(plat, ["a", "Com2", "Transport=Usb"], "", 0)
    check(plat, ["l"], listing("Com1", "Com2") + ERROR_2, 1)
    # A subkey name of 20 characters before the device ends every search.
    put_keys(plat, {long_name: device_values("Far")})
    check(plat, ["p", "Com1"], NOT_FOUND, 1)
    check(plat, ["s", "Com1", "Parity=Even"], NOT_FOUND, 1)
    check(plat, ["r", "Com1"], "Buffer overflow\n", 1)
    check(plat, ["rq", "Com1"], "", 1)
    check(plat, ["l"], listing("Far", "Com1", "Com2") + ERROR_2, 1)
    keys = root_keys(plat)
    assert sorted(keys) == [long_name, "zeb_dev_0", "zeb_dev_1", "zz_no_name"]
    assert sz(keys["zeb_dev_0"], "Parity") == "Odd"


def test_name_value_with_small_prefix(plat):
    fresh_root(plat, {
        "zeb_dev_0": device_values("Com1"),
        "zeb_dev_1": {"": "", "FriendlyName": "zeb_dev_Com9",
                      "DevPartClass": "XPT_USB"},
        "zeb_dev_2": device_values("Com3"),
    })
    check(plat, ["l"], listing("Com1") + ERROR_2, 1)
    check(plat, ["p", "COM9"], prop_listing("COM9", {"Transport": "Usb"}), 0)
    check(plat, ["r", "Com9"], "Com9 removed\n", 0)
    check(plat, ["l"], listing("Com1", "Com3"), 0)


def test_purge_deletes_subkeys_whose_marker_begins_with_small_d(plat):
    fresh_root(plat, {
        "zeb_dev_0": device_values("Keep"),
        "zeb_dev_1": device_values("Gone1", marker="d"),
        "zeb_dev_2": device_values("Gone2", marker="d"),
        "zeb_dev_3": device_values("Upper", marker="D"),
        "zeb_dev_4": device_values("New", marker="n"),
        "zz_delete": {"": "delete"},
        "zz_nomarker": {"FriendlyName": "ZEB_DEV_NoMarker"},
        "zz_other": {"": "xd"},
    })
    # A device marked "d" is still an ordinary device until a purge.
    check(plat, ["l"], listing("Keep", "Gone1", "Gone2", "Upper", "New")
          + ERROR_2, 1)
    check(plat, ["a", "Doomed", "Parity=Even"], NO_XPT, 1)
    assert sorted(root_keys(plat)) == [
        "zeb_dev_0", "zeb_dev_3", "zeb_dev_4", "zz_nomarker", "zz_other"]
    # A committed device never becomes doomed, and no purge runs.
    put_keys(plat, {"zeb_dev_5": device_values("Late", marker="d")})
    check(plat, ["r", "New"], "New removed\n", 0)
    delete_value(plat, "zeb_dev_0", "DevPartClass")
    check(plat, ["s", "Keep", "Parity=Odd"], NO_XPT, 1)
    keys = root_keys(plat)
    assert sorted(keys) == ["zeb_dev_0", "zeb_dev_3", "zeb_dev_5",
                            "zz_nomarker", "zz_other"]
    assert sz(keys["zeb_dev_0"], "") == ""


def test_p_on_a_device_still_marked_new(plat):
    fresh_root(plat, {
        "zeb_dev_0": device_values("Fresh", marker="n"),
        "zeb_dev_1": device_values("Doomed", marker="d"),
    })
    # p cannot write the automatic values through its read-only key: the
    # commit fails, the marker stays "n", and the purge still runs.
    check(plat, ["p", "fresh"], prop_listing("fresh", {"Transport": "Serial"}),
          0)
    keys = root_keys(plat)
    assert sorted(keys) == ["zeb_dev_0"]
    assert sz(keys["zeb_dev_0"], "") == "n"
    assert "timing.chargap" not in keys["zeb_dev_0"]
    check(plat, ["l"], listing("Fresh"), 0)
    # The next s commits it.
    check(plat, ["s", "Fresh", "Parity=None"], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert sz(dev, "") == ""
    assert {p: dword(dev, p) for p in AUTO} == auto_values(9600)


def test_conn_port_name_set_to_another_value_name(plat):
    fresh_root(plat, strings="conn_port_name=PortName\n"
                             "xpt_class_name=XptClass\n")
    check(plat, ["a", "Com1", "Transport=Usb"], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert sz(dev, "PortName") == "ZEB_DEV_Com1"
    assert sz(dev, "XptClass") == "XPT_USB"
    assert "friendlyname" not in dev and "devpartclass" not in dev
    check(plat, ["l"], listing("Com1"), 0)
    check(plat, ["a", "COM1", "Transport=Usb"], EXISTS, 1)
    check(plat, ["p", "Com1"], prop_listing("Com1", dict(
        {n: "<auto>" for n in AUTO}, Transport="Usb")), 0)
    check(plat, ["r", "Com1"], "Com1 removed\n", 0)
    check(plat, ["l"], listing(), 0)


def test_long_device_names(plat):
    fresh_root(plat)
    fits = "N" * 247
    too_long = "N" * 248
    check(plat, ["a", too_long, "Transport=Serial"], "Invalid parameter\n", 1)
    check(plat, ["aq", too_long, "Transport=Serial"], "", 1)
    assert root_keys(plat) == {}
    for args in (["s", too_long, "Parity=Odd"], ["p", too_long],
                 ["r", too_long]):
        check(plat, args, NOT_FOUND, 1)
    check(plat, ["a", fits, "Transport=Serial"], "", 0)
    check(plat, ["l"], listing(fits), 0)
    check(plat, ["a", fits.lower(), "Transport=Serial"], EXISTS, 1)
    check(plat, ["s", too_long, "Parity=Odd"], NOT_FOUND, 1)
    check(plat, ["r", fits], fits + " removed\n", 0)


def test_empty_device_name(plat):
    fresh_root(plat)
    check(plat, ["a", "", "Transport=Serial"], "", 0)
    assert sz(root_keys(plat)["zeb_dev_0"], "FriendlyName") == "ZEB_DEV_"
    check(plat, ["l"], listing(""), 0)
    check(plat, ["r", ""], " removed\n", 0)


def test_text_values_without_terminator_read_safely(plat):
    name = b"ZEB_DEV_Bin"
    fresh_root(plat, {"zeb_dev_0": {
        "": b"n",
        "FriendlyName": name,
        "autocfg_mask": 0,
        "DevPartClass": b"XPT_USB",
        "Label": b"ABC",
        "Parity": b"O" * 256,
    }})
    check(plat, ["l"], listing("Bin"), 0)
    r = plat.run("p", "bin")
    assert r.code == plat.exit(0)
    lines = r.out.splitlines()
    assert lines[0] == "List Properties for bin"
    assert lines[1] == "Transport                 = Usb"
    assert "Label                     = ABC" in lines
    parity = [ln for ln in lines if "Parity" in ln]
    assert len(parity) == 1
    assert parity[0] in ("Parity                    = " + "O" * 255,
                         "Parity                    = " + "O" * 256,
                         "*** failed to get Parity :Buffer overflow")
    assert all(ln.isprintable() for ln in lines)
    # A marker "n" stored without a terminator still dooms the device when
    # its commit fails.
    delete_value(plat, "zeb_dev_0", "DevPartClass")
    check(plat, ["s", "Bin", "Parity=Odd"], NO_XPT, 1)
    assert root_keys(plat) == {}


@pytest.mark.only_on("native", reason="Wine runs every program as an "
                     "administrator; it has no unprivileged user")
def test_privilege_gate_for_an_unprivileged_user(plat):
    fresh_root(plat, {"zeb_dev_0": device_values("Com1", Parity="Odd")})
    # The store stays readable for the user, but not writable.
    check(plat, ["l"], listing("Com1"), 0, unprivileged=True)
    check(plat, ["p", "Com1"], prop_listing("Com1", {
        "Transport": "Serial", "Parity": "Odd"}), 0, unprivileged=True)
    for args in (["a", "Com2", "Transport=Serial"], ["s", "Com1", "Parity=Even"],
                 ["r", "Com1"], ["r", "Nope"]):
        check(plat, args, ACCESS, 1, unprivileged=True)
    for args in (["aq", "Com2", "Transport=Serial"], ["sq", "Com1", "Parity=N"],
                 ["rq", "Com1"]):
        check(plat, args, "", 1, unprivileged=True)
    keys = root_keys(plat)
    assert sorted(keys) == ["zeb_dev_0"]
    assert sz(keys["zeb_dev_0"], "Parity") == "Odd"


def test_name_values_too_long_for_their_buffers(plat):
    fresh_root(plat, {
        "zeb_dev_0": device_values("Com1"),
        "zeb_dev_1": {"": "", "FriendlyName": "ZEB_DEV_" + "x" * 300},
        "zeb_dev_2": device_values("Com3"),
    })
    # The listing stops at the value that does not fit; the search passes it.
    check(plat, ["l"], listing("Com1") + "Buffer overflow\n", 1)
    check(plat, ["p", "Com3"], prop_listing("Com3", {"Transport": "Serial"}),
          0)
    check(plat, ["r", "Com3"], "Com3 removed\n", 0)
    check(plat, ["a", "x" * 300, "Transport=Serial"], "Invalid parameter\n", 1)
    assert sorted(root_keys(plat)) == ["zeb_dev_0", "zeb_dev_1"]


def test_conn_port_name_too_long_for_all_but_the_open(plat):
    # 260 characters fit the open's buffer of 265 but not the 256 of
    # creation, listing and removal, which fall back to FriendlyName.
    long_name = "P" * 260
    fresh_root(plat, strings=f"conn_port_name={long_name}\n")
    check(plat, ["a", "Com1", "Transport=Serial"], "", 0)
    dev = root_keys(plat)["zeb_dev_0"]
    assert sz(dev, "FriendlyName") == "ZEB_DEV_Com1"
    check(plat, ["l"], listing("Com1"), 0)
    check(plat, ["p", "Com1"], NOT_FOUND, 1)
    check(plat, ["a", "Com1", "Transport=Serial"], "", 0)
    check(plat, ["l"], listing("Com1", "Com1"), 0)
    check(plat, ["r", "Com1"], "Com1 removed\n", 0)
    check(plat, ["l"], listing("Com1"), 0)


def test_values_read_raw_whatever_their_type_and_length(plat):
    fresh_root(plat, {
        "zeb_dev_0": device_values("Big", xpt="X" * 300),
        "zeb_dev_1": device_values("LongMark", marker="n" * 12, xpt=None),
        "zeb_dev_2": device_values("TextBaud", Port_BaudRate="1200"),
        "zeb_dev_3": device_values("WideMask", mask=None, Timing_CharGap=5,
                                   more={"autocfg_mask": b"\xff" * 8}),
        "zeb_dev_4": device_values("LongDoom", marker="d" * 11),
    })
    # A transport class longer than the query's buffer fails that line only.
    r = plat.run("p", "Big")
    assert r.code == plat.exit(0)
    assert r.out.startswith("*** failed to get Transport :Buffer overflow\n"
                            "List Properties for Big\n"), r.out
    # A marker too long for the commit's 8 bytes ends the commit before
    # anything is written or doomed; s reports it.
    check(plat, ["s", "LongMark", "Parity=Odd"], "Buffer overflow\n", 1)
    # A baud rate longer than 4 bytes (the text "1200") counts as missing.
    check(plat, ["s", "TextBaud", "Parity=Odd"], "", 0)
    # A mask longer than 4 bytes counts as 0: nothing is automatic.
    check(plat, ["p", "WideMask"], prop_listing("WideMask", {
        "Transport": "Serial", "Timing.CharGap": "5"}), 0)
    check(plat, ["s", "WideMask", "Parity=Odd"], "", 0)
    # The purge cannot read a marker longer than 8 bytes, so it stays.
    check(plat, ["a", "Bad", "Parity=Odd"], NO_XPT, 1)
    keys = root_keys(plat)
    assert sorted(keys) == [f"zeb_dev_{i}" for i in range(5)]
    assert keys["zeb_dev_1"][""] == ("REG_SZ", "n" * 12)
    assert "timing.chargap" not in keys["zeb_dev_1"]
    assert {p: dword(keys["zeb_dev_2"], p) for p in AUTO} == auto_values(9600)
    assert dword(keys["zeb_dev_3"], "Timing.CharGap") == 5
    assert "timing.rxtimeout" not in keys["zeb_dev_3"]
    check(plat, ["l"], listing("Big", "LongMark", "TextBaud", "WideMask",
                               "LongDoom"), 0)


# States that a crash, another tool or a lost value leave behind, where a
# command used to end with 0 after a failure (or a listing stopped for good):
# each now ends with a report and exit code 1, or heals. Each row: the keys
# planted below the root, the commands with their output and exit code, and
# the device name each subkey holds afterwards (None: a key without one).
HALF_MADE = {"zeb_dev_0": device_values(None, marker="n", xpt=None, mask=None)}
FOREIGN = {"aaaaaaaaaaaaaaaaaaaa": {"Other": "x"}}
REPRODUCTIONS = [
    ("a crash of a between the key and its name: the next a heals the root",
     dict(HALF_MADE, zeb_dev_1=device_values("Keep")),
     [(["l"], ERROR_2, 1),
      (["a", "Com9", "Transport=Serial"], "", 0),
      (["l"], listing("Com9", "Keep"), 0)],
     {"zeb_dev_0": "Com9", "zeb_dev_1": "Keep"}),
    ("s on a new device without a transport class, which its commit deletes",
     {"zeb_dev_0": device_values("Com2", marker="n", xpt=None)},
     [(["s", "Com2", "Port.BaudRate=19200"], NO_XPT, 1)],
     {}),
    ("s on a committed device whose transport class is gone",
     {"zeb_dev_0": device_values("Com3", xpt=None)},
     [(["sq", "Com3", "Port.BaudRate=19200"], "", 1)],
     {"zeb_dev_0": "Com3"}),
    ("a whose duplicate check fails at a subkey name too long for it",
     dict(FOREIGN, zeb_dev_0=device_values("Com1")),
     [(["a", "Com1", "Transport=Serial"], "Buffer overflow\n", 1)],
     {"aaaaaaaaaaaaaaaaaaaa": None, "zeb_dev_0": "Com1"}),
]


@pytest.mark.parametrize("keys, steps, after",
                         [row[1:] for row in REPRODUCTIONS],
                         ids=[row[0] for row in REPRODUCTIONS])
def test_a_failure_is_never_reported_as_success(plat, keys, steps, after):
    fresh_root(plat, keys)
    for args, out, code in steps:
        check(plat, args, out, code)
    names = {sub: values["friendlyname"][1] if "friendlyname" in values
             else None for sub, values in root_keys(plat).items()}
    assert names == {sub: name and "ZEB_DEV_" + name
                     for sub, name in after.items()}
