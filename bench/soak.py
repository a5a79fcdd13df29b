#!/usr/bin/env python3
"""Soak: the headless program under mixed FTP clients for a long time.

The program runs on a scratch home with file logging on, the anonymous account sharing
C:\\My Downloads\\ with every right. Worker threads run, one after another and at random:
  - ftplib sessions: login, PWD, CWD, LIST, NLST, SIZE, MDTM, a download, an upload, a rename,
    a delete, QUIT;
  - curl downloads and listings, lftp downloads in four parts (pget -n 4);
  - aborted downloads (ABOR in the middle of a large file);
  - abandoned data connections: PASV with nobody connecting, PASV connected and left, a
    download whose control connection drops in the middle;
  - floods: 256 KB of NOOP lines (and of long NOOP lines) sent without reading a reply, held open
    for a few seconds, then dropped;
  - silent connections that send nothing and go.
Every 10 s the server's resident memory, open descriptors, threads and established
connections on its FTP port are sampled and printed. At the end the load stops, the server
gets a quiet spell, and the run fails (exit status 1) when:
  - the program died, or did not stop in order on SIGTERM;
  - memory grew: the mean of the last three samples under load is above 1.25 x the mean of
    the first three after the warm-up, plus 8 MiB;
  - descriptors or connections did not come back to where they were before the load;
  - descriptors under load grew: the largest of the second half above 1.5 x the largest of
    the first half, plus 16;
  - more than 2% of the client sessions that should succeed failed.

Usage: bench/soak.py [--minutes M] [--seconds S] [--workers N] [--server build/bin/corvane-server]
(30 minutes by default; --seconds 60 for a quick try).
"""

import argparse
import ftplib
import io
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

BIG_FILE_BYTES = 16 * 1024 * 1024
SAMPLE_SECONDS = 10
# What one flood sends. The server logs every command it answers, and what a flooder leaves in
# the socket is still read (and logged) after it has gone, so this sets the log's growth.
FLOOD_BYTES = 256 * 1024


def free_port():
    """A free loopback port that the settings accept (they take ports up to 32275)."""
    for _ in range(200):
        port = random.randrange(20000, 32275)
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
                return port
            except OSError:
                continue
    raise RuntimeError("no free port")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_home(root, port):
    home = os.path.join(root, "home")
    write(os.path.join(home, "CorvaneServer.ini"),
          ("[ServerData]\r\nPort=%d\r\nUserSetServerIP=127.0.0.1\r\nServerFirstRun=0\r\n"
           "MaximumNumberOfConnections=256\r\nLoggingToFile=1\r\nLogFilePath=C:\\corvaneserver.log\r\n"
           "ScreenLoggingEnabled=0\r\n" % port).encode())
    write(os.path.join(home, "usersgroups.ini"),
          b"[Anonymous]\r\nHome Directory=C:\\My Downloads\\\r\nGroup=All Others\r\nPassword=\r\n\r\n"
          b"[All Others]\r\nHome Directory=\r\n\r\n"
          b"[Usernames]\r\nUserCount=1\r\nUser0=Anonymous\r\n\r\n[Groupnames]\r\nGroupCount=1\r\nGroup0=All Others\r\n")
    write(os.path.join(home, "user - Anonymous.kcf"), b"gplcmdriC:\\My Downloads\\*\r\n")
    share = os.path.join(home, "drive_c", "My Downloads")
    write(os.path.join(share, "big.bin"), os.urandom(BIG_FILE_BYTES))
    write(os.path.join(share, "medium.bin"), os.urandom(1024 * 1024))
    for i in range(40):
        write(os.path.join(share, "files", "small%02d.txt" % i), (b"line %d\n" % i) * (i * 50 + 1))
    os.makedirs(os.path.join(share, "uploads"), exist_ok=True)
    return home


class Server:
    def __init__(self, program, home, port):
        self.port = port
        self.out = open(home + ".out", "wb")
        self.proc = subprocess.Popen([program, "--headless", "--home", home],
                                     stdout=self.out, stderr=subprocess.STDOUT)

    def wait_listening(self, seconds=15):
        deadline = time.time() + seconds
        while time.time() < deadline:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=2) as s:
                    if s.recv(100).startswith(b"220"):
                        return True
            except OSError:
                time.sleep(0.1)
        return False

    def rss_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return -1

    def threads(self):
        return len(os.listdir("/proc/%d/task" % self.proc.pid))

    def descriptors(self):
        return len(os.listdir("/proc/%d/fd" % self.proc.pid))

    def connections(self):
        """Established TCP connections whose local port is the FTP port (server side)."""
        count = 0
        for table in ("/proc/net/tcp", "/proc/net/tcp6"):
            try:
                with open(table) as f:
                    next(f)
                    for line in f:
                        fields = line.split()
                        local, state = fields[1], fields[3]
                        if state == "01" and int(local.split(":")[1], 16) == self.port:
                            count += 1
            except OSError:
                pass
        return count

    def sample(self):
        return {"t": time.time(), "rss": self.rss_kib(), "fds": self.descriptors(),
                "threads": self.threads(), "conns": self.connections()}

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return None


class Load:
    def __init__(self, port, share):
        self.port = port
        self.share = share
        self.stop = threading.Event()
        self.lock = threading.Lock()
        self.counts = {}
        self.failures = {}
        self.last_failure = {}

    def count(self, name, ok, why=""):
        with self.lock:
            self.counts[name] = self.counts.get(name, 0) + 1
            if not ok:
                self.failures[name] = self.failures.get(name, 0) + 1
                self.last_failure[name] = why

    def ftp(self):
        f = ftplib.FTP()
        f.connect("127.0.0.1", self.port, timeout=30)
        f.login("anonymous", "soak@")
        return f

    # ---- Sessions that must succeed ----
    def ftplib_session(self):
        f = self.ftp()
        try:
            f.pwd()
            f.cwd("files")
            names = f.nlst()
            lines = []
            f.retrlines("LIST", lines.append)
            if len(lines) < 40 or len(names) < 40:
                raise RuntimeError("short listing: %d lines, %d names" % (len(lines), len(names)))
            name = random.choice([n for n in names if n.startswith("small")])
            f.size(name)
            f.sendcmd("MDTM " + name)
            got = io.BytesIO()
            f.retrbinary("RETR " + name, got.write)
            f.cwd("/uploads")
            mine = "up-%d-%d.bin" % (threading.get_ident(), random.randrange(1 << 30))
            data = os.urandom(random.randrange(1, 300000))
            f.storbinary("STOR " + mine, io.BytesIO(data))
            if f.size(mine) != len(data):
                raise RuntimeError("uploaded size differs")
            f.rename(mine, mine + ".done")
            f.delete(mine + ".done")
            f.quit()
        finally:
            f.close()

    def curl_session(self):
        url = "ftp://127.0.0.1:%d/" % self.port
        target = random.choice(["medium.bin", "files/", "files/small07.txt"])
        result = subprocess.run(["curl", "-s", "-S", "--max-time", "60", "-o", "/dev/null", "-w", "%{http_code}",
                                 url + target], capture_output=True, text=True)
        if result.returncode != 0 or result.stdout.strip() not in ("226", "250"):
            raise RuntimeError("curl %s: rc %d, %s %s" % (target, result.returncode, result.stdout, result.stderr.strip()))

    def lftp_session(self):
        with tempfile.TemporaryDirectory() as folder:
            result = subprocess.run(["lftp", "-c", "set net:max-retries 1; set net:timeout 30; "
                                     "open -u anonymous,soak@ -p %d 127.0.0.1; lcd %s; pget -n 4 medium.bin; ls files"
                                     % (self.port, folder)], capture_output=True, text=True, timeout=120)
            size = os.path.getsize(os.path.join(folder, "medium.bin")) if os.path.exists(
                os.path.join(folder, "medium.bin")) else -1
            if result.returncode != 0 or size != 1024 * 1024:
                raise RuntimeError("lftp: rc %d, size %d, %s" % (result.returncode, size, result.stderr.strip()[-200:]))

    def aborted_download(self):
        f = self.ftp()
        try:
            f.voidcmd("TYPE I")
            conn = f.transfercmd("RETR big.bin")
            got = 0
            while got < 256 * 1024:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                got += len(chunk)
            # The aborted download's own final reply ("501 ... ABORT requested by client")
            # may come before the reply to ABOR; read until ABOR's.
            f.putcmd("ABOR")
            conn.close()
            for _ in range(3):
                reply = f.getmultiline()
                if reply.startswith("225") or reply.startswith("226"):
                    break
            else:
                raise RuntimeError("no reply to ABOR, last: " + reply)
            f.voidcmd("NOOP")
            f.quit()
        finally:
            f.close()

    # ---- Hostile or careless clients (their own errors do not count) ----
    def abandoned_data(self):
        f = self.ftp()
        way = random.randrange(3)
        try:
            if way == 0:
                f.sendcmd("PASV")  # nobody connects
            elif way == 1:
                f.voidcmd("TYPE I")
                host, port = ftplib.parse227(f.sendcmd("PASV"))
                data = socket.create_connection((host, port), timeout=10)
                time.sleep(random.random())
                data.close()
            else:
                f.voidcmd("TYPE I")
                conn = f.transfercmd("RETR big.bin")
                conn.recv(65536)
                time.sleep(random.random())
                f.sock.close()  # the control connection drops in the middle of the download
                conn.close()
        finally:
            f.close()

    def flood(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=10)
        try:
            line = b"NOOP\r\n" if random.random() < 0.5 else b"NOOP " + b"x" * 1000 + b"\r\n"
            block = line * (65536 // len(line) + 1)
            s.setblocking(False)
            sent = 0
            deadline = time.time() + 5
            while sent < FLOOD_BYTES and time.time() < deadline:
                try:
                    sent += s.send(block)
                except BlockingIOError:
                    time.sleep(0.05)  # the server stopped reading: good
            time.sleep(random.uniform(1, 4))
        except OSError:
            pass
        finally:
            s.close()

    def silent(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=10)
        time.sleep(random.uniform(0.5, 5))
        s.close()

    SCENARIOS = [  # name, weight, must succeed
        ("ftplib", 30, True), ("curl", 15, True), ("lftp", 8, True), ("abort", 12, True),
        ("abandoned", 15, False), ("flood", 4, False), ("silent", 6, False),
    ]

    def worker(self):
        runs = {"ftplib": self.ftplib_session, "curl": self.curl_session, "lftp": self.lftp_session,
                "abort": self.aborted_download, "abandoned": self.abandoned_data, "flood": self.flood,
                "silent": self.silent}
        names = [s[0] for s in self.SCENARIOS]
        weights = [s[1] for s in self.SCENARIOS]
        must = {s[0]: s[2] for s in self.SCENARIOS}
        while not self.stop.is_set():
            name = random.choices(names, weights)[0]
            try:
                runs[name]()
                self.count(name, True)
            except Exception as e:  # noqa: BLE001 - every failure is counted and reported
                self.count(name, not must[name], "%s: %s" % (type(e).__name__, e))
            time.sleep(random.uniform(0, 0.2))


def print_sample(label, s, start):
    print("%-6s %7.0f s  rss %7.1f MiB  fds %4d  threads %3d  conns %4d" %
          (label, s["t"] - start, s["rss"] / 1024.0, s["fds"], s["threads"], s["conns"]), flush=True)


def mean(values):
    return sum(values) / len(values) if values else 0.0


def main():
    parser = argparse.ArgumentParser(description="Soak the headless server with mixed FTP clients.")
    parser.add_argument("--minutes", type=float, default=30.0)
    parser.add_argument("--seconds", type=float, default=None, help="overrides --minutes")
    parser.add_argument("--workers", type=int, default=8)
    parser.add_argument("--server", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                         "..", "build", "bin", "corvane-server"))
    parser.add_argument("--keep", action="store_true", help="keep the scratch home (and its log)")
    args = parser.parse_args()
    duration = args.seconds if args.seconds is not None else args.minutes * 60

    root = tempfile.mkdtemp(prefix="corvane-soak-")
    port = free_port()
    home = make_home(root, port)
    server = Server(os.path.abspath(args.server), home, port)
    problems = []
    try:
        if not server.wait_listening():
            print("the server did not start listening", file=sys.stderr)
            return 1
        time.sleep(1)
        start = time.time()
        idle = server.sample()
        print("soak: %d workers for %.0f s against port %d (home %s)" % (args.workers, duration, port, home))
        print_sample("idle", idle, start)

        load = Load(port, os.path.join(home, "drive_c", "My Downloads"))
        workers = [threading.Thread(target=load.worker, daemon=True) for _ in range(args.workers)]
        for w in workers:
            w.start()
        samples = []
        next_sample = start + SAMPLE_SECONDS
        while time.time() < start + duration:
            time.sleep(max(0.0, min(next_sample, start + duration) - time.time()))
            if server.proc.poll() is not None:
                problems.append("the server ended under load (status %s)" % server.proc.returncode)
                break
            if time.time() >= next_sample:
                samples.append(server.sample())
                print_sample("load", samples[-1], start)
                next_sample += SAMPLE_SECONDS
        load.stop.set()
        for w in workers:
            w.join(timeout=150)

        if server.proc.poll() is None:
            quiet = None
            for _ in range(30):  # up to 30 s for the last connections to go
                time.sleep(1)
                quiet = server.sample()
                if quiet["conns"] == idle["conns"] and quiet["fds"] == idle["fds"]:
                    break
            print_sample("quiet", quiet, start)
            if quiet["fds"] != idle["fds"]:
                problems.append("descriptors did not come back: %d idle, %d after" % (idle["fds"], quiet["fds"]))
            if quiet["conns"] != idle["conns"]:
                problems.append("connections did not come back: %d idle, %d after" % (idle["conns"], quiet["conns"]))

        warm = max(1, len(samples) // 5)
        steady = samples[warm:]
        if len(steady) >= 6:
            first = mean([s["rss"] for s in steady[:3]])
            last = mean([s["rss"] for s in steady[-3:]])
            print("rss: %.1f MiB after the warm-up, %.1f MiB at the end" % (first / 1024, last / 1024))
            if last > first * 1.25 + 8 * 1024:
                problems.append("memory grew from %.1f MiB to %.1f MiB" % (first / 1024, last / 1024))
            half = len(samples) // 2
            fd_first = max(s["fds"] for s in samples[:half])
            fd_second = max(s["fds"] for s in samples[half:])
            print("descriptors under load: at most %d in the first half, %d in the second" % (fd_first, fd_second))
            if fd_second > fd_first * 1.5 + 16:
                problems.append("descriptors grew under load: %d, then %d" % (fd_first, fd_second))
        else:
            print("(too short for the growth checks: %d samples after the warm-up)" % len(steady))

        total = sum(load.counts.values())
        print("sessions: %d in all" % total)
        must = {s[0]: s[2] for s in Load.SCENARIOS}
        for name, _, _ in Load.SCENARIOS:
            n, bad = load.counts.get(name, 0), load.failures.get(name, 0)
            note = ("; last: " + load.last_failure[name][:200]) if name in load.last_failure else ""
            print("  %-10s %6d runs, %4d failed%s" % (name, n, bad, note))
            if must[name] and n > 0 and bad > 0.02 * n:
                problems.append("%s sessions failed: %d of %d" % (name, bad, n))

        status = server.stop()
        if status != 0:
            problems.append("the server did not stop in order on SIGTERM (status %s)" % status)
        log = os.path.join(home, "drive_c", "corvaneserver.log")
        print("log file: %d bytes" % (os.path.getsize(log) if os.path.exists(log) else -1))
    finally:
        if server.proc.poll() is None:
            server.proc.kill()
            server.proc.wait()
        server.out.close()
        if not args.keep:
            shutil.rmtree(root, ignore_errors=True)

    for p in problems:
        print("FAIL: " + p)
    print("soak: " + ("passed" if not problems else "failed"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
