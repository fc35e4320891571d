"""The Wine session (a prefix with its persistent wineserver) and the Wine
driver: the Windows build's executables, full exit codes through runexit.exe."""

import atexit
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pytest

from .paths import RESET_KEYS, WIN_DIR
from .platform import _Platform
from .process import Result, read_output, run_process
from .text import decode, regedit_deletion_text, regedit_text

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


def wine_missing():
    """Why the Wine runs cannot take place (a message), or None."""
    for name in ("zebcfg.exe", "runexit.exe"):
        if not (WIN_DIR / name).exists():
            return f"{WIN_DIR / name} is not built"
    if shutil.which("wine") is None:
        return "wine is not installed"
    return None


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
        self.stop_server()
        self._start_server()

    def stop_server(self):
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
        self.stop_server()
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


# Pauses before each further try of a Wine launch that failed without a word.
WINE_LAUNCH_RETRY_PAUSES = (1, 2, 4)
# What wine itself prints on stdout when it could not start a program.
WINE_LAUNCH_FAILURE = "Application could not be started"


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

    def path_arg(self, path):
        return self.session.win_path(path)

    def _build_file(self, exe):
        return self.session.zeb_dir / f"{exe}.exe"

    def _copy_root(self):
        return self.session.prefix / "drive_c" / "t" / self.test_dir.name

    def reset(self):
        self._regedit(regedit_deletion_text(set(RESET_KEYS)
                                            | self.session.extra_reset_keys))
        self.remove_inf()

    def reset_key(self, key):
        self.session.extra_reset_keys.add(key)

    def _wine(self, argv, timeout, extra_env=None, stdin=None):
        """One run of wine argv: a Result with "\\r\\n" as "\\n" in its
        output, wine's own status, and the wall time of that process."""
        out_path = self.test_dir / "stdout"
        err_path = self.test_dir / "stderr"
        env = dict(self.env, **(extra_env or {}))
        try:
            status, seconds = run_process(["wine", *argv], env, out_path,
                                          err_path, timeout, stdin)
        except subprocess.TimeoutExpired:
            self.session.restart_server()
            pytest.fail(f"wine {argv} did not end within {timeout} s")
        out, err = read_output(out_path, err_path)
        return Result(out.replace("\r\n", "\n"), err, status, argv, seconds)

    def _run_through_runexit(self, tail, timeout, raw_line=None, stdin=None):
        argv = ["C:\\zeb\\runexit.exe", "C:\\zeb\\" + self._code_file.name, *tail]
        extra = {"RUNEXIT_CMDLINE": raw_line} if raw_line is not None else None

        def launch():
            self._code_file.unlink(missing_ok=True)
            return self._wine(argv, timeout, extra, stdin)

        # No output and no exit code: wine did not run runexit, or runexit
        # could not start its child. Every program the harness runs exists.
        r = self._launch_with_retries(
            argv, launch, lambda r: r.out or self._read_code_file()[0] is not None)
        code, note = self._read_code_file()
        err = r.err
        if note and note not in err:  # runexit prints a start failure itself
            err += "\nrunexit: " + note
        return Result(r.out, err, code, raw_line if raw_line is not None else tail)

    def _launch_with_retries(self, argv, launch, ran):
        """Calls launch() for the Result of wine argv until ran(result) says
        the program ran. A loaded machine now and then makes wine end
        without a word, or with its own "could not be started", before the
        program has run; such a launch is logged with what wine said and
        tried again after each pause, with the persistent server running
        again should it have ended."""
        for pause in (*WINE_LAUNCH_RETRY_PAUSES, None):
            r = launch()
            if ran(r) or pause is None:
                return r
            print(f"wine {argv} ended with {r.code} without running "
                  f"(stdout: {r.out!r}, stderr: {r.err!r}); "
                  f"trying again in {pause} s", file=sys.stderr)
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

    def run_plain(self, argv, timeout=60, stdin=None):
        """Runs wine argv once, with no runexit.exe around the program: the
        code is wine's own 8-bit status, the seconds those of that one
        process (for timing a program, not for its exit code)."""
        return self._wine([str(a) for a in argv], timeout, stdin=stdin)

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
            out = decode(out).replace("\r\n", "\n")
            code = _read_code(code_file)[0]
            if not out and code is None:
                # Wine never ran it (see _launch_with_retries): run it now.
                self._code_file, saved = code_file, self._code_file
                try:
                    results.append(self._run_through_runexit(argv[1:], timeout))
                finally:
                    self._code_file = saved
                continue
            results.append(Result(out, decode(err), code, argv[1:]))
        return results

    def _start_wine(self, argv):
        return subprocess.Popen(["wine", *argv], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                env=self.env)

    def reg(self, *args):
        # reg prints every failure of its own on stdout; wine's own text
        # there means reg never ran.
        argv = ["reg", *args]
        return self._launch_with_retries(
            argv, lambda: self._wine(argv, 60),
            lambda r: r.code == 0 or (r.out and WINE_LAUNCH_FAILURE not in r.out))

    def _regedit(self, text):
        path = self.test_dir / "import.reg"
        path.write_bytes(text.encode("latin-1"))
        # An import can be repeated, so any failure counts as a failed launch.
        argv = ["regedit", "/S", self.session.win_path(path)]
        r = self._launch_with_retries(argv, lambda: self._wine(argv, 60),
                                      lambda r: r.code == 0)
        assert r.code == 0, f"regedit failed ({r.code}): {r.out} {r.err}"

    def reg_import(self, keys):
        self._regedit(regedit_text(keys))

    def install_section(self, inf, section="DefaultInstall"):
        # rundll32 shows nothing with mode 128 and ends with 0 whatever the
        # section did; installing again does the same, so a launch that did
        # not end with 0 is tried again.
        argv = ["rundll32", "setupapi.dll,InstallHinfSection", section, "128",
                self.session.win_path(inf)]
        return self._launch_with_retries(argv, lambda: self._wine(argv, 120),
                                         lambda r: r.code == 0)

    def set_version(self, platform_id, major, minor, csd=""):
        pytest.skip("Wine's version record is set by name; use set_wine_version")

    def set_wine_version(self, name):
        self.reg_add(r"HKCU\Software\Wine", "Version", "REG_SZ", name)
