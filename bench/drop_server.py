#!/usr/bin/env python3
"""Serves one file over HTTP/1.1 on 127.0.0.1 with Range and If-Range (strong ETag); after
"GET /reset" the next full or ranged answer is cut once half way through its body (the connection
closes). For the drop benchmark:  drop_server.py FILE PORT"""
import os
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

path, port = sys.argv[1], int(sys.argv[2])
size = os.path.getsize(path)
etag = '"drop-%d"' % size
state = {"cut": False}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path == "/reset":
            state["cut"] = True
            self.send_response(204)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        start = 0
        rng = self.headers.get("Range", "")
        if rng.startswith("bytes=") and self.headers.get("If-Range", etag) == etag:
            start = int(rng[6:].split("-")[0] or 0)
        end = size - 1
        if rng.endswith("-0") or rng == "bytes=0-0":
            end = start
        self.send_response(206 if rng else 200)
        self.send_header("ETag", etag)
        self.send_header("Content-Length", str(end - start + 1))
        if rng:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        self.end_headers()
        cut = state["cut"] and end > start
        state["cut"] = False
        limit = start + (end - start + 1) // 2 if cut else end + 1
        with open(path, "rb") as f:
            f.seek(start)
            left = limit - start
            while left > 0:
                chunk = f.read(min(left, 1 << 20))
                self.wfile.write(chunk)
                left -= len(chunk)
        if cut:
            self.wfile.flush()
            self.close_connection = True


ThreadingHTTPServer(("127.0.0.1", port), Handler).serve_forever()
