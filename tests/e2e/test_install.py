"""INF installation: natively zebinstall, under Wine ``rundll32
setupapi.dll,InstallHinfSection``, install the same section of the same INF and
must leave the same keys (``reg query /s`` line for line: zebreg natively,
``wine reg`` under Wine) and the same files in the INF folder. The MSI,
which applies the INF through rundll32 in a custom action, must leave what
rundll32 by hand leaves."""

import re
import shutil

import pytest

from harness import (EXAMPLE_INF, NATIVE_DIR, REPO, NativePlatform, WinePlatform,
                     assert_same_lines, new_test_dir, read_cfg_strings)
from test_msi import INSTALL_DIR, REMEMBERED, install_msi, project_msi

BASE = r"HKLM\Software\ZebTest\Install"

# Every AddReg and DelReg form zebinstall applies, each checked against Wine.
EVERY_FORM_INF = r"""[Version]
Signature="$Windows NT$"

[Strings]
Base="Software\ZebTest\Install"
Sub="Nested"

[DefaultInstall]
CopyFiles=@zebinst.inf
CopyFiles=zeb_files
DelReg=zeb_remove
AddReg=zeb_keys, zeb_values

; Chosen over [Decorated] on 64-bit Windows NT.
[Decorated.NT]
AddReg=zeb_decorated
[Decorated]
AddReg=zeb_values

[DestinationDirs]
DefaultDestDir=17
zeb_files=17

[zeb_files]
zebinst1.txt
zebinst2.txt,zebinst_source.txt

[zeb_remove]
HKLM,%Base%\Old,Gone
HKLM,%Base%\Old,Absent
HKLM,%Base%\Old,Dropped,0x00008000
HKLM,%Base%\OldTree
HKLM,%Base%\NoSuchKey

[zeb_keys]
HKLM,%Base%,,0x00000010
HKLM,%Base%\%Sub%\Deeper,,0x10
HKLM,%Base%\KeyOnlyNamed,Ignored,0x10,"text"
HKLM,%Base%\Bare

[zeb_values]
HKLM,%Base%\Values,,0,"default text"
HKLM,%Base%\Values,Text,0,"some text, quoted"
HKLM,%Base%\Values,NoFlags,,"no flags"
HKLM,%Base%\Values,NoData,0
HKLM,%Base%\Values,Empty,0,""
HKLM,%Base%\Values,Dec,0x00010001,16
HKLM,%Base%\Values,Hex,0x00010001,0x1F
HKLM,%Base%\Values,Oct,0x00010001,010
HKLM,%Base%\Values,Neg,0x00010001,-1
HKLM,%Base%\Values,Max,0x00010001,0xFFFFFFFF
HKLM,%Base%\Values,Multi,0x00010000,"one","two","three"
HKLM,%Base%\Values,MultiOne,0x00010000,only
HKLM,%Base%\Values,Bin,0x00000001,01,ff,1,A0
HKLM,%Base%\Values,BinEmpty,0x00000001
HKLM,%Base%\Values,Kept,0x00000002,"new"
HKLM,%Base%\Values,KeptDword,0x00010003,7
HKLM,%Base%\Values,Fresh,0x00000002,"fresh"
HKLM,%Base%\Values,Replaced,0,"new"
HKLM,%Base%\Old,Stays,0,"x"

[zeb_decorated]
HKLM,%Base%\Decorated,Which,0,"NT"
"""

# What the registry holds before the install.
PRESET = {
    BASE + r"\Values": {"Kept": "old", "KeptDword": "old text", "Replaced": "old"},
    BASE + r"\Old": {"Gone": "x", "Dropped": "y", "Other": "z"},
    BASE + r"\OldTree\Child": {"V": "x"},
}

FILES = {"zebinst1.txt": b"first\r\n", "zebinst_source.txt": b"second\r\n"}
# The files each case leaves in the INF folder, and where their bytes came from.
COPIED = {"DefaultInstall": {"zebinst.inf": "zebinst.inf",
                             "zebinst1.txt": "zebinst1.txt",
                             "zebinst2.txt": "zebinst_source.txt"},
          "Decorated": {}}


def write_every_form_inf(folder):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "zebinst.inf").write_bytes(EVERY_FORM_INF.replace("\n", "\r\n").encode())
    for name, data in FILES.items():
        (folder / name).write_bytes(data)
    return folder / "zebinst.inf"


def install_and_query(plat, inf, section, key, preset):
    if preset:
        plat.reg_import(preset)
    r = plat.install_section(inf, section)
    assert r.code == 0, r
    q = plat.reg("query", key, "/s")
    assert q.code == 0, q
    return q.out


def copied_names(inf_dir):
    names = [p.name for p in inf_dir.iterdir()] if inf_dir.exists() else []
    return sorted(name for name in names if name.lower().startswith("zebinst"))


def remove_copies(inf_dir):
    for name in COPIED["DefaultInstall"]:
        (inf_dir / name).unlink(missing_ok=True)


@pytest.mark.parametrize("section", ["DefaultInstall", "Decorated"])
def test_zebinstall_leaves_what_rundll32_leaves(request, native_session_dir, section):
    native_dir = new_test_dir(native_session_dir)
    wine_dir = new_test_dir(native_session_dir)
    try:
        native = NativePlatform(native_dir, native_session_dir)
        native_out = install_and_query(native, write_every_form_inf(native_dir / "src"),
                                       section, BASE, PRESET)
        native_inf = native.inf_path.parent
        for target, source in COPIED[section].items():
            assert ((native_inf / target).read_bytes()
                    == (native_dir / "src" / source).read_bytes()), target
        if section == "Decorated":
            assert "Which    REG_SZ    NT" in native_out
        wine = WinePlatform(wine_dir, request.getfixturevalue("wine_session"))
        wine.reset()
        wine_inf = wine.inf_path.parent
        try:
            wine_out = install_and_query(wine, write_every_form_inf(wine_dir / "src"),
                                         section, BASE, PRESET)
            assert_same_lines(native_out, wine_out, "wine")
            assert copied_names(native_inf) == copied_names(wine_inf)
        finally:
            remove_copies(wine_inf)
    finally:
        shutil.rmtree(native_dir, ignore_errors=True)
        shutil.rmtree(wine_dir, ignore_errors=True)


def test_the_example_installs_the_same_keys_on_both_platforms(request, native_session_dir):
    native_dir = new_test_dir(native_session_dir)
    wine_dir = new_test_dir(native_session_dir)
    try:
        native = NativePlatform(native_dir, native_session_dir)
        native_out = install_and_query(native, EXAMPLE_INF, "DefaultInstall",
                                       r"HKLM\SOFTWARE\Zeb", None)
        assert native.inf_path.read_bytes() == EXAMPLE_INF.read_bytes()
        wine = WinePlatform(wine_dir, request.getfixturevalue("wine_session"))
        wine.reset()
        wine_out = install_and_query(wine, EXAMPLE_INF, "DefaultInstall",
                                     r"HKLM\SOFTWARE\Zeb", None)
        assert_same_lines(native_out, wine_out, "wine")
        assert wine.inf_path.read_bytes() == EXAMPLE_INF.read_bytes()
    finally:
        shutil.rmtree(native_dir, ignore_errors=True)
        shutil.rmtree(wine_dir, ignore_errors=True)


def inf_folder_files(plat):
    folder = plat.inf_path.parent
    return {p.name: p.read_bytes() for p in folder.iterdir() if p.is_file()}


def test_the_msi_leaves_what_rundll32_leaves(fresh_wine):
    msi = project_msi()
    by_msi, by_rundll32 = fresh_wine(), fresh_wine()
    r, log = install_msi(by_msi, msi)
    assert r.code == 0, (r, log[-2000:])
    # Beside the driver's keys, the package remembers its folder for the
    # next upgrade, and only that.
    assert by_msi.reg_query(REMEMBERED) == {"InstallDir": ("REG_SZ", INSTALL_DIR)}
    assert by_msi.reg_delete(REMEMBERED).code == 0
    assert by_rundll32.install_section(EXAMPLE_INF).code == 0
    queries = [plat.reg("query", r"HKLM\SOFTWARE\Zeb", "/s")
               for plat in (by_msi, by_rundll32)]
    assert [q.code for q in queries] == [0, 0], queries
    assert queries[0].out.splitlines() == queries[1].out.splitlines()
    assert "PollMs    REG_DWORD    0x64" in queries[0].out
    assert inf_folder_files(by_msi) == inf_folder_files(by_rundll32)
    assert by_msi.inf_path.read_bytes() == EXAMPLE_INF.read_bytes()


def test_installed_example_serves_zebcfg_and_a_reinstall_keeps_map_entries(plat):
    strings = read_cfg_strings(EXAMPLE_INF)
    assert plat.install_section(EXAMPLE_INF).code == 0
    assert plat.reg_query("HKLM\\" + strings["dev_reg_root"]) is not None
    r = plat.run("ml")
    assert (r.out, r.code) == ("Property map:\n"
                               "    PollMs                   = 0x64 (100)\n"
                               "    Retries                  = 0x03 (3)\n", 0)
    assert plat.run("a", "COM7", "Port.Transport=serial").code == 0
    assert plat.run("ms", "PollMs=250").code == 0
    # The initial entries are written only where none exists.
    assert plat.install_section(EXAMPLE_INF).code == 0
    assert plat.run("ml").out.startswith("Property map:\n"
                                         "    PollMs                   = 0xfa (250)\n")
    assert plat.run("l").out == "Configured devices:\n    COM7\n"


# ----- zebinstall's own refusals (the native build's tool) -----

NATIVE_TOOL = "zebinstall is the native build's counterpart of rundll32"

REFUSED_INF = r"""[Version]
Signature="$Windows NT$"

[DefaultInstall]
CopyFiles=@zebinst.inf
AddReg=zeb_good, zeb_bad

[DestinationDirs]
DefaultDestDir=17

[zeb_good]
HKLM,Software\ZebTest\Refused,Written,0,"x"

[zeb_bad]
HKLM,Software\ZebTest\Refused,Fine,0x00010001,1
{bad}
"""


@pytest.mark.only_on("native", reason=NATIVE_TOOL)
@pytest.mark.parametrize("bad, reason", [
    (r"HKCU,Software\ZebTest,V,0,x", "root HKCU is not supported (only HKLM)"),
    (r"HKLM,Software\ZebTest\Refused,V,0x00020000,x",
     "AddReg flags 0x00020000 are not supported"),
    (r"HKLM,Software\ZebTest\Refused,V,0x00010001,12abc",
     '"12abc" is not a 32-bit number'),
    (r"HKLM,%Missing%\Key,V,0,x", "holds an unresolved %string%"),
])
def test_a_refused_line_leaves_nothing_written(plat, bad, reason):
    folder = plat.test_dir / "src"
    folder.mkdir()
    inf = folder / "zebinst.inf"
    inf.write_text(REFUSED_INF.replace("{bad}", bad))
    r = plat.install_section(inf)
    assert r.code == 1, r
    assert r.out == ""
    assert re.fullmatch(rf"zebinstall: {re.escape(str(inf))}: \[zeb_bad\] line 2: "
                        rf".*{re.escape(reason)}.*\n", r.err), r.err
    assert plat.reg_query(r"HKLM\Software\ZebTest\Refused") is None
    assert not (plat.inf_path.parent / "zebinst.inf").exists()


@pytest.mark.only_on("native", reason=NATIVE_TOOL)
@pytest.mark.parametrize("args, code, err", [
    ([], 2, "usage: zebinstall [SECTION] FILE\n"),
    (["a", "b", "c"], 2, "usage: zebinstall [SECTION] FILE\n"),
    (["no-such.inf"], 1, "zebinstall: no-such.inf: no such file\n"),
    (["NoSection", str(EXAMPLE_INF)], 1,
     f"zebinstall: {EXAMPLE_INF}: no section [NoSection]\n"),
])
def test_usage_and_missing_inputs(plat, args, code, err):
    r = plat.run(*args, exe="zebinstall")
    assert r.code == code, r
    assert r.err.startswith(err), r.err


@pytest.mark.only_on("native", reason=NATIVE_TOOL)
def test_version_is_the_cmake_project_version(plat):
    version = re.search(r"project\(zebcfg VERSION ([0-9.]+)",
                        (REPO / "CMakeLists.txt").read_text()).group(1)
    r = plat.run("--version", exe="zebinstall")
    assert (r.out, r.code) == (f"zebinstall {version}\n", 0)


@pytest.mark.only_on("native", reason=NATIVE_TOOL + "; under Wine the user is "
                     "always an administrator")
def test_a_caller_who_may_not_write_the_store_is_refused(plat):
    plat.reg_add(r"HKLM\Software\ZebTest")  # the store exists, owned by root
    r = plat.run_unprivileged(str(EXAMPLE_INF), exe=str(NATIVE_DIR / "zebinstall"))
    assert r.code == 1, r
    assert "not allowed to write the store" in r.err
    assert plat.reg_query(r"HKLM\SOFTWARE\Zeb\zebser\Devices") is None
    assert not plat.inf_path.exists()
