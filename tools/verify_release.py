"""Checks a release without its key: tools/verify-release DIST rebuilds, unsigned, the commit
that DIST/BUILDINFO names (a clone in build/verify/<commit>, kept for the next check), then
compares what was shipped with the rebuild, one line per file, and ends with a verdict (exit
status 1 on any difference).

- A program or the DLL (in each zip): the shipped file with its signature removed against the
  rebuilt one. Signing also sets the PE checksum and pads the file to 8 bytes, so those may
  differ, and nothing else may.
- An icon: byte for byte.
- A zip: its entries packed again as the release packs them give the shipped bytes.
- An MSI: packed again (unsigned, with the commit's installer source) from the zip's files, which
  were just checked, its streams other than the signature's equal the shipped ones. Signing
  rewrites the compound file, so its bytes can't be compared.
- SHA256SUMS: it lists every other file with its hash.

The rebuild's tools must be the release's (BUILDINFO lists their versions): where they are not,
the check says so, since that alone can make a file differ."""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

import olefile

from tools import release, signing

SIGNATURE_STREAMS = {"\x05DigitalSignature", "\x05MsiDigitalSignatureEx"}
# Windows Installer packs stream names: two characters of this alphabet per code point from
# U+3800, one from U+4800, and U+4840 marks a table.
MSI_ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._"


def rebuild(commit, publisher, epoch):
    """The clone of commit under build/verify/, built as the release builds; returns its folder."""
    folder = release.REPO / "build" / "verify" / commit
    if not (folder / ".git").exists():
        shutil.rmtree(folder, ignore_errors=True)
        subprocess.run(["git", "clone", "-q", "--no-checkout", str(release.REPO), str(folder)], check=True)
        found = subprocess.run(["git", "-C", str(folder), "checkout", "-q", "--detach", commit],
                               capture_output=True, text=True, check=False)
        if found.returncode != 0:
            shutil.rmtree(folder)
            sys.exit(f"commit {commit} is not in this repository; fetch it first:\n{found.stderr}")
    env = {k: v for k, v in os.environ.items() if not k.startswith("QUENVO_SIGN_")}
    env.update(QUENVO_PUBLISHER=publisher, SOURCE_DATE_EPOCH=epoch)
    print(f"rebuilding {commit} in {folder}", flush=True)
    log = folder / "build" / "verify-build.log"
    log.parent.mkdir(exist_ok=True)
    with log.open("w") as out:
        built = subprocess.run([str(folder / "tools" / "release-build")], cwd=folder, env=env, stdout=out,
                               stderr=subprocess.STDOUT, check=False)
    if built.returncode != 0:
        sys.exit(f"the rebuild failed ({built.returncode}); the end of {log}:\n{log.read_text()[-3000:]}")
    return folder


def pe_normalised(data):
    """data with the checksum and the certificate table's entry cleared, and without the zeros
    after the last section, which signing pads with."""
    data = bytearray(data)
    header = struct.unpack_from("<I", data, 0x3C)[0] + 24  # the optional header
    wide = struct.unpack_from("<H", data, header)[0] == 0x20B
    data[header + 64:header + 68] = bytes(4)
    entry = header + (144 if wide else 128)  # IMAGE_DIRECTORY_ENTRY_SECURITY
    data[entry:entry + 8] = bytes(8)
    return bytes(data).rstrip(b"\0")


def pe_difference(shipped, rebuilt, work):
    """None when shipped, without its signature, is the rebuilt file; else how it differs."""
    stripped = Path(work) / "unsigned"
    try:
        signing.remove_signature(shipped, stripped)
    except signing.SigningError as err:
        return f"its signature can't be removed: {str(err).strip().splitlines()[-1]}"
    ours, theirs = pe_normalised(stripped.read_bytes()), pe_normalised(Path(rebuilt).read_bytes())
    if ours == theirs:
        return None
    if len(ours) != len(theirs):
        return f"the code differs: {len(ours)} bytes unsigned, the rebuild has {len(theirs)}"
    at = next(i for i, (a, b) in enumerate(zip(ours, theirs)) if a != b)
    return f"the code differs, first at offset {at:#x}"


def msi_name(name):
    out = []
    for ch in name:
        c = ord(ch)
        if 0x3800 <= c < 0x4800:
            out += [MSI_ALPHABET[(c - 0x3800) & 0x3F], MSI_ALPHABET[((c - 0x3800) >> 6) & 0x3F]]
        elif 0x4800 <= c < 0x4840:
            out.append(MSI_ALPHABET[c - 0x4800])
        else:
            out.append("!" if c == 0x4840 else ch)
    return "".join(out)


def msi_streams(path):
    ole = olefile.OleFileIO(str(path))
    try:
        streams = {"/".join(entry): ole.openstream(entry).read() for entry in ole.listdir()
                   if entry[-1] not in SIGNATURE_STREAMS}
        return streams, ole.root.clsid
    finally:
        ole.close()


def msi_difference(shipped, rebuilt):
    (ours, our_class), (theirs, their_class) = msi_streams(shipped), msi_streams(rebuilt)
    differ = sorted(msi_name(n) for n in ours.keys() | theirs.keys() if ours.get(n) != theirs.get(n))
    if our_class != their_class:
        differ.append("the root's class id")
    return f"differs from a package of the zip's files in {', '.join(differ)}" if differ else None


def compare_arch(dist, source, arch, preset, fields, work, report):
    """Reports each file of one architecture's zip and MSI."""
    version, publisher, when = fields["version"], fields["publisher"], int(fields["source-date-epoch"])
    bin_dir = source / "build" / f"release-{preset}" / "bin"
    base = f"quenvo-companions-{version}-{arch}"
    names = release.PROGRAMS + [f"icon/{p.name}" for p in sorted((bin_dir / "icon").glob("*.ico"))]
    files = Path(work) / arch
    with zipfile.ZipFile(dist / f"{base}.zip") as archive:
        shipped = archive.namelist()
        archive.extractall(files)
    if shipped != names:
        report(f"{base}.zip", f"holds {shipped}, the rebuild {names}")
    for name in (n for n in names if n in shipped):
        os.utime(files / name, (when, when))  # as staged: the MSI's cabinet keeps the time
        if name in release.PROGRAMS:
            report(f"{base}.zip/{name}", pe_difference(files / name, bin_dir / name, work))
        else:
            same = (files / name).read_bytes() == (bin_dir / name).read_bytes()
            report(f"{base}.zip/{name}", None if same else "differs from the rebuild's")
    if shipped != names:
        return
    repacked, remade = Path(work) / f"{base}.zip", Path(work) / f"{base}.msi"
    release.write_zip(files, names, repacked, when)
    same = repacked.read_bytes() == (dist / f"{base}.zip").read_bytes()
    report(f"{base}.zip", None if same else "its files are the above, but packed otherwise")
    wxs = source / "installer" / "quenvo.wxs"
    # The codes come from the unsigned files, which the rebuild has.
    digest = release.content_digest(bin_dir, names, version, arch, wxs)
    release.write_msi(files, remade, arch, version, publisher, when, digest, wxs=wxs)
    report(f"{base}.msi", msi_difference(dist / f"{base}.msi", remade))


def sums_difference(dist):
    listed = {}
    for line in (dist / "SHA256SUMS").read_text().splitlines():
        digest, _, name = line.partition("  ")
        listed[name] = digest
    present = {p.name for p in dist.iterdir() if p.name != "SHA256SUMS"}
    wrong = sorted(n for n in present if n not in listed or
                   hashlib.sha256((dist / n).read_bytes()).hexdigest() != listed[n])
    missing = sorted(set(listed) - present)
    return "; ".join(filter(None, [wrong and f"other hashes for {', '.join(wrong)}",
                                   missing and f"lists missing {', '.join(missing)}"])) or None


def main(argv):
    if len(argv) != 2:
        sys.exit("usage: tools/verify-release DIST")
    dist = Path(argv[1]).resolve()
    fields, tools = release.read_buildinfo(dist / "BUILDINFO")
    if fields.get("tree") != "clean":
        print("note: the release was built from a working tree with uncommitted changes, which no rebuild has")
    here = release.tool_versions()
    others = [f"{name} {tools.get(name, 'unrecorded')} in the release, {found} here"
              for name, found in here.items() if tools.get(name) != found]
    for line in others:
        print(f"note: tool {line}")
    source = rebuild(fields["commit"], fields["publisher"], fields["source-date-epoch"])

    differ = []

    def report(name, difference):
        print(f"{name}: {difference or 'same'}")
        if difference:
            differ.append(name)

    with tempfile.TemporaryDirectory() as work:
        for arch, preset in release.ARCHITECTURES.items():
            compare_arch(dist, source, arch, preset, fields, Path(work), report)
    report("SHA256SUMS", sums_difference(dist))
    if not differ:
        print(f"verdict: the release is the build of {fields['commit']}")
        return 0
    print(f"verdict: the release DIFFERS from the build of {fields['commit']} in {len(differ)} files"
          + (", and the tools differ too (see the notes above)" if others else ""))
    return 1


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except (signing.SigningError, RuntimeError, ValueError, KeyError, OSError) as err:
        sys.exit(f"verification failed: {err}")
