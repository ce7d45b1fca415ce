#!/usr/bin/env python3
"""A tiny HTTP/1.0 file server for the capture benchmark: answers GET with the file and closes.
The body goes out with sendfile(), so the server is not what limits the clients.

usage: capture_server.py ROOT PORT
"""
import os
import socket
import sys
import threading


def serve(conn, root):
    with conn:
        request = b""
        while b"\r\n\r\n" not in request:
            chunk = conn.recv(4096)
            if not chunk:
                return
            request += chunk
        path = request.split(b" ")[1].decode("latin-1").lstrip("/")
        name = os.path.join(root, os.path.basename(path))
        try:
            f = open(name, "rb")
        except OSError:
            conn.sendall(b"HTTP/1.0 404 Not Found\r\n\r\n")
            return
        with f:
            size = os.fstat(f.fileno()).st_size
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % size)
            offset = 0
            while offset < size:
                sent = os.sendfile(conn.fileno(), f.fileno(), offset, size - offset)
                if sent == 0:
                    break
                offset += sent


def main():
    root, port = sys.argv[1], int(sys.argv[2])
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(16)
    print("ready", flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, root), daemon=True).start()


if __name__ == "__main__":
    main()
