#!/usr/bin/python3
"""A real FTP server for the tests: ProFTPD, vsftpd, Pure-FTPd or inetutils-ftpd on 127.0.0.1 over a root folder.

The server binaries come unpacked from Debian's packages (scripts/fetch-ftp-servers). In front of the
server runs a small relay on its own port: it logs every command line the client sends, as raw bytes,
and applies the fault hooks of ftpd.py (drop, hang, reply, close-after, and CONNECT drop/hang), so the
tests read the same command log and use the same faults whatever server answers. Data connections go
from the client to the server directly (EPSV and PASV name the server's own ports on 127.0.0.1).

Prints "PORT <n>" once both listen, or "SKIP <reason>" when this server cannot run here.

The servers run unprivileged: as the user who runs the tests, or, when that is root, as the system
user "ostraftp-ftp" (created on first use). ProFTPD and vsftpd cannot change their root without root
rights, so their paths are the real paths of the folders; the tests read the prefix from the option
--root. Pure-FTPd's privilege separation needs root for its master process: it runs only when the tests
run as root, and its sessions then run as the test user inside a changed root at --root.

inetutils-ftpd is an inetd server that logs users in from the system's password files and needs root for
that: it runs only as root, behind a small launcher (inetd.py) that starts it for each connection, in a
mount namespace of its own whose /etc/passwd, /etc/shadow and /etc/group name the test user with its
password and a home at --root plus --home; the system's files are never touched. No changed root: its
paths are the real paths of the folders, as for ProFTPD and vsftpd.
"""

import argparse
import fcntl
import os
import pwd
import grp
import signal
import socket
import subprocess
import sys
import threading
import time
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import crypt

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from faults import Faults  # noqa: E402

TEST_USER = "ostraftp-ftp"
HOST = "127.0.0.1"  # --host: a delayed link's own address in its server namespace


def skip(reason):
    print("SKIP " + reason, flush=True)
    sys.exit(0)


def free_port():
    s = socket.socket()
    s.bind((HOST, 0))
    port = s.getsockname()[1]
    s.close()
    return port


def run_user():
    """(uid, gid, name) the server runs as; creates the system test user when the tests run as root."""
    if os.getuid() != 0:
        p = pwd.getpwuid(os.getuid())
        return p.pw_uid, p.pw_gid, p.pw_name
    with open("/tmp/ostraftp-ftp-user.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            pwd.getpwnam(TEST_USER)
        except KeyError:
            subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                            TEST_USER], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    p = pwd.getpwnam(TEST_USER)
    return p.pw_uid, p.pw_gid, p.pw_name


def reachable_copy(servers):
    """The unpacked servers where the test user can run them: a checkout below /root is closed to it."""
    copy = "/tmp/ostraftp-ftp-servers"
    stamp = os.path.join(servers, ".unpacked")
    with open("/tmp/ostraftp-ftp-servers.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            with open(stamp) as f, open(os.path.join(copy, ".unpacked")) as g:
                if f.read() == g.read():
                    return copy
        except OSError:
            pass
        subprocess.run(["rm", "-rf", copy], check=True)
        subprocess.run(["cp", "-a", servers, copy], check=True)
        os.chmod(copy, 0o755)
    return copy


def give_tree(path, uid, gid):
    """The server's user owns the tree it serves, and can reach it."""
    if os.getuid() != 0:
        return
    for top, dirs, files in os.walk(path):
        for n in dirs + files:
            os.lchown(os.path.join(top, n), uid, gid)
    os.lchown(path, uid, gid)
    p = os.path.dirname(os.path.abspath(path))
    while p != "/":
        os.chmod(p, os.stat(p).st_mode | 0o011)
        p = os.path.dirname(p)


def proftpd(a, bins, state, port, uid, gid, name):
    group = grp.getgrgid(gid).gr_name
    home = os.fsencode(a.root) + a.home
    hashed = crypt.crypt(a.password, crypt.mksalt(crypt.METHOD_SHA512, rounds=1000))
    with open(os.path.join(state, "passwd"), "wb") as f:
        f.write(b"%s:%s:%d:%d::%s:/bin/sh\n" % (a.user.encode(), hashed.encode(), uid, gid, home))
    with open(os.path.join(state, "group"), "wb") as f:
        f.write(b"%s:x:%d:\n" % (group.encode(), gid))
    for n in ("passwd", "group"):
        os.chmod(os.path.join(state, n), 0o600)  # ProFTPD refuses readable ones
    conf = f"""ServerName "ostraftp test"
ServerType standalone
DefaultServer on
Port {port}
DefaultAddress {HOST}
SocketBindTight on
UseIPv6 off
User {name}
Group {group}
PidFile {state}/proftpd.pid
ScoreboardFile {state}/proftpd.scoreboard
<IfModule mod_ctrls.c>
  ControlsEngine off
  ControlsSocket {state}/proftpd.sock
</IfModule>
DelayTable none
WtmpLog off
TransferLog none
SystemLog {state}/proftpd.log
AuthOrder mod_auth_file.c
AuthUserFile {state}/passwd
AuthGroupFile {state}/group
RequireValidShell off
UseFtpUsers off
UseReverseDNS off
TimesGMT off
AllowOverwrite on
Umask 022
MaxInstances 64
TimeoutIdle {max(1, int(a.idle)) if a.idle > 0 else 600}
"""
    if a.tls != "none":
        conf += f"""ModulePath {bins}/usr/lib/proftpd
LoadModule mod_tls.c
TLSEngine on
TLSRSACertificateFile {a.cert}
TLSRSACertificateKeyFile {a.cert}
TLSRequired {"on" if a.tls == "require" else "off"}
TLSVerifyClient off
TLSLog {state}/tls.log
"""
        if a.tls12_cipher:
            conf += "TLSCipherSuite %s\n" % a.tls12_cipher
        if a.no_tls13:
            conf += "TLSProtocol TLSv1.2\n"
    path = os.path.join(state, "proftpd.conf")
    with open(path, "w") as f:
        f.write(conf)
    return [os.path.join(bins, "usr/sbin/proftpd"), "-n", "-q", "-c", path]


def vsftpd(a, bins, state, port, uid, gid, name):
    # Without root vsftpd serves anonymous logins only ("ftp" or "anonymous", any password).
    conf = f"""listen=YES
listen_ipv6=NO
listen_address={HOST}
listen_port={port}
background=NO
run_as_launching_user=YES
ftp_username={name}
nopriv_user={name}
anonymous_enable=YES
local_enable=NO
no_anon_password=NO
anon_world_readable_only=NO
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
seccomp_sandbox=NO
xferlog_enable=NO
dirmessage_enable=NO
use_localtime=YES
max_per_ip=0
pasv_promiscuous=YES
idle_session_timeout={max(1, int(a.idle)) if a.idle > 0 else 600}
"""
    if a.tls != "none":
        force = "YES" if a.tls == "require" else "NO"
        conf += f"""ssl_enable=YES
allow_anon_ssl=YES
force_anon_logins_ssl={force}
force_anon_data_ssl={force}
rsa_cert_file={a.cert}
rsa_private_key_file={a.cert}
"""
        if a.tls12_cipher:
            conf += "ssl_ciphers=%s\n" % a.tls12_cipher
    path = os.path.join(state, "vsftpd.conf")
    with open(path, "wb") as f:
        f.write(conf.encode() + b"anon_root=" + os.fsencode(a.root) + a.home + b"\n")
    return [os.path.join(bins, "usr/sbin/vsftpd"), path]


def pureftpd(a, bins, state, port, uid, gid, name):
    if os.getuid() != 0:
        skip("Pure-FTPd: its privilege separation needs root, and the tests run as uid %d" % os.getuid())
    hashed = crypt.crypt(a.password, crypt.mksalt(crypt.METHOD_SHA512, rounds=1000))
    home = os.fsencode(a.root) + b"/." + (a.home or b"/")
    line = b"%s:%s:%d:%d::%s::::::::::::\n" % (a.user.encode(), hashed.encode(), uid, gid, home)
    passwd = os.path.join(state, "pureftpd.passwd")
    pdb = os.path.join(state, "pureftpd.pdb")
    with open(passwd, "wb") as f:
        f.write(line)
    subprocess.run([os.path.join(bins, "usr/bin/pure-pw"), "mkdb", pdb, "-f", passwd], check=True,
                   stdout=subprocess.DEVNULL, env=library_env(bins))
    idle_minutes = max(1, int(a.idle / 60)) if a.idle > 0 else 15
    return [os.path.join(bins, "usr/sbin/pure-ftpd"), "-S", "%s,%d" % (HOST, port), "-l", "puredb:" + pdb,
            "-E", "-H", "-4", "-D", "-u", "1", "-I", str(idle_minutes), "-g", os.path.join(state, "pure.pid")] + \
        ([] if a.tls == "none" else ["-Y", "1" if a.tls == "offer" else "3", "-2", a.cert]) + \
        (["-J", a.tls12_cipher] if a.tls12_cipher else []) + \
        ([] if HOST == "127.0.0.1" else ["-w"])  # behind a delayed link the data comes from another address than the relay


def inetutils(a, bins, state, port, uid, gid, name):
    if os.getuid() != 0:
        skip("inetutils-ftpd: it logs users in from the system's password files, which needs root, and the "
             "tests run as uid %d" % os.getuid())
    # Inside a chroot "/" is no mount point, and a namespace whose mounts could reach the host's is not made.
    probe = subprocess.run(["unshare", "-m", "true"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if probe.returncode:
        why = probe.stderr.decode("utf8", "replace").strip().splitlines()
        skip("inetutils-ftpd: no private mount namespace for its password files can be made here (%s)"
             % (why[-1] if why else "unshare -m failed"))
    hashed = crypt.crypt(a.password, crypt.mksalt(crypt.METHOD_SHA512, rounds=1000))
    home = os.fsencode(a.root) + a.home
    files = {}
    for n, line in (("passwd", b"%s:x:%d:%d::%s:/bin/sh\n" % (a.user.encode(), uid, gid, home)),
                    ("shadow", b"%s:%s:19000:0:99999:7:::\n" % (a.user.encode(), hashed.encode())),
                    ("group", None)):
        with open("/etc/" + n, "rb") as f:
            lines = [x for x in f.read().splitlines(True) if not x.startswith(a.user.encode() + b":")]
        files[n] = os.path.join(state, n)
        with open(files[n], "wb") as f:
            f.write(b"".join(lines) + (line or b""))
        os.chmod(files[n], 0o600 if n == "shadow" else 0o644)
    mounts = " && ".join("mount --bind %s /etc/%s" % (files[n], n) for n in files)
    launcher = os.path.join(os.path.dirname(os.path.abspath(__file__)), "inetd.py")
    server = [os.path.join(bins, "usr/sbin/ftpd"), "-a", "default"]
    if a.idle > 0:
        server += ["-t", str(max(1, int(a.idle)))]
    script = mounts + ' && exec "$@"'
    return ["unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh", "/usr/bin/python3", launcher,
            str(port)] + server


SERVERS = {"proftpd": proftpd, "vsftpd": vsftpd, "pureftpd": pureftpd, "inetutils": inetutils}


def library_env(bins):
    env = dict(os.environ)
    env["LD_LIBRARY_PATH"] = ":".join(os.path.join(bins, d) for d in ("usr/lib/x86_64-linux-gnu",
                                                                     "lib/x86_64-linux-gnu"))
    return env


class Relay:
    def __init__(self, server_port, log_path, faults, capture_path=None):
        self.server_port = server_port
        self.capture_path = capture_path
        self.log_path = log_path
        self.faults = faults
        self.lock = threading.Lock()
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((HOST, 0))
        self.sock.listen(64)
        self.port = self.sock.getsockname()[1]

    def match(self, cmd, arg):
        with self.lock:
            return self.faults.match(cmd, arg)

    def capture(self, data):
        """Every byte the client sends on the control connection, for the checks of what crosses the wire."""
        if self.capture_path:
            with self.lock, open(self.capture_path, "ab") as f:
                f.write(data)

    def log(self, line):
        if self.log_path:
            with self.lock, open(self.log_path, "ab") as f:
                f.write(line + b"\n")

    def serve(self):
        # Woken twice a second: a signal that reached another thread runs its handler only when this
        # one returns from a system call.
        self.sock.settimeout(0.5)
        while True:
            try:
                client, _ = self.sock.accept()
            except socket.timeout:
                continue
            threading.Thread(target=self.session, args=(client,), daemon=True).start()

    def session(self, client):
        fault = self.match("CONNECT", "")
        if fault and fault.get("action") == "drop":
            client.close()
            return
        if fault and fault.get("action") == "hang":
            time.sleep(3600)
            return
        try:
            server = socket.create_connection((HOST, self.server_port))
        except OSError:
            client.close()
            return
        for s in (client, server):
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        state = {"close_after": False, "closed": False, "encrypted": False}
        # A reply is forwarded and read in one step under this lock, and close-after is armed under it:
        # the reply of an earlier command, still being read, can never be taken for the reply it waits for.
        lock = threading.Lock()

        def shut():
            if not state["closed"]:
                state["closed"] = True
                for s in (client, server):
                    try:
                        s.shutdown(socket.SHUT_RDWR)
                    except OSError:
                        pass
                    s.close()

        def replies():
            buf = b""
            try:
                while True:
                    data = server.recv(65536)
                    if not data:
                        break
                    closing = False
                    with lock:
                        buf += data
                        while b"\n" in buf and not state["encrypted"]:
                            line, buf = buf.split(b"\n", 1)
                            final = len(line) >= 4 and line[:3].isdigit() and line[3:4] == b" " and line[:1] != b"1"
                            closing = closing or (final and state["close_after"])
                            # AUTH TLS accepted: the client's next bytes are its handshake (known before
                            # the client can send them).
                            state["encrypted"] = final and line[:3] == b"234"
                        client.sendall(data)
                    if closing:
                        # Idle first: the client has finished its request when the server goes.
                        time.sleep(1.5)
                        shut()
                        self.log(b"-- closed")
                        return
            except OSError:
                pass
            shut()

        threading.Thread(target=replies, daemon=True).start()
        buf = b""
        try:
            while True:
                data = client.recv(65536)
                if not data:
                    break
                self.capture(data)
                if state["encrypted"]:
                    # After AUTH TLS the bytes are TLS records: passed on as they come, logged no more. The
                    # pseudo command TLS stands for the handshake: a drop there cuts it at the client's hello.
                    if not state.get("hello"):
                        state["hello"] = True
                        fault = self.match("TLS", "")
                        if fault and fault.get("action") == "drop":
                            shut()
                            return
                    server.sendall(data)
                    continue
                buf += data
                while b"\n" in buf:
                    raw, buf = buf.split(b"\n", 1)
                    line = raw[:-1] if raw.endswith(b"\r") else raw
                    self.log(line)
                    text = line.decode("utf8", "surrogateescape")
                    cmd = text.split(" ")[0].upper()
                    fault = self.match(cmd, text[len(cmd) + 1:])
                    action = fault.get("action") if fault else None
                    if action == "drop":
                        shut()
                        return
                    if action == "hang":
                        continue
                    if action == "reply":
                        client.sendall(b"%d %s\r\n" % (fault.get("code", 550), fault.get("text", "Refused.").encode()))
                        continue
                    with lock:
                        if action == "close-after":
                            state["close_after"] = True
                        server.sendall(raw + b"\n")
        except OSError:
            pass
        shut()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--kind", required=True, choices=sorted(SERVERS))
    p.add_argument("--servers", required=True, help="folder with the unpacked server packages")
    p.add_argument("--root", required=True)
    p.add_argument("--state", required=True, help="folder for the configuration and the server's files")
    p.add_argument("--home", default="", help="login directory below the root (Windows-1251 bytes)")
    p.add_argument("--user", default="op")
    p.add_argument("--password", default="secret")
    p.add_argument("--log")
    p.add_argument("--faults")
    p.add_argument("--idle", type=float, default=0)
    p.add_argument("--tls", choices=("none", "offer", "require"), default="none",
                   help="explicit FTPS: offered, or required for the login and the data")
    p.add_argument("--cert", help="the server's certificate and key, one PEM file (with --tls)")
    p.add_argument("--tls12-cipher", help="the one TLS 1.2 cipher the server offers (default: its own list)")
    p.add_argument("--no-tls13", action="store_true", help="ProFTPD: TLS 1.2 only")
    p.add_argument("--host", default="127.0.0.1", help="address to listen on (a delayed link's own)")
    p.add_argument("--capture", help="file that receives every byte the client sends on the control connection")
    a = p.parse_args()
    a.home = os.fsencode(a.home)
    global HOST
    HOST = a.host

    binary = {"proftpd": "usr/sbin/proftpd", "vsftpd": "usr/sbin/vsftpd", "pureftpd": "usr/sbin/pure-ftpd",
              "inetutils": "usr/sbin/ftpd"}
    if not os.path.exists(os.path.join(a.servers, binary[a.kind])):
        skip("%s: not unpacked in %s (scripts/fetch-ftp-servers could not fetch it)" % (a.kind, a.servers))

    uid, gid, name = run_user()
    if os.getuid() == 0:
        a.servers = reachable_copy(a.servers)
    os.makedirs(a.state, exist_ok=True)
    give_tree(a.root, uid, gid)
    give_tree(a.state, uid, gid)
    port = free_port()
    argv = SERVERS[a.kind](a, a.servers, a.state, port, uid, gid, name)
    give_tree(a.state, uid, gid)
    # Pure-FTPd and inetutils-ftpd change to the test user themselves once a user logged in.
    drop = a.kind not in ("pureftpd", "inetutils") and os.getuid() == 0

    def child():
        os.setpgid(0, 0)
        if drop:
            os.setgroups([])
            os.setgid(gid)
            os.setuid(uid)
        # The server ends with this launcher.
        import ctypes
        ctypes.CDLL("libc.so.6").prctl(1, signal.SIGKILL)

    out = open(os.path.join(a.state, "server.out"), "wb")
    proc = subprocess.Popen(argv, preexec_fn=child, stdout=out, stderr=subprocess.STDOUT,
                            env=library_env(a.servers), cwd=a.state)

    def stop(*_):
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except OSError:
            pass
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    deadline = time.time() + 10
    while True:
        if proc.poll() is not None:
            with open(os.path.join(a.state, "server.out"), "rb") as f:
                text = f.read().decode("utf8", "replace").strip().replace("\n", " | ")
            skip("%s did not start: %s" % (a.kind, text[-300:]))
        try:
            socket.create_connection((HOST, port), timeout=1).close()
            break
        except OSError:
            if time.time() > deadline:
                stop()
            time.sleep(0.02)

    relay = Relay(port, a.log, Faults(a.faults), a.capture)
    parent = os.getppid()

    def watch():
        while os.getppid() == parent and proc.poll() is None:
            time.sleep(0.3)
        stop()

    threading.Thread(target=watch, daemon=True).start()
    print("PORT %d" % relay.port, flush=True)
    relay.serve()


if __name__ == "__main__":
    main()
