#!/usr/bin/env python3
"""Power cut: the tool runs on an ext4 file system in a loop device, mounted
with noauto_da_alloc so that ext4's own safety net for rename-over-a-file is
off, and the file system is shut down without flushing its journal
(EXT4_IOC_SHUTDOWN, EXT4_GOING_FLAGS_NOLOGFLUSH) at a moment drawn uniformly
over the length of a run: from then on nothing more reaches the "disk", as
when the power fails. The tool is killed, the file system unmounted and
mounted again (the journal is replayed), and every picture must hold its
original bytes, its final result or the rotated picture with Orientation 1,
with its mode and modification time. A re-run must bring it to its final
result, and e2fsck must find the file system clean.

The same cuts are then made on a run whose fsync, fdatasync and
sync_file_range are turned into no-ops (an LD_PRELOAD shim built here): the suite must find lost
pictures there, which shows it can see what it is looking for.

While the tool runs, a neighbour writes and fsyncs a file of its own on the
same file system every 50 ms, as other programs do: each fsync commits the
journal, and with it whatever renames the tool has made, whether or not the
tool synced its own data first.

Needs root, loop devices and ext4; skips with a message otherwise."""

import argparse
import fcntl
import os
import random
import shutil
import struct
import sys
import threading
import time

import common

EXT4_IOC_SHUTDOWN = 0x8004587D  # _IOR('X', 125, __u32)
EXT4_GOING_FLAGS_NOLOGFLUSH = 0x2
MOUNT_OPTIONS = "noauto_da_alloc"
NEIGHBOUR_PERIOD = 0.05

SHIM_SOURCE = """
/* Test-only: makes every fsync, fdatasync and early write-back a no-op that
   reports success. */
int fsync(int fd) { (void)fd; return 0; }
int fdatasync(int fd) { (void)fd; return 0; }
int sync_file_range(int fd, long long offset, long long length, unsigned flags) {
  (void)fd; (void)offset; (void)length; (void)flags; return 0;
}
"""


class Skip(Exception):
    pass


sh = common.sh


class Disk:
    """One copy of the pristine image attached to a loop device."""

    def __init__(self, image, mount_point):
        self.image = image
        self.mount_point = mount_point
        self.device = sh("losetup", "-f", "--show", image).stdout.decode().strip()

    def mount(self):
        sh("mount", "-t", "ext4", "-o", MOUNT_OPTIONS, self.device, self.mount_point)

    def unmount(self):
        for _ in range(50):
            if sh("umount", self.mount_point, check=False).returncode == 0:
                return
            time.sleep(0.1)
        sh("umount", self.mount_point)

    def fsck_clean(self):
        return sh("e2fsck", "-fn", self.device, check=False).returncode == 0

    def detach(self):
        sh("losetup", "-d", self.device)


def make_pristine(work, tree):
    """An ext4 image holding `tree` as 'photos'. Raises Skip when this
    machine cannot attach or mount it."""
    if os.geteuid() != 0:
        raise Skip("not root")
    for program in ("losetup", "mkfs.ext4", "e2fsck", "mount"):
        if shutil.which(program) is None:
            raise Skip("%s is not installed" % program)
    size = max(64 << 20, 3 * sum(os.path.getsize(os.path.join(d, n))
                                 for d, _, names in os.walk(tree) for n in names))
    image = os.path.join(work, "pristine.img")
    with open(image, "wb") as f:
        f.truncate(size)
    sh("mkfs.ext4", "-q", "-F", "-E", "lazy_itable_init=0,lazy_journal_init=0", image)
    mount_point = os.path.join(work, "mnt")
    os.mkdir(mount_point)
    try:
        disk = Disk(image, mount_point)
    except RuntimeError as e:
        raise Skip("no loop device (%s)" % str(e).strip()) from e
    try:
        disk.mount()
    except RuntimeError as e:
        disk.detach()
        raise Skip("cannot mount ext4 on a loop device (%s)" % str(e).strip()) from e
    common.copy_tree(tree, os.path.join(mount_point, "photos"))
    disk.unmount()
    disk.detach()
    return image, mount_point


def build_shim(work):
    source = os.path.join(work, "nofsync.c")
    shim = os.path.join(work, "nofsync.so")
    with open(source, "w") as f:
        f.write(SHIM_SOURCE)
    sh("gcc", "-shared", "-fPIC", "-O2", "-o", shim, source)
    return shim


def neighbour(path, stop):
    """Another program on the same file system, syncing now and then."""
    with open(path, "wb", buffering=0) as f:
        count = 0
        while not stop.wait(NEIGHBOUR_PERIOD):
            try:
                f.write(b"%d\n" % count)
                os.fsync(f.fileno())
            except OSError:  # the file system is gone
                return
            count += 1


def cut_once(image, mount_point, pristine, moment, env):
    """Copies the pristine image, runs the tool on it and cuts the power
    `moment` seconds after the start (never, for None). Returns the disk,
    attached but not mounted, and whether the tool was still running."""
    shutil.copyfile(pristine, image)
    disk = Disk(image, mount_point)
    disk.mount()
    photos = os.path.join(mount_point, "photos")
    root_fd = os.open(mount_point, os.O_RDONLY | os.O_DIRECTORY)
    stop = threading.Event()
    other = threading.Thread(target=neighbour, args=(os.path.join(mount_point, "neighbour"), stop))
    other.start()
    try:
        started = time.monotonic()
        pid = common.spawn_tool(photos, env)
        if moment is None:
            os.waitpid(pid, 0)
            running = False
            duration = time.monotonic() - started
        else:
            common.sleep_until(started + moment)
            fcntl.ioctl(root_fd, EXT4_IOC_SHUTDOWN, struct.pack("I", EXT4_GOING_FLAGS_NOLOGFLUSH))
            running = common.kill_group(pid)
            duration = None
    finally:
        stop.set()
        other.join()
        os.close(root_fd)
    disk.unmount()
    return disk, running, duration


def measured_length(image, mount_point, pristine, env, expected):
    """How long a whole run takes on the loop device (the middle of three);
    each must end with every picture final."""
    lengths = []
    for _ in range(3):
        disk, _, duration = cut_once(image, mount_point, pristine, None, env)
        disk.mount()
        photos = os.path.join(mount_point, "photos")
        wrong = [rel for rel in expected.pictures if expected.state(photos, rel) != common.FINAL]
        disk.unmount()
        disk.detach()
        if wrong:
            sys.exit("power-cut: a whole run on the loop device left %s not final" % wrong)
        lengths.append(duration)
    return sorted(lengths)[1]


def series(name, cuts, rerun, image, mount_point, pristine, env, expected, rnd):
    """`cuts` power cuts; returns the counts and the faults seen."""
    length = measured_length(image, mount_point, pristine, env, expected)
    counts = dict(cuts=cuts, missing=0, empty=0, damaged=0, metadata_changed=0, diverged=0,
                  fsck_errors=0)
    landed = dict(mid_run=0, after_end=0)
    with_loss = 0
    faults = []
    for cut in range(cuts):
        moment = rnd.uniform(0, length)
        disk, running, _ = cut_once(image, mount_point, pristine, moment, env)
        landed["mid_run" if running else "after_end"] += 1
        disk.mount()
        photos = os.path.join(mount_point, "photos")
        lost = 0
        for rel in expected.pictures:
            state = expected.state(photos, rel)
            if state in (common.MISSING, common.EMPTY, common.DAMAGED):
                counts[state] += 1
                lost += 1
            elif not expected.metadata_kept(photos, rel):
                counts["metadata_changed"] += 1
            else:
                continue
            faults.append("%s cut %d at %.3f s: %s is %s" % (name, cut, moment, rel, state))
        with_loss += lost > 0
        if rerun:
            status, _ = common.run_tool(photos)
            wrong = [rel for rel in expected.pictures
                     if expected.state(photos, rel) != common.FINAL
                     or not expected.metadata_kept(photos, rel)]
            left = common.leftovers(photos)
            counts["diverged"] += len(wrong)
            if wrong or left or status != 0:
                faults.append("%s cut %d at %.3f s: re-run status %d, not final %s, left %s"
                              % (name, cut, moment, status, wrong, left))
        disk.unmount()
        if not disk.fsck_clean():
            counts["fsck_errors"] += 1
            faults.append("%s cut %d at %.3f s: e2fsck found errors" % (name, cut, moment))
        disk.detach()
    return counts, faults, landed, length, with_loss


def release(work, mount_point):
    """Unmounts and detaches whatever a failed or interrupted run left."""
    if os.path.ismount(mount_point):
        sh("umount", "-l", mount_point, check=False)
    for name in ("run.img", "pristine.img"):
        listed = sh("losetup", "-j", os.path.join(work, name), check=False).stdout.decode()
        for line in listed.splitlines():
            sh("losetup", "-d", line.split(":")[0], check=False)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--cuts", type=int, default=300 if common.NIGHTLY else 50)
    ap.add_argument("--shim-cuts", type=int, default=100 if common.NIGHTLY else 20)
    ap.add_argument("--files", type=int, default=40)
    ap.add_argument("--size", default="1024x768")
    ap.add_argument("--seed", type=int, default=int(time.time()))
    args = ap.parse_args()
    started = time.monotonic()
    work, tree, made = common.pristine_tree(args)
    expected = common.Expected(tree, made, work)
    try:
        pristine, mount_point = make_pristine(work, tree)
    except Skip as why:
        common.say("power-cut: SKIPPED: %s; this suite needs root, loop devices and ext4" % why)
        shutil.rmtree(work)
        return common.SKIPPED
    image = os.path.join(work, "run.img")
    rnd = random.Random(args.seed)
    common.say("power-cut: %d files on ext4 (%s) in a loop device, seed %d, in %s"
               % (len(made), MOUNT_OPTIONS, args.seed, work))

    try:
        counts, faults, landed, length, _ = series(
            "real", args.cuts, True, image, mount_point, pristine, None, expected, rnd)
        for fault in faults[:40]:
            common.say("  " + fault)
        common.summary("power-cut", counts, time.monotonic() - started,
                       "; run %.2f s; cuts landed %s" % (length, landed))

        shim_env = dict(os.environ, LD_PRELOAD=build_shim(work))
        shim_counts, _, shim_landed, shim_length, with_loss = series(
            "no-fsync", args.shim_cuts, False, image, mount_point, pristine, shim_env, expected,
            rnd)
    finally:
        release(work, mount_point)
    lost = shim_counts["missing"] + shim_counts["empty"] + shim_counts["damaged"]
    common.summary("power-cut with fsync disabled (must find losses)",
                   dict(cuts=args.shim_cuts, cuts_with_losses=with_loss,
                        missing=shim_counts["missing"], empty=shim_counts["empty"],
                        damaged=shim_counts["damaged"]),
                   time.monotonic() - started, "; run %.2f s; cuts landed %s"
                   % (shim_length, shim_landed))

    if lost == 0:
        common.say("power-cut: FAILED: the run without fsync lost nothing, so the suite "
                   "cannot be shown to see losses")
    return common.finish("power-cut", faults or lost == 0, args.seed, work)


if __name__ == "__main__":
    sys.exit(main())
