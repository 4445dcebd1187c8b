#!/usr/bin/env python3
"""Runs the real trimvane (and the real jpegtran) over hostile folder trees
and checks that it does no harm.

The trees hold camera files under names made to break shells, terminals and
careless string handling; temporary names planted beforehand as links to
files outside the tree; a folder link loop; FIFOs, sockets and device nodes
named *.jpg; read-only and unreadable files and folders; hard links; names
too long for the temporary names; a folder deeper than the path limit. It
runs once as root and once as an unprivileged user (setpriv), each run under
`timeout`, each run twice (the second must change nothing), and checks:

  - nothing outside the tree changed (contents, modes, owners, times),
    and no injected command ran (no pwned-* file appeared anywhere);
  - no run hung, crashed or wrote to its error stream;
  - every camera file holds its original bytes or exactly the expected final
    bytes, as each case requires, with its times and permission bits;
  - no entry's permission bits were widened, and nothing was left behind but
    the temporary files the failure rules allow.

Usage: hostile.py TRIMVANE_BINARY   (HOSTILE_VERBOSE=1 shows each run's output)
Ends with "hostile: N passed, N failed"; exits 1 on any failure.
"""

import hashlib
import os
import shutil
import socket
import stat
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import camera_tree  # noqa: E402
import common  # noqa: E402
import expected_bytes  # noqa: E402

RUN_TIMEOUT = 120
NOBODY = 65534

# Names that would run `touch pwned-...` in the current folder if any part of
# the tool or of the way it starts jpegtran let a shell see them.
INJECTIONS = [
    b"$(touch pwned-dollar).jpg",
    b"`touch pwned-tick`.jpg",
    b"a;touch pwned-semi;b.jpg",
    b"a&touch pwned-amp&b.jpg",
    b"a|touch pwned-pipe|b.jpg",
    b"x\"; touch pwned-dq; \".jpg",
    b"x'; touch pwned-sq; '.jpg",
    b"nl\ntouch pwned-nl\n.jpg",
]
ODD_NAMES = [
    b"it's \"quoted\".jpg",
    b"\xff\xfe.jpg",
    b"caf\xe9 \x01\x1b[31mred\r.jpg",
    b"%s%n%d%%.jpg",
    b"-rotate 90 -outfile x.jpg",
    b" blanks around .jpg",
    b"*?[glob]\\back.jpg",
    b"UPPER.JPG",
]
HOSTILE_FOLDER = b"$(touch pwned-dir) `x`;&|\n\xff"


def camera(orientation, tag):
    """A small camera file, told apart from the others by `tag`."""
    return camera_tree.make_camera_jpeg(orientations=[orientation], tag=tag)


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = []

    def check(self, ok, what):
        if ok:
            self.passed += 1
        else:
            self.failed.append(what)
            print("FAIL: " + what, flush=True)


def show(path):
    return repr(path)[2:-1] if isinstance(path, bytes) else path


def entry_facts(path, st):
    """What must not change about an entry: type, mode, owner, size, times and
    content (links: their target). Change times and link counts are left out."""
    facts = {"type": stat.S_IFMT(st.st_mode), "mode": stat.S_IMODE(st.st_mode),
             "uid": st.st_uid, "gid": st.st_gid, "mtime": st.st_mtime_ns}
    if stat.S_ISREG(st.st_mode):
        facts["size"] = st.st_size
        facts["atime"] = st.st_atime_ns
        facts["sha"] = hashlib.sha256(common.read_quietly(path)).hexdigest()
    elif stat.S_ISLNK(st.st_mode):
        facts["target"] = os.readlink(path)
    elif stat.S_ISCHR(st.st_mode) or stat.S_ISBLK(st.st_mode):
        facts["rdev"] = st.st_rdev
    return facts


def snapshot(root, skip=()):
    """Facts of every entry below `root` (not following links), by path, but
    for those below the `skip` folders. Walks by folder descriptors so folders
    deeper than the path limit count too."""
    facts = {}
    for top, dirs, files, dir_fd in os.fwalk(root, follow_symlinks=False):
        dirs[:] = [d for d in dirs if os.path.join(top, d) not in skip]
        for name in dirs + files:
            path = os.path.join(top, name)
            st = os.stat(name, dir_fd=dir_fd, follow_symlinks=False)
            if len(path) < 4000:
                facts[path] = entry_facts(path, st)
            else:  # beyond the path limit: enough to see it is still there
                facts[path] = {"type": stat.S_IFMT(st.st_mode), "mode": stat.S_IMODE(st.st_mode),
                               "mtime": st.st_mtime_ns, "size": st.st_size}
    return facts


class Tree:
    """A tree under construction, with what is expected of each camera file."""

    def __init__(self, root):
        self.root = root
        self.pictures = {}  # path -> dict(data, final, expect, line, leftovers, owner_kept)
        self.salt = 0
        os.mkdir(root)

    def path(self, rel):
        return os.path.join(self.root, rel)

    def folder(self, rel):
        os.makedirs(self.path(rel), exist_ok=True)
        return self.path(rel)

    def picture(self, rel, orientation=1, mode=0o644, expect="done", line=True, leftovers=(),
                owner=None, owner_kept=True):
        """A camera file. expect: "done" (final bytes) or "untouched".
        line: whether its path must appear once on the output. leftovers: the
        temporary endings (".stripped", ".r") it may leave beside it."""
        self.salt += 1
        data = camera(orientation, "h%d" % self.salt)
        path = self.path(rel)
        with open(path, "wb") as f:
            f.write(data)
        if owner is not None:
            os.chown(path, owner, owner)
        os.chmod(path, mode)
        final = expected_bytes.expected_final(data)
        if final is None:
            raise RuntimeError("a test picture the tool would not change: %s" % show(rel))
        self.pictures[path] = {"data": data, "final": final, "expect": expect, "line": line,
                               "leftovers": leftovers, "owner_kept": owner_kept}
        return path


def run_tool(command, cwd):
    run = subprocess.run(["timeout", "-k", "5", str(RUN_TIMEOUT)] + command, cwd=cwd,
                         stdin=subprocess.DEVNULL, capture_output=True)
    return run.returncode, run.stdout, run.stderr


def check_run(checks, label, tree, before, status, out, err, first, argument):
    checks.check(status == 0, "%s: exit status %d (124/137: hung)" % (label, status))
    checks.check(err == b"", "%s: error stream not empty: %r" % (label, err[:2000]))
    after = snapshot(tree.root)
    allowed_new = set()
    for path, pic in tree.pictures.items():
        for ending in pic["leftovers"]:
            allowed_new.add(os.fsencode(path) + ending)
    for path, facts in after.items():
        if path in before:
            old = before[path]
            if path in tree.pictures or path in allowed_new or facts["type"] != old["type"]:
                continue  # pictures are checked below; leftovers are made anew by each run
            if facts["type"] == stat.S_IFDIR:  # its entries change, its bits must not
                facts, old = facts["mode"], old["mode"]
            checks.check(facts == old, "%s: %s changed: %s -> %s" % (label, show(path), old,
                                                                      facts))
            continue
        if path in allowed_new:
            picture = path.rsplit(b".", 1)[0]
            widened = facts["mode"] & ~(before[picture]["mode"] | 0o600)
            checks.check(widened == 0, "%s: leftover %s has mode %o" % (label, show(path),
                                                                        facts["mode"]))
            continue
        checks.check(False, "%s: new entry %s" % (label, show(path)))

    for path, pic in tree.pictures.items():
        old = before[path]
        now = after.get(path)
        if now is None:
            checks.check(False, "%s: %s is gone" % (label, show(path)))
            continue
        data = common.read_quietly(path) if now["type"] == stat.S_IFREG else None
        done = data == pic["final"]
        untouched = data == pic["data"]
        want = pic["expect"]
        ok = done if want == "done" else untouched
        checks.check(ok, "%s: %s is %s, expected %s" % (
            label, show(path), "done" if done else "untouched" if untouched else "CHANGED", want))
        checks.check(now["mode"] == old["mode"], "%s: mode of %s %o -> %o" % (
            label, show(path), old["mode"], now["mode"]))
        # A picture put in place gets its times back; one left in place may show a
        # later access time (jpegtran read it, or the user may not read it unseen).
        checks.check(now["mtime"] == old["mtime"] and (not done or now["atime"] == old["atime"]),
                     "%s: times of %s changed" % (label, show(path)))
        if pic["owner_kept"]:
            checks.check((now["uid"], now["gid"]) == (old["uid"], old["gid"]),
                         "%s: owner of %s changed" % (label, show(path)))
        if first:
            shown = argument + path[len(tree.root):]  # the path as the tool prints it
            count = out.count(shown)
            checks.check(count == (1 if pic["line"] else 0),
                         "%s: %s appears %d times on the output" % (label, show(path), count))


def check_outside(checks, label, base, tree, skip, sentinel):
    now = snapshot(base, skip=skip)
    changed = [p for p in sorted(set(now) | set(sentinel)) if now.get(p) != sentinel.get(p)]
    checks.check(not changed, "%s: outside the tree changed: %s" % (label, "; ".join(
        "%s: %s -> %s" % (show(p), sentinel.get(p), now.get(p)) for p in changed)))
    pwned = [p for p in list(now) + list(snapshot(tree)) if b"/pwned-" in p]
    pwned += [n for n in os.listdir("/tmp") if n.startswith("pwned-")]
    checks.check(not pwned, "%s: injected command ran: %s" % (label, pwned))


def run_twice(checks, label, command_prefix, binary, base, tree, cwd, argument=None):
    """Runs the tool on the tree twice (`argument` names the tree, relative to
    `cwd`, when given) and checks each run."""
    before = snapshot(tree.root)
    # The tool's own copy is left out: running it updates its access time.
    skip = (tree.root, os.path.dirname(os.fsencode(binary)))
    sentinel = snapshot(base, skip=skip)
    for first in (True, False):
        argument = argument or tree.root
        status, out, err = run_tool(command_prefix + [binary, argument], cwd)
        name = label + (" run 1" if first else " run 2")
        check_run(checks, name, tree, before, status, out, err, first, argument)
        check_outside(checks, name, base, tree.root, skip, sentinel)
        if os.environ.get("HOSTILE_VERBOSE"):
            for line in out.split(b"\n"):  # shown escaped: some names hold escape codes
                print("  %s| %s" % (name, show(line)))
        if first:
            for path, pic in tree.pictures.items():  # the second run starts from here
                if pic["expect"] == "done":
                    pic["data"] = pic["final"]
            before = snapshot(tree.root)
            text = out
        else:
            # A finished tree is left as it is. (A read-only picture's saving is
            # counted again, as the output is written before the replacement is refused.)
            checks.check(b"files rotated" not in out,
                         "%s: the second run changed something:\n%s" % (name, out.decode(
                             "utf-8", "replace")))
    return text


def make_outside(base):
    outside = os.path.join(base, b"outside")
    os.mkdir(outside)
    for name in (b"victim-stripped-plain", b"victim-stripped-turned", b"victim-r",
                 b"victim-hard"):
        with open(os.path.join(outside, name), "wb") as f:
            f.write(b"must stay as it is: " + name)
    with open(os.path.join(outside, b"outside-camera.jpg"), "wb") as f:
        f.write(camera(1, "out1"))
    with open(os.path.join(outside, b"outside-hard.jpg"), "wb") as f:
        f.write(camera(1, "out2"))
    return outside


def build_root_tree(base, outside):
    t = Tree(os.path.join(base, b"tree"))
    # Hostile names, each as a plain and as a turned picture, in the root and
    # in a folder whose own name is hostile.
    t.folder(HOSTILE_FOLDER)
    for i, name in enumerate(INJECTIONS + ODD_NAMES):
        t.picture(name, orientation=1 if i % 2 else 6)
        t.picture(os.path.join(HOSTILE_FOLDER, name), orientation=(3, 8, 1)[i % 3])
    # Non-camera files under injection names: left alone without a word.
    with open(t.path(b"$(touch pwned-other).jpg"), "wb") as f:
        f.write(os.urandom(4000))
    # Names too long to take ".stripped" or ".r": the picture stays as it is.
    long_name = b"L" * 251 + b".jpg"
    t.picture(long_name, expect="untouched")
    t.folder(b"long")
    t.picture(os.path.join(b"long", long_name), orientation=6, expect="untouched")

    # Temporary names planted beforehand: links out of the tree (one dangling),
    # a hard link out of the tree, a FIFO, a stale file, a folder.
    t.picture(b"planted-plain.jpg")
    os.symlink(os.path.join(outside, b"victim-stripped-plain"), t.path(b"planted-plain.jpg.stripped"))
    t.picture(b"planted-turned.jpg", orientation=8)
    os.symlink(os.path.join(outside, b"victim-r"), t.path(b"planted-turned.jpg.r"))
    os.symlink(os.path.join(outside, b"victim-stripped-turned"),
               t.path(b"planted-turned.jpg.stripped"))
    t.picture(b"planted-dangling.jpg", orientation=3)
    os.symlink(os.path.join(outside, b"not-there"), t.path(b"planted-dangling.jpg.r"))
    os.symlink(os.path.join(outside, b"not-there-either"), t.path(b"planted-dangling.jpg.stripped"))
    t.picture(b"planted-hard.jpg")
    os.link(os.path.join(outside, b"victim-hard"), t.path(b"planted-hard.jpg.stripped"))
    t.picture(b"planted-fifo.jpg", orientation=6)
    os.mkfifo(t.path(b"planted-fifo.jpg.r"))
    os.mkfifo(t.path(b"planted-fifo.jpg.stripped"))
    t.picture(b"planted-stale.jpg")
    with open(t.path(b"planted-stale.jpg.stripped"), "wb") as f:
        f.write(b"left by an earlier run")
    t.picture(b"planted-folder.jpg", expect="untouched")
    os.mkdir(t.path(b"planted-folder.jpg.stripped"))
    t.picture(b"planted-folder-turned.jpg", orientation=6, expect="untouched")
    os.mkdir(t.path(b"planted-folder-turned.jpg.r"))

    # Pictures that are links: to a picture outside (the link is replaced by
    # the finished picture; the file outside stays as it is) and to one inside.
    os.symlink(os.path.join(outside, b"outside-camera.jpg"), t.path(b"link-out.jpg"))
    t.picture(b"link-target.jpg")
    os.symlink(b"link-target.jpg", t.path(b"link-in.jpg"))
    # Hard links: two names in the tree, and one name shared with a file outside.
    pair = t.picture(b"hard-1.jpg")
    os.link(pair, t.path(b"hard-2.jpg"))
    t.pictures[t.path(b"hard-2.jpg")] = dict(t.pictures[pair])
    os.link(os.path.join(outside, b"outside-hard.jpg"), t.path(b"hard-out.jpg"))
    shared = common.read_quietly(t.path(b"hard-out.jpg"))
    t.pictures[t.path(b"hard-out.jpg")] = {
        "data": shared, "final": expected_bytes.expected_final(shared), "expect": "done", "line": True,
        "leftovers": (), "owner_kept": True}

    # A folder link loop, and links back to the tree's own root.
    t.folder(b"loop/inner")
    t.picture(b"loop/inner/deep.jpg", orientation=6)
    os.symlink(b"../..", t.path(b"loop/inner/up"))
    os.symlink(b".", t.path(b"loop/self"))
    os.symlink(t.root, t.path(b"loop/inner/root"))

    # Things named *.jpg that are not regular files.
    os.mkfifo(t.path(b"fifo.jpg"))
    os.mknod(t.path(b"null.jpg"), 0o644 | stat.S_IFCHR, os.makedev(1, 3))
    os.mknod(t.path(b"zero.jpg"), 0o644 | stat.S_IFCHR, os.makedev(1, 5))
    os.mknod(t.path(b"urandom.jpg"), 0o644 | stat.S_IFCHR, os.makedev(1, 9))
    os.mknod(t.path(b"block.jpg"), 0o600 | stat.S_IFBLK, os.makedev(7, 200))
    sock = socket.socket(socket.AF_UNIX)
    sock.bind(t.path(b"socket.jpg"))
    sock.close()
    t.folder(b"folder.jpg")
    t.picture(b"folder.jpg/inside.jpg", orientation=8)

    # Permission bits of every kind are kept; a read-only picture is never
    # replaced. Root reads what mode 000 forbids, so those are read-only ones.
    for mode in (0o640, 0o604, 0o664, 0o600, 0o6755):
        t.picture(b"mode-%o.jpg" % mode, orientation=6 if mode & 0o4000 else 1, mode=mode)
    t.picture(b"owned-by-nobody.jpg", orientation=3, owner=NOBODY)
    t.picture(b"locked.jpg", mode=0, expect="untouched", leftovers=(b".stripped",))
    t.picture(b"locked-turned.jpg", orientation=6, mode=0, expect="untouched",
              leftovers=(b".r",))
    t.picture(b"readonly.jpg", mode=0o444, expect="untouched", leftovers=(b".stripped",))
    t.folder(b"locked-folder")
    t.picture(b"locked-folder/in.jpg", orientation=6)
    os.chmod(t.path(b"locked-folder"), 0)

    # A folder deeper than the path limit: the walk cannot reach its picture.
    fd = os.open(t.root, os.O_RDONLY | os.O_DIRECTORY)
    for _ in range(18):
        os.mkdir(b"d" * 250, dir_fd=fd)
        nfd = os.open(b"d" * 250, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = nfd
    wfd = os.open(b"deep.jpg", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
    os.write(wfd, camera(6, "deep"))
    os.close(wfd)
    os.close(fd)
    return t


def build_user_tree(base):
    """A tree owned by the unprivileged user, with what such a user may not do."""
    t = Tree(os.path.join(base, b"user-tree"))
    for i, name in enumerate(INJECTIONS[:4] + ODD_NAMES[:3]):
        t.picture(name, orientation=6 if i % 2 else 1)
    t.picture(b"unreadable.jpg", mode=0, expect="untouched", line=False)
    t.picture(b"write-only.jpg", mode=0o200, expect="untouched", line=False)
    t.picture(b"readonly.jpg", mode=0o444, expect="untouched", leftovers=(b".stripped",))
    t.picture(b"readonly-turned.jpg", orientation=8, mode=0o444, expect="untouched",
              leftovers=(b".r",))
    t.folder(b"unreadable-folder")
    t.picture(b"unreadable-folder/in.jpg", expect="untouched", line=False)
    t.folder(b"readonly-folder")
    t.picture(b"readonly-folder/in.jpg", expect="untouched")
    t.picture(b"readonly-folder/in-turned.jpg", orientation=3, expect="untouched")
    # Someone else's pictures: unreadable is skipped; readable in a folder the
    # user may write is replaced under the user's ownership (documented).
    t.picture(b"foreign-private.jpg", mode=0o600, expect="untouched", line=False)
    t.picture(b"foreign.jpg", mode=0o644, owner_kept=False)
    # A sticky shared folder: another's picture there cannot be renamed over.
    t.folder(b"sticky")
    t.picture(b"sticky/other.jpg", mode=0o666, expect="untouched", leftovers=(b".stripped",))
    t.picture(b"sticky/other-turned.jpg", orientation=6, mode=0o666, expect="untouched",
              leftovers=(b".r",))
    for top, dirs, files in os.walk(t.root):
        for name in dirs + files:
            path = os.path.join(top, name)
            if not path.startswith(t.path(b"sticky")) and not os.path.basename(path).startswith(
                    b"foreign"):
                os.chown(path, NOBODY, NOBODY, follow_symlinks=False)
    os.chown(t.root, NOBODY, NOBODY)
    os.chmod(t.path(b"sticky"), 0o1777)
    os.chmod(t.path(b"unreadable-folder"), 0)
    os.chmod(t.path(b"readonly-folder"), 0o555)
    return t


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    binary = os.path.abspath(sys.argv[1])
    if os.geteuid() != 0:
        print("SKIP: the hostile trees need root (device nodes, other owners, setpriv)")
        return 77
    checks = Checks()
    base = os.fsencode(tempfile.mkdtemp(prefix="trimvane-hostile-"))
    try:
        os.chmod(base, 0o755)
        cwd = os.path.join(base, b"cwd")  # where $(touch pwned-...) would land
        os.mkdir(cwd)
        outside = make_outside(base)
        tree = build_root_tree(base, outside)
        out = run_twice(checks, "root", [], binary, base, tree, cwd)
        # The link out of the tree now holds the finished picture itself.
        link_out = tree.path(b"link-out.jpg")
        outside_picture = common.read_quietly(os.path.join(outside, b"outside-camera.jpg"))
        checks.check(not os.path.islink(link_out) and
                     common.read_quietly(link_out) == expected_bytes.expected_final(outside_picture),
                     "root: link-out.jpg is not the finished picture")
        link_in = tree.path(b"link-in.jpg")
        checks.check(os.path.islink(link_in) or
                     common.read_quietly(link_in) == tree.pictures[tree.path(b"link-target.jpg")]["final"],
                     "root: link-in.jpg is neither the link nor the finished picture")
        hard = [os.stat(tree.path(n)) for n in (b"hard-1.jpg", b"hard-2.jpg")]
        print("hard links after the run: %d and %d names, %s inode" % (
            hard[0].st_nlink, hard[1].st_nlink,
            "one" if hard[0].st_ino == hard[1].st_ino else "two separate"))
        for expected in (b"L" * 251 + b".jpg--> couldn't open output file",
                         b"planted-folder.jpg--> couldn't open output file",
                         b"locked.jpg (", b"-->Couldn't replace original file"):
            checks.check(expected in out, "root: no %r on the output" % expected)

        # A tree named on the command line by a relative name that begins with
        # '-': every path handed to jpegtran then begins with it too.
        dash = Tree(os.path.join(base, b"-dash"))
        dash.picture(b"turned.jpg", orientation=6)
        dash.picture(b"plain.jpg")
        run_twice(checks, "dash", [], binary, base, dash, base, argument=b"-dash")

        if shutil.which("setpriv") is None:
            print("SKIP unprivileged run: setpriv (util-linux) is missing")
        else:
            user_tree = build_user_tree(base)
            bin_dir = os.path.join(base, b"bin")
            os.mkdir(bin_dir)
            user_binary = os.path.join(bin_dir, b"trimvane")
            shutil.copy(binary, user_binary)
            os.chmod(bin_dir, 0o755)
            os.chmod(user_binary, 0o755)
            setpriv = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"]
            out = run_twice(checks, "nobody", setpriv, user_binary, base, user_tree, cwd)
            for expected in (b"in.jpg--> couldn't open output file",
                             b"in-turned.jpg--> rotate 180--> Error rotating image",
                             b"readonly.jpg (", b"other.jpg (",
                             b"other-turned.jpg--> rotate 90 -->Couldn't replace original file"):
                checks.check(expected in out, "nobody: no %r on the output" % expected)
            foreign = os.stat(user_tree.path(b"foreign.jpg"))
            print("foreign.jpg (root's, 0644, in the user's folder) is now owned by uid %d, "
                  "mode %o" % (foreign.st_uid, stat.S_IMODE(foreign.st_mode)))
    finally:
        for top, dirs, _files in os.walk(base):
            for name in dirs:
                try:
                    os.chmod(os.path.join(top, name), 0o755)
                except OSError:
                    pass
        shutil.rmtree(base, ignore_errors=True)
    print("hostile: %d passed, %d failed" % (checks.passed, len(checks.failed)))
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
