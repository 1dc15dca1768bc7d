# A scripted FTP server on port 21 of the loopback address (in the
# scenario's own network namespace), for faults a real server does not make:
#   ftpfake.py silent   takes connections and never says a word
#   ftpfake.py short    announces every file as 100,000 bytes, sends 5,000,
#                       closes the data connection and says "226"
#   ftpfake.py stall    announces every file as 100,000 bytes, sends 5,000
#                       and then nothing, keeping the connection open
#   ftpfake.py slow     sends every file as 200,000 bytes spread evenly over
#                       2 seconds
import socket
import sys
import threading
import time

mode = sys.argv[1]
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", 21))
server.listen(8)
size = 200000 if mode == "slow" else 100000


def send_file(conn):
    if mode in ("short", "stall"):
        conn.sendall(b"x" * 5000)
        if mode == "stall":
            time.sleep(3600)
        return
    for _ in range(20):
        conn.sendall(b"x" * (size // 20))
        time.sleep(0.1)


def serve(control):
    f = control.makefile("rwb", buffering=0)
    say = lambda text: f.write(text.encode() + b"\r\n")
    say("220 ready")
    data = None
    for line in f:
        word = line.decode(errors="replace").strip().split(" ")[0].upper()
        if word == "USER":
            say("331 password")
        elif word == "PASS":
            say("230 in")
        elif word == "PWD":
            say('257 "/"')
        elif word == "CWD":
            say("250 ok")
        elif word == "TYPE":
            say("200 ok")
        elif word == "SIZE":
            say("213 %d" % size)
        elif word == "EPSV":
            data = socket.socket()
            data.bind(("127.0.0.1", 0))
            data.listen(1)
            say("229 passive (|||%d|)" % data.getsockname()[1])
        elif word == "RETR" and data:
            say("150 Opening BINARY mode data connection (%d bytes)" % size)
            conn, _ = data.accept()
            send_file(conn)
            conn.close()
            data.close()
            data = None
            say("226 Transfer complete")
        elif word == "QUIT":
            say("221 bye")
            return
        else:
            say("502 no")


held = []
while True:
    c, _ = server.accept()
    if mode == "silent":
        held.append(c)
    else:
        threading.Thread(target=serve, args=(c,), daemon=True).start()
