#!/usr/bin/env python3
"""Works out, independently of the C++ code, the serial number Windows shows for a volume image.

usage: volume_serial.py iso IMAGE [SESSION_START] [primary]
       volume_serial.py udf IMAGE BLOCK_SIZE
       volume_serial.py boot IMAGE OFFSET WIDTH   (little-endian field of the boot sector; WIDTH 4 or 8)

CD and DVD volumes: the bytes of one 2048-byte block are added, modulo 256, into four lanes by position
modulo 4. ISO 9660 uses the Joliet supplementary descriptor when there is one (else the primary one, or the
primary one when "primary" is given) and puts lane 0 in the high byte. UDF uses the File Set Descriptor,
found here by looking at every block for tag 256 with a valid tag checksum, with lane 0 in the low byte.
"""
import struct
import sys


def lanes(block, reversed_lanes):
    s = [0, 0, 0, 0]
    for i, b in enumerate(block):
        s[i % 4] = (s[i % 4] + b) & 0xFF
    if reversed_lanes:
        return s[3] << 24 | s[2] << 16 | s[1] << 8 | s[0]
    return s[0] << 24 | s[1] << 16 | s[2] << 8 | s[3]


def iso(data, session, primary_only):
    primary = joliet = None
    offset = (session + 16) * 2048
    while offset + 2048 <= len(data):
        d = data[offset:offset + 2048]
        if d[1:6] != b"CD001" or d[0] == 255:
            break
        if d[0] == 1 and primary is None:
            primary = d
        if d[0] == 2 and joliet is None and d[88:90] == b"%/" and d[90:91] in (b"@", b"C", b"E"):
            joliet = d
        offset += 2048
    chosen = primary if primary_only or joliet is None else joliet
    return lanes(chosen, False)


def udf(data, block_size):
    for offset in range(0, len(data) - block_size + 1, block_size):
        tag = data[offset:offset + 16]
        if struct.unpack_from("<H", tag, 0)[0] != 256:
            continue
        if (sum(tag[:4]) + sum(tag[5:16])) & 0xFF != tag[4]:
            continue
        return lanes(data[offset:offset + min(block_size, 2048)], True)
    raise SystemExit("no file set descriptor")


def main():
    kind, path = sys.argv[1], sys.argv[2]
    data = open(path, "rb").read()
    if kind == "iso":
        session = int(sys.argv[3]) if len(sys.argv) > 3 else 0
        value = iso(data, session, len(sys.argv) > 4 and sys.argv[4] == "primary")
    elif kind == "udf":
        value = udf(data, int(sys.argv[3]))
    else:
        offset, width = int(sys.argv[3], 0), int(sys.argv[4])
        value = int.from_bytes(data[offset:offset + width], "little") & 0xFFFFFFFF
    print("%08X" % value)


main()
