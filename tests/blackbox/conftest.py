import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))

from dev_server import DevServer  # noqa: E402
from wine import BIN, Wine  # noqa: E402


@pytest.fixture(scope="session")
def wine(tmp_path_factory):
    """A fresh Wine prefix for the whole run, with a persistent wineserver."""
    if not (BIN / "Quenvodef.exe").exists():
        pytest.fail(f"build the win64 preset first ({BIN})")
    w = Wine(tmp_path_factory.mktemp("prefix")).boot()
    yield w
    w.shutdown()


@pytest.fixture(scope="module")
def server(wine):
    """The local dev server, as the prefix's system proxy, for one module."""
    srv = DevServer({})
    wine.set_proxy(srv.start())
    yield srv
    srv.stop()
