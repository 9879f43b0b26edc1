"""Real FTP daemons from Debian for bench/upload/run: vsftpd, proftpd and
pure-ftpd, plain FTP. Each package is fetched with `apt-get download` and
unpacked with `dpkg -x` into the benchmark's temporary folder (never
installed); the daemon runs there on a free loopback port with a
configuration file of its own, as root, never as the system's service.
"""

import glob
import os
import pwd
import shutil
import socket
import subprocess
import time

USER, PASSWORD = "tester", "secret"

# What each daemon needs from Debian 12 beyond a minimal system.
DAEMON_PACKAGES = {
    "vsftpd": ["vsftpd", "libwrap0"],
    "proftpd": ["proftpd-core", "libhiredis0.14", "libmemcached11", "libmemcachedutil2",
                "libhashkit2", "libpcre2-posix3"],
    "pure-ftpd": ["pure-ftpd"],
}
# The daemons drop their rights to this account (its home must exist).
DAEMON_ACCOUNT = "daemon"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port, process):
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline and process.poll() is None:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1) as probe:
                if probe.recv(64).startswith(b"220"):
                    return True
        except OSError:
            time.sleep(0.1)
    return False


def unpack_daemon(name, folder):
    """Fetches and unpacks the daemon's packages; returns the unpacked root."""
    debs = os.path.join(folder, "debs")
    root = os.path.join(folder, "root")
    os.makedirs(debs)
    fetched = subprocess.run(["apt-get", "download"] + DAEMON_PACKAGES[name], cwd=debs,
                             capture_output=True, text=True)
    if fetched.returncode != 0:
        raise RuntimeError("apt-get download %s failed: %s" % (name, fetched.stderr.strip()))
    for deb in sorted(glob.glob(os.path.join(debs, "*.deb"))):
        subprocess.run(["dpkg", "-x", deb, root], check=True)
    return root


def start_daemon(name, folder, port):
    """Starts the daemon from its unpacked package; returns (process, user,
    password, folder uploads go to on the server, that folder on disk)."""
    root = unpack_daemon(name, folder)
    env = dict(os.environ, LD_LIBRARY_PATH=os.path.join(root, "usr/lib/x86_64-linux-gnu"))
    home = os.path.join(folder, "home")
    os.makedirs(home)
    account = DAEMON_ACCOUNT
    if name == "vsftpd":
        # Anonymous users only (local ones need PAM); the chroot itself must
        # not be writable, the upload folder is.
        os.chmod(home, 0o755)
        upload = os.path.join(home, "up")
        os.mkdir(upload)
        shutil.chown(upload, account)
        empty = os.path.join(folder, "empty")
        os.mkdir(empty)
        config = os.path.join(folder, "vsftpd.conf")
        with open(config, "w") as out:
            out.write("\n".join([
                "listen=YES", "listen_address=127.0.0.1", "listen_port=%d" % port,
                "background=NO", "anonymous_enable=YES", "local_enable=NO", "write_enable=YES",
                "anon_upload_enable=YES", "anon_other_write_enable=YES",
                "anon_root=" + home, "ftp_username=" + account, "no_anon_password=YES",
                "secure_chroot_dir=" + empty, "anon_umask=022", "xferlog_enable=NO",
                "seccomp_sandbox=NO", ""]))
        command = [os.path.join(root, "usr/sbin/vsftpd"), config]
        login = ("anonymous", "bench", "up/", upload)
    elif name == "proftpd":
        shutil.chown(home, account)
        run = os.path.join(folder, "run")
        os.mkdir(run)
        users = os.path.join(folder, "passwd")
        hashed = subprocess.run(["openssl", "passwd", "-6", PASSWORD], capture_output=True,
                                text=True, check=True).stdout.strip()
        entry = pwd.getpwnam(account)
        with open(users, "w") as out:
            out.write("%s:%s:%d:%d::%s:/bin/sh\n"
                      % (USER, hashed, entry.pw_uid, entry.pw_gid, home))
        os.chmod(users, 0o600)
        config = os.path.join(folder, "proftpd.conf")
        with open(config, "w") as out:
            out.write("\n".join([
                "ServerType standalone", "DefaultAddress 127.0.0.1", "Port %d" % port,
                "User " + account, "Group " + account, "UseIPv6 off", "AuthUserFile " + users,
                "AuthOrder mod_auth_file.c", "RequireValidShell off",
                "PidFile %s/proftpd.pid" % run, "ScoreboardFile %s/scoreboard" % run,
                "DelayTable none", "WtmpLog off", "UseReverseDNS off", "DefaultRoot ~",
                "AllowOverwrite on", "TransferLog none", "SystemLog %s/system.log" % run,
                "<Limit ALL>", "  AllowAll", "</Limit>", ""]))
        command = [os.path.join(root, "usr/sbin/proftpd"), "-n", "-q", "-c", config]
        login = (USER, PASSWORD, "", home)
    else:
        shutil.chown(home, account)
        users = os.path.join(folder, "passwd")
        database = os.path.join(folder, "pdb")
        subprocess.run([os.path.join(root, "usr/bin/pure-pw"), "useradd", USER, "-u", account,
                        "-g", account, "-d", home, "-f", users, "-m", "-F", database],
                       input="%s\n%s\n" % (PASSWORD, PASSWORD), text=True, env=env,
                       capture_output=True, check=True)
        command = [os.path.join(root, "usr/sbin/pure-ftpd"), "-S", "127.0.0.1,%d" % port,
                   "-l", "puredb:" + database, "-E", "-H", "-R"]
        login = (USER, PASSWORD, "", home)
    process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait_for_port(port, process):
        process.kill()
        process.wait()
        raise RuntimeError("%s did not start on port %d" % (name, port))
    return (process,) + login
