"""quenvocommon.exe under Wine: the calls it makes to FileAssociation.dll (through a recording
double), and, with the real component, double-click on a document end to end."""
import json
import shutil

import pytest

from tools.testkit.profile import today
from tools.testkit.registration import ICONS, EXTENSIONS, SHOWN, expected_shown, export, found, pointers, program, shown
from tools.testkit.wine import Build, assert_sound, install, records, wait_for

CREATE = {"call": "CreateFileAssociation", "identifier": "Quenvo2021"}
# Wine's trace of the one shell notification: SHCNE_ASSOCCHANGED with SHCNF_FLUSHNOWAIT, no items.
NOTIFIED = "trace:shell:SHChangeNotify (0x08000000,0x00003000,"


def run_traced(wine, exe):
    """Runs a registrar with the shell's calls traced; returns how often it notified the shell."""
    run = wine.run_measured(exe, f'"{wine.win_path(exe)}"', timeout=60, debug="trace+shell")
    assert_sound(run)
    assert run["micros"] < 20e6, "the registrar hung"
    return run["output"].count(NOTIFIED)


# --- the registrar against the recording double ------------------------------------------------

def registrar_folder(wine, name, double="assoc_double.dll"):
    return install(wine, name, "quenvocommon.exe", *([(double, "FileAssociation.dll")] if double else []))


@pytest.fixture(scope="module")
def contract(wine):
    return registrar_folder(wine, "Program Files/quenvo suite contract")


def run_registrar(wine, folder, config="", command_line=None, cwd=None):
    """Runs quenvocommon.exe from folder with the double configured; returns the calls it recorded."""
    calls = folder / "calls.jsonl"
    calls.unlink(missing_ok=True)
    (folder / "double.cfg").write_text(config)
    exe = folder / "quenvocommon.exe"
    assert wine.run_raw(exe, f'"{wine.win_path(exe)}"' if command_line is None else command_line, cwd=cwd)[0] == 0
    return [json.loads(line) for line in calls.read_text().splitlines()] if calls.exists() else []


def expected_calls(folder_win, associated=()):
    """What the registrar must ask and hand over, in order, for a registrar in folder_win."""
    calls = [CREATE]
    for ext in EXTENSIONS:
        calls.append({"call": "IsAssociated", "extension": ext})
        if ext not in associated:
            calls.append({"call": "Associate", "extension": ext,
                          "icon": f"{folder_win}\\icon\\{ICONS[ext]}",
                          "handler": f"{folder_win}\\Quenvodef.exe", "reserved": 0})
    return calls


@pytest.mark.parametrize("folder_name", [
    "Program Files/quenvo suite contract",
    "Programme/qu\u00e9nvo  two  blanks",   # non-ASCII and doubled blanks stay as they are
])
def test_every_unassociated_type_is_handed_over_in_table_order(wine, folder_name):
    folder = registrar_folder(wine, folder_name)
    calls = run_registrar(wine, folder)
    assert calls == expected_calls(wine.win_path(folder))
    associate = [c for c in calls if c["call"] == "Associate"]
    assert associate[1]["icon"].endswith("\\icon\\ppt.ico") and associate[6]["icon"].endswith("\\icon\\xls.ico")
    assert all('"' not in c["handler"] + c["icon"] for c in associate)


@pytest.mark.parametrize("associated", [
    EXTENSIONS,                       # all: nothing handed over
    [".pptx", ".docx", ".csv"],
    [".ppt", ".xlsx"],
])
def test_associated_types_are_left_alone(wine, contract, associated):
    calls = run_registrar(wine, contract, "associated " + " ".join(associated) + "\n")
    assert calls == expected_calls(wine.win_path(contract), associated)


@pytest.mark.parametrize("tail", [
    "",
    " data=run",
    ' /register "C:\\x y\\a.docx" --all',
    " " + "A" * 2000,
    '"unclosed quote \t tab',
])
def test_the_command_line_changes_nothing(wine, contract, tail):
    exe_win = wine.win_path(contract / "quenvocommon.exe")
    calls = run_registrar(wine, contract, "associated .doc\n", command_line=f'"{exe_win}"{tail}')
    assert calls == expected_calls(wine.win_path(contract), [".doc"])


def test_the_unquoted_name_and_another_current_folder_change_nothing(wine, contract):
    elsewhere = wine.drive_c / "some other dir"
    elsewhere.mkdir(exist_ok=True)
    line = wine.win_path(contract / "quenvocommon.exe") + " x"   # ends inside "Program Files"
    calls = run_registrar(wine, contract, command_line=line, cwd=elsewhere)
    assert calls == expected_calls(wine.win_path(contract))


def test_a_null_component_gets_no_further_call(wine, contract):
    assert run_registrar(wine, contract, "create null\n") == [CREATE]


@pytest.mark.parametrize("double", [None, "assoc_double_noexport.dll"])
def test_without_a_component_or_its_export_nothing_happens(wine, double):
    folder = registrar_folder(wine, f"quenvo no component {double or 'dll'}", double)
    assert run_registrar(wine, folder) == []


def test_a_component_in_the_current_folder_is_not_loaded(wine):
    # Only the registrar's own folder (and the system's) may supply the component, not
    # whatever folder the registrar happens to be started from.
    folder = registrar_folder(wine, "quenvo planted", None)
    planted = registrar_folder(wine, "downloads planted", "assoc_double.dll")
    run_registrar(wine, folder, cwd=planted)
    assert not (planted / "calls.jsonl").exists()


def test_a_first_start_leaves_only_fday_and_os(wine, contract):
    wine.clear_profile()
    run_registrar(wine, contract)
    assert wine.reg_texts() == {"fday": today(), "os": "Windows7"}


# --- the real component, and double-click end to end -----------------------------------------

CLASSES = r"Software\Classes"
REGISTERED = r"HKEY_CURRENT_USER\Software\RegisteredApplications"


def per_user(wine):
    return export(wine, "HKCU\\" + CLASSES)


def outside_classes_and_profile(sections):
    return {k: v for k, v in sections.items()
            if not k.startswith(("HKEY_CURRENT_USER\\Software\\Classes", "HKEY_CURRENT_USER\\Software\\quenvo"))}


@pytest.fixture(scope="module")
def suite(wine):
    """A complete installation in a folder with blanks, registered once by the real component.
    Yields the folder and what the registry held before and after that first run."""
    folder = install(wine, "Program Files/quenvo suite e2e", "quenvocommon.exe", "Quenvodef.exe", "FileAssociation.dll",
                     ("fake_quenvo.exe", "quenvo.exe"))
    shutil.copytree(wine.build.bin / "icon", folder / "icon", dirs_exist_ok=True)
    names = EXTENSIONS + ["Quenvo2021" + ext for ext in EXTENSIONS] + ["Applications\\Quenvodef.exe"]
    keys = [f"{hive}\\{CLASSES}\\{name}" for name in names for hive in ("HKCU", "HKLM")] + [REGISTERED]
    wine.delete_keys(keys)
    before = {"user": export(wine, "HKCU"), "machine": export(wine, "HKLM\\" + CLASSES)}

    # Step 1: the registrar runs from its folder with blanks, and tells the shell once.
    assert run_traced(wine, folder / "quenvocommon.exe") == 1
    after = {"user": export(wine, "HKCU"), "machine": export(wine, "HKLM\\" + CLASSES)}
    yield folder, before, after
    wine.delete_keys(keys)


@pytest.mark.parametrize("locale", SHOWN)
def test_each_type_is_registered_for_the_current_user(wine, suite, locale):
    folder, _, after = suite
    # Step 2: the whole registration, for this user: the ProgIDs with their names, icons and
    # commands, the launcher's Applications entry, Capabilities and RegisteredApplications, and
    # each extension's OpenWithProgids and default.
    expected = {**program("HKEY_CURRENT_USER", wine.win_path(folder)), **pointers("HKEY_CURRENT_USER")}
    assert found(after["user"], expected) == expected
    # The type names and the description, as the shell shows them in the user's language.
    assert shown(wine, "HKCU", locale) == expected_shown(locale)


def test_nothing_is_written_outside_the_per_user_classes(wine, suite):
    folder, before, after = suite
    assert after["machine"] == before["machine"]
    registered = {REGISTERED: program("HKEY_CURRENT_USER", wine.win_path(folder))[REGISTERED]}
    assert found(after["user"], registered) == registered
    assert outside_classes_and_profile(after["user"]) == \
        {**outside_classes_and_profile(before["user"]), REGISTERED: after["user"][REGISTERED]}
    new_keys = set(after["user"]) - set(before["user"])
    assert not [k for k in new_keys if "UserChoice" in k or "FileExts" in k]
    assert {k.split("\\")[3] for k in new_keys if "\\Classes\\" in k} == \
        set(EXTENSIONS) | {"Quenvo2021" + ext for ext in EXTENSIONS} | {"Applications"}


@pytest.mark.parametrize("folder_name, document", [
    ("some folder", "a b.docx"),
    ("q\u00e9 docs", "budget 2021.csv"),
])
def test_opening_a_document_reaches_the_main_program(wine, suite, folder_name, document):
    folder, _, _ = suite
    ext = "." + document.rsplit(".", 1)[1]
    # Windows merges the per-user classes into the shell's view; Wine 8's shell reads only
    # HKLM\Software\Classes. So the keys the component wrote for this user are copied there
    # first, unchanged. The product itself writes nothing outside HKCU\Software\Classes.
    wine.mirror_classes_to_machine([ext, "Quenvo2021" + ext])
    docs = wine.drive_c / folder_name
    docs.mkdir(exist_ok=True)
    (docs / document).write_text("content")
    received = folder / "received.txt"
    received.unlink(missing_ok=True)

    # Step 3: the shell opens the document: Quenvodef.exe starts, and starts quenvo.exe with it.
    wine.open_document(docs / document)
    started = wait_for(lambda: records(received))
    assert len(started) == 1, f"quenvo.exe was started {len(started)} times"
    assert started[0]["cmdline"] == f'"{wine.win_path(folder / "quenvo.exe")}" "{wine.win_path(docs / document)}"'


def test_a_second_run_changes_nothing_and_a_broken_type_is_repaired(wine, suite):
    folder, _, _ = suite
    exe = folder / "quenvocommon.exe"
    # Values the component writes but doesn't consult get markers: a rewrite would replace them.
    for ext in EXTENSIONS:
        wine.reg("add", f"HKCU\\{CLASSES}\\Quenvo2021{ext}\\DefaultIcon", "/ve", "/d", f"C:\\marker\\{ext}.ico", "/f")
    wine.reg("delete", f"HKCU\\{CLASSES}\\.docx\\OpenWithProgids", "/f")
    marked = per_user(wine)

    # Step 4: every type is associated already, so a second run writes nothing, and still
    # tells the shell once.
    assert run_traced(wine, exe) == 1
    assert per_user(wine) == marked

    # A type that opens with another program, and one whose handler is gone, are redone.
    wine.reg("add", f"HKCU\\{CLASSES}\\.xls", "/ve", "/d", "Other.Sheet", "/f")
    wine.reg("add", f"HKCU\\{CLASSES}\\Quenvo2021.ppt\\shell\\open\\command", "/ve", "/d",
             '"C:\\gone\\Quenvodef.exe" "%1"', "/f")
    broken = per_user(wine)
    assert wine.run(exe) == 0
    now = per_user(wine)
    changed = {k for k in set(now) | set(broken) if now.get(k) != broken.get(k)}
    key = "HKEY_CURRENT_USER\\Software\\Classes\\"
    assert changed == {key + ".xls", key + "Quenvo2021.xls\\DefaultIcon",
                       key + "Quenvo2021.ppt\\DefaultIcon", key + "Quenvo2021.ppt\\shell\\open\\command"}
    folder_win = wine.win_path(folder)
    assert wine.reg_query(f"{CLASSES}\\.xls") == {"(Default)": ("REG_SZ", "Quenvo2021.xls")}
    assert wine.reg_query(f"{CLASSES}\\Quenvo2021.ppt\\DefaultIcon") == \
        {"(Default)": ("REG_SZ", f"{folder_win}\\icon\\ppt.ico")}
    assert wine.reg_query(f"{CLASSES}\\Quenvo2021.ppt\\shell\\open\\command") == \
        {"(Default)": ("REG_SZ", f'"{folder_win}\\Quenvodef.exe" "%1"')}


def test_a_component_of_the_other_architecture_is_left_alone(wine):
    """A 64-bit registrar beside a 32-bit FileAssociation.dll, or a 32-bit one beside a 64-bit
    DLL: the DLL can't be loaded, so nothing is registered and the shell is not told."""
    other = Build("win32" if wine.build.bits == 64 else "win64")
    if not (other.bin / "FileAssociation.dll").exists():
        pytest.skip(f"{other.dir} is not built")
    folder = install(wine, f"quenvo mixed {wine.build.name}", "quenvocommon.exe", "Quenvodef.exe",
                     other.bin / "FileAssociation.dll")
    before = per_user(wine)
    assert run_traced(wine, folder / "quenvocommon.exe") == 0
    assert per_user(wine) == before
