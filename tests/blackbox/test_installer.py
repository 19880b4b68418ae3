"""The MSI of the build under test, in a fresh Wine prefix: an older version, the upgrade to this
one, a document opened through the shell, and removal; with the local server as the proxy, and
with no server at all."""
import functools

import pytest

from tools import release
from tools import signing
from tools.testkit.dev_server import DevServer
from tools.testkit.net import closed_port
from tools.testkit.wine import Wine, install, records, wait_for

OLDER = "2.0.0.4"
EXTENSIONS = [".ppt", ".pptx", ".doc", ".docx", ".xls", ".xlsx", ".csv"]
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


@pytest.fixture(scope="module")
def packages(build, tmp_path_factory):
    """The build's files packaged as the release does, signed by a test leaf: this version, and
    an older one signed a day earlier (so its files differ)."""
    work = tmp_path_factory.mktemp("packages")
    root = signing.make_root(work)
    leaf = signing.make_leaf(root, work, "quenvo")
    arch = "x64" if build.bits == 64 else "x86"
    version = release.cmake_cache(build.dir, "CMAKE_PROJECT_VERSION")
    when = release.release_time()
    made = {}
    for v, signed in ((OLDER, when - 86400), (version, when)):
        (work / v).mkdir()
        sign = functools.partial(signing.sign, signer=leaf, when=signed)
        made[v] = release.package(build.bin, arch, v, "quenvo", sign, signed, work / v, work / v)
    return {"root": root.cert, "arch": arch, "version": version, "older": made[OLDER], "current": made[version]}


def uninstall_entry(wine, arch, version):
    """The values of the package's uninstall entry, in its architecture's registry view; None
    when there is none."""
    key = f"{UNINSTALL}\\{release.code('product', version, arch)}"
    code, out = wine.reg("query", key, "/reg:64" if arch == "x64" else "/reg:32")
    if code != 0:
        return None
    rows = (line.split(None, 2) for line in out.splitlines())
    return {row[0]: row[2] for row in rows if len(row) == 3 and row[1].startswith("REG_")}


@pytest.mark.parametrize("reachable", [True, False], ids=["server", "no-server"])
def test_install_upgrade_open_and_remove(build, packages, tmp_path, reachable):
    wine = Wine(tmp_path / "prefix", build).boot()
    server = DevServer({})
    wine.set_proxy(server.start() if reachable else closed_port())
    try:
        lifecycle(wine, server, packages, reachable)
    finally:
        wine.shutdown()
        server.stop()


def msiexec(wine, *args):
    """Silent with /qn, so its log shows that it ran: a start that Wine lost leaves none."""
    log = wine.drive_c / "msiexec.log"
    log.unlink(missing_ok=True)
    code, out = wine.tool("msiexec", *args, "/qn", "/l*", wine.win_path(log), done=log.exists, timeout=300)
    assert code == 0, f"msiexec {' '.join(map(str, args))} ended with {code}:\n{out[-3000:]}"


def reports(server, event):
    sent = [r for r in server.requests if r["kind"] == "report" and dict(r["params"]).get("reg") == event]
    assert all(r["flag_ok"] for r in sent)
    return len(sent)


def lifecycle(wine, server, packages, reachable):
    arch, version = packages["arch"], packages["version"]
    _, older_msi, _ = packages["older"]
    _, msi, staged = packages["current"]
    wine.trust_root(packages["root"])

    # 1. The older version, then this one over it.
    msiexec(wine, "/i", wine.win_path(older_msi))
    msiexec(wine, "/i", wine.win_path(msi))

    # 2. This version's files, one uninstall entry, the associations, one signed install report.
    folder = wine.drive_c / ("Program Files" if arch == "x64" else "Program Files (x86)") / "quenvo"
    shipped = sorted(p.relative_to(staged) for p in staged.rglob("*") if p.is_file())
    assert sorted(p.relative_to(folder) for p in folder.rglob("*") if p.is_file()) == shipped
    assert all((folder / name).read_bytes() == (staged / name).read_bytes() for name in shipped)
    assert uninstall_entry(wine, arch, OLDER) is None
    entry = uninstall_entry(wine, arch, version)
    assert entry and (entry["Publisher"], entry["DisplayVersion"]) == ("quenvo", version), entry
    folder_win = wine.win_path(folder)
    for ext in EXTENSIONS:
        assert wine.reg_query(f"Software\\Classes\\{ext}") == {"(Default)": ("REG_SZ", f"Quenvo2021{ext}")}
        assert wine.reg_query(f"Software\\Classes\\Quenvo2021{ext}\\shell\\open\\command") == \
            {"(Default)": ("REG_SZ", f'"{folder_win}\\Quenvodef.exe" "%1"')}
    assert wine.reg_texts().get("install") == "1"  # the agent ran, server or not
    assert reports(server, "install") == (1 if reachable else 0)
    # Every installed program verifies, and its chain ends in the (now trusted) test root.
    checked = wine.drive_c / "trust.jsonl"
    programs = [folder / name for name in release.PROGRAMS]
    code, out = wine.tool(wine.build.testbin / "trust.exe", "check", wine.win_path(checked),
                          *map(wine.win_path, programs))
    assert code == 0, out
    assert [(r["result"], r["chain"]) for r in records(checked)] == [(0, 0)] * len(programs), records(checked)

    # 3. A document opened through the shell reaches the main program (a stand-in of ours).
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

    # 4. Removal: one uninstall report; no file, association or uninstall entry left; the
    # user's profile kept. (Counted from here: Wine's msiexec removes the older version of an
    # upgrade without UPGRADINGPRODUCTCODE, so that removal reports too, as Windows' doesn't.)
    earlier = reports(server, "uninstall")
    msiexec(wine, "/x", wine.win_path(msi))
    assert reports(server, "uninstall") - earlier == (1 if reachable else 0)
    assert not folder.exists()
    assert uninstall_entry(wine, arch, version) is None
    code, out = wine.reg("query", r"HKCU\Software\Classes", "/s")
    assert code == 0 and "Quenvo2021" not in out
    assert wine.reg_texts().get("install") == "1"
