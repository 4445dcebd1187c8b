#!/usr/bin/env python3
"""Photo file systems: the tool runs on the file systems people keep photos
on, mounted as a Linux desktop mounts them without the kernel's vfat: exFAT
(exfat-fuse), NTFS (ntfs-3g) and FAT32 (fusefat), all three through FUSE, and
the kernel's xfs and btrfs where this kernel has them. Each lives in an image
on a loop device and holds a tree of camera files of a camera's size (1 to 3
MB, so that each is read in several pieces), each with its own old access
and modification times.

Every run is judged only after the file system has been unmounted and
mounted again, so that no cached attribute hides what the driver wrote:
  - every picture holds its final bytes (checked against expected_bytes.py);
  - the lines and totals are those of a clean run in memory, and the same
    with one worker and with several;
  - every picture keeps its modification time and mode, and every picture
    the run replaced keeps its access time, to the resolution the driver
    keeps (measured on each mount: the times are set, the volume is
    mounted again, and what comes back must be what DRIVER_TIMES says);
  - no ".stripped" or ".r" is left.
Then the run is killed at random moments; after a remount every picture must
be original, intermediate or final, with its times, and after a re-run final
with its times and nothing left over.

Needs root, loop devices and, for the FUSE ones, /dev/fuse; installs the
drivers and mkfs programs it needs. A file system this machine cannot have
is skipped with a message (exit 77 when one of the FUSE three is)."""

import argparse
import errno
import os
import random
import shutil
import sys
import time

import camera_tree
import common
import expected_bytes

SIZES = [(2048, 1536), (2592, 1944), (3072, 2048)]  # 1.1, 1.8 and 2.3 MB
GRAIN = 16
FOLDERS = ("", "DCIM", "DCIM/100PHOTO", "DCIM/100PHOTO/2004")
SECOND = 10**9


class Skip(Exception):
    pass


class FileSystem:
    """How to make and mount one kind of file system, and how its driver keeps
    times: it truncates them to `mtime_step` and `atime_step` nanoseconds
    (atime_step None: the access time it shows is the modification time),
    and with `rename_stamps` a file renamed over another gets the current
    time as its modification time."""

    def __init__(self, name, packages, mkfs, mount, mib, mtime_step, atime_step, kernel=None,
                 rename_stamps=False):
        self.name, self.packages, self.mkfs, self.mount = name, packages, mkfs, mount
        self.mib, self.kernel, self.rename_stamps = mib, kernel, rename_stamps
        self.mtime_step, self.atime_step = mtime_step, atime_step

    def kept(self, atime, mtime):
        """The (access, modification) times the driver keeps when given these."""
        mtime -= mtime % self.mtime_step
        return (mtime if self.atime_step is None else atime - atime % self.atime_step), mtime


# What each driver keeps of the times it is given, measured by setting them
# with utimensat and reading them back after a remount: exfat-fuse keeps the
# modification time to the second and the access time to two seconds;
# ntfs-3g both to 100 ns; fusefat the modification time to two seconds, and
# it shows that as the access time too (it keeps no access date of its own);
# xfs and btrfs to the nanosecond. make_pristine checks it on every volume.
DRIVER_TIMES = [
    FileSystem("exfat", ("exfat-fuse", "exfatprogs"), ["mkfs.exfat"], ["mount.exfat-fuse"],
               64, SECOND, 2 * SECOND),
    FileSystem("ntfs", ("ntfs-3g",), ["mkfs.ntfs", "-Q", "-F", "-q"], ["ntfs-3g"], 64, 100, 100),
    FileSystem("fat32", ("fusefat", "dosfstools"), ["mkfs.vfat", "-F", "32"],
               ["fusefat", "-o", "rw+"], 64, 2 * SECOND, None, rename_stamps=True),
    FileSystem("xfs", ("xfsprogs",), ["mkfs.xfs", "-q", "-f"], ["mount", "-t", "xfs"], 320, 1, 1,
               kernel="xfs"),
    FileSystem("btrfs", ("btrfs-progs",), ["mkfs.btrfs", "-q", "-f"], ["mount", "-t", "btrfs"],
               128, 1, 1, kernel="btrfs"),
]
FUSE = ("exfat", "ntfs", "fat32")


def when(ns):
    return "%s.%09d" % (time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(ns // SECOND)), ns % SECOND)


def holders(device):
    """Processes that have `device` open (a FUSE driver still finishing)."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            fds = os.listdir("/proc/%s/fd" % pid)
            if any(os.readlink("/proc/%s/fd/%s" % (pid, fd)) == device for fd in fds):
                found.append(pid)
        except OSError:
            pass
    return found


def reap_drivers():
    """A FUSE driver goes into the background, and this process, the
    subreaper, inherits it: it is reaped here once it has exited."""
    while True:
        try:
            if os.waitpid(-1, os.WNOHANG)[0] == 0:
                return
        except ChildProcessError:
            return


class Volume:
    """An image file on a loop device of our own, mounted by its driver."""

    def __init__(self, fs, image, mount_point):
        self.fs, self.image, self.mount_point = fs, image, mount_point
        try:
            self.device = common.sh("losetup", "-f", "--show", image).stdout.decode().strip()
        except RuntimeError as e:
            raise Skip("no loop device (%s)" % str(e).strip()) from e
        self.mounted = False

    def make(self):
        common.sh(*self.fs.mkfs, self.device)

    def mount(self):
        common.sh(*self.fs.mount, self.device, self.mount_point)
        self.mounted = True

    def unmount(self):
        """Unmounts and waits until the driver has let go of the device, so
        that everything it wrote is on the image."""
        common.sh("umount", self.mount_point)
        self.mounted = False
        deadline = time.monotonic() + 60
        while holders(self.device):
            if time.monotonic() > deadline:
                raise RuntimeError("%s still holds %s" % (holders(self.device), self.device))
            time.sleep(0.05)
        reap_drivers()

    def remount(self):
        self.unmount()
        self.mount()

    def close(self):
        try:
            if self.mounted:
                self.unmount()
        finally:
            common.sh("losetup", "-d", self.device, check=False)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def facts(photos, made):
    """{rel: (access time, modification time, mode)} from stat alone, which
    moves no time."""
    out = {}
    for rel in made:
        st = os.lstat(os.path.join(photos, rel))
        out[rel] = (st.st_atime_ns, st.st_mtime_ns, st.st_mode & 0o7777)
    return out


def restore_times(photos, known):
    """Puts back the times reading the pictures moved (exFAT and NTFS move the
    access time on every read)."""
    for rel, (atime, mtime, _) in known.items():
        os.utime(os.path.join(photos, rel), ns=(atime, mtime))


class Judge:
    """What a run on one file system must leave."""

    def __init__(self, fs, expected, again, photos):
        self.fs, self.expected, self.photos = fs, expected, photos
        clean = os.path.join(os.path.dirname(expected.pristine), "clean")
        self.totals = totals(expected.clean_output, clean)
        # Each picture's line on a first run, and on a run over the results.
        self.first, self.again = {}, {}
        for rel, entry in expected.pictures.items():
            if entry["clean_line"]:
                self.first[rel] = entry["clean_line"].replace(clean, photos, 1)
            if again[1].get(rel):
                self.again[rel] = again[1][rel].replace(again[0], photos, 1)

    def times(self, label, before, after, replaced):
        """Faults in the times and modes: every picture keeps its modification
        time and mode, each one in `replaced` its access time too (where the
        driver keeps one of its own)."""
        faults = []
        for rel in self.expected.pictures:
            (a0, m0, mode0), (a1, m1, mode1) = before[rel], after[rel]
            if m1 != m0:
                faults.append("%s: %s: modification time %s, was %s"
                              % (label, rel, when(m1), when(m0)))
            if rel in replaced and a1 != a0 and self.fs.atime_step is not None:
                faults.append("%s: %s: access time %s, was %s" % (label, rel, when(a1), when(a0)))
            if mode1 != mode0:
                faults.append("%s: %s: mode %o, was %o" % (label, rel, mode1, mode0))
        return faults

    def states(self):
        return {rel: self.expected.state(self.photos, rel) for rel in self.expected.pictures}

    def replaced(self, states):
        """The pictures whose bytes are no longer the original ones."""
        return {rel for rel, state in states.items()
                if state not in (common.ORIGINAL, common.MISSING) and
                self.expected.pictures[rel]["final"] != self.expected.pictures[rel]["original"]}

    def output(self, label, status, out, originals):
        """Faults in a run's status, lines and totals, when the pictures in
        `originals` were as the camera made them and the others done."""
        faults = [] if status == 0 else ["%s: exit status %d" % (label, status)]
        lines = sorted(picture_lines(out, self.photos))
        wanted = [(self.first if rel in originals else self.again).get(rel)
                  for rel in self.expected.pictures]
        wanted = sorted(line for line in wanted if line)
        for line in sorted(set(lines) ^ set(wanted)):
            faults.append("%s: line %r %s" % (label, line, "unexpected" if line in lines else
                                                    "missing"))
        if len(lines) != len(set(lines)):
            faults.append("%s: a line printed twice" % label)
        everything = len(originals) == len(self.expected.pictures)
        if everything and totals(out, self.photos) != self.totals:
            faults.append("%s: totals %s, a clean run gives %s"
                          % (label, totals(out, self.photos), self.totals))
        return faults

    def finished(self, label, before, status, out, states_before=None):
        """Faults after a whole run from the facts `before` and the states
        `states_before` (None: all original); judged after a remount."""
        after = facts(self.photos, self.expected.pictures)
        states = self.states()
        if states_before is None:
            states_before = {rel: common.ORIGINAL for rel in states}
        faults = self.times(label, before, after,
                            self.replaced(states) - self.replaced(states_before))
        faults += ["%s: %s is %s, not final" % (label, rel, state)
                   for rel, state in states.items() if state != common.FINAL]
        faults += ["%s: %s left behind" % (label, rel) for rel in common.leftovers(self.photos)]
        originals = {rel for rel, state in states_before.items() if state == common.ORIGINAL}
        return faults + self.output(label, status, out, originals)


def picture_lines(out, folder):
    return [line for line in out.split("\n")
            if line.startswith(folder + "/") or line.startswith(" -->Error processing " + folder)]


def totals(out, folder):
    """The lines after the banner that name no picture."""
    body = out.split("\n\n", 1)[-1].split("\n")
    return [line for line in body if line and line not in picture_lines(out, folder)]


def make_pristine(fs, work, tree, given, files_bytes):
    """An image of `fs` holding `tree` as 'photos', every picture with the
    times and mode `given` (facts() of the tree). Returns (image, the facts
    the driver kept)."""
    image = os.path.join(work, fs.name + ".img")
    with open(image, "wb") as f:
        # Room for the pictures three times over beyond the file system's
        # own needs (btrfs keeps some 80 of its 128 MiB), sparse in memory.
        f.truncate((fs.mib + 3 * files_bytes // (1 << 20) + 1) << 20)
    mount_point = os.path.join(work, "mnt")
    os.makedirs(mount_point, exist_ok=True)
    with Volume(fs, image, mount_point) as volume:
        volume.make()
        try:
            volume.mount()
        except RuntimeError as e:
            raise Skip("cannot mount (%s)" % str(e).strip()) from e
        photos = os.path.join(mount_point, "photos")
        for rel, (atime, mtime, mode) in sorted(given.items()):
            target = os.path.join(photos, rel)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(os.path.join(tree, rel), target)
            try:
                os.chmod(target, mode)
            except OSError as e:  # exFAT and FAT have no modes
                if e.errno not in (errno.EPERM, errno.ENOSYS, errno.EOPNOTSUPP):
                    raise
            os.utime(target, ns=(atime, mtime))
        volume.remount()
        kept = facts(photos, given)
    wrong = ["%s: set %s / %s, kept %s / %s" % (rel, when(a), when(m), when(kept[rel][0]),
                                               when(kept[rel][1]))
             for rel, (a, m, _) in given.items() if fs.kept(a, m) != kept[rel][:2]]
    if wrong:
        sys.exit("media: the %s driver keeps times otherwise than DRIVER_TIMES says:\n  %s"
                 % (fs.name, "\n  ".join(wrong[:10])))
    return image, kept


class Bench:
    """One file system's pristine image and what its runs are judged by."""

    def __init__(self, fs, work, image, kept, expected, again):
        self.fs, self.work, self.pristine, self.kept = fs, work, image, kept
        self.image = os.path.join(work, "run.img")
        self.mount_point = os.path.join(work, "mnt")
        self.judge = Judge(fs, expected, again, os.path.join(self.mount_point, "photos"))

    def fresh(self):
        """A mounted volume on a fresh copy of the pristine image."""
        common.sh("cp", "--sparse=always", self.pristine, self.image)
        volume = Volume(self.fs, self.image, self.mount_point)
        try:
            volume.mount()
        except BaseException:
            volume.close()
            raise
        return volume

    def clean_run(self, workers):
        """A whole run; returns (faults, seconds, output)."""
        label = "%s, %d worker%s" % (self.fs.name, workers, "s" if workers > 1 else "")
        with self.fresh() as volume:
            started = time.monotonic()
            status, out = common.run_tool(self.judge.photos, env=workers_env(workers))
            seconds = time.monotonic() - started
            volume.remount()
            return self.judge.finished(label, self.kept, status, out), seconds, out

    def kill(self, number, workers, moment):
        """Kills a run `moment` seconds in, then judges, re-runs and judges.
        Returns (faults, where the kill landed, the pictures it caught between
        their rename and the setting of their times)."""
        label = "%s, kill %d (%d worker%s at %.2f s)" % (self.fs.name, number, workers,
                                                      "s" if workers > 1 else "", moment)
        judge = self.judge
        with self.fresh() as volume:
            started = time.monotonic()
            pid = common.spawn_tool(judge.photos, workers_env(workers))
            common.sleep_until(started + moment)
            running = common.kill_group(pid)
            volume.remount()
            after_kill = facts(judge.photos, judge.expected.pictures)
            states = judge.states()
            faults = ["%s: %s is %s" % (label, rel, state) for rel, state in states.items()
                      if state not in (common.ORIGINAL, common.INTERMEDIATE, common.FINAL)]
            done = judge.replaced(states)
            wrong_times = judge.times(label, self.kept, after_kill, done)
            stamped = [rel for rel in done if after_kill[rel][1] != self.kept[rel][1]]
            # Where a rename stamps the time, the tool can only set the times
            # again after it, so a kill may land in between: at most one
            # picture per worker, and only its modification time.
            caught = self.fs.rename_stamps and len(stamped) <= workers and \
                len(wrong_times) == len(stamped)
            faults += [] if caught else wrong_times
            landed = ("after_end" if not running else "mid_run" if done else
                      "before_any_change")
            restore_times(judge.photos, after_kill)
            volume.remount()
            status, out = common.run_tool(judge.photos, env=workers_env(workers))
            volume.remount()
            faults += judge.finished(label + ", re-run", after_kill, status, out, states)
            return faults, landed, len(stamped) if caught else 0


KINDS = ("access time", "modification time", "mode", "line", "totals", "left behind",
         "exit status", "differs", "not final", "missing", "empty", "damaged")


def tally(faults):
    """'N faults (kind n, ...)' for a headline."""
    counts = {}
    for fault in faults:
        kind = next((k for k in KINDS if k in fault), "other")
        counts[kind] = counts.get(kind, 0) + 1
    return "%d faults (%s)" % (len(faults), ", ".join("%s %d" % kv for kv in counts.items()))


def workers_env(workers):
    return dict(os.environ, TRIMVANE_WORKERS=str(workers))


def prepare(fs):
    """Raises Skip when this machine cannot make and mount `fs`."""
    if fs.kernel:
        with open("/proc/filesystems") as f:
            if fs.kernel not in f.read().split():
                raise Skip("this kernel has no %s (/proc/filesystems)" % fs.kernel)
    elif not os.path.exists("/dev/fuse"):
        raise Skip("no /dev/fuse")
    if not common.install_packages(*fs.packages):
        raise Skip("could not install %s" % " ".join(fs.packages))
    for program in (fs.mkfs[0], fs.mount[0], "losetup"):
        if not shutil.which(program, path=os.environ.get("PATH", "") + ":/sbin:/usr/sbin"):
            raise Skip("%s is not installed" % program)


def release(work):
    """Unmounts and detaches whatever an interrupted run left below `work`."""
    mount_point = os.path.join(work, "mnt")
    if os.path.ismount(mount_point):
        common.sh("umount", "-l", mount_point, check=False)
    for name in os.listdir(work):
        if name.endswith(".img"):
            listed = common.sh("losetup", "-j", os.path.join(work, name), check=False)
            for line in listed.stdout.decode().splitlines():
                common.sh("losetup", "-d", line.split(":")[0], check=False)


def reference(work, made):
    """The expected states of every picture, the final bytes checked against
    expected_bytes.py, and the lines of a second run over the results:
    (Expected, (folder, {rel: line})."""
    tree = os.path.join(work, "pristine")
    expected = common.Expected(tree, made, work)
    for rel, entry in expected.pictures.items():
        want = expected_bytes.expected_final(entry["original"]) or entry["original"]
        if entry["final"] != want:
            sys.exit("media: a clean run in memory made %s other than expected_bytes.py says"
                     % rel)
    again = os.path.join(work, "again")
    common.copy_tree(tree, again)
    common.run_tool(again)
    _, out = common.run_tool(again)
    lines = {rel: common.line_of(out, os.path.join(again, rel)) for rel in made}
    shutil.rmtree(again)
    return expected, (again, lines)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--files", type=int, default=24 if common.NIGHTLY else 12)
    ap.add_argument("--kills", type=int, default=16 if common.NIGHTLY else 4,
                    help="kills on each file system")
    ap.add_argument("--workers", type=int, default=4 if common.NIGHTLY else 2,
                    help="the run with several workers")
    ap.add_argument("--only", action="append", choices=[fs.name for fs in DRIVER_TIMES],
                    help="this file system only (may be repeated)")
    ap.add_argument("--seed", type=int, default=int(time.time()))
    args = ap.parse_args()
    started = time.monotonic()
    if os.geteuid() != 0:
        common.say("media: SKIPPED: not root, so no loop device can be attached or mounted")
        return common.SKIPPED
    common.install_packages("libjpeg-turbo-progs", "util-linux", "mount")
    common.become_subreaper()
    work = common.scratch_root()
    tree = os.path.join(work, "pristine")
    made = camera_tree.make_tree(tree, args.files, 0, 0, seed=args.seed, folders=FOLDERS,
                                 sizes=SIZES, grain=GRAIN)
    files_bytes = sum(os.path.getsize(os.path.join(tree, rel)) for rel in made)
    given = facts(tree, made)  # before anything reads the pictures
    expected, again = reference(work, made)
    turned = sum(1 for e in expected.pictures.values() if e["turn"])
    common.say("media: %d files (%d turned, %.1f MB), %d kills on each file system, seed %d, in %s"
               % (len(made), turned, files_bytes / 1e6, args.kills, args.seed, work))

    rnd = random.Random(args.seed)
    faults, skipped, ran = [], [], []
    counts = dict(runs=0, kills=0, caught_between_rename_and_times=0)
    landed = dict(before_any_change=0, mid_run=0, after_end=0)
    try:
        for fs in DRIVER_TIMES:
            if args.only and fs.name not in args.only:
                continue
            try:
                prepare(fs)
                image, kept = make_pristine(fs, work, tree, given, files_bytes)
            except Skip as why:
                common.say("media: SKIPPED %s: %s" % (fs.name, why))
                skipped.append(fs.name)
                continue
            bench = Bench(fs, work, image, kept, expected, again)
            begun = time.monotonic()
            lengths, outputs, found = {}, {}, []
            for workers in (1, args.workers):
                more, lengths[workers], outputs[workers] = bench.clean_run(workers)
                found += more
                counts["runs"] += 1
            if outputs[1] != outputs[args.workers]:
                found.append("%s: the output with %d workers differs from the one with 1"
                             % (fs.name, args.workers))
            for number in range(args.kills):
                workers = (1, args.workers)[number % 2]
                more, where, caught = bench.kill(number, workers,
                                                 rnd.uniform(0, lengths[workers]))
                found += more
                counts["caught_between_rename_and_times"] += caught
                counts["kills"] += 1
                landed[where] += 1
            common.say("media: %s: %s; run %.1f s with 1 worker, %.1f s with %d; %.0f s"
                       % (fs.name, tally(found) if found else "passed", lengths[1],
                          lengths[args.workers], args.workers, time.monotonic() - begun))
            for fault in found[:25]:
                common.say("  " + fault)
            if len(found) > 25:
                common.say("  ... and %d more" % (len(found) - 25))
            faults += found
            ran.append(fs.name)
    finally:
        release(work)
        for name in os.listdir(work):
            if name.endswith(".img"):
                os.remove(os.path.join(work, name))
    common.summary("media", dict(file_systems=len(ran), skipped=len(skipped), faults=len(faults),
                                 **counts), time.monotonic() - started,
                   "; kills landed %s; ran %s" % (landed, ", ".join(ran)))
    if faults:
        with open(os.path.join(work, "faults.txt"), "w") as f:
            f.write("".join(fault + "\n" for fault in faults))
        common.say("media: every fault is listed in %s" % os.path.join(work, "faults.txt"))
    status = common.finish("media", faults, args.seed, work)
    if status == 0 and (not ran or set(skipped) & set(FUSE)):
        common.say("media: SKIPPED: %s could not be tried here" % ", ".join(skipped))
        return common.SKIPPED
    return status


if __name__ == "__main__":
    sys.exit(main())
