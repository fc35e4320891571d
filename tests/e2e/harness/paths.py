"""Where the tree, the builds and the example setup file are, and the keys
the harness owns in a registry."""

import os
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[3]
NATIVE_DIR = Path(os.environ.get("ZEBCFG_NATIVE_DIR") or REPO / "build" / "native")
WIN_DIR = Path(os.environ.get("ZEBCFG_WIN_DIR") or REPO / "build" / "win")
EXAMPLE_INF = REPO / "examples" / "zebsetup.inf"

TEST_KEY = r"HKLM\Software\ZebTest"
WINE_VERSIONS = ("winxp", "win2k", "nt40", "win7", "win10", "win98", "win95",
                 "winme", "win2003", "nt351")
OSR21_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OSR21"
RESET_KEYS = (TEST_KEY, r"HKLM\Software\Zeb", OSR21_KEY)
NOBODY = 65534


def new_test_dir(parent, prefix="probe"):
    """A fresh folder below parent that every user can reach (the
    unprivileged runs read through it)."""
    path = Path(tempfile.mkdtemp(dir=parent, prefix=prefix))
    path.chmod(0o755)
    return path
