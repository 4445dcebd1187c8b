"""Camera files and trees of them for the reliability suites.

The layout is the one tests/support/camera_jpeg.cc makes for the unit tests:

  FF D8                         start of image
  [JFIF APP0]                   only with jfif_first
  FF E1 <len> "Exif\\0\\0"        APP1, TIFF header at file offset 12 (no JFIF)
    "II*\\0" 08 00 00 00          or "MM\\0*" ... with big_endian
    IFD0: the Orientation entries asked for (value field of the first at
          file offset 30), then the Model entry; model text at offset 146
    the thumbnails: tiny FF D8 FF ... FF D9 sequences
  the picture's own segments    from a real cjpeg picture
  the trailing previews         small real JPEGs (the fourth FF D8 FF: the cut)

Bytes 20 to 31 of the 32-byte model field hold a tag unique to each file, so
that no two files of a tree are alike (the tool compares 16 bytes only).
"""

import os
import random
import struct
import subprocess
import tempfile

MODEL_OFFSET = 146
CAMERA_MODELS = ("EOS 300D DIGITAL", "EOS Kiss Digital", "EOS DIGITAL REBEL")
TURN_OPERATIONS = {3: "rotate 180", 6: "rotate 90", 8: "rotate 270"}

_pictures = {}


def _ppm(width, height, seed):
    """A picture with shading and some grain, built from a few precomputed
    rows so that a big one takes a fraction of a second."""
    rnd = random.Random(seed)
    rows = []
    for k in range(16):
        row = bytearray(width * 3)
        for x in range(width):
            row[3 * x] = (x * 4 + k * 9) & 0xFF
            row[3 * x + 1] = (x // 3 + rnd.randrange(24)) & 0xFF
            row[3 * x + 2] = (k * 16 + rnd.randrange(40)) & 0xFF
        rows.append(bytes(row))
    out = bytearray(b"P6\n%d %d\n255\n" % (width, height))
    for y in range(height):
        out += rows[(y * 7 + y // 5) % len(rows)]
    return bytes(out)


def plain_jpeg(width, height, seed=0):
    """A real JPEG from cjpeg, with its JFIF segment."""
    key = (width, height, seed)
    if key not in _pictures:
        with tempfile.TemporaryDirectory() as work:
            src = os.path.join(work, "in.ppm")
            dst = os.path.join(work, "out.jpg")
            with open(src, "wb") as f:
                f.write(_ppm(width, height, seed))
            subprocess.run(["cjpeg", "-quality", "85", "-outfile", dst, src], check=True)
            with open(dst, "rb") as f:
                _pictures[key] = f.read()
    return _pictures[key]


def _picture_body(jpeg):
    at = 2
    if jpeg[2:4] == b"\xff\xe0":
        at = 4 + struct.unpack(">H", jpeg[4:6])[0]
    return jpeg[at:]


TINY_THUMBNAIL = bytes([0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xD9])


def _exif_segment(o, segment_start):
    big = o.get("big_endian", False)
    e = ">" if big else "<"
    tiff = bytearray(b"MM" if big else b"II")
    tiff += struct.pack(e + "HI", 42, 8)
    orientations = o.get("orientations", [1])
    tiff += struct.pack(e + "H", len(orientations) + 1)
    for value in orientations:
        tiff += struct.pack(e + "HHI", 0x0112, 3, 1)
        tiff += struct.pack(">HH", value, 0) if big else struct.pack("<I", value)
    tiff_start = segment_start + 10
    model_in_tiff = MODEL_OFFSET - tiff_start
    tiff += struct.pack(e + "HHII", 0x0110, 2, 32, model_in_tiff)
    tiff += struct.pack(e + "I", 0)
    assert len(tiff) <= model_in_tiff, "too many entries for the layout"
    tiff += bytes(model_in_tiff - len(tiff))
    model = o.get("model", CAMERA_MODELS[0]).encode().ljust(20, b"\0")[:20]
    model += o.get("tag", "").encode()[:12].ljust(12, b"\0")
    tiff += model
    tiff += TINY_THUMBNAIL * o.get("exif_thumbnails", 2)
    return b"\xff\xe1" + struct.pack(">H", len(tiff) + 8) + b"Exif\0\0" + bytes(tiff)


def make_camera_jpeg(**o):
    """A camera file; options as CameraJpegOptions of the unit tests, plus
    `tag` (unique text in the model field) and `seed` (picture variant)."""
    jpeg = plain_jpeg(o.get("width", 64), o.get("height", 48), o.get("seed", 0))
    out = bytearray(b"\xff\xd8")
    if o.get("jfif_first", False):
        out += jpeg[2 : 4 + struct.unpack(">H", jpeg[4:6])[0]]
    out += _exif_segment(o, len(out))
    out += _picture_body(jpeg)
    out += plain_jpeg(32, 16) * o.get("trailing_previews", 1)
    return bytes(out)


def turn_of(options):
    """The Orientation value the tool acts on (3, 6 or 8), or 0."""
    if options.get("big_endian") or options.get("jfif_first"):
        return 0
    for value in options.get("orientations", [1]):
        if value in TURN_OPERATIONS:
            return value
    return 0


def value_offset_of(options):
    """File offset of the Orientation value the tool resets."""
    turn = turn_of(options)
    return 30 + 12 * options.get("orientations", [1]).index(turn)


# The kinds of files a tree mixes, each with what the tool does to it.
KINDS = [
    dict(orientations=[1]),                              # cut
    dict(orientations=[6]),                              # rotated, written whole
    dict(orientations=[1], trailing_previews=0),         # no fourth sequence
    dict(orientations=[8]),                              # rotated, written whole
    dict(orientations=[3]),                              # rotated, written whole
    dict(orientations=[1, 6], model=CAMERA_MODELS[1]),   # rotated (second entry)
    dict(orientations=[6], big_endian=True),             # not turned: cut only
    dict(orientations=[1], model=CAMERA_MODELS[2], trailing_previews=2),  # cut
    dict(orientations=[6], jfif_first=True),             # not turned: cut only
    dict(orientations=[], model="EOS 10D"),              # not a camera file
]

MODES = [0o644, 0o600, 0o640, 0o664, 0o604]


def make_tree(root, count, width, height, seed=1, folders=("", "a", "a/b", "c")):
    """Writes `count` files of the mixed kinds below `root`, spread over
    `folders`, each with its own mode and an old modification time. Returns
    {relative path: options}."""
    rnd = random.Random(seed)
    made = {}
    for folder in folders:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    for n in range(count):
        options = dict(KINDS[n % len(KINDS)])
        options.update(width=width, height=height, seed=n % 3, tag="#%04d" % n)
        rel = os.path.join(folders[n % len(folders)], "IMG_%04d.JPG" % n)
        path = os.path.join(root, rel)
        with open(path, "wb") as f:
            f.write(make_camera_jpeg(**options))
        os.chmod(path, MODES[rnd.randrange(len(MODES))])
        when = 1072915200 + n * 86400 + rnd.randrange(86400)
        os.utime(path, ns=(when * 10**9 + 123456789, when * 10**9 + 987654321))
        made[rel] = options
    return made
