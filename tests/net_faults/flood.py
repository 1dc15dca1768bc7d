# Sends garbage datagrams to the given UDP ports on the loopback address for
# the given seconds, at the given rate a second (0: as fast as it can), then
# prints how many a second it sent and when it began (epoch milliseconds).
import os
import socket
import sys
import time

seconds = float(sys.argv[1])
rate = float(sys.argv[2])
ports = [int(p) for p in sys.argv[3:]]
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
payloads = [os.urandom(n) for n in (4, 8, 12, 20, 32, 48, 64, 100, 200, 400)]
targets = [("127.0.0.1", p) for p in ports]
sent = 0
start = time.monotonic()
end = start + seconds
while time.monotonic() < end:
    for _ in range(50):
        for data in payloads:
            for target in targets:
                try:
                    sock.sendto(data, target)
                    sent += 1
                except OSError:
                    pass
        if rate > 0:
            ahead = start + sent / rate - time.monotonic()
            if ahead > 0:
                time.sleep(ahead)
print(int(sent / (time.monotonic() - start)), int((time.time() - (time.monotonic() - start)) * 1000))
