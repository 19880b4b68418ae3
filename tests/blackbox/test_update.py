"""The update presenter under Wine: the download thread against the dev server (through the
recorder tool); the update window under Xvfb through the harness (screenshots at each DPI and in
each language checked by pixel probes, clicks); and "quenvodata.exe /update" itself, used as a
person does: by the screen, by real keys and as a screen reader reads it."""
import datetime
import json
import shutil
import time
from pathlib import Path

import pefile
import pytest

from tools import signing
from tools.testkit.dev_server import pattern
from tools.testkit.download_probe import COMPLETE, FAILED, URL, probe, result, sized, split_progress
from tools.testkit.png import read_png
from tools.testkit.person import (CLASS, CLOSE, DEFAULT, FOCUSED, INSTALL_BUTTON, INVISIBLE, PROGRESS, PROGRESS_BAR,
                                  PUSH_BUTTON, SENTENCE, STATIC_TEXT, agent, listening, probe_window, read, says,
                                  speaking, wait_read)
from tools.testkit.wine import install, records, wait_for

HEADER, WHITE = (229, 207, 162), (255, 255, 255)
BEFORE = Path(__file__).parent.parent / "data" / "update-window-96dpi"  # the window's shots before any scale


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
    folder = install(wine, "update tools", "update_harness.exe", "update_download_probe.exe", "quenvodata.exe",
                     "window_probe.exe", "accessible_tree.exe")
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


# --- the window, through the harness --------------------------------------------------------

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


# The window's texts in each language: title, downloading, finished title, finished, install,
# up to date, check failed, managed, download failed, refused.
TEXTS = {
    "zh": ["软件升级", "升级程序正在下载中...", "升级程序下载完毕", "升级程序下载完毕，请立即安装!", "安装",
           "您使用的 quenvo 已是最新版本。", "暂时无法检查更新，请稍后再试。", "更新由您的系统管理员管理。",
           "升级程序下载失败，请稍后再试。", "下载的文件未通过安全校验，已被删除。"],
    "en": ["Software update", "Downloading...", "Update downloaded", "The update is ready. Install it now!", "Install",
           "Your quenvo is up to date.", "Could not check for updates. Please try again later.",
           "Updates are managed by your administrator.", "The download failed. Please try again later.",
           "The downloaded file failed its safety check and was deleted."]}
TITLE, DOWNLOADING, TITLE_FINISHED, FINISHED, INSTALL, UP_TO_DATE, CHECK_FAILED, MANAGED, DOWNLOAD_FAILED, REFUSED = \
    range(10)


@pytest.fixture(scope="module")
def set_dpi(wine, display):
    """Sets the prefix's display scale (LogPixels), which Wine reads when its server starts: the
    server is started again, on the module's display, only when the scale changes; 96 at the end."""
    current = [96]

    def set_dpi(dpi):
        if dpi != current[0]:
            wine.import_reg(f'[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:{dpi:08x}\r\n')
            wine.restart_server(display)
            current[0] = dpi
    yield set_dpi
    set_dpi(96)


def box(rect):
    """A [left, top, right, bottom] of the report as (x0, y0, x1, y1) for Image.count."""
    return tuple(rect)


def fill_row(im, track):
    """The columns of the fill on the track's middle row."""
    y = (track[1] + track[3]) // 2
    return [x for x in range(track[0] - 4, track[2] + 4) if is_fill(im(x, y))]


def check_painted(im, window, lang, finished):
    """What every shot shows at every scale: the client's size, the band with the title's ink inside
    it and the close button on it, the border; the fill inside its track, half of it at 50 percent."""
    dpi, (_, _, W, H), header, title, track = (window[k] for k in ("dpi", "client", "header", "title", "track"))
    assert (im.width, im.height) == (W, H)
    assert abs(W - 450 * dpi / 96) <= 2 and abs(H - 260 * dpi / 96) <= 2
    middle = (title[2] + window["close"][0]) // 2  # between the title and the close button
    assert all(im(middle, y) == HEADER for y in range(1, header)) and im(middle, header) == WHITE
    assert im(0, H // 2) == HEADER and im(W - 1, H // 2) == HEADER and im(W // 2, H - 1) == HEADER
    # The title's ink (white, smoothed) lies in the band, clear of its last rows.
    assert im.count((title[0], title[1], title[2], header), lambda p: min(p) > 240) > 20
    assert im.count((title[0], header - 2 * dpi // 96, title[2], header), lambda p: p != HEADER) == 0
    assert im.count(box(window["close"]), lambda p: p != HEADER and p != WHITE) > 20
    if finished:
        assert fill_row(im, track) == []
        left, top, right, bottom = window["install"]
        assert im.count(window["install"], is_orange) > (right - left) * (bottom - top) // 3
        assert im.count(window["install"], lambda p: min(p) > 240) > 10  # the word, in white
    else:
        filled = fill_row(im, track)
        assert abs(filled[0] - track[0]) <= 1 and abs(filled[-1] + 1 - (track[0] + (track[2] - track[0]) // 2)) <= 1


ROWS = [(dpi, lang) for dpi in (96, 120, 144, 192, 240) for lang in ("zh", "en")]


@pytest.mark.parametrize("dpi, lang", ROWS, ids=[f"{d}dpi-{l}" for d, l in ROWS])
def test_window_at_each_scale_in_each_language(wine, set_dpi, tools, shots, dpi, lang):
    set_dpi(dpi)
    events, _, _ = harness(speaking(wine, lang), tools, "--shots", wine.win_path(shots), "--steps",
                           "progress:50,shot:p50,measure,result:1,shot:finished,measure", "--exit-after-steps")
    window = next(e for e in events if e["event"] == "window")
    assert window["dpi"] == dpi and events[-1] == {"event": "end", "why": "steps-done"}
    # Every text is whole in its box: all of it laid out, and what it covers inside the box.
    texts = [e for e in events if e["event"] == "text"]
    words = TEXTS[lang]
    assert [t["text"] for t in texts] == [words[TITLE], words[DOWNLOADING], "50%", words[TITLE_FINISHED],
                                          words[FINISHED], words[INSTALL]]
    for t in texts:
        x, y, right, bottom = t["box"]
        assert t["whole"] and t["bounds"][2] <= right - x + 0.5 and t["bounds"][3] <= bottom - y + 0.5, t
    check_painted(read_png(shots / "p50.png"), window, lang, finished=False)
    finished = read_png(shots / "finished.png")
    check_painted(finished, window, lang, finished=True)
    if (dpi, lang) == (96, "zh"):  # as the window always was, but for the fill kept in its track and the install word
        for name, mended in (("p50", (56, 137, 184, 147)), ("finished", (222, 211, 338, 251))):
            assert read_png(shots / f"{name}.png").differing(read_png(BEFORE / f"{name}.png"), mended) == [], name
    # The finished sentence's ink stays inside its box.
    sentence = texts[4]["box"]
    body = (2, window["header"] + 2, window["client"][2] - 2, window["install"][1] - 4 * dpi // 96)  # above the ring
    assert finished.count(sentence, is_ink) > 40
    assert finished.count(body, is_ink) == finished.count(sentence, is_ink)


def test_moved_to_another_dpi_it_lays_out_as_if_opened_there(wine, set_dpi, tools, shots):
    set_dpi(240)  # where the table above ends
    harness(wine, tools, "--shots", wine.win_path(shots), "--steps", "progress:50,shot:native", "--exit-after-steps")
    set_dpi(96)
    events, _, _ = harness(wine, tools, "--shots", wine.win_path(shots), "--steps", "progress:50,dpi:240,shot:moved",
                           "--exit-after-steps")
    moved = next(e for e in events if e["event"] == "dpi")
    # The window took the suggested place, with the client of 240 DPI (Wine keeps the frame of the
    # system's DPI, so the size is put right).
    assert moved["window"][:2] == moved["suggested"][:2]
    assert [(e["dpi"], e["client"]) for e in events if e["event"] == "window"] == [(96, [0, 0, 450, 260]),
                                                                                   (240, [0, 0, 1125, 650])]
    native, after = read_png(shots / "native.png"), read_png(shots / "moved.png")
    assert (after.width, after.height) == (native.width, native.height) == (1125, 650)
    assert after.differing(native) == []


def test_high_contrast_draws_with_the_system_colours(wine, set_dpi, tools, shots):
    set_dpi(96)
    events, _, _ = harness(wine, tools, "--shots", wine.win_path(shots), "--steps",
                           "progress:50,shot:own,contrast,shot:contrast,result:1,shot:finished", "--exit-after-steps")
    assert next(e for e in events if e["event"] == "contrast")["set"]
    window = next(e for e in events if e["event"] == "window")
    track, (_, _, W, H) = window["track"], window["client"]
    window_colour, text, highlight = (0, 0, 0), (255, 255, 0), (0, 255, 255)  # the harness's dark scheme
    for name in ("contrast", "finished"):
        im = read_png(shots / f"{name}.png")
        assert im(W // 2, 10) == highlight and im(30, H - 30) == window_colour and im(0, H // 2) == text
        assert im.count((0, 0, W, H), lambda p: p == HEADER) == 0  # nothing of its own band
    im = read_png(shots / "contrast.png")
    assert im(track[0] + (track[2] - track[0]) // 4, (track[1] + track[3]) // 2) == highlight  # the fill
    assert im.count((58, 110, 208, 140), lambda p: p[0] > 200 and p[1] > 200 and p[2] < 90) > 20  # yellow text
    # The install button outlined in the text colour.
    left, top, right, bottom = window["install"]
    assert all(read_png(shots / "finished.png")(x, top) == text for x in range(left, right))


# case: (the installer served, the size offered (None: its own), what replaces it once it has
# passed, whether it is started)
INSTALLERS = {
    "signed by the publisher": ("publisher", None, None, True),
    "a byte of its code changed": ("changed-byte", None, None, False),
    "unsigned": ("unsigned", None, None, False),
    "under a root not trusted": ("another-root", None, None, False),
    "signed for someone else": ("someone-else", None, None, False),
    "certificate not for code": ("not-for-code", None, None, False),
    "of another size than offered": ("publisher", "12", None, False),
    "replaced once it passed": ("publisher", None, "changed-byte", False),
}
STARTS = "trace:exec:SHELL_execute mask="  # Wine's trace of every shell start


@pytest.mark.parametrize("served, size, replacement, started", INSTALLERS.values(), ids=INSTALLERS.keys())
def test_only_the_publishers_installer_is_started(wine, display, tools, shots, server, files, served, size,
                                                  replacement, started):
    installer = (files / f"{served}.exe").read_bytes()
    server.set_config({})
    server.requests.clear()
    url = f"http://dl.quenvo.com/f/{served}.exe"
    steps = ["wait:finished", "shot:downloaded"] if started or replacement else ["wait:refused"]
    if replacement:
        steps += [f"replace:{wine.win_path(files / f'{replacement}.exe')}", "click:install"]
    steps += ["click:install"] if started else ["measure", "wmclose"]
    events, _, output = harness(wine, tools, "--url", url, "--size", size or str(len(installer)), "--shots",
                                wine.win_path(shots), "--steps", ",".join(steps), debug="trace+exec")
    target = wine.unix_path(events[0]["file"])
    try:
        assert target.parent.name.lower() == "temp" and [r["user_agent"] for r in file_requests(server)] == \
            ["MyDownLoad"]
        assert output.count(STARTS) == (1 if started else 0)
        assert events[-1] == {"event": "step", "step": steps[-1]}  # the window ended the process
        if started:
            assert (shots / "downloaded.png").is_file()
            assert target.read_bytes() == installer
            runs = wait_for(lambda: records(target.parent / "received.txt"))
            assert len(runs) == 1 and wine.win_path(target).lower() in runs[0]["cmdline"].lower()
        else:
            # Said in words, and deleted, so that nothing runs it later.
            assert [e["text"] for e in events if e["event"] == "text"][1] == TEXTS["en"][REFUSED]
            assert not target.exists()
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


def test_failed_download_says_so_until_closed(wine, display, tools, shots, server):
    server.set_config({"faults": {"file": {"status": 404}}})
    events, _, _ = harness(wine, tools, "--url", "http://dl.quenvo.com/f/missing.exe", "--size", "10",
                           "--shots", wine.win_path(shots), "--steps", "wait:failed,measure,shot:after,click:close")
    [shot] = [e for e in events if e["event"] == "shot"]
    assert shot["percent"] == -1 and shot["finished"] == 0
    assert [e["text"] for e in events if e["event"] == "text"][1] == TEXTS["en"][DOWNLOAD_FAILED]
    assert events[-1] == {"event": "step", "step": "click:close"}


def test_offer_from_the_update_server_is_downloaded(wine, display, tools, server, files):
    size = (files / "quenvo_setup.exe").stat().st_size
    server.set_config({"v": "1.0.1", "t1": "new", "u": "http://dl.quenvo.com/f/quenvo_setup.exe", "sz": str(size)})
    server.requests.clear()
    events, _, _ = harness(wine, tools, "--offer-from", "http://update.quenvo.com/version.php",
                           "--steps", "wait:finished,wmclose")
    start = events[0]
    assert start["offer"] and start["url"] == "http://dl.quenvo.com/f/quenvo_setup.exe"
    assert start["size"] == str(size) and wine.unix_path(start["file"]).name == "quenvo_setup.exe"
    assert [r["kind"] for r in server.requests] == ["version", "file"]
    # Closed without installing: the checked installer is not left behind.
    assert not wine.unix_path(start["file"]).exists()


# --- quenvodata.exe /update, as a person uses it ------------------------------------------------

VERSION_KEYS = ["mid", "os", "c", "fn", "t", "version", "fver", "fday", "rday", "uac"]


def sent(server):
    return [(r["kind"], dict(r["params"]).get("reg")) for r in server.requests]


@pytest.fixture
def person(wine, tools, server, files):
    """The update server's offer of the publisher's installer, "rday" of another day, and where the
    download goes; afterwards the target and the stand-in's record are gone."""
    wine.set_value("rday", "2001-1-1")
    server.requests.clear()
    target = wine.temp_folder() / "publisher.exe"
    offer = {"v": "1.0.1", "t1": "new", "u": "http://dl.quenvo.com/f/publisher.exe",
             "sz": str((files / "publisher.exe").stat().st_size)}
    yield offer, target
    target.unlink(missing_ok=True)
    (target.parent / "received.txt").unlink(missing_ok=True)


def test_update_offers_downloads_and_installs_by_keyboard(wine, display, tools, server, person):
    offer, target = person
    server.set_config(dict(offer, faults={"file": {"hold_at": 0.5}}))  # the download waits half way
    with agent(wine, tools / "quenvodata.exe") as ended:
        info = probe_window(wine, tools, f"find:{CLASS}:10000", "info")["info"]
        assert info["caption"] == "quenvo update" and info["caption_bar"] and info["client"] == [450, 260]
        assert info["foreground"]  # the person asked for it
        centre = lambda r: ((r[0] + r[2]) // 2, (r[1] + r[3]) // 2)  # noqa: E731
        assert all(abs(a - b) <= 1 for a, b in zip(centre(info["window"]), centre(info["work"])))
        client, children = wait_read(wine, tools, lambda c, ch: ch[PROGRESS]["value"] not in (None, "0%"))
        assert children[INSTALL_BUTTON]["state"] & INVISIBLE and server.held.is_set()
        probe_window(wine, tools, f"find:{CLASS}:1000", "keys:ENTER")  # before the checks: installs nothing
        with listening(wine, tools, "focus:2") as heard:  # until the finished window focuses install
            server.release()
        assert {(e["event"], e["child"]) for e in heard} >= {("valuechange", PROGRESS), ("namechange", SENTENCE),
                                                            ("statechange", INSTALL_BUTTON), ("focus", INSTALL_BUTTON)}
        client, children = wait_read(wine, tools, lambda c, ch: not ch[INSTALL_BUTTON]["state"] & INVISIBLE)
        # Read as a screen reader does: roles, names and states, in the UI language.
        assert (client["name"], children[SENTENCE]["name"]) == (TEXTS["en"][TITLE_FINISHED], TEXTS["en"][FINISHED])
        assert [(children[i]["role"], children[i]["name"]) for i in (CLOSE, INSTALL_BUTTON, SENTENCE)] == \
            [(PUSH_BUTTON, "Close"), (PUSH_BUTTON, "Install"), (STATIC_TEXT, TEXTS["en"][FINISHED])]
        assert children[PROGRESS]["role"] == PROGRESS_BAR and children[PROGRESS]["state"] & INVISIBLE
        assert client["focus"] == INSTALL_BUTTON and children[INSTALL_BUTTON]["state"] & (FOCUSED | DEFAULT)
        probe_window(wine, tools, f"find:{CLASS}:1000", "keys:TAB")
        assert read(wine, tools)[0]["focus"] == CLOSE
        probe_window(wine, tools, f"find:{CLASS}:1000", "keys:SHIFT-TAB")
        assert read(wine, tools)[0]["focus"] == INSTALL_BUTTON
        assert not (target.parent / "received.txt").exists()  # the Enter pressed early started nothing
        probe_window(wine, tools, f"find:{CLASS}:1000", "keys:ENTER")
        assert ended()["code"] == 0
    runs = wait_for(lambda: records(target.parent / "received.txt"))
    assert len(runs) == 1 and wine.win_path(target).lower() in runs[0]["cmdline"].lower()
    # The daily run's version query alone: no statistics report, and "rday" as it was.
    assert sent(server) == [("version", None), ("file", None)]
    d = datetime.date.today()
    assert dict(server.requests[0]["params"])["rday"] == f"{d.year}-{d.month}-{d.day}"
    assert [k for k, _ in server.requests[0]["params"]] == VERSION_KEYS
    assert wine.reg_texts()["rday"] == "2001-1-1"


def test_update_window_opens_at_once_and_closes_at_once(wine, display, tools, server, person):
    server.set_config({"faults": {"version": {"silent": True}}})
    with agent(wine, tools / "quenvodata.exe", lang="zh") as ended:
        found = probe_window(wine, tools, f"find:{CLASS}:10000")["find"]
        assert found["ms"] < 2000
        assert read(wine, tools)[1][SENTENCE]["name"] == "正在检查更新..."
        gone = probe_window(wine, tools, f"find:{CLASS}:1000", "keys:ESC", "gone:1000")["gone"]
        assert gone["gone"] and gone["ms"] < 1000
        assert ended(5)["code"] == 0
    assert sent(server) == [("version", None)]


# case: (the server's config, or the policy, and the tail; the text the window ends with, in
# which language; what goes over the wire; whether a file is left in the temporary folder)
OUTCOMES = {
    "nothing newer": ({"v": "1.0.0.3"}, "zh", UP_TO_DATE, [("version", None)]),
    "a garbage reply": ({"version_body": "<html>busy</html>"}, "en", CHECK_FAILED, [("version", None)]),
    "a silent server": ({"faults": {"version": {"silent": True}}}, "en", CHECK_FAILED, [("version", None)]),
    "the check turned off by policy": ("policy", "en", MANAGED, []),
    "a download that ends short": ({"faults": {"file": {"close_early": True}}}, "en", DOWNLOAD_FAILED,
                                   [("version", None), ("file", None)]),
    "closed while it downloads": ({"faults": {"file": {"hold_at": 0.5}}}, "en", DOWNLOADING,
                                  [("version", None), ("file", None)]),
    "an unsigned installer": ({"u": "http://dl.quenvo.com/f/unsigned.exe"}, "en", REFUSED,
                              [("version", None), ("file", None)]),
    "another publisher's installer": ({"u": "http://dl.quenvo.com/f/someone-else.exe"}, "zh", REFUSED,
                                      [("version", None), ("file", None)]),
}


@pytest.mark.parametrize("config, lang, text, wire", OUTCOMES.values(), ids=OUTCOMES.keys())
def test_update_answers_every_outcome_in_words(wine, display, tools, server, short_build, person, config, lang, text,
                                               wire):
    offer, target = person
    if config == "policy":
        wine.set_value("DisableUpdateCheck", "1", "REG_DWORD", key=r"Software\Policies\quenvo")
        config = {}
    config = dict(offer, **config)
    silent = config.get("faults", {}).get("version", {}).get("silent")
    server.set_config(config)
    # Against a silent server, the agent with 2 s time-outs.
    exe = install(wine, "update tools", (short_build.bin / "quenvodata.exe", "quenvodata_short.exe")) / \
        "quenvodata_short.exe" if silent else tools / "quenvodata.exe"
    try:
        with agent(wine, exe, lang=lang) as ended:
            start = time.monotonic()
            wait_read(wine, tools, says(TEXTS[lang][text]), timeout=15)
            assert time.monotonic() - start < (8 if silent else 5)  # the request's bound: 2 s twice, and one more
            if text == DOWNLOADING:  # half of it written when it is closed
                wait_read(wine, tools, lambda client, children: children[PROGRESS]["value"] not in (None, "0%"))
                assert target.exists()
            probe_window(wine, tools, f"find:{CLASS}:1000", "keys:ESC", "gone:2000")
            assert ended(5)["code"] == 0
    finally:
        wine.reg("delete", r"HKCU\Software\Policies\quenvo", "/f")
    assert sent(server) == wire
    assert wine.reg_texts()["rday"] == "2001-1-1"
    assert not (target.parent / config["u"].rsplit("/", 1)[1]).exists()  # nothing left, nothing started
    assert not (target.parent / "received.txt").exists()


def test_two_requests_at_one_instant_open_one_window_and_ask_once(wine, display, tools, server, person):
    server.set_config({"v": "1.0.0.3"})
    with agent(wine, tools / "quenvodata.exe", count=2) as ended:
        wait_read(wine, tools, says(TEXTS["en"][UP_TO_DATE]))
        # The second start has made its choice once it has ended.
        assert wait_for(lambda: len(wine.running("quenvodata.exe")) == 1)
        assert probe_window(wine, tools, f"find:{CLASS}:1000")["find"]["count"] == 1
        probe_window(wine, tools, f"find:{CLASS}:1000", "keys:ESC")
        assert ended()["codes"] == [0, 0]
    assert sent(server) == [("version", None)]


def test_daily_run_with_an_offer_opens_no_window(wine, display, tools, server, person):
    offer, target = person
    server.set_config(offer)
    with agent(wine, tools / "quenvodata.exe", tail="data=run") as ended:
        # Looked for through the agent's whole run (a fraction of this), which then ends by itself.
        assert probe_window(wine, tools, f"find:{CLASS}:1000")["find"]["found"] is False
        assert ended()["code"] == 0
    assert sent(server) == [("report", "dayrun"), ("report", "run"), ("version", None)]
