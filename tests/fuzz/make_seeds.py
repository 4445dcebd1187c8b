#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into tests/fuzz/corpus/: small
camera files of each kind, and for the pipeline the same with a six-byte
header choosing the circumstances (see pipeline_fuzz.cc). The seeds are kept
in the repository; run this again only to change them."""

import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "reliability"))
import camera_tree  # noqa: E402

CALLS = ["list_folder", "path_info", "open_read", "file_info", "read_at", "create_new",
         "write_at", "sync", "close", "copy_access", "set_times", "remove",
         "rename_over", "sync_folder", "run_program", "allocate", "create_temporary", "none"]
TRANSFORMERS = ["copy", "fail", "not_started", "write_nothing", "truncate", "shift",
                "fail_after_writing"]
THUMBNAIL_TRANSFORMERS = ["copy", "fail", "grow", "shrink", "write_nothing"]


def camera(**options):
    options.setdefault("width", 16)
    options.setdefault("height", 16)
    return camera_tree.make_camera_jpeg(**options)


FILES = {
    "plain": camera(),
    "turned6": camera(orientations=[6]),
    "turned3_second_entry": camera(orientations=[1, 3]),
    "turned8_no_cut": camera(orientations=[8], exif_thumbnails=1),
    "three_sequences": camera(trailing_previews=0),
    "big_endian": camera(orientations=[6], big_endian=True),
    "jfif_first": camera(orientations=[6], jfif_first=True),
    "rebel": camera(model="EOS DIGITAL REBEL", trailing_previews=2),
    # A real 16x16 thumbnail in IFD1: in a roomy place, or ending the segment.
    "thumbnail_roomy": camera(orientations=[6], thumbnail_size=(16, 16), thumbnail_place=1024),
    "thumbnail_last": camera(orientations=[8], thumbnail_size=(16, 16)),
}


def header(call="none", nth=1, from_then_on=False, flags=0x01, transformer="copy", keep=0,
           thumbnail="copy"):
    return struct.pack("<BBBBH", CALLS.index(call), (nth - 1) | (0x80 if from_then_on else 0),
                       flags, TRANSFORMERS.index(transformer)
                       | (THUMBNAIL_TRANSFORMERS.index(thumbnail) << 4), keep)


PIPELINE = {
    "plain": header() + FILES["plain"],
    "turned6": header() + FILES["turned6"],
    "turned8_no_cut": header() + FILES["turned8_no_cut"],
    "three_sequences": header() + FILES["three_sequences"],
    "turned_rename_fails": header("rename_over") + FILES["turned6"],
    "final_rename_fails": header("rename_over", 2) + FILES["turned3_second_entry"],
    "write_fails": header("write_at", 1, True) + FILES["plain"],
    "jpegtran_truncates": header(transformer="truncate", keep=40) + FILES["turned6"],
    "jpegtran_shifts": header(transformer="shift") + FILES["turned6"],
    "jpegtran_writes_nothing": header(transformer="write_nothing") + FILES["turned6"],
    "reload_fails": header("open_read", 2) + FILES["turned6"],
    "stale_temporaries_read_only": header(flags=0x01 | 0x02 | 0x08 | 0x10) + FILES["turned6"],
    # The creation fails for a reason of its own before the stale name is met.
    "stale_rotated_create_fails": header("create_new", flags=0x01 | 0x10) + FILES["turned6"],
    "stale_output_create_fails": header("create_new", flags=0x01 | 0x08) + FILES["plain"],
    "no_memory": header("allocate") + FILES["plain"],
    "thumbnail_fits": header() + FILES["thumbnail_roomy"],
    "thumbnail_grows": header(thumbnail="grow") + FILES["thumbnail_last"],
    "thumbnail_shrinks": header(thumbnail="shrink") + FILES["thumbnail_last"],
    "thumbnail_jpegtran_fails": header(thumbnail="fail") + FILES["thumbnail_roomy"],
    "thumbnail_no_temporary": header("create_temporary") + FILES["thumbnail_roomy"],
    "thumbnail_write_fails": header("write_at", 1) + FILES["thumbnail_last"],
}

SMALL = {
    "four_overlapping": b"\xff\xd8\xff\xd8\xff\xd8\xff\xd8\xff",
    "ends_in_ff_d8": b"\x00\xff\xd8\xff\x00\xff\xd8",
    "count_past_end": b"\xff\xd8\xff\xe1" + bytes(16) + b"\xff\xff" + b"\x12\x01" + bytes(6),
}


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    write("preview_cut", {**{k: FILES[k] for k in ("plain", "turned8_no_cut", "three_sequences")},
                          **{k: SMALL[k] for k in ("four_overlapping", "ends_in_ff_d8")}})
    write("orientation", {**{k: FILES[k][:200] for k in ("turned6", "turned3_second_entry",
                                                        "big_endian", "jfif_first", "plain")},
                          "count_past_end": SMALL["count_past_end"]})
    write("pipeline", PIPELINE)


if __name__ == "__main__":
    main()
