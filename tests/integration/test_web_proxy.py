"""The web proxy end to end: real curl and raw sockets through the real gateway to loopback
origin servers, including a TLS tunnel to port 443 inside a private network namespace."""
import hashlib
import http.server
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from gateway_process import (CLIENT_ADDRESS, GATEWAY_ADDRESS, PRODUCT_KEY, GatewayProcess,
                             configure, free_port)
from socket_helpers import read_to_close

PAGE_HEAD = (b"HTTP/1.0 500 Internal Server Error\r\n\r\n<HTML><HEAD><TITLE>Wayfarer v2.0Error "
             b"Notification </TITLE></HEAD><BODY>\n<H1>Wayfarer v2.0 ")
ACCESS_DENIED = PAGE_HEAD + (b"Access Denied</H1><P> The Rule Set Does Not Permit This Action"
                             b"<P><P>Contact Your Administrator<P></BODY></HTML>")
HOST_NOT_FOUND = PAGE_HEAD + b"Host Not Found </H1><P> Host Name Look Up Failure In DNS <P></BODY></HTML>"
HOST_BUSY = PAGE_HEAD + b"Host May Be Busy</H1><P> Connection Timed Out Try Again <P></BODY></HTML>"


def pattern(n):
    seed = hashlib.sha256(b"wayfarer").digest() * 2048
    return (seed * (n // len(seed) + 1))[:n]


class Origin:
    """A loopback HTTP/1.1 server that records each request line and its headers; GET /size/N
    answers N pattern bytes, POST answers the body's SHA-256, anything else echoes the request."""

    def __init__(self, address="127.0.0.1", port=0, tls_context=None):
        origin = self
        self.requests = []
        self.peers = []  # the address each request came from

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def answer(self, body):
                origin.requests.append((self.requestline, dict(self.headers.items())))
                origin.peers.append(self.client_address[0])
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                if self.headers.get("Connection", "").lower() == "close":
                    self.send_header("Connection", "close")
                self.end_headers()
                self.wfile.write(body)

            def do_GET(self):
                if self.path.startswith("/size/"):
                    self.answer(pattern(int(self.path[6:])))
                else:
                    self.answer((self.requestline + "\n" + str(self.headers)).encode())

            def do_POST(self):
                digest = hashlib.sha256()
                left = int(self.headers["Content-Length"])
                while left > 0:
                    chunk = self.rfile.read(min(left, 1 << 16))
                    if not chunk:
                        break
                    digest.update(chunk)
                    left -= len(chunk)
                self.answer(digest.hexdigest().encode())

        self.server = http.server.ThreadingHTTPServer((address, port), Handler)
        if tls_context:
            self.server.socket = tls_context.wrap_socket(self.server.socket, server_side=True)
        self.port = self.server.server_port
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class WebProxyTest(unittest.TestCase):
    def start_gateway(self, rules=()):
        self.gw = GatewayProcess()
        self.addCleanup(self.gw.close)
        self.port = free_port()
        configure(self.gw, active={"WWW": self.port})
        for n, (service, client, host, data) in enumerate(rules):
            key = f"{PRODUCT_KEY}\\Security\\{n}"
            self.gw.reg("set", key, "ServiceNum", "REG_DWORD", str(service))
            for name, value in (("ClientIP", client), ("HostIP", host), ("Data", data)):
                self.gw.reg("set", key, name, "REG_SZ", value)
        if rules:
            self.gw.reg("set", f"{PRODUCT_KEY}\\Configuration", "TotalSecurity", "REG_DWORD",
                        str(len(rules)))
        self.gw.start()

    def origin(self, **kwargs):
        o = Origin(**kwargs)
        self.addCleanup(o.close)
        return o

    def curl(self, *args, data=None):
        result = subprocess.run(["curl", "-sS", "--interface", CLIENT_ADDRESS,
                                 "-x", f"http://127.0.0.1:{self.port}", *args],
                                input=data, capture_output=True, timeout=120)
        return result

    def assertThroughGateway(self, origin):
        """Every request the origin got came from the gateway, none straight from curl."""
        self.assertTrue(origin.peers, "the origin got no request")
        self.assertEqual(set(origin.peers), {GATEWAY_ADDRESS})

    def raw(self, *pieces, pause=0.0):
        with socket.create_connection(("127.0.0.1", self.port), timeout=20) as s:
            for i, piece in enumerate(pieces):
                if i:
                    time.sleep(pause)
                s.sendall(piece)
            return read_to_close(s, limit=1 << 20)

    def test_request_reaches_origin_in_origin_form_with_connection_close(self):
        self.start_gateway()
        o = self.origin()
        for path in ("/a/b", "/HTTPdocs/x", "/"):
            r = self.curl("-0", f"http://127.0.0.1:{o.port}{path}")
            self.assertEqual(r.returncode, 0, r.stderr)
            line, headers = o.requests[-1]
            self.assertEqual(line, f"GET {path} HTTP/1.0")
            self.assertEqual(headers.get("Connection"), "close")
            self.assertNotIn("Proxy-Connection", headers)
        r = self.curl(f"http://127.0.0.1:{o.port}")  # no path at all
        self.assertEqual(o.requests[-1][0], "GET / HTTP/1.1")
        self.assertThroughGateway(o)

    def test_failures_get_their_exact_answers(self):
        self.start_gateway()
        o = self.origin()
        closed_port = free_port()
        cases = [
            (b"GET http://127.0.0.1:%d/\r\n\r\n" % o.port, b"PROTOCOL Violation"),
            (b"GET http://no-such-host.invalid/ HTTP/1.0\r\n\r\n", HOST_NOT_FOUND),
            (b"GET http://127.0.0.1:%d/ HTTP/1.0\r\n\r\n" % closed_port, HOST_BUSY),
            (b"GET http://%s/ HTTP/1.0\r\n\r\n" % (b"h" * 100), b"PROTOCOL Violation"),
            (b"GET http://127.0.0.1:1234567/ HTTP/1.0\r\n\r\n", b"PROTOCOL Violation"),
            (b"GET http://127.0.0.1/ HTTP/1.0\r\nX: " + b"a" * 17000 + b"\r\n\r\n",
             b"PROTOCOL Violation"),
        ]
        for request, answer in cases:
            self.assertEqual(self.raw(request), answer, request[:60])
        self.assertEqual(o.requests, [])
        r = self.curl("http://no-such-host.invalid/")
        self.assertIn(b"Host Not Found", r.stdout)

    def test_header_in_two_pieces_is_forwarded_whole(self):
        self.start_gateway()
        o = self.origin()
        answer = self.raw(b"GET http://127.0.0.1:%d/two HTTP/1.0\r\nX-Fir" % o.port,
                          b"st: one\r\nX-Second: two\r\n\r\n", pause=0.3)
        self.assertTrue(answer.startswith(b"HTTP/1.1 200"), answer[:80])
        line, headers = o.requests[-1]
        self.assertEqual(line, "GET /two HTTP/1.0")
        self.assertEqual((headers["X-First"], headers["X-Second"]), ("one", "two"))

    def test_second_request_on_a_connection_never_reaches_the_first_server(self):
        self.start_gateway()
        first, second = self.origin(), self.origin()
        r = self.curl("-v", f"http://127.0.0.1:{first.port}/one",
                      f"http://127.0.0.1:{second.port}/two")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual([line for line, _ in first.requests], ["GET /one HTTP/1.1"])
        self.assertEqual([line for line, _ in second.requests], ["GET /two HTTP/1.1"])
        self.assertIn(b"GET /two", r.stdout)
        self.assertThroughGateway(first)
        self.assertThroughGateway(second)

    def test_denying_rules_answer_access_denied_before_any_lookup(self):
        # Rule number 1 (WWW): every client to every host when the request names "forbidden".
        self.start_gateway(rules=[(1, "All", "All", "forbidden")])
        o = self.origin()
        self.assertEqual(self.raw(b"GET http://no-such-host.invalid/forbidden HTTP/1.0\r\n\r\n"),
                         ACCESS_DENIED)
        self.assertEqual(self.raw(b"GET http://127.0.0.1:%d/Forbidden HTTP/1.0\r\n\r\n" % o.port),
                         ACCESS_DENIED)
        self.assertEqual(o.requests, [])
        r = self.curl(f"http://127.0.0.1:{o.port}/allowed")
        self.assertEqual(o.requests[-1][0], "GET /allowed HTTP/1.1")
        self.assertThroughGateway(o)

    def test_connect_to_another_port_is_refused_without_connecting(self):
        self.start_gateway()
        target = socket.socket()
        self.addCleanup(target.close)
        target.bind(("127.0.0.1", 0))
        target.listen(4)
        target.setblocking(False)
        request = b"CONNECT 127.0.0.1:%d HTTP/1.1\r\nHost: x\r\n\r\n" % target.getsockname()[1]
        self.assertEqual(self.raw(request), ACCESS_DENIED)
        with self.assertRaises(BlockingIOError):
            target.accept()

    def test_large_download_and_upload_keep_every_byte(self):
        self.start_gateway()
        o = self.origin()
        size = 64 << 20
        r = self.curl(f"http://127.0.0.1:{o.port}/size/{size}")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(hashlib.sha256(r.stdout).hexdigest(),
                         hashlib.sha256(pattern(size)).hexdigest())
        body = pattern(24 << 20)[::-1]
        r = self.curl("-H", "Expect:", "--data-binary", "@-", f"http://127.0.0.1:{o.port}/up",
                      data=body)
        self.assertEqual(r.stdout.decode(), hashlib.sha256(body).hexdigest())
        self.assertThroughGateway(o)

    @unittest.skipUnless(shutil.which("openssl"), "needs openssl")
    def test_connect_to_443_tunnels_tls(self):
        """Port 443 is ours: the test runs in its own network namespace."""
        import ssl
        tmp = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, tmp, True)
        cert, key = os.path.join(tmp, "cert.pem"), os.path.join(tmp, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                       check=True, capture_output=True, timeout=60)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        o = self.origin(port=443, tls_context=context)
        self.start_gateway()
        r = self.curl("-k", "-p", "https://127.0.0.1/size/100000")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, pattern(100000))
        self.assertThroughGateway(o)
        with socket.create_connection(("127.0.0.1", self.port), timeout=20) as s:
            s.sendall(b"CONNECT 127.0.0.1:443 HTTP/1.0\r\n\r\n")
            reply = s.recv(200)
        self.assertEqual(reply, b"HTTP/1.0 200 Connection established\r\nProxy-Agent: Wayfarer/1.1\r\n\n")


if __name__ == "__main__":
    unittest.main()
