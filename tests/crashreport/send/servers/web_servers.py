#!/usr/bin/python3
"""Servers the web-sending tests start on 127.0.0.1 and stop afterwards.

Each mode binds a free port, prints "PORT <n>" on its first line and serves
until it is killed. Every request is appended to the log file as one JSON
line (method, path, headers, body in base64) so that the test can check what
was sent.

  http  --log FILE [--cert C --key K]   pages for redirects, cookies, errors
  proxy --log FILE --user U --password P  a forward proxy that checks its credentials
  ftp   --root DIR --user U --password P   pyftpdlib
"""
import argparse
import base64
import http.client
import json
import socketserver
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LOG_LOCK = threading.Lock()


def log_request(path, handler, body):
    if not path:
        return
    entry = {
        "method": handler.command,
        "path": handler.path,
        "headers": [[k, v] for k, v in handler.headers.items()],
        "body": base64.b64encode(body).decode("ascii"),
    }
    with LOG_LOCK, open(path, "a", encoding="utf-8") as f:
        f.write(json.dumps(entry) + "\n")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    log_file = None
    basic = "Basic " + base64.b64encode(b"webuser:webpass").decode()

    def log_message(self, *args):
        pass

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def answer(self, status, body=b"", headers=(), reason=None):
        if isinstance(body, str):
            body = body.encode()
        self.send_response(status, reason)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        self.route(b"")

    def do_POST(self):
        self.route(self.read_body())

    def route(self, body):
        log_request(self.log_file, self, body)
        page = self.path.split("?", 1)[0]
        cookie = self.headers.get("Cookie") or ""
        if page == "/redir/a.php":
            self.answer(302, "moved", [("Location", "b.php")])
        elif page == "/redir/b.php":
            host = self.headers.get("Host")
            self.answer(302, "moved", [("Location", "http://%s/redir/deeper/c.php?x=1&y=2" % host)])
        elif page == "/redir/deeper/c.php":
            self.answer(200, "<p>landed</p>")
        elif page == "/see/post.php":
            self.answer(303, "see other", [("Location", "other.php?id=7")])
        elif page == "/move/post.php":
            self.answer(301, "moved", [("Location", "/elsewhere/new.php")])
        elif page == "/refresh/start.php":
            self.answer(200, "wait", [("Refresh", "0; URL=landing.php")])
        elif page == "/refresh/landing.php":
            self.answer(200, "refreshed")
        elif page == "/missing.php":
            self.answer(404, "<h1>Not Found</h1>")
        elif page == "/ctrl.php":
            self.answer(200, b"a\tb\r\nc\x01d")
        elif page == "/login.php":
            if body == b"user=webuser&pass=web%20pass":
                self.answer(200, "welcome", [("Set-Cookie", "session=abc123; Path=/")])
            else:
                self.answer(200, "login refused")
        elif page == "/secret.php":
            if "session=abc123" in cookie:
                self.answer(200, "the secret")
            else:
                self.answer(403, "no cookie")
        elif page == "/loop.php":
            self.answer(302, "again", [("Location", "loop.php")])
        elif page == "/cut.php":
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Ty")
            self.wfile.flush()
            self.close_connection = True
        elif page == "/silent.php":
            time.sleep(30)
            self.close_connection = True
        elif page == "/basic.php":
            if self.headers.get("Authorization") == self.basic:
                self.answer(200, "authorised")
            else:
                self.answer(401, "who are you", [("WWW-Authenticate", 'Basic realm="t"')])
        elif page == "/created.php":
            self.answer(201, "made", reason="Made It")
        elif page == "/badstatus.php":
            self.wfile.write(b"HTTP/1.1 2x0 Odd\r\nContent-Length: 2\r\n\r\nok")
            self.close_connection = True
        elif page == "/big.php":
            self.answer(200, b"x" * 10000)
        else:
            self.answer(200, "ok")


class ProxyHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    log_file = None
    expected = None

    def log_message(self, *args):
        pass

    def relay(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        log_request(self.log_file, self, body)
        if self.headers.get("Proxy-Authorization") != self.expected:
            data = b"proxy credentials needed"
            self.send_response(407)
            self.send_header("Proxy-Authenticate", 'Basic realm="proxy"')
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
            return
        target = self.path.split("://", 1)[1]
        hostport, _, rest = target.partition("/")
        host, _, port = hostport.partition(":")
        conn = http.client.HTTPConnection(host, int(port or 80), timeout=10)
        headers = {k: v for k, v in self.headers.items()
                   if k.lower() not in ("proxy-authorization", "proxy-connection", "connection")}
        conn.request(self.command, "/" + rest, body=body, headers=headers)
        reply = conn.getresponse()
        data = reply.read()
        self.send_response(reply.status, reply.reason)
        for k, v in reply.getheaders():
            if k.lower() not in ("content-length", "connection", "transfer-encoding"):
                self.send_header(k, v)
        self.send_header("X-Through-Proxy", "yes")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    do_GET = relay
    do_POST = relay


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve_http(args, handler):
    handler.log_file = args.log
    server = Server(("127.0.0.1", 0), handler)
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


def serve_ftp(args):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
    import logging
    logging.basicConfig(level=logging.CRITICAL)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmw")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    handler.banner = "test ftp ready"
    server = FTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode")
    parser.add_argument("--log")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--root")
    args = parser.parse_args()
    if args.mode == "http":
        serve_http(args, Handler)
    elif args.mode == "proxy":
        ProxyHandler.expected = "Basic " + base64.b64encode(
            ("%s:%s" % (args.user, args.password)).encode()).decode()
        serve_http(args, ProxyHandler)
    elif args.mode == "ftp":
        serve_ftp(args)
    else:
        sys.exit("unknown mode " + args.mode)


if __name__ == "__main__":
    main()
