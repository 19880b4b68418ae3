"""tools/release from two checkouts of this commit in different folders, one test-signed and
one with the same certificate given as a PKCS#12 file and timestamped: signatures and timestamps
that hold, the same bytes once the second is packaged again without a timestamp, and
tools/verify-release passing the timestamped release and failing a tampered one. The second
checkout is where the first one's verify-release keeps its clone of the commit, so that the check
compares with the second's builds (as a second check would) instead of building them a third time."""
import filecmp
import os
import secrets
import shutil
import subprocess
import sys
import zipfile

import pefile
import pytest

from tools import release
from tools import signing
from tools.testkit.tsa import TimestampServer
from tools.testkit.wine import REPO

pytestmark = pytest.mark.native
ZIPPED = release.PROGRAMS + ["icon/doc.ico", "icon/ppt.ico", "icon/xls.ico"]


HEAD = subprocess.run(["git", "-C", str(REPO), "rev-parse", "HEAD"], capture_output=True, text=True,
                      check=True).stdout.strip()


def checkout(folder):
    subprocess.run(["git", "clone", "-q", "--no-checkout", str(REPO), str(folder)], check=True)
    subprocess.run(["git", "-C", str(folder), "checkout", "-q", "--detach", HEAD], check=True)
    return folder


def run(args, folder, status=0, **env):
    result = subprocess.run([str(a) for a in args], cwd=folder, env=dict(os.environ, **env), capture_output=True,
                            text=True, timeout=3600, check=False)
    output = result.stdout + result.stderr
    assert result.returncode == status, output[-5000:]
    return output


def tampered_program(dist, name, signer, work):
    """dist's x64 zip with one byte of name's code changed, the program signed by signer, and
    SHA256SUMS made anew, as someone who swapped the program would."""
    archive = next(dist.glob("*-x64.zip"))
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        z.extractall(work)
    signing.remove_signature(work / name, work / "unsigned.exe")
    text = next(s for s in pefile.PE(str(work / "unsigned.exe")).sections if s.Name.startswith(b".text"))
    flipped(work / "unsigned.exe", text.PointerToRawData + text.SizeOfRawData // 2, work / "changed.exe")
    when = int(release.read_buildinfo(dist / "BUILDINFO")[0]["source-date-epoch"])
    signing.sign(work / "changed.exe", work / name, signer, when)
    release.write_zip(work, names, archive, when)
    (dist / "SHA256SUMS").unlink()
    release.write_sums(dist)


def flipped(path, offset, target):
    data = bytearray(path.read_bytes())
    data[offset] ^= 0xFF
    target.write_bytes(data)
    return target


def test_two_checkouts_give_the_same_signed_release(tmp_path):
    one = checkout(tmp_path / "one")
    two = checkout(one / "build" / "verify" / HEAD)
    said = run([one / "tools" / "release"], one)
    assert "TEST-SIGNED" in said and "NOT TIMESTAMPED" in said
    signing_folder = one / "build" / "signing"
    root = signing_folder / "test-root.crt"
    leaf = signing.Certificate(signing_folder / "leaf.crt", signing_folder / "leaf.key")
    password = secrets.token_urlsafe(12)
    p12 = signing.export_pkcs12(leaf, tmp_path / "signer.p12", password)
    key = dict(QUENVO_SIGN_PKCS12=str(p12.path), QUENVO_SIGN_PASSWORD=password)
    with TimestampServer(tmp_path / "tsa") as tsa:
        said = run([two / "tools" / "release"], two, QUENVO_SIGN_TIMESTAMP_URL=tsa.url, **key)
    assert "TEST-SIGNED" not in said and "NOT TIMESTAMPED" not in said and password not in said
    stamped = tmp_path / "stamped"
    shutil.copytree(two / "dist", stamped)
    stranger = signing.make_leaf(signing.Certificate(root, signing_folder / "test-root.key"), tmp_path / "stranger",
                                 "someone else")
    said = run([sys.executable, "-m", "tools.release"], two, 1, QUENVO_SIGN_PKCS12=str(
        signing.export_pkcs12(stranger, tmp_path / "stranger.p12", password).path), QUENVO_SIGN_PASSWORD=password)
    assert "is 'someone else', not the publisher 'quenvo'" in said
    run([sys.executable, "-m", "tools.release"], two, **key)  # packaged again, without the timestamps

    version = release.cmake_cache(one / "build" / "release-win64", "CMAKE_PROJECT_VERSION")
    packages = [f"quenvo-companions-{version}-{arch}.{kind}" for arch in ("x64", "x86") for kind in ("msi", "zip")]
    names = sorted(p.name for p in (one / "dist").iterdir())
    assert names == sorted(packages + ["BUILDINFO", "SHA256SUMS"]) == sorted(p.name for p in (two / "dist").iterdir())
    differ = [n for n in names if not filecmp.cmp(one / "dist" / n, two / "dist" / n, shallow=False)]
    assert differ == []
    assert filecmp.cmpfiles(one / "dist", stamped, names, shallow=False)[0] == ["BUILDINFO"]  # the rest is stamped
    for preset in ("win64", "win32"):  # the programs before signing, too
        bins = [folder / "build" / f"release-{preset}" / "bin" for folder in (one, two)]
        assert all(filecmp.cmp(bins[0] / n, bins[1] / n, shallow=False) for n in release.PROGRAMS), preset
    sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=one / "dist", capture_output=True, text=True)
    assert sums.returncode == 0, sums.stdout + sums.stderr

    signed = [stamped / p for p in packages if p.endswith(".msi")]
    for archive in (p for p in packages if p.endswith(".zip")):
        unpacked = tmp_path / archive
        with zipfile.ZipFile(stamped / archive) as z:
            assert z.namelist() == ZIPPED
            z.extractall(unpacked)
        signed += [unpacked / name for name in release.PROGRAMS]
    for path in signed:
        ok, output = signing.verify(path, root, tsa_root=tsa.root.cert)
        assert ok and "Timestamp Server Signature verification: ok" in output, f"{path}:\n{output}"
    assert tsa.replies == len(signed)

    verified = run([one / "tools" / "verify-release", stamped], one)
    assert verified.count(": same\n") == 2 * (len(ZIPPED) + 2) + 1 and "verdict: the release is the build" in verified
    tampered_program(stamped, "Quenvodef.exe", stranger, tmp_path / "swap")
    failed = run([one / "tools" / "verify-release", stamped], one, 1)
    assert f"{version}-x64.zip/Quenvodef.exe: the code differs" in failed and "verdict: the release DIFFERS" in failed
    pe, msi = signed[2], signed[0]
    for tampered in (flipped(pe, pe.stat().st_size // 2, tmp_path / "tampered.exe"),
                     flipped(msi, msi.read_bytes().find(b"MSCF") + 1000, tmp_path / "tampered.msi")):
        assert not signing.verify(tampered, root)[0], tampered
