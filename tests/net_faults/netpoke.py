# Datagrams from outside a game at the machines of the fault scenarios, all
# on loopback addresses:
#   netpoke.py instance            prints the game's instance, as any search
#                                  reply gives it
#   netpoke.py hint INSTANCE FILE DELAY PORT...
#                                  once started (it writes hint.ready) waits
#                                  for FILE to appear, then DELAY seconds,
#                                  then sends one "I host now" hint, naming
#                                  a host that does not exist, to each port,
#                                  and prints when (epoch milliseconds)
#   netpoke.py connect SECONDS RATE SOURCE SOCKETS PORT...
#                                  forged ENet connection requests (with the
#                                  value the game's own carried before they
#                                  needed a cookie) at RATE a second in all
#                                  (0: as fast as it can), spread over
#                                  SOCKETS source ports of the address
#                                  SOURCE, or of the addresses A.B.C.X-Y
#                                  (SOCKETS at least one for each), each a
#                                  new half-open link if let in; prints the
#                                  requests a second, the requests sent and
#                                  how many were let in (answered)
#   netpoke.py fill PORT           fills the receive buffer of the socket at
#                                  PORT (its program stopped) with garbage
#                                  until the system drops datagrams for it,
#                                  and prints how many it sent
#   netpoke.py goodbye INSTANCE MACHINE FROM_PORT TO_PORT...
#                                  forged goodbyes, as though the machine
#                                  numbered MACHINE, at FROM_PORT of
#                                  127.0.0.1, left: ENet's, one for each
#                                  link number 0 to 7 and each of the four
#                                  link generations, and the game's own,
#                                  with a made-up secret, to each port, from
#                                  a raw socket (FROM_PORT is another
#                                  process's)
#   netpoke.py udp                 the system's UDP counters: datagrams
#                                  taken in, to no port, dropped for a full
#                                  receive buffer
# ZV_NET_WIRE=N speaks version N of the game's wire (to measure older builds).
import os
import random
import selectors
import socket
import struct
import sys
import time

VERSION = int(os.environ.get("ZV_NET_WIRE", "7"))
APPLICATION = bytes([0x7d, 0x2f, 0x08, 0x93, 0x0b, 0x73, 0x48, 0xff,
                     0xae, 0x7f, 0x66, 0x83, 0xec, 0x72, 0x6b, 0x21])
SESSION_PORT = 30620
CONNECT_MAGIC = 0x5A564E30 + VERSION
# What the game's goodbyes carried before they had to prove their sender.
GOODBYE = 0x5A564259


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


def sources(source, count):
    """SOURCE as a list of COUNT addresses: itself, or a range A.B.C.X-Y cycled."""
    if "-" not in source:
        return [source] * count
    first, last = source.split("-")
    base, low = first.rsplit(".", 1)
    addresses = ["%s.%d" % (base, n) for n in range(int(low), int(last) + 1)]
    return [addresses[i % len(addresses)] for i in range(max(count, len(addresses)))]


def connect(seconds, rate, source, count, ports):
    sockets = []
    for address in sources(source, count):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((address, 0))
        s.setblocking(False)
        sockets.append(s)
    count = len(sockets)
    answers = selectors.DefaultSelector()
    for s in sockets:
        answers.register(s, selectors.EVENT_READ)
    requests = [connect_request() for _ in range(4096)]
    sent = granted = turn = 0
    start = time.monotonic()
    while time.monotonic() - start < seconds:
        due = int((time.monotonic() - start) * rate) - sent if rate > 0 else 20000
        for _ in range(max(0, due)):
            try:
                sockets[turn % count].sendto(requests[turn % len(requests)], ("127.0.0.1", ports[turn % len(ports)]))
                sent += 1
            except OSError:
                pass
            turn += 1
        # Whatever answers a request let it in.
        for key, _ in answers.select(0):
            try:
                while True:
                    key.fileobj.recv(2048)
                    granted += 1
            except OSError:
                pass
        if rate > 0:
            time.sleep(0.005)
    print(int(sent / (time.monotonic() - start) + 0.5), sent, granted)


def fill(port):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    garbage = os.urandom(1000)
    sent = 0
    full = udp_counters()[2]
    # Well past the largest buffer the system gives a socket, then on until
    # it drops them.
    while udp_counters()[2] < full + 50 and sent < 200000:
        for _ in range(100):
            s.sendto(garbage, ("127.0.0.1", port))
            sent += 1
    print(sent, udp_counters()[2] - full)


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def goodbye(game, machine, from_port, ports):
    s = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
    loopback = socket.inet_aton("127.0.0.1")

    def send(port, payload):
        udp = struct.pack(">HHHH", from_port, port, 8 + len(payload), 0) + payload
        ip = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0, 64, socket.IPPROTO_UDP, 0,
                         loopback, loopback)
        ip = ip[:10] + struct.pack(">H", checksum(ip)) + ip[12:]
        s.sendto(ip + udp, ("127.0.0.1", 0))

    for port in ports:
        for peer in range(8):
            for generation in range(4):
                # ENet: header (link number and generation, sent-time flag,
                # sent time), then DISCONNECT asking for an acknowledgement.
                send(port, struct.pack(">HHBBHI", 0x8000 | generation << 12 | peer, random.getrandbits(16),
                                       0x84, 0xFF, 0, GOODBYE))
        # The game's: magic, version, instance, machine, secret, no marks.
        send(port, b"ZVNB" + bytes([VERSION]) + bytes.fromhex(game) + struct.pack("<I", machine) +
             os.urandom(32) + struct.pack("<H", 0))
    print(33 * len(ports), "goodbyes from", from_port, "to", *ports)


def udp_counters():
    with open("/proc/net/snmp") as f:
        lines = [line.split() for line in f if line.startswith("Udp:")]
    counters = dict(zip(lines[0][1:], (int(v) for v in lines[1][1:])))
    return counters["InDatagrams"], counters["NoPorts"], counters["RcvbufErrors"]


if sys.argv[1] == "instance":
    print(instance().hex())
elif sys.argv[1] == "hint":
    hint(sys.argv[2], sys.argv[3], float(sys.argv[4]), [int(p) for p in sys.argv[5:]])
elif sys.argv[1] == "connect":
    connect(float(sys.argv[2]), float(sys.argv[3]), sys.argv[4], int(sys.argv[5]), [int(p) for p in sys.argv[6:]])
elif sys.argv[1] == "goodbye":
    goodbye(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), [int(p) for p in sys.argv[5:]])
elif sys.argv[1] == "fill":
    fill(int(sys.argv[2]))
else:
    print(*udp_counters())
