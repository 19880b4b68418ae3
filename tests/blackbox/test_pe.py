"""The shipped files as Windows sees them, read with pefile (no Wine needed)."""
import re
import shutil
import subprocess
import sys

import pefile
import pytest

from tools import pecheck
from tools.testkit.wine import REPO, Build

PECHECK = REPO / "tools" / "pecheck.py"
pytestmark = pytest.mark.native


@pytest.mark.parametrize("name", ["win64", "win32"])
def test_programs_are_gui_versioned_and_import_only_system_dlls(name):
    build = Build(name)
    if not (build.bin / "Quenvodef.exe").exists():
        pytest.skip(f"{build.bin} not built")
    # The 2 s twins too: the hostile cases run them, so they must be hardened as the product is.
    folders = [build.bin, build.dir / "short" / "bin", build.dir / "short" / "testbin"]
    result = subprocess.run([sys.executable, PECHECK, *folders], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout
    assert "Quenvodef.exe: ok" in result.stdout and "update_download_probe.exe: ok" in result.stdout


def test_checker_rejects_a_console_program_without_version(tmp_path):
    # A test tool posing as the launcher: console subsystem, no version block.
    shutil.copy(Build("win64").testbin / "rawrun.exe", tmp_path / "Quenvodef.exe")
    result = subprocess.run([sys.executable, PECHECK, tmp_path], capture_output=True, text=True)
    assert result.returncode == 1
    assert "not GUI" in result.stdout and "version None" in result.stdout


def writable(pe):
    return next(s for s in pe.sections if s.Characteristics & pecheck.SCN_WRITE)


def rename_import(old, new):
    """Renames an import in place (new padded with NULs to old's length)."""
    return lambda pe: pe.set_bytes_at_offset(next(i.name_offset for e in pe.DIRECTORY_ENTRY_IMPORT for i in e.imports
                                                  if i.name == old), new.ljust(len(old), b"\0"))


def without_seeder(pe):
    """Every constructor made the first (the profile's, never the seeding one, which runs earlier)."""
    entries = pecheck.constructors(pe)
    for rva in entries:
        pe.set_qword_at_rva(rva, next(iter(entries.values())))


def rebase(pe, base=0x400000):
    """The image as if linked at base: the header's, and each relocated pointer moved with it."""
    for entry in (r for block in pe.DIRECTORY_ENTRY_BASERELOC for r in block.entries if r.type):
        pe.set_qword_at_rva(entry.rva, pe.get_qword_at_rva(entry.rva) - pe.OPTIONAL_HEADER.ImageBase + base)
    pe.OPTIONAL_HEADER.ImageBase = base


def unset(flag):
    return lambda pe: setattr(pe.OPTIONAL_HEADER, "DllCharacteristics",
                              pe.OPTIONAL_HEADER.DllCharacteristics & ~pecheck.CHARACTERISTICS[flag])


@pytest.mark.parametrize("said, change", [
    ("no DYNAMIC_BASE", unset("DYNAMIC_BASE")),
    ("no NX_COMPAT", unset("NX_COMPAT")),
    ("no HIGH_ENTROPY_VA", unset("HIGH_ENTROPY_VA")),
    ("no relocations", lambda pe: setattr(pe.FILE_HEADER, "Characteristics", pe.FILE_HEADER.Characteristics | 1)),
    ("below 4 GiB", rebase),
    ("writable and executable", lambda pe: setattr(pe.sections[0], "Characteristics",
                                                   pe.sections[0].Characteristics | pecheck.SCN_WRITE)),
    ("writable and shared", lambda pe: setattr(writable(pe), "Characteristics",
                                               writable(pe).Characteristics | pecheck.SCN_SHARED)),
    ("no stack canary checks", lambda pe: pe.set_bytes_at_offset(pe.__data__.find(pecheck.STACK_COOKIE_FAST_FAIL),
                                                                 bytes(len(pecheck.STACK_COOKIE_FAST_FAIL)))),
    # A registry call imported under the name of a crypto provider's.
    ("imports crypto provider calls", rename_import(b"RegQueryValueExW", b"CryptGenRandom")),
    # The guard's generator replaced by another export of advapi32; or its constructor left out.
    ("not seeded from SystemFunction036 (not imported)", rename_import(b"SystemFunction036", b"SystemFunction040")),
    ("not seeded from SystemFunction036 (no constructor calls it)", without_seeder),
])
def test_checker_rejects_an_unhardened_program(tmp_path, said, change):
    program = Build("win64").bin / "Quenvodef.exe"
    if not program.exists():
        pytest.skip(f"{program} not built")
    pe = pefile.PE(str(program))
    change(pe)
    pe.write(str(tmp_path / "Quenvodef.exe"))
    result = subprocess.run([sys.executable, PECHECK, tmp_path], capture_output=True, text=True)
    assert result.returncode == 1 and result.stdout.count(";") == 0 and said in result.stdout, result.stdout


@pytest.mark.parametrize("name", ["Quenvodef.exe", "quenvodata.exe"])
def test_checker_wants_the_suites_icon_in_the_launcher_and_the_agent(tmp_path, name):
    program = Build("win64").bin / name
    if not program.exists():
        pytest.skip(f"{program} not built")
    pe = pefile.PE(str(program))
    pecheck.icon_groups(pe)[0].struct.Name = 99  # another resource type
    pe.write(str(tmp_path / name))
    result = subprocess.run([sys.executable, PECHECK, tmp_path], capture_output=True, text=True)
    assert result.returncode == 1 and result.stdout == f"{name}: no icon group\n", result.stdout


@pytest.mark.parametrize("said, pattern, replacement", [
    ("dpiAware [['true']]", "true/pm<", "true<"),  # system-aware only, on 8.1 and 10 before 1607
    ("dpiAware []", "<dpiAware .*?</dpiAware>", ""),  # unaware before 1607
    ("dpiAwareness [['permonitor']]", "PerMonitorV2, ", ""),  # not v2 from 1703 on
    ("dpiAwareness []", "SMI/2016/", "SMI/2005/"),  # a namespace that Windows ignores it in
])
def test_checker_wants_the_agent_per_monitor_aware_in_both_forms(said, pattern, replacement):
    agent = Build("win64").bin / "quenvodata.exe"
    if not agent.exists():
        pytest.skip(f"{agent} not built")
    manifest = pecheck.manifests(pefile.PE(str(agent)))[0].decode()
    assert pecheck.manifest_problems(manifest.encode()) == []
    changed = re.sub(pattern, replacement, manifest, count=1)
    assert changed != manifest
    problems = pecheck.manifest_problems(changed.encode())
    assert len(problems) == 1 and problems[0].startswith(said), problems
