#!/usr/bin/env python3
# A small synthetic disc and what the disc database would hold for it, computed here straight
# from the database's definitions (sums written out term by term, no shift registers), so the
# C++ side is checked against a second, independent reading of the same rules.
#   make_ctdb_disc.py OUTDIR  writes disc.bin (the disc's audio from sector 0), disc.cue,
#   parity.bin (16 rows of syndromes) and facts.txt (key value lines).
import base64
import hashlib
import os
import sys
import zlib

SECTOR = 588
STRIDE = 11760  # words
LENGTHS = [120, 95, 72]  # sectors
NPAR = 16

# GF(2^16), x^16 + x^12 + x^3 + x + 1, alpha = x.
EXP = [0] * (2 * 65535)
LOG = [0] * 65536
x = 1
for e in range(65535):
    EXP[e] = EXP[e + 65535] = x
    LOG[x] = e
    x <<= 1
    if x & 0x10000:
        x ^= 0x1100B
assert x == 1 and len(set(EXP[:65535])) == 65535, "alpha is not primitive"


def mul_exp(a, e):
    return EXP[LOG[a] + e % 65535] if a else 0


def tocid(starts, end):
    o = starts[0]
    text = "".join("%08X" % (t - o) for t in starts[1:]) + "%08X" % (end - o)
    text = text.ljust(800, "0")
    b = base64.b64encode(hashlib.sha1(text.encode()).digest()).decode()
    return b.replace("+", ".").replace("/", "_").replace("=", "-")


def audio():
    total = sum(LENGTHS) * SECTOR
    out = bytearray(4 * total)
    seed = 12345
    for i in range(2 * total):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        v = (seed >> 8) & 0xFFFF
        out[2 * i] = v & 0xFF
        out[2 * i + 1] = v >> 8
    return bytes(out)


def words_of(data):
    return [data[2 * i] | data[2 * i + 1] << 8 for i in range(len(data) // 2)]


def layout(n_samples):
    w = 2 * n_samples
    laststride = STRIDE + w % STRIDE
    end = n_samples - laststride // 2
    strides = w // STRIDE - 2
    return end, strides


def syndromes(words, strides, columns, npar):
    # S_k[j] = sum over s of w[(s+1)*STRIDE + j] * alpha^(k*(L-1-s)).
    rows = [[0] * len(columns) for _ in range(npar)]
    for ci, j in enumerate(columns):
        for k in range(npar):
            acc = 0
            for s in range(strides):
                acc ^= mul_exp(words[(s + 1) * STRIDE + j], k * (strides - 1 - s))
            rows[k][ci] = acc
    return rows


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    data = audio()
    n = len(data) // 4
    end, strides = layout(n)
    starts = [0]
    for length in LENGTHS[:-1]:
        starts.append(starts[-1] + length)
    leadout = sum(LENGTHS)
    facts = {}
    facts["toc"] = ":".join(str(s) for s in starts + [leadout])
    facts["tocid"] = tocid(starts, leadout)
    # The same audio followed by a data session: the audio ends a session gap before it.
    facts["tocid_enhanced"] = tocid(starts, leadout)
    facts["samples"] = str(n)
    facts["strides"] = str(strides)
    facts["crc32"] = "%08x" % zlib.crc32(data[4 * 5880:4 * end])
    bounds = [5880] + [s * SECTOR for s in starts[1:]] + [end]
    facts["trackcrcs"] = " ".join(
        "%08x" % zlib.crc32(data[4 * a:4 * b]) for a, b in zip(bounds, bounds[1:]))
    words = words_of(data)
    rows = syndromes(words, strides, range(STRIDE), NPAR)
    with open(os.path.join(out, "parity.bin"), "wb") as f:
        for k in range(NPAR):
            f.write(b"".join(v.to_bytes(2, "little") for v in rows[k]))
    facts["syndrome"] = base64.b64encode(
        b"".join(rows[k][0].to_bytes(2, "little") for k in range(NPAR))).decode()
    # Entries of the audio shifted by an offset: their sample p is ours p + offset.
    for offset in (48, -30, 5879, -5879):
        if offset > 0:
            shifted = data[4 * offset:] + bytes(4 * offset)
        else:
            shifted = bytes(-4 * offset) + data[:4 * offset]
        facts["crc32_%d" % offset] = "%08x" % zlib.crc32(shifted[4 * 5880:4 * end])
        col = syndromes(words_of(shifted), strides, [0], NPAR)
        facts["syndrome_%d" % offset] = base64.b64encode(
            b"".join(col[k][0].to_bytes(2, "little") for k in range(NPAR))).decode()
        if offset == 48:
            # The AccurateRip sums of that pressing's tracks: word k (from 1) weighted by k, the
            # first track's words below 2940 and the last's above N - 2940 left out.
            v1s, v2s = [], []
            ends = starts[1:] + [leadout]
            for t, (a, b) in enumerate(zip(starts, ends)):
                track = shifted[4 * a * SECTOR:4 * b * SECTOR]
                nw = len(track) // 4
                s1 = s2 = 0
                for k in range(1, nw + 1):
                    if (t == 0 and k < 2940) or (t == len(starts) - 1 and k > nw - 2940):
                        continue
                    w = int.from_bytes(track[4 * (k - 1):4 * k], "little")
                    p = k * w
                    s1 += p
                    s2 += (p & 0xFFFFFFFF) + (p >> 32)
                v1s.append("%08x" % (s1 & 0xFFFFFFFF))
                v2s.append("%08x" % (s2 & 0xFFFFFFFF))
            facts["arv1_48"] = " ".join(v1s)
            facts["arv2_48"] = " ".join(v2s)
    with open(os.path.join(out, "disc.bin"), "wb") as f:
        f.write(data)
    with open(os.path.join(out, "disc.cue"), "w") as f:
        f.write('FILE "disc.bin" BINARY\n')
        for i, s in enumerate(starts):
            f.write("  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n"
                    % (i + 1, s // 4500, s // 75 % 60, s % 75))
    with open(os.path.join(out, "facts.txt"), "w") as f:
        for k, v in facts.items():
            f.write("%s %s\n" % (k, v))


main()
