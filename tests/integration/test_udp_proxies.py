"""DNS service, UDP mappings and the RealAudio proxy through the real gateway.

The DNS port is fixed at 53, so the whole module runs inside a private network and mount
namespace made for it: only loopback exists there, /etc/hosts is the test's own, and the
gateway's resolver points at an address with no route, so nothing leaves the namespace.
Run from outside, the single outer test starts the same module inside such a namespace.
"""
import os
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from gateway_process import GatewayProcess, PRODUCT_KEY, configure, free_port

INSIDE = "WAYFARER_UDP_PROXIES_NETNS"
WAIT = 5.0

HOSTS = """127.0.0.1 localhost
192.0.2.10 wf-host.test
192.0.2.20 wf-official.test wf-alias.test
192.0.2.30 wf-moving.test
"""
# No route in the namespace: a name missing from the hosts file fails at once.
GATEWAY_RESOLV = "nameserver 192.0.2.53\noptions timeout:1 attempts:1\n"
CLIENT_RESOLV = "nameserver 127.0.0.1\noptions timeout:2 attempts:1\n"


def enter_private_files(directory):
    """Binds the test's hosts, resolv.conf and nsswitch.conf over the namespace's /etc."""
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    for name, text in (("hosts", HOSTS), ("resolv.conf", GATEWAY_RESOLV),
                       ("nsswitch.conf", "hosts: files dns\n")):
        path = os.path.join(directory, name)
        with open(path, "w") as f:
            f.write(text)
        subprocess.run(["mount", "--bind", path, "/etc/" + name], check=True)


def rewrite_hosts(text):
    """Changes the namespace's hosts file in place (the bound file keeps its inode)."""
    with open("/etc/hosts", "r+") as f:
        f.truncate(0)
        f.write(text)


def dig(*args):
    result = subprocess.run(["dig", "@127.0.0.1", "+tries=1", "+time=3", *args],
                            capture_output=True, text=True, timeout=30)
    return result.stdout


def exchange(sock, datagram, port, wait=WAIT):
    sock.sendto(datagram, ("127.0.0.1", port))
    sock.settimeout(wait)
    try:
        return sock.recv(65536)
    except socket.timeout:
        return None


def query(name, qtype=1, ident=0x4A4B, opt=False):
    wire = b"".join(bytes([len(p)]) + p.encode() for p in name.split(".")) + b"\0"
    header = struct.pack(">HHHHHH", ident, 0x0100, 1, 0, 0, 1 if opt else 0)
    body = wire + struct.pack(">HH", qtype, 1)
    if opt:
        body += b"\0" + struct.pack(">HHIH", 41, 4096, 0, 0)
    return header + body, len(header) + len(body) - (11 if opt else 0)


class UdpEcho:
    """A loopback UDP server answering each datagram with b"echo:" + datagram."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.port = self.sock.getsockname()[1]
        self.peers = []  # the address of each datagram's sender, in order
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while True:
            try:
                data, peer = self.sock.recvfrom(65536)
            except OSError:
                return
            self.peers.append(peer)
            self.sock.sendto(b"echo:" + data, peer)

    def close(self):
        self.sock.close()
        self.thread.join(timeout=WAIT)


def udp_client():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    return s


class Namespaced(unittest.TestCase):
    """Base: one gateway per test class, inside this namespace."""

    active = {}
    mappings = ()
    dns = False
    use_dns_cache = 0

    @classmethod
    def setUpClass(cls):
        cls.gw = GatewayProcess()
        configure(cls.gw, active=cls.active, mappings=cls.mappings, dns_active=cls.dns)
        if cls.dns:
            cls.gw.reg("set", PRODUCT_KEY + r"\Service\9", "UseDnsCache", "REG_DWORD",
                       str(cls.use_dns_cache))
        cls.gw.start()

    @classmethod
    def tearDownClass(cls):
        code, _ = cls.gw.stop()
        cls.gw.close()
        assert code == 0, f"gateway exit code {code}"


if os.environ.get(INSIDE) == "1":

    def setUpModule():
        global FILES
        FILES = tempfile.TemporaryDirectory(prefix="wayfarer-ns-")
        enter_private_files(FILES.name)

    def tearDownModule():
        FILES.cleanup()

    class DnsService(Namespaced):
        dns = True

        def test_name_from_hosts_file_with_and_without_edns(self):
            for extra in ([], ["+noedns"]):
                out = dig("wf-host.test", "A", *extra)
                self.assertIn("status: NOERROR", out, out)
                self.assertIn("flags: qr aa rd;", out, out)
                self.assertIn("ANSWER: 1,", out, out)
                self.assertRegex(out, r"wf-host\.test\.\s+3600\s+IN\s+A\s+192\.0\.2\.10")
                self.assertNotIn("malformed", out.lower())
                self.assertNotIn("OPT PSEUDOSECTION", out)

        def test_alias_is_answered_with_cname_then_a(self):
            out = dig("wf-alias.test", "A")
            self.assertIn("status: NOERROR", out, out)
            self.assertIn("ANSWER: 2,", out, out)
            self.assertRegex(out, r"wf-alias\.test\.\s+3600\s+IN\s+CNAME\s+wf-official\.test\.")
            self.assertRegex(out, r"wf-official\.test\.\s+3600\s+IN\s+A\s+192\.0\.2\.20")

        def test_glibc_resolver_through_the_gateway_accepts_the_alias(self):
            # The client sees neither the hosts file nor the gateway's resolver, only us.
            with tempfile.TemporaryDirectory() as d:
                for name, text in (("hosts", "127.0.0.1 localhost\n"),
                                   ("resolv.conf", CLIENT_RESOLV)):
                    with open(os.path.join(d, name), "w") as f:
                        f.write(text)
                script = (f"mount --bind {d}/hosts /etc/hosts && "
                          f"mount --bind {d}/resolv.conf /etc/resolv.conf && "
                          "getent ahosts wf-alias.test && getent hosts wf-alias.test && "
                          "getent hosts wf-host.test")
                r = subprocess.run(["unshare", "-m", "--propagation", "private", "sh", "-c",
                                    script], capture_output=True, text=True, timeout=60)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertRegex(r.stdout, r"192\.0\.2\.20\s+STREAM\s+wf-official\.test\n")
            self.assertRegex(r.stdout, r"192\.0\.2\.20\s+wf-official\.test\s+wf-alias\.test\n")
            self.assertRegex(r.stdout, r"192\.0\.2\.10\s+wf-host\.test\n")

        def test_without_the_cache_a_change_of_the_hosts_file_shows_at_once(self):
            self.assertRegex(dig("wf-moving.test", "A"), r"IN\s+A\s+192\.0\.2\.30")
            self.addCleanup(rewrite_hosts, HOSTS)
            rewrite_hosts(HOSTS.replace("192.0.2.30 wf-moving", "192.0.2.31 wf-moving"))
            self.assertRegex(dig("wf-moving.test", "A"), r"IN\s+A\s+192\.0\.2\.31")

        def test_unknown_name_and_ptr_get_the_name_error(self):
            for args in (["no-such-name.test", "A"], ["-x", "192.0.2.10"]):
                out = dig(*args)
                self.assertIn("status: NXDOMAIN", out, out)
                self.assertIn("flags: qr aa rd;", out, out)
                self.assertIn("ANSWER: 0,", out, out)

        def test_mx_query_is_answered_with_an_a_record(self):
            out = dig("wf-host.test", "MX")
            self.assertIn("status: NOERROR", out, out)
            self.assertRegex(out, r"wf-host\.test\.\s+3600\s+IN\s+A\s+192\.0\.2\.10")

        def test_identifier_and_question_kept_exactly(self):
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                datagram, question_end = query("WF-Host.Test", ident=0xBEEF, opt=True)
                answer = exchange(s, datagram, 53)
            self.assertIsNotNone(answer)
            ident, flags, qd, an, ns, ar = struct.unpack(">HHHHHH", answer[:12])
            self.assertEqual((ident, flags, qd, an, ns, ar), (0xBEEF, 0x8500, 1, 1, 0, 0))
            self.assertEqual(answer[12:question_end], datagram[12:question_end])
            self.assertEqual(answer[-4:], socket.inet_aton("192.0.2.10"))

        def test_malformed_datagrams_get_no_answer_and_the_service_goes_on(self):
            good, _ = query("wf-host.test")
            bad = [
                b"",
                good[:11],
                good[:12] + b"\x3f" + b"x" * 10,                     # label past the end
                good[:12] + b"\xc0\x0c" + b"\0\1\0\1",               # pointer to itself
                good[:12] + b"\x02ab\xc0\x0c\0\1\0\1",               # pointer after a label
                good[:12] + (b"\x3f" + b"y" * 63) * 5 + b"\0\0\1\0\1",  # name over 255
                good[:12] + b"\x41" + b"z" * 8 + b"\0\0\1\0\1",      # extended label type
                good[:-3],                                           # QTYPE/QCLASS cut
                bytes([good[0], good[1], 0x81, 0x80]) + good[4:],     # a response
            ]
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                for datagram in bad:
                    self.assertIsNone(exchange(s, datagram, 53, wait=0.5), datagram.hex())
                self.assertIsNotNone(exchange(s, good, 53))
            self.assertIsNone(self.gw.proc.poll())

    class DnsServiceWithCache(Namespaced):
        dns = True
        use_dns_cache = 1

        def test_second_lookup_in_other_case_answers_from_the_cache(self):
            for name in ("wf-alias.test", "WF-ALIAS.test", "wf-official.test"):
                out = dig(name, "A")
                self.assertIn("status: NOERROR", out, out)
                self.assertRegex(out, r"IN\s+A\s+192\.0\.2\.20")

        def test_cached_answer_outlives_a_change_of_the_hosts_file(self):
            out = dig("wf-moving.test", "A")
            self.assertRegex(out, r"wf-moving\.test\.\s+3600\s+IN\s+A\s+192\.0\.2\.30", out)
            self.addCleanup(rewrite_hosts, HOSTS)
            rewrite_hosts(HOSTS.replace("192.0.2.30 wf-moving", "192.0.2.31 wf-moving"))
            # Only the cache still knows the old address; a lookup would find the new one.
            out = dig("WF-Moving.test", "A")
            self.assertRegex(out, r"IN\s+A\s+192\.0\.2\.30", out)
            self.assertNotIn("192.0.2.31", out)

    class UdpMapping(Namespaced):
        @classmethod
        def setUpClass(cls):
            cls.echo = UdpEcho()
            cls.port = free_port(socket.SOCK_DGRAM)
            cls.mappings = [{"name": "udp-echo", "type": "UDP Mapped Link", "port": cls.port,
                             "host": "127.0.0.1", "target_port": cls.echo.port, "protocol": 1,
                             "timeout": 2}]
            super().setUpClass()

        @classmethod
        def tearDownClass(cls):
            super().tearDownClass()
            cls.echo.close()

        def test_two_clients_taking_turns_get_their_own_replies(self):
            a, b = udp_client(), udp_client()
            try:
                for round_ in range(3):
                    for name, sock in (("a", a), ("b", b)):
                        payload = f"{name}-{round_}".encode()
                        self.assertEqual(exchange(sock, payload, self.port), b"echo:" + payload)
                # One session carried all six, through one outbound socket.
                first = self.echo.peers[-6:]
                self.assertEqual(len(set(first)), 1, first)
                # Wait out the 2 s idle time-out: the session has ended, so a new datagram
                # starts a new session, whose outbound socket is a new one.
                time.sleep(3.5)
                self.assertEqual(exchange(a, b"after-idle", self.port), b"echo:after-idle")
                self.assertNotEqual(self.echo.peers[-1], first[0],
                                    "the idle session did not end")
            finally:
                a.close()
                b.close()

    class RealAudio(Namespaced):
        @classmethod
        def setUpClass(cls):
            cls.port = free_port()
            cls.active = {"RealAudio": cls.port}
            super().setUpClass()

        def player(self):
            s = socket.create_connection(("127.0.0.1", self.port), timeout=WAIT)
            self.assertEqual(recv_exact(s, 4), bytes([0, 2, 1, 1]))
            return s

        def test_udp_session_rewrites_port_and_relays_datagrams(self):
            server = socket.socket()
            server.bind(("127.0.0.1", 0))
            server.listen(1)
            server.settimeout(WAIT)
            audio = udp_client()
            player = self.player()
            try:
                own_udp = audio.getsockname()[1]
                for body in (b"\x01", b"\x02127.0.0.1", b"\x03" + struct.pack(">H", server.getsockname()[1]),
                             b"\x04\x00\x04", b"\x05\x02", b"\x00"):
                    player.sendall(struct.pack(">H", len(body)) + body)
                conn, _ = server.accept()
                conn.settimeout(WAIT)
                self.assertEqual(read_reply(player), (0, b"SUCCESS connected to Real Audio Server"))
                request = b"PLAY" + struct.pack(">H", own_udp) + b"/stream"
                player.sendall(request)
                got = recv_exact(conn, len(request))
                self.assertEqual(got[:4] + got[6:], b"PLAY/stream")
                gateway_udp = struct.unpack(">H", got[4:6])[0]
                self.assertNotEqual(gateway_udp, own_udp)
                with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as out:
                    for i in range(3):
                        out.sendto(b"audio-%d" % i, ("127.0.0.1", gateway_udp))
                        audio.settimeout(WAIT)
                        self.assertEqual(audio.recv(2048), b"audio-%d" % i)
                conn.sendall(b"control-back")
                self.assertEqual(recv_exact(player, 12), b"control-back")
                conn.close()
                player.settimeout(WAIT)
                self.assertEqual(player.recv(16), b"")  # the server's close ends the session
            finally:
                player.close()
                audio.close()
                server.close()

        def test_dialogue_refusals_carry_their_codes(self):
            cases = [
                ([b"\x02host"], 3, b"Bad Proxy Version"),
                ([b"\x01", b"\x07"], 4, b"Unexpected Proxy Opcode"),
                ([b"\x01", b"\x02127.0.0.1", b"\x03\x1b\x58", b"\x00"], 2,
                 b"BAD information was passed in the proxy dialog"),
                ([b"\x01", b"\x02127.0.0.1", b"\x03\x1b\x58", b"\x04\x00\x04", b"\x05\x01",
                  b"\x00"], 2, b"BAD information was passed in the proxy dialog"),
                ([b"\x01", b"\x02no-such-name.test", b"\x03\x1b\x58", b"\x05\x01", b"\x00"], 2,
                 b"BAD information was passed in the proxy dialog"),
            ]
            for messages, code, text in cases:
                player = self.player()
                try:
                    for body in messages:
                        player.sendall(struct.pack(">H", len(body)) + body)
                    self.assertEqual(read_reply(player), (code, text), messages)
                    self.assertEqual(player.recv(16), b"")
                finally:
                    player.close()

        def test_overlong_message_is_refused(self):
            player = self.player()
            try:
                player.sendall(b"\x00\x01\x01" + b"\xff\xff")
                self.assertEqual(read_reply(player)[0], 2)
            finally:
                player.close()

        def test_refused_connection_gets_code_1(self):
            closed = free_port()
            player = self.player()
            try:
                for body in (b"\x01", b"\x02127.0.0.1", b"\x03" + struct.pack(">H", closed),
                             b"\x05\x01", b"\x00"):
                    player.sendall(struct.pack(">H", len(body)) + body)
                self.assertEqual(read_reply(player),
                                 (1, b"Could NOT connect to Real Audio Server"))
            finally:
                player.close()

    def recv_exact(sock, n):
        data = b""
        sock.settimeout(WAIT)
        while len(data) < n:
            part = sock.recv(n - len(data))
            if not part:
                break
            data += part
        return data

    def read_reply(sock):
        length = struct.unpack(">H", recv_exact(sock, 2))[0]
        body = recv_exact(sock, length)  # type, code and the text less its last character
        return body[1], body[2:]

else:

    class InPrivateNamespace(unittest.TestCase):
        def test_udp_proxies(self):
            env = dict(os.environ, **{INSIDE: "1"})
            here = os.path.dirname(os.path.abspath(__file__))
            r = subprocess.run(["unshare", "-n", "-m", "--propagation", "private",
                                sys.executable, "-m", "unittest", "-v", "test_udp_proxies"],
                               cwd=here, env=env, capture_output=True, text=True, timeout=800)
            sys.stderr.write(r.stdout + r.stderr)
            self.assertEqual(r.returncode, 0)
