#!/usr/bin/env python3
"""Injected faults: strace makes one kind of system call fail with EIO at its
N-th invocation ("once"), or at its N-th and every later one ("from then
on"), for N = 1, 2, 3 ... until a run goes through without the fault being
injected at all. Each run works on a fresh small tree (a picture that is cut,
one without a fourth FF D8 FF, two turned ones; two of them of a camera's
size, read in several pieces).

Every fault is swept twice. First with one worker (TRIMVANE_WORKERS=1), so
that the tool is one thread and N means the same on every run: the faults
go into the tool's own process only (strace without -f), so that jpegtran
keeps working, except for the start of jpegtran, which is made to fail both
in the tool (clone3/clone, under posix_spawnp) and in the child (its execve,
with -f). The tool writes pictures with pwrite64; its plain writes go to
standard output only, and are a separate fault. Then with two workers:
strace follows every thread (-f) and counts each thread's calls apart, so
the N-th call of each thread fails, the start of the workers' threads
(clone3) among them. The write to standard output and close are left to
the first sweep: jpegtran, followed too, writes its picture with write, and
the dynamic loader closes files before the tool's own code runs.

After each run: status 0; every picture is its original, its final result
or its rotated intermediate, with its mode and modification time; its line
is one the tool's rules allow for what is on the disk; a ".stripped" is left
only beside an untouched picture whose line ends " -->Couldn't replace
original file", and a ".r" only when the rotation failed."""

import argparse
import os
import shutil
import sys
import time

import camera_tree
import common

# (name, system calls, follow jpegtran too)
FAULTS = [
    ("read of a picture (pread64)", "pread64", False),
    ("write of picture data (pwrite64)", "pwrite64", False),
    ("write to standard output", "write", False),
    ("fsync", "fsync", False),
    ("close", "close", False),
    ("rename", "rename,renameat,renameat2", False),
    ("time setting (futimens)", "utimensat", False),
    ("permission setting (fchmod)", "fchmod", False),
    ("ownership setting (fchown)", "fchown", False),
    ("jpegtran start in the tool (clone3/clone)", "clone3,clone,vfork", False),
    ("jpegtran start in the child (execve)", "execve", True),
]

FILES = {
    "IMG_0001.JPG": dict(orientations=[1]),
    "IMG_0002.JPG": dict(orientations=[1], trailing_previews=0),
    "IMG_0003.JPG": dict(orientations=[6]),
    "sub/IMG_0004.JPG": dict(orientations=[1, 8], model=camera_tree.CAMERA_MODELS[1]),
}


def make_small_tree(root):
    made = {}
    for n, (rel, options) in enumerate(FILES.items()):
        # Two pictures of a camera's size, read in several pieces.
        size = (2592, 1728) if n in (0, 2) else (128, 96)
        options = dict(options, width=size[0], height=size[1], seed=n, tag="#%d" % n)
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(camera_tree.make_camera_jpeg(**options))
        os.chmod(path, (0o644, 0o640, 0o604, 0o664)[n])
        os.utime(path, ns=(1072915200_111111111 + n * 10**12, 1072915200_222222222 + n * 10**12))
        made[rel] = options
    return made


def calls_before_main(pristine, work, syscalls, env):
    """How many of these calls the dynamic loader makes before the tool's
    code runs (it closes the libraries it maps, for one): they are skipped,
    so that N counts the tool's own calls."""
    tree = os.path.join(work, "probe")
    shutil.rmtree(tree, ignore_errors=True)
    common.copy_tree(pristine, tree)
    log = os.path.join(work, "probe.log")
    common.run_tool(tree, env=env, prefix=["strace", "-qq", "-o", log])
    names = set(syscalls.split(","))
    count = 0
    with open(log) as f:
        for line in f.readlines()[1:]:  # the first is the tool's own execve
            if '"%s"' % tree in line:
                break
            count += line.split("(")[0] in names
    return count


def run_with_fault(pristine, work, syscalls, follow, when, env):
    """One run under strace; returns (status, output, tree, injected count)."""
    tree = os.path.join(work, "run")
    shutil.rmtree(tree, ignore_errors=True)
    common.copy_tree(pristine, tree)
    log = os.path.join(work, "strace.log")
    argv = ["strace", "-qq", "-o", log, "-e", "trace=" + syscalls,
            "-e", "inject=%s:error=EIO:when=%s" % (syscalls, when)]
    if follow:
        argv.insert(1, "-f")
    status, out = common.run_tool(tree, env=env, prefix=argv)
    with open(log) as f:
        injected = f.read().count("(INJECTED)")
    return status, out, tree, injected


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--only", help="run only the faults whose name holds this text")
    args = ap.parse_args()
    if shutil.which("strace") is None:
        common.say("faults: SKIPPED: strace is not installed")
        return common.SKIPPED
    started = time.monotonic()
    work = common.scratch_root()
    pristine = os.path.join(work, "pristine")
    made = make_small_tree(pristine)
    expected = common.Expected(pristine, made, work)
    # jpegtran is looked for in one place only, so that "the N-th execve"
    # means the same on every machine.
    jpegtran = os.path.dirname(shutil.which("jpegtran"))
    env = dict(os.environ, PATH=jpegtran)

    runs = 0
    faults = []
    per_fault = []
    sweeps = [(name, syscalls, follow, "", dict(env, TRIMVANE_WORKERS="1"))
              for name, syscalls, follow in FAULTS]
    sweeps += [(name, syscalls, True, ", two workers", dict(env, TRIMVANE_WORKERS="2"))
               for name, syscalls, _ in FAULTS if syscalls not in ("write", "close")]
    for name, syscalls, follow, workers, run_env in sweeps:
        name += workers
        if args.only and args.only not in name:
            continue
        # The loader reads its libraries with pread64 in the main thread:
        # each thread's first reads of that many are the loader's there.
        loader = not follow or syscalls == "pread64"
        skip = calls_before_main(pristine, work, syscalls, run_env) if loader else 0
        for mode, suffix in (("once", ""), ("from then on", "+")):
            n = 0
            while True:
                n += 1
                status, out, tree, injected = run_with_fault(
                    pristine, work, syscalls, follow, "%d%s" % (n + skip, suffix), run_env)
                runs += 1
                if injected == 0:
                    break
                found = [] if status == 0 else ["status %d" % status]
                for rel, entry in expected.pictures.items():
                    if syscalls == "write":
                        # The lines are lost with the output; the pictures
                        # must be done all the same.
                        if expected.state(tree, rel) != common.FINAL or \
                                not expected.metadata_kept(tree, rel):
                            found.append("%s: not final" % rel)
                        continue
                    line = common.line_of(out, os.path.join(tree, rel))
                    found += common.check_outcome(tree, rel, entry, line)
                if syscalls == "write" and common.leftovers(tree):
                    found.append("left %s" % common.leftovers(tree))
                for fault in found:
                    faults.append("%s, %s, N=%d: %s" % (name, mode, n, fault))
            per_fault.append("%s %s: N up to %d%s" % (name, mode, n - 1, skip and
                             " (after the loader's %d)" % skip or ""))

    for fault in faults[:60]:
        common.say("  " + fault)
    if len(faults) > 60:
        common.say("  ... and %d more" % (len(faults) - 60))
    common.summary("faults", dict(runs=runs, faulty_runs=len({f.split(": ")[0] for f in faults}),
                                  faults=len(faults)), time.monotonic() - started)
    if faults:
        common.say("faults: FAILED (trees in %s)" % work)
        return 1
    for line in per_fault:
        common.say("  " + line)
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
