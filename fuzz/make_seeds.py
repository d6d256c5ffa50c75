#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target (fuzz/corpus/NAME/) from the byte strings of
the unit tests, in each target's input layout (see the comment at the top of NAME_fuzz.cpp).
Run from the top of the tree after changing a layout; the files it writes are committed."""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def fcs16(data):
    f = 0xFFFF
    for b in data:
        f ^= b
        for _ in range(8):
            f = (f >> 1) ^ 0x8408 if f & 1 else f >> 1
    return (~f) & 0xFFFF


def with_fcs(data):
    f = fcs16(data)
    return bytes(data) + bytes([f & 0xFF, f >> 8])


def stuff(data, ctrl=False):
    out = bytearray()
    for b in data:
        if b in (0x7E, 0x7D) or (ctrl and b < 0x20):
            out += bytes([0x7D, b ^ 0x20])
        else:
            out.append(b)
    return bytes(out)


def u16(n):
    return struct.pack("<H", n)


def piece(b):
    return bytes([len(b)]) + bytes(b)


def rec(b):
    return u16(len(b)) + bytes(b)


def cns_frame(d):
    return b"\x7e" + stuff(d) + b"\x7e"


def sierra_answer(obj, op, payload, typ=0x6B):
    d = bytearray([0, 0, typ, 0, obj >> 8, obj & 0xFF, op, 0, 0x78, 0x56, 0x34, 0x12, 0,
                   len(payload)]) + bytes(payload)
    d[0] = (len(d) - 4) >> 8
    d[1] = (len(d) - 4) & 0xFF
    return cns_frame(bytes(d))


def write(target, name, data):
    d = os.path.join(ROOT, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


RMC = b"$GPRMC,123519.000,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W*6A"
GGA = b"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"

# cns: capacity, then the frame / data.
write("cns", "escapes", u16(64) + bytes([0x7E, 0x01, 0x7D, 0x5E, 0x7D, 0x5D, 0x7E]))
write("cns", "control-bytes", u16(64) + bytes([0x7E, 0x0D, 0x11, 0x13, 0x20, 0x7E]))
write("cns", "dangling-escape", u16(3) + bytes([0x7E, 0x01, 0x7D, 0x7E]))
write("cns", "empty", u16(2) + bytes([0x7E, 0x7E]))

# hdlc: mode, read size, stream or frames.
lcp = bytes([0xC0, 0x21, 0x01, 0x01, 0x00, 0x04])
write("hdlc", "lcp-line", b"\x00\x00" + b"\x7e" + stuff(with_fcs(b"\xff\x03" + lcp), True) + b"\x7e")
write("hdlc", "lcp-split", b"\x00\x03" + b"\x7e" + stuff(with_fcs(b"\xff\x03" + lcp), True) + b"\x7e")
write("hdlc", "frames", b"\x01\x05" + u16(len(lcp)) + piece(lcp) + u16(0x8000 | 8) +
      piece(bytes([0x00, 0x21, 0x7E, 0x7D, 0x1F, 0x20, 0x7F, 0xFF])))
write("hdlc", "aborted", b"\x00\x00" + bytes([0x7E, 0xFF, 0x03, 0xC0, 0x21, 0x7D, 0x7E, 0x7E]))

# nvram: mode, image or entries.
entries = b"lan_ipaddr=192.168.1.1\x00wan0_proto=dhcp\x00gen=3\x00"
crc = 0xFFFFFFFF
for b in entries:
    crc ^= b
    for _ in range(8):
        crc = (crc >> 1) ^ 0xEDB88320 if crc & 1 else crc >> 1
crc = ~crc & 0xFFFFFFFF
write("nvram", "image", b"\x00" + b"NVC1" + struct.pack("<II", len(entries), crc) + entries)
write("nvram", "entries", b"\x01\x02" + piece(b"SN") + piece(b"A1234") + piece(b"gen") +
      piece(b"7") + piece(b"gen") + piece(b"8"))

# crc_frame: mode, capacity, records.
esn = bytes([0x01, 0x00, 0x04, 0x12, 0x34, 0x56, 0x78])
write("crc_frame", "esn-answer", b"\x00" + u16(2047) + rec(stuff(with_fcs(esn)) + b"\x7e"))
write("crc_frame", "built", b"\x01" + u16(2047) + rec(esn) + rec(bytes([0x7E, 0x7D, 0x00])))
write("crc_frame", "bad-check", b"\x00" + u16(2047) + rec(stuff(esn + b"\x00\x00") + b"\x7e"))

# sierra: operation, room, answers.
write("sierra", "esn-raw", b"\x80\xff" + rec(sierra_answer(0x1000, 2, [0x12, 0x34, 0x56, 0x78])))
write("sierra", "phone-built", b"\x02\x20" + bytes([0x6B, 2, 10]) + piece(b"5551234567"))
write("sierra", "claims-more", b"\x00\x40" + bytes([0x6B, 2, 200]) + piece(b"\x01\x02"))
write("sierra", "heartbeat", b"\x8f\x00" + rec(sierra_answer(0x0000, 6, [])) +
      rec(sierra_answer(0x2005, 6, [0, 1, 0, 2, 0, 3])))
write("sierra", "set", b"\x04\x04" + bytes([0x6B, 4, 0]) + piece(b""))

# sms: mode, then status and chunks.
header = bytearray(184)
header[14] = 7
header[15:22] = b"5551234"
header[161:167] = bytes([0x24, 0x01, 0x02, 0x03, 0x04, 0x05])
msg = bytes(header) + b"hello from the card"
chunks = [msg[:100], msg[100:200], msg[200:]]
built = b"\x00\x01" + bytes([len(chunks) - 2]) + b"".join(piece(c) for c in chunks)
write("sms", "one-message", built)
raw = [sierra_answer(0x2000, 2, [0, 0, 0, 1])]
for i, c in enumerate([msg[:100], msg[100:]]):
    raw.append(sierra_answer(0x2001, 2, bytes([0x12, 0x34, i, 1 if i == 0 else 2, 0, len(c)]) + c))
raw.append(sierra_answer(0x2002, 4, []))
write("sms", "raw-message", b"\x01" + b"".join(rec(r) for r in raw))

# nmea: the sentence.
write("nmea", "rmc", RMC)
write("nmea", "gga", GGA)
write("nmea", "rmc-south-west", b"$GPRMC,123519.000,V,4807.0380,S,01131.0000,W,022.4,084.4,230394,,*6A")
write("nmea", "gsv", b"$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74")

# diag_rx: mode, read sizes, stream or packets.
ver = bytes([0x00]) + b"Dec 08 2026" + bytes(43)
write("diag_rx", "two-frames", b"\x00\x02\x01\x06" + stuff(with_fcs(ver)) + b"\x7e" +
      stuff(with_fcs(bytes([0x4B, 0x7E, 0x0D, 0x7D, 0x05]))) + b"\x7e")
write("diag_rx", "packets", b"\x01\x01\x04" + rec(bytes([0x10, 0x7D, 0x20])) + rec(ver))
write("diag_rx", "abort", b"\x00\x00" + bytes([0x01, 0x02, 0x7D, 0x7E, 0x7E, 0x7E]))

# diag_engine: operation, answer.
write("diag_engine", "version", b"\x80" + rec(ver))
info = bytes([0x4B, 0x32, 11, 0]) + bytes(range(100))
write("diag_engine", "device-info", b"\x81" + rec(info))
pos = bytes([0x4B, 0x0D, 4, 0]) + struct.pack("<iiIBBBBIHHHbBI", 1 << 23, -(1 << 23), 77, 8, 3, 4,
                                                  1, 3, 600, 256, 40, -2, 5, 0)
write("diag_engine", "position", b"\x82" + rec(pos))
write("diag_engine", "error-answer", b"\x03" + stuff(with_fcs(bytes([0x14, 0x4B]))) + b"\x7e")
write("diag_engine", "gps-start", b"\xc4" + rec(bytes([1, 0, 0, 0])))

# syslog_ring: mode, room, ring image.
data = b"0 first line\n\x00" + b"0 second\x00" + b" half\n\x00" + b"1 old\n\x00"
ring = struct.pack("<III", 64, 0, len(data)) + data + bytes(64 - len(data))
write("syslog_ring", "three-lines", b"\x00" + u16(1024) + ring)
write("syslog_ring", "small-room", b"\x00" + u16(8) + ring)
wrap = bytearray(32)
wrap[20:32] = b"0 wrapped li"
wrap[0:4] = b"ne\n\x00"
write("syslog_ring", "wrapped", b"\x00" + u16(512) + struct.pack("<III", 32, 20, 4) + bytes(wrap))

# backup: mode, name, value, image or entries.
img = b"FLSH" + struct.pack("<I", 64) + bytes(12) + b"SN=A1234\x00mac=00:11:22:33:44:55\x00\x00" + bytes(8)
write("backup", "grow", b"\x00" + piece(b"SN") + piece(b"B5678901") + img)
write("backup", "shrink", b"\x00" + piece(b"mac") + piece(b"x") + img)
write("backup", "built", b"\x01" + piece(b"gen") + piece(b"42") + b"\x02" + piece(b"gen=1") +
      piece(b"SN=A") + u16(4))
write("backup", "same-length", b"\x02" + piece(b"SN") + piece(b"B5678") + img)
twice = b"FLSH" + struct.pack("<I", 64) + bytes(12) + b"SN=ZD01\x00SNX=ZD01\x00SN=ZD02\x00\x00" + bytes(4)
write("backup", "same-length-twice", b"\x02" + piece(b"SN") + piece(b"ZD09") + twice)
write("backup", "bad-magic", b"\x02" + piece(b"SN") + piece(b"A") + b"FLSX" + img[4:])

# at: mode, reads.
write("at", "dial", b"\x00" + piece(b"AT\r") + piece(b"ATE0") + piece(b"V1\r\n") + piece(b"ATDT#777\r"))
write("at", "commands", b"\x01" + piece(b"Z") + piece(b"DT#777"))
write("at", "noise", b"\x00" + piece(bytes([0x41, 0x54, 0x00, 0x0D, 0xFF, 0x7E])))

# msgqueue: text length, message text.
def msg_text(cmd, data, length=None):
    if length is None:
        length = 12 + len(data)
    return struct.pack("<ii", 4242, 0) + struct.pack(">HHI", cmd, 0, length) + bytes(4) + bytes(data)
write("msgqueue", "echo", u16(24 + 8) + msg_text(1, b"12345678"))
write("msgqueue", "claims-more", u16(24) + msg_text(1, b"1234", 12 + 900))
write("msgqueue", "sms-status", u16(24) + msg_text(7, b"\x00\x00\x00\x00"))
write("msgqueue", "no-handler", u16(24) + msg_text(200, b"\x00\x00\x00\x00"))
write("msgqueue", "long-reply", u16(26) + msg_text(2, b"\xff\x03\x00\x00\x00\x00"))

# slprintf: directive, size, width, precision, literal before, literal after, argument.
def fmt(d, size, width, prec, before, after, arg):
    return bytes([d]) + u16(size) + struct.pack("<hh", width, prec) + piece(before) + piece(after) + piece(arg)
write("slprintf", "plain-s", fmt(0, 64, 0, -1, b"receive ", b" .", b"ATDT#777"))
write("slprintf", "visible", fmt(1, 40, 0, 6, b"", b"", b"\x01\x7f\xffab"))
write("slprintf", "bytes", fmt(4, 32, 0, 8, b"dump:", b"", b"\x7e\xff\x03\xc0\x21"))
write("slprintf", "nested", fmt(15, 30, 0, 3, b"x%y", b"", b"abcdef"))
write("slprintf", "reduced", fmt(0x87, 16, 5, 0, b"n=", b"", b""))

# rcm: mode, datagrams.
def header(oid, kind, seq, payload, magic=0x2B):
    return bytes(range(8)) + b"\x00\x01\x00\x00" + b"SN123\x00\x00\x00\x00\x00\x00\x00" + \
        struct.pack(">IHHHH", seq, oid, kind, magic, len(payload)) + bytes(payload)
batch = struct.pack(">HH", 0, 0) + b"wan_hostname=router1\x00lan_ipaddr=10.0.0.1\x00"
write("rcm", "config-request", b"\x00" + rec(header(0x0101, 0, 5, batch)))
write("rcm", "acks", b"\x00" + rec(header(2, 1, 0, b"")) + rec(header(7, 1, 0, b"")))
write("rcm", "bad-length", b"\x00" + rec(header(0x0101, 0, 5, b"")[:34] + b"\x01\x00"))
write("rcm", "reply", b"\x02" + rec(header(1, 1, 0, b"")))
write("rcm", "built-config", b"\x01" + u16(0x0101) + u16(0) + rec(batch))
write("rcm", "built-status", b"\x01" + u16(0x8004) + u16(0) + rec(b""))
# A datagram longer than the agent's buffer: what is past 8192 bytes never arrives.
big = header(1, 1, 0, bytes(8200 - 36))
write("rcm", "reply-past-buffer", b"\x02" + rec(big))
# hdlc: the longest frames, with and without address and control.
write("hdlc", "longest-frames", b"\x01\x00" + u16(2000) + piece(b"\x00\x21\x45") +
      u16(0x8000 | 1998) + piece(b"\x00\x21\x45\x45"))
