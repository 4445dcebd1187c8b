"""Camera files and trees of them for the reliability suites and the fuzz
seeds, made by the test kit's camera_files program (tests/kit), which lays
them out as the unit tests' tests/support/camera_jpeg.cc does:

  FF D8                         start of image
  [JFIF APP0]                   only with jfif_first
  FF E1 <len> "Exif\\0\\0"        APP1, TIFF header at file offset 12 (no JFIF)
    "II*\\0" 08 00 00 00          or "MM\\0*" ... with big_endian
    IFD0: the Orientation entries asked for (value field of the first at
          file offset 30), then the Model entry; model text at offset 146
    the thumbnails: tiny FF D8 FF ... FF D9 sequences
  the picture's own segments    from a real cjpeg picture
  the trailing previews         small real JPEGs (the fourth FF D8 FF: the cut)

Bytes 20 to 31 of the 32-byte model field hold a tag unique to each file, so
that no two files of a tree are alike (the tool compares 16 bytes only).
"""

import os
import random
import subprocess
import tempfile

MODEL_OFFSET = 146
CAMERA_MODELS = ("EOS 300D DIGITAL", "EOS Kiss Digital", "EOS DIGITAL REBEL")
TURN_OPERATIONS = {3: "rotate 180", 6: "rotate 90", 8: "rotate 270"}

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# Built by run.sh (cmake --build build-rel --target camera_files).
CAMERA_FILES = os.environ.get("CAMERA_FILES",
                              os.path.join(ROOT, "build-rel", "tests", "kit", "camera_files"))
GRAIN = 8  # the suites' pictures have grain, so that they compress as a camera's do

_FLAGS = {"big_endian": "--big-endian", "jfif_first": "--jfif-first"}
_VALUES = {"model": "--model", "tag": "--tag", "exif_thumbnails": "--thumbnails",
           "trailing_previews": "--previews", "seed": "--seed", "grain": "--grain",
           "quality": "--quality", "thumbnail_place": "--thumbnail-place"}


def camera_arguments(o):
    """camera_files' arguments for the options of CameraJpegOptions (plus
    `tag` and `seed`), as keyword arguments."""
    args = ["--grain", str(GRAIN)]
    for key, value in o.items():
        if key in _FLAGS:
            args += [_FLAGS[key]] if value else []
        elif key in _VALUES:
            args += [_VALUES[key], str(value)]
        elif key == "thumbnail_size":
            args += ["--thumbnail-size", "%dx%d" % value]
        elif key == "orientations":
            args += ["--orientations", ",".join(str(v) for v in value)]
        elif key not in ("width", "height"):
            raise ValueError("no camera file option %s" % key)
    return args + ["--size", "%dx%d" % (o.get("width", 64), o.get("height", 48))]


def write_camera_files(files):
    """Writes {path: options} in one run of camera_files; returns {path:
    (length, cut)}, the cut being where the first appended preview begins."""
    lines = "".join("\t".join([path] + camera_arguments(o)) + "\n" for path, o in files.items())
    done = subprocess.run([CAMERA_FILES, "--batch"], input=lines.encode(), check=True,
                          stdout=subprocess.PIPE)
    made = {}
    for line in done.stdout.decode().splitlines():
        path, length, cut = line.rsplit(" ", 2)
        made[path] = (int(length), int(cut))
    return made


def make_camera_jpeg(**o):
    """The bytes of one camera file (see camera_arguments)."""
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "camera.jpg")
        write_camera_files({path: o})
        with open(path, "rb") as f:
            return f.read()


def turn_of(options):
    """The Orientation value the tool acts on (3, 6 or 8), or 0."""
    if options.get("big_endian") or options.get("jfif_first"):
        return 0
    for value in options.get("orientations", [1]):
        if value in TURN_OPERATIONS:
            return value
    return 0


def value_offset_of(options):
    """File offset of the Orientation value the tool resets."""
    turn = turn_of(options)
    return 30 + 12 * options.get("orientations", [1]).index(turn)


# The kinds of files a tree mixes, each with what the tool does to it.
KINDS = [
    dict(orientations=[1]),                              # cut
    dict(orientations=[6]),                              # rotated, written whole
    dict(orientations=[1], trailing_previews=0),         # no fourth sequence
    dict(orientations=[8]),                              # rotated, written whole
    dict(orientations=[3]),                              # rotated, written whole
    dict(orientations=[1, 6], model=CAMERA_MODELS[1]),   # rotated (second entry)
    dict(orientations=[6], big_endian=True),             # not turned: cut only
    dict(orientations=[1], model=CAMERA_MODELS[2], trailing_previews=2),  # cut
    dict(orientations=[6], jfif_first=True),             # not turned: cut only
    dict(orientations=[], model="EOS 10D"),              # not a camera file
]

MODES = [0o644, 0o600, 0o640, 0o664, 0o604]


def make_tree(root, count, width, height, seed=1, folders=("", "a", "a/b", "c"), sizes=None,
              grain=None):
    """Writes `count` files of the mixed kinds below `root`, spread over
    `folders`, each with its own mode, an old modification time and an access
    time days later. `sizes` ((width, height), taken in turn) and `grain`
    override the size and the kit's grain. Returns {relative path: options}."""
    rnd = random.Random(seed)
    made = {}
    for folder in folders:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    for n in range(count):
        options = dict(KINDS[n % len(KINDS)])
        width, height = sizes[n % len(sizes)] if sizes else (width, height)
        options.update(width=width, height=height, seed=n % 3, tag="#%04d" % n)
        if grain is not None:
            options["grain"] = grain
        made[os.path.join(folders[n % len(folders)], "IMG_%04d.JPG" % n)] = options
    write_camera_files({os.path.join(root, rel): o for rel, o in made.items()})
    for n, rel in enumerate(made):
        path = os.path.join(root, rel)
        os.chmod(path, MODES[rnd.randrange(len(MODES))])
        when = 1072915200 + n * 86400 + rnd.randrange(86400)
        seen = when + rnd.randrange(86400, 400 * 86400)
        os.utime(path, ns=(seen * 10**9 + 123456789, when * 10**9 + 987654321))
    return made
