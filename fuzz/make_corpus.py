#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: well-formed inputs of every kind each parser
knows, and a few near misses. Run from anywhere; the files land in fuzz/corpus/<target>/."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def intel(kind, address, data):
    body = [len(data), address >> 8 & 0xFF, address & 0xFF, kind] + list(data)
    return ":" + "".join("%02X" % b for b in body) + "%02X" % (-sum(body) & 0xFF)


def srec(kind, address, data):
    width = {0: 2, 1: 2, 2: 3, 3: 4, 5: 2, 6: 3, 7: 4, 8: 3, 9: 2}[kind]
    addr = list(address.to_bytes(width, "big"))
    body = [len(addr) + len(data) + 1] + addr + list(data)
    return "S%d" % kind + "".join("%02X" % b for b in body) + "%02X" % (~sum(body) & 0xFF)


def hex_seeds():
    code = bytes([0x02] + list(range(1, 32)))
    put("hex", "intel_plain", ("\n".join([intel(0, 0, code[:16]), intel(0, 16, code[16:]), intel(1, 0, b"")]) + "\n").encode())
    put("hex", "intel_banks", ("\r\n".join([intel(4, 0, b"\x00\x01"), intel(0, 0xFFF8, code[:16]),
                                            intel(2, 0, b"\x20\x00"), intel(0, 0x10, code[:8]),
                                            intel(1, 0, b"")]) + "\r\n").encode())
    put("hex", "srec_s1", ("\n".join([srec(0, 0, b"hdr"), srec(1, 0x6000, code), srec(5, 1, b""),
                                      srec(9, 0, b"")]) + "\n").encode())
    put("hex", "srec_s2_s3", ("\n".join([srec(2, 0x12FFF0, code), srec(3, 0x01000010, code[:4]),
                                         srec(6, 2, b""), srec(7, 0, b"")]) + "\n").encode())
    put("hex", "long_record", (intel(0, 0x100, bytes(range(255))) + "\n" + intel(1, 0, b"") + "\n").encode())
    put("hex", "mixed_blanks", ("  " + intel(0, 0, code[:4]) + "  \n\n" + srec(1, 4, code[:4]) + "\t\n").encode())
    put("hex", "damaged_sum", (intel(0, 0, code[:16])[:-2] + "00\n").encode())
    put("hex", "cut_short", intel(0, 0, code[:16])[:20].encode())


def frame(prefix, payload):
    body = [ord(prefix), len(payload) + 0x55] + list(payload)
    return bytes(body + [-sum(body) & 0xFF])


def flashpro_seeds():
    # selector: space = 1 + s % 3, command = (s / 3) % 4, read count = 1 + (s >> 5)
    def selector(space, command, count=1):
        return ((count - 1) << 5) | (command * 3 + (space - 1))

    for space, code in ((1, 0x9E), (2, 0x93), (3, 0x98)):
        for count in (1, 8):
            s = selector(space, 0, count)
            put("flashpro", "read_s%d_n%d" % (space, count), bytes([s]) + frame("P", [code] + list(range(count))))
    for space, code in ((1, 0x95), (2, 0x92), (3, 0x97)):
        put("flashpro", "write_short_s%d" % space, bytes([selector(space, 1)]) + frame("P", [code, 1]))
        put("flashpro", "write_long_s%d" % space, bytes([selector(space, 1)]) + frame("P", [code, 0, 0x11, 0x34, 0x12, 0x55]))
    put("flashpro", "erase", bytes([selector(1, 2)]) + frame("P", [0x90, 0x14, 0x00, 0x14]))
    put("flashpro", "erase_status", bytes([selector(2, 3)]) + frame("P", [0x91, 0x00, 0x00, 0x00, 0x00]))
    put("flashpro", "erase_status_failed", bytes([selector(2, 3)]) + frame("P", [0x91, 0x14, 0x00, 0x00, 0x00]))
    put("flashpro", "bad_length", bytes([selector(2, 0)]) + bytes([ord("P"), 0x54, 0x93]))


def kwp(payload, addressed=True, long_length=False):
    if long_length:
        header = [0x80 if addressed else 0x00] + ([0xF1, 0x10] if addressed else []) + [len(payload)]
    else:
        header = [(0x80 if addressed else 0x00) | len(payload)] + ([0xF1, 0x10] if addressed else [])
    body = header + list(payload)
    return bytes(body + [sum(body) & 0xFF])


def kwp_seeds():
    put("kwp", "start_communication", kwp([0xC1, 0xEF, 0x8F]))
    put("kwp", "session", kwp([0x50, 0x81]))
    put("kwp", "identification", kwp([0x5A, 0x9A] + list(b"J5V05L15")))
    put("kwp", "long_length_byte", kwp([0x5A, 0x91] + [0x41] * 70, long_length=True))
    put("kwp", "no_addresses", kwp([0x7F, 0x1A, 0x12], addressed=False))
    put("kwp", "wrong_tester", bytes([0x82, 0xF0, 0x10, 0x50, 0x81, 0x53]))


def mikas(payload):
    total = -sum(payload) & 0xFF
    out = []
    for b in list(payload) + [total]:
        out += [0x40, 0xCD] if b == 0x0D else [0x40, 0x00] if b == 0x40 else [b]
    return bytes(out + [0x0D])


def mikas_seeds():
    put("mikas", "identifier", bytes([39]) + mikas(list("МИКАС-7".encode("cp866"))))
    put("mikas", "escapes", bytes([20]) + mikas([0x0D, 0x40, 0x41, 0x0D]))
    put("mikas", "short_answer", bytes([3]) + mikas(list(b"ABCDEFGH")))
    put("mikas", "no_terminator", bytes([39]) + bytes([0x41, 0x42, 0x43]))
    put("mikas", "bad_escape", bytes([39]) + bytes([0x41, 0x40, 0x77, 0x0D]))


if __name__ == "__main__":
    hex_seeds()
    flashpro_seeds()
    kwp_seeds()
    mikas_seeds()
