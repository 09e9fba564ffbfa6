# A scripted name server for the tests: listens for UDP on --host (127.0.0.1
# unless given) and --port (any free one unless given; printed as "PORT <n>"), writes each query it gets as a hex line with its
# arrival time (the kernel's, in milliseconds on the monotonic clock) to --record, and answers the n-th query with
# the n-th of the --reply arguments (hex; the last one again for later
# queries; "-" or no reply at all: silence).
import argparse
import socket
import struct
import time

# The kernel's receive stamp (struct timespec on the system clock), asked
# for by number: Python names no SO_TIMESTAMPNS.
SO_TIMESTAMPNS = 35

parser = argparse.ArgumentParser()
parser.add_argument("--host", default="127.0.0.1")
parser.add_argument("--port", type=int, default=0)
parser.add_argument("--record", required=True)
parser.add_argument("--reply", action="append", default=[])
args = parser.parse_args()

server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
server.bind((args.host, args.port))
server.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
print("PORT", server.getsockname()[1], flush=True)
count = 0


def arrival(ancillary):
    """When the query arrived, on the monotonic clock: this process may run
    long after (a loaded machine), and only the kernel's stamp, taken as the
    client sends on loopback, tells the client's own waits. The stamp is on
    the system clock; its distance to now, read at once on both clocks, puts
    it on the monotonic one."""
    for level, kind, data in ancillary:
        if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS and len(data) >= 16:
            seconds, nanoseconds = struct.unpack("qq", data[:16])
            # Both clocks read together: again when this process lost the
            # processor between the readings.
            for _ in range(100):
                before = time.monotonic()
                system = time.clock_gettime(time.CLOCK_REALTIME)
                after = time.monotonic()
                if after - before < 0.0002:
                    break
            late = system - (seconds + nanoseconds / 1e9)
            return (before + after) / 2 - max(late, 0.0)
    return time.monotonic()


while True:
    query, ancillary, _, client = server.recvmsg(65536, socket.CMSG_SPACE(16))
    at = arrival(ancillary)
    with open(args.record, "a") as f:
        f.write("%d %s\n" % (int(at * 1000), query.hex()))
    if args.reply:
        reply = args.reply[min(count, len(args.reply) - 1)]
        if reply != "-":
            server.sendto(bytes.fromhex(reply), client)
    count += 1
