#!/usr/bin/env python3
"""Writes the two firmware images that the service tool offers for the
simulated Tavik7: tavik_v1_11.hex and tavik_v1_12.hex.

They are not device firmware. Each is a few hundred bytes of Intel HEX for an
ATmega168: a reset vector that loops on the spot, the version marker
"TAVIKFW:<version>" that the simulator reads after a flash, and a filler text
so that the image spans several flash pages. Run it from anywhere; it writes
next to itself.
"""

import os

RECORD_BYTES = 16
FILLER = b"Tavik7 test firmware for the device simulator; not for real devices. "
SIZE = 300  # three flash pages of 128 bytes, the last one partly used


def image(version):
    data = bytearray(b"\xff\xcf")  # rjmp .-2: the reset vector loops forever
    data += b"TAVIKFW:" + version.encode("ascii") + b"\x00"
    while len(data) < SIZE:
        data += FILLER
    return bytes(data[:SIZE])


def record(address, kind, payload):
    body = bytes([len(payload), address >> 8, address & 0xFF, kind]) + payload
    checksum = (-sum(body)) & 0xFF
    return ":" + (body + bytes([checksum])).hex().upper() + "\r\n"


def intel_hex(data):
    lines = [record(offset, 0, data[offset:offset + RECORD_BYTES])
             for offset in range(0, len(data), RECORD_BYTES)]
    lines.append(record(0, 1, b""))
    return "".join(lines)


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    for version in ("1.11", "1.12"):
        name = "tavik_v%s.hex" % version.replace(".", "_")
        with open(os.path.join(folder, name), "w", newline="") as f:
            f.write(intel_hex(image(version)))


if __name__ == "__main__":
    main()
