"""Shared schema and helpers of the device and property end-to-end tests.

The schema below is small but covers every kind of [cfg_prop_map] line the
device and property commands treat differently: the transport class, a
property that sets it, automatic timing properties (auto index 0..3 and one
above 31), allowed lists, ranges, a hidden line, a show-if-set line and a type
other than 0 and 1.
"""

from .text import parse_reg_tree

ROOT = r"SOFTWARE\ZebTest\Devices"
MAP = r"SOFTWARE\ZebTest\Map"

XPT_LINES = (
    "Serial=XPT_SERIAL\n"
    "Usb=XPT_USB\n"
    "Rs232=XPT_SERIAL\n"
)

PROP_LINES = (
    "Transport=0,0x4\n"
    "Port.BaudRate=1,0,0,921600\n"
    "Timing.CharGap=1,0x00000008\n"
    "Timing.RxTimeout=1,0x00010008\n"
    "Timing.TxTimeout=1,0x00020008\n"
    "Timing.Spare=1,0x00030008\n"
    "Timing.Far=1,0x00200008\n"
    "Parity=0,0,None|Even|Odd\n"
    "Link=0,0x2\n"
    "Level=1,0,-5,0x10\n"
    "Retries=1,0,1,10\n"
    "Note=0,0x10\n"
    "Secret=0,0x1\n"
    "Raw=2,0\n"
    "Count=1,0\n"
    "Label=0,0\n"
    "Blank=0,0,|A|B\n"
    "Pair=0,0,AB|B\n"
)

# Properties in listing order, Secret (hidden) and Note (shown only when
# stored) left out.
LISTED = [
    "Transport", "Port.BaudRate", "Timing.CharGap", "Timing.RxTimeout",
    "Timing.TxTimeout", "Timing.Spare", "Timing.Far", "Parity", "Link",
    "Level", "Retries", "Raw", "Count", "Label", "Blank", "Pair",
]
AUTO = ["Timing.CharGap", "Timing.RxTimeout", "Timing.TxTimeout",
        "Timing.Spare"]


def schema_inf(strings=""):
    """The test INF; strings are extra [cfg_strings] lines."""
    return (
        "[Version]\n"
        'Signature="$Windows NT$"\n'
        "\n"
        "[cfg_strings]\n"
        f"dev_reg_root={ROOT}\n"
        f"map_path={MAP}\n"
        f"{strings}"
        "\n"
        "[cfg_prop_map]\n"
        f"{PROP_LINES}"
        "\n"
        "[cfg_xpt_map]\n"
        f"{XPT_LINES}"
    )


def listing(*names):
    """What `l` prints for these device names."""
    if not names:
        return "No configured devices found\n"
    return "Configured devices:\n" + "".join(f"    {n}\n" for n in names)


def prop_line(name, value):
    """One line of the `p` listing."""
    return f"{name:<26}= {value}\n"


def prop_listing(device, values=None, failures=None, shown=None):
    """What `p device` prints: every listed property as "<default>" unless
    values names it (a value text, "<auto>", ...). failures maps a property
    to the message that replaces its line. shown overrides the list of
    properties (for Note, which is listed only when stored)."""
    values = values or {}
    failures = failures or {}
    out = ""
    header = False
    for name in shown or LISTED:
        if name in failures:
            out += f"*** failed to get {name} :{failures[name]}\n"
            continue
        if not header:
            out += f"List Properties for {device}\n"
            header = True
        out += prop_line(name, values.get(name, "<default>"))
    return out


def auto_values(baud):
    """The automatic timing values for a baud rate, by property name."""
    k0 = 14000 // baud + 10
    k1 = max(45056000 // baud + 50, 250)
    k2 = max(90112000 // baud + 100, 3000)
    return {"Timing.CharGap": k0, "Timing.RxTimeout": k1,
            "Timing.TxTimeout": k2, "Timing.Spare": 0}


# --- registry contents --------------------------------------------------------

def device_values(name, marker="", xpt="XPT_SERIAL", mask=0xFFFFFFFF,
                  name_value="FriendlyName", more=None, **extra):
    """The values of a device key as creation and commit leave them, in the
    form plat.reg_import takes (str REG_SZ, int REG_DWORD, bytes REG_BINARY);
    None leaves a value out. extra names other values, "_" standing for ".";
    more gives further values by their exact names."""
    values = {}
    if marker is not None:
        values[""] = marker
    if name is not None:
        values[name_value] = "ZEB_DEV_" + name
    if mask is not None:
        values["autocfg_mask"] = mask
    if xpt is not None:
        values["DevPartClass"] = xpt
    for key, item in extra.items():
        values[key.replace("_", ".")] = item
    values.update(more or {})
    return values


# --- platform steps -----------------------------------------------------------

def fresh_root(plat, keys=None, strings=""):
    """Installs the test schema and an empty device root, plus the keys given
    (paths relative to the device root)."""
    plat.install_inf(schema_inf(strings))
    plat.reg_delete(f"HKLM\\{ROOT}")
    tree = {f"HKLM\\{ROOT}": {}}
    tree.update({f"HKLM\\{ROOT}\\{k}": v for k, v in (keys or {}).items()})
    plat.reg_import(tree)


def put_keys(plat, keys):
    """Writes keys (paths relative to the device root)."""
    plat.reg_import({f"HKLM\\{ROOT}\\{k}": v for k, v in keys.items()})


def root_keys(plat):
    """{subkey name, lower case: {value name lower case: (type, data)}} of the
    device root as it is now."""
    r = plat.reg("query", f"HKLM\\{ROOT}", "/s")
    assert r.code == 0, r
    prefix = ROOT.lower() + "\\"
    return {path[len(prefix):]: values
            for path, values in parse_reg_tree(r.out).items()
            if path.startswith(prefix)}


def delete_value(plat, sub, name):
    """Deletes one value of subkey sub of the device root."""
    plat.reg_delete(f"HKLM\\{ROOT}\\{sub}", name)
