# Sends garbage datagrams to the given UDP ports on the loopback address as
# fast as it can for the given seconds, then prints how many a second.
import os
import socket
import sys
import time

seconds = float(sys.argv[1])
ports = [int(p) for p in sys.argv[2:]]
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
print(int(sent / (time.monotonic() - start)))
