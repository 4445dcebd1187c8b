#!/usr/bin/env python3
"""Root runs the tool over a folder tree that another user may write, while
that user swaps links under the names the tool works with.

For each run: a fresh small tree of camera files (turned and plain, folders
mode 0777, not sticky), and files outside it: root's own (a readable 0644
camera file, and a 0600 one holding a secret pattern that the other user
cannot read) and the other user's own (which it may hard-link to). A forked
child drops to the unprivileged user, watches the tree with inotify and, the
moment the tool creates `<name>.r` or `<name>.stripped` (at once, or when the
tool closes it), renames a symbolic link or a hard link of its own over that
name; the moment a `.r` is renamed over its picture, it renames a symbolic
link over the picture's name. Meanwhile root runs the tool on the tree.

After each run:
  - no file outside the tree changed: bytes, owner, mode, size, modification
    and access times (the access times are set recent, so that a mere read
    does not move them);
  - no byte of the secret shows up in any regular file of the tree (links
    are not followed);
  - the tool was not killed by a signal and did not hang;
  - every picture none of whose names was swapped holds its expected final
    bytes with its mode and modification time (whoever can write the folder
    can remove the swapped ones anyway, so they are not judged).

Prints one line of figures (runs, plants tried, files outside changed,
leaks) and exits 1 on any fault, 77 when not run as root.
"""

import argparse
import ctypes
import hashlib
import json
import os
import pwd
import random
import select
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import time

import camera_tree
import common
import expected_bytes

FOLDERS = ("", "a", "a/b")
FILES = 8  # the first eight kinds: four turned (3, 6, 8, 6 in a second entry), four plain
SIZE = (160, 120)
RUN_TIMEOUT = 60

IN_CLOSE_WRITE = 0x008
IN_MOVED_FROM = 0x040
IN_CREATE = 0x100
EVENT = struct.Struct("iIII")

# What the planter may rename over each kind of name: (link kind, target).
FOR_TEMPORARY = [("sym", "root-public.jpg"), ("sym", "root-secret.jpg"),
                 ("sym", "own.jpg"), ("sym", "own.txt"),
                 ("hard", "own.jpg"), ("hard", "own.txt")]
FOR_STRIPPED = [("hard", "own.jpg"), ("hard", "own.txt"), ("hard", "own.jpg"),
                ("sym", "root-public.jpg"), ("sym", "root-secret.jpg")]
FOR_PICTURE = [("sym", "root-secret.jpg"), ("sym", "root-public.jpg"), ("sym", "own.jpg")]
POOL = 12  # links of each kind and target made ready before a run


def secret_camera_file(secret):
    """A camera file with a comment segment holding `secret` before its cut,
    so that a tool loading it by mistake carries the secret into its output."""
    data = camera_tree.make_camera_jpeg(orientations=[1], tag="secret", width=32, height=16)
    at = 4 + struct.unpack(">H", data[4:6])[0]  # just after the Exif segment
    comment = b"\xff\xfe" + struct.pack(">H", len(secret) + 2) + secret
    return data[:at] + comment + data[at:]


def write_file(path, data, mode, owner):
    with open(path, "wb") as f:
        f.write(data)
    os.chown(path, owner.pw_uid, owner.pw_gid)
    os.chmod(path, mode)
    # An old modification time, and an access time the kernel will not move
    # on a mere read (it is later than the modification and recent).
    os.utime(path, ns=(time.time_ns() - 60 * 10**9, 1104537600 * 10**9 + 123456789))


def make_outside(base, planter, secret):
    """root's files and the planter's files beside the tree."""
    root = pwd.getpwuid(0)
    outside = os.path.join(base, "outside")
    own = os.path.join(base, "planter")
    os.mkdir(outside, 0o755)
    os.mkdir(own, 0o755)
    os.chown(own, planter.pw_uid, planter.pw_gid)
    public = camera_tree.make_camera_jpeg(orientations=[1], tag="public", width=32, height=16)
    write_file(os.path.join(outside, "root-public.jpg"), public, 0o644, root)
    write_file(os.path.join(outside, "root-secret.jpg"), secret_camera_file(secret), 0o600, root)
    mine = camera_tree.make_camera_jpeg(orientations=[1], tag="own", width=32, height=16)
    write_file(os.path.join(own, "own.jpg"), mine, 0o644, planter)
    write_file(os.path.join(own, "own.txt"), b"the planter's own notes\n", 0o644, planter)
    return {"root-public.jpg": os.path.join(outside, "root-public.jpg"),
            "root-secret.jpg": os.path.join(outside, "root-secret.jpg"),
            "own.jpg": os.path.join(own, "own.jpg"), "own.txt": os.path.join(own, "own.txt")}


def outside_facts(targets):
    """What must not change about each file outside the tree. The change time
    and the link count move when the planter links to its own files."""
    facts = {}
    for name, path in targets.items():
        st = os.lstat(path)
        facts[name] = dict(type=stat.S_IFMT(st.st_mode), mode=stat.S_IMODE(st.st_mode),
                           uid=st.st_uid, gid=st.st_gid, size=st.st_size,
                           mtime=st.st_mtime_ns, atime=st.st_atime_ns,
                           sha=hashlib.sha256(common.read_quietly(path)).hexdigest()[:16])
    return facts


def tree_regular_files(tree):
    """Every regular file below `tree`, links not followed."""
    found = []
    for top, dirs, files in os.walk(tree):
        for name in dirs + files:
            path = os.path.join(top, name)
            if stat.S_ISREG(os.lstat(path).st_mode):
                found.append(path)
    return found


class Inotify:
    """libc's inotify, through ctypes."""

    def __init__(self):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        self.folders = {}

    def watch(self, folder, mask):
        wd = self.libc.inotify_add_watch(self.fd, os.fsencode(folder), mask)
        if wd < 0:
            raise OSError(ctypes.get_errno(), "inotify_add_watch " + folder)
        self.folders[wd] = folder

    def events(self):
        """(folder, mask, name) of the events waiting; blocks for the first."""
        buf = os.read(self.fd, 1 << 16)
        at = 0
        while at < len(buf):
            wd, mask, _cookie, length = EVENT.unpack_from(buf, at)
            name = buf[at + EVENT.size:at + EVENT.size + length].rstrip(b"\0")
            at += EVENT.size + length
            yield self.folders.get(wd), mask, os.fsdecode(name)


class Planter:
    """The unprivileged user's side: links made ready in its own folder, then
    renamed over the tool's names as they appear."""

    def __init__(self, stash, targets, rnd):
        self.stash = stash
        self.rnd = rnd
        self.pools = {}
        for kind, target in set(FOR_TEMPORARY + FOR_STRIPPED + FOR_PICTURE):
            pool = []
            for n in range(POOL):
                link = os.path.join(stash, "%s-%s-%d" % (kind, target, n))
                if kind == "sym":
                    os.symlink(targets[target], link)
                else:  # fs.protected_hardlinks: only to files the planter owns
                    os.link(targets[target], link)
                pool.append(link)
            self.pools[(kind, target)] = pool
        self.pending = set()
        self.planted = []  # (name swapped, link kind, target)

    def plant(self, folder, name, choices):
        kind, target = self.rnd.choice(choices)
        pool = self.pools[(kind, target)]
        if not pool:
            return
        try:
            os.rename(pool[-1], os.path.join(folder, name))
        except OSError:
            return
        pool.pop()
        self.planted.append((os.path.join(folder, name), kind, target))

    def react(self, folder, mask, name):
        if folder is None:
            return
        if mask & IN_CREATE and name.endswith((".r", ".stripped")):
            stripped = name.endswith(".stripped")
            choices = FOR_STRIPPED if stripped else FOR_TEMPORARY
            # Some rotations are let through, so that the rotated picture's
            # reload is attacked too.
            now, on_close = (0.45, 0.9) if stripped else (0.3, 0.6)
            when = self.rnd.random()
            if when < now:
                self.plant(folder, name, choices)
            elif when < on_close:  # the moment the tool closes it and hands it on by name
                self.pending.add((folder, name))
        elif mask & IN_CLOSE_WRITE and (folder, name) in self.pending:
            self.pending.discard((folder, name))
            choices = FOR_STRIPPED if name.endswith(".stripped") else FOR_TEMPORARY
            self.plant(folder, name, choices)
        elif mask & IN_MOVED_FROM and name.endswith(".r") and self.rnd.random() < 0.8:
            # The rotated picture has just taken the picture's name, and the
            # tool is about to load it back.
            self.plant(folder, name[:-2], FOR_PICTURE)


def planter_child(planter_user, tree_folders, stash, targets, seed, ready_w, stop_r, plant):
    """Runs in the forked child: drops to the planter, watches, plants until
    told to stop, then writes what it planted to `ready_w` as JSON."""
    os.setgroups([])
    os.setgid(planter_user.pw_gid)
    os.setuid(planter_user.pw_uid)
    planter = Planter(stash, targets, random.Random(seed))
    watcher = Inotify()
    for folder in tree_folders:
        watcher.watch(folder, IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_FROM)
    os.write(ready_w, b"R")
    while True:
        ready, _, _ = select.select([watcher.fd, stop_r], [], [])
        if watcher.fd in ready:
            for folder, mask, name in watcher.events():
                if plant:
                    planter.react(folder, mask, name)
        elif stop_r in ready:
            break
    report = json.dumps(planter.planted).encode()
    while report:
        report = report[os.write(ready_w, report):]


def run_with_planter(binary, tree, tree_folders, stash, targets, planter_user, seed, plant):
    """Runs the tool on `tree` while the planter works on it. Returns (status,
    output, list of plants)."""
    ready_r, ready_w = os.pipe()
    stop_r, stop_w = os.pipe()
    child = os.fork()
    if child == 0:
        code = 1
        try:
            os.close(ready_r)
            os.close(stop_w)
            planter_child(planter_user, tree_folders, stash, targets, seed, ready_w, stop_r,
                          plant)
            code = 0
        except BaseException as failure:  # noqa: BLE001 - reported through the exit code
            sys.stderr.write("planter: %r\n" % (failure,))
        finally:
            os._exit(code)
    os.close(ready_w)
    os.close(stop_r)
    try:
        if os.read(ready_r, 1) != b"R":
            raise RuntimeError("the planter did not start")
        try:
            done = subprocess.run([binary, tree], stdin=subprocess.DEVNULL, capture_output=True,
                                  timeout=RUN_TIMEOUT)
            status, output = done.returncode, done.stdout
        except subprocess.TimeoutExpired:
            status, output = "hung", b""
        # Let the planter see the last events before it is told to stop.
        time.sleep(0.002)
        os.write(stop_w, b"S")
        report = b""
        while True:
            chunk = os.read(ready_r, 1 << 16)
            if not chunk:
                break
            report += chunk
    finally:
        os.close(ready_r)
        os.close(stop_w)
        _, child_status = os.waitpid(child, 0)
    if child_status != 0:
        raise RuntimeError("the planter failed (status %d)" % child_status)
    return status, output, json.loads(report)


def disk_scratch():
    """Where the runs are made: on a disk, not in memory. The tool syncs each
    new file and its folder, and on a disk those syncs take the time they take
    on people's disks, which is when the planter gets its chance; in memory
    they return at once."""
    for candidate in (os.environ.get("RELIABILITY_TMP"), "/var/tmp"):
        if candidate and os.path.isdir(candidate) and os.access(candidate, os.W_OK):
            return tempfile.mkdtemp(prefix="trimvane-adversary-", dir=candidate)
    return tempfile.mkdtemp(prefix="trimvane-adversary-")


def make_pristine(work):
    pristine = os.path.join(work, "pristine")
    made = camera_tree.make_tree(pristine, FILES, SIZE[0], SIZE[1], seed=3, folders=FOLDERS)
    expected = {}
    for rel in made:
        path = os.path.join(pristine, rel)
        data = common.read(path)
        st = os.stat(path)
        final = expected_bytes.expected_final(data)
        expected[rel] = dict(final=data if final is None else final,
                             mode=stat.S_IMODE(st.st_mode), mtime=st.st_mtime_ns)
    for folder in FOLDERS:
        os.chmod(os.path.join(pristine, folder), 0o777)
    return pristine, expected


def check_run(tree, targets, before, secret, expected, plants, status):
    """Faults of one run, as text."""
    faults = []
    after = outside_facts(targets)
    changed = {}
    for name in targets:
        differs = {k: (before[name][k], after[name][k]) for k in before[name]
                   if before[name][k] != after[name][k]}
        if differs:
            changed[name] = differs
            faults.append("outside changed: %s %s" % (name, differs))
    leaks = [os.path.relpath(p, tree) for p in tree_regular_files(tree)
             if secret in common.read_quietly(p)]
    for rel in leaks:
        faults.append("secret bytes in the tree: %s" % rel)
    if status == "hung" or status < 0:
        faults.append("the tool %s" % ("hung" if status == "hung" else "died of signal %d"
                                       % -status))
    swapped = set()
    for name, _kind, _target in plants:
        rel = os.path.relpath(name, tree)
        for ending in (".r", ".stripped"):
            if rel.endswith(ending):
                rel = rel[:-len(ending)]
        swapped.add(rel)
    for rel, want in expected.items():
        if rel in swapped:
            continue
        path = os.path.join(tree, rel)
        st = os.lstat(path) if os.path.lexists(path) else None
        if st is None or not stat.S_ISREG(st.st_mode) or common.read_quietly(path) != want["final"] \
                or stat.S_IMODE(st.st_mode) != want["mode"] or st.st_mtime_ns != want["mtime"]:
            faults.append("untouched by the planter, yet not done: %s" % rel)
    return faults, changed, len(leaks)


def planter_account(name):
    try:
        return pwd.getpwnam(name)
    except KeyError:
        sys.exit("no user %r to plant with" % name)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--runs", type=int, default=1000 if common.NIGHTLY else 200)
    ap.add_argument("--seed", type=int, default=int(time.time()))
    ap.add_argument("--binary", default=common.TOOL, help="the trimvane to attack "
                    "(default: $TRIMVANE or build-rel/trimvane)")
    ap.add_argument("--planter", default="nobody", help="the unprivileged user who plants")
    ap.add_argument("--show", type=int, default=30, help="faults to list")
    ap.add_argument("--watch-only", action="store_true", help="the planter watches but plants "
                    "nothing: every picture must then simply be done")
    args = ap.parse_args()
    if os.geteuid() != 0:
        common.say("SKIP: the adversary suite runs the tool as root against another user")
        return common.SKIPPED
    binary = os.path.abspath(args.binary)
    planter_user = planter_account(args.planter)
    started = time.monotonic()

    work = disk_scratch()
    os.chmod(work, 0o755)
    pristine, expected = make_pristine(work)
    common.say("adversary: %d runs of %d files (%d turned), planter %s (uid %d), binary %s, "
               "seed %d, in %s" % (args.runs, len(expected),
                                   sum(1 for o in camera_tree.KINDS[:FILES]
                                       if camera_tree.turn_of(o)),
                                   planter_user.pw_name, planter_user.pw_uid, binary,
                                   args.seed, work))
    rnd = random.Random(args.seed)
    secret = b"SECRET-OF-ROOT:" + b"%032x" % rnd.getrandbits(128)
    counts = dict(runs=0, plants_tried=0, files_outside_changed=0, runs_with_changes=0,
                  leaks=0, other_faults=0)
    by_kind = {}
    changed_by_target = dict.fromkeys(("root-public.jpg", "root-secret.jpg", "own.jpg",
                                       "own.txt"), 0)
    how = {"bytes written": 0, "owner or mode set": 0}
    faults = []
    base = os.path.join(work, "run")
    for run in range(args.runs):
        shutil.rmtree(base, ignore_errors=True)
        os.mkdir(base, 0o755)
        tree = os.path.join(base, "tree")
        common.copy_tree(pristine, tree)
        targets = make_outside(base, planter_user, secret)
        stash = os.path.join(base, "planter", "stash")
        os.mkdir(stash, 0o700)
        os.chown(stash, planter_user.pw_uid, planter_user.pw_gid)
        before = outside_facts(targets)
        status, _output, plants = run_with_planter(
            binary, tree, [os.path.join(tree, f) for f in FOLDERS], stash, targets,
            planter_user, rnd.getrandbits(32), not args.watch_only)
        found, changed, leaks = check_run(tree, targets, before, secret, expected, plants, status)
        counts["runs"] += 1
        counts["plants_tried"] += len(plants)
        counts["files_outside_changed"] += len(changed)
        counts["runs_with_changes"] += 1 if changed else 0
        for name, differs in changed.items():
            changed_by_target[name] += 1
            if "sha" in differs:
                how["bytes written"] += 1
            if {"uid", "gid", "mode"} & set(differs):
                how["owner or mode set"] += 1
        counts["leaks"] += leaks
        counts["other_faults"] += len(found) - len(changed) - leaks
        for name, kind, target in plants:
            where = ".r" if name.endswith(".r") else (".stripped" if name.endswith(".stripped")
                                                      else "picture")
            key = "%s %s->%s" % (where, kind, target)
            by_kind[key] = by_kind.get(key, 0) + 1
        faults.extend("run %d: %s" % (run, f) for f in found)

    for fault in faults[:args.show]:
        common.say("  " + fault)
    if len(faults) > args.show:
        common.say("  ... and %d more" % (len(faults) - args.show))
    common.say("adversary: plants by name and link: " + ", ".join(
        "%s %d" % (k, v) for k, v in sorted(by_kind.items())))
    common.say("adversary: files outside changed, by file: " + ", ".join(
        "%s %d" % item for item in changed_by_target.items()) + "; " + ", ".join(
        "%s %d" % item for item in how.items()))
    common.summary("adversary", counts, time.monotonic() - started)
    return common.finish("adversary", faults, args.seed, work)


if __name__ == "__main__":
    sys.exit(main())
