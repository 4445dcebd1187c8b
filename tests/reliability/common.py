"""What the reliability suites share: the binary, the expected states of each
picture, and the checks that every picture is in one of them."""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import camera_tree

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
TOOL = os.environ.get("TRIMVANE", os.path.join(ROOT, "build-rel", "trimvane"))

NIGHTLY = os.environ.get("RELIABILITY_MODE", "quick") == "nightly"
SKIPPED = 77  # exit status of a suite this machine cannot run

ORIGINAL, INTERMEDIATE, FINAL = "original", "intermediate", "final"
MISSING, EMPTY, DAMAGED = "missing", "empty", "damaged"
LEFTOVER_ENDINGS = (".stripped", ".r")


def say(*words):
    print(*words, flush=True)


def scratch_root():
    """Where the suites make their trees: memory when it can, so that the
    figures measure the tool and not the disk."""
    for candidate in (os.environ.get("RELIABILITY_TMP"), "/dev/shm"):
        if candidate and os.path.isdir(candidate) and os.access(candidate, os.W_OK):
            return tempfile.mkdtemp(prefix="trimvane-rel-", dir=candidate)
    return tempfile.mkdtemp(prefix="trimvane-rel-")


def pristine_tree(args):
    """Starts a suite that works on a tree of args.files pictures of
    args.size: becomes the subreaper, makes the scratch folder and the tree.
    Returns (scratch folder, tree, {relative path: options})."""
    width, height = (int(v) for v in args.size.split("x"))
    become_subreaper()
    work = scratch_root()
    tree = os.path.join(work, "pristine")
    return work, tree, camera_tree.make_tree(tree, args.files, width, height, seed=args.seed)


def sh(*argv, check=True):
    """Runs a command, its output captured; raises RuntimeError with that
    output when it fails and `check` is set."""
    done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if check and done.returncode != 0:
        raise RuntimeError("%s: %s" % (" ".join(argv), done.stdout.decode(errors="replace")))
    return done


def install_packages(*packages):
    """Installs the Debian packages that are missing (scripts/install-deps.sh);
    returns whether they are all there."""
    script = os.path.join(ROOT, "scripts", "install-deps.sh")
    return subprocess.run([script] + list(packages), stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def copy_tree(src, dst):
    """A copy keeping modes and times to the nanosecond."""
    subprocess.run(["cp", "-a", src, dst], check=True)


def run_tool(folder, timeout=120, env=None, prefix=()):
    """Runs the tool to its end; returns (status, stdout text)."""
    done = subprocess.run(list(prefix) + [TOOL, folder], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout, env=env)
    return done.returncode, done.stdout.decode("utf-8", "replace")


def become_subreaper():
    """jpegtran, orphaned when the tool is killed, comes back to this process
    to be reaped, so that a check starts only once the whole group is gone."""
    pr_set_child_subreaper = 36
    ctypes.CDLL(None, use_errno=True).prctl(pr_set_child_subreaper, 1, 0, 0, 0)


def spawn_tool(folder, env=None):
    """Starts the tool on `folder` as the leader of a new process group
    (jpegtran joins it), its output thrown away; returns its pid."""
    quiet = [(os.POSIX_SPAWN_OPEN, fd, os.devnull, os.O_WRONLY, 0) for fd in (1, 2)]
    return os.posix_spawn(TOOL, [TOOL, folder], os.environ if env is None else env,
                          setsid=True, file_actions=quiet)


def sleep_until(moment):
    left = moment - time.monotonic()
    if left > 0:
        time.sleep(left)


def kill_group(pid):
    """SIGKILLs the group led by `pid` and reaps all of it. Returns whether
    the tool was still running."""
    running = os.waitpid(pid, os.WNOHANG)[0] == 0
    try:
        os.killpg(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    while True:
        try:
            os.waitpid(-pid, 0)
        except ChildProcessError:
            return running


def read(path):
    with open(path, "rb") as f:
        return f.read()


def rotated_intermediate(path, options, work):
    """What the rotation puts in the picture's place before the cut: jpegtran's
    rotation of the original with its Orientation value set to 1."""
    out = os.path.join(work, "rotated.jpg")
    operation = camera_tree.TURN_OPERATIONS[camera_tree.turn_of(options)].split()
    subprocess.run(["jpegtran", "-" + operation[0], operation[1], "-copy", "all", "-outfile",
                    out, path], check=True)
    data = bytearray(read(out))
    at = camera_tree.value_offset_of(options)
    data[at : at + 4] = b"\x01\x00\x00\x00"
    return bytes(data)


class Expected:
    """Every picture of a pristine tree with the states it may be in: its
    original bytes, mode and modification time, the rotated intermediate of a
    turned picture, and the final result of one clean run on a copy."""

    def __init__(self, pristine, made, work):
        self.pristine = pristine
        self.made = made
        self.pictures = {}
        for rel, options in made.items():
            path = os.path.join(pristine, rel)
            st = os.stat(path)
            camera = options.get("model", camera_tree.CAMERA_MODELS[0]) in camera_tree.CAMERA_MODELS
            entry = dict(original=read(path), mode=st.st_mode & 0o7777, mtime=st.st_mtime_ns,
                         options=options, camera=camera,
                         turn=camera_tree.turn_of(options) if camera else 0)
            if entry["turn"]:
                entry["intermediate"] = rotated_intermediate(path, options, work)
            self.pictures[rel] = entry
        # The run's length is the middle one of three clean runs: the first
        # one pays for cold caches.
        clean = os.path.join(work, "clean")
        lengths = []
        for _ in range(3):
            shutil.rmtree(clean, ignore_errors=True)
            copy_tree(pristine, clean)
            started = time.monotonic()
            status, out = run_tool(clean)
            lengths.append(time.monotonic() - started)
            if status != 0:
                sys.exit("the clean run ended with status %d" % status)
        self.duration = sorted(lengths)[1]
        self.clean_output = out
        for rel, entry in self.pictures.items():
            entry["final"] = read(os.path.join(clean, rel))
            entry["clean_line"] = line_of(out, os.path.join(clean, rel))
        left = leftovers(clean)
        if left:
            sys.exit("the clean run left %s" % left)
        shutil.rmtree(clean)

    def state(self, root, rel):
        """The state a picture is in below `root`."""
        entry = self.pictures[rel]
        path = os.path.join(root, rel)
        try:
            data = read(path)
        except FileNotFoundError:
            return MISSING
        if data == entry["final"]:
            return FINAL
        if data == entry["original"]:
            return ORIGINAL
        if data == entry.get("intermediate"):
            return INTERMEDIATE
        return EMPTY if not data else DAMAGED

    def metadata_kept(self, root, rel):
        """Whether the picture still has its mode and modification time."""
        return metadata_kept(os.path.join(root, rel), self.pictures[rel])


def metadata_kept(path, entry):
    st = os.stat(path)
    return st.st_mode & 0o7777 == entry["mode"] and st.st_mtime_ns == entry["mtime"]


def leftovers(root):
    """Temporary files ('.stripped', '.r') below `root`, as relative paths."""
    found = []
    for folder, _, names in os.walk(root):
        for name in names:
            if name.endswith(LEFTOVER_ENDINGS):
                found.append(os.path.relpath(os.path.join(folder, name), root))
    return sorted(found)


def line_of(output, path):
    """The tool's line for one picture, or None when it printed none."""
    for line in output.split("\n"):
        if line == path or (line.startswith(path) and line[len(path)] in " -"):
            return line
        if line == " -->Error processing " + path:
            return line
    return None


def allowed_outcomes(entry, path):
    """The (line, picture contents, leftovers) triples the tool's rules allow
    for one picture. Leftovers map an ending to the contents it may hold
    (None: anything); all must be there except those marked '?'."""
    original, final = entry["original"], entry["final"]
    if not entry["camera"]:
        return [(None, {original}, {})]
    # A picture that could not be read, or whose folder ended at one that
    # could not be, is left as it was.
    unread = [(" -->Error processing " + path, {original}, {}), (None, {original}, {})]
    saved = len(original) - len(final)
    saving = " (%d)" % saved if saved > 0 else ""
    replace_failed = " -->Couldn't replace original file"
    no_output = "--> couldn't open output file"
    if not entry["turn"]:
        if final == original:  # no fourth sequence
            return unread + [(path + " -->preview image not found", {original}, {}),
                             (path + no_output, {original}, {})]
        return unread + with_unsynced_folder([
            (path + saving, {final}, {}),
            (path, {original}, {}),
            (path + no_output, {original}, {}),
            (path + saving + replace_failed, {original}, {".stripped": final}),
            (path + replace_failed, {original}, {".stripped": final})])
    rotated = entry["intermediate"]
    head = path + "--> " + camera_tree.TURN_OPERATIONS[entry["turn"]]
    return unread + with_unsynced_folder([
        (head + saving, {final}, {}),
        (head + "--> Error rotating image", {original}, {".r?": None}),
        (head + replace_failed, {original}, {".r": rotated}),
        (head, {rotated}, {}),
        (head + no_output + saving, {final}, {}),
        (head + no_output, {rotated}, {}),
        (head + saving + replace_failed, {rotated}, {".stripped": final}),
        (head + replace_failed, {rotated}, {".stripped": final}),
        (head + no_output + saving + replace_failed, {rotated}, {".stripped": final}),
        (head + no_output + replace_failed, {rotated}, {".stripped": final})])


def with_unsynced_folder(outcomes):
    """The outcomes, and each of them with the line saying that the folder
    could not be synced once the picture (or its turn) took its new name."""
    return outcomes + [(line + " -->Couldn't sync folder", contents, leftovers)
                       for line, contents, leftovers in outcomes]


def check_outcome(tree, rel, entry, line):
    """Faults found for one picture after a run whose line for it was
    `line` (None: none printed), as text."""
    path = os.path.join(tree, rel)
    data = read(path) if os.path.exists(path) else None
    present = {}
    for ending in (".stripped", ".r"):
        if os.path.exists(path + ending):
            present[ending] = read(path + ending)
    for want_line, contents, leftovers in allowed_outcomes(entry, path):
        if line != want_line:
            continue
        if data not in contents:
            continue
        wanted = {k.rstrip("?"): v for k, v in leftovers.items()}
        required = {k for k in leftovers if not k.endswith("?")}
        if set(present) - set(wanted) or required - set(present):
            continue
        if any(wanted[k] is not None and present[k] != wanted[k] for k in present):
            continue
        if not metadata_kept(path, entry):
            return ["%s: mode or modification time changed (line %r)" % (rel, line)]
        return []
    state = "missing" if data is None else ("original" if data == entry["original"] else
                                            "final" if data == entry["final"] else
                                            "intermediate" if data == entry.get("intermediate")
                                            else "damaged (%d bytes)" % len(data))
    return ["%s: line %r with the picture %s and leftovers %s"
            % (rel, line, state, sorted(present))]


def read_quietly(path):
    """A file's bytes, read without following a link or touching its access
    time."""
    fd = os.open(path, os.O_RDONLY | os.O_NOFOLLOW | os.O_NOATIME)
    try:
        chunks = []
        while True:
            chunk = os.read(fd, 1 << 20)
            if not chunk:
                return b"".join(chunks)
            chunks.append(chunk)
    finally:
        os.close(fd)


def finish(name, failed, seed, kept):
    """The suite's exit status: on failure, where its trees were kept; else
    those trees are removed."""
    if failed:
        say("%s: FAILED (seed %d; kept in %s)" % (name, seed, kept))
        return 1
    shutil.rmtree(kept)
    return 0


def summary(name, counts, seconds, extra=""):
    """One line of figures that run.sh and RELIABILITY.md quote."""
    parts = ", ".join("%s %d" % (k, v) for k, v in counts.items())
    say("%s: %s; %.0f s%s" % (name, parts, seconds, extra))
