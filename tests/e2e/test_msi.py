"""The Windows Installer package (make package:
build/package/zebcfg-<version>-x64.msi) under Wine's msiexec, silently (/qn)
as fleet deployment engines run it, each test in a fresh prefix of its own:
install, uninstall and reinstall keeping the driver's configuration; a major
upgrade to a newer version stamped with PACKAGE_VERSION, keeping the devices;
a rebuild of the same version replacing the installed one; a refused
downgrade. Exit codes are read in full 32 bits through runexit.exe."""

import os
import re
import shutil
import subprocess
from dataclasses import dataclass
from pathlib import Path

import pytest

from conftest import EXAMPLE_INF, REPO
from test_package import PACKAGE_DIR, VERSION

_MAJOR, _MINOR, _ = VERSION.split(".")
NEWER = f"{_MAJOR}.{int(_MINOR) + 1}.0"

UNINSTALL = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
INSTALL_DIR = r"C:\Program Files\Zeb\zebcfg" + "\\"

# Windows Installer's exit codes that these tests meet.
ERROR_INSTALL_FAILURE = 1603
ERROR_UNKNOWN_PRODUCT = 1605


@dataclass
class Msi:
    path: Path
    version: str
    product_code: str


def read_msi(path):
    """The package at path, with the version and ProductCode it carries."""
    table = subprocess.run(["msiinfo", "export", str(path), "Property"],
                           capture_output=True, text=True, check=True).stdout
    props = dict(line.split("\t", 1) for line in table.splitlines() if "\t" in line)
    return Msi(Path(path), props["ProductVersion"], props["ProductCode"])


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
                  "zebstate"]):
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


def install_msi(plat, msi):
    """Copies the package into C:\\zeb, as an engine caches it, and runs
    msiexec /i on it."""
    shutil.copy2(msi.path, plat.session.zeb_dir / msi.path.name)
    return msiexec(plat, "/i", rf"C:\zeb\{msi.path.name}")


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


def installed(plat, *args):
    """Runs the installed zebcfg.exe."""
    return plat.run(*args, exe=str(install_folder(plat, "zebcfg", "zebcfg.exe")))


def file_version(plat):
    """The fixed file and product version of the installed zebcfg.exe."""
    exe = install_folder(plat, "zebcfg", "zebcfg.exe")
    r = plat.run(plat.session.win_path(exe), exe="resinfo")
    assert r.code == 0, r
    return r.out.split("\n", 1)[0]


def assert_installed(plat, msi):
    entries = zebcfg_entries(plat)
    assert list(entries) == [msi.product_code], entries
    entry = entries[msi.product_code]
    assert (entry["DisplayVersion"], entry["Publisher"], entry["InstallLocation"]) \
        == (msi.version, "Zeb Systems", INSTALL_DIR), entry
    assert file_version(plat) == f"fixed: {msi.version}.0 {msi.version}.0"


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
