# Datagrams from outside a game at the machines of the fault scenarios, all
# on the loopback address:
#   netpoke.py instance            prints the game's instance, as any search
#                                  reply gives it
#   netpoke.py hint INSTANCE FILE DELAY PORT...
#                                  once started (it writes hint.ready) waits
#                                  for FILE to appear, then DELAY seconds,
#                                  then sends one "I host now" hint, naming
#                                  a host that does not exist, to each port,
#                                  and prints when (epoch milliseconds)
#   netpoke.py connect SECONDS RATE PORT...
#                                  forged ENet connection requests (with the
#                                  value the game's own carry) at RATE a
#                                  second in all, from many source ports,
#                                  each a new half-open link if let in
import os
import random
import socket
import struct
import sys
import time

VERSION = 5
APPLICATION = bytes([0x7d, 0x2f, 0x08, 0x93, 0x0b, 0x73, 0x48, 0xff,
                     0xae, 0x7f, 0x66, 0x83, 0xec, 0x72, 0x6b, 0x21])
SESSION_PORT = 30620
CONNECT_MAGIC = 0x5A564E35


def instance():
    """The game's instance, as any search reply gives it."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(1.0)
    nonce = random.getrandbits(31) | 1
    s.sendto(b"ZVNQ" + bytes([VERSION]) + APPLICATION + struct.pack("<I", nonce), ("127.0.0.1", SESSION_PORT))
    reply, _ = s.recvfrom(2048)
    # magic, version, nonce, host, then the session starting with its instance
    return reply[13:29]


def hint(game, trigger, delay, ports):
    data = b"ZVNH" + bytes([VERSION]) + bytes.fromhex(game) + struct.pack("<I", 999)
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    open("hint.ready", "w").close()
    while not os.path.exists(trigger):
        time.sleep(0.005)
    time.sleep(delay)
    for p in ports:
        s.sendto(data, ("127.0.0.1", p))
    print(int(time.time() * 1000), "hint sent to", *ports)


def connect_request():
    # ENet: header (peer 0xFFF with the sent-time flag, sent time), then one
    # CONNECT command that asks for an acknowledgement.
    header = struct.pack(">HH", 0x8FFF, random.getrandbits(16))
    command = struct.pack(">BBH", 0x82, 0xFF, 1)
    body = struct.pack(">HBBIIIIIIIIII", 0, 0xFF, 0xFF, 1392, 32768, 2, 0, 0, 5000, 2, 2,
                       random.getrandbits(32), CONNECT_MAGIC)
    return header + command + body


def connect(seconds, rate, ports):
    sockets = [socket.socket(socket.AF_INET, socket.SOCK_DGRAM) for _ in range(64)]
    sent = 0
    start = time.monotonic()
    while time.monotonic() - start < seconds:
        for p in ports:
            try:
                random.choice(sockets).sendto(connect_request(), ("127.0.0.1", p))
                sent += 1
            except OSError:
                pass
        # a fresh source port now and then
        if sent % 64 == 0:
            sockets[random.randrange(len(sockets))].close()
            sockets = [s for s in sockets if s.fileno() != -1] + [socket.socket(socket.AF_INET, socket.SOCK_DGRAM)]
        time.sleep(len(ports) / rate)
    print(int(sent / (time.monotonic() - start)))


if sys.argv[1] == "instance":
    print(instance().hex())
elif sys.argv[1] == "hint":
    hint(sys.argv[2], sys.argv[3], float(sys.argv[4]), [int(p) for p in sys.argv[5:]])
else:
    connect(float(sys.argv[2]), float(sys.argv[3]), [int(p) for p in sys.argv[4:]])
