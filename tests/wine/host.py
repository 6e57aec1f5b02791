#!/usr/bin/env python3
"""Starts Linux programs for the Windows build of the tests, which runs under Wine.

Listens on 127.0.0.1 and prints "PORT <n>". Each connection asks for one program: its arguments, each
ending in a NUL byte, then one NUL more. The program starts with its standard output sent back over the
connection; its end ends the answer (the write side is shut). When the test half-closes its side, the
program gets SIGTERM (SIGKILL after 5 s), and the connection closes once it has ended. Used for the FTP
test servers, pdftotext and chown (tests/support/HostProcess.cpp).
"""
import os
import signal
import socket
import subprocess
import sys
import threading


def serve(conn):
    with conn:
        request = b""
        while not request.endswith(b"\0\0"):
            piece = conn.recv(65536)
            if not piece:
                return
            request += piece
        argv = [os.fsdecode(a) for a in request[:-2].split(b"\0")]
        try:
            proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                    start_new_session=True)
        except OSError as e:
            sys.stderr.write("host.py: cannot start %r: %s\n" % (argv, e))
            conn.shutdown(socket.SHUT_WR)
            drain(conn)
            return

        def copy_output():
            try:
                while True:
                    data = proc.stdout.read1(65536)
                    if not data:
                        break
                    conn.sendall(data)
                conn.shutdown(socket.SHUT_WR)
            except OSError:
                pass

        copier = threading.Thread(target=copy_output, daemon=True)
        copier.start()
        drain(conn)
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
        copier.join()
        proc.stdout.close()


def drain(conn):
    try:
        while conn.recv(65536):
            pass
    except OSError:
        pass


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
