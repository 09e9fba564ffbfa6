# Takes the report archive (BugReport.zip) out of what a server kept and
# writes its members into a folder, for the tests to read:
#   mail FILE DIR     FILE is a message kept by smtp_server.py
#   upload FILE DIR [N] FILE is the request log of web_servers.py (its first
#                     POST, or its N-th, counted from 0)
#   zip FILE DIR      FILE is the archive itself
# Prints the members' names, one a line; exits with 1 when no archive is found.
import base64
import email
import io
import json
import os
import sys
import zipfile

mode, source, folder = sys.argv[1:4]
index = int(sys.argv[4]) if len(sys.argv) > 4 else 0
archive = None
if mode == "zip":
    with open(source, "rb") as f:
        archive = f.read()
    message = email.message_from_bytes(b"")
elif mode == "mail":
    with open(source) as f:
        message = email.message_from_bytes(base64.b64decode(json.load(f)["data"]))
else:
    with open(source) as f:
        posts = [json.loads(line) for line in f if line.strip()]
    posts = [p for p in posts if p["method"] == "POST"]
    if len(posts) <= index:
        sys.exit(1)
    headers = dict((k.lower(), v) for k, v in posts[index]["headers"])
    message = email.message_from_bytes(b"Content-Type: " + headers["content-type"].encode() + b"\r\n\r\n"
                                       + base64.b64decode(posts[index]["body"]))
for part in message.walk():
    if (part.get_filename() or "").endswith(".zip"):
        archive = part.get_payload(decode=True)
if archive is None:
    sys.exit(1)
with zipfile.ZipFile(io.BytesIO(archive)) as z:
    for name in z.namelist():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(z.read(name))
        print(name)
