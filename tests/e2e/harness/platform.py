"""What both platform drivers share, and the native driver: the real
executables of the native build against a store of their own."""

import hashlib
import os
import shutil
import subprocess
from pathlib import Path

import pytest

from .paths import EXAMPLE_INF, NATIVE_DIR, NOBODY
from .process import Result, read_output, run_process
from .text import (decode, parse_reg_query, quote_windows_arg,
                   reg_type_and_data, split_windows_cmdline)


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

    def path_arg(self, path):
        """The name of a Linux file as this platform's programs take it."""
        return str(path)

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

    def registry_snapshot(self, key):
        """(the registry file reg export writes of key, and natively a
        digest of the store's bytes, b"" under Wine): what stays equal
        across a step that writes nothing."""
        path = self.test_dir / "snapshot.reg"
        r = self.reg("export", key, self.path_arg(path), "/y")
        assert r.code == 0, r
        return path.read_bytes(), self._store_digest()

    def _store_digest(self):
        return b""

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

    def __init__(self, test_dir, session_dir, native_dir=None):
        super().__init__(test_dir)
        self.native_dir = Path(native_dir or NATIVE_DIR)
        self.root = self.test_dir / "root"
        self.root.mkdir(parents=True)
        self.inf_path = self.root / "inf" / "zebsetup.inf"
        self._session_dir = Path(session_dir)
        self.env = dict(os.environ, ZEBCFG_ROOT=str(self.root))

    def exit(self, n):
        return n & 0xFF

    def exe_path(self, exe="zebcfg"):
        return str(exe) if os.path.isabs(str(exe)) else str(self.native_dir / exe)

    def _build_file(self, exe):
        return self.native_dir / exe

    def _copy_root(self):
        return self.test_dir / "bin"

    def _store_digest(self):
        # The write-ahead log too: a write not yet copied into the database
        # file is there.
        digest = hashlib.sha256()
        for name in ("registry.db", "registry.db-wal"):
            path = self.root / name
            digest.update(path.read_bytes() if path.exists() else b"-")
        return digest.digest()

    def run_argv(self, argv, timeout=60, unprivileged=False, stdin=None):
        argv = [str(a) for a in argv]
        if unprivileged:
            argv = self._unprivileged_argv(argv)
        # A new session has no controlling terminal: a message box or
        # reboot prompt on /dev/tty fails at once instead of waiting.
        return self._run(argv, timeout, stdin, new_session=True)

    def run_plain(self, argv, timeout=60, stdin=None):
        """argv run once as it stands, in this session, its seconds those
        of its process alone (see WinePlatform.run_plain)."""
        return self._run([str(a) for a in argv], timeout, stdin,
                         new_session=False)

    def _run(self, argv, timeout, stdin, new_session):
        out_path = self.test_dir / "stdout"
        err_path = self.test_dir / "stderr"
        seconds = None
        try:
            code, seconds = run_process(argv, self.env, out_path, err_path,
                                        timeout, stdin, new_session)
        except FileNotFoundError:
            code = None
        except subprocess.TimeoutExpired:
            pytest.fail(f"{argv} did not end within {timeout} s")
        code = None if code is not None and code < 0 else code
        return Result(*read_output(out_path, err_path), code, argv, seconds)

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
            results.append(Result(decode(out), decode(err), code, argv))
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

    def _tool(self, name):
        """The path of a native build's tool, failing the test when it is
        not built."""
        path = self.native_dir / name
        if not path.exists():
            pytest.fail(f"{path} is not built (run make build)")
        return str(path)

    def reg(self, *args):
        return self.run_argv([self._tool("zebreg"), *args])

    def reg_import(self, keys):
        for key, values in keys.items():
            if not values:
                self._checked_reg("add", key, "/f")
            for name, value in (values or {}).items():
                if value is None:
                    self.reg_delete(key, name)
                    continue
                kind, data = reg_type_and_data(value)
                self.reg_add(key, name, kind, data)

    def install_section(self, inf, section="DefaultInstall"):
        return self.run_argv([self._tool("zebinstall"), section, str(inf)])

    def set_version(self, platform_id, major, minor, csd=""):
        self.reg_import({r"HKLM\System\Platform": {
            "PlatformId": platform_id, "MajorVersion": major,
            "MinorVersion": minor, "CSDVersion": csd}})

    def set_wine_version(self, name):
        pytest.skip("Wine versions exist only under Wine; natively use set_version")
