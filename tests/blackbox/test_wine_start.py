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
