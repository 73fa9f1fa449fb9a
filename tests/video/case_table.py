"""Runs a table of frame-writer cases against the built application: the scripts' one main."""
import os
import shutil
import subprocess
import sys


def run_table(cases, check, gstreamer_elements):
    """argv: KELVORA_MAKER WORK_FOLDER [SHARD/SHARDS]. Each case is checked in a fresh folder; 1 when
    any fails. With SHARD/SHARDS (1/3, 2/3, 3/3) only every SHARDS-th case from the SHARD-th on is
    checked, so ctest can run a long table in parts side by side."""
    maker, folder = sys.argv[1], sys.argv[2]
    shard, shards = (int(n) for n in sys.argv[3].split("/")) if len(sys.argv) > 3 else (1, 1)
    if not 1 <= shard <= shards:
        print(f"no shard {shard} of {shards}", file=sys.stderr)
        return 2
    for element in gstreamer_elements:
        if subprocess.run(["gst-inspect-1.0", "--exists", element]).returncode != 0:
            print(f"GStreamer lacks {element} (gstreamer1.0-plugins-good, gstreamer1.0-libav)", file=sys.stderr)
            return 1
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    problems = []
    for case in cases[shard - 1::shards]:
        found = check(case, maker, folder)
        print(("FAIL " if found else "ok   ") + case[0], flush=True)
        problems += found
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0
