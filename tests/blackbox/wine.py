"""Drives real Windows programs under Wine for the black-box tests: a fresh prefix,
exact raw command lines (through the rawrun tool), and the registry as Wine holds it."""
import json
import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("QUENVO_BUILD_DIR", REPO / "build" / "win64"))
BIN = BUILD / "bin"
TESTBIN = BUILD / "testbin"
PROFILE_KEY = r"Software\quenvo"
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"


class Wine:
    """One Wine prefix with a persistent wineserver."""

    def __init__(self, prefix: Path):
        self.prefix = Path(prefix)
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="C.UTF-8")
        self.drive_c = self.prefix / "drive_c"

    def boot(self):
        self.prefix.mkdir(parents=True, exist_ok=True)
        self._quiet(["wineboot", "-i"], timeout=300)
        self._quiet(["wineserver", "-w"], timeout=120)
        subprocess.run(["wineserver", "-p"], env=self.env, check=False)
        # A crash must end the process and print its backtrace, not wait on a dialog.
        self.reg("add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f")
        return self

    def shutdown(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)

    def _quiet(self, args, timeout=120):
        """Runs a command with its output in a file: Wine's background processes can
        keep a pipe open long after the command itself has ended."""
        with tempfile.TemporaryFile() as out:
            proc = subprocess.run(args, env=self.env, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout, check=False)
            out.seek(0)
            return proc.returncode, out.read().decode("utf-8", "replace")

    # --- paths -------------------------------------------------------------
    def win_path(self, path) -> str:
        path = Path(path).resolve()
        try:
            return "C:\\" + str(path.relative_to(self.drive_c.resolve())).replace("/", "\\")
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    def unix_path(self, win: str) -> Path:
        assert win[1:3] == ":\\", win
        rel = win[3:].replace("\\", "/")
        return (self.drive_c / rel) if win[0].upper() == "C" else Path("/") / rel

    # --- programs ----------------------------------------------------------
    def run_raw(self, program, command_line: str, cwd=None, timeout=120):
        """Starts program with exactly command_line; returns (exit code, seconds)."""
        start = time.monotonic()
        code = self.run_measured(program, command_line, cwd, timeout)["code"]
        return code, time.monotonic() - start

    def run_measured(self, program, command_line: str, cwd=None, timeout=120):
        """As run_raw, with rawrun's own measures: the exit code, the run time in
        microseconds, and the performance counter at the start with its frequency."""
        work = Path(tempfile.mkdtemp(dir=self.drive_c))
        try:
            result = work / "rc.txt"
            request = "\n".join([self.win_path(program), self.win_path(cwd) if cwd else "",
                                 self.win_path(result), command_line])
            (work / "req.txt").write_bytes(request.encode("utf-8"))
            _, output = self._quiet(["wine", str(TESTBIN / "rawrun.exe"), self.win_path(work / "req.txt")], timeout)
            assert result.exists(), f"rawrun could not start {program}"
            code, micros, started, frequency = (int(v) for v in result.read_text().split())
            return {"code": code, "micros": micros, "started": started, "frequency": frequency, "output": output}
        finally:
            shutil.rmtree(work, ignore_errors=True)

    def run(self, program, tail="", cwd=None, timeout=120):
        """Starts program with its quoted path and the given tail; returns the exit code."""
        line = f'"{self.win_path(program)}"' + (f" {tail}" if tail else "")
        return self.run_raw(program, line, cwd=cwd, timeout=timeout)[0]

    # --- registry ----------------------------------------------------------
    def reg(self, *args):
        return self._quiet(["wine", "reg", *args])

    def reg_query(self, key):
        """Values under HKCU\\key, read with 'wine reg query': {name: (type, text)}."""
        code, out = self.reg("query", "HKCU\\" + key)
        values = {}
        if code != 0:
            return values
        for line in out.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
        return values

    def reg_values(self, key=PROFILE_KEY):
        """Exact values under HKCU\\key: {name: (type, raw bytes)}. Empty REG_SZ values
        are misprinted by 'wine reg query', so this reads through our own tool."""
        out = Path(tempfile.mkstemp(dir=self.drive_c, suffix=".jsonl")[1])
        try:
            self._quiet(["wine", str(TESTBIN / "regdump.exe"), key, self.win_path(out)])
            rows = [json.loads(line) for line in out.read_text().splitlines() if line]
            return {r["name"]: (r["type"], bytes.fromhex(r["hex"])) for r in rows}
        finally:
            out.unlink(missing_ok=True)

    def reg_texts(self, key=PROFILE_KEY):
        """The REG_SZ values as text, without the NUL that Wine stores behind them."""
        texts = {}
        for name, (kind, data) in self.reg_values(key).items():
            text = data.decode("utf-16-le", "replace")
            texts[name] = text[:-1] if text.endswith("\0") else text
        return texts

    def import_reg(self, text: str):
        """Imports registry text (regedit 5 format), written as UTF-16 so any text survives."""
        fd, path = tempfile.mkstemp(dir=self.drive_c, suffix=".reg")
        os.close(fd)
        try:
            Path(path).write_bytes(("Windows Registry Editor Version 5.00\r\n\r\n" + text).encode("utf-16"))
            return self.reg("import", self.win_path(path))
        finally:
            os.unlink(path)

    def set_value(self, name, data, kind="REG_SZ", key=PROFILE_KEY):
        self.reg("add", "HKCU\\" + key, "/v", name, "/t", kind, "/d", data, "/f")

    def clear_profile(self):
        self.reg("delete", "HKCU\\" + PROFILE_KEY, "/f")

    def mirror_classes_to_machine(self, names):
        """Copies HKCU\\Software\\Classes\\<name> trees into HKLM\\Software\\Classes.

        Windows resolves a type through the merged view, where the per-user classes win. Wine 8's
        shell reads only the machine's classes, so per-user keys are copied there, unchanged, for
        the shell to find them. The product itself never writes HKLM."""
        for name in names:
            target = self.drive_c / "mirror.reg"
            self.reg("export", f"HKCU\\Software\\Classes\\{name}", self.win_path(target), "/y")
            text = target.read_bytes().decode("utf-16")
            text = text.replace("[HKEY_CURRENT_USER\\Software\\Classes\\", "[HKEY_LOCAL_MACHINE\\Software\\Classes\\")
            target.write_bytes(text.encode("utf-16"))
            code, _ = self.reg("import", self.win_path(target))
            target.unlink()
            assert code == 0, f"could not mirror {name}"

    def set_proxy(self, port):
        """Points WinInet's system proxy at a local server, as a user's proxy would be."""
        self.reg("add", INTERNET_SETTINGS, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1", "/f")
        self.reg("add", INTERNET_SETTINGS, "/v", "ProxyServer", "/t", "REG_SZ", "/d", f"127.0.0.1:{port}", "/f")


def install(wine: Wine, folder_name: str, *files) -> Path:
    """Copies built programs (names under bin/ or testbin/, or (source, target) pairs)
    into a folder of drive C: and returns it."""
    folder = wine.drive_c / folder_name
    folder.mkdir(parents=True, exist_ok=True)
    for item in files:
        source, target = item if isinstance(item, tuple) else (item, Path(item).name)
        source = Path(source)
        if not source.is_absolute():
            source = BIN / source if (BIN / source).exists() else TESTBIN / source
        shutil.copy2(source, folder / target)
    return folder


def wait_for(predicate, timeout=15.0, interval=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    return predicate()
