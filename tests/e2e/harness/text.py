"""Text helpers: Windows command lines, INF sections, reg query output,
registry files, and the line-by-line comparison of two outputs."""

import re
from pathlib import Path

_HIVES = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER",
          "HKCR": "HKEY_CLASSES_ROOT", "HKU": "HKEY_USERS"}


def hive_name(key):
    """The full name of a key written as HKLM\\... (HKCU, HKCR, HKU alike)."""
    hive, _, rest = key.partition("\\")
    return f"{_HIVES.get(hive.upper(), hive)}\\{rest}"


def read_inf_section(path, name):
    """Returns the key=value pairs of one section of an INF (first line wins),
    keys in lower case, values with their quotes removed."""
    values, section = {}, None
    for line in Path(path).read_text(encoding="latin-1").splitlines():
        line = line.split(";", 1)[0].strip()
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1].strip().lower()
        elif section == name.lower() and "=" in line:
            key, value = (s.strip() for s in line.split("=", 1))
            values.setdefault(key.lower(), value.strip('"'))
    return values


def resolve_inf_strings(text, strings):
    """Replaces each %key% of text by its [Strings] value (%% is one %)."""
    return re.sub(r"%([^%]*)%",
                  lambda m: strings.get(m.group(1).lower(), m.group(0))
                  if m.group(1) else "%", text)


def read_cfg_strings(path):
    """Returns the [cfg_strings] key=value pairs of an INF (first line wins),
    with %strings% resolved from [Strings] as the INF reader resolves them."""
    strings = read_inf_section(path, "Strings")
    return {key: resolve_inf_strings(value, strings)
            for key, value in read_inf_section(path, "cfg_strings").items()}


def split_windows_cmdline(line):
    """Splits a command line the way the Windows C runtime builds argv."""
    args, i, n = [], 0, len(line)
    while i < n and line[i] in " \t":
        i += 1
    # The program token: quotes group, backslashes are plain characters.
    token, quoted = [], False
    while i < n and (quoted or line[i] not in " \t"):
        if line[i] == '"':
            quoted = not quoted
        else:
            token.append(line[i])
        i += 1
    args.append("".join(token))
    while True:
        while i < n and line[i] in " \t":
            i += 1
        if i >= n:
            return args
        token, quoted = [], False
        while i < n and (quoted or line[i] not in " \t"):
            c = line[i]
            if c == "\\":
                j = i
                while j < n and line[j] == "\\":
                    j += 1
                count = j - i
                if j < n and line[j] == '"':
                    token.append("\\" * (count // 2))
                    if count % 2:
                        token.append('"')
                        j += 1
                    i = j
                else:
                    token.append("\\" * count)
                    i = j
                continue
            if c == '"':
                if quoted and i + 1 < n and line[i + 1] == '"':
                    token.append('"')
                    i += 2
                    continue
                quoted = not quoted
            else:
                token.append(c)
            i += 1
        args.append("".join(token))


def quote_windows_arg(arg):
    """Quotes one argument so that the C runtime reads it back unchanged."""
    if arg and not any(c in arg for c in ' \t"'):
        return arg
    out, backslashes = ['"'], 0
    for c in arg:
        if c == "\\":
            backslashes += 1
            continue
        if c == '"':
            out.append("\\" * (2 * backslashes + 1) + '"')
        else:
            out.append("\\" * backslashes + c)
        backslashes = 0
    out.append("\\" * (2 * backslashes) + '"')
    return "".join(out)


def parse_reg_query(text):
    """Returns {name: (type, data)} of the first key block of reg query output."""
    values, seen_key = {}, False
    for line in text.replace("\r\n", "\n").split("\n"):
        if not line.strip():
            if seen_key and values:
                break
            continue
        if not line.startswith("    "):
            if seen_key:
                break
            seen_key = True
            continue
        m = re.match(r"^    (.*?)    (REG_[A-Z_]+)(?:    (.*))?$", line)
        if m:
            name = "" if m.group(1) == "(Default)" else m.group(1)
            values[name] = (m.group(2), m.group(3) or "")
    return values


def parse_reg_tree(text):
    """Parses the output of `reg query <key> /s` (reg.exe and zebreg print
    the same form) into {key path below HKLM, lower case: {value name lower
    case ("" for the default value): (type, data text)}}."""
    keys = {}
    current = None
    for raw in text.replace("\r", "").split("\n"):
        if raw.startswith("HK"):
            path = raw.split("\\", 1)[1] if "\\" in raw else ""
            current = keys.setdefault(path.lower(), {})
            continue
        if current is None or not raw.startswith("    "):
            continue
        parts = raw[4:].split("    ", 2)
        if len(parts) < 2:
            continue
        name, rtype = parts[0], parts[1]
        data = parts[2] if len(parts) > 2 else ""
        if name == "(Default)":
            name = ""
        current[name.lower()] = (rtype, data)
    return keys


def regedit_text(keys):
    """Builds a REGEDIT4 file that writes the keys and values of the dict."""
    lines = ["REGEDIT4", ""]
    for key, values in keys.items():
        lines.append(f"[{hive_name(key)}]")
        for name, value in (values or {}).items():
            ident = "@" if name == "" else '"' + _reg_escape(name) + '"'
            lines.append(f"{ident}={_regedit_data(value)}")
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def regedit_deletion_text(keys):
    """Builds a REGEDIT4 file that deletes the keys (sorted) and, last, the
    Version value of HKCU\\Software\\Wine."""
    text = "REGEDIT4\r\n\r\n"
    for key in sorted(keys):
        text += f"[-{hive_name(key)}]\r\n\r\n"
    return text + '[HKEY_CURRENT_USER\\Software\\Wine]\r\n"Version"=-\r\n'


def _reg_escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def _regedit_data(value):
    if value is None:
        return "-"
    if isinstance(value, bool):
        value = int(value)
    if isinstance(value, int):
        return "dword:%08x" % (value & 0xFFFFFFFF)
    if isinstance(value, (bytes, bytearray)):
        return "hex:" + ",".join("%02x" % b for b in value)
    return '"' + _reg_escape(value) + '"'


def reg_type_and_data(value):
    """The reg add /t type and /d text of a value as reg_import takes it."""
    if isinstance(value, bool):
        value = int(value)
    if isinstance(value, int):
        return "REG_DWORD", "0x%x" % (value & 0xFFFFFFFF)
    if isinstance(value, (bytes, bytearray)):
        return "REG_BINARY", value.hex()
    return "REG_SZ", value


def decode(data):
    """Program output as text (UTF-8, undecodable bytes replaced)."""
    return data.decode("utf-8", errors="replace")


def assert_same_lines(native, other, other_name):
    """Fails with the first 25 differing lines unless the two texts are the
    same line for line."""
    native_lines, other_lines = native.splitlines(), other.splitlines()
    diffs = [f"line {i + 1}:\n  native:     {a!r}\n  {other_name + ':':11} {b!r}"
             for i, (a, b) in enumerate(zip(native_lines, other_lines))
             if a != b]
    if len(native_lines) != len(other_lines):
        diffs.append(f"native printed {len(native_lines)} lines, "
                     f"{other_name} {len(other_lines)}")
    assert not diffs, "\n".join(diffs[:25])
