"""Drives real Windows programs under Wine: prefixes, exact command lines, the registry as Wine holds it."""
import fcntl
import json
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pefile

REPO = Path(__file__).resolve().parents[2]
PROFILE_KEY = r"Software\quenvo"
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
# What cmd echoes once reg import has ended with 0 (reg prints nothing when it succeeds).
IMPORTED = "testkit: imported"
# What Wine prints when a program crashes (crash dialogs are off in our prefixes).
CRASH_MARKS = ("Unhandled exception", "Unhandled page fault", "Backtrace:", "wine: Call from")

# Wine's own tools (reg, cmd, wineboot) run as 64-bit programs, so that they see the registry and the
# shell as on a 64-bit system whichever build is under test; 32-bit programs get their own loader.
WINE64 = "/usr/lib/wine/wine64" if Path("/usr/lib/wine/wine64").exists() else "wine"
WINE32 = "/usr/lib/wine/wine"


# A prefix is a clone of one made once per Wine install (by the first caller, the others waiting on its
# lock): wineboot copies 1.2 GB of Wine's programs into each prefix, which the clones link instead.
TEMPLATE = REPO / "build" / f"wine-template-{Path(shutil.which(WINE64)).stat().st_mtime_ns}-{Path(WINE32).exists():d}"
LINKED = (".dll", ".exe", ".drv", ".sys", ".ocx", ".acm", ".cpl", ".tlb", ".ax", ".ds", ".nls")


def link_or_copy(source, target):
    try:
        return os.link(source, target) if source.lower().endswith(LINKED) else shutil.copy2(source, target)
    except OSError:  # the template is on another file system
        return shutil.copy2(source, target)


def cannot_run_32bit():
    """Why this machine can't run 32-bit Windows programs, or None when it can."""
    if not Path(WINE32).exists():
        return "Debian's wine32:i386 is not installed (tools/setup installs it where the kernel runs 32-bit programs)"
    try:
        subprocess.run([WINE32, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    except OSError:
        return "this machine's kernel does not run 32-bit programs (its IA-32 emulation is off)"
    except subprocess.CalledProcessError as err:
        return f"Wine's 32-bit loader does not start (exit code {err.returncode})"
    return None


class Build:
    """One build tree: build/win64 (x86_64) or build/win32 (i686), or a variant of one."""

    def __init__(self, name, directory=None):
        self.name = name
        self.dir = Path(directory) if directory else REPO / "build" / name
        self.bin = self.dir / "bin"
        self.testbin = self.dir / "testbin"
        self.bits = 32 if name.startswith("win32") else 64

    def cache(self, name):
        """A value of the build's CMake cache, read as the release reads it."""
        from tools.release import cmake_cache  # the release's, so the two never read it apart
        return cmake_cache(self.dir, name)

    def unusable(self):
        """Why this build can't be run here, or None."""
        if not (self.bin / "Quenvodef.exe").exists() or not (self.testbin / "rawrun.exe").exists():
            return f"{self.dir} is not built (tools/build {self.name})"
        return cannot_run_32bit() if self.bits == 32 else None


# --- starting a program, and knowing that it ran (see Wine.start) --------------------------------

# What Wine's loader prints when it could not create the process (seen under load); the program
# itself never ran.
START_FAILED = ["Application could not be started, or no application associated with the specified file.",
                "ShellExecuteEx failed: Internal error."]
# What cmd prints, ending with 9009 (49 to Unix), when it could not create the program it was to run.
CMD_LOST = "as an internal or external command"
ERROR_INTERNAL_ERROR = 1359  # what CreateProcessW says when Wine's loader ends before the process is made


def printed(out):
    """The proof of a program that prints whenever it runs (our tools end with a line; Wine's reg
    and cmd print a result, an error, or a blank line). A lost start prints nothing, or only START_FAILED."""
    return out != "" and CMD_LOST not in out and [ln.strip() for ln in out.splitlines() if ln.strip()] != START_FAILED


def wrote(path):
    """The proof of a program that writes a file whenever it runs, or prints why not: msiexec's
    log, reg export's file, hold_file's marker."""
    def wrote_file(out):
        return Path(path).exists() or printed(out)
    return wrote_file


def reported(path):
    """rawrun's proof: its report got past "started", which it writes before it starts the
    program. Not its output: the debug channels asked for may print either way."""
    def reported_past_start(out):
        return words(path) not in ([], ["started"])
    return reported_past_start


def words(path):
    return Path(path).read_text().split() if Path(path).exists() else []


class ToolError(AssertionError):
    """A program under Wine gave no sign that it ran, or ran without its report."""


class Wine:
    """One Wine prefix with a persistent wineserver, and the build whose tools drive it."""

    def __init__(self, prefix: Path, build: Build):
        self.prefix = Path(prefix)
        self.build = build
        # No Mono or Gecko install is asked for, and the shell's notifications start no menu
        # builder, which would write the host's desktop files and outlive the program.
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d", LC_ALL="C.UTF-8")
        self.drive_c = self.prefix / "drive_c"

    def boot(self):
        TEMPLATE.parent.mkdir(parents=True, exist_ok=True)
        with open(f"{TEMPLATE}.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if not (TEMPLATE / "system.reg").exists():
                shutil.rmtree(TEMPLATE, ignore_errors=True)
                template = Wine(TEMPLATE, self.build)
                template.call([WINE64, "wineboot", "-i"], timeout=300)
                # A crash must end the process and print its backtrace, not wait on a dialog.
                template.reg("add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d",
                             "0", "/f")
                template.call(["wineserver", "-w"])  # its registry saved
        shutil.copytree(TEMPLATE, self.prefix, symlinks=True, copy_function=link_or_copy, dirs_exist_ok=True)
        self.server("-p")
        return self

    def server(self, flag):
        # -p forks and returns once the server is ready, -k ends it. The output goes nowhere: the
        # server lives on after the call and would hold a pipe open.
        subprocess.run(["wineserver", flag], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def shutdown(self):
        self.server("-k")

    def restart_server(self, display=None):
        """Starts the server again on display (or none): Wine's desktop keeps the display it began with."""
        self.shutdown()
        self.call(["wineserver", "-w"])
        self.env.pop("DISPLAY", None)
        self.env.update({"DISPLAY": display} if display else {})
        self.server("-p")

    def call(self, args, timeout=120, debug=None):
        """(exit code, output) of a command, with WINEDEBUG=debug if given. The output goes through a
        file: Wine's background processes can hold a pipe open long after the command has ended."""
        env = dict(self.env, WINEDEBUG=debug) if debug else self.env
        with tempfile.TemporaryFile() as out:
            # No terminal: Wine would give every console program a console host of its own.
            proc = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout, check=False)
            out.seek(0)
            return proc.returncode, out.read().decode("utf-8", "replace")

    def start(self, args, proof=None, timeout=120, debug=None, background=False, label=None):
        """Starts a Windows program, judging by proof(output) whether it ran (default: printed); returns
        (exit code, output), or the background process once proof shows. Wine's loader now and then
        ends without creating the process (0 or 1, no crash, no proof), and cmd its program (CMD_LOST):
        that start alone is tried once more, and said so (as label); else ToolError. A program that ran
        and was wrong is never retried."""
        proof, what = proof or printed, label or " ".join(map(str, args))
        for attempt in (1, 2):
            if background:
                proc = subprocess.Popen(self.command(args), env=self.env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                wait_for(lambda: proof("") or proc.poll() is not None, timeout=30)
                code, out = proc.poll(), ""
            else:
                code, out = self.call(self.command(args), timeout=timeout, debug=debug)
            if proof(out):
                return proc if background else (code, out)
            lost = code in (0, 1) or (code == 9009 & 0xFF and CMD_LOST in out)  # under cmd: its program
            if attempt == 2 or not lost or any(mark in out for mark in CRASH_MARKS):
                raise ToolError(f"{what} gave no sign that it ran ({proof.__name__}): exit code {code}, "
                                f"Wine's output:\n{out[-3000:]}")
            lost_start(what, f"exit code {code}, output {out.strip()!r}")

    def command(self, args):
        """The command for Wine: its own tools (reg, cmd, msiexec) by full name, 32-bit programs through the
        32-bit loader. Else Wine's start.exe hands them over: a process more, and the one that lost starts."""
        program, rest = Path(args[0]), [str(arg) for arg in args[1:]]
        if program.name == str(args[0]):  # one of Wine's own, always 64-bit
            return [WINE64, f"C:\\windows\\system32\\{program}.exe", *rest]
        bits32 = program.is_file() and pefile.PE(str(program), fast_load=True).FILE_HEADER.Machine == 0x14C
        return [WINE32 if bits32 else WINE64, str(program), *rest]

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

    def temp_folder(self) -> Path:
        """The user's temporary folder, as the programs find it."""
        code, out = self.start(["cmd", "/c", "echo", "%TEMP%"])
        assert code == 0 and out.strip(), f"cmd did not echo %TEMP%: exit code {code}, Wine's output:\n{out[-3000:]}"
        return self.unix_path(out.strip().splitlines()[-1].strip())

    # --- programs ----------------------------------------------------------
    def run_raw(self, program, command_line: str, cwd=None, timeout=120):
        """Starts program with exactly command_line; returns (exit code, seconds)."""
        start = time.monotonic()
        code = self.run_measured(program, command_line, cwd, timeout)["code"]
        return code, time.monotonic() - start

    def run_measured(self, program, command_line: str, cwd=None, timeout=120, debug=None, count=1):
        """As run_raw, with rawrun's measures (code, micros, performance counter at the start and its
        frequency) and Wine's output; a report that stops short once rawrun started the program fails.
        With a count, that many copies start at one instant; "codes" holds each one's exit code."""
        for attempt in (1, 2):
            work = Path(tempfile.mkdtemp(dir=self.drive_c))
            try:
                result = work / "rc.txt"
                request = "\n".join([self.win_path(program), self.win_path(cwd) if cwd else "",
                                     self.win_path(result), command_line])
                (work / "req.txt").write_bytes(request.encode("utf-8"))
                code, output = self.start([self.build.testbin / "rawrun.exe", self.win_path(work / "req.txt"),
                                           *([count] if count > 1 else [])],
                                          proof=reported(result), timeout=timeout, debug=debug, label=program)
                report = words(result)
            finally:
                shutil.rmtree(work, ignore_errors=True)
            # The program's loader ended before the process was made (STATUS_INTERNAL_ERROR): a lost start.
            if attempt == 2 or report != ["error", str(ERROR_INTERNAL_ERROR)]:
                break
            lost_start(program, f"rawrun's report {report}")
        if len(report) != 4 * count or not all(v.isdigit() for v in report):
            raise ToolError(f"rawrun did not run {program}: its report {report}, Wine's exit code {code}, "
                            f"Wine's output:\n{output[-3000:]}")
        program_code, micros, started, frequency = (int(v) for v in report[:4])
        return {"code": program_code, "micros": micros, "started": started, "frequency": frequency, "output": output,
                "codes": [int(v) for v in report[::4]]}

    def run(self, program, tail="", cwd=None, timeout=120):
        """Starts program with its quoted path and the given tail; returns the exit code."""
        line = f'"{self.win_path(program)}"' + (f" {tail}" if tail else "")
        return self.run_raw(program, line, cwd=cwd, timeout=timeout)[0]

    def running(self, program):
        """{process id: (its arguments, its current folder)} of this prefix's processes of program: Wine
        names each by its Windows path, and keeps a process's current folder as the Unix one."""
        found = {}
        for proc in Path("/proc").iterdir():
            try:
                words = (proc / "cmdline").read_bytes().rstrip(b"\0").decode("utf-8", "replace").split("\0")
                if program.lower() in words[0].lower() and \
                        f"WINEPREFIX={self.prefix}".encode() in (proc / "environ").read_bytes().split(b"\0"):
                    found[proc.name] = (words[1:], Path(os.readlink(proc / "cwd")))
            except OSError:  # ended meanwhile, or not ours to read
                continue
        return found

    def trust_root(self, certificate):
        """Trusts a root certificate (PEM), through our tool: Wine's certutil says yes and installs nothing."""
        der = self.drive_c / "trusted-root.cer"
        der.write_bytes(ssl.PEM_cert_to_DER_cert(Path(certificate).read_text()))
        code, output = self.start([self.build.testbin / "trust.exe", "root", self.win_path(der)])
        der.unlink()
        assert code == 0, f"trust.exe root ended with {code}:\n{output}"

    def open_document(self, path):
        """Opens a document through the shell, as a double-click does, and returns once the shell has
        it. start prints nothing when it succeeds: cmd's echo after it is printed's proof."""
        return self.start(["cmd", "/c", "start", "", self.win_path(path), "&", "echo", "opened"])

    # --- registry ----------------------------------------------------------
    def reg(self, *args):
        """'wine reg' (exit code, output); export prints nothing, so its file is its proof."""
        return self.start(["reg", *args], proof=wrote(self.unix_path(args[2])) if args[0] == "export" else None)

    def reg_query(self, key, *view):
        """'reg query' of key (HK..., or below HKCU) in a view ("/reg:32"): {name: (type, text)}, None if none."""
        code, out = self.reg("query", key if key.startswith("HK") else "HKCU\\" + key, *view)
        rows = (line.strip().split(None, 2) + [""] for line in out.splitlines())  # [""]: an empty value's text
        return {r[0]: (r[1], r[2]) for r in rows if len(r) > 2 and r[1].startswith("REG_")} if code == 0 else None

    def reg_values(self, key=PROFILE_KEY):
        """Exact values under HKCU\\key: {name: (type, raw bytes)}. Empty REG_SZ values are
        misprinted by 'wine reg query', so this reads through our own tool."""
        out = Path(tempfile.mkstemp(dir=self.drive_c, suffix=".jsonl")[1])
        try:
            code, output = self.start([self.build.testbin / "regdump.exe", key, self.win_path(out)])
            if code == 1 and "no such key" in output:
                return {}
            assert code == 0, f"regdump ended with {code}; Wine's output:\n{output[-3000:]}"
            rows = [json.loads(line) for line in out.read_text().splitlines() if line]
            return {r["name"]: (r["type"], bytes.fromhex(r["hex"])) for r in rows}
        finally:
            out.unlink(missing_ok=True)

    def reg_texts(self, key=PROFILE_KEY):
        """The REG_SZ values as text, without the NUL that Wine stores behind them."""
        return {name: data.decode("utf-16-le", "replace").removesuffix("\0") for name, (_, data) in
                self.reg_values(key).items()}

    def import_reg(self, text: str):
        """Imports registry text (regedit 5: [-KEY] and "name"=- delete), as UTF-16 so any text
        survives. One start: cmd's output proves that it ran, IMPORTED that reg import ended with 0."""
        fd, path = tempfile.mkstemp(dir=self.drive_c, suffix=".reg")
        os.close(fd)
        try:
            Path(path).write_bytes(("Windows Registry Editor Version 5.00\r\n\r\n" + text).encode("utf-16"))
            code, output = self.start(["cmd", "/c", "reg", "import", self.win_path(path), "&&", "echo", IMPORTED])
            assert code == 0 and IMPORTED in output, f"reg import failed ({code}): {output}"
        finally:
            os.unlink(path)

    def set_value(self, name, data, kind="REG_SZ", key=PROFILE_KEY):
        code, output = self.reg("add", "HKCU\\" + key, "/v", name, "/t", kind, "/d", data, "/f")
        assert code == 0, f"reg add {name} failed: {output}"

    def delete_keys(self, keys):
        """Deletes keys (HKCU\\..., HKLM\\... or full names) with all below them, in one import."""
        self.import_reg("".join(f"[-{full_key(key)}]\r\n" for key in keys))

    def clear_profile(self):
        self.reg("delete", "HKCU\\" + PROFILE_KEY, "/f")

    def mirror_classes_to_machine(self, names, source=r"HKCU\Software", *view):
        r"""Copies <source>\Classes\<name> trees (in the view given, such as "/reg:32") into
        HKLM\Software\Classes as 64-bit programs see it. Windows merges the user's classes in and
        shares HKLM's between the views; Wine 8's shell reads only HKLM's, in its own view."""
        for name in names:
            target = self.drive_c / "mirror.reg"
            self.reg("export", f"{source}\\Classes\\{name}", self.win_path(target), "/y", *view)
            text = target.read_bytes().decode("utf-16").split("\n", 1)[1]
            target.unlink()
            self.import_reg(text.replace(f"[{full_key(source)}\\Classes\\", "[HKEY_LOCAL_MACHINE\\Software\\Classes\\"))

    def set_proxy(self, port, software="Software"):
        """Points WinInet's system proxy (under HKCU\\<software>) at a local server, as a user's would be."""
        key = full_key(INTERNET_SETTINGS.replace("Software", software, 1))
        self.import_reg(f'[{key}]\r\n"ProxyEnable"=dword:00000001\r\n"ProxyServer"="127.0.0.1:{port}"\r\n')


def full_key(key):
    """A key as .reg files name it: HKCU\\... and HKLM\\... spelt out."""
    root, rest = key.split("\\", 1)
    return {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}.get(root, root) + "\\" + rest


def install(wine: Wine, folder_name: str, *files) -> Path:
    """Copies built programs (bin/ or testbin/ names, paths, (source, target) pairs) into a folder of C:."""
    folder = wine.drive_c / folder_name
    folder.mkdir(parents=True, exist_ok=True)
    for item in files:
        source, target = item if isinstance(item, tuple) else (item, Path(item).name)
        source = Path(source)
        if not source.is_absolute():
            source = wine.build.bin / source if (wine.build.bin / source).exists() else wine.build.testbin / source
        shutil.copy2(source, folder / target)
    return folder


# Every start that Wine lost in this run, for the run's summary: a retried start stays visible when all pass.
LOST_STARTS = []


def lost_start(program, how):
    LOST_STARTS.append(f"{program} ({how})")
    print(f"\nwine.py: Wine ended before starting {program} ({how}); starting it once more",
          file=sys.stderr, flush=True)


def assert_sound(measured):
    """The run ended with 0 and without a crash."""
    assert measured["code"] == 0
    assert not any(mark in measured["output"] for mark in CRASH_MARKS), measured["output"][-2000:]


def records(path):
    """The complete JSON lines (newline included) of a file that another process appends to."""
    try:
        data = Path(path).read_bytes()
    except FileNotFoundError:
        return []
    return [json.loads(line) for line in data.split(b"\n")[:-1] if line.strip()]


def wait_for(predicate, timeout=15.0, interval=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    return predicate()


if __name__ == "__main__":  # tools/wine-run: a prefix for ctest
    Wine(sys.argv[1], Build("win64")).boot()
