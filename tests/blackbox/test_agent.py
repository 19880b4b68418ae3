"""quenvodata.exe under Wine against the local dev server, reached as the prefix's system
proxy: which reports and queries go out for each command line, what they carry, what the
registry holds afterwards, and what an update offer does to the temporary folder."""
import datetime
import hashlib
import os
import re
import shutil
import subprocess
import xml.etree.ElementTree as ET
from collections import Counter
from pathlib import Path

import pytest

from tools.testkit.dev_server import report_flag
from tools.testkit.profile import today
from tools.testkit.net import closed_port
from tools.testkit.wine import REPO, install

INSTALL_KEYS = ["mid", "os", "c", "fn", "reg", "t", "version", "fver", "fday", "uac", "flag"]
RUN_KEYS = ["mid", "os", "c", "fn", "reg", "t", "version", "fver", "fday", "rday", "uac", "flag"]
VERSION_KEYS = ["mid", "os", "c", "fn", "t", "version", "fver", "fday", "rday", "uac"]
INSTALL = [("report", "install")]
UNINSTALL = [("report", "uninstall")]
FIRST_RUN = [("report", "dayrun"), ("report", "run"), ("version", None)]
NOTHING = []
SETUP_NAME = "agent_test_setup.exe"
OFFER = {"v": "2", "t1": "New version", "t2": "Faster", "t3": "Safer",
         "u": f"http://dl.quenvo.com/f/{SETUP_NAME}", "sz": "4096"}


def md5(text):
    return hashlib.md5(text.encode("cp1252")).hexdigest()


def signature(mid, os_name, channel, event):
    return report_flag(mid, os_name, channel, event, "cp1252")  # the agent hashes ANSI text


def events(requests):
    return [(r["kind"], dict(r["params"]).get("reg")) for r in requests]


class Agent:
    """The installed agent, the server it reports to, and the prefix it runs in."""

    def __init__(self, wine, server, exe):
        self.wine, self.server, self.exe = wine, server, exe
        self.seconds = None  # how long the last run took

    def run_raw(self, command_line, exe=None):
        """Runs the agent with exactly command_line; returns the requests the server saw."""
        before = len(self.server.requests)
        code, self.seconds = self.wine.run_raw(exe or self.exe, command_line)
        assert code == 0
        return self.server.requests[before:]

    def run(self, tail, exe=None):
        """Runs the agent (or exe) with its quoted path and tail."""
        exe = exe or self.exe
        return self.run_raw(f'"{self.wine.win_path(exe)}" {tail}', exe)


@pytest.fixture(scope="module")
def agent(wine, server):
    return Agent(wine, server, install(wine, "Program Files/quenvo agent", "quenvodata.exe") / "quenvodata.exe")


@pytest.fixture
def fresh(agent):
    """A user on whom the agent has not run yet, and a server with no offer."""
    agent.server.set_config({})
    agent.wine.clear_profile()
    return agent


# --- command dispatch ------------------------------------------------------------------------

# Command lines, with {exe} for the agent's path.
@pytest.mark.parametrize("line, expected", [
    ('"{exe}" data=install', INSTALL),
    ('"{exe}" data=installrun', INSTALL),            # the install test comes first
    ('"{exe}" data=uninstall', UNINSTALL),
    ('"{exe}" data=uninstallrun', UNINSTALL),
    ('"{exe}" data=run', FIRST_RUN),
    ('"{exe}" data=dayrun', FIRST_RUN),
    ('"{exe}" data=xrunx', FIRST_RUN),
    ('"{exe}" data=data=install', INSTALL),          # every "data=" is removed
    ('"{exe}" data=xdata=install', NOTHING),         # leaves "xinstall"
    ('"{exe}" data=inst', NOTHING),
    ('"{exe}" data=', NOTHING),
    ('"{exe}" Data=install', NOTHING),               # the prefix is case-sensitive
    ('"{exe}" data=RUN', NOTHING),
    ('"{exe}" "data=install"', NOTHING),             # begins with a quotation mark
    ('"{exe}" ', NOTHING),                           # the program's name alone
    ('"{exe}"  \t data=install', INSTALL),           # blanks and tabs behind the name are skipped
    ("", NOTHING),                                   # an empty command line, not even the name
    ('"{exe}"data=install', NOTHING),                # no blank behind the quoted name: no tail
    ("{exe} data=install", NOTHING),                 # unquoted name with blanks: its rest is the tail
])
def test_command_selects_the_reports(fresh, line, expected):
    requests = fresh.run_raw(line.format(exe=fresh.wine.win_path(fresh.exe)))
    assert events(requests) == expected
    assert all(r["flag_ok"] for r in requests if r["kind"] == "report")
    # The profile was built whatever the command: its values are there.
    assert {"fday", "fver", "ch", "os"} <= set(fresh.wine.reg_texts())


# --- what the reports carry ------------------------------------------------------------------

def check_request(request, keys, event, profile):
    """Keys in order; values from the profile as stored; flag by the server and by hashlib."""
    params = request["params"]
    assert [k for k, _ in params] == keys
    values = dict(params)
    os_name = profile.get("os", "")
    expected = {"mid": md5(os_name),  # no adapter qualifies under Wine: the digest of the name alone
                "os": os_name, "c": profile["ch"], "t": "1033", "version": "2.0.0.2", "fver": profile["fver"],
                "fday": profile["fday"], "uac": "0", "rday": today(), "reg": event}
    expected = {k: v for k, v in expected.items() if k in keys}
    assert {k: values[k] for k in expected} == expected
    if "flag" in keys:
        assert values["flag"] == signature(values["mid"], os_name, profile["ch"], "run" if event == "dayrun" else event)
        assert request["flag_ok"]
    return values


def test_reports_carry_the_profile_in_order_and_are_signed(fresh):
    fresh.wine.set_value("setup", r"C:\Down\quenvo_ch215.exe")
    sent = fresh.run("data=install") + fresh.run("data=run") + fresh.run("data=uninstall")
    profile = fresh.wine.reg_texts()
    assert profile["ch"] == "215"
    assert events(sent) == INSTALL + FIRST_RUN + UNINSTALL
    assert [r["host"] for r in sent] == ["stat.quenvo.com"] * 3 + ["update.quenvo.com", "stat.quenvo.com"]
    assert all(r["path"] == ("/version.php" if r["kind"] == "version" else "/stat.php") for r in sent)
    assert all(r["user_agent"] == "" for r in sent)
    for request in sent:
        event = dict(request["params"]).get("reg")
        keys = VERSION_KEYS if request["kind"] == "version" else INSTALL_KEYS if "install" in event else RUN_KEYS
        values = check_request(request, keys, event, profile)
        assert values["fn"] == "C%3A%5CDown%5Cquenvo%5Fch215%2Eexe"
    # Both run-family reports carry the signature of "run".
    assert dict(sent[1]["params"])["flag"] == dict(sent[2]["params"])["flag"]


def test_values_go_into_the_query_unencoded(fresh):
    fresh.wine.set_value("ch", "7&z")
    [request] = fresh.run("data=uninstall")
    assert "&c=7&z&fn=&reg=uninstall&" in request["query"]
    mid = dict(request["params"])["mid"]
    assert request["query"].endswith("&flag=" + signature(mid, "Windows7", "7&z", "uninstall"))


def test_empty_os_name_gives_an_empty_os_field(fresh, user_value):
    user_value(r"Software\Wine", "Version", "nt351")  # a Windows version with no row in the table
    [request] = fresh.run("data=install")
    assert "mid=%s&os=&c=1001&" % md5("") in request["query"]
    check_request(request, INSTALL_KEYS, "install", fresh.wine.reg_texts())
    assert fresh.wine.reg_values()["os"] == (1, b"")  # written with no data


NETWORK_CLASS = r"HKLM\SYSTEM\CurrentControlSet\Control\Network\{4D36E972-E325-11CE-BFC1-08002BE10318}"


@pytest.fixture
def many_adapters(wine):
    """Twenty more network interfaces (of type ifb), seen by a wineserver started after them:
    a running one keeps the adapter list it first read. Yields their names."""
    if os.geteuid() != 0 or not shutil.which("ip"):
        pytest.skip("adding network interfaces takes root and iproute2")
    names = [f"q{wine.build.bits}ifb{i}" for i in range(20)]  # the two builds' runs may overlap
    try:
        for name in names:
            added = subprocess.run(["ip", "link", "add", name, "type", "ifb"], capture_output=True, text=True)
            assert added.returncode == 0, added.stderr
        wine.restart_server(wine.env.get("DISPLAY"))
        yield names
    finally:
        for name in names:
            subprocess.run(["ip", "link", "del", name], capture_output=True)
        wine.restart_server(wine.env.get("DISPLAY"))


def test_an_adapter_past_the_sixteenth_identifies_the_machine(fresh, many_adapters):
    # The adapter list no longer fits 16 records; the last adapter is the first on the PCI bus.
    sysfs = Path("/sys/class/net") / many_adapters[-1]
    mac = sysfs.joinpath("address").read_text().strip().replace(":", "").upper()
    guid = "{%08X-0000-0000-0000-4E6574446576}" % int(sysfs.joinpath("ifindex").read_text())  # Wine's naming
    key = f"{NETWORK_CLASS}\\{guid}\\Connection"
    fresh.wine.reg("add", key, "/v", "PnpInstanceID", "/t", "REG_SZ", "/d", r"PCI\VEN_8086&DEV_100E\3&1", "/f")
    try:
        [request] = fresh.run("data=uninstall")
    finally:
        fresh.wine.reg("delete", f"{NETWORK_CLASS}\\{guid}", "/f")
    assert dict(request["params"])["mid"] == md5(mac + "Windows7")


def test_manifest_lets_the_agent_see_windows_10(fresh, user_value):
    user_value(r"Software\Wine", "Version", "win10")  # the Windows version that Wine reports
    [request] = fresh.run("data=uninstall")
    assert dict(request["params"])["os"] == "Windows10" == fresh.wine.reg_texts()["os"]
    assert request["flag_ok"]


# --- install once per user -------------------------------------------------------------------

def test_install_report_is_sent_once_per_user(fresh):
    assert events(fresh.run("data=install")) == INSTALL
    assert fresh.wine.reg_values()["install"] == (1, "1\0".encode("utf-16-le"))
    assert fresh.run("data=install") == []
    assert events(fresh.run("data=uninstall")) == UNINSTALL
    assert fresh.run("data=install") == []                    # install, uninstall, install: one report
    assert events(fresh.run("data=uninstall")) == UNINSTALL  # every uninstall is sent
    assert fresh.wine.reg_texts()["install"] == "1"


@pytest.mark.parametrize("mark", ["0", "no", "1"])
def test_any_install_mark_suppresses_the_report(fresh, mark):
    fresh.wine.set_value("install", mark)
    assert fresh.run("data=install") == []
    assert fresh.wine.reg_texts()["install"] == mark


def test_marks_are_written_even_when_the_server_is_unreachable(fresh):
    fresh.run("data=uninstall")  # the profile's own values, as the next runs find them
    before = fresh.wine.reg_texts()
    fresh.wine.set_proxy(closed_port())
    try:
        for tail in ("data=install", "data=run", "data=uninstall"):
            assert fresh.run(tail) == []
        texts = fresh.wine.reg_texts()
    finally:
        fresh.wine.set_proxy(fresh.server.port)
    assert texts["install"] == "1" and texts["rday"] == today()
    kept = ("fday", "fver", "ch", "os")
    assert {k: texts[k] for k in kept} == {k: before[k] for k in kept}
    # Both count as done: back online, the install is not repeated, the day is not either.
    assert fresh.run("data=install") == []
    assert events(fresh.run("data=run")) == [("report", "dayrun")]


# --- the daily run ---------------------------------------------------------------------------

def test_run_report_and_version_query_once_a_day(fresh):
    assert events(fresh.run("data=run")) == FIRST_RUN
    assert fresh.wine.reg_texts()["rday"] == today()
    assert events(fresh.run("data=run")) == [("report", "dayrun")]
    fresh.wine.set_value("rday", "2001-2-3")
    assert events(fresh.run("data=xrunx")) == FIRST_RUN
    assert fresh.wine.reg_values()["rday"] == (1, (today() + "\0").encode("utf-16-le"))


# --- several agents at once ------------------------------------------------------------------

# Six agents of one user started at one instant, as six documents opened together start them,
# against a server that answers at once or, like a real one, after 0.3 s: each mark is claimed once.
@pytest.mark.parametrize("delay", [0, 0.3], ids=["answers-at-once", "answers-after-0.3s"])
@pytest.mark.parametrize("tail, marks, sent, marked", [
    ("data=install", {}, {("report", "install"): 1}, {"install": "1"}),
    ("data=run", {"rday": "2001-2-3"}, {("report", "dayrun"): 6, ("report", "run"): 1, ("version", None): 1},
     {"rday": today()}),
], ids=["install-on-a-fresh-account", "run-on-a-new-day"])
def test_agents_started_together_claim_each_mark_once(fresh, delay, tail, marks, sent, marked):
    for name, text in marks.items():
        fresh.wine.set_value(name, text)
    fresh.server.set_config({"faults": {"stat": {"delay": delay}, "version": {"delay": delay}}})
    before = len(fresh.server.requests)
    run = fresh.wine.run_measured(fresh.exe, f'"{fresh.wine.win_path(fresh.exe)}" {tail}', count=6)
    assert run["codes"] == [0] * 6
    assert Counter(events(fresh.server.requests[before:])) == sent
    assert {name: fresh.wine.reg_texts().get(name) for name in marked} == marked
    # The claiming agent's requests (those sent once) came in their order and, where each reply
    # takes a while, one after another.
    once = [e for e in sent if sent[e] == 1]
    assert [e for e in events(fresh.server.requests[before:]) if e in once] == once
    assert not delay or run["micros"] >= delay * 1e6 * len(sent)


# --- the update offer ------------------------------------------------------------------------

@pytest.fixture
def target(agent):
    """A file where an offered installer would be stored; the offer deletes it."""
    path = agent.wine.temp_folder() / SETUP_NAME
    path.write_bytes(b"old installer")
    yield path
    path.unlink(missing_ok=True)


# An offer and a filler of 1.5 MiB, for the reply's limit of 1 MiB.
FIELDS, FILLER = f"v=2**u={OFFER['u']}**".encode(), b"x" * (1536 * 1024)


def first_run_with(agent, **config):
    agent.server.set_config(config)
    agent.wine.reg("delete", r"HKCU\Software\quenvo", "/v", "rday", "/f")  # the day's run not made yet
    requests = agent.run("data=run")
    assert events(requests) == FIRST_RUN
    return requests


@pytest.mark.parametrize("config, offered", [
    (dict(OFFER, v="1.0.0.4"), True),
    (dict(OFFER, v="2"), True),
    (dict(OFFER, v="1.0.0.3"), False),
    (dict(OFFER, v="1.0.0.10"), False),      # compared as text, not by number
    ({"version_body": f"u={OFFER['u']}**sz=1**v=1.0.0.4"}, False),   # the version lacks its "**"
    ({}, False),                             # an empty reply
    (dict(OFFER, u=f"{OFFER['u']}?ch=215&x=/y#part"), True),  # the name drops query and fragment
    ({"version_body": FILLER + FIELDS}, False),             # beyond 1 MiB: dropped, no offer
    ({"version_body": FIELDS + FILLER}, True),              # reading stops at the limit; the offer stands
], ids=["1.0.0.4", "2", "1.0.0.3", "1.0.0.10", "unclosed-1.0.0.4", "empty", "query-and-fragment",
        "past-the-reply-limit", "before-the-reply-limit"])
def test_offer_clears_the_download_target(agent, target, config, offered):
    first_run_with(agent, **config)
    assert target.exists() != offered


def test_offer_name_cannot_reach_outside_the_temporary_folder(agent, target):
    # The last segment behind "/" is "..\agent_test_victim.txt": appended to the temporary
    # folder it would name a file in the folder above.
    victim = target.parent.parent / "agent_test_victim.txt"
    victim.write_bytes(b"keep me")
    try:
        first_run_with(agent, **dict(OFFER, u=r"http://dl.quenvo.com/f/..\agent_test_victim.txt"))
        assert victim.exists()
        assert target.exists()
    finally:
        victim.unlink(missing_ok=True)


# --- server faults ---------------------------------------------------------------------------

@pytest.mark.parametrize("fault", [
    {"status": 404},
    {"status": 500},
    {"close_early": True},
    {"reset": True},
], ids=["404", "500", "close-early", "reset"])
def test_server_faults_lose_only_the_reports(fresh, target, fault):
    fresh.run("data=uninstall")  # the profile's own values, as the next runs find them
    before = fresh.wine.reg_texts()
    fresh.server.set_config(dict(OFFER, faults={"stat": fault, "version": fault}))
    assert events(fresh.run("data=install")) == INSTALL
    assert events(fresh.run("data=run")) == FIRST_RUN
    after = fresh.wine.reg_texts()
    assert {k: after[k] for k in ("fday", "fver", "ch")} == {k: before[k] for k in ("fday", "fver", "ch")}
    assert after["install"] == "1" and after["rday"] == today()
    assert target.exists()  # an error page or a cut reply holds no offer


def test_nul_byte_in_the_reply_hides_nothing(agent, target):
    body = f"v=2**t1=new\0line**u={OFFER['u']}**sz=5**".encode()
    requests = first_run_with(agent, version_body=body)
    assert requests[-1]["reply_body"].startswith("v=2**t1=new\0line")
    assert not target.exists()  # the fields behind the NUL were read


# --- time-outs -------------------------------------------------------------------------------

def test_silent_server_times_out(fresh, short_build):
    exe = install(fresh.wine, "quenvo agent short timeout", short_build.bin / "quenvodata.exe") / "quenvodata.exe"
    fresh.server.set_config(dict(OFFER, faults={"stat": {"silent": True}, "version": {"silent": True}}))
    sent = fresh.run("data=run", exe)
    # Three requests, each given up after 2 s, none retried.
    assert events(sent) == FIRST_RUN
    assert 5.0 <= fresh.seconds < 20.0, fresh.seconds
    assert fresh.wine.reg_texts()["rday"] == today()
    fresh.server.set_config({})
    assert events(fresh.run("data=install", exe)) == INSTALL


# Replies ended by the cap (fast and endless, under the 30 s time-outs, whose clock would run
# a minute a reply), by the clock (a byte every 0.5 s, in the short build: two requests of at
# most 6 s) or by their last chunk: the day's requests still follow in order, and the offer
# stands. Then the clock's own rules, in the short build: a request's reading stops 4 s after
# it began, its caller waits 6 s, and a hop (to "?again") goes out only while it is surely out
# by then, in its request's first 2 s.
AGAIN = {"stat": "http://stat.quenvo.com/stat.php?again", "version": "http://update.quenvo.com/version.php?again"}


@pytest.mark.parametrize("faults, short, seconds, offered", [
    ({"stat": {"endless": True}}, False, (0, 20), True),
    ({"stat": {"trickle": True, "interval": 0.5}}, True, (0, 2 * 6 + 5), True),
    ({"version": {"chunked": True}}, False, (0, 20), True),
    # The headers end 4.3 s after the request, past the read stop: no reply, though the offer follows at once.
    ({"version": {"head_seconds": 4.3}}, True, (4.3, 10), False),
    # The worker is held inside the send for 20 s: only the caller's full wait ends the request.
    ({"version": {"head_seconds": 20}}, True, (6, 6 + 5), False),
    # Hops answered after 1.1 s each: the second goes out at 1.1 s, a third would at 2.2 s.
    ({"version": {"redirect": AGAIN["version"], "head_seconds": 1.1}}, True, (2.2, 10), False),
    # Redirects whose bodies stream fast for 4 s: closing one reads on until the stream ends or
    # runs dry, and only then may the next hop be weighed.
    ({"stat": {"redirect": AGAIN["stat"], "endless": True, "lasting": 4}}, True, (0, 2 * 6 + 5), True),
], ids=["endless-reports", "trickling-reports", "chunked-version-reply", "headers-after-the-read-stop",
        "held-inside-the-send", "slow-redirect-loop", "redirect-with-a-streaming-body"])
def test_slow_replies_keep_the_day_in_order(fresh, target, request, faults, short, seconds, offered):
    exe = fresh.exe
    if short:
        build = request.getfixturevalue("short_build")
        exe = install(fresh.wine, "quenvo agent short timeout", build.bin / "quenvodata.exe") / "quenvodata.exe"
    fresh.server.set_config(dict(OFFER, faults=faults))
    sent = fresh.run("data=run", exe)
    assert events(r for r in sent if r["query"] != "again") == FIRST_RUN
    assert seconds[0] <= fresh.seconds < seconds[1]
    assert target.exists() != offered
    # Each hop within 2 s of its request's first, and 0.7 s to arrive.
    arrived = [(datetime.datetime.fromisoformat(r["time"]).timestamp(), r["query"] == "again") for r in sent]
    assert all(at - max(t for t, hop in arrived if not hop and t <= at) < 2.7 for at, hop in arrived if hop), arrived


def test_redirect_loop_ends_after_ten_hops(fresh):
    fresh.server.set_config({"faults": {"version": {"redirect": "http://update.quenvo.com/version.php?again"}}})
    sent = fresh.run("data=run")
    assert [r["kind"] for r in sent] == ["report", "report"] + ["version"] * 11


def test_redirect_to_another_host_is_followed(fresh):
    fresh.server.set_config({"faults": {"stat": {"redirect": "http://moved.quenvo.com/version.php?from=stat"}}})
    sent = fresh.run("data=install")
    assert [(r["host"], r["kind"]) for r in sent] == [("stat.quenvo.com", "report"), ("moved.quenvo.com", "version")]


# --- the request on the wire -----------------------------------------------------------------

def test_report_request_is_the_one_that_opening_the_url_in_one_call_sends(fresh, bare):
    """The agent opens its requests layer by layer (for the time-outs); the request must still
    be, header for header, what InternetOpenUrlW sends for the same address."""
    bare.reply = b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok"
    fresh.run("data=uninstall")
    [ours] = bare.heads
    url = ours.split(b" ")[1].decode("latin-1")   # the absolute form: the address itself
    tool = install(fresh.wine, "quenvo agent", "open_url.exe") / "open_url.exe"
    assert fresh.wine.run(tool, f'"{url}"') == 0
    [reference] = bare.heads[1:]
    assert ours.split(b"\r\n") == reference.split(b"\r\n")
    assert b"\r\nAccept: */*\r\n" in ours


# --- administrators' policy ------------------------------------------------------------------

PD = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
POLICIES = list(ET.parse(REPO / "policy" / "quenvo.admx").getroot().iter(PD + "policy"))
HIVES = {"Machine": "HKLM", "User": "HKCU"}
# The kind of request each switch stops.
STOPS = {"DisableStatistics": "report", "DisableUpdateCheck": "version"}


def gp_value(policy, state):
    """The decimal that Group Policy writes for a policy's state ("enabled", "disabled")."""
    return policy.find(f"{PD}{state}Value/{PD}decimal").get("value")


def policy_cases():
    """(registry writes, kinds of request stopped): each policy of the template in each class and
    state, as Group Policy writes it; then values that must not count, and both switches at once."""
    cases = []
    for p in POLICIES:
        at, stops = (p.get("key"), p.get("valueName")), {STOPS[p.get("valueName")]}
        for cls in ["Machine", "User"] if p.get("class") == "Both" else [p.get("class")]:
            cases += [pytest.param([(HIVES[cls], *at, "REG_DWORD", gp_value(p, state))],
                                   stops if state == "enabled" else set(), id=f"{at[1]}-{cls}-{state}")
                      for state in ("enabled", "disabled")]
        cases += [
            pytest.param([("HKLM", *at, "REG_DWORD", "0"), ("HKCU", *at, "REG_DWORD", "1")], set(),
                         id=f"{at[1]}-computer-0-over-user-1"),
            pytest.param([("HKCU", *at, "REG_SZ", "1")], set(), id=f"{at[1]}-text-1"),
            pytest.param([("HKCU", *at, "REG_DWORD", "2")], set(), id=f"{at[1]}-number-2"),
        ]
    both = [("HKLM", p.get("key"), p.get("valueName"), "REG_DWORD", gp_value(p, "enabled")) for p in POLICIES]
    return cases + [pytest.param(both, set(STOPS.values()), id="both-enabled")]


@pytest.fixture
def policy_keys(fresh):
    """Both hives' policy keys, removed after the case."""
    if fresh.wine.build.name != "win64":
        pytest.skip("the policy has no architecture of its own: the win64 run covers it")
    yield
    fresh.wine.delete_keys(f"{hive}\\{key}" for hive in HIVES.values() for key in {p.get("key") for p in POLICIES})


@pytest.mark.parametrize("writes, stopped", policy_cases())
def test_policy_from_the_template_stops_what_it_names(fresh, policy_keys, target, writes, stopped):
    assert {p.get("valueName") for p in POLICIES} == set(STOPS)  # the template names both switches
    for hive, key, name, kind, data in writes:
        code, output = fresh.wine.reg("add", f"{hive}\\{key}", "/v", name, "/t", kind, "/d", data, "/f")
        assert code == 0, output
    fresh.server.set_config(OFFER)
    sent = fresh.run("data=install") + fresh.run("data=run") + fresh.run("data=uninstall")
    assert events(sent) == [e for e in INSTALL + FIRST_RUN + UNINSTALL if e[0] not in stopped]
    assert all(r["flag_ok"] for r in sent if r["kind"] == "report")
    marks = fresh.wine.reg_texts()
    assert marks.get("install") == (None if "report" in stopped else "1")
    assert marks.get("rday") == (None if stopped == set(STOPS.values()) else today())
    assert target.exists() == ("version" in stopped)  # no offer, no target prepared
    if "report" in stopped:  # lifted: the installation made meanwhile stays unreported; a new one is
        for hive, key, name, *_ in writes:
            fresh.wine.reg("delete", f"{hive}\\{key}", "/v", name, "/f")
        assert ("report", "install") not in events(fresh.run("data=run"))
        assert events(fresh.run("data=install")) == INSTALL


@pytest.mark.parametrize("language", ["en-US", "zh-CN"])
def test_policy_text_defines_what_the_template_uses(language):
    """Each language's ADML defines the en-US one's string and presentation ids, so every id that the
    ADMX refers to; another language translates every string but the product's name."""
    def texts(lang):
        root = ET.parse(REPO / "policy" / lang / "quenvo.adml").getroot()
        return {(e.tag[len(PD):], e.get("id")): e.text for e in root.iter()
                if e.tag in (PD + "string", PD + "presentation")}
    admx = (REPO / "policy" / "quenvo.admx").read_text("utf-8")
    ours, english = texts(language), texts("en-US")
    assert ours.keys() == english.keys()
    assert set(re.findall(r"\$\((string|presentation)\.([^)]+)\)", admx)) <= ours.keys()
    if language != "en-US":
        assert [i for i in ours if i[0] == "string" and ours[i] == english[i]] == [("string", "quenvo")]
