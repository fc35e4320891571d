"""The Windows Installer package (make package:
build/package/zebcfg-<version>-x64.msi) under Wine's msiexec, silently (/qn)
as fleet deployment engines run it, each test in a fresh prefix of its own:
install, uninstall and reinstall keeping the driver's configuration; a major
upgrade to a newer version stamped with PACKAGE_VERSION, keeping the devices;
a rebuild of the same version replacing the installed one; a refused
downgrade; the public properties INSTALLDIR and ZEBCFG_CONFIG (a zebstate
document applied at install, remembered across an upgrade and a repair,
forgotten at uninstall) and the failures of a document; the repair that
Wine's msiexec can run. Exit codes are read in full 32 bits through
runexit.exe."""

import json
import os
import re
import shutil
import subprocess
from dataclasses import dataclass
from pathlib import Path

import pytest

from harness import EXAMPLE_INF, REPO
from test_package import PACKAGE_DIR, VERSION

_MAJOR, _MINOR, _ = VERSION.split(".")
NEWER = f"{_MAJOR}.{int(_MINOR) + 1}.0"

UNINSTALL = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
INSTALL_DIR = r"C:\Program Files\Zeb\zebcfg" + "\\"

# Windows Installer's exit codes that these tests meet.
ERROR_INSTALL_FAILURE = 1603
ERROR_UNKNOWN_PRODUCT = 1605

REMEMBERED = r"HKLM\SOFTWARE\Zeb\zebcfg"


@dataclass
class Msi:
    path: Path
    version: str
    product_code: str
    properties: dict


def read_msi(path):
    """The package at path, with the version and ProductCode it carries and
    its Property table."""
    table = subprocess.run(["msiinfo", "export", str(path), "Property"],
                           capture_output=True, text=True, check=True).stdout
    props = dict(line.split("\t", 1) for line in table.splitlines() if "\t" in line)
    return Msi(Path(path), props["ProductVersion"], props["ProductCode"], props)


def project_msi():
    """The MSI that make package wrote for the project's version."""
    path = PACKAGE_DIR / f"zebcfg-{VERSION}-x64.msi"
    if not path.exists():
        pytest.skip(f"{path} is not built (make package)")
    return read_msi(path)


@pytest.fixture(scope="module")
def newer_msis(wine_template, tmp_path_factory):
    """Two builds of the MSI of a newer version, stamped as a release
    candidate is: PACKAGE_VERSION at the configure step of a Windows build
    of its own (build/win-newer), then scripts/package.sh msi twice, so
    the two carry the same version and two ProductCodes."""
    env = dict(os.environ, PACKAGE_VERSION=NEWER)
    build = REPO / "build" / "win-newer"
    for argv in (["cmake", "-S", REPO, "-B", build, "-DCMAKE_TOOLCHAIN_FILE="
                  + str(REPO / "cmake" / "mingw-w64-x86_64.cmake")],
                 ["cmake", "--build", build, "-j", "2", "--target", "zebcfg",
                  "zebstate", "msiaction"]):
        subprocess.run([str(a) for a in argv], env=env, stdin=subprocess.DEVNULL,
                       capture_output=True, check=True, timeout=600)
    builds = []
    for n in range(2):
        out = tmp_path_factory.mktemp(f"newer{n}")
        subprocess.run([str(REPO / "scripts" / "package.sh"), "msi"],
                       env=dict(env, ZEBCFG_WIN_DIR=str(build), PACKAGE_OUT=str(out)),
                       stdin=subprocess.DEVNULL, capture_output=True, check=True,
                       timeout=120)
        builds.append(read_msi(out / f"zebcfg-{NEWER}-x64.msi"))
    return builds


def msiexec(plat, *args, log="msiexec.log"):
    """Runs msiexec with args as the README's deployment lines do (silent, no
    restart, a verbose log); returns its Result and the log's text (the log
    is written in the ANSI code page)."""
    log_path = plat.session.zeb_dir / log
    log_path.unlink(missing_ok=True)
    r = plat.run_argv(["msiexec", *args, "/qn", "/norestart", "/l*v",
                       rf"C:\zeb\{log}"], timeout=120)
    text = log_path.read_bytes().decode("cp1252", errors="replace") \
        if log_path.exists() else ""
    return r, text


def install_msi(plat, msi, *properties):
    """Copies the package into C:\\zeb, as an engine caches it, and runs
    msiexec /i on it with the public properties given (NAME=value)."""
    shutil.copy2(msi.path, plat.session.zeb_dir / msi.path.name)
    return msiexec(plat, "/i", rf"C:\zeb\{msi.path.name}", *properties)


def install_folder(plat, *parts):
    return plat.session.prefix.joinpath("drive_c", "Program Files", "Zeb", *parts)


def zebcfg_entries(plat):
    """{uninstall key name: {value: data}} of the entries named zebcfg."""
    r = plat.reg("query", UNINSTALL, "/s")
    assert r.code == 0, r
    entries, key = {}, None
    for line in r.out.splitlines():
        if line.startswith("HKEY_"):
            key = line.rsplit("\\", 1)[1]
            entries[key] = {}
        m = re.match(r"^    (.*?)    REG_[A-Z_]+(?:    (.*))?$", line)
        if m and key:
            entries[key][m.group(1)] = m.group(2) or ""
    return {k: v for k, v in entries.items() if v.get("DisplayName") == "zebcfg"}


def installed(plat, *args, folder=None):
    """Runs the installed zebcfg.exe (of the Linux folder given, by default
    %ProgramFiles%\\Zeb\\zebcfg)."""
    folder = folder or install_folder(plat, "zebcfg")
    return plat.run(*args, exe=str(folder / "zebcfg.exe"))


def file_version(plat, folder=None):
    """The fixed file and product version of the installed zebcfg.exe."""
    exe = (folder or install_folder(plat, "zebcfg")) / "zebcfg.exe"
    r = plat.run(plat.session.win_path(exe), exe="resinfo")
    assert r.code == 0, r
    return r.out.split("\n", 1)[0]


def assert_installed(plat, msi, install_dir=INSTALL_DIR, folder=None):
    entries = zebcfg_entries(plat)
    assert list(entries) == [msi.product_code], entries
    entry = entries[msi.product_code]
    assert (entry["DisplayVersion"], entry["Publisher"], entry["InstallLocation"]) \
        == (msi.version, "Zeb Systems", install_dir), entry
    assert file_version(plat, folder) == f"fixed: {msi.version}.0 {msi.version}.0"


KEPT_DEVICES = "Configured devices:\n    COM7\n"
KEPT_MAP = ("Property map:\n    PollMs                   = 0xfa (250)\n"
            "    Retries                  = 0x03 (3)\n")


def test_install_uninstall_and_reinstall_keep_the_driver_configuration(fresh_wine):
    msi = project_msi()
    plat = fresh_wine()
    r, log = install_msi(plat, msi)
    assert r.code == 0, (r, log[-2000:])
    folder = install_folder(plat, "zebcfg")
    assert sorted(p.name for p in folder.iterdir()) == [
        "LICENSE", "README.md", "zeb.serial.device.dsc.resource.json",
        "zeb.serial.propertymapentry.dsc.resource.json", "zebcfg.exe",
        "zebsetup.inf", "zebstate.exe"]
    for name, source in (("zebsetup.inf", EXAMPLE_INF), ("README.md", REPO / "README.md"),
                         ("LICENSE", REPO / "LICENSE")):
        assert (folder / name).read_bytes() == source.read_bytes(), name
    assert_installed(plat, msi)
    # The INF's [DefaultInstall] ran: zebcfg finds its setup file and root.
    assert installed(plat, "a", "COM7", "Port.Transport=serial").code == 0
    assert installed(plat, "ms", "PollMs=250").code == 0
    assert installed(plat, "l").out == KEPT_DEVICES

    r, log = msiexec(plat, "/x", msi.product_code)
    assert r.code == 0, (r, log[-2000:])
    assert not install_folder(plat).exists()
    assert zebcfg_entries(plat) == {}
    # The configuration stays: zebcfg run from elsewhere still finds it.
    assert plat.inf_path.read_bytes() == EXAMPLE_INF.read_bytes()
    assert (plat.run("l").out, plat.run("ml").out) == (KEPT_DEVICES, KEPT_MAP)
    r, _ = msiexec(plat, "/x", msi.product_code)
    assert r.code == ERROR_UNKNOWN_PRODUCT, r

    r, log = install_msi(plat, msi)
    assert r.code == 0, (r, log[-2000:])
    assert (installed(plat, "l").out, installed(plat, "ml").out) == (
        KEPT_DEVICES, KEPT_MAP)


def test_a_newer_version_upgrades_in_place_and_an_older_one_is_refused(
        fresh_wine, newer_msis):
    older, (newer, rebuilt) = project_msi(), newer_msis
    assert (newer.version, rebuilt.version) == (NEWER, NEWER)
    assert newer.product_code != rebuilt.product_code
    plat = fresh_wine()
    assert install_msi(plat, older)[0].code == 0
    assert installed(plat, "a", "COM7", "Port.Transport=serial").code == 0
    assert installed(plat, "ms", "PollMs=250").code == 0

    for msi in (newer, rebuilt):  # a major upgrade, then a same-version rebuild
        r, log = install_msi(plat, msi)
        assert r.code == 0, (r, log[-2000:])
        assert_installed(plat, msi)
        assert (installed(plat, "l").out, installed(plat, "ml").out) == (
            KEPT_DEVICES, KEPT_MAP)

    r, log = install_msi(plat, older)
    assert r.code == ERROR_INSTALL_FAILURE, r
    assert ("RefuseDowngrade. Downgrade refused: a newer version of zebcfg is "
            f"installed, zebcfg {older.version} was not installed") in log, log
    assert_installed(plat, rebuilt)
    assert installed(plat, "l").out == KEPT_DEVICES


# A site's configuration document, as an engine hands it to the package.
SITE = {"devices": [
    {"name": "COM7", "properties": {"Port.Transport": "serial",
                                    "Port.BaudRate": 115200, "Port.Parity": "even"}},
    {"name": "NET1", "properties": {"Port.Transport": "tcp",
                                    "Net.Host": "plc-7.example", "Net.Port": 502}}],
    "propertyMap": [{"name": "PollMs", "value": 250}]}
SITE_DEVICES = "Configured devices:\n    COM7\n    NET1\n"
TOOLS_DIR = "C:\\Tools\\zebcfg\\"


def write_document(plat, name, document):
    """Writes a configuration document into C:\\zeb; returns its path there."""
    (plat.session.zeb_dir / name).write_text(json.dumps(document))
    return rf"C:\zeb\{name}"


def baud_rate(plat, folder=None):
    """COM7's Port.BaudRate as the installed zebcfg lists it."""
    out = installed(plat, "p", "COM7", folder=folder).out
    return re.search(r"^Port\.BaudRate +=\s*(\S+)$", out, re.M).group(1)


def test_installdir_and_the_document_are_applied_and_remembered_until_uninstall(
        fresh_wine, newer_msis):
    older, (newer, _) = project_msi(), newer_msis
    # Only listed properties reach the elevated part of an installation on
    # Windows; Wine's msiexec has no such part, so the list is read here.
    secure = older.properties["SecureCustomProperties"].split(";")
    assert {"INSTALLDIR", "ZEBCFG_CONFIG", "WIX_UPGRADE_DETECTED",
            "WIX_DOWNGRADE_DETECTED"} <= set(secure), secure
    plat = fresh_wine()
    site = write_document(plat, "site.json", SITE)
    folder = plat.session.prefix / "drive_c" / "Tools" / "zebcfg"
    r, log = install_msi(plat, older, f"INSTALLDIR={TOOLS_DIR}",
                         f"ZEBCFG_CONFIG={site}")
    assert r.code == 0, (r, log[-3000:])
    assert f"ZEBCFG_CONFIG: the configuration document {site} was applied" in log
    assert not install_folder(plat, "zebcfg").exists()
    assert_installed(plat, older, TOOLS_DIR, folder)
    assert (installed(plat, "l", folder=folder).out,
            installed(plat, "ml", folder=folder).out) == (SITE_DEVICES, KEPT_MAP)
    assert installed(plat, "s", "COM7", "Port.BaudRate=9600", folder=folder).code == 0

    # The upgrade is given neither property: it installs into the remembered
    # folder and applies the remembered document again, undoing the change.
    r, log = install_msi(plat, newer)
    assert r.code == 0, (r, log[-3000:])
    assert ("ZEBCFG_CONFIG: the remembered configuration document "
            f"{site} was applied") in log, log[-3000:]
    assert_installed(plat, newer, TOOLS_DIR, folder)
    assert baud_rate(plat, folder) == "115200"
    assert installed(plat, "l", folder=folder).out == SITE_DEVICES

    r, log = msiexec(plat, "/x", newer.product_code)
    assert r.code == 0, (r, log[-3000:])
    assert not folder.exists()
    assert plat.reg_query(REMEMBERED) is None
    assert plat.run("l").out == SITE_DEVICES


def test_a_document_not_applied_fails_with_1603_and_a_log_line_that_says_why(
        fresh_wine, newer_msis):
    older, (newer, _) = project_msi(), newer_msis
    plat = fresh_wine()
    bad = write_document(plat, "bad.json", {"devices": [
        {"name": "COM8", "properties": {"Port.Transport": "serial"}},
        {"name": "COM7", "properties": {"Port.Transport": "serial",
                                        "Port.Parity": "sometimes"}}]})
    r, log = install_msi(plat, older, f"ZEBCFG_CONFIG={bad}")
    assert r.code == ERROR_INSTALL_FAILURE, r
    assert (f"ZEBCFG_CONFIG: the configuration document {bad} was not applied "
            '(zebstate exit code 5): {"error":"Specified value is out of range",'
            '"instance":"COM7","property":"Port.Parity"}') in log, log[-3000:]
    # Rolled back: no program, no entry, nothing remembered, and no device
    # of the document (zebstate refuses a document whole).
    assert not install_folder(plat, "zebcfg").exists()
    assert zebcfg_entries(plat) == {}
    assert plat.reg_query(REMEMBERED) is None
    assert plat.run("l").out == "No configured devices found\n"

    # A path that cannot be read stops an upgrade before it removes the
    # older version, which stays with its remembered document.
    site = write_document(plat, "site.json", SITE)
    assert install_msi(plat, older, f"ZEBCFG_CONFIG={site}")[0].code == 0
    for given, line in (
            ("site.json", '"site.json" is not a full path'),
            (r"C:\zeb\gone.json", r"the configuration document C:\zeb\gone.json "
             "cannot be read (error 2): nothing was changed")):
        r, log = install_msi(plat, newer, f"ZEBCFG_CONFIG={given}")
        assert r.code == ERROR_INSTALL_FAILURE, (given, r)
        assert f"ZEBCFG_CONFIG: {line}" in log, log[-3000:]
        assert_installed(plat, older)
        assert plat.reg_query(REMEMBERED)["ZEBCFG_CONFIG"] == ("REG_SZ", site)


def test_repair_restores_a_deleted_program_and_applies_the_remembered_document(
        fresh_wine):
    msi = project_msi()
    plat = fresh_wine()
    site = write_document(plat, "site.json", SITE)
    assert install_msi(plat, msi, f"ZEBCFG_CONFIG={site}")[0].code == 0
    program = install_folder(plat, "zebcfg", "zebcfg.exe")
    assert installed(plat, "s", "COM7", "Port.BaudRate=9600").code == 0
    program.unlink()
    # Wine's msiexec runs no /f: it takes a package's path for a ProductCode
    # (1605) and has no code for a ProductCode (1; its FIXME "Product code
    # treatment not implemented yet"). The README says so.
    package = rf"C:\zeb\{msi.path.name}"
    assert msiexec(plat, "/fa", package)[0].code == ERROR_UNKNOWN_PRODUCT
    assert msiexec(plat, "/fa", msi.product_code)[0].code == 1

    r, log = msiexec(plat, "/i", msi.product_code, "REINSTALL=ALL",
                     "REINSTALLMODE=amus")
    assert r.code == 0, (r, log[-3000:])
    assert program.exists()
    assert_installed(plat, msi)
    assert ("ZEBCFG_CONFIG: the remembered configuration document "
            f"{site} was applied") in log, log[-3000:]
    assert baud_rate(plat) == "115200"

    # The remembered document is gone: the repair goes on and leaves the
    # devices as they are.
    (plat.session.zeb_dir / "site.json").unlink()
    assert installed(plat, "s", "COM7", "Port.BaudRate=9600").code == 0
    program.unlink()
    r, log = msiexec(plat, "/i", package, "REINSTALL=ALL", "REINSTALLMODE=amus")
    assert r.code == 0, (r, log[-3000:])
    assert program.exists()
    assert (f"ZEBCFG_CONFIG: the remembered configuration document {site} is "
            "gone (error 2): it is not applied again, and the devices stay as "
            "they are") in log, log[-3000:]
    assert (baud_rate(plat), installed(plat, "l").out) == ("9600", SITE_DEVICES)

    # A document given on the repair line is applied and remembered instead.
    other = write_document(plat, "other.json", {"devices": [
        {"name": "COM7", "properties": {"Port.BaudRate": 57600}}]})
    r, log = msiexec(plat, "/i", msi.product_code, "REINSTALL=ALL",
                     "REINSTALLMODE=amus", f"ZEBCFG_CONFIG={other}")
    assert r.code == 0, (r, log[-3000:])
    assert baud_rate(plat) == "57600"
    assert plat.reg_query(REMEMBERED)["ZEBCFG_CONFIG"] == ("REG_SZ", other)
