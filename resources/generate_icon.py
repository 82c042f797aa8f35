#!/usr/bin/env python3
"""Draws the saver's icon, resources/miruton.ico: a sun rising over a green
hill with a path winding towards it, in the three classic formats (32 x 32
and 16 x 16 with the 16 standard colours, 32 x 32 with 256 colours).
Standard library only; run it with any Python 3."""
import math
import os
import struct

# The 16 colours of the standard Windows palette (R, G, B).
VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def scene(x, y, size):
    """The colour of pixel (x, y), y from the top, of a size x size icon; None is transparent."""
    u, v = (x + 0.5) / size, (y + 0.5) / size
    if (u - 0.5) ** 2 + (v - 0.5) ** 2 > 0.25:  # a round icon
        return None
    hill = 0.62 + 0.10 * math.cos((u - 0.35) * 4.0)
    if v > hill:
        # The path: a band that narrows towards the horizon.
        centre = 0.5 + 0.18 * math.sin((v - hill) * 9.0)
        half = 0.02 + 0.16 * (v - hill)
        if abs(u - centre) < half:
            return (222, 190, 120)
        shade = (v - hill) / (1.0 - hill)
        return (int(40 + 30 * shade), int(150 - 50 * shade), int(50 + 10 * shade))
    sun = (u - 0.5) ** 2 + (v - 0.52) ** 2
    if sun < 0.035:
        return (255, 200, 40)
    if sun < 0.05:
        return (255, 150, 60)
    # Sky: deep blue above, warm towards the horizon.
    t = v / hill
    return (int(40 + 200 * t), int(90 + 90 * t), int(200 - 60 * t))


def nearest(colour, palette):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(colour, palette[i])))


def palette256():
    """A 6 x 6 x 6 colour cube and a grey ramp: enough for smooth skies."""
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    greys = [(g * 6, g * 6, g * 6) for g in range(40)]
    return (cube + greys)[:256]


def icon_image(size, palette, bits):
    """A BITMAPINFOHEADER, palette, XOR and AND masks: one ICO image entry."""
    rows, mask_rows = [], []
    for y in reversed(range(size)):  # bottom-up
        indexes, mask = [], []
        for x in range(size):
            colour = scene(x, y, size)
            indexes.append(0 if colour is None else nearest(colour, palette))
            mask.append(1 if colour is None else 0)
        if bits == 4:
            row = bytes((indexes[i] << 4) | indexes[i + 1] for i in range(0, size, 2))
        else:
            row = bytes(indexes)
        rows.append(row + b"\0" * (-len(row) % 4))
        mask_bytes = bytes(sum(mask[i + k] << (7 - k) for k in range(8)) for i in range(0, size, 8))
        mask_rows.append(mask_bytes + b"\0" * (-len(mask_bytes) % 4))
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    xor, and_mask = b"".join(rows), b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(and_mask),
                         0, 0, len(palette), 0)
    return header + colours + xor + and_mask


def main():
    images = [(32, VGA16, 4), (16, VGA16, 4), (32, palette256(), 8)]
    blobs = [icon_image(size, palette, bits) for size, palette, bits in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, palette, bits), blob in zip(images, blobs):
        colour_count = len(palette) if len(palette) < 256 else 0
        out += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    out += b"".join(blobs)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "miruton.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
