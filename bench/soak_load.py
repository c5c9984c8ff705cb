"""The soak's load: an origin and an echo server on loopback, and SESSIONS clients that open,
use and close sessions through the gateway's web proxy, SOCKS 4 service and a TCP mapping, one
after another, for SECONDS. Every transfer is checked by hash. Every 30 s it prints errors (by
service), the gateway's resident memory and thread count; at the end their spread after the
first minute and the peak idle memory per session (sessions held open at the web proxy and the
mapping, sampled for a few seconds).
Usage: soak_load.py GATEWAY_PID WWW_PORT SOCKS_PORT MAP_PORT ORIGIN_PORT ECHO_PORT SESSIONS SECONDS
(one asyncio loop in one thread owns every socket)."""
import asyncio
import hashlib
import random
import socket
import struct
import sys
import time

pid, www, socks, mapped, origin_port, echo_port, sessions, seconds = map(int, sys.argv[1:])
BODY = 64 * 1024
stats = {"done": 0, "errors": 0}
errors_by_kind = {"www": 0, "socks": 0, "map": 0}
samples = []  # (seconds since the start, resident bytes, threads)


class GatewayGone(Exception):
    pass


def body_of(n):
    return random.Random(n).randbytes(BODY)


def status():
    fields = {}
    try:
        f = open(f"/proc/{pid}/status")
    except FileNotFoundError:
        raise GatewayGone() from None
    with f:
        for line in f:
            name, _, value = line.partition(":")
            fields[name] = value.split()
    return int(fields["VmRSS"][0]) * 1024, int(fields["Threads"][0])


async def origin(reader, writer):
    try:
        head = await reader.readuntil(b"\r\n\r\n")
        n = int(head.split(b" ")[1].rsplit(b"/", 1)[1])
        writer.write(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % BODY + body_of(n))
        await writer.drain()
    except (OSError, ValueError, asyncio.IncompleteReadError):
        pass
    writer.close()


async def echo(reader, writer):
    try:
        while data := await reader.read(65536):
            writer.write(data)
            await writer.drain()
    except (OSError, asyncio.CancelledError):
        pass  # the client left, or the load is over
    writer.close()


async def one_session(kind, n):
    reader, writer = await asyncio.open_connection("127.0.0.1", {"www": www, "socks": socks,
                                                                 "map": mapped}[kind])
    try:
        if kind == "www":
            writer.write(b"GET http://127.0.0.1:%d/o/%d HTTP/1.0\r\n\r\n" % (origin_port, n))
            data = await reader.read(-1)
            ok = data.partition(b"\r\n\r\n")[2] == body_of(n)
        else:
            if kind == "socks":
                writer.write(struct.pack(">BBH", 4, 1, echo_port) + socket.inet_aton("127.0.0.1")
                             + b"\0")
                if (await reader.readexactly(8))[1] != 0x5A:
                    return False
            payload = body_of(n)[:16384]
            writer.write(payload)
            got = await reader.readexactly(len(payload))
            ok = hashlib.sha256(got).digest() == hashlib.sha256(payload).digest()
        return ok
    finally:
        writer.close()


async def client(i, deadline):
    kind = ("www", "socks", "map")[i % 3]
    n = i
    while time.monotonic() < deadline:
        try:
            ok = await asyncio.wait_for(one_session(kind, n), 30)
        except (OSError, asyncio.TimeoutError, asyncio.IncompleteReadError):
            ok = False
        stats["done" if ok else "errors"] += 1
        errors_by_kind[kind] += not ok
        n += sessions
        await asyncio.sleep(random.uniform(0, 0.2))


async def report(deadline):
    began = time.monotonic()
    # Samples at each 30 s mark while the load runs; none after it.
    while time.monotonic() + 30 <= deadline:
        await asyncio.sleep(30)
        rss, threads = status()
        at = time.monotonic() - began
        samples.append((at, rss, threads))
        by_kind = " ".join(f"{k} {v}" for k, v in errors_by_kind.items())
        print(f"{at:5.0f} s  sessions {stats['done']}  errors {stats['errors']} ({by_kind})  "
              f"resident {rss >> 20} MiB  threads {threads}", flush=True)


def spread_after_first_minute():
    later = [(rss, threads) for at, rss, threads in samples if at > 60]
    if not later:
        return "too short a run to judge flatness (no sample after the first minute)"
    rss = [r for r, _ in later]
    threads = [t for _, t in later]
    return (f"after the first minute: resident {min(rss) >> 20}..{max(rss) >> 20} MiB, "
            f"threads {min(threads)}..{max(threads)}")


async def idle_per_session():
    """The peak of (resident now - resident before) / sessions while SESSIONS idle sessions
    are held, half at the web proxy (nothing sent yet) and half at the mapping; and the
    threads they added."""
    before, threads_before = status()
    held = [await asyncio.open_connection("127.0.0.1", (www, mapped)[i % 2])
            for i in range(sessions)]
    peak = threads_peak = 0
    for _ in range(10):
        await asyncio.sleep(0.5)
        rss, threads = status()
        peak, threads_peak = max(peak, rss), max(threads_peak, threads)
    for _, writer in held:
        writer.close()
    await asyncio.sleep(1)
    return (peak - before) / sessions, threads_peak - threads_before


async def main():
    servers = [await asyncio.start_server(origin, "127.0.0.1", origin_port, backlog=4096),
               await asyncio.start_server(echo, "127.0.0.1", echo_port, backlog=4096)]
    try:
        # Idle memory on the fresh gateway (every byte new) and again after the load (what
        # the load left behind is reused); the peak is the higher.
        fresh = await idle_per_session()
        await asyncio.sleep(2)
        deadline = time.monotonic() + seconds
        await asyncio.gather(report(deadline), *(client(i, deadline) for i in range(sessions)))
        await asyncio.sleep(5)
        after = await idle_per_session()
    except GatewayGone:
        print(f"the gateway (pid {pid}) is gone; errors so far {stats['errors']}", flush=True)
        return 1
    print(spread_after_first_minute())
    for when, (per, threads) in (("fresh", fresh), ("after the load", after)):
        print(f"idle, {when}: {per / 1024:.1f} KiB per session, {threads} threads added "
              f"({sessions} held)")
    print(f"errors {stats['errors']} of {stats['done'] + stats['errors']} sessions; "
          f"peak idle memory per session {max(fresh[0], after[0]) / 1024:.1f} KiB")
    for s in servers:
        s.close()
    return 1 if stats["errors"] else 0


sys.exit(asyncio.run(main()))
