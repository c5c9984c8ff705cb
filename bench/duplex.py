"""Full-duplex benchmark helper.

  duplex.py server PORT       echo server: a thread per connection reads up to 1 MiB and
                              writes it back with one blocking send
  duplex.py client PORT MIB   sends MIB MiB on one thread while another reads the echo;
                              prints the seconds the whole exchange took
"""
import socket
import sys
import threading
import time

CHUNK = 1 << 20


def serve(port):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(64)

    def echo(conn):
        with conn:
            while data := conn.recv(CHUNK):
                conn.sendall(data)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=echo, args=(conn,), daemon=True).start()


def client(port, mib):
    payload = bytes(range(256)) * (CHUNK // 256)
    total = mib * CHUNK
    with socket.create_connection(("127.0.0.1", port)) as s:
        began = time.monotonic()

        def write():
            for _ in range(mib):
                s.sendall(payload)
        writer = threading.Thread(target=write)
        writer.start()
        got = 0
        buf = bytearray(CHUNK)
        while got < total:
            n = s.recv_into(buf)
            if n == 0:
                break
            got += n
        writer.join()
        took = time.monotonic() - began
    if got != total:
        sys.exit(f"only {got} of {total} bytes came back")
    print("%.3f" % took)


if __name__ == "__main__":
    if sys.argv[1] == "server":
        serve(int(sys.argv[2]))
    else:
        client(int(sys.argv[2]), int(sys.argv[3]))
