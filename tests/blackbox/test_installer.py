"""The MSI of the build under test, in a fresh Wine prefix: an older version, the upgrade to this
one, a rebuild of this version over it, a lower version refused, a document opened through the
shell, a second user's first logon through Active Setup, and removal; with the local server as
the proxy, with no server at all, and with a server that accepts and never answers."""
import re
import shutil
import subprocess
import time

import pytest

from tools import release
from tools.testkit import signing
from tools.testkit.dev_server import DevServer
from tools.testkit.net import closed_port
from tools.testkit.wine import Wine, install, records, wait_for

OLDER, LOWER = "2.0.0.4", "1.9.9.0"
EXTENSIONS = [".ppt", ".pptx", ".doc", ".docx", ".xls", ".xlsx", ".csv"]
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
ACTIVE_SETUP = r"Software\Microsoft\Active Setup\Installed Components"
SILENT = {"faults": {kind: {"silent": True} for kind in ("stat", "version")}}
REFUSED = "A newer version of the quenvo companions is already installed."


@pytest.fixture(scope="module")
def packages(build, tmp_path_factory):
    """The build's files packaged as the release does, signed by a test leaf: this version (A);
    a rebuild of it with one shipped file changed (B); an older version, signed a day earlier (so
    its files differ); and a lower one."""
    work = tmp_path_factory.mktemp("packages")
    root = signing.make_root(work)
    leaf = signing.make_leaf(root, work, "quenvo")
    arch = "x64" if build.bits == 64 else "x86"
    version = release.cmake_cache(build.dir, "CMAKE_PROJECT_VERSION")
    changed = work / "bin-b"
    shutil.copytree(build.bin, changed)
    with (changed / "icon" / "doc.ico").open("ab") as icon:
        icon.write(b"\0")
    when = release.release_time()
    made = {}
    for name, v, bin_dir, signed in (("older", OLDER, build.bin, when - 86400), ("a", version, build.bin, when),
                                     ("b", version, changed, when), ("lower", LOWER, build.bin, when)):
        (work / name).mkdir()
        made[name] = release.package(bin_dir, arch, v, "quenvo", leaf, signed, work / name, work / name)
    return dict(made, root=root.cert, arch=arch, version=version)


def msi_table(msi, table):
    """A table of a built MSI as rows of columns, read back with msitools."""
    out = subprocess.run(["msiinfo", "export", str(msi), table], capture_output=True, text=True, check=True).stdout
    return [line.split("\t") for line in out.splitlines()[3:]]


def product_code(msi):
    return dict(row[:2] for row in msi_table(msi, "Property"))["ProductCode"]


def view(arch):
    return "/reg:64" if arch == "x64" else "/reg:32"


def reg_rows(wine, key, arch):
    """{value name: text} under key in the package's registry view; None without the key."""
    code, out = wine.reg("query", key, view(arch))
    if code != 0:
        return None
    rows = (line.split(None, 2) for line in out.splitlines())
    return {row[0]: row[2] for row in rows if len(row) == 3 and row[1].startswith("REG_")}


def uninstall_entries(wine, packages, names):
    """The uninstall entries that these packages left, by package."""
    entries = {n: reg_rows(wine, f"{UNINSTALL}\\{product_code(packages[n][1])}", packages["arch"]) for n in names}
    return {name: entry for name, entry in entries.items() if entry is not None}


def active_setup(wine, arch, msi):
    """{component: its values} of the package's Active Setup components, as the machine holds them."""
    components = {row[2].rsplit("\\", 1)[1] for row in msi_table(msi, "Registry") if row[1] == "2"}
    entries = {c: reg_rows(wine, f"HKLM\\{ACTIVE_SETUP}\\{c}", arch) for c in components}
    return {c: values for c, values in entries.items() if values is not None}


def msiexec(wine, *args, expect=0):
    """Silent with /qn, so its log shows that it ran: a start that Wine lost leaves none.
    Returns (seconds, the log)."""
    log = wine.drive_c / "msiexec.log"
    log.unlink(missing_ok=True)
    started = time.monotonic()
    code, out = wine.tool("msiexec", *args, "/qn", "/l*", wine.win_path(log), done=log.exists, timeout=300)
    seconds = time.monotonic() - started
    assert code == expect, f"msiexec {' '.join(map(str, args))} ended with {code}:\n{out[-3000:]}"
    data = log.read_bytes()  # Wine writes it as narrow text, Windows as UTF-16
    return seconds, data.decode("utf-16" if data[:2] == b"\xff\xfe" else "utf-8", "replace")


def reports(server, event):
    sent = [r for r in server.requests if r["kind"] == "report" and dict(r["params"]).get("reg") == event]
    assert all(r["flag_ok"] for r in sent)
    return len(sent)


@pytest.mark.parametrize("mode", ["server", "no-server", "silent"])
def test_install_upgrade_open_and_remove(build, packages, tmp_path, mode):
    wine = Wine(tmp_path / "prefix", build).boot()
    server = DevServer(SILENT if mode == "silent" else {})
    wine.set_proxy(closed_port() if mode == "no-server" else server.start())
    try:
        if mode == "silent":
            never_waits_on_the_network(wine, packages)
        else:
            lifecycle(wine, server, packages, mode == "server")
    finally:
        wine.shutdown()
        server.stop()


def never_waits_on_the_network(wine, packages):
    """The installation does not wait for the install report; the removal waits for the
    uninstall report no longer than the agent's bound on a request."""
    _, msi, _ = packages["a"]
    seconds, _ = msiexec(wine, "/i", wine.win_path(msi))
    assert seconds < 20
    assert wait_for(lambda: wine.reg_texts().get("install") == "1", timeout=120)  # the report ran meanwhile
    seconds, _ = msiexec(wine, "/x", wine.win_path(msi))
    assert seconds < 120


def folder_of(wine, arch):
    return wine.drive_c / ("Program Files" if arch == "x64" else "Program Files (x86)") / "quenvo"


def check_installed(wine, packages, name):
    """The package's files in place, its uninstall entry the only one, the associations, and its
    Active Setup components naming its programs, with this user marked as done."""
    arch, version = packages["arch"], packages["version"]
    _, msi, staged = packages[name]
    folder = folder_of(wine, arch)
    shipped = sorted(p.relative_to(staged) for p in staged.rglob("*") if p.is_file())
    assert sorted(p.relative_to(folder) for p in folder.rglob("*") if p.is_file()) == shipped
    assert all((folder / n).read_bytes() == (staged / n).read_bytes() for n in shipped)
    entries = uninstall_entries(wine, packages, ("older", "a", "b"))
    assert list(entries) == [name]
    assert (entries[name]["Publisher"], entries[name]["DisplayVersion"]) == ("quenvo", version)
    folder_win = wine.win_path(folder)
    check_associations(wine, folder_win)
    steps = active_setup(wine, arch, msi)
    stubs = sorted(values["StubPath"] for values in steps.values())
    assert stubs == [f'"{folder_win}\\quenvocommon.exe"', f'"{folder_win}\\quenvodata.exe" data=install']
    for component, values in steps.items():
        assert values["Version"] == version.replace(".", ",")
        assert reg_rows(wine, f"HKCU\\{ACTIVE_SETUP}\\{component}", arch) == {"Version": values["Version"]}
    return folder, steps


def check_associations(wine, folder_win):
    for ext in EXTENSIONS:
        assert wine.reg_query(f"Software\\Classes\\{ext}") == {"(Default)": ("REG_SZ", f"Quenvo2021{ext}")}
        assert wine.reg_query(f"Software\\Classes\\Quenvo2021{ext}\\shell\\open\\command") == \
            {"(Default)": ("REG_SZ", f'"{folder_win}\\Quenvodef.exe" "%1"')}


def lifecycle(wine, server, packages, reachable):
    arch = packages["arch"]
    wine.trust_root(packages["root"])

    # 1. The older version, then this one over it (A), then a rebuild of this version (B).
    for name in ("older", "a"):
        msiexec(wine, "/i", wine.win_path(packages[name][1]))
    assert wait_for(lambda: wine.reg_texts().get("install") == "1")  # the agent ran, server or not
    assert wait_for(lambda: reports(server, "install") == (1 if reachable else 0))
    check_installed(wine, packages, "a")
    msiexec(wine, "/i", wine.win_path(packages["b"][1]))
    folder, steps = check_installed(wine, packages, "b")
    folder_win = wine.win_path(folder)

    # 2. A lower version is refused and leaves B in place; the log says why: the launch condition
    # failed once the installed version was found. (Wine's log leaves out the condition's text,
    # which Windows writes there: it is read back from the package.)
    lower = packages["lower"][1]
    _, log = msiexec(wine, "/i", wine.win_path(lower), expect=1603 & 0xFF)  # as a Unix exit code
    assert f"Found application: {product_code(packages['b'][1])}" in log
    assert re.findall(r"LaunchConditions\. Return value (\d+)", log) not in ([], ["1"]), log
    assert msi_table(lower, "LaunchCondition") == [["NOT NEWERVERSIONFOUND OR Installed", REFUSED]]
    check_installed(wine, packages, "b")
    # LocalSystem gets no per-user steps: only Active Setup's, at its users' logons.
    sequence = {row[0]: row[1] for row in msi_table(packages["b"][1], "InstallExecuteSequence")}
    for action in ("RegisterAssociations", "ReportInstall"):
        assert sequence[action] == 'NOT REMOVE AND UserSID <> "S-1-5-18"'

    # 3. Every installed program verifies, and its chain ends in the (now trusted) test root.
    checked = wine.drive_c / "trust.jsonl"
    programs = [folder / name for name in release.PROGRAMS]
    code, out = wine.tool(wine.build.testbin / "trust.exe", "check", wine.win_path(checked),
                          *map(wine.win_path, programs))
    assert code == 0, out
    assert [(r["result"], r["chain"]) for r in records(checked)] == [(0, 0)] * len(programs), records(checked)

    # 4. A document opened through the shell reaches the main program (a stand-in of ours).
    install(wine, folder.relative_to(wine.drive_c), ("fake_quenvo.exe", "quenvo.exe"))
    wine.mirror_classes_to_machine([".docx", "Quenvo2021.docx"])  # Wine's shell reads only HKLM
    document = wine.drive_c / "docs" / "a b.docx"
    document.parent.mkdir()
    document.write_text("content")
    wine.open_document(document)
    started = wait_for(lambda: records(folder / "received.txt"))
    assert [r["cmdline"] for r in started] == [f'"{folder_win}\\quenvo.exe" "{wine.win_path(document)}"']
    for added in ("quenvo.exe", "received.txt"):  # the suite's, not this package's
        (folder / added).unlink()
    for name in (".docx", "Quenvo2021.docx"):
        wine.reg("delete", f"HKLM\\Software\\Classes\\{name}", "/f")

    # 5. A second user's first logon: no per-user state, and each StubPath run as Windows does.
    for name in EXTENSIONS + [f"Quenvo2021{ext}" for ext in EXTENSIONS]:
        wine.reg("delete", f"HKCU\\Software\\Classes\\{name}", "/f")
    wine.clear_profile()
    for component in steps:
        wine.reg("delete", f"HKCU\\{ACTIVE_SETUP}\\{component}", "/f", view(arch))
    for values in steps.values():
        program = re.match(r'"([^"]+)"', values["StubPath"]).group(1)
        assert wine.run_raw(wine.unix_path(program), values["StubPath"])[0] == 0
    check_associations(wine, folder_win)
    assert wine.reg_texts().get("install") == "1"
    assert reports(server, "install") == (2 if reachable else 0)

    # 6. Removal: one uninstall report; no file, association, uninstall or Active Setup entry left;
    # the user's profile kept. (Counted from here: Wine's msiexec removes the older version of an
    # upgrade without UPGRADINGPRODUCTCODE, so that removal reports too, as Windows' doesn't.)
    earlier = reports(server, "uninstall")
    msiexec(wine, "/x", wine.win_path(packages["b"][1]))
    assert reports(server, "uninstall") - earlier == (1 if reachable else 0)
    assert not folder.exists()
    assert uninstall_entries(wine, packages, ["b"]) == {}
    assert active_setup(wine, arch, packages["b"][1]) == {}
    code, out = wine.reg("query", r"HKCU\Software\Classes", "/s")
    assert code == 0 and "Quenvo2021" not in out
    assert wine.reg_texts().get("install") == "1"
