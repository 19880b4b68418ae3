"""Hostile servers against the real agent: odd replies, statuses, redirects and broken
transfers on the reports and the version query. Every case exits with 0 without a crash,
ends within the agent's time-outs (a reply without end within its request's own bound), writes
its one-time mark, keeps "fday", "fver" and "ch", and never deletes a file outside the temporary
folder. The run time of every case goes to build/.../hostile-timings.txt."""
import random

import pytest

from tools.testkit.dev_server import offer_reply as offer
from tools.testkit.profile import FACTS, set_texts, today
from tools.testkit.wine import assert_sound, install

STAT, UPDATE = "http://stat.quenvo.com", "http://update.quenvo.com"
GARBAGE = random.Random(7).randbytes(64 * 1024)


def version_body(body):
    return {"version_body_hex": body.hex()}


def version_fault(**fault):
    return {"faults": {"version": fault}}


def report_fault(**fault):
    return {"faults": {"stat": fault}}


# id: (command, server config, needs the short-time-out build)
CASES = {
    "huge body": ("run", version_body(b"A" * (3 << 20)), False),
    "offer then huge filler": ("run", version_body(offer() + b"x" * (5 << 20)), False),
    "NUL bytes": ("run", version_body(b"v=2\0**t1=\0\0**u=http://x/a\0.exe**sz=1**\0"), False),
    "binary garbage": ("run", version_body(GARBAGE), False),
    "garbage around an offer": ("run", version_body(GARBAGE[:999] + offer() + GARBAGE), False),
    "bytes without a character": ("run", version_body(b"v=2**t1=\x81\x8d\x8f\x90\x9d**" + offer()[4:]), False),
    "fields without closing marks": ("run", version_body(b"v=2**t1=a**t2=b**t3=c**u=http://x/y.exe**sz=9"), False),
    "repeated fields": ("run", version_body(offer() + offer(u="http://x/other.exe", sz="1")), False),
    "empty fields": ("run", version_body(b"v=**t1=**t2=**t3=**u=**sz=**"), False),
    "very long address": ("run", version_body(offer(u="http://x/" + "a" * 200_000 + ".exe")), False),
    "address climbs out with ..\\": ("run", version_body(offer(u="http://x/..\\..\\sentinel.txt")), False),
    "address names a drive": ("run", version_body(offer(u="C:\\sentinel.txt")), False),
    "address with .. segment": ("run", version_body(offer(u="http://x/..")), False),
    "address with a query": ("run", version_body(offer(u="http://x/s.exe?a=../../b&c=\\d")), False),
    "address ending in a slash": ("run", version_body(offer(u="http://x/dir/")), False),
    "address without a slash": ("run", version_body(offer(u="sentinel.txt")), False),
    "address naming a device": ("run", version_body(offer(u="http://x/CON")), False),
    "address with a stream name": ("run", version_body(offer(u="http://x/s.exe:evil")), False),
    "address with control characters": ("run", version_body(offer(u="http://x/s\x01\x1f.exe")), False),
    "address with non-ASCII": ("run", version_body(offer(u="http://x/s\xe9tup.exe")), False),
    "very long version": ("run", version_body(offer(v="9" * 100_000)), False),
    "odd sizes": ("run", version_body(offer(sz="-1") + offer(sz="9" * 40)), False),
    "only marks": ("run", version_body(b"**" * 1000), False),
    "line breaks in fields": ("run", version_body(b"v=2\r\n**t1=a\r\n**u=http://x/a.exe\r\n**sz=1\n**"), False),
    "status 204": ("run", version_fault(status=204), False),
    "status 304": ("run", version_fault(status=304), False),
    "status 404 with an offer": ("run", version_fault(status=404, body=offer()), False),
    "status 500 with an offer": ("run", version_fault(status=500, body=offer()), False),
    "redirect to the same host": ("run", version_fault(redirect=f"{UPDATE}/version2.php"), False),
    "redirect to another host": ("run", version_fault(redirect="http://elsewhere.quenvo.com/version.php"), False),
    "redirect loop": ("run", version_fault(redirect=f"{UPDATE}/version.php?again"), False),
    "reset mid-body": ("run", version_fault(reset=True, body=offer() * 100), False),
    "length larger than the body": ("run", version_fault(close_early=True, body=offer() * 10), False),
    "length smaller than the body": ("run", version_fault(length=5, body=offer()), False),
    "no content-length": ("run", version_fault(no_length=True, body=offer()), False),
    "silent update server": ("run", version_fault(silent=True), True),
    "report status 500": ("install", report_fault(status=500), False),
    "report huge body": ("install", report_fault(body=b"z" * (4 << 20)), False),
    "report reset": ("install", report_fault(reset=True, body=b"ok" * 5000), False),
    "report redirect loop": ("install", report_fault(redirect=f"{STAT}/stat.php"), False),
    "report binary body": ("install", report_fault(body=GARBAGE), False),
    "report length larger than the body": ("install", report_fault(close_early=True, body=b"ok" * 100), False),
    "silent statistics server": ("run", report_fault(silent=True), True),
    # Each read ends in time, so only the request's own clock ends these (in the short build a
    # byte every 0.5 s stands for a byte every 2 s against 30 s time-outs).
    "endless version reply": ("run", version_fault(endless=True), True),
    "version reply a byte at a time": ("run", version_fault(trickle=True, interval=0.5), True),
    "endless report reply": ("install", report_fault(endless=True), True),
}
ENDLESS = ("endless", "trickle")


@pytest.fixture(scope="module")
def sentinels(wine):
    """Files outside the temporary folder that a hostile address aims at."""
    return [wine.drive_c / "sentinel.txt", wine.temp_folder().parent / "sentinel.txt"]


@pytest.mark.parametrize("command, config, short", CASES.values(), ids=CASES.keys())
def test_agent_survives_server(wine, server, timings, sentinels, request, command, config, short):
    build = request.getfixturevalue("short_build") if short else wine.build
    exe = install(wine, f"hostile/agent {build.name}", build.bin / "quenvodata.exe") / "quenvodata.exe"
    for path in sentinels:
        path.write_text("keep me")
    set_texts(wine, FACTS)
    server.set_config(config)
    measured = wine.run_measured(exe, f'"{wine.win_path(exe)}" data={command}', timeout=300)
    seconds = measured["micros"] / 1e6
    timings(request.node.callspec.id, seconds)

    assert_sound(measured)
    # Three requests at most, each bounded by the time-outs (2 s in the short build); a reply
    # without end by its request's clock (twice the time-out), and at most one read after it.
    endless = any(mode in fault for fault in config.get("faults", {}).values() for mode in ENDLESS)
    assert seconds < (2 * 2 + 2 + 5 if endless else 3 * 3 * 2 + 10 if short else 20)
    texts = wine.reg_texts()
    assert {name: texts.get(name) for name in FACTS} == FACTS
    assert texts.get("install" if command == "install" else "rday") == ("1" if command == "install" else today())
    assert all(path.exists() for path in sentinels), "a file outside the temporary folder was deleted"
