"""End-to-end harness: runs the real executables on both platforms.

Every test that takes the fixture ``plat`` runs twice: natively (``plat.name ==
"native"``) against a fresh temporary store, and under Wine (``plat.name ==
"wine"``) in one temporary WINEPREFIX shared by the whole session.

Where the executables come from
    ZEBCFG_NATIVE_DIR (default <repo>/build/native): zebcfg, zebreg, zebinstall,
    zebprobe.
    ZEBCFG_WIN_DIR (default <repo>/build/win): zebcfg.exe, zebprobe.exe and the
    test helpers built from tests/win/*.c (runexit.exe). The Wine run is
    skipped, with its reason, when zebcfg.exe or runexit.exe is missing.

Running programs: ``plat.run(*args, exe="zebcfg", timeout=60, unprivileged=False,
    stdin=None)`` returns a ``Result`` (``stdin``: bytes for the program's
    standard input, which is otherwise empty):
      .out   standard output as text; under Wine "\\r\\n" becomes "\\n"
      .err   standard error (Wine's own noise goes here too)
      .code  the exit code: natively the 8-bit status (0..255); under Wine the
             full unsigned 32 bits, read through runexit.exe. None when the
             program could not be started at all.
    ``plat.exit(n)`` maps an expected signed or unsigned 32-bit code to what
    this platform reports: n & 0xFF natively, n & 0xFFFFFFFF under Wine, so
    ``assert r.code == plat.exit(-1)`` holds on both.
    ``exe`` is a name in the build directory ("zebcfg", "zebprobe"; ".exe" is
    added under Wine) or an absolute Linux path (a copied executable, see
    ``plat.copy_exe``).
    ``plat.run_parallel([args, ...], exe="zebcfg")``: starts one program per
    argument list at once and waits for all; returns their ``Result``s in
    order. Under Wine each run has its own runexit code file.
    ``plat.run_argv(argv)``: argv[0] is the program (a platform path, see
    ``plat.exe_path``); the other elements reach it as separate arguments.
    ``plat.run_raw(line)``: a raw command line, program token first. Under Wine
    the line reaches CreateProcess unchanged (runexit.exe takes it from the
    environment variable RUNEXIT_CMDLINE, so that no quoting of wine's own
    argument passing touches it). Natively the line is split into argv by the
    rules of the Windows C runtime, since the native build rebuilds its raw
    command line from argv by the same rules.
    ``plat.cmdline(tail, exe="zebcfg")``: the program path (quoted when it holds
    blanks) followed by tail, ready for ``run_raw``.
    ``plat.exe_path(exe)``: the program's path as the platform names it
    (C:\\zeb\\zebcfg.exe under Wine).
    ``plat.copy_exe(name, exe="zebcfg", subdir=None)``: copies the executable
    under a new file name (".exe" appended under Wine) into a per-test folder,
    optionally inside a subfolder (which may hold blanks); returns the absolute
    Linux path to pass as ``exe=``.

Setup information file: ``plat.install_inf(text)`` writes zebsetup.inf where
    the platform's INF search finds it (natively $ZEBCFG_ROOT/inf/, under Wine
    C:\\windows\\inf\\ of the prefix); ``text`` may be str or bytes and is
    written as it is (no newline translation). ``plat.remove_inf()``;
    ``plat.inf_path`` is the Linux path of that file.

Registry, always with reg.exe's syntax: ``plat.reg(*args)`` runs zebreg
    natively and ``wine reg`` under Wine and returns a ``Result``.
    ``plat.reg_add(key, name=None, type="REG_SZ", data=None)``: name None adds
    the key only, "" the default value (/ve). ``plat.reg_delete(key,
    name=None)``. ``plat.reg_query(key)`` returns {name: (type, data)} of the
    key's own values as reg query prints them ("" is the default value), or
    None when the key does not exist. Wine's reg prints a "(Default) REG_SZ"
    line with empty data for a key that holds no value at all.
    ``plat.reg_import({key: {name: value}})`` writes many keys at once (one
    ``wine regedit /S`` under Wine): a str value is REG_SZ, an int REG_DWORD
    (taken modulo 2**32), bytes REG_BINARY, None deletes the value; an empty
    dict creates only the key. Keys are written as HKLM\\... or HKCU\\...

INF installation: ``plat.install_section(inf, section="DefaultInstall")``
    installs a section of the INF file at the Linux path inf: natively with
    zebinstall (its Result), under Wine with ``rundll32
    setupapi.dll,InstallHinfSection <section> 128 <inf>`` (whose Result says
    nothing of the section: look at the registry and the INF folder).

Platform version: ``plat.set_version(platform_id, major, minor, csd="")``
    writes the native version record (HKLM\\System\\Platform); it skips under
    Wine, which takes its version from ``plat.set_wine_version(name)`` (winxp,
    win2k, nt40, win7, win10, win98, win95, winme, win2003, nt351), which in
    turn skips natively.

One platform only: mark the test ``@pytest.mark.only_on("native", reason=...)``
    (or "wine"); the other platform's run is skipped before any set-up.

Unprivileged runs: ``plat.run(..., unprivileged=True)`` or
    ``plat.run_unprivileged(*args)`` runs natively as nobody (uid 65534) with
    the store made world-readable; skips under Wine, where the user is always
    an administrator.

Isolation
    native: a fresh $ZEBCFG_ROOT per test (world-traversable temp folder),
    exported to every child process; nothing else is shared.
    wine: one prefix per session (a copy of one booted with wineboot -i and
    wineserver -w, see ``wine_template``; then a persistent wineserver -p
    until the session ends, when wineserver -k stops it).
    Before each test these are reset: the keys HKLM\\Software\\ZebTest,
    HKLM\\Software\\Zeb (the device root and map key of examples/zebsetup.inf
    live below it), HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OSR21, any
    key a test named with ``plat.reset_key(key)``, the value Version of
    HKCU\\Software\\Wine (back to Wine's default version), and the INF file.
    Tests create their own keys below HKLM\\Software\\ZebTest.

Other attributes: ``plat.test_dir`` (a per-test Linux folder, removed after
    the test), ``plat.env`` (the environment the programs run with), natively
    ``plat.root`` ($ZEBCFG_ROOT), under Wine ``plat.session`` (the
    ``WineSession``: .prefix, .zeb_dir = C:\\zeb, .win_path(linux_path),
    .restart_server()). Native programs run in a new session without a
    controlling terminal, so /dev/tty prompts fail at once; Wine runs without
    DISPLAY.

``fresh_wine`` fixture: a function that returns a ``WinePlatform`` on a
    fresh prefix of its own at each call, for tests that change a prefix
    beyond what the reset undoes (msiexec installs); each is ended and
    removed after the test.

``setup_inf`` fixture: installs examples/zebsetup.inf and creates its device
    root and map key (what its [DefaultInstall] creates, without the initial
    map entries, in one quick import); yields an ``Example`` with .dev_root and
    .map_path (paths below HKLM) and .plat.
"""

import atexit
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
NATIVE_DIR = Path(os.environ.get("ZEBCFG_NATIVE_DIR") or REPO / "build" / "native")
WIN_DIR = Path(os.environ.get("ZEBCFG_WIN_DIR") or REPO / "build" / "win")
EXAMPLE_INF = REPO / "examples" / "zebsetup.inf"

TEST_KEY = r"HKLM\Software\ZebTest"
WINE_VERSIONS = ("winxp", "win2k", "nt40", "win7", "win10", "win98", "win95",
                 "winme", "win2003", "nt351")
OSR21_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OSR21"
RESET_KEYS = (TEST_KEY, r"HKLM\Software\Zeb", OSR21_KEY)
NOBODY = 65534

_HIVES = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER",
          "HKCR": "HKEY_CLASSES_ROOT", "HKU": "HKEY_USERS"}


@dataclass
class Result:
    out: str
    err: str
    code: "int | None"
    cmd: object = None

    def __repr__(self):
        return f"Result(code={self.code!r}, out={self.out!r}, err={self.err[-400:]!r})"


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


def regedit_text(keys):
    """Builds a REGEDIT4 file that writes the keys and values of the dict."""
    lines = ["REGEDIT4", ""]
    for key, values in keys.items():
        hive, _, rest = key.partition("\\")
        lines.append(f"[{_HIVES.get(hive.upper(), hive)}\\{rest}]")
        for name, value in (values or {}).items():
            ident = "@" if name == "" else '"' + _reg_escape(name) + '"'
            lines.append(f"{ident}={_regedit_data(value)}")
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


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


def _reg_type_and_data(value):
    if isinstance(value, bool):
        value = int(value)
    if isinstance(value, int):
        return "REG_DWORD", "0x%x" % (value & 0xFFFFFFFF)
    if isinstance(value, (bytes, bytearray)):
        return "REG_BINARY", value.hex()
    return "REG_SZ", value


def _decode(data):
    return data.decode("utf-8", errors="replace")


class _Platform:
    """What both platforms share; subclasses supply the runner."""

    name = ""
    exe_suffix = ""

    def __init__(self, test_dir):
        self.test_dir = Path(test_dir)
        self._copies = 0

    # ----- exit codes -----
    def exit(self, n):
        raise NotImplementedError

    # ----- programs -----
    def run(self, *args, exe="zebcfg", timeout=60, unprivileged=False, stdin=None):
        return self.run_argv([self.exe_path(exe), *args], timeout=timeout,
                             unprivileged=unprivileged, stdin=stdin)

    def run_unprivileged(self, *args, **kw):
        return self.run(*args, unprivileged=True, **kw)

    def run_parallel(self, arg_lists, exe="zebcfg", timeout=120):
        raise NotImplementedError

    def cmdline(self, tail, exe="zebcfg"):
        return quote_windows_arg(self.exe_path(exe)) + (" " + tail if tail else "")

    def copy_exe(self, name, exe="zebcfg", subdir=None):
        self._copies += 1
        folder = self._copy_root() / f"c{self._copies}"
        if subdir:
            folder = folder / subdir
        folder.mkdir(parents=True, exist_ok=True)
        target = folder / (name + self.exe_suffix)
        shutil.copy2(self._build_file(exe), target)
        return str(target)

    # ----- setup information file -----
    def install_inf(self, text):
        self.inf_path.parent.mkdir(parents=True, exist_ok=True)
        data = text.encode("utf-8") if isinstance(text, str) else bytes(text)
        self.inf_path.write_bytes(data)

    def install_example_inf(self):
        self.install_inf(EXAMPLE_INF.read_bytes())

    def remove_inf(self):
        if self.inf_path.exists():
            self.inf_path.unlink()

    # ----- registry -----
    def reg_add(self, key, name=None, type="REG_SZ", data=None):
        args = ["add", key]
        if name == "":
            args.append("/ve")
        elif name is not None:
            args += ["/v", name]
        if name is not None or data is not None:
            args += ["/t", type]
        if data is not None:
            args += ["/d", str(data)]
        return self._checked_reg(*args, "/f")

    def reg_delete(self, key, name=None):
        args = ["delete", key]
        if name == "":
            args.append("/ve")
        elif name is not None:
            args += ["/v", name]
        return self.reg(*args, "/f")

    def reg_query(self, key):
        r = self.reg("query", key)
        if r.code != 0:
            return None
        return parse_reg_query(r.out)

    def _checked_reg(self, *args):
        r = self.reg(*args)
        assert r.code == 0, f"reg {' '.join(args)} failed: {r!r}"
        return r

    def reset_key(self, key):
        """Names a key to delete before the next test (Wine; native is fresh)."""

    def _build_file(self, exe):
        raise NotImplementedError

    def _copy_root(self):
        raise NotImplementedError


class NativePlatform(_Platform):
    name = "native"

    def __init__(self, test_dir, session_dir):
        super().__init__(test_dir)
        self.root = self.test_dir / "root"
        self.root.mkdir(parents=True)
        self.inf_path = self.root / "inf" / "zebsetup.inf"
        self._session_dir = Path(session_dir)
        self.env = dict(os.environ, ZEBCFG_ROOT=str(self.root))

    def exit(self, n):
        return n & 0xFF

    def exe_path(self, exe="zebcfg"):
        return str(exe) if os.path.isabs(str(exe)) else str(NATIVE_DIR / exe)

    def _build_file(self, exe):
        return NATIVE_DIR / exe

    def _copy_root(self):
        return self.test_dir / "bin"

    def run_argv(self, argv, timeout=60, unprivileged=False, stdin=None):
        argv = [str(a) for a in argv]
        if unprivileged:
            argv = self._unprivileged_argv(argv)
        out_path = self.test_dir / "stdout"
        err_path = self.test_dir / "stderr"
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            try:
                # A new session has no controlling terminal: a message box or
                # reboot prompt on /dev/tty fails at once instead of waiting.
                proc = subprocess.run(argv, input=stdin, stdout=out, stderr=err,
                                      env=self.env, timeout=timeout,
                                      start_new_session=True,
                                      **({} if stdin is not None
                                         else {"stdin": subprocess.DEVNULL}))
                code = proc.returncode
            except FileNotFoundError:
                code = None
            except subprocess.TimeoutExpired:
                pytest.fail(f"{argv} did not end within {timeout} s")
        code = None if code is not None and code < 0 else code
        return Result(_decode(out_path.read_bytes()), _decode(err_path.read_bytes()),
                      code, argv)

    def run_raw(self, line, timeout=60):
        return self.run_argv(split_windows_cmdline(line), timeout=timeout)

    def run_parallel(self, arg_lists, exe="zebcfg", timeout=120):
        argvs = [[self.exe_path(exe), *map(str, args)] for args in arg_lists]
        procs = [subprocess.Popen(argv, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  env=self.env, start_new_session=True)
                 for argv in argvs]
        results = []
        for argv, proc in zip(argvs, procs):
            try:
                out, err = proc.communicate(timeout=timeout)
            except subprocess.TimeoutExpired:
                for other in procs:
                    other.kill()
                pytest.fail(f"{argv} did not end within {timeout} s")
            code = proc.returncode if proc.returncode >= 0 else None
            results.append(Result(_decode(out), _decode(err), code, argv))
        return results

    def _unprivileged_argv(self, argv):
        # nobody must reach the program and read (not write) the store.
        program = Path(argv[0])
        shared = self._session_dir / "bin" / program.name
        if program.parent != shared.parent:
            shared.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(program, shared)
            argv = [str(shared)] + argv[1:]
        for path in [self.test_dir, *self.test_dir.rglob("*")]:
            mode = path.stat().st_mode
            path.chmod(mode | (0o555 if path.is_dir() else 0o444))
        return ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}",
                "--clear-groups", "--", *argv]

    def reg(self, *args):
        if not (NATIVE_DIR / "zebreg").exists():
            pytest.fail(f"{NATIVE_DIR / 'zebreg'} is not built (run make build)")
        return self.run_argv([str(NATIVE_DIR / "zebreg"), *args])

    def reg_import(self, keys):
        for key, values in keys.items():
            if not values:
                self._checked_reg("add", key, "/f")
            for name, value in (values or {}).items():
                if value is None:
                    self.reg_delete(key, name)
                    continue
                kind, data = _reg_type_and_data(value)
                self.reg_add(key, name, kind, data)

    def install_section(self, inf, section="DefaultInstall"):
        if not (NATIVE_DIR / "zebinstall").exists():
            pytest.fail(f"{NATIVE_DIR / 'zebinstall'} is not built (run make build)")
        return self.run_argv([str(NATIVE_DIR / "zebinstall"), section, str(inf)])

    def set_version(self, platform_id, major, minor, csd=""):
        self.reg_import({r"HKLM\System\Platform": {
            "PlatformId": platform_id, "MajorVersion": major,
            "MinorVersion": minor, "CSDVersion": csd}})

    def set_wine_version(self, name):
        pytest.skip("Wine versions exist only under Wine; natively use set_version")


# What Wine put into a prefix that no test writes: in a copy they are hard
# links to the booted prefix's (see _copy_prefix).
WINE_BINARY_DIRS = ("windows/system32", "windows/winsxs")
WINE_BINARY_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm",
                        ".tlb", ".ax", ".nls")


def _copy_prefix(source, target):
    """Copies the Wine prefix source, whose server has ended, to target; the
    programs and libraries Wine put into it become hard links (they are 700 MB)."""
    drive_c = Path(source) / "drive_c"
    binary_dirs = [str(drive_c / d) + os.sep for d in WINE_BINARY_DIRS]

    def copy(src, dst, *, follow_symlinks=True):
        if (src.lower().endswith(WINE_BINARY_SUFFIXES)
                and any(src.startswith(d) for d in binary_dirs)):
            os.link(src, dst)
        else:
            shutil.copy2(src, dst, follow_symlinks=follow_symlinks)

    shutil.copytree(source, target, symlinks=True, copy_function=copy)


class WineSession:
    """A prefix with a persistent wineserver: booted (``WineSession()``), or
    a fresh copy of a booted one whose server has ended
    (``WineSession(template)``, see ``wine_template``)."""

    def __init__(self, template=None):
        self.dir = Path(tempfile.mkdtemp(prefix="zebcfg-wine-"))
        self.prefix = self.dir / "prefix"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        # The same display-less Wine on a desktop as in CI.
        for name in ("RUNEXIT_CMDLINE", "DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        self.server = None
        self.extra_reset_keys = set()
        self.closed = False
        # Should pytest die before the session's teardown, still end the
        # persistent server and remove the prefix.
        atexit.register(self.close)
        if template is None:
            self._boot()
        else:
            _copy_prefix(template.prefix, self.prefix)
        self._start_server()
        self.zeb_dir = self.prefix / "drive_c" / "zeb"
        self.zeb_dir.mkdir(parents=True, exist_ok=True)
        for exe in WIN_DIR.glob("*.exe"):
            shutil.copy2(exe, self.zeb_dir / exe.name)

    def _boot(self):
        log = self.dir / "boot.log"
        with open(log, "wb") as out:
            subprocess.run(["wineboot", "-i"], stdin=subprocess.DEVNULL, stdout=out,
                           stderr=subprocess.STDOUT, env=self.env, timeout=300,
                           check=True)
            subprocess.run(["wineserver", "-w"], stdin=subprocess.DEVNULL,
                           stdout=out, stderr=subprocess.STDOUT, env=self.env,
                           timeout=300)

    def _start_server(self):
        self.server = subprocess.Popen(["wineserver", "-p", "-f"],
                                       stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL, env=self.env)

    def ensure_server(self):
        """Starts the persistent server again when it has ended."""
        if self.server is None or self.server.poll() is not None:
            print(f"the persistent wineserver had ended "
                  f"({self.server and self.server.returncode}); starting it again",
                  file=sys.stderr)
            self._start_server()

    def restart_server(self):
        """Ends every Wine process (after a hung test) and starts a new server."""
        self._stop_server()
        self._start_server()

    def _stop_server(self):
        """Ends every Wine process of the prefix and the persistent server."""
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if self.server:
            try:
                self.server.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.server.kill()

    def close(self):
        if self.closed:
            return
        self.closed = True
        self._stop_server()
        shutil.rmtree(self.dir, ignore_errors=True)

    def win_path(self, path):
        """The Windows name of a Linux path (C:\\ inside the prefix, else Z:\\)."""
        path = Path(path).resolve()
        drive_c = (self.prefix / "drive_c").resolve()
        try:
            return "C:\\" + str(path.relative_to(drive_c)).replace("/", "\\")
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")


def _read_code(code_file):
    """(the exit code runexit wrote, or None; runexit's note when it has none)."""
    if not code_file.exists():
        return None, "no code file"
    text = code_file.read_text().strip()
    return (int(text), "") if text.isdigit() else (None, text)


def _code_in(code_file):
    return _read_code(code_file)[0]


# Pauses before each further try of a Wine launch that failed without a word.
WINE_LAUNCH_RETRY_PAUSES = (1, 2, 4)


class WinePlatform(_Platform):
    name = "wine"
    exe_suffix = ".exe"

    def __init__(self, test_dir, session):
        super().__init__(test_dir)
        self.session = session
        self.inf_path = session.prefix / "drive_c" / "windows" / "inf" / "zebsetup.inf"
        self.env = session.env
        self._code_file = session.zeb_dir / "rc.txt"

    def exit(self, n):
        return n & 0xFFFFFFFF

    def exe_path(self, exe="zebcfg"):
        if os.path.isabs(str(exe)):
            return self.session.win_path(exe)
        name = str(exe) if str(exe).lower().endswith(".exe") else f"{exe}.exe"
        return "C:\\zeb\\" + name

    def _build_file(self, exe):
        return self.session.zeb_dir / f"{exe}.exe"

    def _copy_root(self):
        return self.session.prefix / "drive_c" / "t" / self.test_dir.name

    def reset(self):
        keys = set(RESET_KEYS) | self.session.extra_reset_keys
        text = "REGEDIT4\r\n\r\n"
        for key in sorted(keys):
            hive, _, rest = key.partition("\\")
            text += f"[-{_HIVES[hive.upper()]}\\{rest}]\r\n\r\n"
        text += '[HKEY_CURRENT_USER\\Software\\Wine]\r\n"Version"=-\r\n'
        self._regedit(text)
        self.remove_inf()

    def reset_key(self, key):
        self.session.extra_reset_keys.add(key)

    def _wine(self, argv, timeout, extra_env=None, stdin=None):
        out_path = self.test_dir / "stdout"
        err_path = self.test_dir / "stderr"
        env = dict(self.env, **(extra_env or {}))
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            try:
                proc = subprocess.run(["wine", *argv], stdout=out, stderr=err,
                                      env=env, timeout=timeout, input=stdin,
                                      **({} if stdin is not None
                                         else {"stdin": subprocess.DEVNULL}))
            except subprocess.TimeoutExpired:
                self.session.restart_server()
                pytest.fail(f"wine {argv} did not end within {timeout} s")
        out = _decode(out_path.read_bytes()).replace("\r\n", "\n")
        return out, _decode(err_path.read_bytes()), proc.returncode

    def _run_through_runexit(self, tail, timeout, raw_line=None, stdin=None):
        argv = ["C:\\zeb\\runexit.exe", "C:\\zeb\\" + self._code_file.name, *tail]
        extra = {"RUNEXIT_CMDLINE": raw_line} if raw_line is not None else None

        def launch():
            self._code_file.unlink(missing_ok=True)
            return self._wine(argv, timeout, extra, stdin)

        # No output and no exit code: wine did not run runexit, or runexit
        # could not start its child. Every program the harness runs exists.
        out, err, _ = self._launch_with_retries(
            argv, launch, lambda out, _: out or self._read_code_file()[0] is not None)
        code, note = self._read_code_file()
        if note and note not in err:  # runexit prints a start failure itself
            err += "\nrunexit: " + note
        return Result(out, err, code, raw_line if raw_line is not None else tail)

    def _launch_with_retries(self, argv, launch, ran):
        """Calls launch() for (stdout, stderr, status) of wine argv until
        ran(stdout, status) says the program ran. A loaded machine now and
        then makes wine end without a word before the program has run; such
        a launch is logged with what wine said and tried again after each
        pause, with the persistent server running again should it have ended."""
        for pause in (*WINE_LAUNCH_RETRY_PAUSES, None):
            out, err, status = launch()
            if ran(out, status) or pause is None:
                return out, err, status
            print(f"wine {argv} ended with {status} and no output "
                  f"(stderr: {err!r}); trying again in {pause} s", file=sys.stderr)
            time.sleep(pause)
            self.session.ensure_server()

    def _read_code_file(self):
        """(the child's exit code or None, runexit's note when it has no code)."""
        return _read_code(self._code_file)

    def run_argv(self, argv, timeout=60, unprivileged=False, stdin=None):
        if unprivileged:
            pytest.skip("under Wine the user is always an administrator")
        return self._run_through_runexit([str(a) for a in argv], timeout,
                                         stdin=stdin)

    def run_raw(self, line, timeout=60):
        return self._run_through_runexit([], timeout, raw_line=line)

    def run_parallel(self, arg_lists, exe="zebcfg", timeout=120):
        runs = []
        for n, args in enumerate(arg_lists):
            code_file = self.session.zeb_dir / f"rc-{n}.txt"
            code_file.unlink(missing_ok=True)
            argv = [f"C:\\zeb\\{code_file.name}", self.exe_path(exe),
                    *map(str, args)]
            runs.append((code_file, argv, self._start_wine(["C:\\zeb\\runexit.exe",
                                                            *argv])))
        results = []
        for code_file, argv, proc in runs:
            try:
                out, err = proc.communicate(timeout=timeout)
            except subprocess.TimeoutExpired:
                self.session.restart_server()
                pytest.fail(f"wine {argv} did not end within {timeout} s")
            out = _decode(out).replace("\r\n", "\n")
            code = _code_in(code_file)
            if not out and code is None:
                # Wine never ran it (see _launch_with_retries): run it now.
                self._code_file, saved = code_file, self._code_file
                try:
                    results.append(self._run_through_runexit(argv[1:], timeout))
                finally:
                    self._code_file = saved
                continue
            results.append(Result(out, _decode(err), code, argv[1:]))
        return results

    def _start_wine(self, argv):
        return subprocess.Popen(["wine", *argv], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                env=self.env)

    def reg(self, *args):
        # reg prints every failure of its own on stdout.
        argv = ["reg", *args]
        out, err, code = self._launch_with_retries(
            argv, lambda: self._wine(argv, 60), lambda out, code: code == 0 or out)
        return Result(out, err, code, argv)

    def _regedit(self, text):
        path = self.test_dir / "import.reg"
        path.write_bytes(text.encode("latin-1"))
        # An import can be repeated, so any failure counts as a failed launch.
        argv = ["regedit", "/S", self.session.win_path(path)]
        out, err, code = self._launch_with_retries(
            argv, lambda: self._wine(argv, 60), lambda out, code: code == 0)
        assert code == 0, f"regedit failed ({code}): {out} {err}"

    def reg_import(self, keys):
        self._regedit(regedit_text(keys))

    def install_section(self, inf, section="DefaultInstall"):
        # rundll32 shows nothing with mode 128 and ends with 0 whatever the
        # section did; installing again does the same, so a launch that did
        # not end with 0 is tried again.
        argv = ["rundll32", "setupapi.dll,InstallHinfSection", section, "128",
                self.session.win_path(inf)]
        out, err, code = self._launch_with_retries(
            argv, lambda: self._wine(argv, 120), lambda out, code: code == 0)
        return Result(out, err, code, argv)

    def set_version(self, platform_id, major, minor, csd=""):
        pytest.skip("Wine's version record is set by name; use set_wine_version")

    def set_wine_version(self, name):
        self.reg_add(r"HKCU\Software\Wine", "Version", "REG_SZ", name)


# ----- fixtures -----

@pytest.fixture(scope="session")
def native_session_dir():
    path = Path(tempfile.mkdtemp(prefix="zebcfg-e2e-"))
    path.chmod(0o755)
    yield path
    shutil.rmtree(path, ignore_errors=True)


def _wine_missing():
    for name in ("zebcfg.exe", "runexit.exe"):
        if not (WIN_DIR / name).exists():
            return f"{WIN_DIR / name} is not built"
    if shutil.which("wine") is None:
        return "wine is not installed"
    return None


@pytest.fixture(scope="session")
def wine_template():
    """A prefix booted once per run, its server ended: what every other
    prefix of the run is copied from."""
    missing = _wine_missing()
    if missing:
        pytest.skip(missing)
    template = WineSession()
    template._stop_server()
    yield template
    template.close()


@pytest.fixture(scope="session")
def wine_session(wine_template):
    session = WineSession(wine_template)
    yield session
    session.close()


@pytest.fixture
def fresh_wine(wine_template, native_session_dir):
    """Makes WinePlatforms, each on a fresh prefix of its own (a copy of
    wine_template with its own persistent server), for tests that change
    more of a prefix than the shared session resets, such as an msiexec
    install; their servers are ended and their prefixes removed after the
    test. Call it for each prefix: ``plat = fresh_wine()``."""
    made = []

    def make():
        session = WineSession(wine_template)
        test_dir = Path(tempfile.mkdtemp(dir=native_session_dir, prefix="w"))
        made.append((session, test_dir))
        return WinePlatform(test_dir, session)

    yield make
    for session, test_dir in made:
        session.close()
        shutil.rmtree(test_dir, ignore_errors=True)


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "only_on(platform, reason): run the test on one platform only "
        "(\"native\" or \"wine\"); the reason says why")


@pytest.fixture(params=["native", "wine"], ids=["native", "wine"])
def plat(request, native_session_dir):
    only = request.node.get_closest_marker("only_on")
    if only and request.param != only.args[0]:
        pytest.skip(only.kwargs.get("reason") or f"{only.args[0]} only")
    # Each test's folder must be reachable by nobody for unprivileged runs.
    test_dir = Path(tempfile.mkdtemp(dir=native_session_dir, prefix="t"))
    test_dir.chmod(0o755)
    if request.param == "native":
        if not (NATIVE_DIR / "zebcfg").exists():
            pytest.fail(f"{NATIVE_DIR / 'zebcfg'} is not built (run make build)")
        yield NativePlatform(test_dir, native_session_dir)
    else:
        session = request.getfixturevalue("wine_session")
        platform = WinePlatform(test_dir, session)
        platform.reset()
        yield platform
    shutil.rmtree(test_dir, ignore_errors=True)


@dataclass
class Example:
    plat: object
    dev_root: str
    map_path: str


@pytest.fixture
def setup_inf(plat):
    strings = read_cfg_strings(EXAMPLE_INF)
    dev_root, map_path = strings["dev_reg_root"], strings["map_path"]
    plat.install_example_inf()
    plat.reg_import({"HKLM\\" + dev_root: {}, "HKLM\\" + map_path: {}})
    return Example(plat, dev_root, map_path)
