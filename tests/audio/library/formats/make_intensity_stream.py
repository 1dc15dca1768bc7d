#!/usr/bin/env python3
"""Writes a layer III stream that uses intensity stereo, which the encoders
at hand never produce. Every frame is complete in itself (main_data_begin 0)
and codes its spectral values, all -1, 0 or 1, in the count1 region with
table B, so that only the side information, the scale factors and four-bit
code words need writing. Intensity positions, mid/side together with
intensity, long and short blocks and, for LSF streams, both intensity scales
are varied from frame to frame.

usage: make_intensity_stream.py mpeg1|lsf OUTPUT [FRAMES]
"""
import random
import sys

LONG_48K = [0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60, 72, 88, 106, 128, 156, 190, 230, 276,
            330, 384, 576]
SHORT_48K = [0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192]
LONG_24K = [0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 114, 136, 162, 194, 232, 278, 332,
            394, 464, 540, 576]
SHORT_24K = [0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192]


class Bits:
    def __init__(self):
        self.bits = []

    def put(self, value, width):
        for i in range(width - 1, -1, -1):
            self.bits.append((value >> i) & 1)

    def extend(self, other):
        self.bits.extend(other.bits)

    def to_bytes(self, size):
        assert len(self.bits) <= size * 8, (len(self.bits), size * 8)
        padded = self.bits + [0] * (size * 8 - len(self.bits))
        return bytes(int(''.join(map(str, padded[i:i + 8])), 2) for i in range(0, len(padded), 8))


def count1_code(values):
    """Table B code words of values (-1, 0, 1) up to the last non-zero."""
    last = max((i for i, v in enumerate(values) if v), default=-1)
    end = (last + 4) // 4 * 4
    out = Bits()
    for q in range(0, end, 4):
        quad = values[q:q + 4]
        index = sum(abs(v) << (3 - i) for i, v in enumerate(quad))
        out.put(15 - index, 4)
        for v in quad:
            if v:
                out.put(1 if v < 0 else 0, 1)
    return out


def random_lines(rng, begin, end, density):
    return {i: rng.choice((-1, 1)) for i in range(begin, end) if rng.random() < density}


def long_spectrum(rng, left_end, right_end):
    values = [[0] * 576, [0] * 576]
    for i, v in random_lines(rng, 0, left_end, 0.5).items():
        values[0][i] = v
    for i, v in random_lines(rng, 0, right_end, 0.5).items():
        values[1][i] = v
    if right_end:
        values[1][right_end - 1] = 1
    return values


def short_spectrum(rng, short, left_end, right_ends):
    """Short-block values in the stream's order: band, window, line."""
    values = [[0] * 576, [0] * 576]
    for ch, ends in ((0, [left_end] * 3), (1, right_ends)):
        for sfb in range(13):
            width = short[sfb + 1] - short[sfb]
            for w in range(3):
                for j in range(width):
                    frequency = short[sfb] + j
                    if frequency < ends[w] and (rng.random() < 0.5 or frequency == ends[w] - 1):
                        values[ch][3 * short[sfb] + w * width + j] = rng.choice((-1, 1))
    return values


def granule_info(out, lsf, part2_3, gain, compress, block_type, subblock_gain):
    out.put(part2_3, 12)
    out.put(0, 9)            # big_values: everything is in the count1 region
    out.put(gain, 8)
    out.put(compress, 9 if lsf else 4)
    if block_type:
        out.put(1, 1)        # window switching
        out.put(block_type, 2)
        out.put(0, 1)        # not mixed
        out.put(0, 5)
        out.put(0, 5)
        for g in subblock_gain:
            out.put(g, 3)
    else:
        out.put(0, 1)
        for _ in range(3):
            out.put(0, 5)
        out.put(0, 4)
        out.put(0, 3)
    if not lsf:
        out.put(0, 1)        # preflag
    out.put(0, 1)            # scalefac_scale
    out.put(1, 1)            # count1 table B


def mpeg1_scale_factors(factors, short):
    """scalefac_compress 15: 4 bits for bands 0-10 (short 0-5), 3 for the rest."""
    out = Bits()
    if short:
        for sfb in range(12):
            for w in range(3):
                out.put(factors[sfb][w], 4 if sfb < 6 else 3)
    else:
        for sfb in range(21):
            out.put(factors[sfb], 4 if sfb < 11 else 3)
    return out


def lsf_scale_factors(factors, short, slen, counts):
    out = Bits()
    flat = [f for band in factors[:12] for f in band] if short else list(factors[:21])
    position = 0
    for group in range(4):
        for _ in range(counts[group]):
            out.put(flat[position] if position < len(flat) else 0, slen[group])
            position += 1
    return out


def is_short_frame(index):
    return index % 4 in (2, 3)


def block_type(lsf, index, granule):
    """Normal, start, short or stop, so that short blocks are entered and
    left through the transition windows as the standard requires."""
    if is_short_frame(index):
        return 2
    granules = 1 if lsf else 2
    number = index * granules + granule
    before = (number - 1) // granules
    after = (number + 1) // granules
    if number + 1 < FRAMES * granules and is_short_frame(after):
        return 1
    if number > 0 and is_short_frame(before):
        return 3
    return 0


def frame(rng, lsf, index):
    long_bands, short_bands = (LONG_24K, SHORT_24K) if lsf else (LONG_48K, SHORT_48K)
    mode_extension = 1 if index % 3 == 0 else 3     # intensity alone, or with mid/side
    short = is_short_frame(index)
    granules = 1 if lsf else 2
    # 320 kbit/s at 48 kHz (MPEG-1) or 160 kbit/s at 24 kHz (LSF): 960 or 480 bytes.
    if lsf:
        header = bytes([0xFF, 0xF3, 0xE4, 0x44 | (mode_extension << 4)])
        size = 480
    else:
        header = bytes([0xFF, 0xFB, 0xE4, 0x44 | (mode_extension << 4)])
        size = 960
    intensity_scale = index % 2

    side = Bits()
    side.put(0, 8 if lsf else 9)   # main_data_begin
    side.put(0, 2 if lsf else 3)   # private bits
    if not lsf:
        side.put(0, 8)             # scfsi
    main = Bits()
    for granule in range(granules):
        if short:
            right_ends = [rng.randrange(0, 60) for _ in range(3)]
            values = short_spectrum(rng, short_bands, rng.randrange(120, 192), right_ends)
        else:
            values = long_spectrum(rng, rng.randrange(300, 576), rng.randrange(0, 160))
        for ch in range(2):
            # MPEG-1 position 7 is illegal (the band is coded normally); both
            # decoders agree on it. For LSF streams the standard makes the
            # largest value of the field (7 here) the illegal position, which
            # the reference decoder takes as a real position, so it is left
            # out.
            top = 7 if lsf and ch == 1 else 8
            if short:
                factors = [[rng.randrange(0, top) for _ in range(3)] for _ in range(13)]
            else:
                factors = [rng.randrange(0, top) for _ in range(22)]
            if lsf:
                if ch == 0:
                    compress, slen, counts = 298, (3, 3, 2, 2), ((9, 9, 9, 9) if short else (6, 5, 5, 5))
                else:
                    # Intensity variant: slen 3, 3, 3 in groups of 7 (long)
                    # or 12 (short) factors; position 7 is the illegal one.
                    compress = 2 * (3 * 36 + 3 * 6 + 3) + intensity_scale
                    slen, counts = (3, 3, 3, 0), ((12, 12, 12, 0) if short else (7, 7, 7, 0))
                part2 = lsf_scale_factors(factors, short, slen, counts)
            else:
                compress = 15
                part2 = mpeg1_scale_factors(factors, short)
            part3 = count1_code(values[ch])
            subblock_gain = [rng.randrange(0, 3) for _ in range(3)]
            gain = rng.randrange(176, 186)
            granule_info(side, lsf, len(part2.bits) + len(part3.bits), gain, compress,
                         block_type(lsf, index, granule), subblock_gain)
            main.extend(part2)
            main.extend(part3)
    side_bytes = 17 if lsf else 32
    body = side.to_bytes(side_bytes) + main.to_bytes(size - 4 - side_bytes)
    return header + body


FRAMES = 12


def main():
    global FRAMES
    kind, path = sys.argv[1], sys.argv[2]
    FRAMES = int(sys.argv[3]) if len(sys.argv) > 3 else FRAMES
    rng = random.Random(2024 if kind == 'lsf' else 1993)
    with open(path, 'wb') as f:
        for i in range(FRAMES):
            f.write(frame(rng, kind == 'lsf', i))


if __name__ == '__main__':
    main()
