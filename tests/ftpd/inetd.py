#!/usr/bin/python3
"""inetd for one server on 127.0.0.1: inetd.py PORT COMMAND... starts COMMAND for every connection
accepted on PORT, with the connection as its standard input and output, as inetd starts in.ftpd."""

import signal
import socket
import subprocess
import sys


def main():
    port = int(sys.argv[1])
    command = sys.argv[2:]
    signal.signal(signal.SIGCHLD, signal.SIG_IGN)  # the servers' processes are never waited for
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", port))
    s.listen(64)
    while True:
        conn, _ = s.accept()
        subprocess.Popen(command, stdin=conn, stdout=conn, stderr=subprocess.DEVNULL)
        conn.close()


if __name__ == "__main__":
    main()
