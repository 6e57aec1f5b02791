#!/usr/bin/python3
"""FTP server for the tests and the demo station: pyftpdlib on 127.0.0.1 over a root folder.

Prints "PORT <n>" once it listens. With --unanswered it only holds a port whose connections never
complete (a full accept queue that it never accepts from), as an address that does not answer. With --telnet it reads commands as ProFTPD does: byte 0xFF is the
Telnet IAC, so IAC IAC is one 0xFF, IAC DM and IAC IP vanish, and IAC WILL/WONT/DO/DONT leave the command
unanswered; a CWD that fails names the path in its reply. Every command line it receives is appended to the log file as the
raw bytes the client sent. Names are Windows-1251 bytes: they pass through unchanged (surrogateescape)
in both directions.

Fault hooks come from a JSON file that is read again before each command:
  {"gen": 1, "faults": [{"cmd": "CWD", "arg": "sutko", "action": "drop", "times": 1}, ...]}
  cmd     command name (upper case), or "CONNECT" for a new control connection
  arg     optional substring of the argument
  action  "drop"  close the control connection without an answer
          "hang"  never answer
          "delay" run the command "seconds" later
          "reply" answer with "code text" instead of running the command
          "stall" answer RETR with 150 and then never send the data
          "cut"   answer RETR with 150, send half the file, close both connections;
                  answer STOR with 150 and close both connections
          "short" send half the file as if it were all of it (150, the data, 226)
          "many"  answer MLSD or LIST with "count" directories obj0000000, obj0000001, ... that are
                  not on the disk (the benchmarks' large object lists)
          "late-end" run the command; its final reply (226) comes "seconds" after the data, as
                  (with "announce": its 150 names the file's size, as vsftpd's and ProFTPD's do)
                  vsftpd's does a round trip late
          "close-after" run the command, then close the idle control connection without a word
                  (the log then gets the line "-- closed")
          "swallow" answer AUTH with 234 and then read everything and answer nothing (a TLS
                  handshake that never gets its answer)
          "alone" run the command, and drop the commands that came with it in the same read (a
                  controller that takes one command at a time); dropped ones are not logged
  times   optional: how many matches the fault acts on (counted per "gen")
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

from faults import Faults


class LocalListTimesFS(AbstractedFS):
    """LIST shows local times like most servers; MLSD keeps UTC as RFC 3659 asks."""

    def format_list(self, basedir, listing, ignore_err=True):
        # Made lazily as a large STAT reply goes out, while later commands run: local times only
        # while a line is made, so that an MDTM meanwhile keeps UTC.
        lines = super().format_list(basedir, listing, ignore_err)
        while True:
            saved = self.cmd_channel.use_gmt_times
            self.cmd_channel.use_gmt_times = False
            try:
                line = next(lines)
            except StopIteration:
                return
            finally:
                self.cmd_channel.use_gmt_times = saved
            yield line


class Handler(FTPHandler):
    unicode_errors = "surrogateescape"
    auth_failed_timeout = 0
    log_path = None
    faults = None
    telnet = False
    late_end = None  # seconds the next 226 waits (fault "late-end")
    announce = None  # the size the next 125/150 names (fault "late-end" with "announce")
    swallowing = False  # fault "swallow": everything read from now on is dropped
    alone = False  # fault "alone": the rest of the current read is dropped

    def handle_read(self):
        self.alone = False
        super().handle_read()

    def collect_incoming_data(self, data):
        if not self.swallowing:
            super().collect_incoming_data(data)

    def push(self, s):
        # Replies carry names as raw bytes, like the listings.
        if isinstance(s, str):
            s = s.encode("utf8", self.unicode_errors)
        super(FTPHandler, self).push(s)

    def handle(self):
        fault = self.faults.match("CONNECT", "")
        if fault and fault.get("action") == "hang":
            return  # accepted, never greeted
        if fault and fault.get("action") == "drop":
            self.close()
            return
        super().handle()

    def respond(self, resp, **kw):
        if self.announce is not None and resp[:4] in ("125 ", "150 "):
            resp, self.announce = "150 Opening BINARY mode data connection (%d bytes)." % self.announce, None
        if self.late_end is not None and resp.startswith("226"):
            late, self.late_end = self.late_end, None
            self.ioloop.call_later(late, lambda: FTPHandler.respond(self, resp, **kw))
            return
        FTPHandler.respond(self, resp, **kw)

    def close_and_log(self):
        self.close()
        if self.log_path:
            with open(self.log_path, "ab") as log:
                log.write(b"-- closed\n")

    def found_terminator(self):
        raw = b"".join(self._in_buffer)
        if self.alone:
            self._in_buffer = []
            self._in_buffer_len = 0
            return
        if self.log_path:
            with open(self.log_path, "ab") as log:
                log.write(raw + b"\n")
        if self.telnet:
            line = telnet_filter(raw)
            if line is None:
                self._in_buffer = []
                self._in_buffer_len = 0
                return  # waits for an option that never comes, as ProFTPD does
            self._in_buffer = [line]
        super().found_terminator()

    def pre_process_command(self, line, cmd, arg):
        fault = self.faults.match(cmd, arg)
        if fault:
            action = fault.get("action")
            if action == "drop":
                self.close()
                return
            if action == "hang":
                return
            if action == "delay":
                # The command runs, late.
                self.ioloop.call_later(fault.get("seconds", 1.0),
                                       lambda: FTPHandler.pre_process_command(self, line, cmd, arg))
                return
            if action == "alone":
                self.alone = True
                return FTPHandler.pre_process_command(self, line, cmd, arg)
            if action == "swallow":
                self.respond("234 AUTH TLS successful.")
                self.swallowing = True
                return
            if action == "reply":
                self.respond("%d %s" % (fault.get("code", 550), fault.get("text", "Refused.")))
                return
            if action == "cut" and cmd == "STOR":
                # The upload is accepted, then both connections close before anything is stored.
                self.respond("150 File status okay. About to open data connection.")
                self.close()
                return
            if action in ("cut", "short") and cmd == "RETR":
                with open(self.fs.ftp2fs(self.fs.ftpnorm(arg)), "rb") as f:
                    half = f.read()
                half = half[: len(half) // 2]
                if action == "short":
                    # Sent as a whole file is: the data connection closes and 226 follows.
                    self.push_dtp_data(half, isproducer=False, cmd="RETR")
                    return
                # Half of the file, then both connections close without a final reply.
                self.respond("150 File status okay. About to open data connection.")
                if self.data_channel is not None:
                    self.data_channel.socket.setblocking(True)
                    self.data_channel.socket.sendall(half)
                self.close()
                return
            if action == "many" and cmd in ("MLSD", "LIST"):
                form = ("type=dir;modify=20090305110709; obj%07d\r\n" if cmd == "MLSD"
                        else "drwxr-xr-x 2 op op 0 Mar  5  2009 obj%07d\r\n")
                data = "".join(form % i for i in range(fault.get("count", 1000))).encode()
                self.push_dtp_data(data, isproducer=False, cmd=cmd)
                return
            if action == "stall" and cmd == "RETR":
                self.respond("150 File status okay. About to open data connection.")
                return
            if action == "late-end":
                self.late_end = fault.get("seconds", 1.0)
                if fault.get("announce") and cmd == "RETR":
                    self.announce = os.path.getsize(self.fs.ftp2fs(self.fs.ftpnorm(arg)))
                super().pre_process_command(line, cmd, arg)
                return
            if action == "close-after":
                super().pre_process_command(line, cmd, arg)
                # Idle first: the client has finished its request when the server goes.
                self.ioloop.call_later(1.5, self.close_and_log)
                return
        if self.telnet and cmd == "CWD" and arg:
            path = self.fs.ftp2fs(self.fs.ftpnorm(arg))
            if not self.fs.isdir(path):
                self.respond("550 %s: No such file or directory" % arg)
                return
        super().pre_process_command(line, cmd, arg)


IAC, DM, IP, WILL, DONT = 0xFF, 0xF2, 0xF4, 0xFB, 0xFE


def telnet_filter(raw):
    """The command line as a Telnet-reading server sees it; None when it waits for more."""
    out = bytearray()
    i = 0
    while i < len(raw):
        b = raw[i]
        if b != IAC or i + 1 >= len(raw):
            out.append(b)
            i += 1
            continue
        nxt = raw[i + 1]
        if nxt == IAC:
            out.append(IAC)
        elif nxt in (DM, IP):
            pass
        elif WILL <= nxt <= DONT:
            return None
        else:
            out += bytes((b, nxt))
        i += 2
    return bytes(out)


def unanswered(host):
    import socket
    import time
    listener = socket.socket()
    listener.bind((host, 0))
    listener.listen(0)
    port = listener.getsockname()[1]
    # The kernel drops the handshakes of new connections while the accept queue is full.
    fillers = []
    for _ in range(3):
        s = socket.socket()
        s.setblocking(False)
        try:
            s.connect((host, port))
        except BlockingIOError:
            pass
        fillers.append(s)
    time.sleep(0.1)
    print("PORT %d" % port, flush=True)
    parent = os.getppid()
    while os.getppid() == parent:
        time.sleep(0.5)
    sys.exit(0)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--log")
    p.add_argument("--faults")
    p.add_argument("--user", default="op")
    p.add_argument("--password", default="secret")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--host", default="127.0.0.1", help="address to listen on (a delayed link's own)")
    p.add_argument("--home", default="", help="login directory below the root")
    p.add_argument("--no-mlsd", action="store_true", help="no MLSD/MLST, like vsftpd")
    p.add_argument("--telnet", action="store_true", help="read 0xFF in commands as Telnet IAC, like ProFTPD")
    p.add_argument("--idle", type=float, default=0, help="idle time-out in seconds (421 and close)")
    p.add_argument("--max-connections", type=int, default=0,
                   help="connections at once; more are greeted with 421 and closed")
    p.add_argument("--unanswered", action="store_true", help="a port whose connections never complete")
    a = p.parse_args()
    if a.unanswered:
        unanswered(a.host)

    root = os.path.abspath(a.root)
    authorizer = DummyAuthorizer()
    authorizer.add_user(a.user, a.password, root, perm="elradfmwMT")

    Handler.authorizer = authorizer
    Handler.abstracted_fs = LocalListTimesFS
    Handler.log_path = a.log
    Handler.faults = Faults(a.faults)
    Handler.banner = "ostraftp test server ready."
    Handler.passive_ports = None
    Handler.telnet = a.telnet
    if a.idle > 0:
        Handler.timeout = a.idle
    if a.no_mlsd:
        Handler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k not in ("MLSD", "MLST")}
    if a.home:
        home = a.home

        class HomeHandler(Handler):
            def on_login(self, username):
                self.fs.cwd = home

        handler = HomeHandler
    else:
        handler = Handler

    import logging
    logging.basicConfig(level=logging.CRITICAL)
    server = FTPServer((a.host, a.port), handler)
    server.max_cons = 64
    server.max_cons_per_ip = a.max_connections  # control connections only; 0 = no limit
    # The server ends with the test (or demo) that started it, even when that process dies.
    parent = os.getppid()

    def watch_parent():
        if os.getppid() != parent:
            os._exit(0)

    server.ioloop.call_every(0.5, watch_parent)
    print("PORT %d" % server.address[1], flush=True)
    try:
        # A short poll keeps the idle timers running while no client sends anything.
        server.serve_forever(timeout=0.05, handle_exit=True)
    finally:
        server.close_all()


if __name__ == "__main__":
    sys.exit(main())
