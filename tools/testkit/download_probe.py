"""The download thread's work run through update_download_probe.exe, which hands it a
recorder window and writes each message the window got as a JSON line, then a "done" line."""
import json

from tools.testkit.wine import assert_sound


def probe(wine, exe, url, target, size, out=None, timeout=120):
    """Downloads url into target (size: the offered size, as text), with the messages written to
    out (by default beside target); returns (messages as (kind, wParam, lParam), the done line,
    seconds)."""
    out = out or target.parent / "messages.jsonl"
    out.unlink(missing_ok=True)
    tail = f'"{url}" "{wine.win_path(target)}" "{size}" "{wine.win_path(out)}"'
    run = wine.run_measured(exe, f'"{wine.win_path(exe)}" {tail}', timeout=timeout)
    assert_sound(run)
    lines = [json.loads(line) for line in out.read_text().splitlines()]
    assert lines[-1]["msg"] == "done"
    assert all(m["window_thread"] for m in lines[:-1]), "messages must be handled on the window's thread"
    return [(m["msg"], m["w"], m["l"]) for m in lines[:-1]], lines[-1], run["micros"] / 1e6
