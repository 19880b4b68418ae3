"""Local network odds and ends: a port nothing listens on, and a bare server that answers every
request with the same raw bytes and keeps each request's head exactly as it came."""
import socket
import socketserver
import threading


# Sockets bound and never listening: refused, and no other server of this run can take their ports.
_HELD = []


def closed_port():
    """A local port that refuses connections for as long as this process lives."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    _HELD.append(s)
    return s.getsockname()[1]


class BareServer(socketserver.ThreadingTCPServer):
    """Answers every request with `reply`, byte for byte, then closes the connection or, with
    `hold`, says nothing more. `heads` holds each request's head (request line and header
    lines) as it arrived."""
    daemon_threads = allow_reuse_address = True

    def __init__(self, reply=b"", hold=False):
        self.reply, self.hold, self.heads = reply, hold, []
        self.stopping = threading.Event()

        class Handler(socketserver.StreamRequestHandler):
            def handle(handler):
                head = b""
                while (line := handler.rfile.readline()) not in (b"\r\n", b"\n", b""):
                    head += line
                self.heads.append(head)  # one bytecode: no lock needed
                handler.wfile.write(self.reply)
                handler.wfile.flush()
                if self.hold:
                    self.stopping.wait(60)

        super().__init__(("127.0.0.1", 0), Handler)
        self.port = self.server_address[1]
        threading.Thread(target=self.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()

    def stop(self):
        self.stopping.set()
        self.shutdown()
        self.server_close()
