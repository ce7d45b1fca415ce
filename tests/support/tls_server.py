#!/usr/bin/env python3
"""A small HTTP/1.0 server on 127.0.0.1 for the https tests, over TLS (or plain with --plain).

Serves the files under --root, plus a few scripted paths:
  /echo...                      200, the body is the request's header block as received
  /redirect?to=URL[&cookie=V]   302 to URL, with "Set-Cookie: V" when given
  /notify/PATH                  the file PATH, then close_notify (waiting for the client's reply)
  /notify-hold/PATH             the same, then the connection stays open until the client closes it
  /slow/PATH                    the file PATH in small pieces with pauses, for Stop tests
  /cut/PATH                     announces the whole file PATH, sends its first half, closes
  /nolength/PATH                the file PATH without a Content-Length line
  /nolength-notify/PATH         the same, then close_notify
  /badrecord/PATH               half of the file PATH without a length, then a broken record
Other connections end without close_notify, as many servers do.

With --stall it accepts connections and never says anything (a stalled handshake).
The chosen port is written to --port-file once the server listens.
"""
import argparse
import os
import socket
import ssl
import threading
import time
import urllib.parse
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer


class Handler(SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def setup(self):
        if isinstance(self.request, ssl.SSLSocket):
            try:
                self.request.do_handshake()
            except (ssl.SSLError, OSError):
                self.handshake_failed = True
        super().setup()

    def handle(self):
        if getattr(self, "handshake_failed", False):
            return
        try:
            super().handle()
        except (ssl.SSLError, OSError):
            pass

    def send_bytes(self, code, body, extra=()):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path.startswith("/echo"):
            head = self.requestline + "\r\n" + str(self.headers).replace("\n", "\r\n")
            self.send_bytes(200, head.encode("latin-1"))
        elif url.path == "/redirect":
            query = urllib.parse.parse_qs(url.query)
            extra = [("Location", query["to"][0])]
            if "cookie" in query:
                extra.append(("Set-Cookie", query["cookie"][0]))
            self.send_bytes(302, b"moved", extra)
        elif url.path.startswith("/notify/") or url.path.startswith("/notify-hold/"):
            hold = url.path.startswith("/notify-hold/")
            self.path = url.path[url.path.index("/", 1):]
            super().do_GET()
            self.wfile.flush()
            if isinstance(self.request, ssl.SSLSocket):
                try:
                    raw = self.request.unwrap()  # close_notify, then the client's answer
                    if hold:
                        raw.settimeout(60)
                        raw.recv(1)  # the connection stays open until the client closes it
                except (ssl.SSLError, OSError):
                    pass
        elif url.path.split("/")[1] in ("cut", "nolength", "nolength-notify", "badrecord"):
            kind = url.path.split("/")[1]
            with open(os.path.join(self.directory, url.path[len(kind) + 2:]), "rb") as f:
                body = f.read()
            self.send_response(200)
            if kind == "cut":
                self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body if kind.startswith("nolength") else body[:len(body) // 2])
            self.wfile.flush()
            if kind == "badrecord":
                # An application-data record that no key decrypts.
                os.write(self.request.fileno(), b"\x17\x03\x03\x00\x40" + bytes(64))
            elif kind == "nolength-notify":
                try:
                    self.request.unwrap()
                except (ssl.SSLError, OSError):
                    pass
        elif url.path.startswith("/slow/"):
            with open(os.path.join(self.directory, url.path[len("/slow/"):]), "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            for i in range(0, len(body), 4096):
                self.wfile.write(body[i:i + 4096])
                self.wfile.flush()
                time.sleep(0.05)
        else:
            super().do_GET()


class Server(ThreadingHTTPServer):
    daemon_threads = True
    context = None

    def get_request(self):
        sock, address = self.socket.accept()
        if self.context is not None:
            # The handshake runs on the connection's own thread (see Handler.setup).
            sock = self.context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address


def stall(listener):
    held = []
    while True:
        conn, _ = listener.accept()
        held.append(conn)  # kept open, never answered


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", default=".")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--plain", action="store_true")
    parser.add_argument("--stall", action="store_true")
    args = parser.parse_args()

    if args.stall:
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        port = listener.getsockname()[1]
        serve = lambda: stall(listener)
    else:
        def handler(*a, **k):
            return Handler(*a, directory=args.root, **k)
        server = Server(("127.0.0.1", 0), handler)
        if not args.plain:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(args.cert, args.key)
            server.context = context
        port = server.server_address[1]
        serve = server.serve_forever
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(port))
    os.replace(tmp, args.port_file)
    serve()


if __name__ == "__main__":
    main()
