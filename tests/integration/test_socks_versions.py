"""SOCKS 4a and 5 through the real gateway with curl at its defaults, and the replies a refused,
unknown or denied destination gets in each version. Every test runs in a private network
namespace of its own, with web origins on 127.0.0.1 and ::1.
"""
import http.server
import socket
import subprocess
import threading
import unittest

from gateway_process import PRODUCT_KEY, GatewayProcess, configure, free_port
from socket_helpers import read_to_close

DENIED = b"Access Denied. Contact Your Administrator\r\n"


class Origin:
    """An HTTP server that answers every GET with the address family it was reached by."""

    def __init__(self, family, address):
        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                body = b"hello over " + (b"IPv6" if family == socket.AF_INET6 else b"IPv4")
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        server_class = type("Server", (http.server.ThreadingHTTPServer,),
                            {"address_family": family})
        self.httpd = server_class((address, 0), Handler)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class SocksVersionsTest(unittest.TestCase):
    def setUp(self):
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True, timeout=30)
        self.origin = Origin(socket.AF_INET, "127.0.0.1")
        self.addCleanup(self.origin.close)
        self.port = free_port()
        self.gw = GatewayProcess()
        self.addCleanup(self.gw.close)
        configure(self.gw, active={"Socks": self.port})
        # Connections to 127.0.0.9 are denied by rule number 5 (Socks).
        key = f"{PRODUCT_KEY}\\Security\\0"
        self.gw.reg("set", key, "ServiceNum", "REG_DWORD", "5")
        for name, value in (("ClientIP", "All"), ("HostIP", "127.0.0.9"), ("Data", "")):
            self.gw.reg("set", key, name, "REG_SZ", value)
        self.gw.reg("set", f"{PRODUCT_KEY}\\Configuration", "TotalSecurity", "REG_DWORD", "1")
        self.gw.start()
        self.closed_port = free_port()  # nothing listens there

    def curl(self, proxy, url):
        r = subprocess.run(["curl", "-sS", "-x", f"{proxy}://127.0.0.1:{self.port}", url],
                           capture_output=True, timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r.stdout

    def raw(self, data, replies=()):
        """Sends data (after each expected reply length in replies, the next part)."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=20) as s:
            got = []
            for part, length in zip(data, list(replies) + [None]):
                s.sendall(part)
                if length is not None:
                    got.append(s.recv(length))
            got.append(read_to_close(s))
            return got

    def v4(self, address, port, host=None):
        return (bytes([4, 1]) + port.to_bytes(2, "big") + socket.inet_aton(address) + b"me\0"
                + (host.encode() + b"\0" if host else b""))

    def v5(self, kind, address, port):
        return bytes([5, 1, 0, kind]) + address + port.to_bytes(2, "big")

    def test_socks4a_resolves_the_name(self):
        self.assertEqual(self.curl("socks4a", f"http://localhost:{self.origin.port}/"),
                         b"hello over IPv4")
        # An unknown name is a failed request: code 91.
        [reply] = self.raw([self.v4("0.0.0.1", 80, "no-such-host.invalid")])
        self.assertEqual(reply, bytes([0, 91, 0, 0, 0, 0, 0, 0]))

    def test_socks4_refused_connect_gets_91_and_denial_keeps_its_text(self):
        [reply] = self.raw([self.v4("127.0.0.1", self.closed_port)])
        self.assertEqual(reply, bytes([0, 91, 0, 0, 0, 0, 0, 0]))
        [reply] = self.raw([self.v4("127.0.0.9", 80)])
        self.assertEqual(reply, DENIED)
        [reply] = self.raw([self.v4("0.0.0.1", 80, "127.0.0.9")])
        self.assertEqual(reply, DENIED)

    def test_socks5_to_a_name_and_to_an_ipv6_literal(self):
        self.assertEqual(self.curl("socks5h", f"http://localhost:{self.origin.port}/"),
                         b"hello over IPv4")
        self.assertEqual(self.curl("socks5", f"http://127.0.0.1:{self.origin.port}/"),
                         b"hello over IPv4")
        origin6 = Origin(socket.AF_INET6, "::1")
        self.addCleanup(origin6.close)
        self.assertEqual(self.curl("socks5", f"http://[::1]:{origin6.port}/"), b"hello over IPv6")

    def test_socks5_reply_codes(self):
        hello = bytes([5, 1, 0])
        ipv4 = socket.inet_aton
        cases = [
            (self.v5(1, ipv4("127.0.0.1"), self.closed_port), 0x05),
            (self.v5(1, ipv4("127.0.0.9"), 80), 0x02),
            # The gateway's own listening port: refused to every client, as a denial.
            (self.v5(1, ipv4("127.0.0.1"), self.port), 0x02),
            (self.v5(3, bytes([20]) + b"no-such-host.invalid", 80), 0x04),
            (bytes([5, 1, 0, 9]), 0x08),  # an address type it cannot know the length of
            (bytes([5, 2, 0, 1]) + ipv4("127.0.0.1") + (80).to_bytes(2, "big"), 0x07),
        ]
        for request, code in cases:
            method, reply = self.raw([hello, request], replies=[2])
            self.assertEqual(method, bytes([5, 0]), request)
            self.assertEqual(reply, bytes([5, code, 0, 1, 0, 0, 0, 0, 0, 0]), request)
        # Only user name and password offered: no acceptable method.
        [reply] = self.raw([bytes([5, 1, 2])])
        self.assertEqual(reply, bytes([5, 0xFF]))


if __name__ == "__main__":
    unittest.main()
