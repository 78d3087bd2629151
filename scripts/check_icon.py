#!/usr/bin/env python3
"""Checks that a file is an icon file whose images can become KELMORA.exe's icon: an icon
header, at least one image, and every image whole inside the file, each a bitmap or an 8-bit
RGBA PNG image. Prints what is wrong, naming the file, and exits 1; prints nothing and exits 0
for a good file.

    check_icon.py FILE [OUT]

With OUT, writes the icon file there with each directory entry's planes and bit count taken
from its image (a bitmap's header; 1 and 32 for a PNG image), the images byte for byte. The
resource compiler copies those two fields into the icon group, and Windows picks the image for
a display by them: many tools write 0 there, and the images' own headers are what counts.
"""
import os
import struct
import sys

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


PNG_COLOUR_TYPES = {0: "greyscale", 2: "RGB", 3: "palette", 4: "greyscale with alpha", 6: "RGBA"}


def png_problem(image):
    """What is wrong with a PNG image as an icon, or None: Windows draws 8-bit RGBA ones."""
    if len(image) < 33 or image[12:16] != b"IHDR":
        return "is a PNG image without its header"
    depth, colour = image[24], image[25]
    if (depth, colour) != (8, 6):
        return (f"is a PNG image in {PNG_COLOUR_TYPES.get(colour, f'colour type {colour}')} at {depth} "
                "bits per channel, which Windows may not draw as an icon: save it as 8-bit RGBA "
                "(32-bit PNG with an alpha channel)")
    return None


def planes_and_bits(image):
    """The planes and bit count an image's own header gives."""
    if image.startswith(PNG_SIGNATURE):
        return 1, 32
    return struct.unpack_from("<HH", image, 12)


def problem(data):
    """What is wrong with the bytes of an icon file, or None."""
    if len(data) < 6:
        return f"is not an icon file: {len(data)} bytes, too short for an icon header"
    reserved, kind, count = struct.unpack_from("<HHH", data)
    if reserved != 0 or kind != 1:
        return "is not an icon file: it does not start with an icon header"
    if count == 0:
        return "holds no images"
    if len(data) < 6 + 16 * count:
        return (f"is truncated: its directory of {count} images takes {6 + 16 * count} bytes, "
                f"the file has {len(data)}")
    for number in range(1, count + 1):
        size, offset = struct.unpack_from("<II", data, 6 + 16 * (number - 1) + 8)
        if size == 0:
            return f"image {number} of {count} is empty"
        if offset < 6 + 16 * count or offset + size > len(data):
            return (f"image {number} of {count} points outside the file's images: bytes {offset} "
                    f"to {offset + size} of {len(data)}")
        image = data[offset:offset + size]
        is_bitmap = len(image) >= 40 and struct.unpack_from("<I", image)[0] == 40
        if not image.startswith(PNG_SIGNATURE) and not is_bitmap:
            return f"image {number} of {count} is neither a bitmap nor a PNG image"
        wrong = png_problem(image) if image.startswith(PNG_SIGNATURE) else None
        if wrong:
            return f"image {number} of {count} {wrong}"
    return None


def with_planes_and_bits(data):
    """The icon file with each directory entry's planes and bit count those of its image."""
    fixed = bytearray(data)
    for entry in range(6, 6 + 16 * struct.unpack_from("<H", data, 4)[0], 16):
        size, offset = struct.unpack_from("<II", data, entry + 8)
        struct.pack_into("<HH", fixed, entry + 4, *planes_and_bits(data[offset:offset + size]))
    return bytes(fixed)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: check_icon.py FILE [OUT]")
    path = sys.argv[1]
    try:
        with open(path, "rb") as icon:
            data = icon.read()
    except OSError as error:
        sys.exit(f"icon {path}: cannot be read: {error.strerror}")
    found = problem(data)
    if found:
        sys.exit(f"icon {path}: {found}")
    if len(sys.argv) == 3:
        fixed = with_planes_and_bits(data)
        os.makedirs(os.path.dirname(sys.argv[2]) or ".", exist_ok=True)
        # Rewritten only when changed, so that the same icon rebuilds nothing.
        if not os.path.exists(sys.argv[2]) or open(sys.argv[2], "rb").read() != fixed:
            with open(sys.argv[2], "wb") as out:
                out.write(fixed)


if __name__ == "__main__":
    main()
