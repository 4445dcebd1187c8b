#!/usr/bin/env python3
"""Runs the real trimvane under valgrind memcheck over a tree of every kind of
file it meets: camera files turned and not, cut and written whole, files it
leaves alone, and files whose handling fails (read-only pictures, a picture
jpegtran cannot read, a name too long for the temporary names, planted and
stale temporary names). Twice: the first run does the work, the second finds
it done.

Each run must end with no memcheck error, no block of any kind left
(definitely, indirectly or possibly lost, or still reachable), and no file
descriptor of its own open at exit (only the standard three and valgrind's
log, which it inherits). Then one run under strace
shows that descriptors are given back file by file: the highest descriptor
number the tool ever gets stays small, however many files the tree holds.

Usage: leaks.py TRIMVANE_BINARY   (a build without sanitizers)
Ends with "leaks: N passed, N failed"; exits 1 on any failure.
"""

import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import camera_tree  # noqa: E402
import expected_bytes  # noqa: E402

# Every descriptor the tool opens: standard three, the folder being listed,
# the picture, its output, and the outputs of one folder's batch (at most 64)
# that wait together for their places.
HIGHEST_DESCRIPTOR = 6 + 64
RUN_TIMEOUT = 600


def build_tree(root, outside):
    """Writes the tree; returns {path: (original bytes, 'done' or 'untouched')}."""
    pictures = {}
    count = [0]

    def put(rel, data, expect, mode=0o644):
        assert not os.path.isabs(rel)
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, mode)
        if expect is not None:
            pictures[path] = (data, expect)
        return path

    def camera(**options):
        count[0] += 1
        options.setdefault("tag", "leak%d" % count[0])
        return camera_tree.make_camera_jpeg(**options)

    for i in range(30):  # enough files that a per-file leak stands out
        turn = (1, 1, 6, 1, 3, 8)[i % 6]
        put(os.path.join(("", "a", "a/b", "c")[i % 4], "IMG_%04d.JPG" % i),
            camera(orientations=[turn]), "done")
    put("turned-whole.jpg", camera(orientations=[6], exif_thumbnails=1), "done")
    put("three-sequences.jpg", camera(trailing_previews=0), "untouched")
    put("big-endian.jpg", camera(orientations=[6], big_endian=True), "done")
    put("jfif-first.jpg", camera(orientations=[8], jfif_first=True), "done")
    put("no-sequence.jpg", bytes(146) + b"EOS 300D DIGITAL" + bytes(300), "untouched")
    put("album.jpg/inside.jpg", camera(orientations=[3]), "done")
    put("readonly.jpg", camera(), "untouched", mode=0o444)
    put("readonly-turned.jpg", camera(orientations=[6]), "untouched", mode=0o444)
    turned = camera(orientations=[6])
    exif_end = 4 + int.from_bytes(turned[4:6], "big")
    put("jpegtran-fails.jpg", turned[:exif_end] + b"\xff\xdb\x00\x04" + bytes(300) + b"\xff\xd9",
        "untouched")
    put("L" * 251 + ".jpg", camera(), "untouched")
    put("L" * 250 + ".JPG", camera(orientations=[6]), "untouched")
    put("planted.jpg", camera(), "done")
    os.symlink(os.path.join(outside, "victim"), os.path.join(root, "planted.jpg.stripped"))
    put("stale.jpg", camera(orientations=[8]), "done")
    put("stale.jpg.r", b"left by an earlier run", None)
    # Not camera files, or not files: left alone without a word.
    put("other-model.jpg", camera(model="EOS 10D"), "untouched")
    put("noise.jpg", os.urandom(5000), "untouched")
    put("empty.jpg", b"", "untouched")
    put("short.jpg", camera()[:150], "untouched")
    put("notes.txt", b"not a picture\n", None)
    os.mkfifo(os.path.join(root, "fifo.jpg"))
    return pictures


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, what):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL: " + what, flush=True)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def check_pictures(checks, label, pictures):
    for path, (data, expect) in pictures.items():
        now = read(path)
        want = expected_bytes.expected_final(data) if expect == "done" else data
        checks.check(now == want, "%s: %s is not %s" % (label, path, expect))


def memcheck(checks, label, binary, tree, work):
    log = os.path.join(work, label + ".valgrind.log")
    command = ["timeout", "-k", "10", str(RUN_TIMEOUT), "valgrind", "--leak-check=full",
               "--show-leak-kinds=all", "--errors-for-leak-kinds=all", "--error-exitcode=1",
               "--track-fds=yes", "--log-file=" + log, binary, tree]
    run = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True)
    report = open(log, errors="replace").read()
    errors = re.search(r"ERROR SUMMARY: (\d+) errors", report)
    fds = re.search(r"FILE DESCRIPTORS: (\d+) open \((\d+) std\) at exit", report)
    # Valgrind's own log is open at exit too, marked as inherited: only those
    # the tool itself opened count.
    left_open = re.findall(r"Open file descriptor (\d+): .*\n==\d+==    (?!<inherited)", report)
    heap = re.search(r"total heap usage: ([\d,]+) allocs, ([\d,]+) frees", report)
    ok = (run.returncode == 0 and errors is not None and errors.group(1) == "0" and
          "All heap blocks were freed -- no leaks are possible" in report and
          fds is not None and not left_open)
    checks.check(ok, "%s: status %d, valgrind says:\n%s" % (label, run.returncode, report))
    print("%s under memcheck: status %d, %s errors, heap %s allocs / %s frees, %d descriptors "
          "of its own open at exit" % (
              label, run.returncode, errors.group(1) if errors else "?",
              heap.group(1) if heap else "?", heap.group(2) if heap else "?", len(left_open)),
          flush=True)
    return run.stdout


def highest_descriptor(checks, binary, tree, work):
    trace = os.path.join(work, "strace.log")
    command = ["timeout", "-k", "10", str(RUN_TIMEOUT), "strace", "-qq", "-o", trace,
               "-e", "trace=open,openat,creat,dup,dup2,dup3,fcntl,pipe,pipe2,socket",
               binary, tree]
    run = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True)
    numbers = [int(m) for m in re.findall(r"= (\d+)$", open(trace).read(), re.M)]
    opened = len(re.findall(r"^open", open(trace).read(), re.M))
    highest = max(numbers, default=-1)
    checks.check(run.returncode == 0 and 0 <= highest <= HIGHEST_DESCRIPTOR,
                 "descriptors: status %d, highest %d (at most %d)" % (run.returncode, highest,
                                                                      HIGHEST_DESCRIPTOR))
    print("under strace: %d opens, highest descriptor %d" % (opened, highest), flush=True)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    binary = os.path.abspath(sys.argv[1])
    for tool in ("valgrind", "strace", "jpegtran"):
        if shutil.which(tool) is None:
            print("SKIP: %s is not installed" % tool)
            return 77
    checks = Checks()
    work = tempfile.mkdtemp(prefix="trimvane-leaks-")
    try:
        outside = os.path.join(work, "outside")
        os.mkdir(outside)
        with open(os.path.join(outside, "victim"), "wb") as f:
            f.write(b"must stay as it is")
        tree = os.path.join(work, "tree")
        pristine = os.path.join(work, "pristine")
        pictures = build_tree(pristine, outside)
        subprocess.run(["cp", "-a", pristine, tree], check=True)
        in_tree = {p.replace(pristine, tree, 1): v for p, v in pictures.items()}

        out = memcheck(checks, "first run", binary, tree, work)
        for expected in (b"--> Error rotating image", b"--> couldn't open output file",
                         b" -->Couldn't replace original file", b" -->preview image not found"):
            checks.check(expected in out, "first run: no %r on the output" % expected)
        check_pictures(checks, "first run", in_tree)
        memcheck(checks, "second run", binary, tree, work)
        check_pictures(checks, "second run", in_tree)
        checks.check(read(os.path.join(outside, "victim")) == b"must stay as it is",
                     "the planted link's target changed")

        fresh = os.path.join(work, "fresh")
        subprocess.run(["cp", "-a", pristine, fresh], check=True)
        highest_descriptor(checks, binary, fresh, work)
    finally:
        for top, dirs, _ in os.walk(work):
            for name in dirs:
                os.chmod(os.path.join(top, name), stat.S_IRWXU)
        shutil.rmtree(work, ignore_errors=True)
    print("leaks: %d passed, %d failed" % (checks.passed, checks.failed))
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
