"""Keep-alive to web clients: one client connection carries one request after another, each
checked against the rules, sent to the host it names (over the same server connection while
that stays open) and answered with framing the client can follow. HTTP/1.0 clients and
"Connection: close" requests keep the one-request behaviour byte for byte."""
import hashlib
import os
import socket
import subprocess
import time
import unittest

from gateway_process import CLIENT_ADDRESS, PRODUCT_KEY, GatewayProcess, configure, free_port
from socket_helpers import TcpServer, echo, read_exact, read_to_close
from test_web_cache import cache_text
from test_web_proxy import ACCESS_DENIED, HOST_BUSY, Origin, pattern

WAIT = 20


class RawOrigin:
    """A loopback HTTP/1.1 server that records every request's bytes and the client port it
    came from. /chunked answers chunked, /close without a length (ends by closing), /bye with
    "Connection: close"; anything else with a Content-Length body "NAME PATH"."""

    def __init__(self, name):
        self.name = name
        self.requests = []  # (client port, request bytes)
        self.connections = 0
        self.server = TcpServer(self.handle, timeout=WAIT)
        self.port = self.server.port
        self.url = f"http://127.0.0.1:{self.port}"

    def handle(self, conn):
        self.connections += 1
        data = b""
        while True:
            while b"\r\n\r\n" not in data:
                part = conn.recv(4096)
                if not part:
                    return
                data += part
            head, data = data.split(b"\r\n\r\n", 1)
            self.requests.append((conn.getpeername()[1], head + b"\r\n\r\n"))
            method, path = head.split(b" ")[:2]
            if not self.answer(conn, method, path) or b"\r\nconnection: close" in head.lower():
                return

    def answer(self, conn, method, path):
        body = self.name + b" " + path
        if path == b"/chunked":
            conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                         b"3;x=y\r\n" + body[:3] + b"\r\n%x\r\n" % (len(body) - 3) + body[3:] +
                         b"\r\n0\r\nX-Trailer: t\r\n\r\n")
            return True
        if path == b"/close":
            conn.sendall(b"HTTP/1.1 200 OK\r\n\r\n" + body)
            return False
        extra = b"Connection: close\r\n" if path == b"/bye" else b""
        conn.sendall(b"HTTP/1.1 200 OK\r\n%sContent-Length: %d\r\n\r\n%s" %
                     (extra, len(body), body if method != b"HEAD" else b""))
        return path != b"/bye"

    def paths(self):
        return [head.split(b" ")[1].decode() for _, head in self.requests]

    def close(self):
        self.server.close()


def read_answer(sock):
    """One Content-Length answer from sock: (head, body)."""
    data = b""
    while b"\r\n\r\n" not in data:
        part = sock.recv(4096)
        if not part:
            raise AssertionError(f"closed after {data!r}")
        data += part
    head, body = data.split(b"\r\n\r\n", 1)
    length = int(head.lower().split(b"content-length:")[1].split(b"\r\n")[0])
    while len(body) < length:
        part = sock.recv(4096)
        if not part:
            raise AssertionError(f"closed after {head + body!r}")
        body += part
    return head, body


class WebKeepAliveTest(unittest.TestCase):
    def start_gateway(self, rules=(), timeout_after=None, cache=False):
        self.gw = GatewayProcess()
        self.addCleanup(self.gw.close)
        self.port = free_port()
        configure(self.gw, active={"WWW": self.port})
        if cache:
            location = os.path.join(self.gw.dir, "cache") + "/"
            os.mkdir(location)
            with open(os.path.join(self.gw.dir, "cache.reg"), "w") as f:
                f.write(cache_text(location))
            self.gw.reg("import", os.path.join(self.gw.dir, "cache.reg"))
        www = f"{PRODUCT_KEY}\\Service\\0"
        if timeout_after:  # with TimeOut off
            self.gw.reg("set", www, "TimeoutAfter", "REG_DWORD", str(timeout_after))
        for n, (client, host, data) in enumerate(rules):
            key = f"{PRODUCT_KEY}\\Security\\{n}"
            self.gw.reg("set", key, "ServiceNum", "REG_DWORD", "1")
            for name, value in (("ClientIP", client), ("HostIP", host), ("Data", data)):
                self.gw.reg("set", key, name, "REG_SZ", value)
        if rules:
            self.gw.reg("set", f"{PRODUCT_KEY}\\Configuration", "TotalSecurity", "REG_DWORD",
                        str(len(rules)))
        self.gw.start()
        self.a, self.b = RawOrigin(b"A"), RawOrigin(b"B")
        self.addCleanup(self.a.close)
        self.addCleanup(self.b.close)

    def curl(self, *urls):
        """curl fetching urls on one proxy connection: (the body of each answer, the number of
        new connections curl made for each)."""
        args = []
        for url in urls:
            args += [url, "--write-out", "|%{num_connects}\n"]
        r = subprocess.run(["curl", "-sS", "--interface", CLIENT_ADDRESS,
                            "-x", f"http://127.0.0.1:{self.port}", *args],
                           capture_output=True, timeout=60)
        lines = r.stdout.split(b"\n")[:-1]
        return [line.rsplit(b"|", 1)[0] for line in lines], \
            [int(line.rsplit(b"|", 1)[1]) for line in lines]

    def client(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=WAIT)
        self.addCleanup(s.close)
        return s

    def log_lines(self, count):
        path = os.path.join(self.gw.dir, "access.log")
        deadline = time.monotonic() + 10
        lines = []
        while time.monotonic() < deadline:
            if os.path.exists(path):
                with open(path) as f:
                    lines = f.read().splitlines()
                if len(lines) >= count:
                    break
            time.sleep(0.1)
        return lines

    def test_requests_to_two_hosts_share_one_client_connection(self):
        self.start_gateway()
        bodies, connects = self.curl(f"{self.a.url}/one", f"{self.b.url}/two",
                                     f"{self.b.url}/three", f"{self.a.url}/four")
        self.assertEqual(bodies, [b"A /one", b"B /two", b"B /three", b"A /four"])
        self.assertEqual(connects, [1, 0, 0, 0])
        self.assertEqual((self.a.paths(), self.b.paths()), (["/one", "/four"], ["/two", "/three"]))
        # B's two requests in a row went over one server connection; A was connected anew.
        self.assertEqual(self.b.connections, 1)
        self.assertEqual(len({port for port, _ in self.b.requests}), 1)
        self.assertEqual(self.a.connections, 2)
        # Each request is a line of its own in the access log, with its own destination.
        lines = self.log_lines(4)
        self.assertEqual([line.split(" ")[4] for line in lines],
                         [f"127.0.0.1:{p}" for p in (self.a.port, self.b.port, self.b.port,
                                                     self.a.port)], lines)

    def test_upload_with_an_interim_answer_keeps_the_connection(self):
        self.start_gateway()
        o = Origin()
        self.addCleanup(o.close)
        body = pattern(3 << 20)  # large enough for curl to wait for "100 Continue"
        r = subprocess.run(["curl", "-sS", "--interface", CLIENT_ADDRESS,
                            "-x", f"http://127.0.0.1:{self.port}", "--data-binary", "@-",
                            f"http://127.0.0.1:{o.port}/up", "--write-out", "|%{num_connects}\n",
                            "--next", "-x", f"http://127.0.0.1:{self.port}",
                            f"http://127.0.0.1:{o.port}/size/10",
                            "--write-out", "|%{num_connects}\n"],
                           input=body, capture_output=True, timeout=60)
        self.assertEqual(r.stdout, hashlib.sha256(body).hexdigest().encode() + b"|1\n" +
                         pattern(10) + b"|0\n", r.stderr)
        self.assertEqual([h.get("Expect") for _, h in o.requests], ["100-continue", None])

    def test_hop_by_hop_fields_stay_with_the_gateway(self):
        self.start_gateway()
        s = self.client()
        s.sendall(f"GET {self.a.url}/x HTTP/1.1\r\nHost: h\r\nConnection: keep-alive, X-Hop\r\n"
                  "X-Hop: 1\r\nKeep-Alive: 30\r\nProxy-Connection: keep-alive\r\n"
                  "X-End: 2\r\n\r\n".encode())
        self.assertEqual(read_answer(s)[1], b"A /x")
        self.assertEqual(self.a.requests[0][1], b"GET /x HTTP/1.1\r\nHost: h\r\nX-End: 2\r\n\r\n")

    def test_keyword_rule_checks_the_second_request(self):
        self.start_gateway(rules=[("All", "All", "forbidden")])
        s = self.client()
        s.sendall(f"GET {self.a.url}/ok HTTP/1.1\r\nHost: a\r\n\r\n".encode())
        self.assertEqual(read_answer(s)[1], b"A /ok")
        s.sendall(f"GET {self.b.url}/forbidden HTTP/1.1\r\nHost: b\r\n\r\n".encode())
        # The error page is the one-request answer of old, and it ends the connection.
        self.assertEqual(read_to_close(s), ACCESS_DENIED)
        self.assertEqual((self.a.paths(), self.b.paths()), (["/ok"], []))

    def test_pipelined_requests_are_answered_in_order(self):
        self.start_gateway()
        s = self.client()
        s.sendall(f"GET {self.b.url}/first HTTP/1.1\r\nHost: b\r\n\r\n"
                  f"POST {self.a.url}/second HTTP/1.1\r\nHost: a\r\nContent-Length: 4\r\n\r\n"
                  f"bodyGET {self.b.url}/third HTTP/1.1\r\nHost: b\r\n\r\n".encode())
        answers = [read_answer(s)[1] for _ in range(3)]
        self.assertEqual(answers, [b"B /first", b"A /second", b"B /third"])
        self.assertEqual(self.a.requests[0][1].split(b"\r\n")[-3], b"Content-Length: 4")
        s.sendall(f"GET {self.a.url}/last HTTP/1.1\r\nConnection: close\r\n\r\n".encode())
        self.assertTrue(read_to_close(s).endswith(b"A /last"))

    def test_client_that_closes_its_side_gets_every_answer_then_the_close(self):
        self.start_gateway()
        for count in (1, 2):
            s = self.client()
            s.sendall(f"GET {self.a.url}/p HTTP/1.1\r\nHost: a\r\n\r\n".encode() * count)
            s.shutdown(socket.SHUT_WR)
            started = time.monotonic()
            self.assertEqual(read_to_close(s).count(b"A /p"), count)
            self.assertLess(time.monotonic() - started, 10)

    def test_chunked_and_close_delimited_answers(self):
        self.start_gateway()
        bodies, connects = self.curl(f"{self.a.url}/chunked", f"{self.a.url}/after",
                                     f"{self.b.url}/close", f"{self.b.url}/again",
                                     f"{self.a.url}/bye", f"{self.a.url}/end")
        self.assertEqual(bodies, [b"A /chunked", b"A /after", b"B /close", b"B /again",
                                  b"A /bye", b"A /end"])
        # The close-delimited answer and the one marked "Connection: close" end the client's
        # connection; the chunked one does not.
        self.assertEqual(connects, [1, 0, 0, 1, 0, 1])
        # The server connection outlived the chunked answer.
        self.assertEqual(self.a.requests[0][0], self.a.requests[1][0])

    def test_connect_on_a_kept_connection_becomes_a_tunnel(self):
        self.start_gateway()
        tls_port = TcpServer(echo, port=443)
        self.addCleanup(tls_port.close)
        s = self.client()
        s.sendall(f"GET {self.a.url}/first HTTP/1.1\r\nHost: a\r\n\r\n".encode())
        self.assertEqual(read_answer(s)[1], b"A /first")
        s.sendall(b"CONNECT 127.0.0.1:443 HTTP/1.1\r\nHost: x\r\n\r\nhello")
        established = b"HTTP/1.0 200 Connection established\r\nProxy-Agent: Wayfarer/1.1\r\n\n"
        self.assertEqual(read_exact(s, len(established) + 5), established + b"hello")
        inside = b"GET http://no.where/ HTTP/1.1\r\n\r\n"  # tunnel bytes, not a request
        s.sendall(inside)
        self.assertEqual(read_exact(s, len(inside)), inside)

    def test_answer_without_body_and_error_page_end(self):
        self.start_gateway()
        s = self.client()
        s.sendall(f"HEAD {self.a.url}/head HTTP/1.1\r\nHost: a\r\n\r\n".encode())
        head = b""
        while not head.endswith(b"\r\n\r\n"):
            head += s.recv(1)
        self.assertIn(b"Content-Length: 7", head)  # announced, yet no body follows
        closed_port = free_port()
        s.sendall(f"GET http://127.0.0.1:{closed_port}/ HTTP/1.1\r\nHost: x\r\n\r\n".encode())
        self.assertEqual(read_to_close(s), HOST_BUSY)

    def test_cache_takes_each_request_on_its_own(self):
        self.start_gateway(cache=True)
        s = self.client()
        request = f"GET {self.a.url}/chunked HTTP/1.1\r\nHost: a\r\n\r\n".encode()
        s.sendall(request)
        first = b""
        while not first.endswith(b"0\r\nX-Trailer: t\r\n\r\n"):
            part = s.recv(4096)
            self.assertTrue(part, first)
            first += part
        # Kept once its framing ended, though its server connection stays open; served from
        # the cache with the same framing, the answer leaves the connection open.
        s.sendall(request)
        again = b""
        while len(again) < len(first):
            part = s.recv(4096)
            self.assertTrue(part, again)
            again += part
        self.assertEqual(again, first)
        s.sendall(f"GET {self.a.url}/next HTTP/1.1\r\nHost: a\r\n\r\n".encode())
        self.assertEqual(read_answer(s)[1], b"A /next")
        self.assertEqual(self.a.paths(), ["/chunked", "/next"])

    def test_idle_connection_is_closed_after_the_timeout(self):
        self.start_gateway(timeout_after=2)
        s = self.client()
        s.sendall(f"GET {self.a.url}/one HTTP/1.1\r\nHost: a\r\n\r\n".encode())
        self.assertEqual(read_answer(s)[1], b"A /one")
        time.sleep(0.5)
        s.sendall(f"GET {self.a.url}/two HTTP/1.1\r\nHost: a\r\n\r\n".encode())
        self.assertEqual(read_answer(s)[1], b"A /two")
        started = time.monotonic()
        self.assertEqual(read_to_close(s), b"")
        self.assertLess(time.monotonic() - started, 15)

    def test_one_request_clients_are_served_as_before(self):
        self.start_gateway()
        for request, forwarded in (
                (f"GET {self.a.url}/old HTTP/1.0\r\nHost: a\r\nProxy-Connection: keep-alive\r\n"
                 "\r\n", b"GET /old HTTP/1.0\r\nHost: a\r\nConnection: close\r\n\r\n"),
                (f"GET {self.a.url}/new HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n",
                 b"GET /new HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n")):
            s = self.client()
            s.sendall(request.encode() + f"GET {self.b.url}/never HTTP/1.1\r\n\r\n".encode())
            answer = read_to_close(s)
            self.assertTrue(answer.startswith(b"HTTP/1.1 200 OK\r\n"), answer)
            self.assertEqual(self.a.requests[-1][1], forwarded)
        self.assertEqual(self.b.requests, [])


if __name__ == "__main__":
    unittest.main()
