"""The access-log line of each kind of session through the real gateway: a mapping, a web request
and a refused one, SOCKS 4 and 5, an FTP log-in with a download, a client outside AllowedClients
and a session ended by the shut-down. Each client talks from an address of its own, so its line
is found by its client field; byte counts are checked against what the client really sent and
received."""
import http.server
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import threading
import time
import unittest

from gateway_process import PRODUCT_KEY, GatewayProcess, configure, free_port
from socket_helpers import TcpServer, connect, echo, read_exact, read_line, read_to_close, read_until
from test_ftp_clients import FTP_SERVER, Control, ftp_server_python
from test_web_cache import cache_text

BODY = os.urandom(3000)


def origin():
    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Length", str(len(BODY)))
            self.end_headers()
            self.wfile.write(BODY)
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=httpd.serve_forever, daemon=True).start()
    return httpd


class CountingOrigin(http.server.BaseHTTPRequestHandler):
    """A cacheable answer of BODY; served counts the answers the origin gave."""
    served = 0

    def log_message(self, *args):
        pass

    def do_GET(self):
        CountingOrigin.served += 1
        self.send_response(200)
        self.send_header("Last-Modified", "Thu, 01 Dec 1994 16:00:00 GMT")
        self.send_header("Content-Length", str(len(BODY)))
        self.end_headers()
        self.wfile.write(BODY)


def line_of(path, client, timeout=15):
    """The fields of the first line logged for client (None when none came in time)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path) as f:
                for line in f.read().splitlines():
                    fields = line.split(" ")
                    if fields[2] == client:
                        return fields
        time.sleep(0.05)
    return None


def connect_from(source, port, address="127.0.0.1"):
    return connect(address, port, source)


class SourcedControl(Control):
    """An FTP control connection from a chosen client address."""

    def __init__(self, source, port):  # pylint: disable=super-init-not-called
        self.sock = connect_from(source, port)
        self.file = self.sock.makefile("rb")


class SessionLinesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True, timeout=30)
        cls.echo = TcpServer(echo)
        cls.echo_port = cls.echo.port
        cls.httpd = origin()
        (cls.web_port, cls.socks_port, cls.ftp_port, cls.map_port, cls.pop3_port,
         cls.telnet_port) = (free_port() for _ in range(6))
        cls.gw = GatewayProcess()
        configure(cls.gw, active={"WWW": cls.web_port, "Socks": cls.socks_port,
                                  "FTP": cls.ftp_port, "POP3": cls.pop3_port,
                                  "Telnet": cls.telnet_port},
                  mappings=[dict(name="echo", port=cls.map_port, host="127.0.0.1",
                                 target_port=cls.echo_port)])
        # The web service refuses 127.0.0.9; clients above 127.0.0.127 are not served at all.
        key = f"{PRODUCT_KEY}\\Security\\0"
        cls.gw.reg("set", key, "ServiceNum", "REG_DWORD", "1")
        for name, value in (("ClientIP", "All"), ("HostIP", "127.0.0.9"), ("Data", "")):
            cls.gw.reg("set", key, name, "REG_SZ", value)
        cls.gw.reg("set", f"{PRODUCT_KEY}\\Configuration", "TotalSecurity", "REG_DWORD", "1")
        cls.gw.reg("set", f"{PRODUCT_KEY}\\Configuration", "AllowedClients", "REG_SZ",
                   "127.0.0.0/25")
        cls.gw.start()
        cls.log = os.path.join(cls.gw.dir, "access.log")

    @classmethod
    def tearDownClass(cls):
        cls.gw.close()
        cls.httpd.shutdown()
        cls.httpd.server_close()
        cls.echo.close()

    def expect(self, client, service, destination, from_client, to_client, ending):
        fields = line_of(self.log, client)
        self.assertIsNotNone(fields, f"no line for {client}")
        self.assertEqual(len(fields), 8, fields)
        self.assertEqual(fields[3:], [service, destination, str(from_client), str(to_client),
                                      ending])

    def curl(self, source, url):
        r = subprocess.run(["curl", "-sS", "-o", "/dev/null", "--interface", source, "-x",
                            f"http://127.0.0.1:{self.web_port}", "-w",
                            "%{size_request} %{size_header} %{size_download}", url],
                           capture_output=True, text=True, timeout=60)
        sent, header, body = (int(n) for n in r.stdout.split())
        return sent, header + body

    def test_mapping_counts_both_ways(self):
        with connect_from("127.0.0.11", self.map_port) as c:
            c.sendall(b"x" * 100000)
            self.assertEqual(len(read_exact(c, 100000)), 100000)
            c.sendall(b"y" * 7)
            self.assertEqual(read_exact(c, 7), b"y" * 7)
        self.expect("127.0.0.11", "echo", "echo", 100007, 100007, "closed")

    def test_web_request_and_refused_request(self):
        sent, received = self.curl("127.0.0.12", f"http://127.0.0.1:{self.httpd.server_port}/a")
        self.expect("127.0.0.12", "WWW", f"127.0.0.1:{self.httpd.server_port}", sent, received,
                    "closed")
        sent, received = self.curl("127.0.0.13", "http://127.0.0.9:8080/secret")
        self.assertGreater(received, 0)  # the error page
        self.expect("127.0.0.13", "WWW", "127.0.0.9:8080", sent, received, "denied")

    def test_connect_tunnel(self):
        tls_port = TcpServer(echo, port=443)  # the only port a tunnel may reach
        self.addCleanup(tls_port.close)
        request = b"CONNECT 127.0.0.1:443 HTTP/1.1\r\nHost: 127.0.0.1:443\r\n\r\n"
        payload = os.urandom(70000)
        with connect_from("127.0.0.18", self.web_port) as c:
            c.sendall(request)
            answer = read_until(c, b"\n\n")
            self.assertTrue(answer.startswith(b"HTTP/1.0 200"), answer)
            c.sendall(payload)
            self.assertEqual(read_exact(c, len(payload)), payload)
        self.expect("127.0.0.18", "WWW", "127.0.0.1:443", len(request) + len(payload),
                    len(answer) + len(payload), "closed")

    def test_pop3_domain_not_found(self):
        login = b"USER me<no-such-host.invalid>\r\n"
        with connect_from("127.0.0.19", self.pop3_port) as c:
            greeting = read_line(c)
            self.assertTrue(greeting.startswith(b"+OK"), greeting)
            c.sendall(login)
            answer = read_to_close(c)
        self.assertTrue(answer.startswith(b"-ERR"), answer)
        self.expect("127.0.0.19", "POP3", "no-such-host.invalid:110", len(login),
                    len(greeting) + len(answer), "Domain%20Not%20Found")

    def test_telnet_host_not_found_then_exit(self):
        prompt = b"Wayfarer (Host Name) >"
        sent = b"no-such-host.invalid\r\n"
        with connect_from("127.0.0.20", self.telnet_port) as c:
            received = read_until(c, prompt)
            c.sendall(sent)
            received += read_until(c, b"No host in that name.\r\n" + prompt)
            c.sendall(b"exit\r\n")
            sent += b"exit\r\n"
            received += read_to_close(c)
        self.expect("127.0.0.20", "Telnet", "no-such-host.invalid:23", len(sent),
                    len(received), "closed")

    def test_socks_5_and_4(self):
        payload = b"through socks\n"
        with connect_from("127.0.0.14", self.socks_port) as c:
            c.sendall(b"\x05\x01\x00")
            self.assertEqual(read_exact(c, 2), b"\x05\x00")
            c.sendall(b"\x05\x01\x00\x01" + socket.inet_aton("127.0.0.1") +
                      struct.pack(">H", self.echo_port))
            self.assertEqual(read_exact(c, 10)[:2], b"\x05\x00")
            c.sendall(payload)
            self.assertEqual(read_exact(c, len(payload)), payload)
        self.expect("127.0.0.14", "Socks", f"127.0.0.1:{self.echo_port}", 3 + 10 + len(payload),
                    2 + 10 + len(payload), "closed")
        # Version 4a names the host; a host that does not resolve gets the failure reply.
        request = b"\x04\x01" + struct.pack(">H", 9) + b"\x00\x00\x00\x01" + b"me\x00"
        request += b"no-such-host.invalid\x00"
        with connect_from("127.0.0.15", self.socks_port) as c:
            c.sendall(request)
            reply = read_to_close(c)
        self.expect("127.0.0.15", "Socks", "no-such-host.invalid:9", len(request), len(reply),
                    "host%20unreachable")

    def test_ftp_control_with_its_data(self):
        python = ftp_server_python()
        if python is None:
            self.skipTest("python3-pyftpdlib is not installed")
        home = tempfile.mkdtemp(prefix="ftp-home-")
        self.addCleanup(shutil.rmtree, home, True)
        data = os.urandom(50000)
        with open(os.path.join(home, "f.bin"), "wb") as f:
            f.write(data)
        server = subprocess.Popen([python, "-c", FTP_SERVER, home], stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(server.wait)
        self.addCleanup(server.kill)
        self.addCleanup(server.stdout.close)
        server_port = int(server.stdout.readline())
        control = SourcedControl("127.0.0.16", self.ftp_port)
        sent = received = 0

        def say(text):
            nonlocal sent, received
            if text:
                control.send(text)
                sent += len(text)
            reply = control.reply()
            received += len(reply)
            return reply

        self.assertTrue(say("").startswith("220"))
        self.assertTrue(say(f"USER alice@127.0.0.2:{server_port}\r\n").startswith("331"))
        self.assertTrue(say("PASS secret\r\n").startswith("230"))
        self.assertTrue(say("TYPE I\r\n").startswith("200"))
        pasv = say("PASV\r\n")
        numbers = pasv[pasv.index("(") + 1:pasv.index(")")].split(",")
        data_address = ".".join(numbers[:4])
        data_port = int(numbers[4]) * 256 + int(numbers[5])
        with connect_from("127.0.0.16", data_port, data_address) as d:
            self.assertTrue(say("RETR f.bin\r\n").startswith("1"))  # 125 or 150
            self.assertEqual(read_to_close(d), data)
        self.assertTrue(say("").startswith("226"))
        self.assertTrue(say("QUIT\r\n").startswith("221"))
        self.assertEqual(read_to_close(control.sock), b"")
        control.close()
        self.expect("127.0.0.16", "FTP", f"127.0.0.2:{server_port}", sent,
                    received + len(data), "closed")

    def test_client_outside_allowed_clients(self):
        with connect_from("127.0.0.200", self.map_port) as c:
            c.sendall(b"hello")
            self.assertEqual(read_to_close(c), b"")
        self.expect("127.0.0.200", "echo", "-", 0, 0, "denied")


class CacheAnswerTest(unittest.TestCase):
    def test_an_answer_from_the_cache_counts_what_the_client_got(self):
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True, timeout=30)
        httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), CountingOrigin)
        threading.Thread(target=httpd.serve_forever, daemon=True).start()
        self.addCleanup(httpd.server_close)
        self.addCleanup(httpd.shutdown)
        gw = GatewayProcess()
        self.addCleanup(gw.close)
        port = free_port()
        configure(gw, active={"WWW": port})
        location = os.path.join(gw.dir, "cache") + "/"
        os.mkdir(location)
        with open(os.path.join(gw.dir, "cache.reg"), "w") as f:
            f.write(cache_text(location))
        gw.reg("import", os.path.join(gw.dir, "cache.reg"))
        gw.start()
        log = os.path.join(gw.dir, "access.log")
        url = f"http://127.0.0.1:{httpd.server_address[1]}/page"
        for source in ("127.0.0.21", "127.0.0.22"):  # the second is answered from the disk
            r = subprocess.run(["curl", "-sS", "-o", "/dev/null", "--interface", source, "-x",
                                f"http://127.0.0.1:{port}", "-w",
                                "%{size_request} %{size_header} %{size_download}", url],
                               capture_output=True, text=True, timeout=60)
            sent, header, body = (int(n) for n in r.stdout.split())
            self.assertEqual(body, len(BODY))
            fields = line_of(log, source)
            self.assertIsNotNone(fields, source)
            self.assertEqual(fields[4:], [f"127.0.0.1:{httpd.server_address[1]}", str(sent),
                                          str(header + body), "closed"])
        self.assertEqual(CountingOrigin.served, 1, "the second answer came from the cache")


class KilledSessionTest(unittest.TestCase):
    def test_shut_down_ends_a_session_as_killed(self):
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True, timeout=30)
        server = TcpServer(echo)
        self.addCleanup(server.close)
        port = free_port()
        gw = GatewayProcess()
        self.addCleanup(gw.close)
        configure(gw, mappings=[dict(name="echo", port=port, host="127.0.0.1",
                                     target_port=server.port)])
        gw.start()
        with connect_from("127.0.0.17", port) as c:
            c.sendall(b"z" * 1234)
            self.assertEqual(len(read_exact(c, 1234)), 1234)
            self.assertEqual(gw.stop()[0], 0)
        fields = line_of(os.path.join(gw.dir, "access.log"), "127.0.0.17", timeout=1)
        self.assertIsNotNone(fields)
        self.assertEqual(fields[3:], ["echo", "echo", "1234", "1234", "killed"])


if __name__ == "__main__":
    unittest.main()
