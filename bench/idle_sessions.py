"""Opens N connections to a port and holds them idle; prints when all are up, then waits for
stdin to close. Used to measure the gateway's memory per idle session."""
import socket
import sys

n, port = int(sys.argv[1]), int(sys.argv[2])
held = []
for _ in range(n):
    held.append(socket.create_connection(("127.0.0.1", port)))
print("up", flush=True)
sys.stdin.read()
