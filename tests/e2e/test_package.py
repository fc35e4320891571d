"""What ships: the version resource and manifest of zebcfg.exe, the Debian
package of the native build (unpacked and run), the man pages and the bash
completion."""

import re

import pytest

from conftest import REPO

VERSION = re.search(r"project\(zebcfg VERSION ([0-9]+\.[0-9]+\.[0-9]+)",
                    (REPO / "CMakeLists.txt").read_text()).group(1)

# The supportedOS ids of Windows Vista, 7, 8, 8.1 and 10.
SUPPORTED_OS = ["e2011457-1546-43c5-a5fe-008deee3d3f0",
                "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"]


@pytest.mark.only_on("wine", reason="the version resource and the manifest "
                     "are parts of the Windows executable")
def test_zebcfg_exe_carries_the_cmake_version_and_its_manifest(plat):
    r = plat.run(plat.exe_path("zebcfg"), exe="resinfo")
    assert r.code == 0, r
    lines = r.out.split("\n")
    assert lines[:4] == [f"fixed: {VERSION}.0 {VERSION}.0", "ProductName: zebcfg",
                         f"FileVersion: {VERSION}", f"ProductVersion: {VERSION}"], r
    manifest = r.out.split("manifest:\n", 1)[1]
    assert re.search(r'<requestedExecutionLevel level="asInvoker"', manifest)
    assert re.findall(r'<supportedOS Id="\{([0-9a-f-]+)\}"', manifest) == SUPPORTED_OS
