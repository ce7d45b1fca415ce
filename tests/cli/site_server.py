#!/usr/bin/env python3
"""A small site for the command-line harvester's tests: serves a directory over HTTP/1.0 on
127.0.0.1 and logs each request's path, Referer and User-Agent (tab-separated) to a file.

  /flaky/NAME  answers 503 (Retry-After: 0) to the first request, then serves NAME
  /slow/NAME   serves NAME in 4 KiB pieces, 50 ms apart, with an ETag; a Range request from a
               byte on is answered with the rest (206)

Usage: site_server.py ROOT PORT LOG
"""
import http.server
import os
import sys
import time

root, port, log = sys.argv[1], int(sys.argv[2]), sys.argv[3]
flaky_seen = set()


class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=root, **kwargs)

    def log_message(self, *args):
        pass

    def note(self):
        with open(log, "a") as f:
            f.write("%s\t%s\t%s\t%s\n" % (self.path, self.headers.get("Referer", ""),
                                          self.headers.get("User-Agent", ""), self.headers.get("Range", "")))

    def do_GET(self):
        self.note()
        if self.path.startswith("/flaky/"):
            name = self.path[len("/flaky/"):]
            if name not in flaky_seen:
                flaky_seen.add(name)
                self.send_response(503)
                self.send_header("Retry-After", "0")
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.path = "/" + name
        if self.path.startswith("/slow/"):
            path = os.path.join(root, self.path[len("/slow/"):])
            with open(path, "rb") as f:
                data = f.read()
            start = 0
            wanted = self.headers.get("Range", "")
            if wanted.startswith("bytes=") and wanted.endswith("-"):
                start = min(int(wanted[len("bytes="):-1]), len(data))
            self.send_response(206 if start else 200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("ETag", '"slow-1"')
            if start:
                self.send_header("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))
            self.send_header("Content-Length", str(len(data) - start))
            self.end_headers()
            data = data[start:]
            try:
                for i in range(0, len(data), 4096):
                    self.wfile.write(data[i:i + 4096])
                    self.wfile.flush()
                    time.sleep(0.05)
            except (BrokenPipeError, ConnectionResetError):
                pass  # the client was killed on purpose
            return
        super().do_GET()


http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler).serve_forever()
