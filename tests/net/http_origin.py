#!/usr/bin/env python3
"""The origin server of the HTTP client tests: Python's http.server (HTTP/1.0, one thread per
connection) on a loopback port. Prints the port it listens on, then serves until stopped.

  .../echo...       the request line, the header lines, an empty line and the body, as text/plain
  .../go?to=X       302 to X (percent-decoded), whatever X is
  /redirect?n=K     302 to /redirect?n=K-1; n=0 answers "landed"
  /loop             302 to itself
  /missing          404 with the body "not here"
  /big?n=N          N bytes of "x", with Content-Length
  /stall            nothing for 10 s
  /slowbody         Content-Length 100000, ten bytes, then nothing for 10 s
  /nolen            a body without Content-Length, ended by the close
  /raw/NAME         the bytes of RAW[NAME], exactly, then the close
"""
import socket
import socketserver
import sys
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

RAW = {
    "nostatus": b"Content-Type: text/plain\r\n\r\nbody",
    "html": b"<HTML><BODY>no header</BODY></HTML>\r\nmore\r\n",
    "lenneg": b"HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nabc",
    "lentext": b"HTTP/1.0 200 OK\r\nContent-Length: many\r\n\r\nabc",
    "longer": b"HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabcdef",
    "shorter": b"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc",
    "midheader": b"HTTP/1.0 200 OK\r\nX-Half: 1\r\n",
    "empty": b"",
    "longheader": b"HTTP/1.0 200 OK\r\nX-Long: " + b"a" * 9000 + b"\r\n\r\nbody",
    "line8192": b"HTTP/1.0 200 OK\r\n" + b"b" * 8192 + b"\r\n\r\nbody",
    "line8000": b"HTTP/1.0 200 OK\r\nX-Long: " + b"c" * 8000 + b"\r\nContent-Length: 2\r\n\r\nok",
    "js": b"HTTP/1.0 302 Found\r\nLocation: javascript:alert(1)\r\n\r\n",
    "ftp": b"HTTP/1.0 302 Found\r\nLocation: ftp://127.0.0.1/file\r\n\r\n",
    "loc4k": b"HTTP/1.0 302 Found\r\nLocation: /echo?" + b"q" * 4096 + b"\r\n\r\n",
    "lfonly": b"HTTP/1.0 200 OK\nContent-Type: Text/Plain\nContent-Length: 5\n\nhello",
    "fields": b"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 10-19/100\r\nAccept-Ranges: bytes\r\n"
              b"WWW-Authenticate: Basic realm=\"x\"\r\nSet-Cookie: a=1\r\nContent-Length: 10\r\n\r\n0123456789",
    "zero": b"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n",
    "html-exe": b"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 2\r\n\r\nhi",
}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def reply(self, status, body, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def answer(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        path = url.path
        if path.startswith("/raw/"):
            data = RAW.get(path[5:], b"")
            self.wfile.write(data)
            if path.endswith("zero"):
                time.sleep(3)  # the client must not wait for the close
            self.close_connection = True
            return
        if path.endswith("/go"):
            return self.reply(302, b"moved", [("Location", urllib.parse.unquote(url.query[3:]))])
        if "echo" in path:
            length = int(self.headers.get("Content-Length", "0") or 0)
            body = self.rfile.read(length) if length > 0 else b""
            text = self.requestline + "\r\n"
            text += "".join("%s: %s\r\n" % (name, value) for name, value in self.headers.items()) + "\r\n"
            return self.reply(200, text.encode("latin-1") + body, [("Content-Type", "text/plain")])
        if path == "/redirect":
            n = int(query.get("n", ["0"])[0])
            if n <= 0:
                return self.reply(200, b"landed")
            return self.reply(302, b"", [("Location", "/redirect?n=%d" % (n - 1))])
        if path == "/loop":
            return self.reply(302, b"", [("Location", "/loop")])
        if path == "/missing":
            return self.reply(404, b"not here", [("Content-Type", "text/plain")])
        if path == "/big":
            n = int(query.get("n", ["0"])[0])
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            block = b"x" * 65536
            while n > 0:
                self.wfile.write(block[: min(n, len(block))])
                n -= min(n, len(block))
            return
        if path == "/stall":
            time.sleep(10)
            return
        if path == "/slowbody":
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b"0123456789")
            self.wfile.flush()
            time.sleep(10)
            return
        if path == "/nolen":
            self.send_response(200)
            self.end_headers()
            self.wfile.write(b"until the close")
            return
        self.reply(200, b"hello world", [("Content-Type", "text/plain")])

    do_GET = answer
    do_POST = answer
    do_HEAD = answer


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128

    def handle_error(self, request, client_address):
        pass  # clients that hang up early are part of the tests


class Server6(Server):
    address_family = socket.AF_INET6


def main():
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 0
    address = sys.argv[2] if len(sys.argv) > 2 else "127.0.0.1"
    server = (Server6 if ":" in address else Server)((address, port), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
