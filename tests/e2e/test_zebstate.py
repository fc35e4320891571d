"""zebstate, driven on both builds exactly as its DSC resource manifests say
DSC calls it (executable, args, the JSON in --input).

One table of verbs and cases: each row prepares devices with zebcfg, makes
one call and checks its lines, exit code and what zebcfg sees afterwards.
Every call but a set leaves the registry export as it was, and a set given
again changes nothing (natively, not a byte of the store). One differential:
a document applied by zebstate leaves the registry that the equivalent zebcfg
a, s, r and ms lines leave. One table of bad inputs: each gives its JSON
error line and exit code, prints nothing on standard output and changes
nothing.
"""

import json

import pytest

from harness import REPO
from harness.devices import MAP, ROOT, device_values, fresh_root, put_keys

MANIFESTS = {"device": REPO / "packaging" / "dsc" / "zeb.serial.device.dsc.resource.json",
             "mapentry": REPO / "packaging" / "dsc"
             / "zeb.serial.propertymapentry.dsc.resource.json"}
TREE = r"HKLM\SOFTWARE\ZebTest"


def dsc_argv(kind, operation, instance):
    """The executable and arguments the manifest gives for operation, with
    the instance's JSON where its jsonInputArg stands."""
    method = json.loads(MANIFESTS[kind].read_text())[operation]
    args = []
    for arg in method["args"]:
        if isinstance(arg, dict):
            if instance is not None or arg.get("mandatory"):
                text = "" if instance is None else json.dumps(instance,
                                                               ensure_ascii=False)
                args += [arg["jsonInputArg"], text]
        else:
            args.append(arg)
    return method["executable"], args


def dsc(plat, kind, operation, instance=None):
    """(Result, the JSON lines of its standard output)."""
    exe, args = dsc_argv(kind, operation, instance)
    r = plat.run(*args, exe=exe)
    return r, [json.loads(line) for line in r.out.splitlines() if line.strip()]


def prepare(plat, *zebcfg_lines):
    fresh_root(plat)
    plat.reg_import({f"HKLM\\{MAP}": {"Poll": 100}})
    for line in zebcfg_lines:
        r = plat.run(*line.split())
        assert r.code == 0, r


def registry_export(plat):
    """The registry file of the test's tree, and natively the store's bytes."""
    return plat.registry_snapshot(TREE)


A = "a COM7 Transport=Serial Port.BaudRate=115200 Parity=Even"
DEV = {"name": "COM7"}


def dev(properties=None, **members):
    instance = dict(DEV, **members)
    if properties is not None:
        instance["properties"] = properties
    return instance


# id, zebcfg lines before, kind, operation, input, expected state (a subset:
# top-level members and "properties"), expected changes (set and what-if),
# then (a zebcfg command, a line its output holds).
CASES = [
    ("create", [], "device", "set",
     dev({"Transport": "Serial", "Port.BaudRate": 115200, "Label": "Grüße"}),
     {"_exist": True, "properties": {"Transport": "Serial", "Label": "Grüße",
                                     "Timing.RxTimeout": {"auto": 441},
                                     "Parity": None}},
     ["_exist", "Transport", "Port.BaudRate", "Label"],
     ("p COM7", "Timing.RxTimeout          = <auto>")),
    ("change a value", [A], "device", "set", dev({"Port.BaudRate": 9600}),
     {"properties": {"Port.BaudRate": 9600, "Timing.RxTimeout": {"auto": 4743}}},
     ["Port.BaudRate"], ("p COM7", "Port.BaudRate             = 9600")),
    ("two names of one transport class are one state", [A], "device", "set",
     dev({"Transport": "Rs232"}), {"properties": {"Transport": "Serial"}}, [],
     None),
    ("reset to the default", [A + " Blank=A"], "device", "set",
     dev({"Blank": None}), {"properties": {"Blank": None}}, ["Blank"],
     ("p COM7", "Blank                     = <default>")),
    ("make automatic", [A + " Timing.RxTimeout=5"], "device", "set",
     dev({"Timing.RxTimeout": {"auto": True}}),
     {"properties": {"Timing.RxTimeout": {"auto": 441}}}, ["Timing.RxTimeout"],
     ("p COM7", "Timing.RxTimeout          = <auto>")),
    ("the default of an automatic property is its automatic value",
     [A + " Timing.RxTimeout=5"], "device", "set", dev({"Timing.RxTimeout": None}),
     {"properties": {"Timing.RxTimeout": {"auto": 441}}}, ["Timing.RxTimeout"],
     None),
    ("a stored value of another type", [A + " Raw=7"], "device", "set",
     dev({"Raw": 8}), {"properties": {"Raw": 8}}, ["Raw"], None),
    ("remove", [A], "device", "set", dev(_exist=False),
     {"name": "COM7", "_exist": False}, ["_exist"],
     ("l", "No configured devices found")),
    ("remove what is not there", [], "device", "set", dev(_exist=False),
     {"_exist": False}, [], None),
    ("what-if writes nothing", [A], "device", "whatIf",
     dev({"Port.BaudRate": 9600, "Timing.CharGap": 5}),
     {"properties": {"Port.BaudRate": 9600, "Timing.CharGap": 5,
                     "Timing.RxTimeout": {"auto": 4743}}},
     ["Port.BaudRate", "Timing.CharGap"],
     ("p COM7", "Port.BaudRate             = 115200")),
    ("what-if of a creation", [], "device", "whatIf",
     dev({"Transport": "Usb"}),
     {"_exist": True, "properties": {"Transport": "Usb",
                                     "Timing.TxTimeout": {"auto": 9486}}},
     ["_exist", "Transport"], ("l", "No configured devices found")),
    ("get", [A], "device", "get", {"name": "com7"},
     {"_exist": True, "properties": {"Parity": "Even", "Level": None}}, None,
     None),
    ("get of a device that does not exist", [], "device", "get", DEV,
     {"name": "COM7", "_exist": False}, None, None),
    ("test in the desired state", [A], "device", "test",
     dev({"Parity": "Even", "Label": None}), {"_inDesiredState": True}, None,
     None),
    ("test of a drift", [A], "device", "test", dev({"Parity": "Odd"}),
     {"_inDesiredState": False, "properties": {"Parity": "Even"}}, None, None),
    ("test of a device that does not exist", [], "device", "test", dev({}),
     {"_exist": False, "_inDesiredState": False}, None, None),
    ("export", [A, "a COM8 Transport=Usb"], "device", "export", None,
     {"name": "COM7"}, None, None),
    ("map entry: create", [], "mapentry", "set", {"name": "Retries", "value": -2},
     {"name": "Retries", "value": -2, "_exist": True}, ["_exist"],
     ("ml", "    Retries                  = 0xfffffffe (-2)")),
    ("map entry: change", [], "mapentry", "set", {"name": "poll", "value": 250},
     {"value": 250}, ["value"], ("ml", "    Poll                     = 0xfa (250)")),
    ("map entry: delete", [], "mapentry", "set", {"name": "Poll", "_exist": False},
     {"_exist": False}, ["_exist"], ("ml", "Property map is empty")),
    ("map entry: test", [], "mapentry", "test", {"name": "Poll", "value": 100},
     {"_inDesiredState": True}, None, None),
    ("map entry: export", [], "mapentry", "export", None,
     {"name": "Poll", "value": 100, "_exist": True}, None, None),
]


def assert_subset(expected, state):
    for key, value in expected.items():
        if key == "properties":
            for name, prop in value.items():
                assert state["properties"][name] == prop, (name, state)
        else:
            assert state[key] == value, (key, state)


@pytest.mark.parametrize("case", CASES, ids=[c[0] for c in CASES])
def test_verbs(plat, case):
    _, before, kind, operation, instance, state, changes, after = case
    prepare(plat, *before)
    exported = registry_export(plat)
    r, lines = dsc(plat, kind, operation, instance)
    assert (r.code, r.err.count('"error"')) == (0, 0), r
    assert_subset(state, lines[0])
    if operation in ("set", "whatIf"):
        assert lines[1:] == [changes], r
    if operation in ("get", "test", "export", "whatIf") or not changes:
        assert registry_export(plat) == exported
    if after is not None:
        out = plat.run(*after[0].split()).out
        assert after[1] in out.splitlines(), out
    if operation == "set":
        # Given again, a set finds the desired state and writes nothing.
        exported = registry_export(plat)
        r, lines = dsc(plat, kind, operation, instance)
        assert (r.code, lines[1:]) == (0, [[]]), r
        assert registry_export(plat) == exported


@pytest.mark.parametrize("desired,code,out", [
    ({"Parity": "Even"}, 0, True), ({"Parity": "Odd"}, 1, False)],
    ids=["compliant", "drift"])
def test_detect_exits_0_and_prints_only_when_compliant(plat, desired, code, out):
    prepare(plat, A)
    r = plat.run("test", "device", "--detect", "--input",
                 json.dumps(dev(desired)), exe="zebstate")
    assert (r.code, bool(r.out.strip())) == (code, out), r


# A document of devices and map entries, and the zebcfg lines that make
# the same change, in the same order.
DOCUMENT = {
    "devices": [
        dev({"Transport": "Serial", "Port.BaudRate": 115200, "Parity": "Even"}),
        {"name": "COM8", "properties": {"Transport": "Usb", "Label": "bay 2",
                                        "Timing.TxTimeout": 250,
                                        "Retries": 3}},
        {"name": "COM9", "_exist": False},
    ],
    "propertyMap": [{"name": "Poll", "value": 250},
                    {"name": "Extra", "_exist": False}],
}
START = ["a COM7 Transport=Serial Parity=Odd", "a COM9 Transport=Usb",
         "ms Extra=5"]
EQUIVALENT = [["s", "COM7", "Port.BaudRate=115200", "Parity=Even"],
              ["a", "COM8", "Transport=Usb", "Label=bay 2",
               "Timing.TxTimeout=250", "Retries=3"],
              ["r", "COM9"], ["ms", "Poll=250", "Extra="]]


def prepare_start(plat):
    """START, and beside it a key a creation cut short (zeb_dev_2, no name
    value), which a creation deletes, and a device in zeb_dev_3."""
    prepare(plat, *START)
    put_keys(plat, {"zeb_dev_2": device_values(None, marker="n"),
                    "zeb_dev_3": device_values("Old")})


def test_a_document_leaves_the_registry_of_the_equivalent_zebcfg_lines(plat):
    prepare_start(plat)
    for args in EQUIVALENT:
        assert plat.run(*args).code == 0, args
    by_zebcfg = registry_export(plat)[0]
    # The half-made key went, and the new device took its number.
    assert "ZEB_DEV_COM8" in plat.reg("query", f"HKLM\\{ROOT}\\zeb_dev_2").out

    prepare_start(plat)
    r = plat.run("set", "--input", json.dumps(DOCUMENT), exe="zebstate")
    assert r.code == 0, r
    changed = [json.loads(line)["changed"] for line in r.out.splitlines()]
    assert changed == [["Port.BaudRate", "Parity"],
                       ["_exist", "Transport", "Label", "Timing.TxTimeout",
                        "Retries"], ["_exist"], ["value"], ["_exist"]]
    assert registry_export(plat)[0] == by_zebcfg


RANGE = "Specified value is out of range"
INVALID = "Invalid parameter"
WINE_ONLY = "natively the code page is UTF-8, which holds every character"

# id, arguments (the input JSON goes to standard input), input, exit code,
# error text, the platform it runs on (with its reason), a change before.
BAD = [
    ("not JSON", ["set", "device"], '{"name": "COM7",}', 3,
     "the input is not JSON: expected a name at byte 16", None, None),
    ("no input", ["get", "device"], "", 3, "the input is not JSON: no value at "
     "byte 0", None, None),
    ("an input file that is not there", ["get", "--input-file", "absent.json"],
     "", 3, "cannot read the input file absent.json", None, None),
    ("not an object", ["set", "device"], "[]", 4,
     "an instance must be a JSON object", None, None),
    ("no name", ["get", "device"], "{}", 4,
     'the instance names nothing: "name" must be a text', None, None),
    ("unknown member", ["set", "device"], {"name": "COM7", "props": {}}, 4,
     "unknown member: props", None, None),
    ("a device twice", ["set"], {"devices": [DEV, {"name": "com7"}]}, 4,
     "an instance is given twice", None, None),
    ("unknown property", ["set", "device"], dev({"Baud": 1}), 5,
     "specified property name is not valid", None, None),
    ("a property's name in another case", ["set", "device"],
     dev({"port.baudrate": 9600}), 5, "specified property name is not valid",
     None, None),
    ("hidden property", ["set", "device"], dev({"Secret": "x"}), 5,
     "specified property name is not valid", None, None),
    ("out of range", ["set", "device"], dev({"Retries": 11}), 5, RANGE, None,
     None),
    ("not in the allowed list", ["set", "device"], dev({"Parity": "even"}), 5,
     RANGE, None, None),
    ("beyond 32 bits", ["set", "device"], dev({"Count": 2 ** 31}), 5, RANGE,
     None, None),
    ("text for an integer", ["set", "device"], dev({"Count": "5"}), 5, INVALID,
     None, None),
    ("a fraction", ["set", "device"], dev({"Count": 1.5}), 5, INVALID, None,
     None),
    ("transport not in the map", ["set", "device"], dev({"Transport": "serial"}),
     5, INVALID, None, None),
    ("reset of the transport", ["set", "device"], dev({"Transport": None}), 5,
     INVALID, None, None),
    ("reset a range without 0 refuses", ["set", "device"],
     dev({"Retries": None}), 5, RANGE, None, "s COM7 Retries=3"),
    ("automatic state of a fixed property", ["set", "device"],
     dev({"Count": {"auto": True}}), 5, INVALID, None, None),
    ("a new device without a transport", ["set", "device"],
     {"name": "COM9", "properties": {"Count": 1}}, 5,
     "Transport type not specified", None, None),
    ("map value -1", ["set", "mapentry"], {"name": "Poll", "value": -1}, 5,
     RANGE, None, None),
    ("text the code page lacks", ["set", "device"], dev({"Label": "日本"}), 5,
     "the text holds a character that the system code page cannot store",
     ("wine", WINE_ONLY), None),
    ("no setup file", ["get", "device"], DEV, 6,
     "INF file not found - please re-install driver", None, "remove_inf"),
    ("no device root", ["get", "device"], DEV, 7,
     "Error in configuration database found - driver re-installation "
     "recommended", None, "delete_root"),
    ("no map key", ["get", "mapentry"], {"name": "Poll"}, 7,
     "Error in configuration database found - driver re-installation "
     "recommended", None, "delete_map"),
    ("not an administrator", ["set", "device"], dev({"Count": 2}), 7,
     "Access denied (admin privilege required)",
     ("native", "under Wine the user is always an administrator"), None),
    ("usage", ["set", "device", "--detect"], DEV, 2,
     "unexpected argument: --detect (zebstate --help)", None, None),
]


@pytest.mark.parametrize("case", BAD, ids=[c[0] for c in BAD])
def test_bad_input_gives_its_error_and_changes_nothing(plat, case):
    _, args, instance, code, text, only, spoil = case
    if only and plat.name != only[0]:
        pytest.skip(only[1])
    prepare(plat, A)
    if spoil == "remove_inf":
        plat.remove_inf()
    elif spoil == "delete_root":
        plat.reg_delete(f"HKLM\\{ROOT}")
    elif spoil == "delete_map":
        plat.reg_delete(f"HKLM\\{MAP}")
    elif spoil:
        assert plat.run(*spoil.split()).code == 0
    exported = registry_export(plat)
    data = instance if isinstance(instance, str) else json.dumps(
        instance, ensure_ascii=False)
    r = plat.run(*args, exe="zebstate", stdin=data.encode("utf-8"),
                 unprivileged=text.startswith("Access denied"))
    assert (r.code, r.out) == (code, ""), r
    errors = [json.loads(line) for line in r.err.splitlines()
              if line.startswith("{")]
    assert [e["error"] for e in errors] == [text], r.err
    assert registry_export(plat) == exported


CANDIDATES = [None, "", "even", "Even", "serial", "tcp", "1.5", 0, 5, 8, 110,
              65535, 921601, -1, 2 ** 31, 1.5, True, [1], {"auto": True},
              {"auto": 441}, {"manual": 1}]
STORED = ["a", "COM7", "Port.Transport=serial", "Port.BaudRate=9600",
          "Port.DataBits=8", "Port.Parity=even", "Port.StopBits=1",
          "Net.Host=gw", "Net.Port=502", "Timing.CharTimeout=5"]


# The schema is made from the setup file by other code than the check of
# set: every value it refuses, set refuses too; and but for null (which the
# schema admits as a state, and set refuses where a stored value cannot be
# reset) the two agree on every candidate.
@pytest.mark.only_on("native", reason="the schema and the check are the "
                     "same code on both builds, and each candidate is a run "
                     "of its own (a few minutes under Wine)")
def test_the_schema_refuses_nothing_that_set_takes(setup_inf):
    jsonschema = pytest.importorskip("jsonschema")
    plat = setup_inf.plat
    assert plat.run(*STORED).code == 0
    r = plat.run("schema", "device", exe="zebstate")
    assert r.code == 0, r
    schema = json.loads(r.out)
    names = list(schema["properties"]["properties"]["properties"])
    assert "Driver.TraceMask" not in names  # hidden
    disagree = []
    for name in names:
        for value in CANDIDATES:
            instance = {"name": "COM7", "properties": {name: value}}
            by_schema = jsonschema.Draft202012Validator(schema).is_valid(instance)
            r = plat.run("set", "device", "--what-if", "--input",
                         json.dumps(instance), exe="zebstate")
            by_set = r.code == 0
            if by_set != by_schema and not (value is None and by_schema):
                disagree.append((name, value, by_schema, r.err.strip()))
    assert disagree == []
