#!/usr/bin/env python3
"""Makes a folder tree for the benchmarks: camera files of about 3 MB laid out
as the camera writes them, mixed with other JPEGs, text files and nested
folders.

A camera file is a real 3072x2048 JPEG from cjpeg (the camera's 6-megapixel
size) wrapped the way the camera wraps it:

  FF D8                       start of image
  FF E1 <len> "Exif\\0\\0"      APP1 right after it
    "II*\\0" 08 00 00 00        little-endian TIFF header, IFD0 at offset 8
    IFD0 (file offset 20)      Make, Model, Orientation (1, 3, 6 or 8), ...
    model text at file offset 146: "EOS 300D DIGITAL"
    IFD1 and two small thumbnails (each starts FF D8 FF)
  the picture's own segments (tables, frame, scan, end of image)
  an appended preview JPEG    the fourth FF D8 FF: where the tool cuts

Only a few base pictures are encoded; every file gets its own date, its own
filler bytes inside the Exif segment and its own Orientation, so no two files
are byte-identical.

Usage: make_tree.py DEST [--camera N] [--turned F] [--turn-values 3,6,8]
                         [--others N] [--flat] [--bases N] [--seed S]
DEST must not exist yet. Prints a one-line summary (files, bytes, largest
camera file) on success.
"""

import argparse
import math
import os
import random
import struct
import subprocess
import sys
import tempfile

WIDTH, HEIGHT = 3072, 2048
MODEL_OFFSET = 146  # in the file
TIFF_START = 12  # FF D8, FF E1, length, "Exif\0\0"


# --- pictures ---------------------------------------------------------------


def synthetic_ppm(width, height, seed, noise):
    """A PPM picture with smooth shading and grain, built row by row from a
    few precomputed rows so that a 6-megapixel one takes well under a second.
    The grain sets how large the JPEG gets."""
    rnd = random.Random(seed)
    kinds = 61
    rows = []
    for k in range(kinds):
        row = bytearray(width * 3)
        phase = [rnd.random() * 6 for _ in range(3)]
        for x in range(width):
            for c in range(3):
                v = 128 + 70 * math.sin(x / (53 + 17 * c) + phase[c] + k * 0.05)
                v += rnd.randint(-noise, noise)
                row[x * 3 + c] = 0 if v < 0 else 255 if v > 255 else int(v)
        rows.append(bytes(row) * 2)
    shades = []
    for band in range(256):
        lift = int(50 * math.sin(band / 9.0 + seed))
        shades.append(bytes(max(0, min(255, v + lift)) for v in range(256)))
    out = bytearray(b"P6\n%d %d\n255\n" % (width, height))
    span = width * 3
    for y in range(height):
        start = ((y * 13) % width) * 3
        row = rows[(y * 17 + y // 64) % kinds][start : start + span]
        out += row.translate(shades[(y // 8) % 256])
    return bytes(out)


def cjpeg(ppm, quality, work):
    src = os.path.join(work, "in.ppm")
    dst = os.path.join(work, "out.jpg")
    with open(src, "wb") as f:
        f.write(ppm)
    subprocess.run(["cjpeg", "-quality", str(quality), "-outfile", dst, src], check=True)
    with open(dst, "rb") as f:
        return f.read()


def without_jfif(jpeg):
    """The segments after the start of image and the JFIF APP0 segment."""
    at = 2
    if jpeg[2:4] == b"\xff\xe0":
        at = 4 + struct.unpack(">H", jpeg[4:6])[0]
    return jpeg[at:]


def with_comment(jpeg, text):
    """The same JPEG with a comment segment after its JFIF segment."""
    at = 2
    if jpeg[2:4] == b"\xff\xe0":
        at = 4 + struct.unpack(">H", jpeg[4:6])[0]
    data = text.encode()
    return jpeg[:at] + b"\xff\xfe" + struct.pack(">H", len(data) + 2) + data + jpeg[at:]


# --- the camera's Exif segment ------------------------------------------------


def entry(tag, kind, count, value):
    """One 12-byte IFD entry; value is the 4-byte field, already packed."""
    return struct.pack("<HHI", tag, kind, count) + value


def short_value(v):
    return struct.pack("<HH", v, 0)


def long_value(v):
    return struct.pack("<I", v)


def exif_segment(model, orientation, date, thumbs, filler):
    """APP1 as the camera lays it; offsets are from the TIFF header, which
    lies at file offset 12, so IFD0 is at file offset 20 and the model text
    at 146."""
    ifd0_entries = 8
    make_at = 8 + 2 + 12 * ifd0_entries + 4  # 110
    xres_at = make_at + 8  # 118
    yres_at = xres_at + 8  # 126
    model_at = MODEL_OFFSET - TIFF_START  # 134
    date_at = model_at + 32  # 166
    ifd1_at = date_at + 20  # 186
    thumb_at = ifd1_at + 2 + 12 * 3 + 4  # 228
    assert yres_at + 8 == model_at

    t = bytearray(b"II*\x00" + struct.pack("<I", 8))
    t += struct.pack("<H", ifd0_entries)
    t += entry(0x010F, 2, 6, long_value(make_at))  # Make
    t += entry(0x0110, 2, 32, long_value(model_at))  # Model
    t += entry(0x0112, 3, 1, short_value(orientation))  # Orientation
    t += entry(0x011A, 5, 1, long_value(xres_at))  # XResolution
    t += entry(0x011B, 5, 1, long_value(yres_at))  # YResolution
    t += entry(0x0128, 3, 1, short_value(2))  # ResolutionUnit: inches
    t += entry(0x0132, 2, 20, long_value(date_at))  # DateTime
    t += entry(0x0213, 3, 1, short_value(1))  # YCbCrPositioning
    t += struct.pack("<I", ifd1_at)
    assert len(t) == make_at
    t += b"Canon\x00\x00\x00"
    t += struct.pack("<II", 180, 1) * 2
    t += model.encode().ljust(32, b"\x00")
    t += date.encode().ljust(20, b"\x00")
    assert len(t) == ifd1_at
    t += struct.pack("<H", 3)
    t += entry(0x0103, 3, 1, short_value(6))  # Compression: JPEG
    t += entry(0x0201, 4, 1, long_value(thumb_at))  # JPEGInterchangeFormat
    t += entry(0x0202, 4, 1, long_value(len(thumbs[0])))  # ...Length
    t += struct.pack("<I", 0)
    assert len(t) == thumb_at
    for thumb in thumbs:
        t += thumb
    t += filler
    body = b"Exif\x00\x00" + bytes(t)
    assert len(body) + 2 <= 0xFFFF
    return b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body


def filler_bytes(rnd, size):
    """Bytes unique to one file that can never form FF D8 FF."""
    return bytes(b if b != 0xFF else 0 for b in rnd.randbytes(size))


def camera_file(base, thumbs, preview, model, orientation, date, rnd):
    app1 = exif_segment(model, orientation, date, thumbs, filler_bytes(rnd, 256))
    return b"\xff\xd8" + app1 + base + preview


# --- the tree -----------------------------------------------------------------


def fmt_date(rnd, day):
    return "2004:%02d:%02d %02d:%02d:%02d" % (
        1 + day // 28 % 12,
        1 + day % 28,
        rnd.randrange(24),
        rnd.randrange(60),
        rnd.randrange(60),
    )


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("dest")
    ap.add_argument("--camera", type=int, default=200, help="camera files (default 200)")
    ap.add_argument("--turned", type=float, default=0.0,
                    help="fraction of camera files with a turned Orientation (default 0)")
    ap.add_argument("--turn-values", default="3,6,8",
                    help="Orientation values given to turned files, in turn (default 3,6,8)")
    ap.add_argument("--others", type=int, default=None,
                    help="non-camera files (default twice --camera; 0 with --flat)")
    ap.add_argument("--flat", action="store_true", help="all files in DEST itself, no folders")
    ap.add_argument("--bases", type=int, default=3, help="base pictures encoded (default 3)")
    ap.add_argument("--seed", type=int, default=300)
    args = ap.parse_args()
    if os.path.exists(args.dest):
        sys.exit("make_tree.py: %s exists already" % args.dest)
    others = args.others if args.others is not None else (0 if args.flat else 2 * args.camera)
    turn_values = [int(v) for v in args.turn_values.split(",")]
    rnd = random.Random(args.seed)

    with tempfile.TemporaryDirectory() as work:
        # Grain 11..17 at quality 90 gives pictures of about 2.5 to 2.9 MB.
        bases = [
            without_jfif(cjpeg(synthetic_ppm(WIDTH, HEIGHT, args.seed + i, 11 + 3 * i), 90, work))
            for i in range(args.bases)
        ]
        preview = cjpeg(synthetic_ppm(1536, 1024, args.seed + 50, 4), 60, work)
        thumb = cjpeg(synthetic_ppm(160, 120, args.seed + 60, 4), 75, work)
        small = cjpeg(synthetic_ppm(1024, 768, args.seed + 70, 8), 85, work)
        snapshot = without_jfif(cjpeg(synthetic_ppm(640, 480, args.seed + 80, 8), 85, work))

    os.makedirs(args.dest)
    folders = [args.dest]
    if not args.flat:
        folders = []
        events = max(1, args.camera // 20)
        for e in range(events):
            month = 1 + e * 12 // events
            sub = os.path.join(args.dest, "2004", "%02d" % month, "event_%03d" % e)
            if e % 4 == 3:
                sub = os.path.join(sub, "DCIM", "100CANON")
            folders.append(sub)
        for sub in folders:
            os.makedirs(sub)
        for extra in ("documents/letters", "documents/notes/old", "web/img", ".thumbnails"):
            os.makedirs(os.path.join(args.dest, extra))

    total = 0
    largest = 0
    when = 1072915200  # 2004-01-01, so that replaced files show their kept times
    turned = round(args.camera * args.turned)
    turned_at = set(rnd.sample(range(args.camera), turned)) if turned else set()
    turn_index = 0
    for n in range(args.camera):
        orientation = 1
        if n in turned_at:
            orientation = turn_values[turn_index % len(turn_values)]
            turn_index += 1
        data = camera_file(bases[n % len(bases)], [thumb, thumb], preview, "EOS 300D DIGITAL",
                           orientation, fmt_date(rnd, n), rnd)
        folder = folders[n * len(folders) // args.camera]
        path = os.path.join(folder, "IMG_%04d.JPG" % (n + 1))
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (when + n * 3600, when + n * 3600))
        total += len(data)
        largest = max(largest, len(data))

    # Files the tool must leave alone: other cameras' JPEGs, plain JPEGs,
    # text, and names that only look like pictures.
    for n in range(others):
        kind = n % 10
        folder = rnd.choice(folders) if kind < 6 or args.flat else os.path.join(
            args.dest, rnd.choice(["documents/letters", "documents/notes/old", "web/img",
                                   ".thumbnails"]))
        if kind < 2:
            name, data = "DSC%05d.JPG" % n, camera_file(
                snapshot, [thumb], b"", "Canon PowerShot A70", 1, fmt_date(rnd, n), rnd)
        elif kind < 5:
            name, data = "photo_%05d.jpg" % n, with_comment(small, "copy %d" % n)
        elif kind < 6:
            name, data = "IMG_%04d.JPG.txt" % n, ("note %d\n" % n).encode() * 40
        elif kind < 9:
            name, data = "notes_%05d.txt" % n, ("line of text %d\n" % n).encode() * rnd.randrange(20, 400)
        else:
            name, data = "scan_%05d.jpeg" % n, with_comment(small, "scan %d" % n)
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        total += len(data)

    print("%d camera files (%d turned), %d other files, %d bytes, largest camera file %d bytes"
          % (args.camera, turned, others, total, largest))


if __name__ == "__main__":
    main()
