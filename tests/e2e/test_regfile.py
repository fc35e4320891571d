"""Registry files: zebreg export and import against Wine's reg export and reg
import, over one content written into both stores by the same commands
(devices and map entries by zebcfg, values of every type by reg add), and
zebreg's refusal of a malformed file, which writes nothing and names the line.

zebreg's query prints the store's UTF-8 where Wine's reg prints the console's
code page 437, and Wine's reg prints every REG_QWORD as
"(null)": the query comparisons set those apart (comparable_query); the
exports, compared byte for byte, hold everything."""

import os
import re
import shutil
import sqlite3

import pytest

from harness import (EXAMPLE_INF, TEST_KEY, NativePlatform, WinePlatform,
                     assert_same_lines, new_test_dir, read_cfg_strings)

CONTENT_KEY = r"HKLM\SOFTWARE\Zeb"
# Typed in another case: the export keeps the case typed for this key only.
EXPORT_KEY = r"hklm\software\Zeb"
EXTRA = CONTENT_KEY + r"\Extra"
STRINGS = read_cfg_strings(EXAMPLE_INF)

ZEBCFG_COMMANDS = [
    ["a", "COM7", "Port.Transport=serial", "Port.BaudRate=115200",
     "Port.Parity=even"],
    ["a", "NET1", "Port.Transport=tcp", "Net.Host=10.0.0.5", "Net.Port=4001"],
    ["s", "COM7", "Port.StopBits=1.5"],
    ["ms", "PollMs=250"],
    ["ms", "Retries=5"],
    # Typed on a UTF-8 terminal: natively the store keeps these characters in
    # UTF-8, Wine's zebcfg.exe gets them in its ANSI code page; the exports
    # carry the same characters.
    ["a", "Café", "Port.Transport=tcp", "Net.Host=Grüße"],
]
# A device name outside ASCII written natively by a zebcfg whose store held
# Windows-1252 ("Café€" in those bytes): it exports as those characters, as
# the name typed under Wine does.
WINDOWS_1252_NAME = b"Caf\xe9\x80"

REG_ADDS = [
    [EXTRA, "/ve", "/d", "default text"],
    [EXTRA, "/v", 'quote"and\\back\\', "/d", 'C:\\dir\\"x"\\'],
    [EXTRA, "/v", "Empty", "/d", ""],
    [EXTRA, "/v", "Expand", "/t", "REG_EXPAND_SZ", "/d", "%SystemRoot%\\zeb"],
    [EXTRA, "/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "one\\0two words\\0three"],
    [EXTRA, "/v", "Dword", "/t", "REG_DWORD", "/d", "0xDEADBEEF"],
    [EXTRA, "/v", "Qword", "/t", "REG_QWORD", "/d", "0x123456789ABCDEF0"],
    [EXTRA, "/v", "Binary", "/t", "REG_BINARY", "/d", bytes(range(0, 250, 3)).hex()],
    [EXTRA, "/v", "EmptyBinary", "/t", "REG_BINARY"],
    [EXTRA, "/v", "None", "/t", "REG_NONE", "/d", "abc"],
    [EXTRA, "/v", "NoneEmpty", "/t", "REG_NONE"],
    [EXTRA, "/v", "L" * 90, "/t", "REG_BINARY", "/d", "0102030405"],
    [EXTRA + r"\beta"],
    [EXTRA + r"\Alpha\Deeper", "/v", "x", "/d", "1"],
    [EXTRA + r"\_under"],
]


def checked(result):
    assert result.code == 0, result
    return result


def write_content(plat):
    plat.install_example_inf()
    for key in (STRINGS["dev_reg_root"], STRINGS["map_path"]):
        checked(plat.reg("add", "HKLM\\" + key, "/f"))
    name = ("Café€" if plat.name == "wine"
            else os.fsdecode(WINDOWS_1252_NAME))
    for args in ZEBCFG_COMMANDS + [["a", name, "Port.Transport=serial"]]:
        checked(plat.run(*args))
    for args in REG_ADDS:
        checked(plat.reg("add", *args, "/f"))


def export(plat, path, key=EXPORT_KEY):
    r = plat.reg("export", key, plat.path_arg(path), "/y")
    assert (r.out, r.code) == ("", 0), r
    return path.read_bytes()


def import_file(plat, path):
    r = plat.reg("import", plat.path_arg(path))
    assert (r.out, r.code) == ("", 0), r


def comparable_query(plat):
    out = checked(plat.reg("query", CONTENT_KEY, "/s")).out
    out = re.sub(r"(    REG_QWORD    ).*", r"\1<qword>", out)
    return re.sub(r"[^\x00-\x7e]+\??", "<non-ascii>", out)


class Stores:
    """The content written into a native store and into Wine's registry, with
    what each exported and printed."""

    def __init__(self, native, wine, native_dir, wine_dir):
        self.native, self.wine = native, wine
        self.native_dir, self.wine_dir = native_dir, wine_dir
        self.native_file = native_dir / "native.reg"
        self.wine_file = wine_dir / "wine.reg"
        self.native_export = export(native, self.native_file)
        self.wine_export = export(wine, self.wine_file)
        self.native_query = comparable_query(native)
        self.wine_query = comparable_query(wine)


@pytest.fixture(scope="module")
def stores(request, native_session_dir):
    wine_session = request.getfixturevalue("wine_session")
    native_dir = new_test_dir(native_session_dir)
    wine_dir = new_test_dir(native_session_dir)
    try:
        native = NativePlatform(native_dir, native_session_dir)
        wine = WinePlatform(wine_dir, wine_session)
        wine.reset()
        write_content(native)
        write_content(wine)
        yield Stores(native, wine, native_dir, wine_dir)
    finally:
        shutil.rmtree(native_dir, ignore_errors=True)
        shutil.rmtree(wine_dir, ignore_errors=True)


def test_the_exports_of_one_content_are_byte_identical(stores):
    assert stores.wine_export.startswith(
        "\ufeffWindows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\software\\Zeb]\r\n".encode("utf-16-le"))
    for text in ("Café€", "ZEB_DEV_Café", "Grüße"):
        assert text.encode("utf-16-le") in stores.wine_export, text
    assert stores.native_export == stores.wine_export


def test_wines_export_imported_by_zebreg_queries_as_wine(stores, native_session_dir):
    target_dir = new_test_dir(native_session_dir)
    try:
        target = NativePlatform(target_dir, native_session_dir)
        import_file(target, stores.wine_file)
        assert_same_lines(comparable_query(target), stores.wine_query, "wine")
        assert export(target, target_dir / "again.reg") == stores.wine_export
    finally:
        shutil.rmtree(target_dir, ignore_errors=True)


def test_zebregs_export_imported_by_wine_queries_as_the_native_store(stores):
    stores.wine.reset()
    assert stores.wine.reg("query", CONTENT_KEY).code == 1
    import_file(stores.wine, stores.native_file)
    assert_same_lines(stores.native_query, comparable_query(stores.wine), "wine")
    assert export(stores.wine, stores.wine_dir / "again.reg") == stores.native_export


@pytest.mark.only_on("native", reason="the round trip within the native build, "
                     "which runs where Wine does not (the sanitizer build)")
def test_an_export_imports_into_an_empty_store_unchanged(plat, native_session_dir):
    write_content(plat)
    first = export(plat, plat.test_dir / "first.reg")
    target_dir = new_test_dir(native_session_dir)
    try:
        target = NativePlatform(target_dir, native_session_dir)
        import_file(target, plat.test_dir / "first.reg")
        assert export(target, target_dir / "second.reg") == first
    finally:
        shutil.rmtree(target_dir, ignore_errors=True)


# ----- both platforms: what export and import print around the files -----

@pytest.mark.parametrize("args, out", [
    (["export", EXTRA], 'reg: Invalid syntax. Type "REG EXPORT /?" for help.\n'),
    (["export", EXTRA, "x.reg", "/f"],
     'reg: Invalid syntax. Type "REG EXPORT /?" for help.\n'),
    (["export", EXTRA + r"\NoSuch", "x.reg"],
     "reg: Unable to find the specified registry key\n"),
    (["import"], 'reg: Invalid syntax. Type "REG IMPORT /?" for help.\n'),
    (["import", "a.reg", "b.reg"],
     'reg: Invalid syntax. Type "REG IMPORT /?" for help.\n'),
    (["import", "no-such-file.reg"],
     "reg: The file 'no-such-file.reg' was not found.\n"),
])
def test_export_and_import_refuse_as_reg_does(plat, args, out):
    r = plat.reg(*args)
    assert (r.out, r.code) == (out, 1)


# A REGEDIT4 file is Windows-1252, its string types' hex bytes too: both
# builds keep its characters (natively in UTF-8) and export them alike.
REGEDIT4_TEXT = (b"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\ZebTest\\Caf\xe9]\r\n"
                 b'"Gr\xfc\xdfe"="\x80 \x81 d\xe9j\xe0"\r\n'
                 b'"x"=hex(2):e9,80,00\r\n"m"=hex(7):e9,00,80,00,00\r\n')
REGEDIT4_EXPORT = ("\ufeffWindows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\ZebTest\\Café]\r\n"
                   '"Grüße"="€ \x81 déjà"\r\n'
                   '"m"=hex(7):e9,00,00,00,ac,20,00,00,00,00\r\n'
                   '"x"=hex(2):e9,00,ac,20,00,00\r\n\r\n').encode("utf-16-le")


def test_a_regedit4_file_keeps_its_windows_1252_characters(plat):
    path = plat.test_dir / "regedit4.reg"
    path.write_bytes(REGEDIT4_TEXT)
    import_file(plat, path)
    r = plat.reg("export", "HKLM\\Software\\ZebTest\\Café",
                 plat.path_arg(plat.test_dir / "out.reg"), "/y")
    assert (r.out, r.code) == ("", 0), r
    assert (plat.test_dir / "out.reg").read_bytes() == REGEDIT4_EXPORT


def test_a_header_alone_imports_nothing_and_succeeds(plat):
    plat.reg_add(KEPT, "k", data="kept")
    before = plat.registry_snapshot(TEST_KEY)
    path = plat.test_dir / "empty.reg"
    path.write_bytes("\ufeffWindows Registry Editor Version 5.00\r\n"
                     .encode("utf-16-le"))
    import_file(plat, path)
    assert plat.registry_snapshot(TEST_KEY) == before


@pytest.mark.only_on("native", reason="Wine's reg asks to overwrite, forever "
                     "when it cannot read an answer")
def test_export_keeps_an_existing_file_without_y(plat):
    plat.reg_add(EXTRA, "v", data="x")
    path = plat.test_dir / "kept.reg"
    path.write_bytes(b"old")
    r = plat.reg("export", EXTRA, str(path))
    assert (r.out, r.code) == (
        f"reg: The file '{path}' already exists and was not overwritten "
        "(/y overwrites it)\n", 1)
    assert path.read_bytes() == b"old"


# ----- a malformed file is refused whole -----

KEPT = r"HKLM\Software\ZebTest\Kept"
NEW = r"HKLM\Software\ZebTest\New"
# Lines 3 to 5 of a file: writes that the bad line after them must undo.
BEFORE = ("\r\n[-HKEY_LOCAL_MACHINE\\Software\\ZebTest\\Kept]\r\n"
          "[HKEY_LOCAL_MACHINE\\Software\\ZebTest\\New]\r\n"
          '"written"="before the bad line"\r\n')
V5 = "Windows Registry Editor Version 5.00\r\n" + BEFORE
V4 = "REGEDIT4\r\n" + BEFORE


@pytest.mark.only_on("native", reason="Wine's reg skips a line it cannot read "
                     "and imports the rest")
@pytest.mark.parametrize("encoding, text, line, reason", [
    ("ansi", "", 1, "not a registry file"),
    ("utf16", "just some text\r\n", 1, "not a registry file"),
    ("ansi", "; note\r\n" + V4, 1, "not a registry file"),
    ("ansi", "\xef\xbb\xbf" + V5, 1, "not a registry file"),
    ("utf16", V5 + "[HKEY_CURRENT_USER\\Software\\ZebTest]\r\n", 6,
     "the key 'HKEY_CURRENT_USER\\Software\\ZebTest' is not below "
     "HKEY_LOCAL_MACHINE"),
    ("utf16", V5 + "[-HKEY_LOCAL_MACHINE\\Software\\ZebTest\\New]\r\n"
     '"v"="x"\r\n', 7, "a value before the first key, or after a key deletion"),
    ("utf16", V5 + "[-HKEY_LOCAL_MACHINE]\r\n", 6, "cannot be deleted"),
    ("ansi", V4 + '"d"=dword:123456789\r\n', 6, "invalid dword data"),
    ("utf16", V5 + '"b"=hex:01,02,\\\r\n  03,0g\r\n', 7, "invalid hex data"),
    ("utf16", V5 + '"b"=hex:01 02\r\n', 6, "invalid hex data"),
    ("ansi", V4 + '"b"=hex:01,\\\r\n\r\n"c"="x"\r\n', 7, "onto a blank line"),
    ("utf16", V5 + '"t"=hex(100000000):01\r\n', 6, "invalid value type"),
    ("utf16", V5 + '"s"="no closing quote\r\n', 6, "without its closing quote"),
    ("utf16", V5 + '"p"="C:\\temp"\r\n', 6, "unrecognized escape sequence [\\t]"),
    ("ansi", V4 + '"s"="x" trailing\r\n', 6, "text after the string"),
    ("ansi", V4 + '"s"=str(2):"x"\r\n', 6, "unrecognized value data"),
    ("ansi", V4 + 'Software\\ZebTest=1\r\n', 6, "neither a key, a value"),
    ("utf16", V5 + '"n"="a\0b"\r\n', 6, "a NUL character"),
    # The registry's limits (Wine's reg passes over such a line).
    ("utf16", V5 + '"' + "v" * 20000 + '"="x"\r\n', 6,
     "a value name of 20000 characters, more than the registry's 16383"),
    ("utf16", V5 + '"' + "v" * 16384 + '"=-\r\n', 6, "a value name of 16384"),
    ("utf16", V5 + "[HKEY_LOCAL_MACHINE\\Software\\" + "k" * 256 + "]\r\n", 6,
     "a key name of 256 characters, more than the registry's 255"),
    ("utf16", V5 + "[-HKEY_LOCAL_MACHINE\\" + "\\".join(["d"] * 513) + "]\r\n", 6,
     "a key 513 levels below HKEY_LOCAL_MACHINE, more than the registry's 512"),
    ("utf16", V5 + '"\ud800"="x"\r\n', 6, "a lone UTF-16 surrogate"),
    ("utf16", V5 + '"s"=hex(1):00,dc,00,00\r\n', 6, "a lone UTF-16 surrogate"),
])
def test_a_malformed_file_writes_nothing_and_names_its_line(plat, encoding, text,
                                                            line, reason):
    plat.reg_add(KEPT, "k", data="kept")
    path = plat.test_dir / "bad.reg"
    path.write_bytes(b"\xff\xfe" + text.encode("utf-16-le", "surrogatepass")
                     if encoding == "utf16" else text.encode("latin-1"))
    r = plat.reg("import", str(path))
    assert r.code == 1, r
    assert r.out.startswith(f"reg: Unable to import '{path}': line {line}: "), r.out
    assert r.out.endswith("; nothing was imported\n") and reason in r.out, r.out
    assert plat.reg_query(KEPT) == {"k": ("REG_SZ", "kept")}
    assert plat.reg_query(NEW) is None
    assert plat.reg("query", "HKLM\\Software", "/s").code == 0


LIMITS_KEY = r"HKLM\Software\ZebTest\Limits"


def test_names_at_the_registry_s_limits_import_and_export(plat):
    # A key name of 255, a value name of 16,383 characters, 512 keys deep.
    deep = "\\".join(["Software", "ZebTest", "Limits"] + ["d"] * 509)
    name = "\u00e9" * 16383
    text = ("Windows Registry Editor Version 5.00\r\n\r\n"
            f"[HKEY_LOCAL_MACHINE\\{LIMITS_KEY[5:]}\\{'k' * 255}]\r\n"
            f'"{name}"="x"\r\n\r\n[HKEY_LOCAL_MACHINE\\{deep}]\r\n"v"="deep"\r\n')
    path = plat.test_dir / "limits.reg"
    path.write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))
    import_file(plat, path)
    out = export(plat, plat.test_dir / "out.reg", LIMITS_KEY).decode("utf-16-le")
    assert f'"{name}"="x"' in out and '"v"="deep"' in out


@pytest.mark.only_on("native", reason="a store an older zebreg filled: "
                     "the registry refuses such a name")
def test_a_value_name_an_older_zebreg_stored_still_lists_and_exports(plat):
    plat.reg_add(LIMITS_KEY, "short", data="kept")
    db = sqlite3.connect(plat.root / "registry.db")
    with db:
        db.execute("UPDATE vals SET name = ?, folded = ? WHERE name = 'short'",
                   ("v" * 20000, "v" * 20000))
    db.close()
    r = plat.reg("query", "HKLM\\Software", "/s")
    assert r.code == 0 and "v" * 20000 + "    REG_SZ    kept" in r.out
    out = export(plat, plat.test_dir / "old.reg", LIMITS_KEY).decode("utf-16-le")
    assert '"' + "v" * 20000 + '"="kept"' in out
