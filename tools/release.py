"""The signed release of both architectures, reproducibly: tools/release builds the programs,
then runs this (python3 -m tools.release) to write dist/:

    quenvo-companions-<version>-x64.zip and -x86.zip   the files laid out as installed
    quenvo-companions-<version>-x64.msi and -x86.msi   per-machine installers (installer/quenvo.wxs)
    SHA256SUMS                                          for sha256sum -c
    BUILDINFO                                           what tools/verify-release rebuilds from

Every PE file and both MSIs are signed (Authenticode, SHA-256). The certificate is the PKCS#12
file named by QUENVO_SIGN_PKCS12, with its password in QUENVO_SIGN_PASSWORD; without one, a test
root and leaf under build/signing/ (made once, then reused). QUENVO_SIGN_TIMESTAMP_URL names an
RFC 3161 time-stamping authority that countersigns every signature.

Without a timestamp, the same commit and certificate give the same bytes: every time stamp
(signing, zip entries, the cabinet, the MSI's summary) is SOURCE_DATE_EPOCH or else the commit's
time, entries come in a fixed order, and the MSI's codes derive from what the package holds: the
installer's source and the unsigned files, the version and the architecture. With one, only the
timestamps differ, which tools/verify-release sees past."""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import time
import uuid
import zipfile
from pathlib import Path

import olefile

from tools import pecheck, signing

REPO = Path(__file__).resolve().parents[1]
WXS = REPO / "installer" / "quenvo.wxs"
ARCHITECTURES = {"x64": "win64", "x86": "win32"}  # MSI architecture: build preset
PROGRAMS = ["FileAssociation.dll", "Quenvodef.exe", "quenvocommon.exe", "quenvodata.exe"]
# Fixed for ever: every version of a package carries its architecture's upgrade code, which is
# how a newer one finds and replaces an older one. Each package also finds the other
# architecture's by its code, and replaces it the same way: one package per machine.
UPGRADE_CODES = {"x64": "{6B0C2E5A-3C1D-4E8B-9F27-5A4D1B7C9E01}", "x86": "{6B0C2E5A-3C1D-4E8B-9F27-5A4D1B7C9E02}"}
OTHER = {"x64": "x86", "x86": "x64"}
# The product and package codes are name-based UUIDs under this namespace. Active Setup's
# components (the per-user steps of every later logon) are fixed, like the upgrade codes.
ACTIVE_SETUP = {"x64": ("{6B0C2E5A-3C1D-4E8B-9F27-5A4D1B7C9E11}", "{6B0C2E5A-3C1D-4E8B-9F27-5A4D1B7C9E12}"),
                "x86": ("{6B0C2E5A-3C1D-4E8B-9F27-5A4D1B7C9E21}", "{6B0C2E5A-3C1D-4E8B-9F27-5A4D1B7C9E22}")}
CODE_NAMESPACE = uuid.UUID("1f0d7c52-9a3e-4b61-8c2d-7e5f4a3b2c10")
FOLDERS = {"x64": ("ProgramFiles64Folder", "System64Folder", "yes"),
           "x86": ("ProgramFilesFolder", "SystemFolder", "no")}
SUMMARY_REVISION, SUMMARY_CREATED, SUMMARY_SAVED = 9, 12, 13  # property ids of the summary stream
VT_LPSTR, VT_FILETIME = 30, 64
# The Debian packages whose versions shape the release's bytes: compilers and their runtimes,
# the linker, the signer, the MSI and cabinet writers, and the summary stream's rewriter.
TOOL_PACKAGES = ["gcc-mingw-w64-x86-64-posix", "g++-mingw-w64-x86-64-posix", "gcc-mingw-w64-i686-posix",
                 "g++-mingw-w64-i686-posix", "binutils-mingw-w64-x86-64", "binutils-mingw-w64-i686",
                 "mingw-w64-x86-64-dev", "mingw-w64-i686-dev", "osslsigncode", "wixl", "libgcab-1.0-0",
                 "openssl", "python3-olefile"]


def release_time():
    """SOURCE_DATE_EPOCH when set, else the current commit's time (unix seconds)."""
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    return int(subprocess.run(["git", "-C", str(REPO), "log", "-1", "--format=%ct"], capture_output=True,
                              text=True, check=True).stdout)


def cmake_cache(build_dir, name):
    for line in (Path(build_dir) / "CMakeCache.txt").read_text().splitlines():
        if line.startswith(name + ":"):
            return line.split("=", 1)[1]
    raise KeyError(f"{name} is not in {build_dir}/CMakeCache.txt")


def content_digest(bin_dir, names, version, arch, wxs=WXS):
    """SHA-256 of what a package holds, before signing: the installer's source, each shipped
    file's name and bytes as built, the version and the architecture. Signing (which may carry a
    timestamp) is left out, so that an unsigned rebuild of the same commit gives the same codes."""
    digest = hashlib.sha256(f"{version} {arch}\n".encode() + Path(wxs).read_bytes())
    for name in names:
        data = (Path(bin_dir) / name).read_bytes()
        digest.update(f"{name} {len(data)}\n".encode() + data)
    return digest.hexdigest()


def code(kind, digest, arch):
    """A product or package code, derived from the package's content digest: every build with
    other content is another package and another product (a major upgrade of the one before),
    and the same content gives the same codes."""
    return "{%s}" % str(uuid.uuid5(CODE_NAMESPACE, f"quenvo companions {kind} {digest} {arch}")).upper()


def stage(bin_dir, folder, sign, when):
    """Copies the shipped files from a build's bin/ into folder as they are installed (the icons
    in icon\\), signs the PE files with sign(source, target), and dates every file at `when`.
    Returns their relative names, in a fixed order."""
    shutil.rmtree(folder, ignore_errors=True)
    (folder / "icon").mkdir(parents=True)
    icons = sorted(p.name for p in (Path(bin_dir) / "icon").glob("*.ico"))
    names = PROGRAMS + [f"icon/{name}" for name in icons]
    for name in names:
        if name in PROGRAMS:
            sign(Path(bin_dir) / name, folder / name)
        else:
            shutil.copyfile(Path(bin_dir) / name, folder / name)
        os.utime(folder / name, (when, when))
    return names


def write_zip(folder, names, target, when):
    stamp = time.gmtime(max(when, 315532800))[:6]  # zip times start in 1980
    with zipfile.ZipFile(target, "w") as archive:
        for name in names:
            entry = zipfile.ZipInfo(name, stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0
            entry.external_attr = 0
            archive.writestr(entry, (folder / name).read_bytes(), compresslevel=9)


def filetime(when):
    return (when + 11644473600) * 10_000_000


def set_summary(msi, package_code, when):
    """wixl draws the package code (the summary's revision number) at random and stamps the
    build's time: puts the derived code and `when` in their place, at the same length."""
    ole = olefile.OleFileIO(str(msi), write_mode=True)
    try:
        stream = bytearray(ole.openstream("\x05SummaryInformation").read())
        section = struct.unpack_from("<I", stream, 44)[0]  # after the header and the one FMTID
        count = struct.unpack_from("<I", stream, section + 4)[0]
        found = set()
        for index in range(count):
            prop, offset = struct.unpack_from("<II", stream, section + 8 + 8 * index)
            at = section + offset
            kind = struct.unpack_from("<I", stream, at)[0]
            if prop == SUMMARY_REVISION and kind == VT_LPSTR:
                text = package_code.encode("ascii") + b"\0"
                if struct.unpack_from("<I", stream, at + 4)[0] != len(text):
                    raise ValueError(f"{msi}: the revision number is not a GUID")
                stream[at + 8:at + 8 + len(text)] = text
            elif prop in (SUMMARY_CREATED, SUMMARY_SAVED) and kind == VT_FILETIME:
                struct.pack_into("<Q", stream, at + 4, filetime(when))
            else:
                continue
            found.add(prop)
        if found != {SUMMARY_REVISION, SUMMARY_CREATED, SUMMARY_SAVED}:
            raise ValueError(f"{msi}: summary properties {sorted(found)} found")
        ole.write_stream("\x05SummaryInformation", bytes(stream))
    finally:
        ole.close()


def write_msi(folder, target, arch, version, publisher, when, digest, wxs=WXS):
    """Builds the unsigned MSI of the staged folder with wixl."""
    program_files, system, win64 = FOLDERS[arch]
    package_code = code("package", digest, arch)
    major, minor, build = version.split(".")[:3]
    defines = {"Version": version, "UpgradeBelow": f"{major}.{minor}.{int(build) + 1}", "Publisher": publisher,
               "ProductCode": code("product", digest, arch), "PackageCode": package_code,
               "UpgradeCode": UPGRADE_CODES[arch], "OtherUpgradeCode": UPGRADE_CODES[OTHER[arch]],
               "ActiveSetupAssociations": ACTIVE_SETUP[arch][0],
               "ActiveSetupReport": ACTIVE_SETUP[arch][1], "ActiveSetupVersion": version.replace(".", ","),
               "Source": ".", "ProgramFiles": program_files, "System": system, "Win64": win64}
    args = ["wixl", "-a", arch, "-o", str(Path(target).resolve())]
    for name, value in defines.items():
        args += ["-D", f"{name}={value}"]
    # wixl finds the files relative to the folder it runs in (it takes no absolute path). The
    # cabinet keeps the files' times as local time: UTC everywhere.
    result = subprocess.run(args + [str(wxs)], cwd=folder, capture_output=True, text=True,
                            env=dict(os.environ, TZ="UTC"), check=False)
    if result.returncode != 0 or not target.exists():
        raise RuntimeError(f"wixl failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    set_summary(target, package_code, when)


def package(bin_dir, arch, version, publisher, sign, when, work, out):
    """The zip and the MSI of one architecture's build, their files and the MSI signed with
    sign(source, target): (zip, msi, staged folder)."""
    folder = Path(work) / f"stage-{arch}"
    names = stage(bin_dir, folder, sign, when)
    base = f"quenvo-companions-{version}-{arch}"
    archive, msi = Path(out) / f"{base}.zip", Path(out) / f"{base}.msi"
    write_zip(folder, names, archive, when)
    unsigned = Path(work) / f"{base}.unsigned.msi"
    unsigned.unlink(missing_ok=True)
    write_msi(folder, unsigned, arch, version, publisher, when, content_digest(bin_dir, names, version, arch))
    sign(unsigned, msi)
    return archive, msi, folder


def test_signer(folder, publisher):
    """The test root and leaf under folder, made on the first run and reused after; the leaf
    is made anew when the publisher changed."""
    root = signing.Certificate(folder / "test-root.crt", folder / "test-root.key")
    if not (root.cert.exists() and root.key.exists()):
        shutil.rmtree(folder, ignore_errors=True)
        root = signing.make_root(folder, f"{publisher} test root")
    leaf = signing.Certificate(folder / "leaf.crt", folder / "leaf.key")
    if not (leaf.cert.exists() and leaf.key.exists()) or signing.subject_cn(leaf.cert) != publisher:
        leaf = signing.make_leaf(root, folder, publisher)
    return leaf


def tool_versions():
    """{package: installed version} of TOOL_PACKAGES ("missing" for one not installed)."""
    found = {name: "missing" for name in TOOL_PACKAGES}
    result = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${db:Status-Abbrev} ${Version}\n", *TOOL_PACKAGES],
                            capture_output=True, text=True, check=False)
    for line in result.stdout.splitlines():
        name, status, *version = line.split()
        if status.startswith("ii") and version:
            found[name] = version[0]
    return found


def git(*args):
    return subprocess.run(["git", "-C", str(REPO), *args], capture_output=True, text=True, check=True).stdout


def write_buildinfo(dist, version, publisher, when, dirty):
    """dist/BUILDINFO: the commit and the time it was built from, and the tools' versions."""
    lines = [f"commit: {git('rev-parse', 'HEAD').strip()}", f"tree: {'modified' if dirty else 'clean'}",
             f"source-date-epoch: {when}", f"version: {version}", f"publisher: {publisher}"]
    lines += [f"tool {name}: {found}" for name, found in tool_versions().items()]
    (dist / "BUILDINFO").write_text("\n".join(lines) + "\n")


def read_buildinfo(path):
    """BUILDINFO as (fields, tools): two dicts."""
    fields, tools = {}, {}
    for line in Path(path).read_text().splitlines():
        key, _, value = line.partition(": ")
        if key.startswith("tool "):
            tools[key[5:]] = value
        elif key:
            fields[key] = value
    return fields, tools


def write_sums(dist):
    lines = [f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.name}\n" for p in sorted(dist.iterdir())]
    (dist / "SHA256SUMS").write_text("".join(lines))


def main():
    builds = {arch: REPO / "build" / f"release-{preset}" for arch, preset in ARCHITECTURES.items()}
    version = cmake_cache(builds["x64"], "CMAKE_PROJECT_VERSION")
    publisher = cmake_cache(builds["x64"], "QUENVO_PUBLISHER")
    if (cmake_cache(builds["x86"], "CMAKE_PROJECT_VERSION"), cmake_cache(builds["x86"], "QUENVO_PUBLISHER")) != \
            (version, publisher):
        sys.exit("the two builds differ in version or publisher: configure both alike")
    when = release_time()
    # No child needs the password in its environment: osslsigncode and openssl read it from a
    # private file.
    password = os.environ.pop("QUENVO_SIGN_PASSWORD", "")
    if os.environ.get("QUENVO_SIGN_PKCS12"):
        signer = signing.Pkcs12(Path(os.environ["QUENVO_SIGN_PKCS12"]), password)
        subject = signing.pkcs12_subject_cn(signer)
        if subject != publisher:
            sys.exit(f"release refused: the certificate's subject common name is {subject!r}, not the publisher "
                     f"{publisher!r} (QUENVO_PUBLISHER). The agent accepts an installer only from the publisher "
                     "it was built with, so it would refuse every installer signed with this certificate.")
        how = f"signed with the certificate in {signer.path}"
    else:
        signer = test_signer(REPO / "build" / "signing", publisher)
        how = ("TEST-SIGNED: no certificate was given (QUENVO_SIGN_PKCS12), so a test certificate signed it, "
               "which no machine trusts unless its root is installed: build/signing/test-root.crt")
    timestamp_url = os.environ.get("QUENVO_SIGN_TIMESTAMP_URL", "")
    if timestamp_url:
        stamped = f"timestamped by {timestamp_url}"
    else:
        stamped = ("NOT TIMESTAMPED: no time-stamping authority was given (QUENVO_SIGN_TIMESTAMP_URL), so every "
                   "signature turns invalid on the day the signing certificate expires")

    def sign(source, target):
        signing.sign(source, target, signer, when, timestamp_url=timestamp_url or None)

    dirty = git("status", "--porcelain")
    if dirty:
        print("warning: the working tree has uncommitted changes, which are in this release:\n" + dirty)

    dist, work = REPO / "dist", REPO / "build" / "release"
    shutil.rmtree(dist, ignore_errors=True)
    dist.mkdir()
    work.mkdir(parents=True, exist_ok=True)
    for build in builds.values():  # hardened and self-contained, or not shipped
        if pecheck.main(["pecheck", str(build / "bin")]) != 0:
            sys.exit(f"release refused: {build / 'bin'} fails the PE checks above")
    for arch, build in builds.items():
        package(build / "bin", arch, version, publisher, sign, when, work, dist)
    write_buildinfo(dist, version, publisher, when, dirty)
    write_sums(dist)
    print(f"quenvo companions {version}, publisher {publisher}, dated {time.strftime('%Y-%m-%d %H:%M:%S', time.gmtime(when))} UTC")
    print(how)
    print(stamped)
    print((dist / "SHA256SUMS").read_text(), end="")


if __name__ == "__main__":
    try:
        main()
    except (signing.SigningError, RuntimeError, ValueError, KeyError, OSError) as err:
        sys.exit(f"release failed: {err}")
