#!/usr/bin/env python3
"""Kill at random moments: the tool's whole process group (jpegtran with it)
gets SIGKILL at a moment drawn uniformly over the length of a clean run.
After each kill every picture must hold its original bytes, its final result
or, for a turned picture, the rotated picture with Orientation 1, with its
mode and modification time; a re-run must then bring every picture to its
final result and leave no temporary file. Prints one line of figures and
exits non-zero on any fault."""

import argparse
import os
import random
import shutil
import sys
import time

import common


def kill_at(folder, moment):
    """Runs the tool on `folder` and kills its group `moment` seconds after
    the start. Returns whether it was still running then."""
    started = time.monotonic()
    pid = common.spawn_tool(folder)
    common.sleep_until(started + moment)
    return common.kill_group(pid)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--kills", type=int, default=1000 if common.NIGHTLY else 100)
    ap.add_argument("--files", type=int, default=80 if common.NIGHTLY else 16)
    # A camera's size: each picture is read in several pieces.
    ap.add_argument("--size", default="2592x1728")
    ap.add_argument("--seed", type=int, default=int(time.time()))
    args = ap.parse_args()
    started = time.monotonic()
    work, pristine, made = common.pristine_tree(args)
    expected = common.Expected(pristine, made, work)
    turned = sum(1 for e in expected.pictures.values() if e["turn"])
    common.say("kill: %d files (%d turned), clean run %.2f s, %d kills, seed %d, in %s"
               % (len(made), turned, expected.duration, args.kills, args.seed, work))

    rnd = random.Random(args.seed)
    counts = dict(missing=0, half_written=0, metadata_changed=0, diverged=0, leftover_after_rerun=0)
    landed = dict(before_any_change=0, mid_run=0, after_end=0)
    kills_with_leftovers = 0
    faults = []
    tree = os.path.join(work, "run")
    for kill in range(args.kills):
        moment = rnd.uniform(0, expected.duration)
        shutil.rmtree(tree, ignore_errors=True)
        common.copy_tree(pristine, tree)
        running = kill_at(tree, moment)

        states = {}
        for rel in made:
            state = expected.state(tree, rel)
            states[rel] = state
            if state == common.MISSING:
                counts["missing"] += 1
            elif state in (common.EMPTY, common.DAMAGED):
                counts["half_written"] += 1
            elif not expected.metadata_kept(tree, rel):
                counts["metadata_changed"] += 1
            else:
                continue
            faults.append("kill %d at %.4f s: %s is %s" % (kill, moment, rel, state))
        changed = sum(1 for rel, s in states.items()
                      if s != common.ORIGINAL and expected.pictures[rel]["final"] !=
                      expected.pictures[rel]["original"])
        if not running:
            landed["after_end"] += 1
        elif changed == 0:
            landed["before_any_change"] += 1
        else:
            landed["mid_run"] += 1
        if common.leftovers(tree):
            kills_with_leftovers += 1

        status, _ = common.run_tool(tree)
        for rel in made:
            state = expected.state(tree, rel)
            if state != common.FINAL or not expected.metadata_kept(tree, rel):
                counts["diverged"] += 1
                faults.append("kill %d at %.4f s: after the re-run %s is %s (was %s)%s"
                              % (kill, moment, rel, state, states[rel],
                                 "" if state != common.FINAL else ", mode or time changed"))
        left = common.leftovers(tree)
        if left or status != 0:
            counts["leftover_after_rerun"] += len(left)
            faults.append("kill %d at %.4f s: re-run status %d, left %s"
                          % (kill, moment, status, left))

    for fault in faults[:40]:
        common.say("  " + fault)
    common.summary("kill", dict(kills=args.kills, **counts), time.monotonic() - started,
                   "; kills landed %s; %d kills left a .stripped or .r behind (all gone after "
                   "the re-run)" % (landed, kills_with_leftovers))
    return common.finish("kill", faults, args.seed, work)


if __name__ == "__main__":
    sys.exit(main())
