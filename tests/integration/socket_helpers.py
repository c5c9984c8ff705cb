"""Small socket helpers the whole-program tests share: a threaded TCP server that runs a handler
per connection, an echo handler, and bounded reads. Every server here listens on the address it
is given, which the tests keep inside their own network namespace.
"""
import socket
import threading

WAIT = 5.0  # seconds a client socket of these helpers waits


class TcpServer:
    """Listens on address:port (0: a free port) and runs handler(conn) on a thread of its own for
    each connection. timeout: set on every accepted connection (None: blocking). An OSError in the
    handler ends that connection only; close() frees the port at once."""

    def __init__(self, handler, address="127.0.0.1", port=0, backlog=64, timeout=60):
        self.sock = listener(address, port, backlog)
        self.port = self.sock.getsockname()[1]
        self.handler = handler
        self.timeout = timeout
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        with conn:
            conn.settimeout(self.timeout)
            try:
                self.handler(conn)
            except OSError:
                pass

    def close(self):
        # shutdown wakes the accepting thread, so a fixed port is free for the next test at once.
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()


def serve(sock, handle):
    """Runs handle(conn) on a thread of its own for each connection accepted on sock."""
    def loop():
        while True:
            try:
                conn, _ = sock.accept()
            except OSError:
                return
            threading.Thread(target=handle, args=(conn,), daemon=True).start()
    threading.Thread(target=loop, daemon=True).start()


def echo(conn):
    with conn:
        while data := conn.recv(65536):
            conn.sendall(data)


def listener(address, port, backlog=32):
    s = socket.socket(socket.AF_INET6 if ":" in address else socket.AF_INET)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((address, port))
    s.listen(backlog)
    return s


def connect(address, port, source=None):
    return socket.create_connection((address, port), timeout=WAIT,
                                    source_address=(source, 0) if source else None)


def read_until(sock, marker, limit=65536):
    data = b""
    while marker not in data and len(data) < limit:
        part = sock.recv(4096)
        if not part:
            break
        data += part
    return data


def read_line(sock):
    """One line up to and with its LF, read a byte at a time so nothing after it is taken."""
    got = b""
    while not got.endswith(b"\n"):
        data = sock.recv(1)
        if not data:
            break
        got += data
    return got


def read_to_close(sock, limit=None):
    """Everything until the peer closes (a reset counts as the close), or limit bytes."""
    parts = []
    total = 0
    while limit is None or total < limit:
        try:
            data = sock.recv(65536)
        except ConnectionResetError:
            break
        if not data:
            break
        parts.append(data)
        total += len(data)
    return b"".join(parts)


def read_exact(sock, n):
    data = b""
    while len(data) < n:
        part = sock.recv(n - len(data))
        if not part:
            break
        data += part
    return data
