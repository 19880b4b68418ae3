"""The screen reader's path across processes: accessible_tree.exe reads, drives and hears the sample
window of accessible_window.exe, a process of its own, through the window's accessible object."""
import json

import pytest

from tools.testkit.wine import install, wrote

FOCUSABLE, FOCUSED, DEFAULT, READONLY, UNAVAILABLE, INVISIBLE = 0x100000, 0x4, 0x100, 0x40, 0x1, 0x8000
# The children as read with the window at (200, 150): role, name, value, state, location, action.
CHILDREN = [(43, "Install", None, FOCUSABLE | DEFAULT, [220, 300, 100, 30], "Press"),
            (43, "Close", None, FOCUSABLE, [470, 155, 25, 25], "Press"),
            (48, "Download", "50%", READONLY, [220, 250, 260, 20], None),
            (41, "Downloading the update", None, READONLY, [220, 210, 260, 30], None),
            (43, "Hidden", None, INVISIBLE, [400, 190, 60, 15], "Press"),
            (43, "Retry", None, UNAVAILABLE, [340, 300, 100, 30], "Press")]
# What a call through a proxy of a disconnected object gives: RPC_E_DISCONNECTED on Windows,
# RPC_S_UNKNOWN_IF from Wine. CO_E_OBJNOTCONNECTED is the object's own answer once its window is gone.
DISCONNECTED, OBJECT_GONE = {"0x80010108", "0x800706b5"}, "0x800401fd"


@pytest.fixture
def folder(wine, display):
    """The sample window at (200, 150) in a process of its own, ended after the case."""
    folder = install(wine, "accessible", "accessible_window.exe", "accessible_tree.exe")
    marker = folder / "window.up"
    marker.unlink(missing_ok=True)
    proc = wine.start([folder / "accessible_window.exe", wine.win_path(marker), "200", "150"], proof=wrote(marker),
                      background=True)
    yield folder
    marker.unlink(missing_ok=True)
    assert proc.wait(timeout=30) == 0


def tree(wine, folder, *args):
    code, out = wine.start([folder / "accessible_tree.exe", "QuenvoAccessibleSample", "--wait", "20000", *args])
    lines = [json.loads(line) for line in out.splitlines() if line.startswith("{")]
    assert lines and "end" in lines[-1], out
    return code, lines


def child_rows(lines, read):
    return [(r["role"], r["name"], r["value"], r["state"], r["location"], r["action"])
            for r in lines if r.get("read") == read and r["child"] > 0]


def test_tree_read_acted_on_and_heard_then_disconnected(wine, folder):
    code, lines = tree(wine, folder, "--focus", "2", "--do", "1", "--events", "20000", "--until", "valuechange:3",
                       "--again")
    assert (code, lines[-1]) == (0, {"end": "found", "events": 2, "until": True})
    [first, second] = [next(r for r in lines if r.get("read") == read and r["child"] == 0) for read in (1, 2)]
    assert (first["role"], first["name"], first["children"]) == (10, "Update", 6)
    assert first["location"] == [200, 150, 300, 200]
    assert first["state"] == FOCUSABLE | (FOCUSED if first["focus"] == 0 else 0)
    assert child_rows(lines, 1) == CHILDREN
    assert [r for r in lines if "focus" in r and "hr" in r or "do" in r] == [{"focus": 2, "hr": "0x00000000"},
                                                                               {"do": 1, "hr": "0x00000000"}]
    assert [(r["event"], r["object"], r["child"]) for r in lines if "event" in r] == [("focus", -4, 2),
                                                                                     ("valuechange", -4, 3)]
    assert (second["focus"], second["state"]) == (2, FOCUSABLE)
    close, progress = CHILDREN[1], CHILDREN[2]
    moved = [(*close[:3], FOCUSABLE | FOCUSED, *close[4:]), (*progress[:2], "60%", *progress[3:])]
    assert child_rows(lines, 2) == CHILDREN[:1] + moved + CHILDREN[3:]

    # Close destroys the window; the same object, read again, fails. The first call (the child
    # count) may have passed the stub before the window went; every later one fails in the proxy.
    code, lines = tree(wine, folder, "--do", "2", "--again")
    assert (code, lines[-1]) == (0, {"end": "found", "events": 0, "until": None})
    [gone] = [r for r in lines if r.get("read") == 2]
    failed = gone["failed"]
    assert set(failed) == {"role", "name", "state", "location", "children", "focus"}
    assert failed.pop("children") in DISCONNECTED | {OBJECT_GONE} and set(failed.values()) <= DISCONNECTED, gone
