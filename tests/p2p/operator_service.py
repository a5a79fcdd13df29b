#!/usr/bin/env python3
"""A P2P network operator's services as the tests need them: the network list file, the
account service (user.php), the index-server lookup (getwindex.php) and the index server
(file.php), all on one loopback port. Prints the port it listens on, then serves until stopped.

  operator_service.py FOLDER [PORT]

Every request is recorded byte for byte (request line, header, body) as FOLDER/req-NNNN.txt,
numbered in the order the requests ended. The answers are scripted in FOLDER/script.txt, read
again for every request, one line each:

  PATH ACTION [ARGUMENT]

PATH is the request path without its query ("/v6/getwindex.php", "/idx/v6/file.php"). The
lines of one path are answered in turn, the last one for every later request; a changed script
starts again from its first lines. ACTIONS:

  reply TEXT         200 with TEXT as the body (Python escapes such as \\r\\n allowed)
  status N TEXT      status N with TEXT as the body
  slow SECONDS TEXT  200 with TEXT, sent after SECONDS
  close              the connection closed without an answer
  hang               no answer; the connection stays open until the client goes
  redirect           302 to the same URL, for ever
  big N              200 with N bytes of "x" and Content-Length
  endless            200 without Content-Length and bytes of "x" until the client goes

A path without a line answers "200 OK".
"""
import os
import socket
import socketserver
import sys
import threading
import time

FOLDER = sys.argv[1]
LOCK = threading.Lock()
SERVED = {}   # path -> how many requests of it were answered
COUNT = [0]
SCRIPT = [None]  # the script the answers in SERVED belong to


def script_for(path):
    try:
        with open(os.path.join(FOLDER, "script.txt"), encoding="latin-1") as f:
            text = f.read()
    except FileNotFoundError:
        text = ""
    lines = [line[len(path) + 1:] for line in text.split("\n") if line.startswith(path + " ")]
    with LOCK:
        if text != SCRIPT[0]:   # a new script starts its answers anew
            SCRIPT[0] = text
            SERVED.clear()
        n = SERVED.get(path, 0)
        SERVED[path] = n + 1
    if not lines:
        return "reply 200 OK"
    return lines[min(n, len(lines) - 1)]


def unescape(text):
    return text.encode("latin-1").decode("unicode_escape").encode("latin-1")


def answer(status, body, length=True):
    head = "HTTP/1.0 %d Answer\r\nContent-Type: text/plain\r\n" % status
    if length:
        head += "Content-Length: %d\r\n" % len(body)
    return head.encode() + b"\r\n" + body


class Handler(socketserver.BaseRequestHandler):
    def read_request(self):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = self.request.recv(65536)
            if not chunk:
                return None
            data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        length = 0
        for line in head.split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value.strip())
        while len(body) < length:
            chunk = self.request.recv(65536)
            if not chunk:
                break
            body += chunk
        return head + b"\r\n\r\n" + body

    def record(self, raw):
        with LOCK:
            COUNT[0] += 1
            n = COUNT[0]
        name = os.path.join(FOLDER, "req-%04d.txt" % n)
        with open(name + ".part", "wb") as f:
            f.write(raw)
        os.rename(name + ".part", name)

    def handle(self):
        raw = self.read_request()
        if raw is None:
            return
        target = raw.split(b"\r\n", 1)[0].split(b" ")[1].decode("latin-1")
        if target.startswith("http://"):   # through an HTTP proxy the target is a whole URL
            target = "/" + target.split("/", 3)[3] if target.count("/") >= 3 else "/"
        path = target.split("?", 1)[0]
        action, _, argument = script_for(path).partition(" ")
        self.record(raw)
        s = self.request
        if action == "reply":
            s.sendall(answer(200, unescape(argument)))
        elif action == "status":
            code, _, text = argument.partition(" ")
            s.sendall(answer(int(code), unescape(text)))
        elif action == "slow":
            seconds, _, text = argument.partition(" ")
            time.sleep(float(seconds))
            s.sendall(answer(200, unescape(text)))
        elif action == "close":
            pass
        elif action == "hang":
            s.settimeout(60)
            try:
                s.recv(1)
            except OSError:
                pass
        elif action == "redirect":
            s.sendall(b"HTTP/1.0 302 Found\r\nLocation: " + target.encode("latin-1") + b"\r\n\r\n")
        elif action == "big":
            s.sendall(answer(200, b"x" * int(argument)))
        elif action == "endless":
            try:
                s.sendall(answer(200, b"", length=False))
                block = b"x" * 65536
                for _ in range(100000):
                    s.sendall(block)
            except OSError:
                pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128


def main():
    server = Server(("127.0.0.1", int(sys.argv[2]) if len(sys.argv) > 2 else 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
