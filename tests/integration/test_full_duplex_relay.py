"""Sessions that never stall: both directions at once through a mapping, SOCKS and a CONNECT
tunnel, readers that pause, kills and SIGTERM while sessions are congested.

The module runs in the private network of the test runner (the gateway, its clients and
servers), where the fixed ports 23 and 443 are ours. Each direction is checked by hash.
"""
import hashlib
import os
import socket
import subprocess
import threading
import time
import unittest

from gateway_process import GatewayProcess, configure, free_port
from socket_helpers import TcpServer

MIB = 1 << 20
SIZE = 64 * MIB
ROUNDS = 3
# The sanitizer runtimes open descriptors of their own (their memory checks use pipes), so a
# gateway run out of descriptors cannot be judged under them.
SANITIZED = bool(os.environ.get("ASAN_OPTIONS") or os.environ.get("TSAN_OPTIONS"))


def pattern(n, seed):
    block = hashlib.sha256(str(seed).encode()).digest() * 32768
    out = bytearray()
    i = 0
    while len(out) < n:
        out += hashlib.sha256(block[:32] + i.to_bytes(8, "big")).digest() + block[32:MIB]
        i += 1
    return bytes(out[:n])


def peer(handler, port=0):
    """A loopback server with blocking connections: the relay tests' peers wait as long as
    the gateway holds them."""
    return TcpServer(handler, port=port, backlog=512, timeout=None)


def blocking_echo(conn):
    """Reads up to 1 MiB, writes it back with one blocking send: the pattern that deadlocks a
    relay that waits on one peer while holding the other."""
    while True:
        data = conn.recv(MIB)
        if not data:
            return
        conn.sendall(data)


def write_first(size):
    """Writes size bytes before reading anything, then reads until the client closes."""
    payload = pattern(size, 9)

    def handler(conn):
        got = hashlib.sha256()
        reader = threading.Thread(target=lambda: drain_into(conn, got), daemon=True)
        reader.start()
        conn.sendall(payload)
        reader.join(120)
        conn.sendall(got.hexdigest().encode())
    return handler


def drain_into(conn, digest, want=SIZE):
    n = 0
    while n < want:
        data = conn.recv(MIB)
        if not data:
            return
        digest.update(data)
        n += len(data)


def duplex(sock, payload, want):
    """One thread writes the whole payload with one blocking send while this one reads want
    bytes; returns the hash of what came back."""
    writer = threading.Thread(target=sock.sendall, args=(payload,), daemon=True)
    writer.start()
    got = hashlib.sha256()
    n = 0
    while n < want:
        data = sock.recv(min(MIB, want - n))
        if not data:
            break
        got.update(data)
        n += len(data)
    writer.join(60)
    return got.hexdigest(), n


class FullDuplexRelay(unittest.TestCase):

    def gateway(self, active=None, mappings=()):
        gw = GatewayProcess()
        self.addCleanup(gw.close)
        configure(gw, active=active or {}, mappings=list(mappings))
        gw.start()
        return gw

    def echo(self):
        server = peer(blocking_echo)
        self.addCleanup(server.close)
        return server

    def mapping(self, target_port):
        port = free_port()
        self.gateway(mappings=[dict(name="Echo", port=port, host="127.0.0.1",
                                    target_port=target_port)])
        return port

    def test_mapping_64_mib_each_way_at_once(self):
        port = self.mapping(self.echo().port)
        for r in range(ROUNDS):
            payload = pattern(SIZE, r)
            with socket.create_connection(("127.0.0.1", port), timeout=60) as s:
                digest, n = duplex(s, payload, SIZE)
            self.assertEqual((n, digest), (SIZE, hashlib.sha256(payload).hexdigest()), f"round {r}")

    def test_socks_64_mib_each_way_at_once(self):
        echo = self.echo()
        socks = free_port()
        self.gateway(active={"Socks": socks})
        for r in range(ROUNDS):
            payload = pattern(SIZE, r + 10)
            with socket.create_connection(("127.0.0.1", socks), timeout=60) as s:
                s.sendall(bytes([4, 1]) + echo.port.to_bytes(2, "big") + bytes([127, 0, 0, 1, 0]))
                self.assertEqual(s.recv(8)[:2], b"\x00\x5a")
                digest, n = duplex(s, payload, SIZE)
            self.assertEqual((n, digest), (SIZE, hashlib.sha256(payload).hexdigest()), f"round {r}")

    def test_connect_tunnel_to_a_write_first_server(self):
        server = peer(write_first(SIZE), port=443)
        self.addCleanup(server.close)
        www = free_port()
        self.gateway(active={"WWW": www})
        expected_down = hashlib.sha256(pattern(SIZE, 9)).hexdigest()
        for r in range(ROUNDS):
            payload = pattern(SIZE, r + 20)
            with socket.create_connection(("127.0.0.1", www), timeout=60) as s:
                s.sendall(b"CONNECT 127.0.0.1:443 HTTP/1.0\r\n\r\n")
                head = b""
                while b"\n\n" not in head:
                    head += s.recv(1)
                digest, n = duplex(s, payload, SIZE)
                self.assertEqual((n, digest), (SIZE, expected_down), f"round {r}")
                # The server's hash of what went up comes after its download.
                echo = b""
                while len(echo) < 64:
                    data = s.recv(64 - len(echo))
                    if not data:
                        break
                    echo += data
            self.assertEqual(echo.decode(), hashlib.sha256(payload).hexdigest(), f"round {r}")

    def test_telnet_reader_pausing_10_s_gets_all_16_mib(self):
        output = pattern(16 * MIB, 30)

        def host(conn):
            conn.sendall(output)
        server = peer(host, port=23)
        self.addCleanup(server.close)
        telnet = free_port()
        self.gateway(active={"Telnet": telnet})
        with socket.create_connection(("127.0.0.1", telnet), timeout=60) as s:
            s.sendall(b"127.0.0.1\r\n")
            seen = b""
            while b"Connected.\r\n" not in seen:
                seen += s.recv(1)
            first = s.recv(64 * 1024)
            time.sleep(10)
            got = hashlib.sha256(first)
            n = len(first)
            while n < len(output):
                data = s.recv(MIB)
                if not data:
                    break
                got.update(data)
                n += len(data)
        self.assertEqual((n, got.hexdigest()), (len(output), hashlib.sha256(output).hexdigest()))

    def test_sigterm_with_200_congested_sessions_exits_within_3_s(self):
        def flood(conn):
            chunk = b"x" * MIB
            while True:
                conn.sendall(chunk)
        server = peer(flood)
        self.addCleanup(server.close)
        gw = GatewayProcess()
        self.addCleanup(gw.close)
        port = free_port()
        configure(gw, mappings=[dict(name="Flood", port=port, host="127.0.0.1",
                                     target_port=server.port)])
        gw.start()
        clients = []
        for _ in range(200):
            c = socket.create_connection(("127.0.0.1", port), timeout=30)
            c.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            clients.append(c)
        self.addCleanup(lambda: [c.close() for c in clients])
        # Every session fills its client and holds bytes for it; under a sanitizer the
        # sessions take a while to start, so wait for them rather than for a fixed time.
        pid = gw.proc.pid
        deadline = time.monotonic() + 60
        threads = 0
        while time.monotonic() < deadline:
            threads = len(os.listdir(f"/proc/{pid}/task"))
            if threads > 200:
                break
            time.sleep(0.2)
        self.assertGreater(threads, 200)
        time.sleep(1)
        code, took = gw.stop(timeout=10)
        self.assertEqual(code, 0)
        self.assertLess(took, 8.0 if SANITIZED else 3.0)

    def test_silent_connections_are_closed_after_the_quiet_time(self):
        socks = free_port()
        www = free_port()
        self.gateway(active={"Socks": socks, "WWW": www})
        began = time.monotonic()
        silent = [socket.create_connection(("127.0.0.1", p), timeout=60) for p in (socks, www)]
        # A header block that stops half-way is a violation once the quiet time has passed.
        unfinished = socket.create_connection(("127.0.0.1", www), timeout=60)
        unfinished.sendall(b"GET http://127.0.0.1:1/ HTTP/1.0\r\nHost: unfinished\r\n")
        # A header block in three writes 5 s apart is a slow client, not a violation.
        slow = socket.create_connection(("127.0.0.1", www), timeout=60)
        target = peer(lambda c: (c.recv(65536), c.sendall(b"HTTP/1.0 200 OK\r\n\r\nslow ok")))
        self.addCleanup(target.close)
        for part in (b"GET http://127.0.0.1:%d/ HTTP/1.0\r\n" % target.port, b"Host: x\r\n",
                     b"\r\n"):
            slow.sendall(part)
            time.sleep(5)
        reply = b""
        while True:
            data = slow.recv(4096)
            if not data:
                break
            reply += data
        self.assertTrue(reply.endswith(b"slow ok"), reply)
        for s in silent:
            self.assertEqual(s.recv(16), b"")  # closed by the gateway
        self.assertEqual(unfinished.recv(64), b"PROTOCOL Violation")
        unfinished.close()
        self.assertLess(time.monotonic() - began, 45)


    def test_cache_client_pausing_20_s_in_a_100_mib_object_gets_it_whole(self):
        import test_web_cache as wc
        body = pattern(100 * MIB, 40)
        hits = []

        def origin(conn):
            conn.recv(65536)
            hits.append(1)
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
        server = peer(origin)
        self.addCleanup(server.close)
        www = free_port()
        gw = GatewayProcess()
        self.addCleanup(gw.close)
        configure(gw, active={"WWW": www})
        location = os.path.join(gw.dir, "cache") + "/"
        os.mkdir(location)
        with open(os.path.join(gw.dir, "cache.reg"), "w") as f:
            f.write(wc.cache_text(location, 512 << 20))
        gw.reg("import", os.path.join(gw.dir, "cache.reg"))
        gw.start()

        def fetch(pause_after=None):
            with socket.create_connection(("127.0.0.1", www), timeout=60) as s:
                s.sendall(b"GET http://127.0.0.1:%d/huge HTTP/1.0\r\n\r\n" % server.port)
                data = bytearray()
                while chunk := s.recv(MIB):
                    data += chunk
                    if pause_after and len(data) >= pause_after:
                        time.sleep(20)
                        pause_after = None
            return bytes(data)
        first = fetch()
        self.assertTrue(first.endswith(body))
        time.sleep(1)
        second = fetch(pause_after=MIB)
        self.assertEqual(len(hits), 1, "the second answer comes from the cache")
        self.assertEqual(hashlib.sha256(second).hexdigest(), hashlib.sha256(first).hexdigest())

    def test_descriptor_exhaustion_is_survived(self):
        import resource
        if SANITIZED:
            return  # the sanitizer runtime cannot run out of descriptors with the gateway
        echo = self.echo()
        port = free_port()
        gw = GatewayProcess()
        self.addCleanup(gw.close)
        configure(gw, mappings=[dict(name="Echo", port=port, host="127.0.0.1",
                                     target_port=echo.port)])
        low = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (64, 64))
        gw.proc = subprocess.Popen([os.path.join(os.environ["WAYFARER_BIN"], "Wayfarer")],
                                   env=gw.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   text=True, preexec_fn=low)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline and "running headless" not in gw.proc.stderr.readline():
            pass
        pid = gw.proc.pid
        clients = [socket.create_connection(("127.0.0.1", port), timeout=10) for _ in range(100)]
        time.sleep(2)
        def cpu():
            with open(f"/proc/{pid}/stat") as f:
                return sum(int(x) for x in f.read().split(")")[1].split()[11:13])
        before = cpu()
        time.sleep(2)
        ticks = cpu() - before
        threads = len(os.listdir(f"/proc/{pid}/task"))
        self.assertLess(ticks, 50, "the dispatcher spins while descriptors are exhausted")
        self.assertLess(threads, 120, "sessions without a client are kept")
        for c in clients:
            c.close()
        time.sleep(3)
        with socket.create_connection(("127.0.0.1", port), timeout=10) as c:
            c.sendall(b"back again")
            self.assertEqual(c.recv(64), b"back again", "service resumes when descriptors return")


if __name__ == "__main__":
    unittest.main()
