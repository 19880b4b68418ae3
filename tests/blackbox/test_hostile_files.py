"""Hostile servers and files against the update downloader (through the download probe) and
the agent's update check. Odd lengths, statuses, redirects and broken transfers, and a target
that is locked by another process, a folder, read-only, or in a folder that does not exist.
Every case exits with 0 and without a crash, the messages keep their order (progress rises
within 0..100; a size check follows a failure only when the exchange itself went through),
and ends within a bound. Run times are appended to build/.../hostile-timings.txt."""
import random
import shutil
import subprocess
from contextlib import contextmanager, nullcontext

import pytest

from tools.testkit.dev_server import offer_reply, pattern
from tools.testkit.download_probe import COMPLETE, FAILED, URL, probe, result, sized, split_progress
from tools.testkit.profile import FACTS, set_texts
from tools.testkit.wine import assert_sound, install, wrote

GARBAGE = random.Random(11).randbytes(100_000)
SHORT_CASES = {"silent server", "stall mid-body"}  # they wait for the time-out


def raw_reply(head, body=b"", hold=False):
    """A reply written byte for byte by the bare server (hold: then say nothing more)."""
    return {"raw": head.replace("\n", "\r\n").encode() + b"\r\n" + body, "hold": hold}


def refused(config, reports=(FAILED,)):
    """A case in which nothing is read: a failure report and no size check."""
    return config, "5000", "none", list(reports), None


# id: (server config, offered size, progress ("none", "part" or "full"), the messages after
#      the progress, the file's bytes afterwards (None: no file; one that fails the check is deleted))
DOWNLOADS = {
    "huge file without a length": refused(sized(1 << 30, no_length=True)),
    "reset mid-body": (sized(300_000, reset=True), "300000", "part", [FAILED, result(0)], None),
    "length larger than the body": (sized(50_000, length=80_000), "50000", "part", [FAILED, result(1)],
                                    pattern(50_000)),
    "length smaller than the body": (sized(50_000, length=1000), "1000", "full", [COMPLETE, result(1)], pattern(1000)),
    "negative length": (sized(20_000, length=-1), "20000", "part", [FAILED, result(1)], pattern(20_000)),
    # Its low 32 bits read 100: the transfer must not pass for complete after 100 bytes.
    "length above 4 GiB": (sized(100, length=(1 << 32) + 100), "100", "part", [FAILED, result(1)], pattern(100)),
    "length of 20 digits": (sized(100, length=10**19), "100", "part", [FAILED, result(1)], pattern(100)),
    "length without digits": (raw_reply("HTTP/1.1 200 OK\nContent-Length: many\nConnection: close\n", b"abc"),
                              "0", "none", [COMPLETE, result(1)], b""),
    "status 204": refused(sized(5000, status=204)),
    "status 304": refused(sized(5000, status=304)),
    "status 404 with a body": refused(sized(5000, status=404, body=GARBAGE)),
    "status 500": refused(sized(5000, status=500), [FAILED, FAILED]),
    "status without digits": refused(raw_reply("HTTP/1.1 OK fine\nContent-Length: 3\n", b"abc")),
    "redirect to another host": ({"version_body_hex": GARBAGE.hex(), "faults": {"file": {
        "redirect": "http://mirror.quenvo.com/version.php?f=setup.exe"}}}, "100000", "full", [COMPLETE, result(1)],
        GARBAGE),
    "redirect without a location": refused(sized(5000, status=302)),
    "redirect to an overlong path": refused(sized(5000, redirect="http://m.quenvo.com/" + "a" * 600)),
    "redirect to an overlong address": refused(sized(5000, redirect="http://m.quenvo.com/" + "a" * 5000)),
    "redirect loop": refused(sized(10, redirect=URL)),
    "binary garbage body": (sized(1, body=GARBAGE), str(len(GARBAGE)), "full", [COMPLETE, result(1)], GARBAGE),
    "binary garbage instead of HTTP": refused({"raw": GARBAGE}),
    "silent server": refused(sized(5000, silent=True)),
    "stall mid-body": (raw_reply("HTTP/1.1 200 OK\nContent-Length: 90000\n", GARBAGE[:20_000], hold=True), "90000",
                       "part", [FAILED, result(0)], None),
}


def check_progress(messages, kind):
    """The leading progress reports rise and stay within 0..100; returns what follows them."""
    percents, rest = split_progress(messages)
    assert percents == sorted(percents) and all(0 <= p <= 100 for p in percents), percents
    assert {"none": not percents, "part": percents and percents[-1] < 100,
            "full": percents and percents[-1] == 100}[kind], percents
    return rest


@pytest.mark.parametrize("case, config, offered, progress, rest, stored", [(k, *v) for k, v in DOWNLOADS.items()],
                         ids=DOWNLOADS.keys())
def test_downloader_survives_server(wine, server, timings, downloads, request, case, config, offered, progress, rest,
                                    stored):
    short = case in SHORT_CASES
    build = request.getfixturevalue("short_build") if short else wine.build
    server.set_config({} if "raw" in config else config)
    server.requests.clear()
    if "raw" in config:
        bare = request.getfixturevalue("bare")
        bare.reply, bare.hold = config["raw"], config.get("hold", False)
    target = downloads / "setup.exe"
    messages, done, seconds = probe(wine, build.testbin / "update_download_probe.exe", URL, target, offered)
    timings(f"download: {case}", seconds)

    if case == "reset mid-body" and messages == [FAILED]:
        progress, rest, stored = "none", [FAILED], None  # the reset overtook the headers: Wine drops them
    assert check_progress(messages, progress) == rest, messages
    if stored is None:
        assert not done["file_exists"]
    else:
        assert target.read_bytes() == stored
    assert seconds < (15 if short else 10), seconds
    if case == "redirect loop":
        assert len(server.requests) == 11


# --- file faults ------------------------------------------------------------------------------

@contextmanager
def held(wine, path):
    """Keeps path open with no sharing from a Windows process of its own, which writes a marker
    once it holds the file and ends once the marker is gone."""
    marker = path.with_name(path.name + ".held")
    proc = wine.start([wine.build.testbin / "hold_file.exe", wine.win_path(path), wine.win_path(marker), "60"],
                      proof=wrote(marker), background=True)
    try:
        yield
    finally:
        marker.unlink(missing_ok=True)
        proc.wait(timeout=30)


@contextmanager
def occupied(wine, path, how, content=b"old!" * 1000):
    """The target path taken by something: a plain, locked or read-only file, or a folder."""
    if how == "folder":
        path.mkdir()
        (path / "inside.txt").write_bytes(content)
    elif how != "missing folder":
        path.write_bytes(content)
    if how == "read-only":
        path.chmod(0o444)
    try:
        with held(wine, path) if how == "locked" else nullcontext():
            yield
    finally:
        if how == "read-only":
            path.chmod(0o644)


def intact(path, how, content=b"old!" * 1000):
    if how == "folder":
        return path.is_dir() and (path / "inside.txt").read_bytes() == content
    return path.is_file() and path.read_bytes() == content


# how: (offered size, length served, the messages); creation fails, so nothing is read and the
# size check looks at whatever is at the path (a folder or nothing: size 0).
TARGETS = {
    "locked": ("4000", 5000, [FAILED, result(1)]),
    "read-only": ("4000", 5000, [FAILED, result(1)]),
    "folder": ("4000", 5000, [FAILED, result(0)]),
    "folder, empty body": ("4000", 0, [COMPLETE, result(0)]),
    "missing folder": ("4000", 5000, [FAILED, result(0)]),
    # An offered size of 0 must not pass for a folder or for no file at all.
    "folder, offered size 0": ("0", 5000, [FAILED, result(0)]),
    "missing folder, offered size 0": ("0", 5000, [FAILED, result(0)]),
}


@pytest.mark.parametrize("how, offered, length, rest", [(k.split(",")[0], *v) for k, v in TARGETS.items()],
                         ids=TARGETS.keys())
def test_downloader_never_overwrites_an_occupied_target(wine, server, timings, downloads, request, how, offered,
                                                        length, rest):
    server.set_config(sized(length))
    target = downloads / ("missing" if how == "missing folder" else "") / "setup.exe"
    with occupied(wine, target, how):
        messages, done, seconds = probe(wine, wine.build.testbin / "update_download_probe.exe", URL, target, offered)
        assert check_progress(messages, "none") == rest, messages
        assert intact(target, how) if how != "missing folder" else not target.parent.exists()
    timings(f"download target: {request.node.callspec.id}", seconds)
    assert seconds < 10


@pytest.fixture(scope="module")
def agent(wine):
    return install(wine, "hostile/agent files", "quenvodata.exe") / "quenvodata.exe"


def run_offer(wine, server, timings, agent, case):
    """A first run of the day whose version reply offers hostile_target.exe."""
    server.set_config({"version_body_hex": offer_reply(u="http://dl.quenvo.com/f/hostile_target.exe").hex()})
    server.requests.clear()
    set_texts(wine, FACTS)
    run = wine.run_measured(agent, f'"{wine.win_path(agent)}" data=run')
    assert_sound(run)
    seconds = run["micros"] / 1e6
    timings(f"agent target: {case}", seconds)
    assert [r["kind"] for r in server.requests] == ["report", "report", "version"]
    assert {name: wine.reg_texts().get(name) for name in FACTS} == FACTS
    assert seconds < 20


# how: whether the deletion before the offer is recorded clears it.
@pytest.mark.parametrize("how, cleared", [("plain", True), ("locked", False), ("read-only", False), ("folder", False)])
def test_agent_offer_keeps_an_undeletable_target(wine, server, timings, agent, how, cleared):
    target = wine.temp_folder() / "hostile_target.exe"
    try:
        with occupied(wine, target, how):
            run_offer(wine, server, timings, agent, how)
            assert (not target.exists()) if cleared else intact(target, how)
    finally:
        subprocess.run(["rm", "-rf", str(target)], check=True)


LONG_TEMP = "C:\\hostile long temp\\" + "t" * 200 + "\\" + "u" * 90


@pytest.mark.parametrize("folder", ["C:\\hostile missing temp", LONG_TEMP], ids=["missing", "longer than 260"])
def test_agent_offer_with_an_odd_temporary_folder(wine, server, timings, agent, user_value, folder):
    """TEMP and TMP of the user's environment point at a folder that is not there, or at one
    whose path does not fit 260 units. For the latter Wine's GetTempPathW answers 0 whatever
    the buffer (Windows would name the length needed), so no target is prepared there."""
    temp = wine.unix_path(folder)
    if folder == LONG_TEMP:
        temp.mkdir(parents=True)
        (temp / "hostile_target.exe").write_bytes(b"old")
    for name in ("TEMP", "TMP"):
        user_value("Environment", name, folder)
    try:
        assert wine.temp_folder() == temp
        run_offer(wine, server, timings, agent, f"temp {'long' if folder == LONG_TEMP else 'missing'}")
        assert (temp / "hostile_target.exe").exists() == (folder == LONG_TEMP)
    finally:
        shutil.rmtree(wine.drive_c / "hostile long temp", ignore_errors=True)
