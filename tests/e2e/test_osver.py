"""osver: the platform class as the exit code.

Under Wine the version record comes from the emulated Windows version (only
Wine can emulate one by name); natively from the record in
HKLM\\System\\Platform (only the native store can hold an arbitrary record).
Wine always answers that the user is an administrator, so the non-administrator
classes are checked natively, by running as an unprivileged user."""

import pytest

from harness import OSR21_KEY, WINE_VERSIONS

# Wine's record for each version name, and the class it gives.
WINE_CLASSES = {
    "winxp": 10,    # NT 5.1, administrator
    "win2k": 7,     # NT 5.0, administrator
    "nt40": 5,      # NT 4.0, administrator
    "win7": 5,      # NT 6.1
    "win10": 5,     # NT 6.2 for a program without a manifest; any 6.x is 5
    "win98": 4,     # 9x 4.10
    "win95": 1,     # 9x 4.0 with an empty service-pack text
    "winme": 9,     # 9x 4.90
    "win2003": 100,  # NT 5.2
    "nt351": 100,   # NT 3.51: major version below 4
}


def test_every_wine_version_is_covered():
    assert sorted(WINE_CLASSES) == sorted(WINE_VERSIONS)


@pytest.mark.only_on("wine", reason="only Wine emulates versions by name")
@pytest.mark.parametrize("version", WINE_VERSIONS)
def test_osver_for_wine_versions(plat, version):
    plat.set_wine_version(version)
    r = plat.run("osver")
    assert (r.out, r.code) == ("", WINE_CLASSES[version])


@pytest.mark.only_on("wine", reason="the native default record is tested below")
def test_wine_default_version_reports_an_administrator(plat):
    # Wine 8 emulates Windows 7 unless told otherwise, and IsUserAdmin says
    # yes: class 5, not 6.
    r = plat.run("osver")
    assert (r.out, r.code) == ("", 5)


# platform id, major, minor, service-pack text, OSR21 key present, class
NATIVE_RECORDS = [
    # 9x family, minor 0: the second character of the service-pack text.
    (1, 4, 0, "", False, 1),
    (1, 4, 0, " A", False, 1),
    (1, 4, 0, " A", True, 1),
    (1, 4, 0, "B", True, 1),        # one character: there is no second one
    (1, 4, 0, " B", True, 3),
    (1, 4, 0, " b", True, 3),
    (1, 4, 0, " C", False, 2),
    (1, 4, 0, " c", True, 3),
    (1, 4, 0, " B", False, 2),
    (1, 4, 0, "xCtra", False, 2),   # only the second character counts
    (1, 5, 0, " B", False, 2),      # 9x looks at the major only for >= 4
    (1, 4, 10, " B", True, 4),      # Windows 98, whatever the text
    (1, 4, 10, "", False, 4),
    (1, 4, 90, " ", False, 9),      # Windows Me
    (1, 4, 3, "", False, 100),      # a 9x minor other than 0, 10, 90
    (1, 3, 0, " B", True, 100),     # major below 4
    # NT family, run as root: always an administrator.
    (2, 3, 51, "", False, 100),
    (2, 4, 0, "Service Pack 6a", False, 5),
    (2, 5, 0, "", False, 7),
    (2, 5, 1, "Service Pack 3", False, 10),
    (2, 5, 2, "", False, 100),
    (2, 5, 3, "", False, 100),
    (2, 6, 0, "", False, 5),
    (2, 6, 1, "Service Pack 1", False, 5),
    (2, 6, 3, "", False, 5),
    (2, 10, 0, "", False, 5),
    # Other families.
    (0, 5, 1, "", False, 100),      # Win32s
    (3, 5, 1, "", False, 100),
]


@pytest.mark.only_on("native", reason="Wine cannot emulate an arbitrary record")
@pytest.mark.parametrize("pid, major, minor, csd, osr21, expected", NATIVE_RECORDS,
                         ids=[f"{r[0]}-{r[1]}.{r[2]}-[{r[3]}]"
                              f"{'-osr21' if r[4] else ''}" for r in NATIVE_RECORDS])
def test_osver_for_native_version_records(plat, pid, major, minor, csd, osr21,
                                          expected):
    plat.set_version(pid, major, minor, csd)
    if osr21:
        plat.reg_import({OSR21_KEY: {}})
    r = plat.run("osver")
    assert (r.out, r.code) == ("", expected)


@pytest.mark.only_on("native", reason="Wine's default version is tested above")
def test_native_default_record_is_nt51(plat):
    assert plat.run("osver").code == 10
    assert plat.run_unprivileged("osver").code == 11


# An unprivileged user of the store is no administrator on the NT family;
# the 9x family never asks.
UNPRIVILEGED = [
    (2, 5, 1, 11), (2, 5, 0, 8), (2, 4, 0, 6), (2, 6, 1, 6), (2, 5, 2, 100),
    (2, 3, 51, 100), (1, 4, 10, 4), (1, 4, 0, 1),
]


@pytest.mark.only_on("native", reason="under Wine the user is always an administrator")
@pytest.mark.parametrize("pid, major, minor, expected", UNPRIVILEGED)
def test_osver_for_an_unprivileged_user(plat, pid, major, minor, expected):
    plat.set_version(pid, major, minor, "")
    r = plat.run_unprivileged("osver")
    assert (r.out, r.code) == ("", expected)
