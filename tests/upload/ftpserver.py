#!/usr/bin/python3
"""A small FTP server for the upload tests and the upload benchmark.

Listens on 127.0.0.1 only, on a free port chosen by the system, and prints
"PORT <n>" as its first line on standard output. Then one line per event:
"LOGIN <user>", "RECEIVED <path>" (a file stored whole), "INCOMPLETE <path>"
(a transfer broken off), "BYTES <n>" (what one data connection brought in),
"RENAMED <from> <to>", "DELETED <path>", "QUIT".
Paths are relative to the home folder, with "/" between parts. With TLS,
"SECURE LOGIN <user>" follows a login over a protected control connection,
"SECURE RECEIVED <path>" a file that came over a protected data connection,
and "REFUSED DATA <reason>" a data connection turned away.

--tls chooses what the server does: "none" (plain FTP), "offered" (AUTH TLS
answered, clear text allowed), "required" (no login and no data connection
without TLS) or "implicit" (TLS from the first byte). --cert and --key name
the certificate and key files (PEM), --tls-max caps the version ("1.2",
"1.3"), and --ssl-reuse refuses, with 522, a data connection that does not
resume the control connection's TLS session.

Each --quirk makes the server behave like some real ones do:
  size-wrong     SIZE reports one byte less than the file holds
  no-overwrite   RNTO onto an existing file is refused (550)
  no-rename      RNFR is not implemented (502)
  451-after-data the whole file is stored, then 451 instead of 226
  slow-226       the reply after a stored file comes 2 s late
  drop-after=N   both connections are cut once N bytes of a file came in
  drops=K        ... the first K times only (with drop-after)
  421-after=N    once N bytes of a file came in, "421" and both connections
                 closed, once
  no-append      APPE is not implemented (502)
  no-rest        REST is not implemented (502)
  hash           FEAT offers HASH (SHA-256, SHA-1, MD5) and HASH answers
  hash-wrong     ... with a digest that is not the file's
  bad-pasv       EPSV is not understood and the PASV reply is malformed
  421-login      USER gets "421 Please reconnect using TLS security mechanisms"

Ends by itself when standard input is closed (the process that started it
has gone) or when the time limit has passed.
"""

import argparse
import hashlib
import logging
import os
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

from serverlife import end_with_parent, say

try:
    from OpenSSL import SSL
    from OpenSSL._util import lib as openssl_lib
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
except ImportError:  # only the TLS modes need them
    SSL = None

FULL_PERMISSIONS = "elradfmwMT"
READ_ONLY_PERMISSIONS = "elr"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--home", required=True, help="the users' home folder")
    parser.add_argument("--user", default="tester")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--readonly-user", default="reader",
                        help="a user who may list and read but not store")
    parser.add_argument("--login-folder", default="",
                        help="a folder below home where users start (made if missing)")
    parser.add_argument("--read-limit", type=int, default=0,
                        help="bytes per second the server takes in (0: no limit)")
    parser.add_argument("--buffer", type=int, default=65536,
                        help="bytes read from a data connection at a time")
    parser.add_argument("--time-limit", type=float, default=120.0,
                        help="seconds after which the server ends by itself")
    parser.add_argument("--verbose", action="store_true", help="log every command")
    parser.add_argument("--tls", choices=["none", "offered", "required", "implicit"],
                        default="none")
    parser.add_argument("--cert", help="certificate file (PEM) for TLS")
    parser.add_argument("--key", help="private key file (PEM) for TLS")
    parser.add_argument("--tls-max", choices=["1.2", "1.3"], default="1.3")
    parser.add_argument("--ssl-reuse", action="store_true",
                        help="data connections must resume the control connection's TLS session")
    parser.add_argument("--quirk", action="append", default=[],
                        help="behave like some real servers do (see above)")
    args = parser.parse_args()

    sys.stdout.reconfigure(encoding="utf-8", errors="backslashreplace")
    logging.basicConfig(level=logging.INFO if args.verbose else logging.WARNING,
                        stream=sys.stderr)

    home = os.path.realpath(args.home)
    if args.login_folder:
        os.makedirs(os.path.join(home, args.login_folder), exist_ok=True)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, home, perm=FULL_PERMISSIONS)
    authorizer.add_user(args.readonly_user, args.password, home, perm=READ_ONLY_PERMISSIONS)

    tls = args.tls != "none"
    if tls and (SSL is None or not args.cert or not args.key):
        sys.exit("ftpserver.py: TLS needs python3-openssl, --cert and --key")
    if args.read_limit > 0:
        class DataHandler(ThrottledDTPHandler):
            """Takes data in at an even pace (pyftpdlib's own throttle lets
            twice the limit through at once, then sleeps)."""
            read_limit = args.read_limit
            _pace_start = None

            def _throttle_bandwidth(self, len_chunk, max_speed):
                now = time.monotonic()
                if self._pace_start is None:
                    self._pace_start = now
                self._datacount += len_chunk
                delay = self._pace_start + self._datacount / max_speed - now
                if delay > 0.005:
                    def wake_up():
                        self.add_channel(events=self.ioloop.READ)
                    self.del_channel()
                    self._cancel_throttler()
                    self._throttler = self.ioloop.call_later(
                        delay, wake_up, _errback=self.handle_error)
    else:
        class DataHandler(DTPHandler):
            pass
    if tls:
        class SecureDataHandler(TLS_DTPHandler, DataHandler):
            def readable(self):
                # Clients start the handshake before they send STOR; pyftpdlib
                # would take those bytes for a closed connection.
                if self._ssl_accepting or self._ssl_want_read:
                    return True
                return super().readable()

            def handle_ssl_established(self):
                reused = openssl_lib.SSL_session_reused(self.socket._ssl) == 1
                if args.ssl_reuse and not reused:
                    say("REFUSED DATA session not reused")
                    self.cmd_channel.respond("522 SSL connection failed: session reuse required")
                    self.close()
                    return
                self.secured = True
                super().handle_ssl_established()
        DataHandler = SecureDataHandler
    quirks = {}
    for quirk in args.quirk:
        name, _, value = quirk.partition("=")
        quirks[name] = value

    cuts = {"drop-after": int(quirks.get("drops", "1000000")), "421-after": 1}

    class QuirkyDataHandler(DataHandler):
        _held = False

        def handle_read_event(self):
            # pyftpdlib reads through handle_read_event (its TLS handler
            # shakes hands there first), so the count is taken after it.
            super().handle_read_event()
            for cut in ("drop-after", "421-after"):
                limit = quirks.get(cut)
                if (limit is not None and cuts[cut] > 0 and self.receive and not self._closed
                        and self.tot_bytes_received >= int(limit)):
                    cuts[cut] -= 1
                    self._resp = None
                    control = self.cmd_channel
                    if cut == "421-after":
                        control.push("421 Service not available, closing control connection.\r\n")
                    self.close()
                    control.close_when_done() if cut == "421-after" else control.close()
                    return

        def handle_close(self):
            if "slow-226" in quirks and self.receive and not self._held:
                self._held = True
                self.del_channel()
                self.ioloop.call_later(2.0, lambda: DataHandler.handle_close(self),
                                       _errback=self.handle_error)
                return
            super().handle_close()
            if "451-after-data" in quirks and self.receive:
                self.cmd_channel.push("451 Local error: the file could not be written.\r\n")

        def close(self):
            if "451-after-data" in quirks and self.receive and self.transfer_finished:
                self._resp = None
            if self.receive and not self._closed:
                say("BYTES %d" % self.tot_bytes_received)
            super().close()

    DataHandler = QuirkyDataHandler
    DataHandler.ac_in_buffer_size = args.buffer
    if args.read_limit > 0:
        DataHandler.ac_in_buffer_size = min(args.buffer, 16384)

    def relative(path):
        return os.path.relpath(os.path.realpath(path), home).replace(os.sep, "/")

    Base = TLS_FTPHandler if tls else FTPHandler

    class Handler(Base):
        proto_cmds = dict(Base.proto_cmds)
        proto_cmds["HASH"] = dict(perm="r", auth=True, arg=True,
                                  help="Syntax: HASH <SP> file-name (digest of a file).")
        _algorithms = {"SHA-256": hashlib.sha256, "SHA-1": hashlib.sha1, "MD5": hashlib.md5}
        _chosen = "SHA-256"

        def __init__(self, *a, **kw):
            super().__init__(*a, **kw)
            if "hash" in quirks or "hash-wrong" in quirks:
                self._extra_feats = list(self._extra_feats) + ["HASH SHA-256*;SHA-1;MD5"]

        def ftp_HASH(self, path):
            # pyftpdlib hands a command with a permission its file's path.
            if "hash" not in quirks and "hash-wrong" not in quirks:
                self.respond("502 Command not implemented.")
                return
            if not os.path.isfile(path):
                self.respond("550 No such file.")
                return
            digest = self._algorithms[self._chosen]()
            with open(path, "rb") as stored:
                for piece in iter(lambda: stored.read(1 << 20), b""):
                    digest.update(piece)
            text = digest.hexdigest()
            if "hash-wrong" in quirks:
                text = ("0" if text[0] != "0" else "1") + text[1:]
            size = os.path.getsize(path)
            self.respond("213 %s 0-%d %s %s" % (self._chosen, max(size - 1, 0), text,
                                                 self.fs.fs2ftp(path)))

        def ftp_OPTS(self, line):
            name, _, value = line.partition(" ")
            if name.upper() == "HASH" and ("hash" in quirks or "hash-wrong" in quirks):
                if value.upper() in self._algorithms:
                    self._chosen = value.upper()
                    self.respond("200 " + self._chosen)
                else:
                    self.respond("501 Unknown algorithm.")
                return
            return super().ftp_OPTS(line)

        def ftp_APPE(self, path):
            if "no-append" in quirks:
                self.respond("502 Command not implemented.")
                return
            return super().ftp_APPE(path)

        def ftp_REST(self, line):
            if "no-rest" in quirks:
                self.respond("502 Command not implemented.")
                return
            return super().ftp_REST(line)

        def on_login(self, username):
            if args.login_folder:
                self.fs.cwd = "/" + args.login_folder.strip("/")
            say("LOGIN " + username)
            if tls and isinstance(self.socket, SSL.Connection):
                say("SECURE LOGIN " + username)

        if args.tls == "implicit":
            def handle(self):
                # TLS first; the greeting goes out once the handshake is done.
                self.secure_connection(self.ssl_context)

            def handle_ssl_established(self):
                Base.handle(self)

        def on_file_received(self, file):
            if getattr(self.data_channel, "secured", False):
                say("SECURE RECEIVED " + relative(file))
            say("RECEIVED " + relative(file))

        def on_incomplete_file_received(self, file):
            say("INCOMPLETE " + relative(file))

        def ftp_QUIT(self, line):
            say("QUIT")
            return super().ftp_QUIT(line)

        def ftp_USER(self, line):
            if "421-login" in quirks:
                self.respond("421 Please reconnect using TLS security mechanisms.")
                self.close_when_done()
                return
            return super().ftp_USER(line)

        def ftp_SIZE(self, path):
            if "size-wrong" in quirks and os.path.isfile(path):
                self.respond("213 %d" % max(0, os.path.getsize(path) - 1))
                return
            return super().ftp_SIZE(path)

        def ftp_RNFR(self, path):
            if "no-rename" in quirks:
                self.respond("502 Command not implemented.")
                return
            return super().ftp_RNFR(path)

        def ftp_RNTO(self, path):
            if "no-overwrite" in quirks and self._rnfr and os.path.lexists(path):
                self._rnfr = None
                self.respond("550 File exists.")
                return
            source = self._rnfr
            done = super().ftp_RNTO(path)
            if done:
                say("RENAMED %s %s" % (relative(source), relative(path)))
            return done

        def ftp_DELE(self, path):
            done = super().ftp_DELE(path)
            if done:
                say("DELETED " + relative(path))
            return done

        def ftp_EPSV(self, line):
            if "bad-pasv" in quirks:
                self.respond("500 EPSV not understood.")
                return
            return super().ftp_EPSV(line)

        def ftp_PASV(self, line):
            if "bad-pasv" in quirks:
                self.respond("227 Entering Passive Mode (127,0,0,1).")
                return
            return super().ftp_PASV(line)

    Handler.authorizer = authorizer
    Handler.dtp_handler = DataHandler
    Handler.banner = "test server ready"
    Handler.auth_failed_timeout = 0.1
    if tls:
        context = SSL.Context(SSL.TLS_SERVER_METHOD)
        context.use_certificate_chain_file(args.cert)
        context.use_privatekey_file(args.key)
        context.set_max_proto_version(SSL.TLS1_2_VERSION if args.tls_max == "1.2"
                                      else SSL.TLS1_3_VERSION)
        # Sessions are kept, so that data connections can resume them.
        context.set_session_id(b"vantrel-test")
        context.set_session_cache_mode(SSL.SESS_CACHE_SERVER)
        Handler.ssl_context = context
        Handler.tls_control_required = args.tls == "required"
        Handler.tls_data_required = args.tls == "required"

    server = FTPServer(("127.0.0.1", 0), Handler)
    say("PORT %d" % server.socket.getsockname()[1])

    end_with_parent(args.time_limit)
    server.serve_forever()


if __name__ == "__main__":
    main()
