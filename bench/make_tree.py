#!/usr/bin/env python3
"""Makes a folder tree for the benchmarks: camera files of about 3 MB laid out
as the camera writes them, mixed with other JPEGs, text files and nested
folders.

The camera files come from the test kit's camera_files program (tests/kit,
$CAMERA_FILES; bench/lib.sh builds it): a real 3072x2048 JPEG from cjpeg (the
camera's 6-megapixel size) wrapped the way the camera wraps it:

  FF D8                       start of image
  FF E1 <len> "Exif\\0\\0"      APP1 right after it
    "II*\\0" 08 00 00 00        little-endian TIFF header, IFD0 at offset 8
    IFD0 (file offset 20)      Orientation (1, 3, 6 or 8), Model
    model text at file offset 146: "EOS 300D DIGITAL"
    IFD1, pointing to a real 160x120 thumbnail in a place of 9,728 bytes
    one tiny stand-in thumbnail before it (each starts FF D8 FF)
  the picture's own segments (tables, frame, scan, end of image)
  an appended 1536x1024 preview JPEG: the fourth FF D8 FF, where the tool cuts

Only a few base pictures are encoded; every file gets its own tag inside the
Exif segment and its own Orientation, so no two files are byte-identical.

Usage: make_tree.py DEST [--camera N] [--turned F] [--turn-values 3,6,8]
                         [--others N] [--flat] [--bases N] [--seed S] [--quality Q]
DEST must not exist yet. Prints a one-line summary (files, bytes, largest
camera file) on success.
"""

import argparse
import os
import random
import struct
import subprocess
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CAMERA_FILES = os.environ.get("CAMERA_FILES",
                              os.path.join(REPO, "build-bench", "tests", "kit", "camera_files"))
WIDTH, HEIGHT = 3072, 2048


def camera_files(lines):
    """Runs camera_files on lines of tab-separated arguments; returns the
    length of each file written."""
    done = subprocess.run([CAMERA_FILES, "--batch"], check=True, stdout=subprocess.PIPE,
                          input="".join("\t".join(line) + "\n" for line in lines).encode())
    return [int(row.rsplit(" ", 2)[1]) for row in done.stdout.decode().splitlines()]


def with_comment(jpeg, text):
    """The same JPEG with a comment segment after its JFIF segment."""
    at = 2
    if jpeg[2:4] == b"\xff\xe0":
        at = 4 + struct.unpack(">H", jpeg[4:6])[0]
    data = text.encode()
    return jpeg[:at] + b"\xff\xfe" + struct.pack(">H", len(data) + 2) + data + jpeg[at:]


# --- the tree -----------------------------------------------------------------


def camera_line(path, n, base, seed, orientation, quality):
    """camera_files' arguments for the n-th camera file. Grain 11..17 gives
    files of about 3.2 to 3.7 MB at quality 90, 2.2 to 2.4 MB at 78."""
    return [path, "--orientations", str(orientation), "--tag", "#%05d" % n, "--size",
            "%dx%d" % (WIDTH, HEIGHT), "--grain", str(11 + 3 * base), "--seed", str(seed + base),
            "--quality", str(quality), "--preview-size", "1536x1024", "--thumbnails", "1",
            "--thumbnail-size", "160x120", "--thumbnail-place", "9728"]


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
    ap.add_argument("--quality", type=int, default=90,
                    help="JPEG quality of the camera files' pictures (default 90)")
    args = ap.parse_args()
    if os.path.exists(args.dest):
        sys.exit("make_tree.py: %s exists already" % args.dest)
    others = args.others if args.others is not None else (0 if args.flat else 2 * args.camera)
    turn_values = [int(v) for v in args.turn_values.split(",")]
    rnd = random.Random(args.seed)

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

    when = 1072915200  # 2004-01-01, so that replaced files show their kept times
    turned = round(args.camera * args.turned)
    turned_at = set(rnd.sample(range(args.camera), turned)) if turned else set()
    turn_index = 0
    lines = []
    for n in range(args.camera):
        orientation = 1
        if n in turned_at:
            orientation = turn_values[turn_index % len(turn_values)]
            turn_index += 1
        folder = folders[n * len(folders) // args.camera]
        path = os.path.join(folder, "IMG_%04d.JPG" % (n + 1))
        lines.append(camera_line(path, n, n % args.bases, args.seed, orientation, args.quality))
    lengths = camera_files(lines)
    for n, line in enumerate(lines):
        os.utime(line[0], (when + n * 3600, when + n * 3600))
    total = sum(lengths)
    largest = max(lengths, default=0)

    # A plain JPEG for the copies and scans among the others.
    small_path = os.path.join(args.dest, ".small.jpg")
    camera_files([[small_path, "--plain", "--size", "1024x768", "--grain", "8", "--seed",
                   str(args.seed + 70)]])
    with open(small_path, "rb") as f:
        small = f.read()
    os.remove(small_path)

    # Files the tool must leave alone: other cameras' JPEGs, plain JPEGs,
    # text, and names that only look like pictures.
    for n in range(others):
        kind = n % 10
        folder = rnd.choice(folders) if kind < 6 or args.flat else os.path.join(
            args.dest, rnd.choice(["documents/letters", "documents/notes/old", "web/img",
                                   ".thumbnails"]))
        if kind < 2:  # another camera's file: one thumbnail, no appended preview
            path = os.path.join(folder, "DSC%05d.JPG" % n)
            total += camera_files([[path, "--model", "Canon PowerShot A70", "--tag", "#%05d" % n,
                                    "--thumbnails", "1", "--previews", "0", "--size", "640x480",
                                    "--grain", "8", "--seed", str(args.seed + 80)]])[0]
            continue
        if kind < 5:
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
