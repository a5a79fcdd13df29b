#!/usr/bin/env python3
# The legitimate login's latency while one address guesses passwords, against a quiet run.
#
# Needs a running server whose account USER (password PASSWORD) may log in without TLS
# (TlsRequiredForPasswordLogins=0) and with LoginBanExemptLoopback=0, listening on 0.0.0.0 or
# 127.0.0.1. The guesses come from 127.0.0.1 over 40 connections (2,000 of them), the
# legitimate logins from 127.0.0.2.
#   bench/login_guessing.py PORT USER PASSWORD [LOGINS]
# Lift the ban between two runs: corvane-server --home DIR bans unban 127.0.0.1
import ftplib, socket, sys, threading, time

port, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3]
logins = int(sys.argv[4]) if len(sys.argv) > 4 else 50


def timed_logins(count):
    times = []
    for _ in range(count):
        start = time.monotonic()
        ftp = ftplib.FTP(source_address=('127.0.0.2', 0))
        ftp.connect('127.0.0.1', port, timeout=30)
        ftp.login(user, password)
        ftp.quit()
        times.append((time.monotonic() - start) * 1000)
    times.sort()
    return times


def percentile(times, p):
    return times[min(len(times) - 1, int(len(times) * p / 100))]


def guess(left, lock, stop):
    while not stop.is_set():
        with lock:
            if left[0] <= 0:
                return
            left[0] -= 1
        try:
            s = socket.create_connection(('127.0.0.1', port), timeout=30)
            f = s.makefile('rb')
            if f.readline().startswith(b'220'):
                s.sendall(b'USER ' + user.encode() + b'\r\nPASS wrong\r\n')
                f.readline()
                f.readline()
            s.close()
        except OSError:
            pass


quiet = timed_logins(logins)
left, lock, stop = [2000], threading.Lock(), threading.Event()
threads = [threading.Thread(target=guess, args=(left, lock, stop)) for _ in range(40)]
for t in threads:
    t.start()
crowded = timed_logins(logins)
stop.set()
for t in threads:
    t.join()
print('quiet    p50 %.1f ms  p99 %.1f ms' % (percentile(quiet, 50), percentile(quiet, 99)))
print('guessing p50 %.1f ms  p99 %.1f ms' % (percentile(crowded, 50), percentile(crowded, 99)))
print('p99 ratio %.2f (target: at most 2)' % (percentile(crowded, 99) / percentile(quiet, 99)))
