"""What the test servers (ftpserver.py, sftpserver.py) share: one line per
event on standard output, and an end that needs no one to stop them."""

import os
import sys
import threading


def say(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


def end_with_parent(time_limit):
    """Ends the process when standard input closes (the process that started
    it has gone) or when `time_limit` seconds have passed."""
    def end_when_stdin_closes():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        finally:
            os._exit(0)

    threading.Thread(target=end_when_stdin_closes, daemon=True).start()
    threading.Timer(time_limit, lambda: os._exit(0)).start()
