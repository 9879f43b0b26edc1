"""The TLS rows of bench/upload/run: the program's FTP client against
`curl --ssl-reqd -T` over explicit TLS, on the test server (pyftpdlib) and on
a real daemon, vsftpd, which insists that data connections resume the
control connection's TLS session (require_ssl_reuse=YES), with TLS 1.3 and
with TLS 1.2.

vsftpd is taken from Debian's package with `apt-get download` and unpacked
into the benchmark's temporary folder (`dpkg -x`); it runs there as the user
who started the benchmark, on a free loopback port with a configuration of
its own, never as the system's service. Without the package (no network) its
rows are left out with a note.
"""

import os
import socket
import subprocess
import time

from daemons import free_port, unpack_daemon

USER, PASSWORD = "tester", "secret"


def make_certificate(folder):
    cert = os.path.join(folder, "server.crt")
    key = os.path.join(folder, "server.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                    "-out", cert, "-days", "2", "-subj", "/CN=localhost"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    out = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", cert],
                         check=True, capture_output=True, text=True).stdout
    return cert, key, out.strip().split("=", 1)[1]


def start_pyftpdlib(server_script, home, cert, key):
    server = subprocess.Popen(
        ["/usr/bin/python3", server_script, "--home", home, "--user", USER, "--password",
         PASSWORD, "--buffer", str(256 * 1024), "--time-limit", "3600", "--tls", "required",
         "--cert", cert, "--key", key, "--ssl-reuse"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline().strip()
    if not line.startswith("PORT "):
        server.kill()
        raise RuntimeError("the TLS test server did not start")
    return server, int(line.split()[1])


def unpack_vsftpd(folder):
    """The vsftpd binary and the library folder it needs, or None."""
    try:
        root = unpack_daemon("vsftpd", folder)
    except RuntimeError:
        return None
    binary = os.path.join(root, "usr", "sbin", "vsftpd")
    if not os.access(binary, os.X_OK):
        return None
    return binary, os.path.join(root, "usr", "lib", "x86_64-linux-gnu")


def start_vsftpd(unpacked, folder, cert, key, tls_max):
    """vsftpd with anonymous uploads into <folder>/anon/up, TLS required on
    login and data, session reuse required. Returns (process, port, upload
    folder)."""
    binary, libs = unpacked
    anon = os.path.join(folder, "anon")
    upload = os.path.join(anon, "up")
    empty = os.path.join(folder, "empty")
    for path in (upload, empty):
        os.makedirs(path, exist_ok=True)
    port = free_port()
    config = os.path.join(folder, "vsftpd-%s.conf" % tls_max)
    with open(config, "w") as out:
        out.write("\n".join([
            "listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1",
            "listen_port=%d" % port, "background=NO", "run_as_launching_user=YES",
            "anonymous_enable=YES", "local_enable=NO", "write_enable=YES",
            "anon_upload_enable=YES", "anon_other_write_enable=YES", "no_anon_password=YES",
            "anon_root=" + anon, "ftp_username=nobody", "nopriv_user=nobody",
            "secure_chroot_dir=" + empty, "seccomp_sandbox=NO",
            "pasv_enable=YES", "pasv_address=127.0.0.1", "ssl_enable=YES", "allow_anon_ssl=YES",
            "force_anon_logins_ssl=YES", "force_anon_data_ssl=YES", "require_ssl_reuse=YES",
            "ssl_tlsv1=YES", "ssl_sslv2=NO", "ssl_sslv3=NO", "rsa_cert_file=" + cert,
            "rsa_private_key_file=" + key, "xferlog_enable=NO", "dual_log_enable=NO",
            "vsftpd_log_file=" + os.path.join(folder, "vsftpd.log"), ""]))
    env = dict(os.environ, LD_LIBRARY_PATH=libs)
    if tls_max == "1.2":
        # vsftpd 3.0.3 has no setting for the newest version: OpenSSL's own.
        openssl_conf = os.path.join(folder, "openssl-tls12.cnf")
        with open(openssl_conf, "w") as out:
            out.write("openssl_conf = init\n[init]\nssl_conf = ssl\n[ssl]\n"
                      "system_default = limits\n[limits]\nMaxProtocol = TLSv1.2\n")
        env["OPENSSL_CONF"] = openssl_conf
    server = subprocess.Popen([binary, config], env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1) as probe:
                if probe.recv(64).startswith(b"220"):
                    return server, port, upload
        except OSError:
            time.sleep(0.05)
    server.kill()
    raise RuntimeError("vsftpd did not start")
