"""The message box of msg and of the dialog forms stopd and restartd, and the
reboot prompt, shown for real.

Under Wine the box is a window on an Xvfb display of the test's own: xdotool
finds it by its title, wintext.exe (tests/win/wintext.c) reads its message,
and a key press closes it. Natively the box is drawn on the controlling
terminal, here a pseudo-terminal made the child's controlling terminal, and
Enter closes it. In both cases the command is checked to be still running
while the box is up and to end only after it has been closed.

Without a display or a terminal, or on a window station that nobody sees
(session 0 of services and SYSTEM), no box can be shown: the commands must
then end on their own, the dialog forms printing what the plain forms print
(the timeouts only guard against a hang)."""

import fcntl
import os
import select
import shutil
import subprocess
import termios
import time

import pytest

HANG_GUARD = 30  # seconds; a command that shows no box ends long before


def service_inf(*names):
    return ('[Version]\r\nSignature="$Windows NT$"\r\n\r\n[cfg_start_stop]\r\n' +
            "".join(n + "\r\n" for n in names))


# ----- Wine: an X display and the box as a window -----

@pytest.fixture(scope="module")
def xdisplay():
    for tool in ("Xvfb", "xdotool"):
        if shutil.which(tool) is None:
            pytest.skip(f"{tool} is not installed (Debian packages xvfb, xdotool)")
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
         "-nolisten", "tcp"], pass_fds=(write_end,), stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        ready, _, _ = select.select([read_end], [], [], 30)
        chunk = os.read(read_end, 16) if ready else b""
        if not chunk:
            server.kill()
            pytest.fail("Xvfb did not report its display")
        number += chunk
    os.close(read_end)
    yield ":" + number.decode().strip()
    server.terminate()
    server.wait(timeout=30)


def _explorer_displays(session):
    """The DISPLAY (None when unset) of each explorer.exe of the session's
    prefix. The desktop process takes the display of the process that
    created it, and every later window of the prefix lands there."""
    displays = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            cmdline = open(f"/proc/{pid}/cmdline", "rb").read()
            if b"explorer.exe" not in cmdline:
                continue
            environ = open(f"/proc/{pid}/environ", "rb").read().split(b"\0")
        except OSError:
            continue
        env = dict(e.decode(errors="replace").split("=", 1)
                   for e in environ if b"=" in e)
        if env.get("WINEPREFIX") == str(session.prefix):
            displays.append(env.get("DISPLAY"))
    return displays


_attached = {"session": None}


def use_desktop(plat, display):
    """Makes the prefix's next desktop process take display (None: none);
    a desktop on another display ends with a restart of the wineserver."""
    displays = _explorer_displays(plat.session)
    if any(d != display for d in displays):
        plat.session.restart_server()
    _attached["session"] = plat.session if display else None


@pytest.fixture(scope="module", autouse=True)
def detach_desktop_at_the_end():
    """Leaves no desktop tied to this module's X server for later tests."""
    yield
    session = _attached["session"]
    if session is not None and any(_explorer_displays(session)):
        session.restart_server()


class WineRun:
    """A zebcfg.exe started in the background through runexit.exe."""

    def __init__(self, plat, display, *args):
        self.plat = plat
        self.display = display
        use_desktop(plat, display)
        self.code_file = plat.session.zeb_dir / "rc-dialog.txt"
        if self.code_file.exists():
            self.code_file.unlink()
        self.out_path = plat.test_dir / "dialog.out"
        env = dict(plat.env)
        env.pop("DISPLAY", None)
        if display:
            env["DISPLAY"] = display
        self.env = env
        with open(self.out_path, "wb") as out:
            self.proc = subprocess.Popen(
                ["wine", "C:\\zeb\\runexit.exe", "C:\\zeb\\rc-dialog.txt",
                 "C:\\zeb\\zebcfg.exe", *args], stdin=subprocess.DEVNULL,
                stdout=out, stderr=subprocess.DEVNULL, env=env)

    def running(self):
        return self.proc.poll() is None

    def finish(self, timeout=HANG_GUARD):
        """Waits for the end; returns (stdout, full exit code)."""
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.plat.session.restart_server()
            pytest.fail(f"zebcfg did not end within {timeout} s")
        text = self.code_file.read_text().strip() if self.code_file.exists() else ""
        out = self.out_path.read_bytes().decode(errors="replace")
        return out.replace("\r\n", "\n"), int(text) if text.isdigit() else None

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, text=True,
                              stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=30)

    def find_window(self, title, timeout=HANG_GUARD):
        """The X window id of the box titled title, or None when the command
        ended (or the time ran out) without one."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.xdotool("search", "--name", f"^{title}$").stdout.split()
            if found:
                return found[0]
            if not self.running():
                return None
            time.sleep(0.2)
        return None

    def box_texts(self, title):
        """The texts of the box's controls, read through wintext.exe."""
        out_path = self.plat.test_dir / "wintext.out"
        with open(out_path, "wb") as out:
            r = subprocess.run(["wine", "C:\\zeb\\wintext.exe", title],
                               stdin=subprocess.DEVNULL, stdout=out,
                               stderr=subprocess.DEVNULL, env=self.env,
                               timeout=HANG_GUARD)
        assert r.returncode == 0, "wintext found no window titled " + title
        return out_path.read_bytes().decode(errors="replace").replace(
            "\r\n", "\n").splitlines()

    def press(self, window, key):
        self.xdotool("key", "--window", window, key)


def show_and_close_wine_box(plat, display, title, text, *args):
    run = WineRun(plat, display, *args)
    window = run.find_window(title)
    assert window is not None, f"no box titled {title!r}: {run.finish()}"
    texts = run.box_texts(title)
    assert texts[0] == "window: " + title
    assert "Static: " + text in texts, texts
    assert "Button: OK" in texts, texts
    assert not any("not shown" in t for t in texts), texts
    assert run.running(), "the command ended while its box was still up"
    run.press(window, "Return")
    return run.finish()


# ----- native: the box on a pseudo-terminal -----

class TtyRun:
    """A native zebcfg whose controlling terminal is a fresh pseudo-terminal."""

    def __init__(self, plat, *args):
        self.master, slave = os.openpty()
        self.out_path = plat.test_dir / "dialog.out"
        self.screen = b""
        with open(self.out_path, "wb") as out:
            self.proc = subprocess.Popen(
                [plat.exe_path("zebcfg"), *args], stdin=slave, stdout=out,
                stderr=subprocess.DEVNULL, env=plat.env, start_new_session=True,
                preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
        os.close(slave)

    def wait_for_screen(self, *needles, timeout=HANG_GUARD):
        """Reads the terminal until every needle has appeared on it."""
        deadline = time.monotonic() + timeout
        while not all(n.encode() in self.screen for n in needles):
            left = deadline - time.monotonic()
            ready, _, _ = select.select([self.master], [], [], max(left, 0))
            if not ready:
                break
            try:
                chunk = os.read(self.master, 4096)
            except OSError:
                break
            if not chunk:
                break
            self.screen += chunk
        return self.screen.decode(errors="replace")

    def type(self, text):
        os.write(self.master, text.encode())

    def finish(self, timeout=HANG_GUARD):
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            pytest.fail(f"zebcfg did not end within {timeout} s")
        finally:
            self.wait_for_screen("\0", timeout=0)  # keeps what is left
            os.close(self.master)
        return self.out_path.read_text(errors="replace"), self.proc.returncode


def show_and_close_tty_box(plat, title, text, *args):
    run = TtyRun(plat, *args)
    screen = run.wait_for_screen(title, text)
    assert title in screen and text in screen, screen
    assert "not shown" not in screen
    assert run.proc.poll() is None, "the command ended while its box was up"
    run.type("\n")
    return run.finish()


def run_detached(plat, *args, display=None):
    """Runs without a controlling terminal and, under Wine, with the given
    display or none at all; returns (stdout, exit code)."""
    if plat.name == "wine":
        return WineRun(plat, display, *args).finish()
    out_path = plat.test_dir / "detached.out"
    with open(out_path, "wb") as out:
        proc = subprocess.run([plat.exe_path("zebcfg"), *args],
                              stdin=subprocess.DEVNULL, stdout=out,
                              stderr=subprocess.DEVNULL, env=plat.env,
                              start_new_session=True, timeout=HANG_GUARD)
    return out_path.read_text(errors="replace"), proc.returncode


# ----- the cases -----

CASES = [
    # (arguments, inf or None, title, text, exit code)
    (["msg", "Setup complete", "not shown"], None, "zebcfg", "Setup complete", 0),
    (["msg", "100% done %s %n"], None, "zebcfg", "100% done %s %n", 0),
    (["stopd"], None, "Error", "INF file not found - please re-install driver",
     0xF0000003),
    (["restartd"], service_inf("ZtNoSuchService"), "Error",
     "Unrecognized system error 1060(0x424)", 1),
]
CASE_IDS = ["msg", "msg-percent", "stopd", "restartd"]


@pytest.mark.only_on("wine", reason="the box as a window; natively it is "
                     "drawn on a terminal")
@pytest.mark.parametrize("args, inf, title, text, code", CASES, ids=CASE_IDS)
def test_box_under_wine(plat, xdisplay, args, inf, title, text, code):
    if inf:
        plat.install_inf(inf)
    out, exit_code = show_and_close_wine_box(plat, xdisplay, title, text, *args)
    assert (out, exit_code) == ("", plat.exit(code))


@pytest.mark.only_on("native", reason="the box on a terminal; under Wine it "
                     "is a window")
@pytest.mark.parametrize("args, inf, title, text, code", CASES, ids=CASE_IDS)
def test_box_on_a_terminal(plat, args, inf, title, text, code):
    if inf:
        plat.install_inf(inf)
    out, exit_code = show_and_close_tty_box(plat, title, text, *args)
    assert (out, exit_code) == ("", plat.exit(code))


@pytest.mark.parametrize("args, inf, out, code", [
    (["msg", "Nobody sees this"], None, "", -1),
    (["stopd"], None, "INF file not found - please re-install driver\n",
     0xF0000003),
    (["restartd"], service_inf("ZtNoSuchService"),
     "Unrecognized system error 1060(0x424)\n", 1),
], ids=["msg", "stopd", "restartd"])
def test_no_display_or_terminal_does_not_hang(plat, args, inf, out, code):
    if inf:
        plat.install_inf(inf)
    assert run_detached(plat, *args) == (out, plat.exit(code))


# A box on a desktop that nobody sees would wait for ever: each command must
# end well within this (a bound on the run, not a timed assertion).
NOBODY_SEES_LIMIT = 5  # seconds


@pytest.mark.only_on("wine", reason="window stations are Windows'; natively "
                     "the counterpart is a run without a terminal, above and "
                     "in test_reboot_without_a_terminal_fails")
@pytest.mark.parametrize("args, out, code", [
    (["stopd"], "INF file not found - please re-install driver\n", 0xF0000003),
    (["msg", "Nobody sees this"], "", -1),
    (["reboot"], "", -1),
], ids=["stopd", "msg", "reboot"])
def test_a_desktop_nobody_sees_shows_no_box(plat, args, out, code):
    """zebcfg.exe on a desktop of a window station made without WSF_VISIBLE
    (tests/win/hiddendesk.c), as deployment agents running as SYSTEM start
    it in session 0."""
    r = plat.run(plat.exe_path("zebcfg"), *args, exe="hiddendesk",
                 timeout=NOBODY_SEES_LIMIT)
    assert (r.out, r.code) == (out, plat.exit(code)), r


def test_dialog_forms_show_no_box_on_success(plat, request):
    """An empty service list: stopd and restartd succeed without a box; a box
    would hold the command until the guard's timeout, since nobody closes it."""
    plat.install_inf(service_inf())
    for word in ("stopd", "restartd"):
        if plat.name == "wine":
            run = WineRun(plat, request.getfixturevalue("xdisplay"), word)
            assert run.finish() == ("", 0), word
        else:
            run = TtyRun(plat, word)
            assert run.finish() == ("", 0), word
            assert run.screen == b"", word


def test_msg_without_text_shows_nothing(plat):
    out, exit_code = run_detached(plat, "msg")
    assert (out, exit_code) == ("", plat.exit(-1))


@pytest.mark.only_on("native", reason="the reboot prompt on a terminal")
@pytest.mark.parametrize("answer, code, pending", [
    ("n\n", 1, None), ("\n", 1, None), ("y\n", 0, "0x1")],
    ids=["no", "enter", "yes"])
def test_reboot_prompt_on_a_terminal(plat, answer, code, pending):
    run = TtyRun(plat, "reboot")
    screen = run.wait_for_screen("restart")
    assert "restart" in screen.lower(), screen
    assert run.proc.poll() is None
    run.type(answer)
    out, exit_code = run.finish()
    assert (out, exit_code) == ("", code)
    values = plat.reg_query("HKLM\\System\\Platform") or {}
    assert values.get("RebootPending", (None, None))[1] == pending


@pytest.mark.only_on("native", reason="Wine's prompt is tested on its display")
def test_reboot_without_a_terminal_fails(plat):
    out, exit_code = run_detached(plat, "reboot")
    assert (out, exit_code) == ("", plat.exit(-1))


@pytest.mark.only_on("wine", reason="Wine's SetupPromptReboot on a display")
def test_reboot_under_wine_is_declined(plat, xdisplay):
    """Wine's SetupPromptReboot: if it shows a prompt, it is declined; a real
    restart is never accepted. Either way the command ends with 1."""
    run = WineRun(plat, xdisplay, "reboot")
    deadline = time.monotonic() + HANG_GUARD
    while run.running() and time.monotonic() < deadline:
        windows = run.xdotool("search", "--onlyvisible", "--name", ".").stdout
        for window in windows.split():
            run.press(window, "n")
        time.sleep(0.3)
    assert run.finish() == ("", 1)
