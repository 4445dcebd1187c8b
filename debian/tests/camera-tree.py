#!/usr/bin/python3
"""Runs the installed /usr/bin/trimvane on a fresh tree of camera files of
every kind the test kit mixes (cut, turned, without a preview to cut, not a
camera's) and checks its banner, each line, the totals, every picture's bytes
as worked out without the tool's code (the turns by the installed jpegtran),
and that modes and times are kept and no temporary file stays.
Usage: camera-tree.py WORK   (run from the source tree; CAMERA_FILES names the
kit's camera_files program)"""

import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.getcwd(), "tests", "reliability"))
import camera_tree  # noqa: E402
import expected_bytes  # noqa: E402

PROGRAM = "/usr/bin/trimvane"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def read_quietly(path):
    """A file's bytes, read without moving its access time."""
    fd = os.open(path, os.O_RDONLY | os.O_NOATIME)
    try:
        with os.fdopen(fd, "rb", closefd=False) as f:
            return f.read()
    finally:
        os.close(fd)


def expected_line(path, original, final):
    """The tool's line for one picture, or None for a file that is not a camera's."""
    if not expected_bytes.is_camera(original):
        return None
    saved = len(original) - len(final)
    saving = " (%d)" % saved if saved > 0 else ""
    turn = expected_bytes.locate_orientation(original)
    if turn is not None:
        return "%s--> rotate %s%s" % (path, expected_bytes.TURNS[turn[0]], saving)
    if final == original:
        return path + " -->preview image not found"
    return path + saving


def main():
    work = sys.argv[1]
    tree = os.path.join(work, "photos")
    made = camera_tree.make_tree(tree, count=30, width=64, height=48)
    with open(os.path.join(tree, "notes.jpg"), "w") as f:
        f.write("not a picture\n")
    made["notes.jpg"] = {}

    expected = {}
    lines = []
    totals = {"stripped": 0, "rotated": 0, "saved": 0}
    for rel in made:
        path = os.path.join(tree, rel)
        original = read_quietly(path)
        final = expected_bytes.expected_final(original)
        final = original if final is None else final
        st = os.stat(path)
        expected[rel] = (final, st.st_mode, st.st_atime_ns, st.st_mtime_ns)
        line = expected_line(os.path.join("photos", rel), original, final)
        if line is None:
            continue
        lines.append(line)
        if len(final) < len(original):
            totals["stripped"] += 1
            totals["saved"] += len(original) - len(final)
        if "--> rotate" in line:
            totals["rotated"] += 1
    check(totals["rotated"] > 0 and totals["stripped"] > totals["rotated"],
          "the tree lacks turned or cut pictures: %s" % totals)

    run = subprocess.run([PROGRAM, "photos"], cwd=work, capture_output=True, text=True)
    check(run.returncode == 0, "exit status %d" % run.returncode)
    check(run.stderr == "", "standard error: %r" % run.stderr)
    out = run.stdout.split("\n")
    version = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "trimvane"],
                             capture_output=True, text=True, check=True).stdout
    banner = r"Trimvane V%s \([A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\)$"
    check(re.match(banner % re.escape(version), out[0]) is not None,
          "banner %r for version %s" % (out[0], version))
    said = subprocess.run([PROGRAM, "--version"], capture_output=True, text=True).stdout
    check(said == out[0] + "\n", "--version said %r, the banner %r" % (said, out[0]))

    # Lines come in walk order, which the file system decides.
    body = out[3:]
    total_lines = ["%d files stripped" % totals["stripped"], "%d files rotated" % totals["rotated"],
                   "%d bytes saved" % totals["saved"], ""]
    check(body[-4:] == total_lines, "totals %r, expected %r" % (body[-4:], total_lines))
    check(sorted(body[:-4]) == sorted(lines),
          "lines differ:\n  got      %s\n  expected %s" % (sorted(body[:-4]), sorted(lines)))

    for rel, (final, mode, atime, mtime) in expected.items():
        path = os.path.join(tree, rel)
        check(read_quietly(path) == final, "%s: not the expected bytes" % rel)
        st = os.stat(path)
        check(st.st_mode == mode, "%s: mode %o became %o" % (rel, mode, st.st_mode))
        check((st.st_atime_ns, st.st_mtime_ns) == (atime, mtime),
              "%s: times %s became %s" % (rel, (atime, mtime), (st.st_atime_ns, st.st_mtime_ns)))
    for folder, _, names in os.walk(tree):
        for name in names:
            check(not name.endswith((".stripped", ".r")),
                  "temporary file left: %s" % os.path.join(folder, name))

    for failure in failures:
        print("camera-tree: " + failure, file=sys.stderr)
    if failures:
        return 1
    print("camera-tree: %d files, %d stripped, %d rotated, %d bytes saved: as expected"
          % (len(made), totals["stripped"], totals["rotated"], totals["saved"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
