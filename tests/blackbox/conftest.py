"""The black-box tests' fixtures. One run tests one build, named by --build: win64 (the
default) or win32. Each run makes a fresh Wine prefix of its own."""
import shutil

import pytest

from tools.testkit.dev_server import DevServer
from tools.testkit.display import on_display
from tools.testkit.net import BareServer
from tools.testkit.wine import LOST_STARTS, Build, Wine, cannot_run_32bit


def pytest_addoption(parser):
    parser.addoption("--build", default="win64", choices=["win64", "win32"], help="the build under test: build/<name>")


# The longest modules first, so that on parallel workers they do not end the run alone. test_release
# is one case, so its worker is handed the fourth module at once, to run after it: a short one.
LONGEST_FIRST = ["test_release", "test_installer", "test_hostile", "test_registrar", "test_agent", "test_update"]


def pytest_collection_modifyitems(config, items):
    rank = {name: i for i, name in enumerate(LONGEST_FIRST)}
    items.sort(key=lambda item: rank.get(item.module.__name__.rsplit(".", 1)[-1], len(rank)))
    if config.getoption("--build") == "win64":
        return
    if reason := cannot_run_32bit():  # one line instead of a skip for every test
        pytest.exit(f"{config.getoption('--build')}: nothing run, {reason}", returncode=0)
    skip = pytest.mark.skip(reason="runs no Windows program: the win64 run covers it")
    for item in (item for item in items if "native" in item.keywords):
        item.add_marker(skip)


def pytest_sessionfinish(session):
    if hasattr(session.config, "workeroutput"):  # a pytest-xdist worker: its controller sums up
        session.config.workeroutput["lost_starts"] = LOST_STARTS


@pytest.hookimpl(optionalhook=True)
def pytest_testnodedown(node, error):
    LOST_STARTS.extend(getattr(node, "workeroutput", {}).get("lost_starts", []))


def pytest_terminal_summary(terminalreporter):
    terminalreporter.write_line(f"Wine lost {len(LOST_STARTS)} start(s), each tried once more")
    for start in LOST_STARTS:
        terminalreporter.write_line(f"  {start}")


@pytest.fixture(scope="session")
def build(pytestconfig):
    build = Build(pytestconfig.getoption("--build"))
    if not (build.bin / "Quenvodef.exe").exists():
        pytest.fail(f"build {build.name} first (tools/build {build.name})")
    if reason := build.unusable():
        pytest.skip(f"{build.name}: {reason}")
    return build


@pytest.fixture(scope="session")
def short_build(build):
    """The agent and the download probe with 2 s network time-outs, for silent servers."""
    short = Build(f"{build.name}-short", build.dir / "short")
    if not (short.bin / "quenvodata.exe").exists():
        pytest.skip(f"needs {short.dir}, the twin with QUENVO_NET_TIMEOUT_MS=2000 (tools/build makes it)")
    return short


@pytest.fixture(scope="session")
def wine(tmp_path_factory, build):
    """A fresh Wine prefix for the whole run, with a persistent wineserver."""
    w = Wine(tmp_path_factory.mktemp("prefix"), build).boot()
    yield w
    w.shutdown()


@pytest.fixture(scope="module")
def server(wine):
    """The local dev server, as the prefix's system proxy, for one module."""
    with DevServer({}) as srv:
        wine.set_proxy(srv.port)
        yield srv


@pytest.fixture
def user_value(wine):
    """Sets a text value under HKCU for one case, user_value(key, name, text); puts the old one back after."""
    before = {}

    def set_value(key, name, text):
        before.setdefault((key, name), (wine.reg_query(key) or {}).get(name))
        wine.set_value(name, text, key=key)

    yield set_value
    for (key, name), old in before.items():  # put back, or deleted when there was none
        wine.set_value(name, old[1], old[0], key=key) if old else wine.reg("delete", f"HKCU\\{key}", "/v", name, "/f")


@pytest.fixture
def bare(wine, server):
    """The proxy for one case: a BareServer (bare.reply byte for byte), for what the dev server can't say."""
    bare = BareServer()
    wine.set_proxy(bare.port)
    yield bare
    wine.set_proxy(server.port)
    bare.stop()


@pytest.fixture(scope="module")
def display(wine):
    """A private X server for this module's windows, with their fonts."""
    with on_display(wine) as name:
        yield name


@pytest.fixture
def downloads(wine):
    """An empty folder for download targets, removed after the case."""
    folder = wine.drive_c / "downloads"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir()
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture(scope="module")
def timings(build):
    """Appends a case's run time to build/<name>/hostile-timings.txt."""
    with (build.dir / "hostile-timings.txt").open("a") as out:
        yield lambda case, seconds: (out.write(f"{case:48} {seconds:7.2f} s\n"), out.flush())
