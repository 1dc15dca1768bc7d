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
#   netpoke.py connect MODE SECONDS RATE SOURCE SOCKETS PORT...
#                                  ENet connection requests at RATE a second
#                                  in all (0: as fast as it can), spread over
#                                  SOCKETS source ports of the address
#                                  SOURCE, or of the addresses A.B.C.X-Y
#                                  (SOCKETS at least one for each). MODE:
#                                  forged (a made-up cookie), half-open (a
#                                  genuine cookie each socket asked each port
#                                  for, handshakes never finished), finished
#                                  (each handshake finished, then a new one),
#                                  kept (each link kept up, answering all
#                                  the game asks, until the game drops it),
#                                  joined (kept, and asking to join the game
#                                  with its first message, without a player).
#                                  Writes "flooding" once every socket has
#                                  its cookies (or after a second); prints
#                                  the requests a second, the requests sent,
#                                  how many were let in (a handshake begun;
#                                  forged: anything answered), the cookies
#                                  had, the handshakes finished, the game's
#                                  questions answered on kept links and the
#                                  datagrams the sockets received. Where
#                                  ZV_FLOOD_AFTER names a file, the requests
#                                  begin, and SECONDS count, once it appears;
#                                  where ZV_FLOOD_FULL is a number, it writes
#                                  "full" once that many handshakes were
#                                  begun (each its own link)
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
# ZV_NET_WIRE=N speaks version N of the game's wire (to measure older builds).
import os
import random
import selectors
import socket
import struct
import sys
import time

VERSION = int(os.environ.get("ZV_NET_WIRE", "8"))
APPLICATION = bytes([0x7d, 0x2f, 0x08, 0x93, 0x0b, 0x73, 0x48, 0xff,
                     0xae, 0x7f, 0x66, 0x83, 0xec, 0x72, 0x6b, 0x21])
SESSION_PORT = 30620
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


def connect_request(cookie, connect_id=None, own_id=0):
    # ENet: header (peer 0xFFF with the sent-time flag, sent time), then one
    # CONNECT command that asks for an acknowledgement, with the link's
    # number on the asker's side (which the answers carry) and the cookie
    # where the game's own carries it.
    header = struct.pack(">HH", 0x8FFF, random.getrandbits(16))
    command = struct.pack(">BBH", 0x82, 0xFF, 1)
    if connect_id is None:
        connect_id = random.getrandbits(32)
    body = struct.pack(">HBBIIIIIIIIII", own_id, 0xFF, 0xFF, 1392, 32768, 2, 0, 0, 5000, 2, 2, connect_id, cookie)
    return header + command + body


def sources(source, count):
    """SOURCE as a list of COUNT addresses: itself, or a range A.B.C.X-Y cycled."""
    if "-" not in source:
        return [source] * count
    first, last = source.split("-")
    base, low = first.rsplit(".", 1)
    addresses = ["%s.%d" % (base, n) for n in range(int(low), int(last) + 1)]
    return [addresses[i % len(addresses)] for i in range(max(count, len(addresses)))]


# ENet's commands: their size, and where the length of the data after them
# is (for those that carry data).
COMMAND_SIZE = {1: 8, 2: 48, 3: 44, 4: 8, 5: 4, 6: 6, 7: 8, 8: 24, 9: 8, 10: 12, 11: 16, 12: 24}
DATA_LENGTH_AT = {6: 4, 7: 6, 8: 6, 9: 6, 12: 6}


def commands(datagram):
    """The sent time of an ENet datagram and its commands: (number, flags,
    channel, sequence, the command's bytes)."""
    if len(datagram) < 2:
        return None, []
    field = struct.unpack(">H", datagram[:2])[0]
    at, sent_time = 2, None
    if field & 0x8000:
        if len(datagram) < 4:
            return None, []
        sent_time, at = struct.unpack(">H", datagram[2:4])[0], 4
    out = []
    while at + 4 <= len(datagram):
        number = datagram[at] & 0x0F
        size = COMMAND_SIZE.get(number)
        if not size or at + size > len(datagram):
            break
        extra = 0
        if number in DATA_LENGTH_AT:
            extra = struct.unpack(">H", datagram[at + DATA_LENGTH_AT[number]:at + DATA_LENGTH_AT[number] + 2])[0]
        channel, sequence = datagram[at + 1], struct.unpack(">H", datagram[at + 2:at + 4])[0]
        out.append((number, datagram[at], channel, sequence, datagram[at:at + size]))
        at += size + extra
    return sent_time, out


class Link:
    """One flooding socket's link to one port of the game."""

    def __init__(self, sock, port):
        self.sock, self.port = sock, port
        self.cookie = None
        self.asked_at = 0.0
        # Links whose handshake finished, by their number here: how their
        # datagrams begin, and when the game last sent anything on them.
        self.held = {}
        self.requests = []
        self.turn = 0

    def request(self):
        if not self.requests:
            self.requests = [connect_request(self.cookie, random.getrandbits(32), n) for n in range(1, 64)]
        self.turn += 1
        return self.requests[self.turn % len(self.requests)]


def connect(mode, seconds, rate, source, count, ports):
    """Connection requests at the game's ports as MODE says: forged (a made-up
    cookie), half-open (a genuine cookie, never finished), finished (each
    handshake finished, then a new one), kept (each link kept up, answering
    whatever the game asks until it goes silent, and a new one besides),
    joined (kept, its first message a Join of the game)."""
    after = os.environ.get("ZV_FLOOD_AFTER")
    full = int(os.environ.get("ZV_FLOOD_FULL") or 0)
    begun_links = set()
    up = ("kept", "joined")
    sockets = []
    for address in sources(source, count):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((address, 0))
        s.setblocking(False)
        sockets.append(s)
    game = instance() if mode != "forged" else None
    links = [Link(s, p) for s in sockets for p in ports]
    by_socket = {}
    for link in links:
        by_socket.setdefault(link.sock, {})[link.port] = link
    selector = selectors.DefaultSelector()
    for s in sockets:
        selector.register(s, selectors.EVENT_READ)
    forged = [connect_request(random.getrandbits(32)) for _ in range(4096)]
    sent = let_in = finished = answered = received = turn = 0
    start = swept = time.monotonic()
    begun = None if after else start

    def ask_cookie(link, now):
        nonce = random.getrandbits(31) | 1
        link.nonce, link.asked_at = nonce, now
        try:
            link.sock.sendto(b"ZVNC" + bytes([VERSION]) + game + struct.pack("<I", nonce), ("127.0.0.1", link.port))
        except OSError:
            pass

    def take(sock, now):
        nonlocal let_in, finished, answered, received
        while True:
            try:
                data, (_, port) = sock.recvfrom(4096)
            except OSError:
                return
            received += 1
            link = by_socket[sock].get(port)
            if link is None:
                continue
            if data[:5] == b"ZVNK" + bytes([VERSION]) and len(data) == 13:
                if struct.unpack("<I", data[5:9])[0] == link.nonce:
                    link.cookie = struct.unpack("<I", data[9:13])[0]
                continue
            if mode == "forged":
                let_in += 1
                continue
            sent_time, cmds = commands(data)
            if sent_time is None:
                continue
            own = struct.unpack(">H", data[:2])[0] & 0x0FFF
            acks = join = b""
            for number, raw, channel, sequence, body in cmds:
                if number == 3:
                    let_in += 1
                    # The link's own number in the game's answer, and the
                    # request's: a handshake answered again counts once.
                    begun_links.add((port, body[4:6], body[40:44]))
                    if full and len(begun_links) == full:
                        open("full", "w").close()
                    if mode == "half-open":
                        continue
                    peer, _, outgoing_session = struct.unpack(">HBB", body[4:8])
                    link.held[own] = [struct.pack(">H", 0x8000 | outgoing_session << 12 | peer), now]
                    finished += 1
                    if mode == "joined":
                        # The game's Join (application, instance, a made-up
                        # proof, from version 8 an empty player's name) as
                        # the link's first guaranteed message.
                        message = b"\x01" + APPLICATION + game + os.urandom(32) + b"\x00" * (VERSION >= 8)
                        join = struct.pack(">BBHH", 0x86, 0, 1, len(message)) + message
                elif own in link.held and mode in up and raw & 0x80:
                    answered += 1
                if raw & 0x80 and (number == 3 or mode in up):
                    acks += struct.pack(">BBHHH", 1, channel, sequence, sequence, sent_time)
            if acks and own in link.held:
                link.held[own][1] = now
                try:
                    sock.sendto(link.held[own][0] + struct.pack(">H", random.getrandbits(16)) + acks + join,
                                ("127.0.0.1", port))
                except OSError:
                    pass
            if mode == "finished":
                link.held.clear()

    flooding = False
    while True:
        now = time.monotonic()
        if begun is None and flooding and (os.path.exists(after) or now - start > 30):
            begun = now
        if begun is not None and now - begun >= seconds:
            break
        # Once every link has its cookie (or a second went), the scenario
        # may go on.
        if not flooding and (game is None or now - start > 1 or all(link.cookie is not None for link in links)):
            open("flooding", "w").close()
            flooding = True
        if game is not None:
            for link in links:
                # A cookie holds for one to two of the game's 15 s turns.
                if (link.cookie is None and now - link.asked_at > 0.25) or now - link.asked_at > 10:
                    ask_cookie(link, now)
        due = 0 if begun is None else int((now - begun) * rate) - sent if rate > 0 else 2000
        for _ in range(max(0, due)):
            link = links[turn % len(links)]
            turn += 1
            if mode == "forged":
                data = forged[turn % len(forged)]
            elif link.cookie is None:
                continue
            else:
                data = link.request()
            try:
                link.sock.sendto(data, ("127.0.0.1", link.port))
                sent += 1
            except OSError:
                pass
        for key, _ in selector.select(0):
            take(key.fileobj, now)
        if mode in up and now - swept > 0.5:
            swept = now
            # A link the game dropped goes silent: it is let go here too.
            for link in links:
                for own in [o for o, (_, heard) in link.held.items() if now - heard > 2]:
                    del link.held[own]
        if rate > 0:
            time.sleep(0.002)
    cookies = sum(1 for link in links if link.cookie is not None)
    print(int(sent / (time.monotonic() - begun) + 0.5), sent, let_in, cookies, finished, answered, received)


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
    connect(sys.argv[2], float(sys.argv[3]), float(sys.argv[4]), sys.argv[5], int(sys.argv[6]), [int(p) for p in sys.argv[7:]])
elif sys.argv[1] == "goodbye":
    goodbye(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), [int(p) for p in sys.argv[5:]])
elif sys.argv[1] == "fill":
    fill(int(sys.argv[2]))
