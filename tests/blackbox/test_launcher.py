"""Quenvodef.exe under Wine: what the main program receives, and what is left in the registry."""

import pytest

from tools.testkit.profile import today
from tools.testkit.wine import install, records, wait_for


def tail_of(command_line):
    """The command-line tail: the name ends at the first character <= 0x20 outside quotes."""
    i, quoted = 0, False
    while i < len(command_line) and (quoted or ord(command_line[i]) > 0x20):
        if command_line[i] == '"':
            quoted = not quoted
        i += 1
    while i < len(command_line) and 0 < ord(command_line[i]) <= 0x20:
        i += 1
    return command_line[i:]


@pytest.fixture(scope="module")
def suite(wine):
    return install(wine, "Program Files/quenvo suite", "Quenvodef.exe", ("fake_quenvo.exe", "quenvo.exe"))


def launch(wine, suite, command_line, cwd=None):
    """Runs the launcher with a raw command line; returns what quenvo.exe recorded."""
    received = suite / "received.txt"
    received.unlink(missing_ok=True)
    assert wine.run_raw(suite / "Quenvodef.exe", command_line, cwd=cwd)[0] == 0
    started = wait_for(lambda: records(received))
    assert len(started) == 1, f"quenvo.exe was started {len(started)} times"
    return dict(started[0], tail=tail_of(started[0]["cmdline"]))


@pytest.mark.parametrize("after_name, expected_tail", [
    (' "C:\\my docs\\a b.docx"', '"C:\\my docs\\a b.docx"'),          # quoted document with blanks
    (' \t  \t"C:\\d\\x.xlsx"  ', '"C:\\d\\x.xlsx"  '),                # blanks and tabs dropped, trailing kept
    (' one "two three"  four', 'one "two three"  four'),             # several arguments, one string
    (' C:\\plain\\doc.ppt', 'C:\\plain\\doc.ppt'),                    # unquoted document
    ('', ''),                                                        # the name alone
    ('\x01\x02doc.csv', 'doc.csv'),                                  # control characters end the name too
])
def test_main_program_receives_the_tail_unchanged(wine, suite, after_name, expected_tail):
    record = launch(wine, suite, f'"{wine.win_path(suite / "Quenvodef.exe")}"{after_name}')
    assert record["tail"] == expected_tail
    assert record["cmdline"].lower().startswith(f'"{wine.win_path(suite / "quenvo.exe")}"'.lower()) or \
        record["cmdline"].lower().startswith(wine.win_path(suite / "quenvo.exe").lower())


def test_unquoted_launcher_name_ends_at_the_first_blank(wine, suite):
    # The name ends at the blank inside "Program Files"; the rest is the tail.
    record = launch(wine, suite, f'{wine.win_path(suite / "Quenvodef.exe")} doc.docx')
    assert record["tail"] == "Files\\quenvo suite\\Quenvodef.exe doc.docx"


def test_main_program_inherits_the_current_folder_and_default_show(wine, suite):
    work = wine.drive_c / "work dir"
    work.mkdir(exist_ok=True)
    record = launch(wine, suite, f'"{wine.win_path(suite / "Quenvodef.exe")}" x.doc', cwd=work)
    assert record["cwd"].rstrip("\\").lower() == wine.win_path(work).lower()
    assert record["show"] == 10  # SW_SHOWDEFAULT, whatever the launcher was given


def test_fresh_account_gets_only_fday_and_os_and_fday_is_kept(wine, suite):
    wine.clear_profile()
    launch(wine, suite, f'"{wine.win_path(suite / "Quenvodef.exe")}"')
    values = wine.reg_values()
    assert sorted(values) == ["fday", "os"]
    assert all(kind == 1 for kind, _ in values.values())  # REG_SZ
    assert wine.reg_texts() == {"fday": today(), "os": "Windows7"}
    assert wine.reg_query(r"Software\quenvo")["fday"] == ("REG_SZ", today())

    wine.set_value("fday", "2019-5-1")
    launch(wine, suite, f'"{wine.win_path(suite / "Quenvodef.exe")}" a.doc')
    assert wine.reg_texts() == {"fday": "2019-5-1", "os": "Windows7"}


def test_exit_code_is_zero_without_the_main_program(wine):
    lonely = install(wine, "lonely launcher", "Quenvodef.exe")
    assert wine.run(lonely / "Quenvodef.exe", '"a b.docx"') == 0
