#!/usr/bin/env python3
"""Checks that a file is an icon file whose images can become KELMORA.exe's icon: an icon
header, at least one image, and every image whole inside the file, each a bitmap or a PNG
image. Prints what is wrong, naming the file, and exits 1; prints nothing and exits 0 for a
good file.

    check_icon.py FILE
"""
import struct
import sys

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


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
    return None


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: check_icon.py FILE")
    path = sys.argv[1]
    try:
        with open(path, "rb") as icon:
            data = icon.read()
    except OSError as error:
        sys.exit(f"icon {path}: cannot be read: {error.strerror}")
    found = problem(data)
    if found:
        sys.exit(f"icon {path}: {found}")


if __name__ == "__main__":
    main()
