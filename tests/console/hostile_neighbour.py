# SPDX-License-Identifier: GPL-3.0-or-later
"""A hostile neighbour of the console: holds N connections to it without a token, half of them
idle and half sending a request's headers a byte at a time, and opens a new one for each that
the console closes (at most 200 a second, to spare the machine). Runs for SECONDS, then prints how many it opened and how many were closed.
Usage: hostile_neighbour.py HOST PORT N SECONDS
"""
import selectors
import socket
import sys
import time

HOST, PORT, N, SECONDS = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
HEAD = f"GET /api/records?since=0 HTTP/1.1\r\nHost: {HOST}:{PORT}\r\nUser-Agent: neighbour\r\n".encode()

sel = selectors.DefaultSelector()
opened = closed = 0
trickle = {}   # socket -> bytes of the headers sent so far
reopen = []    # kinds of the connections to open again


def open_one(slow):
    global opened
    s = socket.socket()
    s.setblocking(False)
    s.connect_ex((HOST, PORT))
    sel.register(s, selectors.EVENT_READ, slow)
    if slow:
        trickle[s] = 0
    opened += 1


for i in range(N):
    open_one(i % 2 == 1)
end = time.monotonic() + SECONDS
next_byte = time.monotonic()
while time.monotonic() < end:
    for key, _ in sel.select(timeout=0.1):
        s = key.fileobj
        try:
            data = s.recv(4096)
        except OSError:
            data = b""
        if not data:   # closed by the console: another takes its place
            sel.unregister(s)
            trickle.pop(s, None)
            s.close()
            closed += 1
            reopen.append(key.data)
    for slow in reopen[:20]:
        open_one(slow)
    del reopen[:20]
    time.sleep(0.1)
    if time.monotonic() >= next_byte:
        next_byte += 0.5
        for s, n in list(trickle.items()):
            if n < len(HEAD):
                try:
                    s.send(HEAD[n:n + 1])
                    trickle[s] = n + 1
                except OSError:
                    pass
print(f"neighbour: {opened} connections opened, {closed} closed by the console", flush=True)
