#!/usr/bin/python3
"""PSNR of an H.264 video (BT.709, limited range, 4:2:0) against the BMPs of a folder, in order:
the worst frame and the mean, "min/mean" in dB. The decoded planes become RGB by the exact
BT.709 formulas (chroma repeated over its 2 x 2 block), not by a player's conversion.
usage: psnr.py VIDEO FOLDER"""
import math
import os
import subprocess
import sys

import numpy


def main():
    video, folder = sys.argv[1], sys.argv[2]
    files = sorted(f for f in os.listdir(folder) if f.endswith(".bmp"))
    first = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=width,height", "-of", "csv=p=0",
                            os.path.join(folder, files[0])], check=True, capture_output=True, text=True).stdout
    width, height = (int(v) for v in first.strip().split(","))
    cw, ch = width + width % 2, height + height % 2
    decoder = subprocess.Popen(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-f", "rawvideo", "-pix_fmt",
                                "yuv420p", "-"], stdout=subprocess.PIPE)
    luma = cw * ch
    values = []
    for name in files:
        planes = numpy.frombuffer(decoder.stdout.read(luma * 3 // 2), numpy.uint8).astype(numpy.float64)
        y = (planes[:luma].reshape(ch, cw) - 16) / 219
        cb = ((planes[luma:luma * 5 // 4].reshape(ch // 2, cw // 2) - 128) / 224).repeat(2, 0).repeat(2, 1)
        cr = ((planes[luma * 5 // 4:].reshape(ch // 2, cw // 2) - 128) / 224).repeat(2, 0).repeat(2, 1)
        r, b = y + 1.5748 * cr, y + 1.8556 * cb
        g = (y - 0.2126 * r - 0.0722 * b) / 0.7152
        got = (numpy.dstack([r, g, b]) * 255).round().clip(0, 255)[:height, :width]
        want = numpy.frombuffer(subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", os.path.join(folder, name),
                                                "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], check=True,
                                               capture_output=True).stdout, numpy.uint8).reshape(height, width, 3)
        mse = numpy.mean((got - want) ** 2)
        values.append(99.0 if mse == 0 else 10 * math.log10(255 * 255 / mse))
    decoder.stdout.close()
    decoder.wait()
    print(f"{min(values):.2f}/{sum(values) / len(values):.2f}")


if __name__ == "__main__":
    main()
