"""stop, restart and their quiet forms against a service manager.

Under Wine the services are real: testsvc.exe (tests/win/testsvc.c) registered
with Wine's service manager, each instance told by its command line how it
stops, and appending its start and stop events to a log file. Natively the
services are the store keys HKLM\\System\\CurrentControlSet\\Services\\<name>
(State, StopDelayMs, AcceptStop).

The order of stopping and starting is shown on both platforms by outcomes: a
failure part-way leaves the services after it in the walking order untouched.
Under Wine the event log shows the order directly as well."""

import time

import pytest

DEVICE_OPEN = "Can not continue: an instance of the driver is still open.\n"
NOT_SUPPORTED = "Command not supported in this environment\n"
ACCESS_DENIED = "Access denied (admin privilege required)\n"
INF_NOT_FOUND = "INF file not found - please re-install driver\n"
ALREADY_RUNNING = "Unrecognized system error 1056(0x420)\n"

STOPPED, STOP_PENDING, RUNNING = 1, 3, 4
SERVICES_KEY = "HKLM\\System\\CurrentControlSet\\Services\\"

# name: (testsvc options, native store values)
KINDS = {
    "ZtA": (["--stop-ms", "200"], {"StopDelayMs": 200}),
    "ZtB": (["--stop-ms", "200"], {"StopDelayMs": 200}),
    "ZtC": (["--stop-ms", "200"], {"StopDelayMs": 200}),
    "ZtSlow": (["--stop-ms", "3000"], {"StopDelayMs": 3000}),
    "ZtHang": (["--never-stop"], {"StopDelayMs": 0x7FFFFFFF}),
    "ZtRefuse": (["--refuse-stop"], {"AcceptStop": 0}),
}


def service_inf(*lines):
    text = '[Version]\r\nSignature="$Windows NT$"\r\n\r\n[cfg_start_stop]\r\n'
    return text + "".join(line + "\r\n" for line in lines)


class WineServices:
    """testsvc instances under Wine's service manager, installed once per
    session (they live as long as the persistent wineserver)."""

    def __init__(self, plat):
        self.plat = plat
        session = plat.session
        self.log_path = session.zeb_dir / "svc.log"
        installed = getattr(session, "testsvc_installed", None)
        if installed is None:
            installed = session.testsvc_installed = set()
        log = session.win_path(self.log_path)
        for name, (options, _) in KINDS.items():
            if name not in installed:
                self._client("install", name, *options, "--log", log)
                installed.add(name)
        self.clear_log()

    def _client(self, *args):
        r = self.plat.run(*args, exe="testsvc")
        assert r.code == 0, f"testsvc {args}: {r!r}"
        return r

    def set(self, running=(), stopped=()):
        if stopped:
            self._client("kill", *stopped)
        if running:
            self._client("start", *running)
        self.clear_log()

    def states(self, *names):
        # A service just started may still report START_PENDING.
        for _ in range(50):
            out = self._client("state", *names).out
            found = {}
            for line in out.splitlines():
                parts = line.split()
                if len(parts) == 3 and parts[1] == "state":
                    found[parts[0]] = int(parts[2])
            if 2 not in found.values():
                return found
            time.sleep(0.1)
        return found

    def clear_log(self):
        self.log_path.write_bytes(b"")

    def log(self, expected_lines=0):
        """The log's lines; waits a little for events still on their way."""
        for _ in range(50):
            lines = self.log_path.read_text().split()
            lines = [" ".join(p) for p in zip(lines[0::2], lines[1::2])]
            if len(lines) >= expected_lines:
                return lines
            time.sleep(0.1)
        return lines

    def kill(self, *names):
        self._client("kill", *names)


class NativeServices:
    """The store's scripted services."""

    def __init__(self, plat):
        self.plat = plat

    def set(self, running=(), stopped=()):
        keys = {}
        for names, state in ((running, RUNNING), (stopped, STOPPED)):
            for name in names:
                values = {"State": state, "StopDelayMs": 0, "AcceptStop": 1,
                          "StopRequestedAt": None}
                values.update(KINDS[name][1])
                keys[SERVICES_KEY + name] = values
        self.plat.reg_import(keys)

    def states(self, *names):
        found = {}
        for name in names:
            values = self.plat.reg_query(SERVICES_KEY + name)
            found[name] = int(values["State"][1], 16)
        return found

    def log(self, expected_lines=0):
        return None

    def kill(self, *names):
        pass


@pytest.fixture
def svc(plat):
    """The services of KINDS on this platform; each test sets their states."""
    return WineServices(plat) if plat.name == "wine" else NativeServices(plat)


def stop_events(log):
    return [line for line in log if line.endswith("stop-request")]


def start_events(log):
    return [line for line in log if line.endswith(" start")]


def test_stop_walks_backwards_and_restart_starts_in_file_order(plat, svc):
    # The three line forms: a bare name, a key with the name, further fields.
    plat.install_inf(service_inf("ZtA", "second = ZtB", "ZtC, ignored, 3"))
    svc.set(running=["ZtA", "ZtB", "ZtC"])
    r = plat.run("stop")
    assert (r.out, r.code) == ("", 0)
    assert svc.states("ZtA", "ZtB", "ZtC") == {"ZtA": 1, "ZtB": 1, "ZtC": 1}
    log = svc.log(6)
    if log is not None:
        assert stop_events(log) == ["ZtC stop-request", "ZtB stop-request",
                                    "ZtA stop-request"]
        svc.clear_log()

    # All stopped now: restart sends no stop request and starts A, B, C.
    r = plat.run("restart")
    assert (r.out, r.code) == ("", 0)
    assert svc.states("ZtA", "ZtB", "ZtC") == {"ZtA": 4, "ZtB": 4, "ZtC": 4}
    log = svc.log(3)
    if log is not None:
        assert log == ["ZtA start", "ZtB start", "ZtC start"]


def test_a_refused_stop_fails_at_once_and_stops_the_walk(plat, svc):
    """C is stopped first, the refusal of the middle service ends the walk,
    and A, listed before it, is never asked."""
    plat.install_inf(service_inf("ZtA", "ZtRefuse", "ZtC"))
    svc.set(running=["ZtA", "ZtRefuse", "ZtC"])
    r = plat.run("stop")
    assert (r.out, r.code) == (DEVICE_OPEN, plat.exit(0xF000000C))
    assert svc.states("ZtA", "ZtRefuse", "ZtC") == {
        "ZtA": RUNNING, "ZtRefuse": RUNNING, "ZtC": STOPPED}
    log = svc.log(2)
    if log is not None:
        assert stop_events(log) == ["ZtC stop-request"]

    r = plat.run("stopq")
    assert (r.out, r.code) == ("", plat.exit(0xF000000C))
    # restart reports the stop failure once, ends with 1 and starts nothing.
    for word, out in (("restart", DEVICE_OPEN), ("restartq", "")):
        r = plat.run(word)
        assert (r.out, r.code) == (out, 1), word
    assert svc.states("ZtA", "ZtRefuse", "ZtC") == {
        "ZtA": RUNNING, "ZtRefuse": RUNNING, "ZtC": STOPPED}


def test_restart_starts_nothing_after_a_failed_stop(plat, svc):
    plat.install_inf(service_inf("ZtRefuse", "ZtA"))
    svc.set(running=["ZtRefuse", "ZtA"])
    r = plat.run("restart")
    assert (r.out, r.code) == (DEVICE_OPEN, 1)
    # A was stopped before the refusal and stays stopped.
    assert svc.states("ZtRefuse", "ZtA") == {"ZtRefuse": RUNNING, "ZtA": STOPPED}
    log = svc.log(2)
    if log is not None:
        assert start_events(log) == []


def test_a_start_of_a_running_service_ends_restart_with_its_code(plat, svc):
    """A listed twice: the start half starts A and B, then fails on A, which
    already runs; C, after it in the file, is not started."""
    plat.install_inf(service_inf("ZtA", "ZtB", "ZtA", "ZtC"))
    svc.set(running=["ZtA", "ZtB", "ZtC"])
    r = plat.run("restart")
    assert (r.out, r.code) == (ALREADY_RUNNING, plat.exit(1056))
    assert svc.states("ZtA", "ZtB", "ZtC") == {
        "ZtA": RUNNING, "ZtB": RUNNING, "ZtC": STOPPED}
    log = svc.log(8)
    if log is not None:
        assert stop_events(log) == ["ZtC stop-request", "ZtA stop-request",
                                    "ZtB stop-request"]
        assert start_events(log) == ["ZtA start", "ZtB start"]
    svc.set(running=["ZtC"])
    r = plat.run("restartq")
    assert (r.out, r.code) == ("", plat.exit(1056))


def test_an_already_stopped_service_gets_no_stop_request(plat, svc):
    """A stopped service that would refuse the control: asking it would fail."""
    plat.install_inf(service_inf("ZtRefuse", "ZtA"))
    svc.set(running=["ZtA"], stopped=["ZtRefuse"])
    r = plat.run("stop")
    assert (r.out, r.code) == ("", 0)
    assert svc.states("ZtRefuse", "ZtA") == {"ZtRefuse": STOPPED, "ZtA": STOPPED}


def test_a_slow_stop_is_waited_for(plat, svc):
    plat.install_inf(service_inf("ZtSlow", "ZtA"))
    svc.set(running=["ZtSlow", "ZtA"])
    r = plat.run("stop")
    assert (r.out, r.code) == ("", 0)
    # Stopped by the time the command returned, not merely asked to stop.
    assert svc.states("ZtSlow", "ZtA") == {"ZtSlow": STOPPED, "ZtA": STOPPED}
    log = svc.log(4)
    if log is not None:
        assert log == ["ZtA stop-request", "ZtA stopped",
                       "ZtSlow stop-request", "ZtSlow stopped"]


def test_a_service_that_never_stops_fails_after_the_bounded_wait(plat, svc):
    """The wait is bounded (50 pauses of 100 ms); the timeout only guards
    against a wait without bound."""
    plat.install_inf(service_inf("ZtA", "ZtHang"))
    svc.set(running=["ZtA", "ZtHang"])
    try:
        r = plat.run("stop", timeout=60)
        assert (r.out, r.code) == (DEVICE_OPEN, plat.exit(0xF000000C))
        assert svc.states("ZtA", "ZtHang") == {"ZtA": RUNNING,
                                               "ZtHang": STOP_PENDING}
    finally:
        svc.kill("ZtHang")


@pytest.mark.parametrize("line, code", [
    ("ZtNoSuchService", 1060),     # the manager's "does not exist"
    ("N" * 256, 122),              # the reader: the name does not fit
    ("svc =", 123),                # an empty name: the manager's "invalid name"
], ids=["unknown", "name-too-long", "empty-name"])
def test_a_service_that_cannot_be_opened_or_read(plat, svc, line, code):
    """The failing line ends the walk with its code; services listed before it
    are left untouched, those after it are stopped."""
    plat.install_inf(service_inf("ZtA", line, "ZtC"))
    svc.set(running=["ZtA", "ZtC"])
    r = plat.run("stop")
    out = "Unrecognized system error %d(0x%x)\n" % (code, code)
    assert (r.out, r.code) == (out, plat.exit(code))
    assert svc.states("ZtA", "ZtC") == {"ZtA": RUNNING, "ZtC": STOPPED}
    r = plat.run("restart")
    assert (r.out, r.code) == (out, 1)
    assert svc.states("ZtA", "ZtC") == {"ZtA": RUNNING, "ZtC": STOPPED}


@pytest.mark.parametrize("inf", [
    '[Version]\r\nSignature="$Windows NT$"\r\n\r\n[cfg_strings]\r\nx=1\r\n',
    service_inf(),
], ids=["no-section", "empty-section"])
def test_nothing_to_do_without_listed_services(plat, svc, inf):
    plat.install_inf(inf)
    svc.set(running=["ZtA"])
    for word in ("stop", "stopq", "restart", "restartq"):
        r = plat.run(word)
        assert (r.out, r.code) == ("", 0), word
    assert svc.states("ZtA") == {"ZtA": RUNNING}


def test_without_the_setup_file(plat):
    r = plat.run("stop")
    assert (r.out, r.code) == (INF_NOT_FOUND, plat.exit(0xF0000003))
    r = plat.run("restart")
    assert (r.out, r.code) == (INF_NOT_FOUND, 1)
    r = plat.run("stopq")
    assert (r.out, r.code) == ("", plat.exit(0xF0000003))


# Wine version name, native (platform id, major, minor).
REFUSED_PLATFORMS = {"win2003": (2, 5, 2), "win98": (1, 4, 10),
                     "nt351": (2, 3, 51)}
ALLOWED_PLATFORMS = {"win2k": (2, 5, 0), "winxp": (2, 5, 1), "nt40": (2, 4, 0)}


def set_platform(plat, name, table):
    if plat.name == "wine":
        plat.set_wine_version(name)
    else:
        plat.set_version(*table[name])


@pytest.mark.parametrize("version", sorted(REFUSED_PLATFORMS))
def test_platform_gate_refuses(plat, svc, version):
    plat.install_inf(service_inf("ZtA"))
    svc.set(running=["ZtA"])
    set_platform(plat, version, REFUSED_PLATFORMS)
    r = plat.run("stop")
    assert (r.out, r.code) == (NOT_SUPPORTED, plat.exit(0xF0000009))
    r = plat.run("restart")
    assert (r.out, r.code) == (NOT_SUPPORTED, 1)
    r = plat.run("stopq")
    assert (r.out, r.code) == ("", plat.exit(0xF0000009))
    assert svc.states("ZtA") == {"ZtA": RUNNING}


@pytest.mark.parametrize("version", sorted(ALLOWED_PLATFORMS))
def test_platform_gate_allows(plat, svc, version):
    plat.install_inf(service_inf("ZtA"))
    svc.set(running=["ZtA"])
    set_platform(plat, version, ALLOWED_PLATFORMS)
    r = plat.run("stop")
    assert (r.out, r.code) == ("", 0)
    assert svc.states("ZtA") == {"ZtA": STOPPED}


@pytest.mark.only_on("native", reason="under Wine the user is always an "
                     "administrator")
def test_unprivileged_user_is_refused(plat, svc):
    plat.install_inf(service_inf("ZtA"))
    svc.set(running=["ZtA"])
    r = plat.run_unprivileged("stop")
    assert (r.out, r.code) == (ACCESS_DENIED, 5)
    r = plat.run_unprivileged("restart")
    assert (r.out, r.code) == (ACCESS_DENIED, 1)
    r = plat.run_unprivileged("stopq")
    assert (r.out, r.code) == ("", 5)
    assert svc.states("ZtA") == {"ZtA": RUNNING}
