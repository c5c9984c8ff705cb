"""TCP mappings end to end: real clients and servers on loopback through the real gateway."""
import hashlib
import os
import socket
import time
import unittest

from gateway_process import GatewayProcess, configure, free_port
from socket_helpers import TcpServer as Server, read_to_close

CHUNK = 1 << 16


def pattern(n, seed=7):
    """n bytes that differ along the stream, so a lost or repeated block shows in the hash."""
    block = hashlib.sha256(str(seed).encode()).digest() * (CHUNK // 32)
    out = bytearray()
    i = 0
    while len(out) < n:
        out += hashlib.sha256(block[:64] + i.to_bytes(8, "big")).digest() + block[32:CHUNK]
        i += 1
    return bytes(out[:n])


class MappingTest(unittest.TestCase):
    def start_gateway(self, server_port, **mapping):
        self.gw = GatewayProcess()
        self.addCleanup(self.gw.close)
        self.port = free_port()
        m = dict(name="Test Link", port=self.port, host="127.0.0.1", target_port=server_port)
        m.update(mapping)
        configure(self.gw, mappings=[m])
        self.gw.start()

    def connect(self):
        c = socket.create_connection(("127.0.0.1", self.port), timeout=30)
        return c

    def test_bytes_go_both_ways_unchanged(self):
        def echo(conn):
            while data := conn.recv(CHUNK):
                conn.sendall(data)
        server = Server(echo)
        self.addCleanup(server.close)
        self.start_gateway(server.port)
        with self.connect() as c:
            message = bytes(range(256)) * 100
            c.sendall(message)
            got = b""
            while len(got) < len(message):
                got += c.recv(CHUNK)
            self.assertEqual(got, message)

    def test_hundred_mebibytes_arrive_whole(self):
        size = 100 * 1024 * 1024
        data = pattern(size)
        want = hashlib.sha256(data).hexdigest()

        def send_big(conn):
            conn.sendall(data)
        server = Server(send_big)
        self.addCleanup(server.close)
        self.start_gateway(server.port)
        with self.connect() as c:
            h = hashlib.sha256()
            total = 0
            while chunk := c.recv(1 << 20):
                h.update(chunk)
                total += len(chunk)
        self.assertEqual(total, size)
        self.assertEqual(h.hexdigest(), want)

    def test_upload_arrives_whole(self):
        size = 20 * 1024 * 1024
        data = pattern(size, seed=3)
        result = {}

        def sink(conn):
            result["hash"] = hashlib.sha256(read_to_close(conn)).hexdigest()
            conn.sendall(b"done")
        server = Server(sink)
        self.addCleanup(server.close)
        self.start_gateway(server.port)
        with self.connect() as c:
            c.sendall(data)
            c.shutdown(socket.SHUT_WR)
            self.assertEqual(read_to_close(c), b"done")
        self.assertEqual(result["hash"], hashlib.sha256(data).hexdigest())

    def test_server_that_sends_and_closes_at_once_loses_nothing(self):
        reply = b"220 ready and gone\r\n" * 5000

        def say_and_close(conn):
            conn.sendall(reply)
        server = Server(say_and_close)
        self.addCleanup(server.close)
        self.start_gateway(server.port)
        for _ in range(20):
            with self.connect() as c:
                self.assertEqual(read_to_close(c), reply)

    def test_half_closed_client_still_gets_the_reply(self):
        def answer_after_eof(conn):
            request = read_to_close(conn)
            conn.sendall(b"got " + str(len(request)).encode())
        server = Server(answer_after_eof)
        self.addCleanup(server.close)
        self.start_gateway(server.port)
        with self.connect() as c:
            c.sendall(b"x" * 1000)
            c.shutdown(socket.SHUT_WR)
            self.assertEqual(read_to_close(c), b"got 1000")

    def test_unreachable_target_gets_the_error_line_and_is_closed(self):
        self.start_gateway(free_port())
        with self.connect() as c:
            self.assertEqual(read_to_close(c), b"Wayfarer v2.0 E-10026: Could not connect to server.\r\n")

    def test_idle_mapping_ends_after_its_timeout(self):
        def hold(conn):
            conn.recv(1)
        server = Server(hold)
        self.addCleanup(server.close)
        self.start_gateway(server.port, timeout=1)
        with self.connect() as c:
            began = time.monotonic()
            c.settimeout(10)
            self.assertEqual(c.recv(1), b"")
            took = time.monotonic() - began
        self.assertGreaterEqual(took, 0.9)

    def test_second_entry_on_a_taken_port_is_refused(self):
        self.gw = GatewayProcess()
        self.addCleanup(self.gw.close)
        port = free_port()
        configure(self.gw, mappings=[
            dict(name="First", port=port, host="127.0.0.1", target_port=9),
            dict(name="Second", port=port, host="127.0.0.1", target_port=9)])
        self.gw.start(wait_for="running headless")
        text = "".join(self.gw.stderr_lines)
        self.assertIn(f"E-10040: Port {port} is already in use, possibly by another application.",
                      text)


if __name__ == "__main__":
    unittest.main()
