"""POP3 through the real gateway as today's mail clients open it: CAPA first, AUTH and STLS
refused without closing, and USER and PASS sent in one packet. The POP3 server listens on port
110, so every test runs in a private network namespace of its own.
"""
import poplib
import socket
import subprocess
import unittest

from gateway_process import GatewayProcess, configure, free_port
from socket_helpers import TcpServer, read_line, read_to_close

MESSAGE = b"Subject: hi\r\n\r\n" + b"line of the body\r\n" * 200


class Pop3Server:
    """A small POP3 server on 127.0.0.3:110 that records every line it is sent."""

    ANSWERS = {b"USER": b"+OK\r\n", b"PASS": b"+OK logged in\r\n",
               b"STAT": b"+OK 1 %d\r\n" % len(MESSAGE),
               b"RETR": b"+OK\r\n" + MESSAGE + b".\r\n", b"QUIT": b"+OK bye\r\n"}

    def __init__(self):
        self.seen = []
        self.server = TcpServer(self._serve, "127.0.0.3", 110, timeout=30)

    def _serve(self, conn):
        conn.sendall(b"+OK test server ready\r\n")
        for line in conn.makefile("rb"):
            self.seen.append(line)
            conn.sendall(self.ANSWERS.get(line[:4].upper(), b"-ERR what\r\n"))
            if line.startswith(b"QUIT"):
                return

    def close(self):
        self.server.close()


class Pop3ClientsTest(unittest.TestCase):
    def setUp(self):
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True, timeout=30)
        self.server = Pop3Server()
        self.addCleanup(self.server.close)
        self.port = free_port()
        self.gw = GatewayProcess()
        self.addCleanup(self.gw.close)
        configure(self.gw, active={"POP3": self.port})
        self.gw.start()

    def connect(self):
        c = socket.create_connection(("127.0.0.1", self.port), timeout=20)
        self.addCleanup(c.close)
        self.assertEqual(read_line(c), b"+OK pop3 ready\r\n")
        return c

    def test_poplib_asks_capa_first(self):
        box = poplib.POP3("127.0.0.1", self.port, timeout=20)
        self.assertEqual(box.capa(), {"USER": []})
        box.user("alice<127.0.0.3>")
        box.pass_("secret")
        self.assertEqual(box.stat(), (1, len(MESSAGE)))
        self.assertEqual(b"\r\n".join(box.retr(1)[1]) + b"\r\n", MESSAGE)
        box.quit()
        self.assertEqual(self.server.seen[:2], [b"USER alice\r\n", b"PASS secret\r\n"])

    def test_auth_and_stls_are_refused_without_closing(self):
        c = self.connect()
        for line in (b"AUTH\r\n", b"STLS\r\n", b"auth PLAIN\r\n"):
            c.sendall(line)
            self.assertEqual(read_line(c), b"-ERR not supported\r\n")
        c.sendall(b"CAPA\r\n")
        self.assertEqual(read_line(c) + read_line(c) + read_line(c), b"+OK\r\nUSER\r\n.\r\n")
        c.sendall(b"USER alice<127.0.0.3>\r\n")
        self.assertEqual(read_line(c), b"+OK\r\n")

    def test_lines_sent_with_the_login_line_follow_it_in_order(self):
        c = self.connect()
        c.sendall(b"CAPA\r\nUSER alice<127.0.0.3>\r\nPASS secret\r\nSTAT\r\n")
        got = b"".join(read_line(c) for _ in range(6))
        self.assertEqual(got, b"+OK\r\nUSER\r\n.\r\n+OK\r\n+OK logged in\r\n"
                              b"+OK 1 %d\r\n" % len(MESSAGE))
        self.assertEqual(self.server.seen,
                         [b"USER alice\r\n", b"PASS secret\r\n", b"STAT\r\n"])

    def test_other_first_lines_keep_their_answer_and_close(self):
        for line in (b"QUIT\r\n", b"CAPABILITIES\r\n", b"USER alice\r\n"):
            c = self.connect()
            c.sendall(line)
            self.assertEqual(read_to_close(c),
                             b"-ERR POP3 User Format Violation Give :User<Domain>\r\n", line)


if __name__ == "__main__":
    unittest.main()
