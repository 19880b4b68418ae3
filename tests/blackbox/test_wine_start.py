"""How Wine.start judges a start from what Wine gave back, with Wine's answers scripted: a lost
start is tried once more, and only a lost one."""
import pytest

from tools.testkit import wine as winekit

pytestmark = pytest.mark.native
LOADER = "\n".join(winekit.START_FAILED) + "\n"
CRASH = "wine: Unhandled page fault on read access\n"


def silent(out):  # a proof that does not read the output, as rawrun's report
    return False


# answers: what Wine gives back for each start; outcome: the answer returned, or ToolError.
@pytest.mark.parametrize("answers, proof, outcome", [
    ([(0, "ok\n")], None, (0, "ok\n")),
    ([(1, ""), (0, "\n")], None, (0, "\n")),  # silence, then an empty key's blank line
    ([(1, LOADER), (2, "wrong\n")], None, (2, "wrong\n")),  # it ran the second time, and failed
    ([(0, ""), (0, "")], None, winekit.ToolError),  # lost twice
    ([(5, "")], None, winekit.ToolError),  # an end that is not Wine's lost start
    ([(0, CRASH)], silent, winekit.ToolError),  # a crash is never started again
    ([(0, ""), (1, "")], silent, winekit.ToolError),
    ([(49, "Can't recognize 'reg import a.reg ' as an internal or external command, or batch script.\r\n"),
      (0, "ok\n")], None, (0, "ok\n")),  # cmd could not start its program
])
def test_only_a_lost_start_is_tried_again(tmp_path, monkeypatch, answers, proof, outcome):
    wine = winekit.Wine(tmp_path, winekit.Build("win64"))
    script = list(answers)
    wine.call = lambda *args, **kwargs: script.pop(0)
    monkeypatch.setattr(winekit, "LOST_STARTS", [])  # not Wine's: kept out of the run's count
    if outcome is winekit.ToolError:
        with pytest.raises(winekit.ToolError):
            wine.start(["tool.exe"], proof=proof)
    else:
        assert wine.start(["tool.exe"], proof=proof) == outcome
    assert script == []
    assert len(winekit.LOST_STARTS) == len(answers) - 1


# reports: what rawrun writes for each start; outcome: the program's exit code, or ToolError.
@pytest.mark.parametrize("reports, outcome", [
    (["error 1359", "0 5 1 1"], 0),  # Wine's loader lost the program under rawrun: started once more
    (["error 1359", "error 1359"], winekit.ToolError),  # lost twice
    (["error 2"], winekit.ToolError),  # no such file: not Wine's lost start
])
def test_a_program_lost_under_rawrun_is_started_once_more(tmp_path, monkeypatch, reports, outcome):
    wine = winekit.Wine(tmp_path, winekit.Build("win64"))
    wine.drive_c.mkdir()
    script = list(reports)

    def start(args, **kwargs):  # rawrun's part: its report, in the file its request names
        wine.unix_path(wine.unix_path(str(args[1])).read_text().splitlines()[2]).write_text(script.pop(0))
        return 0, ""
    monkeypatch.setattr(wine, "start", start)
    monkeypatch.setattr(winekit, "LOST_STARTS", [])
    if outcome is winekit.ToolError:
        with pytest.raises(winekit.ToolError):
            wine.run_measured(wine.drive_c / "agent.exe", "agent.exe")
    else:
        assert wine.run_measured(wine.drive_c / "agent.exe", "agent.exe")["code"] == outcome
    assert script == [] and len(winekit.LOST_STARTS) == len(reports) - 1
