#!/usr/bin/env python3
"""Full disk: the tool runs on a tmpfs that a filler file has made too small
for its outputs, with a different amount of room left each time (none, a
few pages, less than one picture, a few pictures). Pictures of several sizes,
turned and not, so that some fit and others do not. After each run: status
0; no picture lost or damaged; each one done, or untouched with the line the
tool's rules give for that failure; no ".stripped" left. Needs root for the
mount; skips with a message otherwise."""

import argparse
import os
import random
import shutil
import subprocess
import sys
import time

import camera_tree
import common

SIZES = [(1024, 768), (512, 384), (256, 192), (768, 512)]
PAGE = 4096


def make_tree(root, count, seed):
    made = {}
    rnd = random.Random(seed)
    os.makedirs(os.path.join(root, "sub"))
    for n in range(count):
        options = dict(camera_tree.KINDS[n % len(camera_tree.KINDS)])
        width, height = SIZES[n % len(SIZES)]
        options.update(width=width, height=height, seed=n % 3, tag="#%04d" % n)
        made[os.path.join("sub" if n % 3 == 2 else "", "IMG_%04d.JPG" % n)] = options
    camera_tree.write_camera_files({os.path.join(root, rel): o for rel, o in made.items()})
    for n, rel in enumerate(made):
        path = os.path.join(root, rel)
        os.chmod(path, camera_tree.MODES[rnd.randrange(len(camera_tree.MODES))])
        os.utime(path, ns=(1072915200_000000001 + n * 10**11, 1072915200_000000002 + n * 10**11))
    return made


def fill_up(mount_point, room):
    """Leaves about `room` bytes free with one filler file."""
    st = os.statvfs(mount_point)
    free = st.f_bavail * st.f_frsize
    size = max(0, (free - room) // PAGE * PAGE)
    with open(os.path.join(mount_point, "filler"), "wb") as f:
        if size:
            os.posix_fallocate(f.fileno(), 0, size)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--runs", type=int, default=60 if common.NIGHTLY else 12)
    ap.add_argument("--files", type=int, default=20)
    ap.add_argument("--seed", type=int, default=int(time.time()))
    args = ap.parse_args()
    if os.geteuid() != 0:
        common.say("full-disk: SKIPPED: not root, so no tmpfs of a chosen size can be mounted")
        return common.SKIPPED
    started = time.monotonic()
    work = common.scratch_root()
    pristine = os.path.join(work, "pristine")
    made = make_tree(pristine, args.files, args.seed)
    expected = common.Expected(pristine, made, work)
    largest = max(len(e["original"]) for e in expected.pictures.values())
    tree_bytes = sum(len(e["original"]) for e in expected.pictures.values())
    mount_point = os.path.join(work, "small")
    os.mkdir(mount_point)
    size = (tree_bytes * 2 + (8 << 20)) // PAGE * PAGE
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs",
                              mount_point], stderr=subprocess.PIPE)
    if mounted.returncode != 0:
        common.say("full-disk: SKIPPED: cannot mount a tmpfs (%s)"
                   % mounted.stderr.decode().strip())
        shutil.rmtree(work)
        return common.SKIPPED

    rnd = random.Random(args.seed)
    rooms = [0, PAGE, 4 * PAGE, largest // 2]
    rooms += [rnd.randrange(0, 3 * largest) for _ in range(max(0, args.runs - len(rooms)))]
    counts = dict(runs=0, pictures_done=0, pictures_untouched=0, faults=0, r_files_left=0)
    faults = []
    try:
        for room in rooms[: args.runs]:
            tree = os.path.join(mount_point, "photos")
            shutil.rmtree(tree, ignore_errors=True)
            if os.path.exists(os.path.join(mount_point, "filler")):
                os.remove(os.path.join(mount_point, "filler"))
            common.copy_tree(pristine, tree)
            fill_up(mount_point, room)
            status, out = common.run_tool(tree)
            counts["runs"] += 1
            found = [] if status == 0 else ["status %d" % status]
            for rel, entry in expected.pictures.items():
                line = common.line_of(out, os.path.join(tree, rel))
                found += common.check_outcome(tree, rel, entry, line)
                if entry["final"] != entry["original"]:  # one the tool changes
                    state = expected.state(tree, rel)
                    counts["pictures_done"] += state == common.FINAL
                    counts["pictures_untouched"] += state == common.ORIGINAL
            left = common.leftovers(tree)
            if any(name.endswith(".stripped") for name in left):
                found.append("left %s" % left)
            counts["r_files_left"] += sum(1 for name in left if name.endswith(".r"))
            for fault in found:
                faults.append("room %d: %s" % (room, fault))
            counts["faults"] += len(found)
    finally:
        subprocess.run(["umount", mount_point])

    for fault in faults[:40]:
        common.say("  " + fault)
    common.summary("full-disk", counts, time.monotonic() - started,
                   "; largest picture %d bytes" % largest)
    if faults:
        common.say("full-disk: FAILED (seed %d)" % args.seed)
        return 1
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
