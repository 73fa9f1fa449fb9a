#!/usr/bin/python3
"""Picture files a browser shows, saved by the built application, against headless Chromium's
drawing of the same files over the save's background (black).

- CMYK JPEGs (Adobe's inverted CMYK with its segment and without, YCCK) and a JPEG of RGB
  components, saved as PNG frames (the decoded picture's RGB, exactly): within 16 levels of
  Chromium's drawing of the file.
- PNGs with transparency (RGBA mostly transparent, 16-bit RGBA, an RGB key colour, a palette's
  transparent entries, a 4-bit grey key libavcodec alone decodes opaque): in MP4 within 30 dB
  PSNR of the drawing (the alpha once dropped: 8.7 dB), and those that can follow an opaque
  frame of their format, as that later frame of FFV1 and PNG videos, within 2 levels.

usage: browser-pictures.py KELVORA_MAKER WORK_FOLDER
"""
import functools
import os
import shutil
import struct
import subprocess
import sys
import zlib

import numpy
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from chromium_drawing import chromium, drawn_by_chromium  # noqa: E402

WIDTH, HEIGHT = 96, 64
CMYK_TOLERANCE = 16  # the bound; libavcodec's CMYK comes within 3 of Chromium's
BLEND_TOLERANCE = 2  # Chromium blends premultiplied colours: a level of rounding each way
MP4_PSNR = 30

def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, **kwargs).stdout


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def grey4_png(path, samples, key):
    """A grey PNG of 4 bits a sample, with a tRNS key when one is given."""
    rows = b"".join(b"\0" + bytes(int(a) << 4 | int(b) for a, b in zip(row[0::2], row[1::2])) for row in samples)
    extra = chunk(b"tRNS", struct.pack(">H", key)) if key is not None else b""
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 4, 0, 0, 0, 0)) + extra +
                chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def strip_adobe(source, target):
    """The JPEG without its APP14 "Adobe" segment."""
    data = open(source, "rb").read()
    out, at = bytearray(data[:2]), 2
    while data[at + 1] != 0xDA:
        length = int.from_bytes(data[at + 2:at + 4], "big")
        if data[at + 1] != 0xEE:
            out += data[at:at + 2 + length]
        at += 2 + length
    open(target, "wb").write(out + data[at:])


def make_pictures(folder):
    """name -> the opaque picture of its format it can follow in a video, or None."""
    y, x = numpy.mgrid[0:HEIGHT, 0:WIDTH]
    smooth = numpy.dstack([x * 255 // WIDTH, y * 255 // HEIGHT, (x + y) * 255 // (WIDTH + HEIGHT)]).astype(numpy.uint8)
    path = functools.partial(os.path.join, folder)
    Image.fromarray(smooth).save(path("source.ppm"))
    Image.fromarray(smooth).convert("CMYK").save(path("cmyk-adobe.jpg"), quality=95)
    strip_adobe(path("cmyk-adobe.jpg"), path("cmyk-plain.jpg"))
    run(["convert", path("source.ppm"), "-colorspace", "CMYK", "-quality", "95", path("ycck.jpg")])
    run(["cjpeg", "-rgb", "-quality", "95", "-outfile", path("rgb.jpg"), path("source.ppm")])
    # Mostly transparent (the last 0.2 % of pixels opaque), a soft alpha at 16 bits.
    alpha = numpy.zeros((HEIGHT, WIDTH), numpy.uint8)
    alpha[-1, -12:] = 255
    Image.fromarray(numpy.dstack([smooth, alpha])).save(path("mostly-transparent.png"))
    deep = numpy.dstack([smooth, (x * 255 // WIDTH).astype(numpy.uint8)]).astype(numpy.uint16) * 257
    run(["convert", "-size", f"{WIDTH}x{HEIGHT}", "-depth", "16", "rgba:-", f"PNG64:{path('rgba16.png')}"],
        input=deep.astype(">u2").tobytes())
    keyed = smooth.copy()
    keyed[10:40, 20:60] = (0, 255, 0)
    Image.fromarray(keyed[::-1]).save(path("opaque-rgb.png"))
    Image.fromarray(keyed).save(path("key-rgb.png"), transparency=(0, 255, 0))
    palette = Image.fromarray(keyed).quantize(16)
    palette.transpose(Image.FLIP_TOP_BOTTOM).save(path("opaque-palette.png"), bits=8)
    palette.save(path("alpha-palette.png"), bits=8, transparency=bytes(range(0, 256, 16)))
    grey = (x * 16 // WIDTH) % 16
    grey4_png(path("opaque-grey4.png"), grey[::-1], None)
    grey4_png(path("key-grey4.png"), grey, 5)
    os.remove(path("source.ppm"))
    return {"cmyk-adobe.jpg": None, "cmyk-plain.jpg": None, "ycck.jpg": None, "rgb.jpg": None,
            "mostly-transparent.png": None, "rgba16.png": None, "key-rgb.png": "opaque-rgb.png",
            "alpha-palette.png": "opaque-palette.png", "key-grey4.png": "opaque-grey4.png"}


def frames_of(video):
    raw = run(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-pix_fmt", "rgb24", "-f", "rawvideo", "-"])
    width, height = (int(n) for n in run(["ffprobe", "-v", "error", "-show_entries", "stream=width,height", "-of",
                                          "csv=p=0", video]).decode().split(","))
    return numpy.frombuffer(raw, numpy.uint8).reshape(-1, height, width, 3)[:, :HEIGHT, :WIDTH].astype(int)


def psnr(a, b):
    mse = numpy.mean((a - b) ** 2)
    return float("inf") if mse == 0 else 10 * numpy.log10(255 ** 2 / mse)


def main():
    maker, work = sys.argv[1], sys.argv[2]
    browser = chromium()
    if not browser:
        print("Chromium is not installed (Debian package chromium)", file=sys.stderr)
        return 1
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    pictures = make_pictures(work)
    drawn = drawn_by_chromium(browser, work, list(pictures))
    problems = []
    for name, opaque in pictures.items():
        path = os.path.join(work, name)
        if name.endswith(".jpg"):
            video = os.path.join(work, name + ".avi")
            run([maker, "-o", video, "--codec", "png", path])
            off = int(numpy.abs(frames_of(video)[0] - drawn[name]).max())
            print(f"{name}: PNG frames up to {off} levels from Chromium's drawing")
            if off > CMYK_TOLERANCE:
                problems.append(f"{name}: PNG frames {off} levels from Chromium's drawing")
            continue
        video = os.path.join(work, name + ".mp4")
        run([maker, "-o", video, path])
        shown = psnr(frames_of(video)[0], drawn[name])
        print(f"{name}: MP4 at {shown:.1f} dB from Chromium's drawing")
        if shown < MP4_PSNR:
            problems.append(f"{name}: MP4 at {shown:.1f} dB from Chromium's drawing (at least {MP4_PSNR})")
        if opaque is None:
            continue
        for codec in ("ffv1", "png"):
            video = os.path.join(work, f"{name}.{codec}.avi")
            run([maker, "-o", video, "--codec", codec, "--verify", os.path.join(work, opaque), path])
            off = int(numpy.abs(frames_of(video)[1] - drawn[name]).max())
            print(f"{name}: after an opaque frame, {codec} up to {off} levels from Chromium's drawing")
            if off > BLEND_TOLERANCE:
                problems.append(f"{name}: after an opaque frame, {codec} {off} levels from Chromium's drawing")
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
