# A scripted TCP peer for the tests: listens on 127.0.0.1 (printing
# "PORT <n>") and plays the JSON script given in --script to every
# connection, one at a time. Steps:
#   ["send", text]        sends the text (UTF-8)
#   ["sleep", ms]         waits
#   ["line"]              reads up to and including the next CR LF
#   ["until", text]       reads up to and including the text
#   ["close"]             closes the connection
#   ["hold"]              keeps the connection open without reading
#   ["repeat", text, ms, s] sends the text every ms milliseconds (0: as fast
#                         as the client takes it) for s seconds at most, or
#                         until the client goes
# Everything read is appended to --record as it arrives; the end of each
# connection appends "<CLOSED>".
import argparse
import json
import socket
import time

parser = argparse.ArgumentParser()
parser.add_argument("--script", required=True)
parser.add_argument("--record", required=True)
args = parser.parse_args()
with open(args.script) as f:
    script = json.load(f)

listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 0))
listener.listen(5)
print("PORT", listener.getsockname()[1], flush=True)


def record(data):
    with open(args.record, "ab") as f:
        f.write(data)


def play(connection):
    pending = b""

    def read_until(marker):
        nonlocal pending
        while marker not in pending:
            data = connection.recv(65536)
            if not data:
                return False
            record(data)
            pending += data
        pending = pending[pending.index(marker) + len(marker):]
        return True

    for step in script:
        kind = step[0]
        if kind == "send":
            connection.sendall(step[1].encode())
        elif kind == "sleep":
            time.sleep(step[1] / 1000.0)
        elif kind == "line":
            if not read_until(b"\r\n"):
                return
        elif kind == "until":
            if not read_until(step[1].encode()):
                return
        elif kind == "repeat":
            text, pause, end = step[1].encode(), step[2] / 1000.0, time.monotonic() + step[3]
            while time.monotonic() < end:
                try:
                    connection.sendall(text)
                except OSError:
                    return
                if pause:
                    time.sleep(pause)
        elif kind == "close":
            return
        elif kind == "hold":
            while True:
                time.sleep(1)
    # Script done: take what else comes until the client goes.
    while True:
        data = connection.recv(65536)
        if not data:
            return
        record(data)


while True:
    connection, _ = listener.accept()
    try:
        play(connection)
    except OSError:
        pass
    finally:
        connection.close()
        record(b"<CLOSED>")
