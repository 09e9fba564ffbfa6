# Reads a message kept by smtp_server.py with Python's own mail parser and
# prints what the tests check, as JSON: the header names in order, the
# header values, each part's content type, file name and decoded bytes
# (hex), and the text part.
import base64
import email
import json
import sys

with open(sys.argv[1]) as f:
    record = json.load(f)
message = email.message_from_bytes(base64.b64decode(record["data"]))
parts = []
for part in message.walk():
    if part.is_multipart():
        continue
    parts.append({
        "type": part.get_content_type(),
        "filename": part.get_filename(),
        "bytes": (part.get_payload(decode=True) or b"").hex(),
    })
print(json.dumps({
    "record": record,
    "header_names": list(message.keys()),
    "headers": {k: v for k, v in message.items()},
    "boundary": message.get_boundary(),
    "preamble": message.preamble,
    "parts": parts,
}))
