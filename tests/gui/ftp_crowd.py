#!/usr/bin/env python3
"""Many FTP users at once for the window's tests: opens COUNT control connections, logs each in
as anonymous, says "ready COUNT", and keeps them until standard input ends.

  ftp_crowd.py HOST PORT COUNT"""
import socket
import sys


def reply(stream):
    """The first line of a reply, after reading the rest of a multi-line one."""
    first = stream.readline()
    if first[3:4] == b"-":
        line = stream.readline()
        while line and not line.startswith(first[:3] + b" "):
            line = stream.readline()
    return first


host, port, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
sessions = []
for _ in range(count):
    connection = socket.create_connection((host, port), timeout=30)
    stream = connection.makefile("rb")
    reply(stream)
    connection.sendall(b"USER anonymous\r\n")
    reply(stream)
    connection.sendall(b"PASS guest@\r\n")
    if not reply(stream).startswith(b"230"):
        print("refused", len(sessions), flush=True)
        sys.exit(1)
    sessions.append((connection, stream))
print("ready", len(sessions), flush=True)
sys.stdin.read()
for connection, _ in sessions:
    connection.close()
