#!/usr/bin/env python3
"""Local statistics and update server for running the quenvo programs under Wine.

Wine's WinInet is pointed at this server as its HTTP proxy, so every request the
programs make lands here, usually in absolute form ("GET http://host/path").
Each request is logged as one JSON line; replies and transport faults come from
a config dict that tests may swap at any time (or a JSON file re-read on change).

    python3 -m tools.testkit.dev_server --port 0 --port-file PATH --log PATH [--config PATH] [--files-dir DIR]
    python3 -m tools.testkit.dev_server show --log PATH
"""
import argparse
import datetime
import hashlib
import http.server
import io
import json
import math
import os
import signal
import socket
import struct
import sys
import threading
import time
import urllib.parse

SIGNING_SECRET = "mer4721pkZBw53QJT610lavefoki"
CHUNK = 64 * 1024
# Whole periods of the generated pattern (byte i = i*7 mod 251), so every block
# sent back to back continues the sequence exactly.
PATTERN_BLOCK = bytes((i * 7) % 251 for i in range(251 * 261))
VERSION_FIELDS = ("v", "t1", "t2", "t3", "u", "sz")
FAULT_KEYS = {"report": "stat", "version": "version", "file": "file"}
MODES = ("silent", "close_early", "no_length", "reset", "endless", "trickle", "chunked")


# --- request parsing ---------------------------------------------------------

def split_target(target, host_header):
    """Return (host without its port, path, raw query) from an absolute- or origin-form target."""
    host = host_header or ""
    if "://" in target.split("?", 1)[0]:
        rest = target.split("://", 1)[1]
        end = min([i for i in (rest.find("/"), rest.find("?")) if i >= 0] or [len(rest)])
        host, target = rest[:end], rest[end:]
        if not target.startswith("/"):
            target = "/" + target
    path, _, query = target.partition("?")
    if host.startswith("["):  # IPv6 literal: the colons belong to the address
        return host[: host.find("]") + 1], path, query
    return host.split(":", 1)[0], path, query


def parse_params(query):
    """Ordered [key, value] pairs, deliberately not percent-decoded."""
    return [list(part.partition("=")[::2]) for part in query.split("&") if part]


def report_flag(mid, os_name, channel, event, encoding="latin-1"):
    """md5 of the signing text, as bytes of the given encoding."""
    text = "mid=%s&os=%s&c=%s&reg=%s&secret=%s" % (mid, os_name, channel, event, SIGNING_SECRET)
    return hashlib.md5(text.encode(encoding)).hexdigest()


def expected_flag(params):
    """The flag a report should carry; values are latin-1 strings of the raw request bytes, which
    latin-1 round-trips exactly, so that what the client sent is hashed."""
    first = dict(reversed(params))  # a repeated key counts with its first value
    event = first.get("reg", "")
    event = "run" if event == "dayrun" else event  # the daily heartbeat is signed as a plain run
    return report_flag(first.get("mid", ""), first.get("os", ""), first.get("c", ""), event)


def classify(method, path):
    kind = {"/stat.php": "report", "/version.php": "version"}.get(path.lower())
    return kind or ("file" if method in ("GET", "HEAD") else "other")


# --- config ------------------------------------------------------------------

def to_bytes(value):
    # The programs read replies as ANSI text, i.e. Windows code page 1252.
    return value if isinstance(value, bytes) else str(value).encode("cp1252", errors="replace")


def normalise_config(config):
    """Turn *_hex alternatives (JSON cannot carry bytes) into bytes."""
    config = dict(config or {})
    if "version_body_hex" in config:
        config["version_body"] = bytes.fromhex(config.pop("version_body_hex"))
    config["faults"] = {kind: dict(fault) for kind, fault in (config.get("faults") or {}).items()}
    for fault in config["faults"].values():
        if "body_hex" in fault:
            fault["body"] = bytes.fromhex(fault.pop("body_hex"))
    return config


def pattern(size):
    """The bytes the server generates for a declared file of this size."""
    return b"".join(_generated_chunks(size))


def offer_reply(**fields):
    """A version reply that offers an update, with any field replaced or added."""
    body = dict({"v": "2", "t1": "a", "t2": "b", "t3": "c", "u": "http://dl.quenvo.com/f/s.exe", "sz": "5"}, **fields)
    return "".join(f"{k}={v}**" for k, v in body.items()).encode("cp1252", "replace")


def version_body(config):
    body = config.get("version_body")
    if body is None:
        body = "".join(f"{key}={config[key]}**" for key in VERSION_FIELDS if config.get(key) is not None)
    return to_bytes(body)


# --- replies -----------------------------------------------------------------

class Payload:
    """A body of known size, streamed in chunks so large files never sit in memory."""

    def __init__(self, size, chunks, preview=None):
        self.size, self._chunks, self.preview = size, chunks, preview

    def chunks(self, limit):
        return self._chunks(min(limit, self.size))

    @classmethod
    def of_bytes(cls, data):
        return cls(len(data), lambda limit: iter([data[:limit]]), preview=data)

    @classmethod
    def of_file(cls, path):
        return cls(os.path.getsize(path), lambda limit: _file_chunks(path, limit))

    @classmethod
    def generated(cls, size):
        return cls(size, _generated_chunks)


def _chunks(read, limit):
    """Up to limit bytes from read(n), in blocks of at most CHUNK bytes, until it gives none."""
    while limit > 0 and (data := read(min(CHUNK, limit))):
        limit -= len(data)
        yield data


def _file_chunks(path, limit):
    with open(path, "rb") as f:
        yield from _chunks(f.read, limit)


def _generated_chunks(limit):
    return _chunks(lambda n: PATTERN_BLOCK[:n], limit)  # whole periods but the last block


class Reply:
    def __init__(self, status=200, body=b"", headers=()):
        self.status = status
        self.payload = body if isinstance(body, Payload) else Payload.of_bytes(body)
        self.headers = list(headers)
        self.mode, self.length, self.interval = "normal", None, 2.0  # length: the Content-Length announced instead
        self.delay = 0.0  # seconds before the reply starts, as a server far away or busy takes
        self.head_seconds = self.lasting = self.hold_at = None


def find_file(path, config, files_dir):
    declared = (config.get("files") or {}).get(path)
    if declared is not None:
        return Payload.generated(int(declared["size"]))
    if not files_dir:
        return None
    root = os.path.realpath(files_dir)
    rel = urllib.parse.unquote(path).lstrip("/")
    for candidate in (rel, os.path.basename(rel)):
        full = os.path.realpath(os.path.join(root, candidate))
        if full.startswith(root + os.sep) and os.path.isfile(full):  # no escaping root
            return Payload.of_file(full)
    return None


def base_reply(kind, path, params, config, files_dir, entry):
    if kind == "report":
        entry["flag_ok"] = dict(params).get("flag") == expected_flag(params)
        return Reply(200, b"ok")
    if kind == "version":
        return Reply(int(config.get("version_status", 200)), version_body(config))
    if kind == "file":
        payload = find_file(path, config, files_dir)
        return Reply(200, payload) if payload else Reply(404, b"not found\n")
    return Reply(405, b"method not allowed\n")


def apply_fault(reply, fault):
    if fault.get("redirect"):
        reply = Reply(302, b"", [("Location", fault["redirect"])])
    elif "status" in fault:
        reply.status = int(fault["status"])
        if reply.status >= 400:
            reply.payload = Payload.of_bytes(b"error\n")
    if "body" in fault:
        reply.payload = Payload.of_bytes(to_bytes(fault["body"]))
    for mode in MODES:
        if fault.get(mode):
            reply.mode = mode
    if "length" in fault:
        reply.length = int(fault["length"])
    reply.interval = float(fault.get("interval", 2.0))  # trickle: seconds between bytes
    reply.delay = float(fault.get("delay", 0.0))
    reply.head_seconds = fault.get("head_seconds")  # the status line and headers trickle in over this long
    reply.lasting = fault.get("lasting")  # endless, trickle: the body ends, connection closed, after this long
    reply.hold_at = fault.get("hold_at")  # a share of the body sent, the rest only once release() is called
    return reply


# --- HTTP handling -----------------------------------------------------------

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 60  # drop idle keep-alive connections eventually

    def setup(self):
        super().setup()
        self.server.dev.track(self.connection, True)

    def finish(self):
        try:
            super().finish()
        finally:
            self.server.dev.track(self.connection, False)

    def parse_request(self):
        # Values arrive unescaped, so keep the raw target and tolerate spaces in it.
        parts = self.raw_requestline.rstrip(b"\r\n").split(b" ")
        self.raw_target = b" ".join(parts[1:-1]) if len(parts) > 2 else b"".join(parts[1:2])
        if len(parts) > 3 and parts[-1].startswith(b"HTTP/"):
            fixed = self.raw_target.replace(b" ", b"%20")
            self.raw_requestline = b" ".join([parts[0], fixed, parts[-1]]) + b"\r\n"
        return super().parse_request()

    def do_GET(self):
        try:
            self.serve()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True  # client gave up mid-reply; nothing to do

    do_HEAD = do_POST = do_PUT = do_DELETE = do_OPTIONS = do_CONNECT = do_GET

    def log_message(self, *args):
        pass  # every request goes to the JSON log instead

    def serve(self):
        dev = self.server.dev
        self.rfile.read(int(self.headers.get("Content-Length") or 0))  # dropped: the next request starts after it
        config = dev.current_config()
        host, path, query = split_target(self.raw_target.decode("latin-1"), self.headers.get("Host"))
        params = parse_params(query)
        kind = classify(self.command, path)
        entry = {
            "time": datetime.datetime.now().strftime("%Y-%m-%dT%H:%M:%S.%f")[:-3],
            "method": self.command, "host": host, "path": path, "query": query,
            "params": params, "headers": dict(self.headers.items()),
            "user_agent": self.headers.get("User-Agent", ""), "kind": kind,
        }
        fault = config["faults"].get(FAULT_KEYS.get(kind), {})
        reply = apply_fault(base_reply(kind, path, params, config, dev.files_dir, entry), fault)
        entry.update(status=reply.status, reply_size=reply.payload.size, fault=sorted(fault) or None)
        if reply.payload.preview is not None:
            entry["reply_body"] = reply.payload.preview[:2000].decode("latin-1")
        dev.record(entry)
        self.send(reply)

    def send(self, reply):
        if reply.delay:
            self.server.dev.stopping.wait(reply.delay)
        if reply.mode == "silent":
            self.close_connection = True
            self.server.dev.stopping.wait(600)  # stop() sets this, so it ends promptly
            return
        if reply.mode in ("endless", "trickle"):
            self.send_without_end(reply)
            return
        if reply.mode == "chunked":
            self.send_chunked(reply)
            return
        size = reply.payload.size
        sent = size // 2 if reply.mode in ("close_early", "reset") else size
        announced = reply.length if reply.length is not None else size
        if reply.mode == "close_early":
            announced = max(announced, sent + 1)  # always promise more than we send
        self.send_headers(reply, announced)
        if self.command != "HEAD" and reply.status not in (204, 304):
            body = b"".join(reply.payload.chunks(sent)) if reply.hold_at is not None else None
            if body is not None:  # held part way, until the test lets it go on
                held = int(len(body) * reply.hold_at)
                self.wfile.write(body[:held])
                self.wfile.flush()
                self.server.dev.held.set()
                while not (self.server.dev.released.wait(0.1) or self.server.dev.stopping.is_set()):
                    pass
                self.wfile.write(body[held:])
            for chunk in reply.payload.chunks(sent) if body is None else ():
                self.wfile.write(chunk)
        if reply.mode == "reset":
            self.reset_connection()
        if reply.mode != "normal" or announced != size:
            self.close_connection = True  # the stream no longer matches its framing

    def send_chunked(self, reply):
        """The body in chunked transfer coding, a few bytes a chunk, without a length."""
        self.send_headers(reply, None)
        body = b"".join(reply.payload.chunks(reply.payload.size))
        for at in range(0, len(body), 7):
            self.wfile.write(b"%x\r\n%s\r\n" % (len(body[at:at + 7]), body[at:at + 7]))
        self.wfile.write(b"0\r\n\r\n")

    def send_without_end(self, reply):
        """A body that never ends: the reply's own body, then the pattern as fast as the client
        takes it, or one byte every interval seconds, under a length far beyond it; until the
        client goes, stop() is called or, with lasting, that many seconds have passed."""
        self.close_connection = True
        self.send_headers(reply, 1 << 40)
        for chunk in reply.payload.chunks(reply.payload.size):
            self.wfile.write(chunk)
        stopping = self.server.dev.stopping
        end = time.monotonic() + (reply.lasting if reply.lasting is not None else float("inf"))
        while not stopping.is_set() and time.monotonic() < end:
            if reply.mode == "trickle":
                self.wfile.write(b"x")
                self.wfile.flush()
                stopping.wait(reply.interval)
            else:
                self.wfile.write(PATTERN_BLOCK)

    def send_headers(self, reply, announced):
        self.send_response(reply.status)
        self.send_header("Content-Type", "application/octet-stream" if reply.payload.preview is None else "text/plain")
        for name, value in reply.headers:
            self.send_header(name, value)
        if reply.mode == "no_length":
            self.send_header("Connection", "close")
        elif reply.mode == "chunked":
            self.send_header("Transfer-Encoding", "chunked")
        elif reply.status not in (204, 304):
            self.send_header("Content-Length", str(announced))
        if reply.head_seconds is None:
            self.end_headers()
            return
        # In pieces half a second apart (a byte each at the least), well within a receive
        # time-out of 2 s; the last one head_seconds after the request.
        self._headers_buffer.append(b"\r\n")
        head, self._headers_buffer = b"".join(self._headers_buffer), []
        pieces = max(1, min(len(head), math.ceil(reply.head_seconds / 0.5)))
        for i in range(pieces):
            if self.server.dev.stopping.wait(reply.head_seconds / pieces):
                return
            self.wfile.write(head[i * len(head) // pieces:(i + 1) * len(head) // pieces])
            self.wfile.flush()

    def reset_connection(self):
        # SO_LINGER with a zero timeout makes close() send RST instead of FIN;
        # the file objects hold references, so close them first.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.wfile.close()
        self.rfile.close()
        self.connection.close()
        self.close_connection = True
        self.wfile = io.BytesIO()  # http.server flushes it once more after the handler returns


class DevServer:
    """In-process server: start() returns the port, requests holds the log entries."""

    def __init__(self, config=None, files_dir=None, log_path=None, config_path=None, port=0):
        self.files_dir = files_dir
        self.requests = []
        self.stopping = threading.Event()
        self.held, self.released = threading.Event(), threading.Event()  # a body held part way (hold_at)
        self.port = None
        self._config = normalise_config(config)
        self._config_path, self._config_mtime = config_path, None
        self._log_path, self._wanted_port = log_path, port
        self._lock = threading.Lock()
        self._connections = set()
        self._httpd = None

    def start(self):
        self._httpd = http.server.ThreadingHTTPServer(("127.0.0.1", self._wanted_port), Handler)
        self._httpd.dev = self
        threading.Thread(target=self._httpd.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()
        self.port = self._httpd.server_address[1]
        return self.port

    def stop(self):
        httpd, self._httpd = self._httpd, None  # a second call is a no-op
        if httpd is None:
            return
        self.stopping.set()
        httpd.shutdown()
        with self._lock:
            connections = list(self._connections)
        for conn in connections:  # wake handlers blocked reading keep-alive sockets
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        httpd.server_close()

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def set_config(self, config):
        with self._lock:
            self._config = normalise_config(config)
            self.held.clear()
            self.released.clear()

    def release(self):
        """Lets a body held part way (hold_at) go on."""
        self.released.set()

    def current_config(self):
        with self._lock:
            if self._config_path:
                self._reload_if_changed()
            return self._config

    def _reload_if_changed(self):
        try:
            mtime = os.stat(self._config_path).st_mtime_ns
            if mtime != self._config_mtime:
                with open(self._config_path, encoding="utf-8") as f:
                    self._config = normalise_config(json.load(f))
                self._config_mtime = mtime
        except (OSError, ValueError) as err:  # missing or half-written: keep the old one
            print("dev_server: config not loaded: %s" % err, file=sys.stderr)

    def track(self, conn, alive):
        with self._lock:
            (self._connections.add if alive else self._connections.discard)(conn)

    def record(self, entry):
        with self._lock:
            self.requests.append(entry)
            if self._log_path:  # reopened each time so every line hits disk at once
                with open(self._log_path, "a", encoding="utf-8") as f:
                    f.write(json.dumps(entry) + "\n")


# --- command line ------------------------------------------------------------

def describe(entry):
    where = entry["host"] + entry["path"]
    fault = "  fault=" + ",".join(entry["fault"]) if entry.get("fault") else ""
    if entry["kind"] == "report":
        flag = "yes" if entry.get("flag_ok") else "NO"
        return f"report   {dict(entry['params']).get('reg', ''):<10} {where}  flag verified: {flag}{fault}"
    if entry["kind"] == "version":
        return f"version  {'':<10} {where}  -> {entry.get('status')} {entry.get('reply_body', '')!r}{fault}"
    return (f"{entry['kind']:<8} {'':<10} {where}  -> {entry.get('status')}, {entry.get('reply_size')} bytes, "
            f"UA={entry.get('user_agent', '')!r}{fault}")


def show(log_path):
    with open(log_path, encoding="utf-8") as f:
        for line in f:
            if line.strip():
                print(describe(json.loads(line)))


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    if argv[:1] == ["show"]:
        parser = argparse.ArgumentParser(prog="dev_server.py show")
        parser.add_argument("--log", required=True)
        show(parser.parse_args(argv[1:]).log)
        return 0
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--port", type=int, default=0)
    for option in ("--port-file", "--log", "--config", "--files-dir"):
        parser.add_argument(option)
    args = parser.parse_args(argv)
    server = DevServer({}, args.files_dir, args.log, args.config, args.port)
    server.current_config()  # report a broken config file right away
    port = server.start()
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % port)
        os.replace(args.port_file + ".tmp", args.port_file)  # readers never see a half-written number
    done = threading.Event()
    for sig in (signal.SIGINT, signal.SIGTERM):
        signal.signal(sig, lambda *_: done.set())
    while not done.wait(0.5):
        pass
    server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
