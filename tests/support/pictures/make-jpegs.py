#!/usr/bin/python3
"""Writes JPEGs of noise at each size given, in every sampling and colour form a JPEG comes in,
into FOLDER: WxH-SAMPLING.jpg. cjpeg makes the samplings (4:4:4, 4:2:2, 4:2:0, 4:1:1, 4:4:0,
4:1:0), grey and RGB components; Pillow CMYK (with its Adobe segment), ImageMagick YCCK.

usage: make-jpegs.py FOLDER [--forms FORM,...] WxH...
"""
import concurrent.futures
import os
import subprocess
import sys

import numpy
from PIL import Image

SAMPLINGS = {"444": "1x1", "422": "2x1", "420": "2x2", "411": "4x1", "440": "1x2", "410": "4x2"}
FORMS = list(SAMPLINGS) + ["grey", "rgb", "cmyk", "ycck"]


def write(folder, width, height, forms):
    noise = numpy.random.default_rng(width * 7919 + height).integers(0, 256, (height, width, 3), numpy.uint8)
    source = os.path.join(folder, f"{width}x{height}.ppm")
    Image.fromarray(noise).save(source)
    commands = []
    for form in forms:
        out = os.path.join(folder, f"{width}x{height}-{form}.jpg")
        if form in SAMPLINGS:
            command = ["cjpeg", "-quality", "90", "-sample", SAMPLINGS[form], "-outfile", out, source]
        elif form == "grey":
            command = ["cjpeg", "-quality", "90", "-grayscale", "-outfile", out, source]
        elif form == "rgb":
            command = ["cjpeg", "-quality", "90", "-rgb", "-outfile", out, source]
        elif form == "cmyk":
            Image.fromarray(noise).convert("CMYK").save(out, quality=90)
            continue
        else:
            command = ["convert", source, "-colorspace", "CMYK", "-quality", "90", out]
        commands.append(command)
    return source, commands


def main():
    folder, args = sys.argv[1], sys.argv[2:]
    forms = FORMS
    if args and args[0] == "--forms":
        forms, args = args[1].split(","), args[2:]
    os.makedirs(folder, exist_ok=True)
    sources, commands = [], []
    for size in args:
        width, height = (int(n) for n in size.split("x"))
        source, more = write(folder, width, height, forms)
        sources.append(source)
        commands += more
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        for done in pool.map(lambda command: subprocess.run(command, check=True), commands):
            pass
    for source in sources:
        os.remove(source)


if __name__ == "__main__":
    main()
