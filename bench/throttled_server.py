#!/usr/bin/env python3
"""HTTP/1.0 file server on 127.0.0.1 for the download benchmarks.
--rate N limits every connection to N bytes per second (0 = unlimited); --silent accepts
connections and never answers. Prints the port on its first line."""
import argparse, os, socket, threading, time

def serve(conn, root, rate):
    try:
        req = b""
        while b"\r\n\r\n" not in req:
            chunk = conn.recv(4096)
            if not chunk:
                return
            req += chunk
        path = req.split(b" ")[1].decode("latin-1").lstrip("/")
        full = os.path.join(root, os.path.basename(path))
        if not os.path.isfile(full):
            conn.sendall(b"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")
            return
        size = os.path.getsize(full)
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: %d\r\n\r\n" % size)
        with open(full, "rb") as f:
            if rate <= 0:
                conn.sendfile(f)
                return
            start = time.monotonic()
            sent = 0
            block = 64 * 1024
            while True:
                data = f.read(block)
                if not data:
                    break
                conn.sendall(data)
                sent += len(data)
                ahead = sent / rate - (time.monotonic() - start)
                if ahead > 0:
                    time.sleep(ahead)
    except OSError:
        pass
    finally:
        conn.close()

def hold(conn, stop):
    stop.wait()
    conn.close()

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", default=".")
    ap.add_argument("--rate", type=int, default=0)
    ap.add_argument("--silent", action="store_true")
    a = ap.parse_args()
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(64)
    print(s.getsockname()[1], flush=True)
    stop = threading.Event()
    while True:
        conn, _ = s.accept()
        target = (lambda c=conn: hold(c, stop)) if a.silent else (lambda c=conn: serve(c, a.dir, a.rate))
        threading.Thread(target=target, daemon=True).start()

if __name__ == "__main__":
    main()
