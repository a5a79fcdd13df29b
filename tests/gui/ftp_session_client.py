#!/usr/bin/env python3
"""A connected FTP user for the window's tests: logs in, says "ready", then keeps the session
alive with NOOP until the server closes it (says "closed") or standard input ends."""
import ftplib
import select
import sys

host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
ftp = ftplib.FTP()
ftp.connect(host, port, timeout=20)
ftp.login(user, password)
ftp.nlst()
print("ready", flush=True)
try:
    while True:
        readable, _, _ = select.select([sys.stdin], [], [], 0.2)
        if readable and not sys.stdin.readline():
            ftp.quit()
            break
        ftp.voidcmd("NOOP")
except (EOFError, OSError, ftplib.Error):
    print("closed", flush=True)
