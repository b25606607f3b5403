#!/usr/bin/env python3
"""Draws the upload icon (32 x 32, 32-bit colour with alpha) into an .ico file.

    make_icon.py OUTPUT

An upward arrow over a bar, in blue on a transparent ground. The file holds
one image: the icon directory, then the image as a bottom-up bitmap with its
AND mask.
"""
import struct
import sys

SIZE = 32
ARROW = (0x20, 0x60, 0xC0, 0xFF)  # blue, green, red, alpha
BAR = (0x20, 0x20, 0x20, 0xFF)


def pixel(x, y):
    """The colour at column x, row y (row 0 at the top), or None."""
    if 4 <= y <= 15 and abs(x - 15.5) <= y - 3:  # the head
        return ARROW
    if 16 <= y <= 23 and 11 <= x <= 20:  # the shaft
        return ARROW
    if 26 <= y <= 28 and 5 <= x <= 26:  # the bar
        return BAR
    return None


def image():
    colour, mask = bytearray(), bytearray()
    mask_row_bytes = (SIZE + 31) // 32 * 4
    for y in reversed(range(SIZE)):  # bitmaps run bottom-up
        bits = 0
        for x in range(SIZE):
            c = pixel(x, y)
            colour += bytes(c) if c else bytes(4)
            bits = bits << 1 | (c is None)
        mask += bits.to_bytes(SIZE // 8, "big").ljust(mask_row_bytes, b"\0")
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + mask


def main():
    data = image()
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(data), 22)
    with open(sys.argv[1], "wb") as out:
        out.write(directory + data)


if __name__ == "__main__":
    main()
