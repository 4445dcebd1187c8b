#!/usr/bin/env python3
"""Makes the two odd inputs of bench/floor.sh that make_tree.py does not.

  floor_trees.py walk DEST [--entries N]
      A tree of about N entries (folders and small files, a few hundred
      bytes each) in which the tool finds nothing to do: 40% of the files end
      in .jpg or .JPG but are no camera files (another model's text at offset
      146, files too short to hold one, plain JFIF files); the rest are text,
      sidecars, .jpeg and .png files and names such as IMG_0001.JPG.txt. The
      folders nest 2 to 7 deep. 100,000 entries take a few seconds.

  floor_trees.py pad SRC DEST --bytes N
      A copy of the camera file SRC grown to about N bytes by zero-filled
      APP15 segments right after its Exif segment, before the picture's own
      segments: still a camera file (the model text stays at offset 146, the
      Exif offsets are relative to the Exif segment) with the same cut, but
      with N bytes to read before it.
"""

import argparse
import os
import random
import struct
import sys

MODEL_OFFSET = 146
OTHER_MODELS = [b"Canon PowerShot A70", b"NIKON D70", b"EOS 10D", b"E990"]


def exif_like(model, length, rnd):
    """A JPEG start with an Exif segment and `model` at offset 146, then noise."""
    head = bytearray(b"\xff\xd8\xff\xe1" + struct.pack(">H", length - 4) + b"Exif\0\0II*\0")
    head += bytes(MODEL_OFFSET - len(head)) + model
    return bytes(head) + rnd.randbytes(length - len(head))


def jfif_like(length, rnd):
    """A JPEG start with a JFIF segment, then noise."""
    head = b"\xff\xd8\xff\xe0\x00\x10JFIF\0\x01\x01\x00\x00\x01\x00\x01\x00\x00"
    return head + rnd.randbytes(max(0, length - len(head)))


def walk_file(n, rnd):
    """The n-th file of the walk tree: (name, bytes)."""
    kind = n % 20
    if kind < 4:  # another camera: an Exif segment whose model is not ours
        return "DSC_%05d.JPG" % n, exif_like(rnd.choice(OTHER_MODELS), rnd.randrange(200, 500), rnd)
    if kind < 6:  # too short to hold the model text
        return "IMG_%05d.jpg" % n, jfif_like(rnd.randrange(20, MODEL_OFFSET), rnd)
    if kind < 8:  # a plain picture's start
        return "photo_%05d.jpg" % n, jfif_like(rnd.randrange(200, 500), rnd)
    if kind < 10:
        return "scan_%05d.jpeg" % n, jfif_like(rnd.randrange(200, 500), rnd)
    if kind < 11:
        return "IMG_%05d.JPG.txt" % n, b"note\n" * rnd.randrange(10, 60)
    if kind < 13:
        return "IMG_%05d.xmp" % n, b"<x:xmpmeta/>\n" * rnd.randrange(10, 30)
    if kind < 15:
        return "logo_%05d.png" % n, b"\x89PNG\r\n\x1a\n" + rnd.randbytes(rnd.randrange(100, 400))
    return "notes_%05d.txt" % n, b"line of text\n" * rnd.randrange(5, 30)


def walk(args):
    rnd = random.Random(7)
    folders = []
    count = max(1, args.entries // 50)  # about 50 entries a folder
    for i in range(count):
        parts = ["%d" % (2000 + i % 25), "%02d" % (1 + i // 25 % 12)]
        parts += ["sub"] * (i % 6)  # 2 to 7 deep
        parts.append("f%05d" % i)
        folders.append(os.path.join(args.dest, *parts))
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
    made = sum(1 for _ in os.walk(args.dest)) - 1  # folders, the intermediate ones too
    files = max(0, args.entries - made)
    jpgs = 0
    for n in range(files):
        name, data = walk_file(n, rnd)
        jpgs += name.lower().endswith(".jpg")
        with open(os.path.join(folders[n % len(folders)], name), "wb") as f:
            f.write(data)
    print("%d entries: %d folders, %d files, %d of them .jpg" % (made + files, made, files, jpgs))


def pad(args):
    with open(args.src, "rb") as f:
        data = f.read()
    if data[:4] != b"\xff\xd8\xff\xe1":
        sys.exit("floor_trees.py: %s does not start with an Exif segment" % args.src)
    at = 4 + struct.unpack(">H", data[4:6])[0]
    missing = args.bytes - len(data)
    segments = []
    while missing > 4:
        payload = min(65533, missing - 4)
        segments.append(b"\xff\xef" + struct.pack(">H", payload + 2) + bytes(payload))
        missing -= 4 + payload
    with open(args.dest, "wb") as f:
        f.write(data[:at])
        f.writelines(segments)
        f.write(data[at:])


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = ap.add_subparsers(dest="what", required=True)
    w = sub.add_parser("walk")
    w.add_argument("dest")
    w.add_argument("--entries", type=int, default=100000)
    p = sub.add_parser("pad")
    p.add_argument("src")
    p.add_argument("dest")
    p.add_argument("--bytes", type=int, required=True)
    args = ap.parse_args()
    if os.path.exists(args.dest):
        sys.exit("floor_trees.py: %s exists already" % args.dest)
    if args.what == "walk":
        walk(args)
    else:
        pad(args)


if __name__ == "__main__":
    main()
