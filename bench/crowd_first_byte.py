#!/usr/bin/env python3
"""Time to first byte of a fresh client, quiet and with a crowd.

Usage: bench/crowd_first_byte.py FTP_PORT HTTP_PORT [ROUNDS] [reconnect]

Against a running server (headless, hello.txt in the anonymous account's folder and the web root): measures the
time from connect to the first byte of hello.txt over FTP (ftplib: login, RETR) and HTTP
(a GET), ROUNDS times quiet, then with 1,000 silent FTP connections and 1,000 web connections
(half silent, half sending their header a byte a second) held open, all from 127.0.0.2 (the
probe is 127.0.0.1: set MaxWaitingConnectionsPerAddress=0 to let that one address fill every slot). With "reconnect" the crowd
opens again, once a second, every connection the server closed. A refused probe counts as 10 s.
Prints p50/p99 in ms.
"""
import ftplib
import resource
import socket
import statistics
import sys
import threading
import time

ftp_port, http_port = int(sys.argv[1]), int(sys.argv[2])
rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 50
reconnect = len(sys.argv) > 4 and sys.argv[4] == 'reconnect'
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))


def ftp_first_byte():
    began = time.monotonic()
    ftp = ftplib.FTP()
    ftp.connect('127.0.0.1', ftp_port, timeout=10)
    ftp.login()
    first = []
    ftp.retrbinary('RETR hello.txt', lambda chunk: first or first.append(time.monotonic()))
    ftp.quit()
    return first[0] - began


def http_first_byte():
    began = time.monotonic()
    s = socket.create_connection(('127.0.0.1', http_port), timeout=10)
    s.sendall(b'GET /hello.txt HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n')
    s.recv(1)
    took = time.monotonic() - began
    s.close()
    return took


def percentiles(samples):
    ordered = sorted(samples)
    p99 = ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))]
    return '%7.1f ms p50 %7.1f ms p99' % (statistics.median(ordered) * 1000, p99 * 1000)


def measure(label):
    for name, probe in (('ftp', ftp_first_byte), ('http', http_first_byte)):
        samples = []
        for _ in range(rounds):
            try:
                samples.append(probe())
            except ftplib.all_errors:
                samples.append(10.0)  # a refusal or a timeout counts as the whole timeout
        print('%-6s %-5s %s' % (label, name, percentiles(samples)))


def closed(s):
    try:
        return s.recv(4096) == b''
    except BlockingIOError:
        return False
    except OSError:
        return True


class Crowd:
    """Opens 1,000 FTP and 1,000 web connections (and, reconnecting, those the server closes)."""

    def __init__(self):
        self.stop = False
        self.thread = threading.Thread(target=self.run, daemon=True)

    def run(self):
        ftp = [None] * 1000
        web = [None] * 1000
        sent = 0
        while not self.stop:
            for group, port in ((ftp, ftp_port), (web, http_port)):
                for i, s in enumerate(group):
                    if reconnect and s is not None and closed(s):
                        s.close()
                        s = group[i] = None
                    if s is None:
                        try:
                            group[i] = socket.create_connection(('127.0.0.1', port), timeout=2, source_address=('127.0.0.2', 0))
                            group[i].setblocking(False)
                        except OSError:
                            pass
            for i, s in enumerate(web[500:]):
                try:
                    s and s.send(b'GET / HTTP/1.1\r\n'[sent % 16:sent % 16 + 1])
                except OSError:
                    if reconnect:
                        web[500 + i] = None
            sent += 1
            time.sleep(1)


measure('quiet')
crowd = Crowd()
crowd.thread.start()
time.sleep(5)
measure('crowd')
crowd.stop = True
