"""The MSI of the build under test, in a fresh Wine prefix: an older version (or the other
architecture's package, and a swap to this one that fails after its removal), the upgrade to this
one (A), a rebuild of it with one file changed (B) over A, a lower version refused, a document opened
through the shell, a second user's first logon through Active Setup, and removal; with the local
server as the proxy, with no server at all, and with one that accepts and never answers; and the
per-user parts of both architectures' tables."""
import functools
import re
import shutil
import subprocess
import time

import pytest

from tools import release
from tools import signing
from tools.testkit.dev_server import DevServer
from tools.testkit.net import closed_port
from tools.testkit.registration import SHOWN, expected_shown, export, found, pointers, program, shown
from tools.testkit.wine import Build, Wine, install, records, wait_for, wrote

OLDER, LOWER = "2.0.0.4", "1.9.9.0"
EXTENSIONS = [".ppt", ".pptx", ".doc", ".docx", ".xls", ".xlsx", ".csv"]
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
ACTIVE_SETUP = r"Software\Microsoft\Active Setup\Installed Components"
WOW64_ACTIVE_SETUP = r"Software\Wow6432Node\Microsoft\Active Setup\Installed Components"
USER_MARKS = {"x64": ACTIVE_SETUP, "x86": WOW64_ACTIVE_SETUP}  # where 64-bit Windows compares them
# Where Wine, not Windows, puts a 32-bit mark once HKCU\Software\Wow6432Node exists (see USER_SOFTWARE).
WINE_WOW64_MARKS = r"Software\Wow6432Node\Wow6432Node\Microsoft\Active Setup\Installed Components"
# A user's HKCU\Software as the package's programs see it under Wine: once HKCU\Software\Wow6432Node
# exists (the x86 package's marks make it), Wine, not Windows, redirects 32-bit programs there.
USER_SOFTWARE = {"x64": "Software", "x86": r"Software\Wow6432Node"}
REFUSED = "A newer version of the quenvo companions is already installed."
STUB_HOSTS = ("rundll32", "cmd", "wscript", "cscript")  # what no logon stub may name


@pytest.fixture(scope="module")
def packages(build, tmp_path_factory):
    """Packaged as the release does, signed by a test leaf: {name: (zip, msi, staged folder)}."""
    work = tmp_path_factory.mktemp("packages")
    root = signing.make_root(work)
    leaf = signing.make_leaf(root, work, "quenvo")
    arch = "x64" if build.bits == 64 else "x86"
    version = build.cache("CMAKE_PROJECT_VERSION")
    changed = shutil.copytree(build.bin, work / "bin-b")
    with (changed / "icon" / "doc.ico").open("ab") as icon:
        icon.write(b"\0")
    when = release.release_time()
    made = {"root": root.cert, "arch": arch, "version": version, "other": None}
    # The older one is signed a day earlier, so that its files differ.
    for name, v, bin_dir, signed in (("older", OLDER, build.bin, when - 86400), ("a", version, build.bin, when),
                                     ("b", version, changed, when), ("lower", LOWER, build.bin, when)):
        (work / name).mkdir()
        sign = functools.partial(signing.sign, signer=leaf, when=signed)
        made[name] = release.package(bin_dir, arch, v, "quenvo", sign, signed, work / name, work / name)
    other = Build(release.ARCHITECTURES[release.OTHER[arch]])
    if not other.unusable():  # the other architecture's package of this version, where it is built
        (work / "other").mkdir()
        sign = functools.partial(signing.sign, signer=leaf, when=when)
        made["other"] = release.package(other.bin, release.OTHER[arch], version, "quenvo", sign, when,
                                        work / "other", work / "other")
    return made


def arch_of(packages, name):
    return release.OTHER[packages["arch"]] if name == "other" else packages["arch"]


def folder_of(wine, arch):
    return wine.drive_c / ("Program Files" if arch == "x64" else "Program Files (x86)") / "quenvo"


def msi_table(msi, table):
    """A table of a built MSI as rows of columns, read back with msitools."""
    out = subprocess.run(["msiinfo", "export", str(msi), table], capture_output=True, text=True, check=True).stdout
    return [line.split("\t") for line in out.splitlines()[3:]]


def product_code(package):
    return dict(row[:2] for row in msi_table(package[1], "Property"))["ProductCode"]


def reg_rows(wine, key, arch):
    """{value name: text} under key in the package's registry view; None without the key."""
    rows = wine.reg_query(key, "/reg:64" if arch == "x64" else "/reg:32")
    return None if rows is None else {name: text for name, (_, text) in rows.items()}


def installed(wine, packages, names):
    """{package: its uninstall entry} of the named packages that have one."""
    entries = {n: reg_rows(wine, f"{UNINSTALL}\\{product_code(packages[n])}", arch_of(packages, n))
               for n in names if packages[n]}
    return {name: entry for name, entry in entries.items() if entry is not None}


def active_setup(wine, packages, name):
    """{component: its values} of the package's Active Setup components, as the machine holds them."""
    components = {r[2].rsplit("\\", 1)[1] for r in msi_table(packages[name][1], "Registry")
                  if r[1] == "2" and r[2].startswith(ACTIVE_SETUP)}
    found = {c: reg_rows(wine, f"HKLM\\{ACTIVE_SETUP}\\{c}", arch_of(packages, name)) for c in components}
    return {c: values for c, values in found.items() if values is not None}


def msiexec(wine, *args, expect=0):
    """Silent with /qn, so its log (/l*) is what shows that it ran.
    Returns (seconds, the log, which Wine writes as narrow text and Windows as UTF-16)."""
    log = wine.drive_c / "msiexec.log"
    log.unlink(missing_ok=True)
    started = time.monotonic()
    code, out = wine.start(["msiexec", *args, "/qn", "/l*", wine.win_path(log)], proof=wrote(log), timeout=300)
    assert code == expect, f"msiexec {' '.join(map(str, args))} ended with {code}:\n{out[-3000:]}"
    data = log.read_bytes()
    return time.monotonic() - started, data.decode("utf-16" if data[:2] == b"\xff\xfe" else "utf-8", "replace")


def reports(server, event):
    sent = [r for r in server.requests if r["kind"] == "report" and dict(r["params"]).get("reg") == event]
    assert all(r["flag_ok"] for r in sent)
    return len(sent)


# first: what A is installed over, an older version or the other architecture's package (x86 before
# x64 in the win64 run, x64 before x86 in the win32 run).
@pytest.mark.parametrize("mode, first", [("server", "older"), ("no-server", "other"), ("silent", None)])
def test_install_upgrade_open_and_remove(build, packages, tmp_path, mode, first):
    if first == "other" and not packages["other"]:
        pytest.skip(f"the other architecture's build ({release.OTHER[packages['arch']]}) is not usable here")
    wine = Wine(tmp_path / "prefix", build).boot()
    silent = {"faults": {kind: {"silent": True} for kind in ("stat", "version")}}
    server = DevServer(silent if mode == "silent" else {})
    port, software = closed_port() if mode == "no-server" else server.start(), USER_SOFTWARE[packages["arch"]]
    # x86: what the programs see once Wine redirects them; with both packages, both from the start.
    for place in set(USER_SOFTWARE.values()) if first == "other" else {"Software", software}:
        wine.set_proxy(port, place)
        wine.set_value("ShowCrashDialog", "0", "REG_DWORD", key=rf"{place}\Wine\WineDbg")
    try:
        if mode != "silent":
            return lifecycle(wine, server, packages, mode == "server", first)
        # The installation does not wait for the install report, nor a logon for a new user's;
        # the removal waits for the uninstall report no longer than the agent's bound on a request.
        assert msiexec(wine, "/i", wine.win_path(packages["a"][1]))[0] < 20
        assert wait_for(lambda: wine.reg_texts().get("install") == "1", timeout=120)  # it ran meanwhile
        wine.reg("delete", rf"HKCU\{software}\quenvo", "/f")
        before = wine.running("quenvodata.exe")  # the installation's agent still waits on the server
        logon(wine, active_setup(wine, packages, "a"))
        # The stub's detached copy, started since and waiting on the server, in its own folder.
        copies = [cwd for pid, (args, cwd) in wine.running("quenvodata.exe").items()
                  if pid not in before and args == ["data=install"]]
        assert copies == [folder_of(wine, packages["arch"]).resolve()]
        assert wait_for(lambda: reports(server, "install") == 2)
        assert msiexec(wine, "/x", wine.win_path(packages["a"][1]))[0] < 120
    finally:
        wine.shutdown()
        server.stop()


def check_installed(wine, packages, name):
    """The package's files in place, its uninstall entry the only one, the associations, and its
    Active Setup components naming its programs, with this user marked as done."""
    arch, version, (_, _, staged) = packages["arch"], packages["version"], packages[name]
    folder = folder_of(wine, arch)
    shipped = sorted(p.relative_to(staged) for p in staged.rglob("*") if p.is_file())
    assert sorted(p.relative_to(folder) for p in folder.rglob("*") if p.is_file()) == shipped
    assert all((folder / n).read_bytes() == (staged / n).read_bytes() for n in shipped)
    entries = installed(wine, packages, ("older", "a", "b", "other"))
    assert list(entries) == [name]
    assert (entries[name]["Publisher"], entries[name]["DisplayVersion"]) == ("quenvo", version)
    check_associations(wine, wine.win_path(folder), arch)
    steps = active_setup(wine, packages, name)
    assert sorted(values["StubPath"] for values in steps.values()) == [
        f'"{wine.win_path(folder)}\\quenvocommon.exe"', f'"{wine.win_path(folder)}\\quenvodata.exe" /detach data=install']
    for component, values in steps.items():
        assert values["Version"] == version.replace(".", ",")
        # Read in the 64-bit view, which Wine never redirects: where the marks really are. Under
        # Wine the x86 package's land one Wow6432Node deeper, which counts as the place it names.
        marks = {place: reg_rows(wine, f"HKCU\\{place}\\{component}", "x64") for place in set(USER_MARKS.values())}
        if arch == "x86":
            marks[WOW64_ACTIVE_SETUP] = marks[WOW64_ACTIVE_SETUP] or reg_rows(
                wine, f"HKCU\\{WINE_WOW64_MARKS}\\{component}", "x64")
        assert marks == {place: {"Version": values["Version"]} if place == USER_MARKS[arch] else None for place in marks}
    return folder, steps


def naming(wine, folder):
    """The keys of both architectures' places (classes, RegisteredApplications) whose text names folder."""
    return [key for arch in ("x64", "x86") for key, text in registries(wine, arch).items()
            if wine.win_path(folder).lower() in (key + text).lower()]


def logon(wine, steps):
    """Runs each StubPath of steps with its exact command line and waits for it, as Active Setup
    does at a logon: each ends with 0 within 5 s, whatever the server does."""
    for values in steps.values():
        stub = re.match(r'"([^"]+)"', values["StubPath"]).group(1)
        code, seconds = wine.run_raw(wine.unix_path(stub), values["StubPath"])
        assert (code, seconds < 5) == (0, True), (values["StubPath"], code, seconds)


def registries(wine, arch):
    """This user's and the machine's classes and RegisteredApplications, as exported (the user's
    read where the package's programs write them under Wine, named as on Windows)."""
    places = (("HKCU", USER_SOFTWARE[arch], ()), ("HKLM", "Software", ("/reg:64" if arch == "x64" else "/reg:32",)))
    held = {k: v for root, software, view in places for key in ("Classes", "RegisteredApplications")
            for k, v in export(wine, f"{root}\\{software}\\{key}", *view).items()}
    user = f"HKEY_CURRENT_USER\\{USER_SOFTWARE[arch]}\\"
    return {k.replace(user, "HKEY_CURRENT_USER\\Software\\", 1): v for k, v in held.items()}


def check_associations(wine, folder_win, arch):
    """What names the installed files is the machine's; the user has only values naming its ProgIDs."""
    held = registries(wine, arch)
    expected = {**program("HKEY_LOCAL_MACHINE", folder_win), **pointers("HKEY_CURRENT_USER")}
    assert found(held, expected) == expected
    assert not [key for key, text in held.items() if key.startswith("HKEY_CURRENT_USER") and folder_win in text]


def lifecycle(wine, server, packages, reachable, first):
    wine.trust_root(packages["root"])
    arch, software = packages["arch"], USER_SOFTWARE[packages["arch"]]
    gone = folder_of(wine, arch_of(packages, first))

    # 1. The older version (or the other architecture's package), then this one over it (A), then B over A.
    msiexec(wine, "/i", wine.win_path(packages[first][1]))
    assert gone.exists() and list(installed(wine, packages, [first])) == [first]
    if first == "other":  # a swap that fails after the removal: a file stands where A's icon folder goes
        blocker = folder_of(wine, arch) / "icon"
        blocker.parent.mkdir(parents=True)
        blocker.write_bytes(b"")
        _, log = msiexec(wine, "/i", wine.win_path(packages["a"][1]), expect=1603 & 0xFF)
        blocker.unlink()
        blocker.parent.rmdir()  # nothing of A left in its folder
        assert log.index("RemoveExistingProducts. Return value 1") < log.index("InstallFinalize")
        assert installed(wine, packages, ["a"]) == {}
        # Windows rolls the removal back with the rest of the script (the tables' test shows that it
        # runs there); Wine's msiexec runs it as a removal of its own, committed at once. So here
        # the replaced package is gone, and is installed again.
        msiexec(wine, "/i", wine.win_path(packages[first][1]))
    msiexec(wine, "/i", wine.win_path(packages["a"][1]))
    assert wait_for(lambda: wine.reg_texts().get("install") == "1")  # the agent ran, server or not
    assert wait_for(lambda: reports(server, "install") == (1 if reachable else 0))
    check_installed(wine, packages, "a")
    if first == "other":  # replaced as an older version is: its files, its steps and all that named them gone
        assert not gone.exists() and active_setup(wine, packages, "other") == {} and naming(wine, gone) == []
    msiexec(wine, "/i", wine.win_path(packages["b"][1]))
    folder, steps = check_installed(wine, packages, "b")
    folder_win = wine.win_path(folder)
    for locale in SHOWN:  # the machine's type names and description, in each UI language
        assert shown(wine, "HKLM", locale) == expected_shown(locale)

    # 2. A lower version is refused, and B stays. The log says why: the launch condition failed
    # once B was found (Wine's log leaves out the condition's text, which Windows writes there).
    lower = packages["lower"][1]
    _, log = msiexec(wine, "/i", wine.win_path(lower), expect=1603 & 0xFF)  # as a Unix exit code
    assert f"Found application: {product_code(packages['b'])}" in log
    assert re.findall(r"LaunchConditions\. Return value (\d+)", log) not in ([], ["1"]), log
    assert msi_table(lower, "LaunchCondition") == [["NOT (NEWERVERSIONFOUND OR NEWEROTHERARCHFOUND) OR Installed",
                                                    REFUSED]]
    check_installed(wine, packages, "b")

    # 3. Every installed program verifies, and its chain ends in the (now trusted) test root.
    checked = wine.drive_c / "trust.jsonl"
    programs = [folder / name for name in release.PROGRAMS]
    code, out = wine.start([wine.build.testbin / "trust.exe", "check", wine.win_path(checked),
                            *map(wine.win_path, programs)])
    assert code == 0, out
    assert [(r["result"], r["chain"]) for r in records(checked)] == [(0, 0)] * len(programs), records(checked)

    # 4. A document opened through the shell reaches the main program (a stand-in of ours).
    install(wine, folder.relative_to(wine.drive_c), ("fake_quenvo.exe", "quenvo.exe"))
    wine.mirror_classes_to_machine([".docx"], f"HKCU\\{software}")  # Wine's shell reads only HKLM
    if arch == "x86":  # and there only its own view: the x86 package's ProgID is in the 32-bit one
        wine.mirror_classes_to_machine(["Quenvo2021.docx"], r"HKLM\Software", "/reg:32")
    document = wine.drive_c / "docs" / "a b.docx"
    document.parent.mkdir()
    document.write_text("content")
    wine.open_document(document)
    started = wait_for(lambda: records(folder / "received.txt"))
    assert [r["cmdline"] for r in started] == [f'"{folder_win}\\quenvo.exe" "{wine.win_path(document)}"']
    for added in ("quenvo.exe", "received.txt"):  # the suite's, not this package's
        (folder / added).unlink()
    wine.delete_keys([r"HKLM\Software\Classes\.docx", r"HKLM\Software\Classes\Quenvo2021.docx"] if arch == "x86"
                     else [r"HKLM\Software\Classes\.docx"])

    # 5. A second user's first logon: no per-user state, and each StubPath run as Windows does.
    classes = [f"{software}\\Classes\\{name}" for ext in EXTENSIONS for name in (ext, f"Quenvo2021{ext}")]
    wine.delete_keys(f"HKCU\\{key}" for key in
                     classes + [f"{place}\\{component}" for component in steps for place in (USER_MARKS[arch], WINE_WOW64_MARKS)]
                     + [f"{software}\\quenvo"])
    logon(wine, steps)
    check_associations(wine, folder_win, arch)
    assert wait_for(lambda: wine.reg_texts().get("install") == "1")  # the agent, started by the shell
    assert wait_for(lambda: reports(server, "install") == (2 if reachable else 0))
    if reachable:  # the report's stub once more: its agent ends without a report
        logon(wine, {c: v for c, v in steps.items() if "quenvodata.exe" in v["StubPath"]})
        assert wait_for(lambda: not wine.running("quenvodata.exe"), timeout=60) and reports(server, "install") == 2

    # That user's associations are kept aside, as a hive that the removal will not load.
    aside = wine.drive_c / "second-user.reg"
    wine.reg("export", rf"HKCU\{software}\Classes", wine.win_path(aside), "/y")

    # 6. Removal: one uninstall report; no file, association, uninstall or Active Setup entry left;
    # the user's profile kept. (Counted from here: Wine's msiexec removes the older version of an
    # upgrade without UPGRADINGPRODUCTCODE, so that removal reports too, as Windows' doesn't.)
    earlier = reports(server, "uninstall")
    msiexec(wine, "/x", wine.win_path(packages["b"][1]))
    assert reports(server, "uninstall") - earlier == (1 if reachable else 0)
    assert not folder.exists()
    assert installed(wine, packages, ["b"]) == {} and active_setup(wine, packages, "b") == {}
    assert not [key for key, text in registries(wine, arch).items() if "Quenvo" in key + text]
    assert naming(wine, gone) == []
    assert wine.reg_texts().get("install") == "1"

    # 7. The second user's hive, which the removal never loaded, put back; then their next logon.
    wine.import_reg(aside.read_bytes().decode("utf-16").split("\n", 1)[1])
    logon(wine, active_setup(wine, packages, "b"))
    held = registries(wine, arch)
    assert not [key for key, text in held.items() if folder_win.lower() in (key + text).lower()]
    assert naming(wine, gone) == []
    assert found(held, pointers("HKEY_CURRENT_USER")) == pointers("HKEY_CURRENT_USER")  # naming ProgIDs now gone


@pytest.mark.native
@pytest.mark.parametrize("arch", ["x64", "x86"])
def test_per_user_parts_of_the_tables(tmp_path, arch):
    """What Wine can't show, read back: LocalSystem runs no per-user action, installing or removing;
    the user's marks with VersionNT64 and without (here no 32-bit program runs, the prefix is 64-bit)."""
    build = Build(release.ARCHITECTURES[arch])
    if not (build.bin / "quenvodata.exe").exists():
        pytest.skip(f"{build.dir} is not built")
    msi = release.package(build.bin, arch, build.cache("CMAKE_PROJECT_VERSION"), "quenvo", shutil.copyfile, 0,
                          tmp_path, tmp_path)[1]
    sequence, registry = dict(r[:2] for r in msi_table(msi, "InstallExecuteSequence")), msi_table(msi, "Registry")
    actions = {r[0]: (int(r[1]), r[2], r[3]) for r in msi_table(msi, "CustomAction")}
    per_user = {a for a, (kind, _, _) in actions.items() if kind & 0xC00 == 0x400}  # deferred, impersonated
    assert {"RegisterAssociations", "ReportInstall", "ReportUninstall", "RemoveAssociations"} <= per_user
    assert all(sequence[a].endswith(' AND UserSID <> "S-1-5-18"') and " OR " not in sequence[a] for a in per_user)
    # Replaced by an upgrade (of either architecture), a package sends no report and keeps the
    # associations: Windows sets UPGRADINGPRODUCTCODE there, Wine's msiexec does not.
    assert all("NOT UPGRADINGPRODUCTCODE" in sequence[a] for a in ("ReportUninstall", "RemoveAssociations"))
    stubs = sorted(r[4] for r in registry if r[3] == "StubPath")
    assert stubs == ['"[INSTALLDIR]quenvocommon.exe"', '"[INSTALLDIR]quenvodata.exe" /detach data=install']
    assert not [s for s in stubs if any(host in s.lower() for host in STUB_HOSTS)]
    # One package per machine: the other architecture's package is found, replaced and refused by
    # the same versions as this one's; and it is removed whole before this one writes anything,
    # inside this one's script (so a failure rolls the removal back): right after InstallInitialize,
    # every later action here writes the script.
    below = dict(r[:2] for r in msi_table(msi, "Property"))["ProductVersion"].split(".")
    below = f"{below[0]}.{below[1]}.{int(below[2]) + 1}"
    codes = {release.UPGRADE_CODES[arch]: ("OTHERVERSION", "VERSION"),
             release.UPGRADE_CODES[release.OTHER[arch]]: ("OTHERARCH", "OTHERARCH")}
    assert sorted(msi_table(msi, "Upgrade")) == sorted(row for code, (older, newer) in codes.items() for row in (
        [code, "0.0.0.0", below, "", "256", "", f"{older}FOUND"], [code, below, "", "", "258", "", f"NEWER{newer}FOUND"]))
    order = [r[0] for r in sorted(msi_table(msi, "InstallExecuteSequence"), key=lambda r: int(r[2]))]
    assert order[order.index("InstallInitialize") + 1] == "RemoveExistingProducts"
    setters = {a: target for a, (_, source, target) in actions.items() if source == "UserActiveSetupKey"}
    assert len(setters) <= 1 and all(sequence.get(a) == "VersionNT64" for a in setters)
    default = dict(r[:2] for r in msi_table(msi, "Property"))["UserActiveSetupKey"]
    for place, version_nt64 in ((USER_MARKS[arch], True), (ACTIVE_SETUP, False)):
        key = next(iter(setters.values())) if setters and version_nt64 else default
        assert {r[2].replace("[UserActiveSetupKey]", key) for r in registry if r[1] == "1"} == \
            {f"{place}\\{component}" for component in release.ACTIVE_SETUP[arch]}
