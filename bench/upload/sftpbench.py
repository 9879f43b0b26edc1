"""The SFTP rows of bench/upload/run: the program's client (`ftpupload --trust
SHA256:...`) against `curl -k -T sftp://...`, on the test server (asyncssh,
tests/upload/sftpserver.py) and on OpenSSH's own server, with OpenSSH's `sftp`
tool beside them for reference.

OpenSSH's sshd runs as `sshd -D -f CONFIG` on a free loopback port with a
host key and a configuration of its own in the benchmark's temporary folder,
never as the system's service (as root only: sshd must be started by root).
A password login needs an account: a user of the benchmark's own is made
with `useradd` (its home in the temporary folder) and removed again with
`userdel` when the benchmark ends. The `sftp` tool logs in with a key made for
that user, since it cannot be given a password.
"""

import os
import pwd
import shutil
import socket
import subprocess
import time

from daemons import free_port

USER, PASSWORD = "tester", "secret"
SSHD = "/usr/sbin/sshd"


def start_asyncssh(server_script, home, folder):
    """The test server; returns (process, port, fingerprint)."""
    server = subprocess.Popen(
        ["/usr/bin/python3", server_script, "--home", home, "--key",
         os.path.join(folder, "asyncssh_host_key"), "--user", USER, "--password", PASSWORD,
         "--time-limit", "3600"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    port = server.stdout.readline().strip()
    fingerprint = server.stdout.readline().strip()
    if not port.startswith("PORT ") or not fingerprint.startswith("FINGERPRINT "):
        server.kill()
        raise RuntimeError("the SFTP test server did not start")
    return server, int(port.split()[1]), fingerprint.split()[1]


def host_key_fingerprint(public_key_file):
    out = subprocess.run(["ssh-keygen", "-l", "-E", "sha256", "-f", public_key_file],
                         check=True, capture_output=True, text=True).stdout
    return out.split()[1]


class OpenSshServer:
    """sshd on a loopback port with a user of its own. Use with `with`."""

    def __init__(self, folder):
        self.folder = folder
        self.user = "vtbench%d" % os.getpid()
        self.home = os.path.join(folder, "home")
        self.process = None
        self.made_user = False

    def __enter__(self):
        if os.geteuid() != 0:
            raise RuntimeError("OpenSSH's server rows need root")
        if not os.access(SSHD, os.X_OK) or not shutil.which("sftp"):
            raise RuntimeError("openssh-server or openssh-client is missing")
        os.makedirs(self.folder)
        host_key = os.path.join(self.folder, "host_key")
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", host_key],
                       check=True)
        self.fingerprint = host_key_fingerprint(host_key + ".pub")
        subprocess.run(["useradd", "-M", "-d", self.home, "-s", "/bin/sh", self.user],
                       check=True)
        self.made_user = True
        subprocess.run(["chpasswd"], input="%s:%s\n" % (self.user, PASSWORD), text=True,
                       check=True)
        account = pwd.getpwnam(self.user)
        os.makedirs(os.path.join(self.home, ".ssh"))
        self.client_key = os.path.join(self.folder, "client_key")
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", self.client_key],
                       check=True)
        shutil.copy(self.client_key + ".pub", os.path.join(self.home, ".ssh", "authorized_keys"))
        for root, dirs, files in os.walk(self.home):
            for name in [root] + [os.path.join(root, n) for n in dirs + files]:
                os.chown(name, account.pw_uid, account.pw_gid)
        # sshd's privilege separation wants this folder; Debian's package
        # makes it only when the service starts.
        os.makedirs("/run/sshd", mode=0o755, exist_ok=True)
        self.port = free_port()
        config = os.path.join(self.folder, "sshd_config")
        with open(config, "w") as out:
            out.write("\n".join([
                "Port %d" % self.port, "ListenAddress 127.0.0.1", "HostKey " + host_key,
                "PidFile " + os.path.join(self.folder, "sshd.pid"), "UsePAM no",
                "PasswordAuthentication yes", "KbdInteractiveAuthentication no",
                "PubkeyAuthentication yes", "AuthorizedKeysFile .ssh/authorized_keys",
                "AllowUsers " + self.user, "StrictModes no", "PermitRootLogin no",
                "Subsystem sftp internal-sftp", ""]))
        self.process = subprocess.Popen([SSHD, "-D", "-e", "-f", config],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=open(os.path.join(self.folder, "sshd.log"), "w"))
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline and self.process.poll() is None:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1) as probe:
                    if probe.recv(64).startswith(b"SSH-"):
                        return self
            except OSError:
                time.sleep(0.1)
        self.__exit__(None, None, None)
        raise RuntimeError("sshd did not start")

    def __exit__(self, *exc):
        if self.process is not None:
            self.process.terminate()
            self.process.wait()
            self.process = None
        if self.made_user:
            subprocess.run(["userdel", self.user], check=False)
            self.made_user = False
        return False


def tools(curl, ftpupload, port, user, fingerprint, source, sftp_key=None):
    """The commands for one server: ftpupload, curl, and OpenSSH's sftp tool
    when a key for it is given."""
    commands = {
        "curl": lambda name: [curl, "-sS", "-k", "-u", "%s:%s" % (user, PASSWORD), "-T", source,
                              "sftp://127.0.0.1:%d/~/%s" % (port, name)],
        "ftpupload": lambda name: [ftpupload, "--trust", fingerprint,
                                   "sftp://127.0.0.1:%d" % port, user, PASSWORD, source, name],
    }
    if sftp_key:
        sftp = shutil.which("sftp")

        def openssh(name):
            batch = os.path.join(os.path.dirname(sftp_key), name + ".batch")
            with open(batch, "w") as out:
                out.write('put "%s" "%s"\n' % (source, name))
            return [sftp, "-q", "-b", batch, "-i", sftp_key, "-P", str(port), "-o",
                    "StrictHostKeyChecking=no", "-o", "UserKnownHostsFile=/dev/null", "-o",
                    "LogLevel=ERROR", "%s@127.0.0.1" % user]
        commands["sftp"] = openssh
    return commands
