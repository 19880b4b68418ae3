"""tools/release from two checkouts of this commit in different folders, one test-signed and
one with the same certificate given as a PKCS#12 file: the same bytes, and signatures that
hold."""
import filecmp
import os
import secrets
import subprocess
import zipfile

import pytest

from tools import release
from tools.testkit import signing
from tools.testkit.wine import REPO

pytestmark = pytest.mark.native
ZIPPED = release.PROGRAMS + ["icon/doc.ico", "icon/ppt.ico", "icon/xls.ico"]


def checkout(folder):
    head = subprocess.run(["git", "-C", str(REPO), "rev-parse", "HEAD"], capture_output=True, text=True,
                          check=True).stdout.strip()
    subprocess.run(["git", "clone", "-q", "--no-checkout", str(REPO), str(folder)], check=True)
    subprocess.run(["git", "-C", str(folder), "checkout", "-q", "--detach", head], check=True)
    return folder


def run_release(folder, **env):
    result = subprocess.run([str(folder / "tools" / "release")], cwd=folder, env=dict(os.environ, **env),
                            capture_output=True, text=True, timeout=3600, check=False)
    output = result.stdout + result.stderr
    assert result.returncode == 0, output[-5000:]
    return output


def flipped(path, offset, target):
    data = bytearray(path.read_bytes())
    data[offset] ^= 0xFF
    target.write_bytes(data)
    return target


def test_two_checkouts_give_the_same_signed_release(tmp_path):
    one, two = checkout(tmp_path / "one"), checkout(tmp_path / "elsewhere" / "two")
    said = run_release(one)
    assert "TEST-SIGNED" in said
    signing_folder = one / "build" / "signing"
    leaf = signing.Certificate(signing_folder / "leaf.crt", signing_folder / "leaf.key")
    password = secrets.token_urlsafe(12)
    p12 = signing.export_pkcs12(leaf, tmp_path / "signer.p12", password)
    said = run_release(two, QUENVO_SIGN_PKCS12=str(p12.path), QUENVO_SIGN_PASSWORD=password)
    assert "TEST-SIGNED" not in said and password not in said

    version = release.cmake_cache(one / "build" / "release-win64", "CMAKE_PROJECT_VERSION")
    packages = [f"quenvo-companions-{version}-{arch}.{kind}" for arch in ("x64", "x86") for kind in ("msi", "zip")]
    names = sorted(p.name for p in (one / "dist").iterdir())
    assert names == sorted(packages + ["SHA256SUMS"]) == sorted(p.name for p in (two / "dist").iterdir())
    differ = [n for n in names if not filecmp.cmp(one / "dist" / n, two / "dist" / n, shallow=False)]
    assert differ == []
    for preset in ("win64", "win32"):  # the programs before signing, too
        bins = [folder / "build" / f"release-{preset}" / "bin" for folder in (one, two)]
        assert all(filecmp.cmp(bins[0] / n, bins[1] / n, shallow=False) for n in release.PROGRAMS), preset
    sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=one / "dist", capture_output=True, text=True)
    assert sums.returncode == 0, sums.stdout + sums.stderr

    root = signing_folder / "test-root.crt"
    signed = [one / "dist" / p for p in packages if p.endswith(".msi")]
    for archive in (p for p in packages if p.endswith(".zip")):
        unpacked = tmp_path / archive
        with zipfile.ZipFile(one / "dist" / archive) as z:
            assert z.namelist() == ZIPPED
            z.extractall(unpacked)
        signed += [unpacked / name for name in release.PROGRAMS]
    for path in signed:
        ok, output = signing.verify(path, root)
        assert ok, f"{path}:\n{output}"
    pe, msi = signed[2], signed[0]
    for tampered in (flipped(pe, pe.stat().st_size // 2, tmp_path / "tampered.exe"),
                     flipped(msi, msi.read_bytes().find(b"MSCF") + 1000, tmp_path / "tampered.msi")):
        assert not signing.verify(tampered, root)[0], tampered
