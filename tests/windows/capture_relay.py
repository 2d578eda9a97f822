#!/usr/bin/env python3
"""The smoke run's capturing peer: takes the program's connections on
127.0.0.1:PORT, writes what the program sent on the n-th connection to
DIR/request-n and relays each connection to the study server's port
BACKEND. With CERT (the server's certificate and key) and CA, both sides are
TLS: the program meets the server's certificate, and the relay checks the
server's against CA as the program would.

    capture_relay.py PORT BACKEND DIR [CERT CA]

Writes DIR/ready once it listens; ends when its standard input closes."""
import os
import socket
import ssl
import sys
import threading

port, backend, folder = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
context = upstream_context = None
if len(sys.argv) > 5:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[4])
    upstream_context = ssl.create_default_context(cafile=sys.argv[5])

listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", port))
listener.listen(8)


def pump(source, sink, record=None):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            if record:
                record.write(data)
                record.flush()
            sink.sendall(data)
        # The request's end reaches the server as the program's half-close.
        if record:
            sink.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def serve(client, n):
    try:
        client.settimeout(120)
        if context:
            client = context.wrap_socket(client, server_side=True)
        server = socket.create_connection(("127.0.0.1", backend), timeout=120)
        if upstream_context:
            server = upstream_context.wrap_socket(server, server_hostname="localhost")
    except OSError as e:
        with open(os.path.join(folder, f"error-{n}"), "w") as f:
            f.write(f"{e}\n")
        client.close()
        return
    with open(os.path.join(folder, f"request-{n}"), "wb") as record:
        upstream = threading.Thread(target=pump, args=(client, server, record), daemon=True)
        upstream.start()
        pump(server, client)
        # The answer's end reaches the program as the connection's end.
        try:
            client.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        upstream.join(120)
    for s in (client, server):
        try:
            s.close()
        except OSError:
            pass


def accept():
    n = 0
    while True:
        client, _ = listener.accept()
        n += 1
        threading.Thread(target=serve, args=(client, n), daemon=True).start()


threading.Thread(target=accept, daemon=True).start()
open(os.path.join(folder, "ready"), "w").close()
sys.stdin.read()
