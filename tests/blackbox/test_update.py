"""The update presenter under Wine: the download thread against the dev server (through the
recorder tool), and the update window under Xvfb (screenshots checked by pixel probes, clicks)."""
import json
import shutil
import time

import pefile
import pytest

from tools import signing
from tools.testkit.dev_server import pattern
from tools.testkit.download_probe import COMPLETE, FAILED, URL, probe, result, sized, split_progress
from tools.testkit.png import read_png
from tools.testkit.wine import REPO, install, records, wait_for

HEADER, WHITE = (229, 207, 162), (255, 255, 255)


def is_fill(rgb):  # the green-to-teal progress fill
    return rgb[1] - rgb[0] > 40


def is_orange(rgb):  # the install button's face
    return rgb[0] > 200 and 90 < rgb[1] < 200 and rgb[2] < 110


def is_ink(rgb):  # anti-aliased grey text on white
    return max(rgb) < 235 and max(rgb) - min(rgb) < 30


@pytest.fixture
def shots(build, request):
    """An empty folder for the case's screenshots, kept for a look afterwards."""
    folder = build.dir / "screenshots" / request.node.name
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    return folder


@pytest.fixture(scope="module")
def tools(wine):
    folder = install(wine, "update tools", "update_harness.exe", "update_download_probe.exe")
    yield folder
    wine.clear_profile()  # the tools build a profile, which leaves "fday" and "os" behind


@pytest.fixture(scope="module")
def files(wine, build, tmp_path_factory):
    """The installers the server offers: the stand-in main program signed by the publisher under
    a test root that the prefix trusts (also as quenvo_setup.exe), the same with a byte of its code
    changed, unsigned, under a root the prefix doesn't trust, for another subject, and without
    the code-signing purpose."""
    folder = tmp_path_factory.mktemp("update files")
    certificates = folder / "certificates"
    root = signing.make_root(certificates)
    publisher = build.cache("QUENVO_PUBLISHER")
    stranger = signing.make_root(certificates, "another root", "another-root")
    leaves = {"publisher": signing.make_leaf(root, certificates, publisher, name="publisher"),
              "another-root": signing.make_leaf(stranger, certificates, publisher, name="stranger"),
              "someone-else": signing.make_leaf(root, certificates, "someone else", name="someone-else"),
              "not-for-code": signing.make_leaf(root, certificates, publisher, ("serverAuth",), name="server")}
    stand_in = build.testbin / "fake_quenvo.exe"
    for name, leaf in leaves.items():
        signing.sign(stand_in, folder / f"{name}.exe", leaf, time.time())
    shutil.copy2(stand_in, folder / "unsigned.exe")
    signed = bytearray((folder / "publisher.exe").read_bytes())
    code = pefile.PE(data=bytes(signed)).sections[0]
    signed[code.PointerToRawData + code.SizeOfRawData // 2] ^= 0xFF
    (folder / "changed-byte.exe").write_bytes(signed)
    shutil.copy2(folder / "publisher.exe", folder / "quenvo_setup.exe")
    wine.trust_root(root.cert)
    return folder


@pytest.fixture(scope="module")
def server(server, files):
    """The module's server, serving the installers too."""
    server.files_dir = str(files)
    return server


# --- the download thread, recorded --------------------------------------------------------

@pytest.fixture
def fetch(wine, tools, server, downloads):
    """Serves config (its log cleared), then runs the download thread's work through the recorder
    from url (by default the name's on dl.quenvo.com) into downloads/name; returns (messages, done line)."""
    def fetch(config, offered, name="setup.exe", url=None, exe=tools / "update_download_probe.exe"):
        server.set_config(config)
        server.requests.clear()
        return probe(wine, exe, url or f"http://dl.quenvo.com/f/{name}", downloads / name, offered)[:2]
    return fetch


def file_requests(server):
    return [r for r in server.requests if r["kind"] == "file"]


def test_download_reports_rising_progress_then_complete_then_passed_check(fetch, server, downloads):
    size = 100_000
    messages, done = fetch(sized(size), size)
    percents, rest = split_progress(messages)
    assert len(percents) >= size // 8192  # one report per block of at most 8192 bytes
    assert percents == sorted(percents) and percents[-1] == 100 and percents[0] < 100
    assert rest == [COMPLETE, result(1)]
    assert (downloads / "setup.exe").read_bytes() == pattern(size)
    [request] = file_requests(server)
    assert request["method"] == "GET" and request["user_agent"] == "MyDownLoad"
    assert (request["host"], request["path"]) == ("dl.quenvo.com", "/f/setup.exe")
    assert request["headers"].get("Host") == "dl.quenvo.com"


def test_announced_length_of_zero_gives_an_empty_file_and_no_progress(fetch):
    messages, done = fetch({"files": {"/f/empty.exe": {"size": 0}}}, 0, "empty.exe")
    assert messages == [COMPLETE, result(1)]
    assert done["file_exists"] and done["file_size"] == 0


@pytest.mark.parametrize("config, expected", [
    ({}, [FAILED]),                                 # 404: reported once
    (sized(5000, status=500), [FAILED, FAILED]),    # 500: the code, then the failure
    (sized(5000, no_length=True), [FAILED]),        # no content-length
], ids=["404", "500", "no-length"])
def test_failed_exchange_reports_failure_and_no_size_check(fetch, config, expected):
    messages, done = fetch(config, 5000)
    assert messages == expected
    assert done["file_exists"] is False  # the body is never read


def test_redirect_is_followed_to_another_host(fetch, downloads):
    body = b"r" * 20_000
    mirror = "http://mirror.quenvo.com/version.php?f=setup.exe"
    messages, _ = fetch({"version_body_hex": body.hex(), "faults": {"file": {"redirect": mirror}}}, len(body))
    assert messages[-2:] == [COMPLETE, result(1)]
    assert (downloads / "setup.exe").read_bytes() == body


def test_redirect_loop_ends_after_ten_hops(fetch, server):
    messages, _ = fetch(sized(10, redirect=URL), 10)
    assert messages == [FAILED]  # the last redirect's status is not a success
    assert len(file_requests(server)) == 11


def test_body_that_ends_early_ends_the_transfer_as_incomplete(fetch):
    messages, done = fetch(sized(60_000, close_early=True), 60_000)
    percents, rest = split_progress(messages)
    assert percents and percents == sorted(percents) and percents[-1] < 100
    assert rest == [FAILED, result(0)]
    assert done["ms"] < 20_000
    assert not done["file_exists"]  # a file that fails the check is deleted


@pytest.mark.parametrize("existing, offered, passed", [(4000, "4000", 1), (123, "4000", 0)])
def test_existing_target_is_not_overwritten_and_is_checked(fetch, downloads, existing, offered, passed):
    target, before = downloads / "setup.exe", b"old!" * (existing // 4) + b"x" * (existing % 4)
    target.write_bytes(before)
    messages, _ = fetch(sized(4000), offered)
    assert messages == [FAILED, result(passed)]
    assert target.read_bytes() == before if passed else not target.exists()


@pytest.mark.parametrize("offered, passed", [("4294967396", 1), ("100", 0)])
def test_sizes_beyond_four_gib_are_compared_in_full(fetch, downloads, offered, passed):
    # A sparse file of 4 GiB + 100 bytes already at the target: its low 32 bits alone read 100.
    target = downloads / "big.exe"
    with open(target, "wb") as f:
        f.truncate(4 * 1024 ** 3 + 100)
    messages, _ = fetch({"files": {"/f/big.exe": {"size": 10}}}, offered, "big.exe")
    assert messages == [FAILED, result(passed)]
    assert target.exists() == bool(passed)


@pytest.mark.parametrize("offered", ["0100", " 100", "+100", ""])
def test_offered_size_is_compared_as_exact_text(fetch, offered):
    messages, done = fetch(sized(100), offered)
    assert messages == [("progress", 1, 100), COMPLETE, result(0)]
    assert not done["file_exists"]


@pytest.mark.parametrize("url", [
    "http://dl.quenvo.com:8080/f/setup.exe",
    "https://dl.quenvo.com/f/setup.exe",
    "https://dl.quenvo.com:8443/f/setup.exe",
])
def test_any_address_is_fetched_over_plain_http_on_port_80(fetch, server, url):
    messages, _ = fetch(sized(3000), 3000, url=url)
    assert messages[-2:] == [COMPLETE, result(1)]
    [request] = server.requests  # a plain GET, no CONNECT tunnel for TLS
    assert request["method"] == "GET" and request["path"] == "/f/setup.exe"
    assert request["headers"].get("Host") == "dl.quenvo.com"  # port 80 is implied, no other port named


def test_address_that_cannot_be_split_tells_the_window_nothing(fetch, server):
    messages, _ = fetch({}, 1, url="not an address")
    assert messages == [] and server.requests == []


def test_stalled_transfer_ends_after_the_time_out(fetch, short_build):
    messages, done = fetch(sized(3000, silent=True), 3000, exe=short_build.testbin / "update_download_probe.exe")
    assert messages == [FAILED]
    assert done["ms"] < 15_000  # 2 s to give up, at most twice (connection and reply)


# --- the window -----------------------------------------------------------------------------

def harness(wine, tools, *args, timeout=60, debug=None):
    """Runs the harness; returns (report events, seconds, Wine's output with the traces of the
    debug channels asked for)."""
    report = tools / "report.jsonl"
    report.unlink(missing_ok=True)
    line = " ".join(f'"{a}"' for a in (wine.win_path(tools / "update_harness.exe"),
                                        "--report", wine.win_path(report), "--timeout-ms", "20000", *args))
    run = wine.run_measured(tools / "update_harness.exe", line, timeout=timeout, debug=debug)
    assert run["code"] == 0
    events = [json.loads(line) for line in report.read_text().splitlines()]
    assert events[0]["event"] == "start" and events[0]["images"] == 7
    return events, run["micros"] / 1e6, run["output"]


STATES = "shot:p0,progress:50,shot:p50,progress:100,shot:p100,fail,shot:failed,result:1,shot:finished"


@pytest.mark.parametrize("scale", [1, 2])
def test_window_states_as_painted(wine, display, tools, shots, scale):
    events, _, _ = harness(wine, tools, "--scale", str(scale), "--shots", wine.win_path(shots),
                           "--steps", STATES, "--exit-after-steps")
    start = events[0]
    assert start["scale"] == scale and start["yahei"] and start["song"]  # CJK families resolve
    assert [e["name"] for e in events if e["event"] == "shot" and e["saved"]] == \
        ["p0", "p50", "p100", "failed", "finished"]
    assert events[-1] == {"event": "end", "why": "steps-done"}

    s = scale
    W, H = 450 * s, 260 * s
    img = {name: read_png(shots / f"{name}.png") for name in ("p0", "p50", "p100", "failed", "finished")}
    for name, im in img.items():
        assert (im.width, im.height) == (W, H), name
        # The header band is 35 pixels high at every scale; the border has its colour.
        assert all(im(W // 2, y) == HEADER for y in range(1, 35)), name
        assert im(W // 2, 35) == WHITE and im(W // 2, 60) == WHITE, name
        assert im(0, H // 2) == HEADER and im(W - 1, H // 2) == HEADER and im(W // 2, H - 1) == HEADER, name
        # The title, white on the band (smoothed: nearly white counts), and the close button at the top right.
        assert im.count((28 * s, 8 * s, 28 * s + 60 * s, 35), lambda p: min(p) > 240) > 20, name
        close = (W - 30 * s, 5 * s, W - 30 * s + 25, 5 * s + 26)
        assert im.count(close, lambda p: p != HEADER and p != WHITE) > 20, name

    bar_y = 137 * s + 4
    row = lambda im: [x for x in range(W) if is_fill(im(x, bar_y))]  # noqa: E731
    assert row(img["p0"]) == []  # nothing filled at 0
    # At 50 the fill starts at 56·s and is 125·s wide.
    filled = row(img["p50"])
    assert abs(filled[0] - 56 * s) <= 1 and abs(filled[-1] + 1 - (56 * s + 125 * s)) <= 2
    assert img["p50"](56 * s + 125 * s + 3, bar_y) in ((230, 230, 230), (200, 200, 200), WHITE)
    # At 100 (before the check) it starts at 28·s and is 297·s wide.
    filled = row(img["p100"])
    assert abs(filled[0] - 28 * s) <= 1 and abs(filled[-1] + 1 - (28 * s + 297 * s)) <= 2
    assert len(filled) >= 297 * s - 4
    # Downloading: the arrow image at (58, 70) and the grey texts are drawn.
    for name in ("p0", "p50", "p100"):
        assert img[name].count((58, 70, 90, 102), lambda p: p != WHITE) > 50, name
        assert img[name].count((58 * s, 110 * s, 58 * s + 150 * s, 140 * s), is_ink) > 40, name
    # Failed: only the header is left.
    assert row(img["failed"]) == []
    assert img["failed"].count((2, 40, W - 2, H - 2), lambda p: p != WHITE) == 0
    # Finished: the install button (normal frame) at the bottom right and the finished text.
    fin = img["finished"]
    left, top = W - 225 * s, H - 46 * s
    assert fin.count((left, top, left + 110, top + 34), is_orange) > 110 * 34 // 2
    assert fin.count((90 * s, 100 * s, 90 * s + 220 * s, 140 * s), is_ink) > 40
    assert row(fin) == []


# case: (the installer served, what replaces it once it has passed, whether it is started)
INSTALLERS = {
    "signed by the publisher": ("publisher", None, True),
    "a byte of its code changed": ("changed-byte", None, False),
    "unsigned": ("unsigned", None, False),
    "under a root not trusted": ("another-root", None, False),
    "signed for someone else": ("someone-else", None, False),
    "certificate not for code": ("not-for-code", None, False),
    "replaced once it passed": ("publisher", "changed-byte", False),
}
STARTS = "trace:exec:ShellExecuteW"  # Wine's trace of every shell start


@pytest.mark.parametrize("served, replacement, started", INSTALLERS.values(), ids=INSTALLERS.keys())
def test_only_the_publishers_installer_is_started(wine, display, tools, shots, server, files, served, replacement,
                                                  started):
    installer = (files / f"{served}.exe").read_bytes()
    server.set_config({})
    server.requests.clear()
    url = f"http://dl.quenvo.com/f/{served}.exe"
    steps = ["wait:finished", "shot:downloaded"] if served == "publisher" else []
    if replacement:
        steps.append(f"replace:{wine.win_path(files / f'{replacement}.exe')}")
    if served == "publisher":
        steps.append("click:install")
    events, _, output = harness(wine, tools, "--url", url, "--size", str(len(installer)), "--shots",
                                wine.win_path(shots), "--steps", ",".join(steps), debug="trace+exec")
    target = wine.unix_path(events[0]["file"])
    try:
        assert target.parent.name.lower() == "temp" and [r["user_agent"] for r in file_requests(server)] == \
            ["MyDownLoad"]
        assert output.count(STARTS) == (1 if started else 0)
        if started:
            assert (shots / "downloaded.png").is_file()
            assert events[-1] == {"event": "step", "step": "click:install"}  # the window ended the process
            assert target.read_bytes() == installer
            runs = wait_for(lambda: records(target.parent / "received.txt"))
            assert len(runs) == 1 and wine.win_path(target).lower() in runs[0]["cmdline"].lower()
        elif replacement:
            assert events[-1] == {"event": "step", "step": "click:install"}  # ended all the same
        else:
            assert events[-1] == {"event": "end", "why": "window-gone"}
            assert not target.exists()  # deleted, so that nothing runs it later
    finally:
        target.unlink(missing_ok=True)
        (target.parent / "received.txt").unlink(missing_ok=True)


def test_install_button_waits_for_the_check(wine, display, tools, downloads, files):
    stand_in = shutil.copy2(files / "publisher.exe", downloads / "quenvo_setup.exe")
    events, _, _ = harness(wine, tools, "--file", wine.win_path(stand_in), "--size", str(stand_in.stat().st_size),
                           "--steps", "progress:100,complete,click:install,result:1,click:install")
    # Opening the installer ends the process: it lived on after the first click, so that one
    # opened nothing, and the second click ended it.
    steps = [e["step"] for e in events if e["event"] == "step"]
    assert steps == ["progress:100", "complete", "click:install", "result:1", "click:install"]
    assert events[-1]["event"] == "step"  # ended by the second click, not by the harness
    runs = wait_for(lambda: records(downloads / "received.txt"))
    assert len(runs) == 1 and wine.win_path(stand_in).lower() in runs[0]["cmdline"].lower()


@pytest.mark.parametrize("how", ["click:close", "wmclose", "progress:40,click:close", "result:1,click:close"])
def test_close_ends_the_process(wine, display, tools, how):
    events, seconds, _ = harness(wine, tools, "--steps", how)
    assert events[-1] == {"event": "step", "step": how.split(",")[-1]}
    assert not any(e["event"] == "end" for e in events)
    assert seconds < 15


def test_failed_size_check_destroys_the_window_and_the_loop_ends(wine, display, tools, server, files):
    server.set_config({})
    events, seconds, _ = harness(wine, tools, "--url", "http://dl.quenvo.com/f/quenvo_setup.exe", "--size", "12")
    assert not wine.unix_path(events[0]["file"]).exists()  # deleted
    assert events[-1] == {"event": "end", "why": "window-gone"}
    assert seconds < 15


def test_failed_download_leaves_the_window_until_closed(wine, display, tools, shots, server):
    server.set_config({"faults": {"file": {"status": 404}}})
    events, _, _ = harness(wine, tools, "--url", "http://dl.quenvo.com/f/missing.exe", "--size", "10",
                        "--shots", wine.win_path(shots), "--steps", "wait:failed,shot:after,click:close")
    [shot] = [e for e in events if e["event"] == "shot"]
    assert shot["percent"] == -1 and shot["finished"] == 0
    assert events[-1] == {"event": "step", "step": "click:close"}


def test_offer_from_the_update_server_is_downloaded(wine, display, tools, server, files):
    size = (files / "quenvo_setup.exe").stat().st_size
    server.set_config({"v": "1.0.1", "t1": "new", "u": "http://dl.quenvo.com/f/quenvo_setup.exe", "sz": str(size)})
    server.requests.clear()
    events, _, _ = harness(wine, tools, "--offer-from", "http://update.quenvo.com/version.php",
                           "--steps", "wait:finished,click:close")
    start = events[0]
    target = wine.unix_path(start["file"])
    try:
        assert start["offer"] and start["url"] == "http://dl.quenvo.com/f/quenvo_setup.exe"
        assert start["size"] == str(size) and target.name == "quenvo_setup.exe"
        assert target.stat().st_size == size
        assert [r["kind"] for r in server.requests] == ["version", "file"]
    finally:
        target.unlink(missing_ok=True)
