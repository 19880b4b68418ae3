"""The shipped files as Windows sees them, read with pefile (no Wine needed)."""
import shutil
import subprocess
import sys

import pytest

from tools.testkit.wine import REPO, Build

PECHECK = REPO / "tools" / "pecheck.py"
pytestmark = pytest.mark.native


@pytest.mark.parametrize("name", ["win64", "win32"])
def test_programs_are_gui_versioned_and_import_only_system_dlls(name):
    folder = Build(name).bin
    if not (folder / "Quenvodef.exe").exists():
        pytest.skip(f"{folder} not built")
    result = subprocess.run([sys.executable, PECHECK, folder], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout
    assert "Quenvodef.exe: ok" in result.stdout


def test_checker_rejects_a_console_program_without_version(tmp_path):
    # A test tool posing as the launcher: console subsystem, no version block.
    shutil.copy(Build("win64").testbin / "rawrun.exe", tmp_path / "Quenvodef.exe")
    result = subprocess.run([sys.executable, PECHECK, tmp_path], capture_output=True, text=True)
    assert result.returncode == 1
    assert "not GUI" in result.stdout and "version None" in result.stdout
