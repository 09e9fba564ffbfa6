#!/usr/bin/python3
"""php -S on a free port of 127.0.0.1, serving FOLDER through ROUTER.

  php_server.py FOLDER ROUTER

Prints "PORT <n>" and then becomes php itself (same process), so that
stopping this process stops the server. The port may take a moment to
accept connections.
"""
import os
import socket
import sys

folder, router = sys.argv[1], sys.argv[2]
probe = socket.socket()
probe.bind(("127.0.0.1", 0))
port = probe.getsockname()[1]
probe.close()
print("PORT %d" % port, flush=True)
os.chdir(folder)
os.execvp("php", ["php", "-S", "127.0.0.1:%d" % port, router])
