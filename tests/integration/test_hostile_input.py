"""Hostile input at every listener of the real gateway: random bytes, a 1 MiB line, 10,000
headers, NUL bytes, slowloris, half-open connections, long command lines, malformed DNS
datagrams. After each kind, every service still answers a normal client, the gateway's thread
count comes back to where it stood after a warm-up round, and its resident memory stays within
10 % or 16 MiB of that round. The gateway runs in its own network namespace (office_network)."""
import os
import random
import select
import socket
import struct
import threading
import time
import unittest

import office_network as office
from socket_helpers import WAIT, connect, echo, listener, read_exact, read_until, serve
from gateway_process import configure

PORTS = {"WWW": 3128, "Socks": 1080, "Telnet": 2323, "FTP": 2121, "POP3": 1110, "RealAudio": 1090}
TCP_MAP = 4000
ECHO_PORT, ORIGIN_PORT = 7, 8001
LISTENERS = sorted(PORTS.values()) + [TCP_MAP]
SETTLE = 20.0  # seconds a poll waits for the thread count to come back
MIB = 1 << 20
FUTEX = 202  # x86-64 system call number
PARK_SECONDS = 30  # how long an idle pooled thread waits for a next session
RNG = random.Random(23)


def origin(conn):
    with conn:
        try:
            read_until(conn, b"\r\n\r\n")
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\norigin")
        except OSError:
            pass  # hostile requests reach the origin too, and their clients leave


def gateway_status(pid):
    """(threads, busy threads, resident bytes) from /proc. A thread parked in the gateway's
    thread pool (up to 64, for up to 30 s) waits on a futex; every other waiting thread of the
    gateway waits in poll or sigwait, so the busy ones are those not in a futex wait."""
    fields = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            name, _, value = line.partition(":")
            fields[name] = value.split()
    busy = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/syscall") as f:
                busy += f.read().split()[0] != str(FUTEX)
        except (OSError, IndexError):
            pass
    return int(fields["Threads"][0]), busy, int(fields["VmRSS"][0]) * 1024


def blast(net, port, data, seconds=3.0, half_close=False):
    """Connects from the LAN, sends as much of data as the gateway takes within seconds while
    reading whatever comes back, then closes (after shutting the sending side when half_close
    and waiting up to seconds for the gateway to close)."""
    with net.inside("lan"):
        s = socket.socket()
    try:
        with s:
            send_and_close(s, port, data, seconds, half_close)
    except OSError:
        pass  # the gateway may reset a hostile client at any point


def send_and_close(s, port, data, seconds, half_close):
    s.settimeout(WAIT)
    s.connect((office.GW_LAN, port))
    s.setblocking(False)
    deadline = time.monotonic() + seconds
    sent = 0
    shut = False
    while time.monotonic() < deadline:
        if sent >= len(data):
            if not half_close:
                return
            if not shut:
                s.shutdown(socket.SHUT_WR)  # then read until the gateway closes
                shut = True
        readable, writable, _ = select.select([s], [s] if sent < len(data) else [], [], 0.1)
        try:
            if readable and not s.recv(65536):
                return
            if writable:
                sent += s.send(data[sent:sent + 65536])
        except (BlockingIOError, InterruptedError):
            pass


def at_every_listener(net, make_data, **kwargs):
    threads = [threading.Thread(target=blast, args=(net, port, make_data(port)), kwargs=kwargs)
               for port in LISTENERS]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=60)


def slowloris(net, port, clients, seconds):
    with net.inside("lan"):
        socks = [socket.socket() for _ in range(clients)]
    try:
        for s in socks:
            s.settimeout(WAIT)
            s.connect((office.GW_LAN, port))
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for s in socks:
                try:
                    s.send(b"G")
                except OSError:
                    pass
            time.sleep(1.0)
    finally:
        for s in socks:
            s.close()


def dns_query(name, ident=0x4142):
    wire = b"".join(bytes([len(p)]) + p.encode() for p in name.split(".")) + b"\0"
    return struct.pack(">HHHHHH", ident, 0x0100, 1, 0, 0, 0) + wire + struct.pack(">HH", 1, 1)


def lan(net, port):
    with net.inside("lan"):
        return connect(office.GW_LAN, port)


def every_service_answers(net):
    with lan(net, PORTS["WWW"]) as s:
        s.sendall(b"GET http://%s:%d/ HTTP/1.0\r\n\r\n" % (office.WAN_HOST.encode(), ORIGIN_PORT))
        answer = read_until(s, b"origin")
        assert answer.startswith(b"HTTP/1.0 200") and answer.endswith(b"origin"), answer
    with lan(net, PORTS["Socks"]) as s:
        s.sendall(struct.pack(">BBH", 4, 1, ECHO_PORT) + socket.inet_aton(office.WAN_HOST) + b"\0")
        assert read_exact(s, 8)[1] == 0x5A
        s.sendall(b"ping")
        assert read_exact(s, 4) == b"ping"
    with lan(net, TCP_MAP) as s:
        s.sendall(b"mapped")
        assert read_exact(s, 6) == b"mapped"
    with lan(net, PORTS["Telnet"]) as s:
        assert read_until(s, b">").endswith(b"(Host Name) >")
    with lan(net, PORTS["FTP"]) as s:
        assert read_until(s, b"\r\n").startswith(b"220 ")
    with lan(net, PORTS["POP3"]) as s:
        assert read_until(s, b"\r\n").startswith(b"+OK")
    with lan(net, PORTS["RealAudio"]) as s:
        assert read_exact(s, 4) == bytes([0, 2, 1, 1])
    with net.inside("lan"):
        u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    with u:
        u.settimeout(WAIT)
        u.sendto(dns_query("localhost", 0x5151), (office.GW_LAN, 53))
        assert u.recv(65536)[:2] == b"\x51\x51"


def settled_status(pid, want_busy):
    """Polls until the busy thread count equals want_busy (or holds still for a second when
    None) within SETTLE seconds; returns the last status."""
    deadline = time.monotonic() + SETTLE
    last = gateway_status(pid)
    while time.monotonic() < deadline:
        time.sleep(0.5 if want_busy is not None else 1.0)
        now = gateway_status(pid)
        if now[1] == (last[1] if want_busy is None else want_busy):
            return now
        last = now
    return last


@unittest.skipUnless(office.available(), "needs root and ip netns")
class HostileInput(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.net = office.OfficeNetwork(prefix="hostile")
        cls.sockets = []
        cls.gw = None
        try:
            with cls.net.inside("wan"):
                for port, handle in ((ECHO_PORT, echo), (ORIGIN_PORT, origin)):
                    cls.sockets.append(listener(office.WAN_HOST, port))
                    serve(cls.sockets[-1], handle)
            cls.gw = cls.net.gateway()
            # A small quarantine keeps an AddressSanitizer build's memory comparable.
            cls.gw.env["ASAN_OPTIONS"] = (os.environ.get("ASAN_OPTIONS", "") +
                                          ":quarantine_size_mb=8").lstrip(":")
            configure(cls.gw, active=PORTS, dns_active=True, mappings=[
                dict(name="Echo", port=TCP_MAP, host=office.WAN_HOST, target_port=ECHO_PORT)])
            cls.gw.start()
            # Its stderr is drained so that a chatty gateway never blocks on a full pipe.
            threading.Thread(target=lambda: cls.gw.proc.stderr.read(), daemon=True).start()
            cls.pid = cls.gw.proc.pid
            time.sleep(1.0)
            cls.threads_at_start = gateway_status(cls.pid)[0]
            cls.warm_up()
        except Exception:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.gw:
            cls.gw.close()
        for s in cls.sockets:
            s.close()
        cls.net.close()

    @classmethod
    def warm_up(cls):
        for _ in range(2):
            every_service_answers(cls.net)
            at_every_listener(cls.net, lambda port: os.urandom(4096))
        time.sleep(1.0)
        _, cls.busy, cls.rss = settled_status(cls.pid, None)

    def check_recovered(self, what):
        every_service_answers(self.net)
        threads, busy, rss = settled_status(self.pid, self.busy)
        self.assertEqual(busy, self.busy, f"busy threads after {what}")
        # A sanitizer runtime keeps freed memory in its quarantine and caches: more room there.
        with open(f"/proc/{self.pid}/maps") as f:
            margin = 32 * MIB if "libasan" in f.read() else 16 * MIB
        allowed = max(self.rss * 1.10, self.rss + margin)
        self.assertLessEqual(rss, allowed, f"resident memory after {what}: {rss} vs {self.rss}")

    # --- hostile input --------------------------------------------------------------------

    def test_random_bytes_nul_bytes_and_a_megabyte_line(self):
        at_every_listener(self.net, lambda port: os.urandom(256 * 1024))
        self.check_recovered("random bytes")
        at_every_listener(self.net, lambda port: b"\0" * 65536 + b"\r\n\r\n")
        self.check_recovered("NUL bytes")
        line = b"GET http://x/" + b"a" * MIB + b" HTTP/1.0\r\n\r\n"
        at_every_listener(self.net, lambda port: line)
        self.check_recovered("1 MiB request line")

    def test_ten_thousand_headers(self):
        head = (b"GET http://%s:%d/ HTTP/1.0\r\n" % (office.WAN_HOST.encode(), ORIGIN_PORT) +
                b"".join(b"X-H%d: v\r\n" % i for i in range(10000)) + b"\r\n")
        at_every_listener(self.net, lambda port: head)
        self.check_recovered("10,000 headers")

    def test_long_command_lines(self):
        arg = b"a" * 100_000
        lines = {PORTS["FTP"]: b"USER " + arg + b"@host\r\nPORT " + arg + b"\r\n",
                 PORTS["POP3"]: b"USER " + arg + b"@host\r\n",
                 PORTS["Telnet"]: arg + b"\r\n" + b"\x08" * 100_000 + b"\r\n",
                 PORTS["Socks"]: (struct.pack(">BBH", 4, 1, 80) + b"\0\0\0\1" + arg + b"\0" +
                                  arg + b"\0")}
        at_every_listener(self.net, lambda port: lines.get(port, arg + b"\r\n"))
        self.check_recovered("100 KB command lines")

    def test_slowloris_and_half_open_connections(self):
        threads = [threading.Thread(target=slowloris, args=(self.net, port, 8, 4.0))
                   for port in LISTENERS]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=60)
        self.check_recovered("slowloris")
        at_every_listener(self.net, lambda port: b"GET http://x", half_close=True)
        at_every_listener(self.net, lambda port: b"", half_close=True)
        self.check_recovered("half-open connections")

    def test_malformed_dns_datagrams(self):
        good = dns_query("localhost")
        loop = bytes([0x41, 0x41, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xC0, 12, 0, 1, 0, 1])
        deep = bytes([0x41, 0x42, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0]) + b"\x01a" * 200 + b"\0\0\1\0\1"
        datagrams = [good[:5], good[:len(good) - 3], loop, deep, b"\x41" * 65507, b"",
                     bytes(RNG.randrange(256) for _ in range(512))]
        datagrams += [bytes(RNG.randrange(256) for _ in range(RNG.randrange(1, 600)))
                      for _ in range(200)]
        with self.net.inside("lan"):
            u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        with u:
            u.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 20)
            for d in datagrams:
                u.sendto(d, (office.GW_LAN, 53))
                time.sleep(0.002)
        self.check_recovered("malformed DNS datagrams")

    def test_zz_every_thread_ends_once_the_pool_lets_its_parked_threads_go(self):
        # Runs last (names sort): all earlier sessions must have ended, parked threads
        # included, once they have waited out their park time.
        deadline = time.monotonic() + PARK_SECONDS + SETTLE
        while time.monotonic() < deadline and gateway_status(self.pid)[0] != self.threads_at_start:
            time.sleep(1.0)
        self.assertEqual(gateway_status(self.pid)[0], self.threads_at_start)


if __name__ == "__main__":
    unittest.main()
