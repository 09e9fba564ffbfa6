# A mail server for the tests (run with /usr/bin/python3, which has aiosmtpd):
# listens on the given address (port 0: any free port, printed as
# "PORT <n>"), keeps every message as msg-NNN.json in --dir with the
# connection it came on, the greeting name, the envelope, whether and as whom
# the client authenticated, and the bytes of the message (Base64).
# With --user, AUTH LOGIN is offered (without TLS) and checks the pair.
import argparse
import asyncio
import base64
import itertools
import json
import os

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

parser = argparse.ArgumentParser()
parser.add_argument("--host", default="127.0.0.1")
parser.add_argument("--port", type=int, default=0)
parser.add_argument("--dir", required=True)
parser.add_argument("--user")
parser.add_argument("--password", default="")
args = parser.parse_args()

connections = itertools.count(1)
messages = itertools.count(1)


class Keeper:
    async def handle_DATA(self, server, session, envelope):
        number = next(messages)
        login = getattr(session, "auth_data", None)
        record = {
            "connection": server.cv_connection,
            "server": args.host,
            "helo": session.host_name,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "authenticated": bool(session.authenticated),
            "login": login.login.decode() if isinstance(login, LoginPassword) else None,
            "data": base64.b64encode(envelope.original_content).decode(),
        }
        name = os.path.join(args.dir, "msg-%03d.json" % number)
        with open(name + ".tmp", "w") as f:
            json.dump(record, f)
        os.replace(name + ".tmp", name)
        return "250 OK kept"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == args.user
          and auth_data.password.decode() == args.password)
    return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)


def make_server():
    options = {"auth_require_tls": False}
    if args.user is not None:
        options["authenticator"] = authenticator
    smtp = SMTP(Keeper(), **options)
    smtp.cv_connection = next(connections)
    return smtp


loop = asyncio.new_event_loop()
server = loop.run_until_complete(loop.create_server(make_server, host=args.host, port=args.port))
print("PORT", server.sockets[0].getsockname()[1], flush=True)
loop.run_forever()
