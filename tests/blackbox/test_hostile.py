"""Hostile input for every program: odd registry states and command lines. Whatever comes,
the exit code is 0, nothing crashes, and the first-run facts ("fday", "fver", "ch") are
never lost: a readable stored value is left exactly as it was."""
import pytest

from tools.testkit.net import closed_port
from tools.testkit.profile import raw_sz, set_state, sz
from tools.testkit.wine import assert_sound, install, records, wait_for

KEPT = ("fday", "fver", "ch")
NAMES = ("fday", "fver", "ch", "setup", "os", "install", "rday")


def every(value):
    return {name: value for name in NAMES}


# name: values under HKCU\Software\quenvo in .reg syntax (None: the key is missing).
REGISTRY_STATES = {
    "key missing": None,
    "all empty": every(sz("")),
    "all 259 units": every(sz("7" * 259)),
    "all 260 units": every(sz("7" * 260)),
    "all overlong": every(sz("x" * 5000)),
    "all dword 1": every("dword:00000001"),
    "all dword 0": every("dword:00000000"),
    "all binary": every("hex:de,ad,be,ef,00,41"),
    "all one odd byte": every("hex:41"),
    "all multi-string": every("hex(7):61,00,00,00,62,00,00,00,00,00"),
    "all expandable": every('hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00'),
    "all qword": every("hex(b):01,02,03,04,05,06,07,08"),
    "all no type": every("hex(0):"),
    "sz without terminator": every(raw_sz("2020-1-1".encode("utf-16-le"))),
    "sz with embedded NUL": every(raw_sz("ab\0cd".encode("utf-16-le") + b"\0\0")),
    "sz odd byte count": every(raw_sz(b"a\0b")),
    "non-ASCII texts": {"fday": sz("二〇二六年"), "fver": sz("版本é"), "ch": sz("渠道"),
                        "setup": sz("C:\\下载\\quenvo_ch88.exe"), "os": sz("Ωs")},
    "control characters": every(raw_sz("a\x01\x1f\x7fb\r\n".encode("utf-16-le") + b"\0\0")),
    "lone surrogates": every(raw_sz("\ud800x\udfff".encode("utf-16-le", "surrogatepass") + b"\0\0")),
    "setup with many markers": {"setup": sz("quenvo_ch1.exe" * 17), "fver": sz("1.0")},
    "setup with query characters": {"setup": sz("a b&c=d%20+quenvo_ch#1.exe"), "fday": sz("2001-1-1")},
    "install and rday odd": {"install": sz("0"), "rday": sz("yesterday"), "fday": sz("2020-2-2"),
                             "fver": sz("2.0.0.1"), "ch": sz("77")},
    "install and rday far future": {"install": sz("no"), "rday": sz("9999-99-99"), "ch": sz("ABC")},
}

# Tails after the program's quoted path.
COMMAND_TAILS = [
    "", " ", "\t\t", '"', '""', '"""', '"unterminated', "a\"b\"c", "x" * 32000,
    '"C:\\' + "d" * 300 + '\\file.docx"', "\\\\server\\share\\a b.docx", "\\\\?\\C:\\a.doc",
    "%1 %PATH% %%", "^& | < > ( )", "data=", "data=run data=install", "Data=install",
    "文档 — ü.docx", "\U0001F600.xlsx", "\x01\x02\x03", "line\nbreak", "trailing\\", "-- /? -h",
]


# program: (its file, what is installed beside it, the tail of an ordinary start)
PROGRAMS = {
    "launcher": ("Quenvodef.exe", [("fake_quenvo.exe", "quenvo.exe")], "a.docx"),
    "agent": ("quenvodata.exe", [], "data=run"),
    "registrar": ("quenvocommon.exe", ["FileAssociation.dll", "Quenvodef.exe"], ""),
}


@pytest.fixture(scope="module")
def installed(wine):
    """Each program in a folder of its own; the agent's proxy is a closed port, so its
    requests fail at once."""
    wine.set_proxy(closed_port())
    return {name: install(wine, f"hostile/{name} folder", exe, *extra) / exe
            for name, (exe, extra, _) in PROGRAMS.items()}


def readable(kind, data):
    """What the programs read from a stored value of any type: its bytes as text up to the
    first NUL, when that fits."""
    units = data[: len(data) // 2 * 2].decode("utf-16-le", "surrogatepass")
    text = units.split("\0", 1)[0]
    return text if len(text) < 260 else ""


def survives(wine, exe, state, tail):
    """Runs exe with tail on the profile state: a sound end, and the first-run facts kept."""
    set_state(wine, state)
    before = wine.reg_values()
    assert_sound(wine.run_measured(exe, f'"{wine.win_path(exe)}" {tail}'))
    after = wine.reg_values()
    for name in KEPT:
        if name in before and readable(*before[name]):
            assert after.get(name) == before[name], f"{name} was changed"
        elif name in after and after[name] != before.get(name):
            kind, data = after[name]
            assert kind == 1 and readable(kind, data), f"{name} was not given a sound default"


@pytest.mark.parametrize("program", PROGRAMS)
@pytest.mark.parametrize("state", REGISTRY_STATES.values(), ids=REGISTRY_STATES.keys())
def test_program_survives_registry_state(wine, installed, program, state):
    survives(wine, installed[program], state, PROGRAMS[program][2])


@pytest.mark.parametrize("program", ["agent", "registrar"])
@pytest.mark.parametrize("tail", COMMAND_TAILS, ids=range(len(COMMAND_TAILS)))
def test_program_survives_command_line(wine, installed, program, tail):
    survives(wine, installed[program], {"fday": sz("2020-1-1"), "fver": sz("1.0"), "ch": sz("9")}, tail)


@pytest.mark.parametrize("tail", COMMAND_TAILS, ids=range(len(COMMAND_TAILS)))
def test_launcher_passes_any_command_line_on(wine, installed, tail):
    exe = installed["launcher"]
    received = exe.parent / "received.txt"
    received.unlink(missing_ok=True)
    line = f'"{wine.win_path(exe)}" {tail}'
    assert_sound(wine.run_measured(exe, line))
    started = wait_for(lambda: records(received))
    assert len(started) == 1, f"quenvo.exe was started {len(started)} times"
    expected = line[len(f'"{wine.win_path(exe)}"'):].lstrip("".join(map(chr, range(1, 33))))
    assert started[0]["cmdline"].endswith(expected)


# (mode, count): (exit code, the report's lines after the guard). A canary run over, or a fortified
# call asked to overflow, ends the process at once: nothing of it runs after, not even atexit.
OVERRUNS = {
    ("stack", 16): (0, ["survived", "atexit"]),
    ("stack", 48): (0xC0000409, []),
    ("memcpy", 8): (0, ["survived", "atexit"]),
    ("memcpy", 9): (0xC0000409, []),
}


@pytest.mark.parametrize("overrun", OVERRUNS, ids=[f"{mode} {count}" for mode, count in OVERRUNS])
def test_overrun_ends_the_process(wine, overrun):
    """Two starts of the probe, each ending as the table says, with a nonzero guard of its own."""
    probe, report = wine.build.testbin / "guard_probe.exe", wine.drive_c / "guard.txt"
    guards = set()
    for _ in range(2):
        report.unlink(missing_ok=True)
        run = wine.run_measured(probe, f'"{wine.win_path(probe)}" "{wine.win_path(report)}" {overrun[0]} {overrun[1]}')
        guard, *after = report.read_text().splitlines()
        assert (run["code"], after) == OVERRUNS[overrun], run["output"][-2000:]
        guards.add(int(guard.removeprefix("guard "), 16))
    assert len(guards) == 2 and 0 not in guards, f"guards of two starts: {guards}"
