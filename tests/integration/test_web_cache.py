"""The web cache through the real proxy: curl and raw HTTP/1.0 clients, a local origin that
counts its requests, and the cache directory on disk."""
import http.server
import os
import socket
import struct
import subprocess
import threading
import time
import unittest

from gateway_process import (CLIENT_ADDRESS, GATEWAY_ADDRESS, PRODUCT_KEY, GatewayProcess,
                             configure, free_port)

LAST_MODIFIED = "Thu, 01 Dec 1994 16:00:00 GMT"


class Origin(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    requests = []  # (method, path, headers) of every request, in order
    direct = []  # paths asked for by anyone but the gateway: a client that went past it
    lock = threading.Lock()

    def log_message(self, *args):
        pass

    def record(self):
        with Origin.lock:
            Origin.requests.append((self.command, self.path, dict(self.headers)))
            if self.client_address[0] != GATEWAY_ADDRESS:
                Origin.direct.append(self.path)

    def reply(self, status, body, headers=(), length=True):
        self.send_response(status)
        self.send_header("Last-Modified", LAST_MODIFIED)
        for name, value in headers:
            self.send_header(name, value)
        if length:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        self.record()
        self.reply(200, b"posted")

    def do_GET(self):
        self.record()
        path = self.path.split("?")[0]
        body = (path.encode() + b" ") * 200
        if path.startswith("/revalidate/"):
            if self.headers.get("If-Modified-Since") == LAST_MODIFIED:
                self.send_response(304)
                self.end_headers()
                return
            self.reply(200, body)
        elif path == "/cookie":
            self.reply(200, body, [("Set-Cookie", "a=b")])
        elif path == "/vary":
            self.reply(200, body, [("Vary", "Accept")])
        elif path == "/redirect":
            self.reply(302, body, [("Location", "/obj/a")])
        elif path == "/expired":
            self.reply(200, body, [("Expires", "Sun, 06 Nov 1994 08:49:37 GMT")])
        elif path == "/nolength":
            self.reply(200, body, length=False)
        elif path == "/short":
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b"x" * 500)
        elif path == "/slow":
            self.send_response(200)
            self.send_header("Content-Length", str(4 << 20))
            self.end_headers()
            try:  # keeps sending after the client has gone
                for _ in range(64):
                    self.wfile.write(b"s" * 65536)
                    time.sleep(0.05)
            except OSError:
                pass
        elif path.startswith("/big/"):
            self.reply(200, b"b" * (100 * 1024 - 200))
        else:
            self.reply(200, body)


def origin_count(path):
    with Origin.lock:
        return sum(1 for r in Origin.requests if r[1] == path)


def last_request(path):
    with Origin.lock:
        return [r for r in Origin.requests if r[1] == path][-1]


def cache_text(location, max_size=64 << 20, exceptions=()):
    lines = ["REGEDIT4", "", f"[{PRODUCT_KEY}\\Cache]", '"EnableCache"=dword:00000001',
             '"EnableLookups"=dword:00000001', f'"MaxCacheSize"=dword:{max_size:08x}',
             '"TTLUnit"=dword:00000001', '"TTL"=dword:00000002', f'"CacheLocation"="{location}"', ""]
    for host, count in exceptions:
        lines += [f"[{PRODUCT_KEY}\\Cache\\{host}]", '"TTLUnit"=dword:00000001',
                  f'"TTL"=dword:{count + 1:08x}', ""]
    return "\n".join(lines)


class WebCacheTest(unittest.TestCase):
    max_size = 64 << 20

    @classmethod
    def setUpClass(cls):
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Origin)
        cls.server.daemon_threads = True
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.origin = f"127.0.0.1:{cls.server.server_address[1]}"
        cls.gw = GatewayProcess()
        cls.port = free_port()
        configure(cls.gw, active={"WWW": cls.port})
        cls.location = os.path.join(cls.gw.dir, "cache") + "/"
        os.mkdir(cls.location)
        path = os.path.join(cls.gw.dir, "cache.reg")
        with open(path, "w") as f:
            f.write(cache_text(cls.location, cls.max_size, cls.exceptions()))
        cls.gw.reg("import", path)
        cls.gw.start()

    @classmethod
    def exceptions(cls):
        return ()

    @classmethod
    def tearDownClass(cls):
        cls.gw.close()
        cls.server.shutdown()
        cls.server.server_close()

    def raw_get(self, path, headers="", method="GET", body=""):
        """One HTTP/1.0 request through the proxy; the whole answer as bytes."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(f"{method} http://{self.origin}{path} HTTP/1.0\r\n{headers}\r\n{body}"
                      .encode())
            data = b""
            while chunk := s.recv(65536):
                data += chunk
        return data

    def curl(self, path, *args):
        result = subprocess.run(["curl", "-s", "-i", "--max-time", "10",
                                 "--interface", CLIENT_ADDRESS, "-x",
                                 f"http://127.0.0.1:{self.port}", *args,
                                 f"http://{self.origin}{path}"], capture_output=True, timeout=20)
        return result.stdout

    def tearDown(self):
        with Origin.lock:
            self.assertEqual(Origin.direct, [], "requests that did not go through the gateway")

    def host_dir(self):
        return self.location + self.origin.replace(":", "~")

    def cache_file(self, path):
        escaped = path.replace("%", "%25").replace("~", "%7E").replace(":", "%3A")
        return os.path.join(self.host_dir(), escaped.replace("\\", "%5C").replace("/", "~"))

    def wait_until(self, check, seconds=10):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if check():
                return True
            time.sleep(0.1)
        return check()

    def record_of(self, path):
        with open(self.cache_file(path), "rb") as f:
            return struct.unpack("<4I", f.read(16))


class CacheStoreAndServe(WebCacheTest):
    def test_second_fetch_is_served_from_disk_byte_for_byte(self):
        first = self.raw_get("/obj/a.html")
        self.assertTrue(first.startswith(b"HTTP/1.0 200"))
        self.assertTrue(self.wait_until(lambda: os.path.exists(self.cache_file("/obj/a.html"))))
        second = self.raw_get("/obj/a.html")
        third = self.curl("/obj/a.html")
        self.assertEqual(origin_count("/obj/a.html"), 1)
        self.assertEqual(second, first)
        self.assertEqual(third, first)
        hits, expires, modified, access = self.record_of("/obj/a.html")
        self.assertEqual(hits, 2)
        self.assertEqual(modified, 786297600)  # the Last-Modified date, read as GMT
        self.assertAlmostEqual(expires - access, 2 * 3600, delta=5)
        with open(self.cache_file("/obj/a.html"), "rb") as f:
            self.assertEqual(f.read()[16:], first)

    def test_uncacheable_requests_and_responses_always_reach_the_origin(self):
        cases = [("/cookie", "", "GET"), ("/vary", "", "GET"), ("/redirect", "", "GET"),
                 ("/obj/auth", "Authorization: Basic eDp5\r\n", "GET"),
                 ("/obj/posted", "Content-Length: 0\r\n", "POST"),
                 ("/obj/query?x=1", "", "GET"), ("/cgi-bin/run", "", "GET")]
        for path, headers, method in cases:
            with self.subTest(path=path):
                self.raw_get(path, headers, method)
                self.raw_get(path, headers, method)
                self.assertEqual(origin_count(path), 2)
                self.assertFalse(os.path.exists(self.cache_file(path)))

    def test_expired_object_is_fetched_again(self):
        self.raw_get("/expired")
        self.raw_get("/expired")
        self.assertEqual(origin_count("/expired"), 2)

    def test_response_without_length_is_kept_after_an_orderly_close(self):
        first = self.raw_get("/nolength")
        self.assertTrue(self.wait_until(lambda: os.path.exists(self.cache_file("/nolength"))))
        self.assertEqual(self.raw_get("/nolength"), first)
        self.assertEqual(origin_count("/nolength"), 1)

    def test_response_cut_short_of_its_length_is_not_kept(self):
        self.raw_get("/short")
        time.sleep(0.5)
        self.assertFalse(os.path.exists(self.cache_file("/short")))
        self.raw_get("/short")
        self.assertEqual(origin_count("/short"), 2)

    def test_hostile_paths_stay_inside_the_cache(self):
        # The backslash is the cache's directory separator: escaped in the name, it never lets
        # ".." stand alone, so the copy lies in the host's own directory and nowhere else.
        path = "/..\\..\\escape"
        first = self.raw_get(path)
        self.assertTrue(first.startswith(b"HTTP/1.0 200"), first[:60])
        self.assertTrue(self.wait_until(lambda: os.path.exists(self.cache_file(path))))
        self.assertEqual(self.raw_get(path), first)
        self.assertEqual(origin_count(path), 1)
        parent = os.path.dirname(self.location.rstrip("/"))
        self.assertFalse(any("escape" in name for name in os.listdir(parent)))
        for folder, _, names in os.walk(self.location):
            for name in names:
                if "escape" in name:
                    self.assertEqual(os.path.join(folder, name), self.cache_file(path))
            self.assertFalse([n for n in names if "\\" in n], folder)

    def test_client_leaving_mid_response_leaves_no_file(self):
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(f"GET http://{self.origin}/slow HTTP/1.0\r\n\r\n".encode())
            self.assertTrue(s.recv(65536))
        # The session watches the still-sending server, then drops the partial file.
        self.assertTrue(self.wait_until(lambda: not os.listdir(self.host_dir()) or all(
            not n.startswith(".partial") and n != "~slow" for n in os.listdir(self.host_dir())),
            seconds=20))
        self.assertFalse(os.path.exists(self.cache_file("/slow")))


class CacheRevalidation(WebCacheTest):
    def test_reload_sends_the_proxys_conditional_get_and_serves_the_304_from_disk(self):
        path = "/revalidate/Mixed.HTML"
        first = self.raw_get(path)
        self.assertTrue(self.wait_until(lambda: os.path.exists(self.cache_file(path))))
        reloaded = self.curl(path, "-H", "Pragma: no-cache")
        self.assertEqual(origin_count(path), 2)
        method, _, headers = last_request(path)
        self.assertEqual(headers.get("If-Modified-Since"), LAST_MODIFIED)
        self.assertEqual(headers.get("Host"), self.origin)
        self.assertEqual(reloaded, first)

    def test_msie_conditional_request_goes_to_the_origin_unchanged(self):
        path = "/revalidate/ie"
        self.raw_get(path)
        self.assertTrue(self.wait_until(lambda: os.path.exists(self.cache_file(path))))
        answer = self.raw_get(path, "User-Agent: Mozilla/4.0 (compatible; MSIE 5.0)\r\n"
                                    f"If-Modified-Since: {LAST_MODIFIED}\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.0 304"))
        self.assertEqual(origin_count(path), 2)
        self.assertIn("MSIE", last_request(path)[2].get("User-Agent"))
        # Another browser's conditional request of the fresh object is answered from disk.
        other = self.raw_get(path, f"If-Modified-Since: {LAST_MODIFIED}\r\n")
        self.assertTrue(other.startswith(b"HTTP/1.0 200"))
        self.assertEqual(origin_count(path), 2)


class CacheException(WebCacheTest):
    @classmethod
    def exceptions(cls):
        return [(cls.origin, 0)]

    def test_host_with_count_zero_is_never_cached(self):
        self.raw_get("/obj/e")
        self.raw_get("/obj/e")
        self.assertEqual(origin_count("/obj/e"), 2)
        self.assertFalse(os.path.exists(self.host_dir()))


class CacheOff(unittest.TestCase):
    def test_without_cache_values_nothing_is_stored(self):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Origin)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        gw = GatewayProcess()
        try:
            port = free_port()
            configure(gw, active={"WWW": port})
            gw.start()
            url = f"http://127.0.0.1:{server.server_address[1]}/obj/off"
            for _ in range(2):
                subprocess.run(["curl", "-s", "--max-time", "10", "--interface", CLIENT_ADDRESS,
                                "-x", f"http://127.0.0.1:{port}", url],
                               capture_output=True, timeout=20)
            self.assertEqual(origin_count("/obj/off"), 2)
            with Origin.lock:
                self.assertNotIn("/obj/off", Origin.direct)
        finally:
            gw.close()
            server.shutdown()
            server.server_close()


class CachePurge(WebCacheTest):
    max_size = 1 << 20

    def test_first_pass_brings_the_cache_under_ninety_percent_in_score_order(self):
        paths = [f"/big/{i:02d}" for i in range(14)]
        for i, path in enumerate(paths):
            self.raw_get(path)
            if i % 4 == 0:
                time.sleep(1)  # spread the last-access times
        favourites = paths[:3]
        for path in favourites:  # hits outweigh age
            self.raw_get(path)
        self.assertTrue(self.wait_until(
            lambda: all(os.path.exists(self.cache_file(p)) for p in paths)))
        scores = {}
        for path in paths:
            hits, _, _, access = self.record_of(path)
            scores[path] = hits * 3600 + os.path.getsize(self.cache_file(path)) + access
        total = sum(os.path.getsize(self.cache_file(p)) for p in paths)
        self.assertGreaterEqual(total, self.max_size)
        # The first pass runs one minute after the start.
        self.assertTrue(self.wait_until(lambda: not os.path.exists(self.cache_file(paths[3])),
                                        seconds=120))
        time.sleep(1)
        kept = [p for p in paths if os.path.exists(self.cache_file(p))]
        gone = [p for p in paths if p not in kept]
        self.assertLessEqual(sum(os.path.getsize(self.cache_file(p)) for p in kept),
                             0.9 * self.max_size)
        self.assertLessEqual(max(scores[p] for p in gone), min(scores[p] for p in kept))
        for path in favourites:
            self.assertIn(path, kept)


if __name__ == "__main__":
    unittest.main()
