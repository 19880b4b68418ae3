"""Authenticode signing (SHA-256, osslsigncode) and the certificates it takes: a test root, and
leaves under a root with any subject and with or without the code-signing purpose. The release
signs with it; tests make rightly and wrongly signed files with it.

Signing is at a given time, so that the same file, signer and time give the same bytes, unless
a time-stamping authority countersigns (RFC 3161): its token carries its own time, and keeps
the signature valid after the certificate expires. Works with osslsigncode 2.5 (bookworm) and
2.9 (bookworm-backports)."""
import os
import shutil
import subprocess
import tempfile
from dataclasses import dataclass
from pathlib import Path

OSSLSIGNCODE = os.environ.get("OSSLSIGNCODE", "osslsigncode")
# Wide enough to cover any commit date we sign at (signing is at the commit's time, which is
# older than the certificate) and every day the signature is checked on.
NOT_BEFORE = "20200101000000Z"
NOT_AFTER = "20491231235959Z"

CA_CONFIG = """\
[ca]
default_ca = this_ca
[this_ca]
database = {folder}/index.txt
new_certs_dir = {folder}
serial = {folder}/serial
default_md = sha256
policy = any_name
unique_subject = no
copy_extensions = none
[any_name]
commonName = supplied
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[leaf]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
{eku}
"""

REQUEST_CONFIG = """\
[req]
prompt = no
utf8 = yes
string_mask = utf8only
distinguished_name = subject
[subject]
CN = {cn}
"""


class SigningError(RuntimeError):
    """A tool failed; the message carries its own output."""


@dataclass(frozen=True)
class Certificate:
    """A certificate and its private key, as unencrypted PEM files."""
    cert: Path
    key: Path

    def sign_options(self):
        return ["-certs", str(self.cert), "-key", str(self.key)]


@dataclass(frozen=True)
class Pkcs12:
    """A PKCS#12 file with its password. The password goes to osslsigncode through a private
    file, never on a command line."""
    path: Path
    password: str

    def sign_options(self):
        return ["-pkcs12", str(self.path)]


def run(args, what):
    result = subprocess.run([str(a) for a in args], capture_output=True, text=True, check=False)
    if result.returncode != 0:
        raise SigningError(f"{what} failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    return result.stdout


def _issue(folder, name, cn, issuer, extensions, eku=""):
    """Makes folder/name.key and folder/name.crt for cn, signed by issuer (a Certificate) or by
    itself (None), valid from NOT_BEFORE to NOT_AFTER: 'openssl ca' can date a certificate back,
    which OpenSSL 3.0's 'req -x509' and 'x509 -req' can't."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    ca_folder = folder / f"{name}.ca"
    ca_folder.mkdir(exist_ok=True)
    (ca_folder / "index.txt").touch()
    config = ca_folder / "ca.cnf"
    config.write_text(CA_CONFIG.format(folder=ca_folder, eku=eku))
    request_config = ca_folder / "req.cnf"
    request_config.write_text(REQUEST_CONFIG.format(cn=cn.replace("\\", "\\\\").replace("$", "\\$")))
    key, request, cert = folder / f"{name}.key", ca_folder / "req.csr", folder / f"{name}.crt"
    run(["openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-config", request_config,
         "-keyout", key, "-out", request], f"openssl req for {cn}")
    signer = ["-selfsign", "-keyfile", key] if issuer is None else ["-cert", issuer.cert, "-keyfile", issuer.key]
    run(["openssl", "ca", "-batch", "-notext", "-rand_serial", "-config", config, "-extensions", extensions,
         "-startdate", NOT_BEFORE, "-enddate", NOT_AFTER, *signer, "-in", request, "-out", cert],
        f"openssl ca for {cn}")
    shutil.rmtree(ca_folder)
    return Certificate(cert, key)


def make_root(folder, cn="quenvo test root", name="test-root"):
    """A self-signed root that may sign code-signing leaves: folder/<name>.crt and .key."""
    return _issue(folder, name, cn, None, "root")


def make_leaf(root, folder, cn, purposes=("codeSigning",), name="leaf", critical=False):
    """A leaf for the subject cn, issued by root. purposes: its extended key usages (OpenSSL's
    names, e.g. ("serverAuth",)), marked critical when asked; empty: no extendedKeyUsage
    extension at all."""
    eku = f"extendedKeyUsage = {'critical, ' if critical else ''}{', '.join(purposes)}" if purposes else ""
    return _issue(folder, name, cn, root, "leaf", eku)


def export_pkcs12(leaf, path, password):
    """The leaf and its key as a PKCS#12 file protected by password (passed through a pipe)."""
    subprocess.run(["openssl", "pkcs12", "-export", "-in", str(leaf.cert), "-inkey", str(leaf.key),
                    "-out", str(path), "-passout", "stdin"],
                   input=password + "\n", capture_output=True, text=True, check=True)
    return Pkcs12(Path(path), password)


def subject_cn(cert_path):
    """The subject's common name of a PEM certificate."""
    out = run(["openssl", "x509", "-in", cert_path, "-noout", "-subject", "-nameopt", "utf8,sep_multiline"],
              "openssl x509")
    return next(line.split("=", 1)[1].strip() for line in out.splitlines() if line.strip().startswith("CN"))


def _with_password(signer, args, what):
    """Runs args, an osslsigncode or openssl command whose "{password}" is replaced by a private
    file holding signer's password."""
    with tempfile.TemporaryDirectory() as private:  # mode 0700: only we can read the password
        password_file = Path(private) / "password"
        password_file.touch(mode=0o600)
        password_file.write_text(signer.password)
        return run([str(a).replace("{password}", str(password_file)) for a in args], what)


def sign(source, target, signer, when, tool=OSSLSIGNCODE, timestamp_url=None):
    """Signs a PE or MSI file into target (replaced) with signer (a Certificate or Pkcs12), at
    unix time `when`, countersigned by the RFC 3161 authority at timestamp_url when given."""
    target = Path(target)
    target.unlink(missing_ok=True)  # osslsigncode does not overwrite its output
    args = [tool, "sign", "-h", "sha256", *signer.sign_options(), "-time", str(int(when))]
    if timestamp_url:
        args += ["-ts", timestamp_url]
    args += ["-in", str(source), "-out", str(target)]
    if not isinstance(signer, Pkcs12):
        run(args, f"signing {source}")
    else:
        _with_password(signer, args[:-4] + ["-readpass", "{password}"] + args[-4:], f"signing {source}")


def pkcs12_subject_cn(signer):
    """The subject's common name of a Pkcs12's certificate."""
    with tempfile.TemporaryDirectory() as folder:
        cert = Path(folder) / "cert.pem"
        _with_password(signer, ["openssl", "pkcs12", "-in", signer.path, "-nokeys", "-clcerts",
                                "-passin", "file:{password}", "-out", cert], f"reading {signer.path}")
        return subject_cn(cert)


def remove_signature(source, target, tool=OSSLSIGNCODE):
    """Writes source without its Authenticode signature to target (replaced)."""
    Path(target).unlink(missing_ok=True)
    run([tool, "remove-signature", "-in", source, "-out", target], f"removing the signature of {source}")


def verify(path, root_cert, tool=OSSLSIGNCODE, tsa_root=None):
    """(True, output) when path carries a signature that is intact and chains to root_cert,
    and, with tsa_root, a timestamp that chains to tsa_root."""
    args = [tool, "verify", "-CAfile", str(root_cert)]
    if tsa_root:
        args += ["-TSA-CAfile", str(tsa_root)]
    result = subprocess.run(args + ["-in", str(path)], capture_output=True, text=True, check=False)
    return result.returncode == 0, result.stdout + result.stderr
