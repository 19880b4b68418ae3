"""The update window of "quenvodata.exe /update" used as a person uses it, from other programs of the
prefix: the agent started in the background, the window seen through the screen and real keys
(window_probe.exe), and read as a screen reader reads it (accessible_tree.exe). The tests and the
demo share these; `tools` is the folder that holds both tools."""
import contextlib
import copy
import threading

from tools.testkit.wine import records, wait_for, wrote

LOCALES = {"zh": "zh_CN.UTF-8", "en": "en_US.UTF-8"}


def speaking(wine, lang):
    """The prefix, for programs started in a language's locale: Wine takes the UI language from it."""
    speaker = copy.copy(wine)
    speaker.env = dict(wine.env, LC_ALL=LOCALES[lang], LANG=LOCALES[lang])
    return speaker


CLASS = "QuenvoUpdateDown"
PUSH_BUTTON, PROGRESS_BAR, STATIC_TEXT = 43, 48, 41  # MSAA roles
INVISIBLE, FOCUSED, DEFAULT = 0x8000, 0x4, 0x100  # MSAA states
CLOSE, INSTALL_BUTTON, PROGRESS, SENTENCE = 1, 2, 3, 4  # the window's accessible children


@contextlib.contextmanager
def agent(wine, exe, tail="/update", lang="en", count=1):
    """Starts the agent (count copies at one instant) and yields a function that waits for its end
    and returns rawrun's measures; a copy still running at the end is ended."""
    outcome = {}

    def run():
        try:
            outcome.update(speaking(wine, lang).run_measured(exe, f'"{wine.win_path(exe)}" {tail}', count=count))
        except Exception as error:  # noqa: BLE001 - reported by the waiting test
            outcome["error"] = error

    thread = threading.Thread(target=run, daemon=True)
    thread.start()

    def ended(timeout=30):
        thread.join(timeout)
        assert not thread.is_alive() and "error" not in outcome, outcome.get("error", "the agent is still running")
        return outcome
    try:
        yield ended
    finally:
        if thread.is_alive():
            wine.start(["taskkill", "/f", "/im", exe.name])
            thread.join(30)


def probe_window(wine, tools, *steps):
    """The window probe's events by name (the last of each), for the agent's window."""
    report = tools / "probe.jsonl"
    report.unlink(missing_ok=True)
    code, output = wine.start([tools / "window_probe.exe", wine.win_path(report), *steps])
    events = {e["event"]: e for e in records(report)}
    assert code == 0, (events, output[-2000:])
    return events


def read(wine, tools, *options):
    """The window as a screen reader reads it: the client's line, then {child id: line}, and the rest."""
    out = tools / "tree.jsonl"
    out.unlink(missing_ok=True)
    wine.start([tools / "accessible_tree.exe", CLASS, "--wait", "10000", "--out", wine.win_path(out), *options],
               proof=wrote(out))
    lines = records(out)
    reads = [line for line in lines if line.get("read") == 1]
    assert reads and lines[-1].get("end") == "found", lines
    return reads[0], {line["child"]: line for line in reads[1:]}, lines


@contextlib.contextmanager
def listening(wine, tools, until):
    """Hears the window's WinEvents, as a screen reader does, while the body runs and until the
    event `until` ("name:child"); yields the list that then holds them."""
    out, heard = tools / "events.jsonl", []
    out.unlink(missing_ok=True)
    listener = threading.Thread(target=wine.start, daemon=True, args=(
        [tools / "accessible_tree.exe", CLASS, "--events", "20000", "--until", until, "--out", wine.win_path(out)],),
        kwargs={"proof": wrote(out)})
    listener.start()
    assert wait_for(lambda: any(line.get("recording") for line in records(out))), records(out)
    yield heard
    listener.join(30)
    lines = records(out)
    assert lines[-1].get("until") is True, lines
    heard.extend(line for line in lines if "event" in line)


def wait_read(wine, tools, test, timeout=20):
    """Reads the window until test(client, children) holds."""
    seen = []
    found = wait_for(lambda: (seen.append(read(wine, tools)[:2]) or test(*seen[-1])) and seen[-1], timeout=timeout)
    assert found, seen[-1]
    return found


def says(text):
    return lambda client, children: children[SENTENCE]["name"] == text
