"""The end-to-end fixtures; the drivers they hand out, and their manual, are
in the package harness (harness/__init__.py)."""

import shutil
import tempfile
from dataclasses import dataclass
from pathlib import Path

import pytest

# The harness's own assertions report their operands as the tests' do.
pytest.register_assert_rewrite("harness")

from harness import (EXAMPLE_INF, NATIVE_DIR, NativePlatform,  # noqa: E402
                     WinePlatform, WineSession, new_test_dir, read_cfg_strings,
                     wine_missing)


@pytest.fixture(scope="session")
def native_session_dir():
    path = Path(tempfile.mkdtemp(prefix="zebcfg-e2e-"))
    path.chmod(0o755)
    yield path
    shutil.rmtree(path, ignore_errors=True)


@pytest.fixture(scope="session")
def wine_template():
    """A prefix booted once per run, its server ended: what every other
    prefix of the run is copied from."""
    missing = wine_missing()
    if missing:
        pytest.skip(missing)
    template = WineSession()
    template.stop_server()
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
        test_dir = new_test_dir(native_session_dir, prefix="w")
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
    test_dir = new_test_dir(native_session_dir, prefix="t")
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
    """The example INF installed, with its device root and map key (what
    its [DefaultInstall] creates, without the initial map entries, in one
    quick import)."""
    strings = read_cfg_strings(EXAMPLE_INF)
    dev_root, map_path = strings["dev_reg_root"], strings["map_path"]
    plat.install_example_inf()
    plat.reg_import({"HKLM\\" + dev_root: {}, "HKLM\\" + map_path: {}})
    return Example(plat, dev_root, map_path)
