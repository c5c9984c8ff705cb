"""FTP, SOCKS 4, Telnet and POP3 through the real gateway, with real clients and local servers.

Telnet (port 23) and POP3 (port 110) reach fixed ports: the module runs in a private network
namespace (see gateway_process), where those ports are ours.
"""
import ftplib
import hashlib
import http.server
import io
import os
import poplib
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from gateway_process import (CLIENT_ADDRESS, GATEWAY_ADDRESS, PRODUCT_KEY, GatewayProcess,
                             configure, free_port)
from socket_helpers import TcpServer, read_to_close

FTP_SERVER = """
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer
authorizer = DummyAuthorizer()
authorizer.add_user("alice", "secret", sys.argv[1], perm="elradfmw")
handler = type("Handler", (FTPHandler,), {"authorizer": authorizer})
server = ThreadedFTPServer(("127.0.0.2", 0), handler)
print(server.socket.getsockname()[1], flush=True)
server.serve_forever(timeout=0.5)
"""


def ftp_server_python():
    """An interpreter with pyftpdlib: this one, or Debian's (python3-pyftpdlib)."""
    for python in (sys.executable, "/usr/bin/python3"):
        if os.path.exists(python) and subprocess.run(
                [python, "-c", "import pyftpdlib.servers"], capture_output=True).returncode == 0:
            return python
    return None
MIB = 1 << 20


def pattern(n, seed=1):
    block = hashlib.sha256(str(seed).encode()).digest() * 2048
    out = bytearray()
    i = 0
    while len(out) < n:
        out += hashlib.sha256(block[:32] + i.to_bytes(8, "big")).digest() + block[32:]
        i += 1
    return bytes(out[:n])


def sha(data):
    return hashlib.sha256(data).hexdigest()


def read_until(sock, want):
    got = b""
    while not got.endswith(want):
        data = sock.recv(1)
        if not data:
            break
        got += data
    return got


class ProxyTest(unittest.TestCase):
    def start_gateway(self, active, rules=()):
        """rules: (rule number, client, host) denials written to the store before start."""
        self.gw = GatewayProcess()
        self.addCleanup(self.gw.close)
        configure(self.gw, active=active)
        for n, (service, client, host) in enumerate(rules):
            key = f"{PRODUCT_KEY}\\Security\\{n}"
            self.gw.reg("set", key, "ServiceNum", "REG_DWORD", str(service))
            for name, value in (("ClientIP", client), ("HostIP", host), ("Data", "")):
                self.gw.reg("set", key, name, "REG_SZ", value)
        if rules:
            self.gw.reg("set", f"{PRODUCT_KEY}\\Configuration", "TotalSecurity", "REG_DWORD",
                        str(len(rules)))
        self.gw.start()


class FtpProxyTest(ProxyTest):
    def setUp(self):
        python = ftp_server_python()
        if python is None:
            self.skipTest("python3-pyftpdlib is not installed")
        self.home = tempfile.mkdtemp(prefix="ftp-home-")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.big = pattern(10 * MIB, seed=5)
        with open(os.path.join(self.home, "big.bin"), "wb") as f:
            f.write(self.big)
        self.server = subprocess.Popen([python, "-c", FTP_SERVER, self.home],
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(self.stop_server)
        self.server_port = int(self.server.stdout.readline())
        self.port = free_port()
        self.start_gateway({"FTP": self.port})

    def stop_server(self):
        self.server.kill()
        self.server.wait()
        self.server.stdout.close()

    def login(self):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", self.port, timeout=60)
        self.assertEqual(ftp.getwelcome(),
                         "220 Wayfarer v2.0 FTP proxy server ready. User : user@FTPserver.")
        ftp.login(f"alice@127.0.0.2:{self.server_port}", "secret")
        ftp.set_pasv(False)
        return ftp

    def test_list_retrieve_and_store_in_active_mode(self):
        ftp = self.login()
        lines = []
        ftp.retrlines("LIST", lines.append)
        self.assertTrue(any(line.endswith("big.bin") for line in lines), lines)
        got = io.BytesIO()
        ftp.retrbinary("RETR big.bin", got.write)
        self.assertEqual(sha(got.getvalue()), sha(self.big))
        upload = pattern(10 * MIB, seed=9)
        ftp.storbinary("STOR up.bin", io.BytesIO(upload))
        with open(os.path.join(self.home, "up.bin"), "rb") as f:
            self.assertEqual(sha(f.read()), sha(upload))
        # Several transfers on one control connection, each with its own data listener.
        for _ in range(3):
            self.assertIn("big.bin", ftp.nlst())
        ftp.quit()

    def test_passive_request_is_answered_with_the_gateway_address(self):
        ftp = self.login()
        reply = ftp.sendcmd("PASV")
        self.assertTrue(reply.startswith("227"), reply)
        self.assertIn("(127,0,0,1,", reply)
        ftp.quit()

    def test_login_without_server_keeps_the_session(self):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", self.port, timeout=60)
        with self.assertRaises(ftplib.error_perm) as e:
            ftp.sendcmd("USER alice")
        self.assertEqual(str(e.exception), "500 Error: user@FTPserver is required.")
        ftp.login(f"alice@127.0.0.2:{self.server_port}", "secret")
        self.assertTrue(ftp.pwd())
        ftp.quit()

    @unittest.skipUnless(shutil.which("lftp"), "lftp is not installed")
    def test_lftp_with_its_defaults_logs_in_and_fetches(self):
        out = tempfile.mkdtemp(prefix="lftp-")
        self.addCleanup(shutil.rmtree, out, True)
        target = os.path.join(out, "big.bin")
        script = (f"set ftp:passive-mode off; set net:max-retries 1; set net:timeout 20; "
                  f"open -u alice@127.0.0.2:{self.server_port},secret -p {self.port} 127.0.0.1; "
                  f"get big.bin -o {target}; bye")
        r = subprocess.run(["lftp", "-c", script], capture_output=True, text=True, timeout=120,
                           env=dict(os.environ, HOME=out))
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(target, "rb") as f:
            self.assertEqual(sha(f.read()), sha(self.big))


class Origin:
    """A loopback web server with a small page and a 10 MiB file."""

    def __init__(self, big):
        origin = self
        self.peers = []  # the address each request came from

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                origin.peers.append(self.client_address[0])
                body = big if self.path == "/big" else b"<html>hello</html>\n"
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class SocksProxyTest(ProxyTest):
    def setUp(self):
        self.big = pattern(10 * MIB, seed=3)
        self.origin = Origin(self.big)
        self.addCleanup(self.origin.close)
        self.port = free_port()
        # Connections to 127.0.0.9 are denied by rule number 5 (Socks).
        self.start_gateway({"Socks": self.port}, rules=[(5, "All", "127.0.0.9")])

    def curl(self, path):
        return subprocess.run(["curl", "-sS", "--interface", CLIENT_ADDRESS,
                               "--socks4", f"127.0.0.1:{self.port}",
                               f"http://127.0.0.1:{self.origin.port}{path}"],
                              capture_output=True, timeout=120)

    def request(self, version, command, address, port=80, user=b""):
        return (bytes([version, command]) + port.to_bytes(2, "big") + socket.inet_aton(address)
                + user + b"\0")

    def raw(self, data):
        with socket.create_connection(("127.0.0.1", self.port), timeout=20) as s:
            s.sendall(data)
            return read_to_close(s, limit=1 << 20)

    def test_curl_fetches_a_page_and_ten_mebibytes(self):
        r = self.curl("/")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, b"<html>hello</html>\n")
        r = self.curl("/big")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(sha(r.stdout), sha(self.big))
        # Both requests came from the gateway, none straight from curl.
        self.assertEqual(self.origin.peers, [GATEWAY_ADDRESS] * 2)

    def test_grant_is_eight_bytes(self):
        with socket.create_connection(("127.0.0.1", self.port), timeout=20) as s:
            s.sendall(self.request(4, 1, "127.0.0.1", self.origin.port, b"someone"))
            self.assertEqual(s.recv(8), bytes([0, 90, 0, 0, 0, 0, 0, 0]))

    def test_other_versions_and_commands_are_closed_without_reply(self):
        self.assertEqual(self.raw(self.request(3, 1, "127.0.0.1", self.origin.port)), b"")
        self.assertEqual(self.raw(self.request(4, 2, "127.0.0.1", self.origin.port)), b"")

    def test_silent_client_is_closed_after_the_request_wait(self):
        with socket.create_connection(("127.0.0.1", self.port), timeout=20) as s:
            began = time.monotonic()
            s.sendall(self.request(4, 1, "127.0.0.1", self.origin.port)[:8])
            self.assertEqual(read_to_close(s), b"")
            self.assertGreaterEqual(time.monotonic() - began, 2.0)

    def test_denied_destination_gets_the_text(self):
        self.assertEqual(self.raw(self.request(4, 1, "127.0.0.9")),
                         b"Access Denied. Contact Your Administrator\r\n")


class FixedPortTest(ProxyTest):
    """Telnet and POP3 reach fixed ports (23, 110): ours in the test's network namespace."""

    def server(self, address, port, handler):
        s = TcpServer(handler, address, port, backlog=8, timeout=30)
        self.addCleanup(s.close)
        return s

    def test_telnet(self):
        def upper_lines(conn):
            conn.sendall(b"line server\r\n")
            f = conn.makefile("rb")
            for line in f:
                conn.sendall(line.upper())
        self.server("127.0.0.1", 23, upper_lines)
        port = free_port()
        self.start_gateway({"Telnet": port})
        prompt = b"Wayfarer (Host Name) >"
        with socket.create_connection(("127.0.0.1", port), timeout=20) as c:
            self.assertEqual(read_until(c, prompt), prompt)
            c.sendall(b"nosuchhost\r\n")
            self.assertEqual(read_until(c, prompt),
                             b"nosuchhost\r\nConnecting to destination....."
                             b"No host in that name.\r\n" + prompt)
            # Typed one key at a time; the terminal sends its Enter as one CR LF.
            for ch in b"127.0.0.9\b1":
                c.sendall(bytes([ch]))
            c.sendall(b"\r\n")
            self.assertEqual(read_until(c, b"Connected.\r\n"),
                             b"127.0.0.9\b \b1\r\nConnecting to destination.....Connected.\r\n")
            self.assertEqual(read_until(c, b"line server\r\n"), b"line server\r\n")
            c.sendall(b"hello there\r\n")
            self.assertEqual(read_until(c, b"\r\n"), b"HELLO THERE\r\n")

    def pop3_server(self, address, seen, greeting=b"+OK test server ready\r\n"):
        message = b"Subject: hi\r\n\r\n" + b"line of the body\r\n" * 200

        def serve(conn):
            conn.sendall(greeting)
            f = conn.makefile("rb")
            answers = {b"USER": b"+OK\r\n", b"PASS": b"+OK logged in\r\n",
                       b"STAT": b"+OK 1 %d\r\n" % len(message),
                       b"RETR": b"+OK\r\n" + message + b".\r\n", b"QUIT": b"+OK bye\r\n"}
            for line in f:
                seen.append(line)
                conn.sendall(answers.get(line[:4].upper(), b"-ERR what\r\n"))
                if line.startswith(b"QUIT"):
                    return
        self.server(address, 110, serve)
        return message

    def test_pop3(self):
        seen = []
        message = self.pop3_server("127.0.0.3", seen)
        self.pop3_server("127.0.0.5", [], greeting=b"+OK" + b"x" * 700)
        self.pop3_server("127.0.0.6", [], greeting=b"-ERR busy\r\n")
        port = free_port()
        self.start_gateway({"POP3": port}, rules=[(4, "All", "127.0.0.4")])
        box = poplib.POP3("127.0.0.1", port, timeout=20)
        self.assertEqual(box.getwelcome(), b"+OK pop3 ready")
        box.user("alice<127.0.0.3>")
        box.pass_("secret")
        self.assertEqual(box.stat(), (1, len(message)))
        self.assertEqual(b"\r\n".join(box.retr(1)[1]) + b"\r\n", message)
        box.quit()
        self.assertEqual(seen[0], b"USER alice\r\n")
        failures = [(b"USER alice\r\n", b"-ERR POP3 User Format Violation Give :User<Domain>\r\n"),
                    (b"USER alice<127.0.0.4>\r\n",
                     b"-ERR  Access Denied Contact Your Administrator\r\n"),
                    (b"USER alice<127.0.0.5>\r\n", b"-ERR Invalid Respose From Domain : Try Again\r\n"),
                    (b"USER alice<127.0.0.6>\r\n", b"-ERR Invalid Respose From Domain : Try Again\r\n"),
                    (b"USER alice<127.0.0.7>\r\n",
                     b"-ERR Connection Time Out Try Again Domain Is Busy\r\n"),
                    (b"USER " + b"a" * 600 + b"<127.0.0.3>\r\n",
                     b"-ERR POP3 User Format Violation Give :User<Domain>\r\n")]
        for line, want in failures:
            with socket.create_connection(("127.0.0.1", port), timeout=20) as c:
                self.assertEqual(read_until(c, b"\r\n"), b"+OK pop3 ready\r\n")
                c.sendall(line)
                self.assertEqual(read_to_close(c), want, line)


if __name__ == "__main__":
    unittest.main()
