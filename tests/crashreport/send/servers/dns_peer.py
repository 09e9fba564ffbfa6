# A scripted name server for the tests: listens for UDP on --host (127.0.0.1
# unless given) and --port (any free one unless given; printed as "PORT <n>"), writes each query it gets as a hex line with its
# arrival time in milliseconds to --record, and answers the n-th query with
# the n-th of the --reply arguments (hex; the last one again for later
# queries; "-" or no reply at all: silence).
import argparse
import socket
import time

parser = argparse.ArgumentParser()
parser.add_argument("--host", default="127.0.0.1")
parser.add_argument("--port", type=int, default=0)
parser.add_argument("--record", required=True)
parser.add_argument("--reply", action="append", default=[])
args = parser.parse_args()

server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
server.bind((args.host, args.port))
print("PORT", server.getsockname()[1], flush=True)
count = 0
while True:
    query, client = server.recvfrom(65536)
    with open(args.record, "a") as f:
        f.write("%d %s\n" % (int(time.monotonic() * 1000), query.hex()))
    if args.reply:
        reply = args.reply[min(count, len(args.reply) - 1)]
        if reply != "-":
            server.sendto(bytes.fromhex(reply), client)
    count += 1
