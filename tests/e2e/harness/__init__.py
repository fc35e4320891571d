"""End-to-end harness: the real executables on both platforms.

A test that takes the fixture ``plat`` runs twice: natively (``plat.name ==
"native"``, on a fresh store of its own) and under Wine (``plat.name ==
"wine"``, in the run's one prefix). conftest.py holds the fixtures; this
package holds what they, the tests and bench/run_bench.py use:

    paths     REPO, NATIVE_DIR ($ZEBCFG_NATIVE_DIR, default build/native),
              WIN_DIR ($ZEBCFG_WIN_DIR, default build/win), EXAMPLE_INF, the
              keys reset before each test, new_test_dir
    process   Result, and run_process: how both drivers start a program
    platform  NativePlatform, and what both drivers share
    wine      WineSession (a prefix and its persistent wineserver), WinePlatform
    text      Windows command lines, INF sections, reg query output, registry
              files, assert_same_lines
    devices   the device and property tests' schema, expected texts and
              steps (import them from harness.devices)

Running: ``plat.run(*args, exe="zebcfg", timeout=60, unprivileged=False,
stdin=None)`` returns a ``Result``: ``.out`` (under Wine "\\r\\n" becomes
"\\n"), ``.err`` (Wine's noise too), ``.code``: natively 0..255, under Wine
the full unsigned 32 bits (read through runexit.exe), None when the program
could not start; compare with ``plat.exit(n)``: ``r.code == plat.exit(-1)``.
``exe`` is a build name (".exe" is added under Wine) or an absolute Linux
path, such as ``plat.copy_exe(name, exe="zebcfg", subdir=None)`` returns.
Also ``plat.run_argv(argv)``; ``plat.run_raw(line)`` (a raw command line:
unchanged to CreateProcess under Wine, split by the C runtime's rules
natively); ``plat.cmdline(tail, exe)``; ``plat.exe_path(exe)`` (the path as
the platform names it, C:\\zeb\\zebcfg.exe under Wine); ``plat.path_arg(path)``
(a Linux file as the platform's programs name it); ``plat.run_parallel([args,
...])``; ``plat.run_unprivileged(*args)`` (natively as nobody, the store
world-readable; skips under Wine). For timing, ``plat.run_plain(argv)``
runs argv once as it stands (natively in this session, under Wine with no
runexit.exe: wine's 8-bit status) and gives the process's ``.seconds``.

Setup file: ``plat.install_inf(text)`` writes str or bytes as they are where
the INF search finds zebsetup.inf (``plat.inf_path``); ``install_example_inf()``,
``remove_inf()``.

Registry, in reg.exe's syntax (zebreg natively, ``wine reg``): ``plat.reg(*args)``;
``reg_add(key, name=None, type="REG_SZ", data=None)`` (name "" is the default
value); ``reg_delete(key, name=None)``; ``reg_query(key)``: {name: (type,
data)} or None; ``reg_import({key: {name: value}})``: str REG_SZ, int
REG_DWORD, bytes REG_BINARY, None deletes, {} makes the key only;
``registry_snapshot(key)``: (its reg export, natively a digest of the store),
equal before and after a step that writes nothing. INF sections:
``plat.install_section(inf, section)`` (zebinstall; under Wine rundll32, whose
Result says nothing). Versions: ``plat.set_version(id, major, minor, csd)``
natively, ``plat.set_wine_version(name)`` (WINE_VERSIONS) under Wine; each
skips on the other platform.

One platform only: ``@pytest.mark.only_on("native", reason=...)`` (or "wine").

Isolation: natively a fresh $ZEBCFG_ROOT per test (``plat.root``); under Wine
one prefix per run (``plat.session``: .prefix, .zeb_dir = C:\\zeb,
.win_path(path), .restart_server()), reset before each test: RESET_KEYS, the
keys named by ``plat.reset_key(key)``, Wine's Version value, the INF file.
Tests write below HKLM\\Software\\ZebTest. ``plat.test_dir`` is the test's
folder, ``plat.env`` the programs' environment. Native programs have no
controlling terminal; Wine runs without DISPLAY.

Fixtures: ``plat``; ``setup_inf`` (the example INF with its device root and
map key: .dev_root, .map_path, .plat); ``fresh_wine`` (call it for a
WinePlatform on a prefix of its own, for msiexec installs);
``native_session_dir``, ``wine_session``, ``wine_template``.
"""

from .paths import (EXAMPLE_INF, NATIVE_DIR, NOBODY, OSR21_KEY, REPO,
                    RESET_KEYS, TEST_KEY, WIN_DIR, WINE_VERSIONS, new_test_dir)
from .platform import NativePlatform
from .process import Result, run_process
from .text import (assert_same_lines, parse_reg_query, parse_reg_tree,
                   quote_windows_arg, read_cfg_strings, read_inf_section,
                   regedit_text, resolve_inf_strings, split_windows_cmdline)
from .wine import WinePlatform, WineSession, wine_missing

__all__ = [
    "EXAMPLE_INF", "NATIVE_DIR", "NOBODY", "OSR21_KEY", "REPO", "RESET_KEYS",
    "TEST_KEY", "WIN_DIR", "WINE_VERSIONS", "new_test_dir", "NativePlatform",
    "Result", "run_process", "assert_same_lines", "parse_reg_query",
    "parse_reg_tree", "quote_windows_arg", "read_cfg_strings",
    "read_inf_section", "regedit_text", "resolve_inf_strings",
    "split_windows_cmdline", "WinePlatform", "WineSession", "wine_missing",
]
