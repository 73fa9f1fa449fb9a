"""Runs a table of frame-writer cases against the built application: the scripts' one main."""
import os
import shutil
import subprocess
import sys


def run_table(cases, check, gstreamer_elements):
    """argv: KELVORA_MAKER WORK_FOLDER. Each case is checked in a fresh folder; 1 when any fails."""
    maker, folder = sys.argv[1], sys.argv[2]
    for element in gstreamer_elements:
        if subprocess.run(["gst-inspect-1.0", "--exists", element]).returncode != 0:
            print(f"GStreamer lacks {element} (gstreamer1.0-plugins-good, gstreamer1.0-libav)", file=sys.stderr)
            return 1
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    problems = []
    for case in cases:
        found = check(case, maker, folder)
        print(("FAIL " if found else "ok   ") + case[0], flush=True)
        problems += found
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0
