#!/usr/bin/python3
"""A small SFTP server for the upload tests and the upload benchmark.

Listens on 127.0.0.1 only, on a free port chosen by the system, and prints
"PORT <n>" as its first line on standard output, then "FINGERPRINT <fp>"
(the host key as OpenSSH prints it) and "PUBLIC <key>" (the key as a
known_hosts line has it, "ssh-ed25519 AAAA..."). Then one line per event: "LOGIN <user>",
"RECEIVED <path>" (a file written and closed), "RENAMED <from> <to>",
"DELETED <path>". Paths are relative to the home folder, which is the root
the client sees and its starting folder.

--key names the host key file (OpenSSH format); it is made (Ed25519) when it
does not exist. One user logs in with a password; the check is the server's
own, no system account is involved.

Each --quirk makes the server behave like some real ones do:
  drop-after=N   the connection is cut once N bytes of a file came in
  drops=K        ... the first K times only
  stall-after=N  the server stops answering once N bytes of a file came in

Ends by itself when standard input is closed (the process that started it
has gone) or when the time limit has passed.
"""

import argparse
import asyncio
import os

import warnings

warnings.simplefilter("ignore")  # the crypto library's notes on old ciphers
import asyncssh  # noqa: E402

from serverlife import end_with_parent, say  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--home", required=True)
    parser.add_argument("--key", required=True, help="host key file, made if missing")
    parser.add_argument("--user", default="tester")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--time-limit", type=float, default=120.0)
    parser.add_argument("--quirk", action="append", default=[])
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    if args.verbose:
        import logging
        logging.basicConfig(level=logging.DEBUG)

    home = os.path.realpath(args.home)
    drop_after = stall_after = None
    drops = [1000000]
    for quirk in args.quirk:
        name, _, value = quirk.partition("=")
        if name == "drop-after":
            drop_after = int(value)
        elif name == "drops":
            drops[0] = int(value)
        elif name == "stall-after":
            stall_after = int(value)
        else:
            parser.error("unknown quirk " + quirk)

    if not os.path.exists(args.key):
        key = asyncssh.generate_private_key("ssh-ed25519")
        key.write_private_key(args.key)
        os.chmod(args.key, 0o600)
    host_key = asyncssh.read_private_key(args.key)

    def relative(path):
        path = os.path.realpath(os.fsdecode(path))
        return os.path.relpath(path, home).replace(os.sep, "/")

    class Server(asyncssh.SSHServer):
        def begin_auth(self, username):
            return True

        def password_auth_supported(self):
            return True

        def validate_password(self, username, password):
            if username == args.user and password == args.password:
                say("LOGIN " + username)
                return True
            return False

    class Sftp(asyncssh.SFTPServer):
        def __init__(self, chan):
            super().__init__(chan, chroot=home.encode())
            self.written = {}

        def write(self, file_obj, offset, data):
            total = self.written.get(id(file_obj), 0) + len(data)
            self.written[id(file_obj)] = total
            if drop_after is not None and total >= drop_after and drops[0] > 0:
                drops[0] -= 1
                self.channel.get_connection().abort()
                return None
            if stall_after is not None and total >= stall_after:
                return asyncio.sleep(3600)
            return super().write(file_obj, offset, data)

        def close(self, file_obj):
            name = getattr(file_obj, "name", "")
            super().close(file_obj)
            if id(file_obj) in self.written:
                say("RECEIVED " + relative(name))

        def rename(self, oldpath, newpath):
            super().rename(oldpath, newpath)
            say("RENAMED %s %s" % (relative(self.map_path(oldpath)),
                                   relative(self.map_path(newpath))))

        def remove(self, path):
            super().remove(path)
            say("DELETED " + relative(self.map_path(path)))

    async def start():
        server = await asyncssh.listen("127.0.0.1", 0, server_host_keys=[host_key],
                                       server_factory=Server, sftp_factory=Sftp,
                                       allow_scp=False)
        port = server.sockets[0].getsockname()[1]
        say("PORT %d" % port)
        say("FINGERPRINT " + host_key.get_fingerprint("sha256"))
        say("PUBLIC " + host_key.export_public_key("openssh").decode().strip())

    end_with_parent(args.time_limit)
    loop = asyncio.new_event_loop()
    loop.run_until_complete(start())
    loop.run_forever()


if __name__ == "__main__":
    main()
