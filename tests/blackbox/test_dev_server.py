"""Native tests of the dev server (no Wine): parsing, signing, replies, faults."""
import hashlib
import http.client
import json
import os
import socket
import threading
import time

import pytest

from tools.testkit import dev_server

pytestmark = pytest.mark.native

SECRET = dev_server.SIGNING_SECRET.encode()


@pytest.fixture
def server(tmp_path):
    (tmp_path / "files").mkdir()
    with dev_server.DevServer({}, files_dir=str(tmp_path / "files"), log_path=str(tmp_path / "log.jsonl")) as srv:
        yield srv


def raw(srv, target, host=b"stat.quenvo.com:80", timeout=5):
    """Send one request line as raw bytes and return (head, body) of the reply."""
    with socket.create_connection(("127.0.0.1", srv.port), timeout=timeout) as sock:
        sock.sendall(b"GET " + target + b" HTTP/1.1\r\nHost: " + host +
                     b"\r\nUser-Agent: QTest/1\r\nConnection: close\r\n\r\n")
        data = b""
        while chunk := sock.recv(65536):
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    return head, body


def signed_query(mid, os_name, c, reg, flag=None):
    event = b"run" if reg == b"dayrun" else reg
    text = b"mid=%s&os=%s&c=%s&reg=%s&secret=%s" % (mid, os_name, c, event, SECRET)
    flag = flag or hashlib.md5(text).hexdigest().encode()
    return b"mid=%s&os=%s&c=%s&fn=&reg=%s&t=1033&version=2.0.0.2&flag=%s" % (mid, os_name, c, reg, flag)


def test_absolute_form_is_parsed_and_logged(server, tmp_path):
    query = signed_query(b"ab12", b"Windows7", b"1001", b"install")
    head, body = raw(server, b"http://stat.quenvo.com:80/stat.php?" + query)
    assert head.startswith(b"HTTP/1.1 200") and body == b"ok"
    entry = server.requests[-1]
    assert (entry["kind"], entry["host"], entry["path"]) == ("report", "stat.quenvo.com", "/stat.php")
    assert entry["query"] == query.decode()
    assert [k for k, _ in entry["params"]] == ["mid", "os", "c", "fn", "reg", "t", "version", "flag"]
    assert entry["params"][3] == ["fn", ""] and entry["user_agent"] == "QTest/1"
    assert json.loads((tmp_path / "log.jsonl").read_text().splitlines()[-1]) == entry


def test_origin_form_takes_host_header(server):
    raw(server, b"/stat.php?" + signed_query(b"m", b"Windows10", b"7", b"run"), host=b"x.quenvo.com:8080")
    assert server.requests[-1]["host"] == "x.quenvo.com"
    assert server.requests[-1]["flag_ok"] is True


@pytest.mark.parametrize("reg", [b"install", b"dayrun", b"uninstall"])
@pytest.mark.parametrize("os_name", [b"Windows7", b"Windows\xe9"])  # raw cp1252 byte
def test_flag_is_verified_over_raw_bytes(server, reg, os_name):
    raw(server, b"http://stat.quenvo.com/stat.php?" + signed_query(b"ab", os_name, b"1001", reg))
    assert server.requests[-1]["flag_ok"] is True


def test_wrong_flag_is_flagged(server):
    raw(server, b"http://stat.quenvo.com/stat.php?" + signed_query(b"ab", b"Windows7", b"1", b"dayrun", flag=b"0" * 32))
    assert server.requests[-1]["flag_ok"] is False


def test_version_reply_is_formatted_and_verbatim(server):
    server.set_config({"v": "2.0.0.3", "t1": "New", "t2": None, "t3": "x",
                       "u": "http://dl.quenvo.com/f/Setup.exe", "sz": 123})
    head, body = raw(server, b"http://up.quenvo.com/version.php?v=1")
    assert body == b"v=2.0.0.3**t1=New**t3=x**u=http://dl.quenvo.com/f/Setup.exe**sz=123**"
    server.set_config({"version_body_hex": "763d00ff2a", "version_status": 500})
    head, body = raw(server, b"http://up.quenvo.com/version.php")
    assert head.startswith(b"HTTP/1.1 500") and body == b"v=\x00\xff*"
    assert server.requests[-1]["kind"] == "version"


def test_config_file_is_reread_when_changed(tmp_path):
    path = tmp_path / "cfg.json"
    path.write_text(json.dumps({"v": "1"}))
    with dev_server.DevServer(config_path=str(path)) as srv:
        assert raw(srv, b"/version.php")[1] == b"v=1**"
        path.write_text(json.dumps({"v": "22"}))
        os.utime(path, ns=(time.time_ns(), time.time_ns() + 10**9))
        assert raw(srv, b"/version.php")[1] == b"v=22**"


def test_generated_file_and_404(server):
    size = 300_000
    server.set_config({"files": {"/f/Setup.exe": {"size": size}}})
    conn = http.client.HTTPConnection("127.0.0.1", server.port, timeout=5)
    conn.request("GET", "http://dl.quenvo.com/f/Setup.exe", headers={"User-Agent": "Up/2"})
    resp = conn.getresponse()
    assert resp.getheader("Content-Length") == str(size)
    assert resp.read() == bytes((i * 7) % 251 for i in range(size))
    assert (server.requests[-1]["kind"], server.requests[-1]["user_agent"]) == ("file", "Up/2")
    conn.request("GET", "http://dl.quenvo.com/f/Missing.exe")
    assert conn.getresponse().status == 404


def test_files_dir_is_served_without_escaping(server, tmp_path):
    (tmp_path / "files" / "Setup.exe").write_bytes(b"MZ" * 1000)
    assert raw(server, b"http://dl.quenvo.com/f/Setup.exe")[1] == b"MZ" * 1000
    assert b" 404 " in raw(server, b"http://dl.quenvo.com/../log.jsonl")[0]


def test_close_early_truncates(server):
    server.set_config({"files": {"/a.bin": {"size": 1000}}, "faults": {"file": {"close_early": True}}})
    conn = http.client.HTTPConnection("127.0.0.1", server.port, timeout=5)
    conn.request("GET", "/a.bin")
    with pytest.raises(http.client.IncompleteRead):
        conn.getresponse().read()


def test_no_length_sends_body_until_close(server):
    server.set_config({"faults": {"version": {"no_length": True, "body": "v=9**"}}})
    head, body = raw(server, b"/version.php")
    assert b"content-length" not in head.lower() and body == b"v=9**"


def test_reset_sends_rst(server):
    server.set_config({"files": {"/a.bin": {"size": 100_000}}, "faults": {"file": {"reset": True}}})
    with pytest.raises(ConnectionResetError):
        raw(server, b"/a.bin")


def test_silent_server_stops_promptly(server):
    server.set_config({"faults": {"stat": {"silent": True}}})
    with socket.create_connection(("127.0.0.1", server.port), timeout=0.5) as sock:
        sock.sendall(b"GET /stat.php HTTP/1.1\r\nHost: s\r\n\r\n")
        with pytest.raises(socket.timeout):
            sock.recv(100)
        started = time.monotonic()
        stopper = threading.Thread(target=server.stop)
        stopper.start()
        sock.settimeout(5)
        assert sock.recv(100) == b""
        stopper.join(5)
        assert time.monotonic() - started < 3


def test_show_prints_one_line_per_request(server, tmp_path, capsys):
    raw(server, b"/stat.php?" + signed_query(b"m", b"W", b"1", b"install"))
    raw(server, b"/version.php")
    dev_server.main(["show", "--log", str(tmp_path / "log.jsonl")])
    lines = capsys.readouterr().out.splitlines()
    assert "install" in lines[0] and "flag verified: yes" in lines[0] and lines[1].startswith("version")
