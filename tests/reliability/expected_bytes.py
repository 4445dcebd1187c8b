"""What the tool must make of a camera file, worked out independently of the
tool's own code: recognition by the model text at offset 146, the Orientation
entry at its fixed place, jpegtran's rotation with the value reset to 1, and the
cut before the fourth FF D8 FF."""

import os
import subprocess
import struct
import tempfile

MODEL_OFFSET = 146
MODELS = (b"EOS 300D DIGITAL", b"EOS Kiss Digital", b"EOS DIGITAL REBEL")
TURNS = {3: "180", 6: "90", 8: "270"}
NORMAL = b"\x01\x00\x00\x00"
SEQUENCE = b"\xff\xd8\xff"


def is_camera(data):
    field = data[MODEL_OFFSET:MODEL_OFFSET + 16]
    return len(field) == 16 and any(field == m[:16] for m in MODELS)


def locate_orientation(data):
    """(value, value_offset) of the first IFD0 Orientation entry holding 3, 6
    or 8 at the fixed place, or None."""
    if len(data) < 22 or data[3] != 0xE1:
        return None
    count = struct.unpack("<H", data[20:22])[0]
    for k in range(count):
        entry = 22 + 12 * k
        if entry + 12 > len(data):
            return None
        tag = struct.unpack("<H", data[entry:entry + 2])[0]
        value = struct.unpack("<I", data[entry + 8:entry + 12])[0]
        if tag == 0x0112 and value in TURNS:
            return value, entry + 8
    return None


def preview_cut(data):
    """Offset of the fourth FF D8 FF (overlapping ones counted), or None."""
    found = 0
    at = data.find(SEQUENCE)
    while at >= 0:
        found += 1
        if found == 4:
            return at
        at = data.find(SEQUENCE, at + 1)
    return None


def jpegtran_rotate(data, value):
    """What the real jpegtran makes of `data` turned upright, or None when it fails."""
    with tempfile.TemporaryDirectory() as work:
        src = os.path.join(work, "in.jpg")
        dst = os.path.join(work, "out.jpg")
        with open(src, "wb") as f:
            f.write(data)
        run = subprocess.run(["jpegtran", "-rotate", TURNS[value], "-copy", "all", "-outfile",
                              dst, src], capture_output=True)
        if run.returncode != 0:
            return None
        with open(dst, "rb") as f:
            return f.read()


def expected_final(data):
    """The bytes the tool leaves under the picture's name once it is done,
    or None when it leaves the picture as it is."""
    if not is_camera(data):
        return None
    turn = locate_orientation(data)
    if turn is None:
        cut = preview_cut(data)
        return None if cut is None else data[:cut]
    value, offset = turn
    rotated = jpegtran_rotate(data, value)
    if rotated is None or rotated[:2] != b"\xff\xd8" or len(rotated) < offset + 4 or \
            rotated[offset - 8:offset - 6] != b"\x12\x01":
        return None
    rotated = rotated[:offset] + NORMAL + rotated[offset + 4:]
    cut = preview_cut(rotated)
    return rotated if cut is None else rotated[:cut]
