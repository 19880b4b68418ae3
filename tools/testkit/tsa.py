"""A time-stamping authority (RFC 3161) on 127.0.0.1 for the tests: `openssl ts -reply` behind
a small HTTP handler, with a root of its own and a leaf whose extended key usage is critical
timeStamping, as RFC 3161 demands of a TSA's certificate.

    with TimestampServer(folder) as tsa:
        signing.sign(..., timestamp_url=tsa.url)
        signing.verify(path, code_root, tsa_root=tsa.root.cert)
"""
import subprocess
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

from tools import signing

CONFIG = """\
[tsa]
default_tsa = this_tsa
[this_tsa]
serial = {folder}/serial
crypto_device = builtin
signer_cert = {cert}
signer_key = {key}
signer_digest = sha256
default_policy = 1.3.6.1.4.1.55555.1
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_alg = sha256
"""


class TimestampServer:
    def __init__(self, folder):
        self.folder = Path(folder)
        self.root = signing.make_root(self.folder, "quenvo test TSA root", name="tsa-root")
        self.leaf = signing.make_leaf(self.root, self.folder, "quenvo test TSA", purposes=("timeStamping",),
                                      name="tsa", critical=True)
        (self.folder / "serial").write_text("01\n")
        self.config = self.folder / "tsa.cnf"
        self.config.write_text(CONFIG.format(folder=self.folder, cert=self.leaf.cert, key=self.leaf.key))
        self.replies = 0
        self._lock = threading.Lock()
        self._server = ThreadingHTTPServer(("127.0.0.1", 0), self._handler())
        self.url = f"http://127.0.0.1:{self._server.server_address[1]}/"

    def _handler(self):
        tsa = self

        class Handler(BaseHTTPRequestHandler):
            def do_POST(self):
                query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                with tsa._lock:  # one reply at a time: openssl ts counts up one serial file
                    result = subprocess.run(["openssl", "ts", "-reply", "-config", str(tsa.config),
                                             "-queryfile", "/dev/stdin", "-out", "/dev/stdout"],
                                            input=query, capture_output=True, check=False)
                    tsa.replies += result.returncode == 0
                if result.returncode != 0:
                    self.send_error(500, result.stderr.decode(errors="replace")[-300:])
                    return
                self.send_response(200)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(result.stdout)))
                self.end_headers()
                self.wfile.write(result.stdout)

            def log_message(self, *args):
                pass

        return Handler

    def __enter__(self):
        threading.Thread(target=self._server.serve_forever, daemon=True).start()
        return self

    def __exit__(self, *exc):
        self._server.shutdown()
        self._server.server_close()
