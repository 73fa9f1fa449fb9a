#!/usr/bin/python3
"""Frames written by the programs people use, made into videos by the built application.

Each row of the table names a writer, how it writes three frames (each with content of its
own; palette writers give each frame its own colour table where they do so by default), and
how the writer itself reads a BMP back. The video must be made, and ffmpeg must decode every
frame to exactly the pixels the writer reads from its own file; at 8, 24 and 32 bits GStreamer
must do the same, except where frames carry different colour tables (GStreamer's AVI reader
does not apply palette changes).

usage: real-writers.py KELVORA_MAKER WORK_FOLDER
"""
import os
import shutil
import subprocess
import sys

import cv2
import numpy
from PIL import Image

WIDTH, HEIGHT = 17, 9  # odd, so every row of every depth is padded
FRAMES = 3


def picture(seed):
    """An RGB picture that differs per frame, with smooth areas and sharp edges."""
    y, x = numpy.mgrid[0:HEIGHT, 0:WIDTH]
    red = (x * 15 + seed * 40) % 256
    green = (y * 28 + seed * 70) % 256
    blue = ((x + y) * 9 + seed * 100) % 256
    return numpy.dstack([red, green, blue]).astype(numpy.uint8)


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, **kwargs).stdout


# Writers: each takes (seed, path) and writes one frame.
def opencv(grey):
    def write(seed, path):
        rgb = picture(seed)
        image = cv2.cvtColor(rgb, cv2.COLOR_RGB2GRAY) if grey else cv2.cvtColor(rgb, cv2.COLOR_RGB2BGR)
        assert cv2.imwrite(path, image)
    return write


def magick(*options, prefix=""):
    def write(seed, path):
        source = path + ".ppm"
        Image.fromarray(picture(seed)).save(source)
        run(["convert", source, *options, prefix + path])
        os.remove(source)
    return write


def pillow(mode):
    def write(seed, path):
        image = Image.fromarray(picture(seed))
        if mode == "P":  # each frame quantised on its own: a colour table of its own
            image = image.quantize(colors=64)
        elif mode == "P-shared":  # one fixed table for every frame
            image = image.convert("P", palette=Image.Palette.WEB)
        elif mode == "RGBA":
            image = image.convert("RGBA")
        elif mode != "RGB":
            image = image.convert(mode)
        image.save(path)
    return write


def ffmpeg_writer(pixel_format):
    def write(seed, path):
        run(["ffmpeg", "-nostdin", "-v", "error", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{WIDTH}x{HEIGHT}",
             "-i", "-", "-frames:v", "1", "-pix_fmt", pixel_format, "-y", path], input=picture(seed).tobytes())
    return write


# How each writer reads a BMP back: packed RGB rows, top to bottom.
def read_opencv(path):
    return cv2.cvtColor(cv2.imread(path, cv2.IMREAD_COLOR), cv2.COLOR_BGR2RGB).tobytes()


def read_magick(path):
    return run(["convert", path, "-depth", "8", "rgb:-"])


def read_pillow(path):
    return Image.open(path).convert("RGB").tobytes()


def read_ffmpeg(path):
    return run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"])


# name, writer, reader, GStreamer must show it
CASES = [
    ("opencv-24", opencv(False), read_opencv, True),
    ("opencv-8-grey", opencv(True), read_opencv, True),
    ("magick-24", magick("-type", "TrueColor"), read_magick, True),
    ("magick-8-own-tables", magick("-colors", "40", "-type", "Palette"), read_magick, False),
    ("magick-4-own-tables", magick("-colors", "12", "-type", "Palette"), read_magick, False),
    ("magick-32-alpha", magick("-alpha", "on"), read_magick, True),
    ("magick-bmp3-24", magick("-type", "TrueColor", prefix="BMP3:"), read_magick, True),
    ("magick-os2-24", magick("-type", "TrueColor", prefix="BMP2:"), read_magick, True),
    ("magick-os2-8", magick("-colors", "40", "-type", "Palette", prefix="BMP2:"), read_magick, False),
    ("pillow-24", pillow("RGB"), read_pillow, True),
    ("pillow-32", pillow("RGBA"), read_pillow, True),
    ("pillow-8-own-tables", pillow("P"), read_pillow, False),
    ("pillow-8-shared-table", pillow("P-shared"), read_pillow, True),
    ("pillow-8-grey", pillow("L"), read_pillow, True),
    ("pillow-1", pillow("1"), read_pillow, False),
    ("ffmpeg-24", ffmpeg_writer("bgr24"), read_ffmpeg, True),
    ("ffmpeg-32", ffmpeg_writer("bgra"), read_ffmpeg, True),
    ("ffmpeg-8", ffmpeg_writer("pal8"), read_ffmpeg, True),
    ("ffmpeg-16-555", ffmpeg_writer("rgb555le"), read_ffmpeg, False),
    ("ffmpeg-16-565", ffmpeg_writer("rgb565le"), read_ffmpeg, False),
]


def decode_ffmpeg(video):
    return run(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"])


def decode_gstreamer(video, folder):
    raw = os.path.join(folder, "gst.rgbx")
    run(["gst-launch-1.0", "-q", "filesrc", f"location={video}", "!", "avidemux", "!", "videoconvert", "!",
         "video/x-raw,format=RGBx", "!", "filesink", f"location={raw}"])
    with open(raw, "rb") as f:
        rgbx = numpy.frombuffer(f.read(), numpy.uint8)
    return rgbx.reshape(-1, 4)[:, :3].tobytes()  # RGBx rows carry no padding


def check(case, maker, folder):
    name, write, read, gstreamer = case
    work = os.path.join(folder, name)
    os.makedirs(work)
    frames = [os.path.join(work, f"frame {i}.bmp") for i in range(FRAMES)]
    for seed, path in enumerate(frames):
        write(seed, path)
    video = os.path.join(work, "video.avi")
    made = subprocess.run([maker, "--output", video, "--fps", "5", *frames], capture_output=True, text=True)
    if made.returncode != 0:
        return [f"{name}: no video (exit {made.returncode}): {made.stderr.strip()}"]
    expected = b"".join(read(path) for path in frames)
    if len(expected) != FRAMES * WIDTH * HEIGHT * 3:
        return [f"{name}: the writer's own reading has {len(expected)} bytes"]
    problems = []
    if decode_ffmpeg(video) != expected:
        problems.append(f"{name}: ffmpeg shows other pixels than the writer reads")
    if gstreamer and shutil.which("gst-launch-1.0") and decode_gstreamer(video, work) != expected:
        problems.append(f"{name}: GStreamer shows other pixels than the writer reads")
    return problems


def main():
    maker, folder = sys.argv[1], sys.argv[2]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    problems = []
    for case in CASES:
        found = check(case, maker, folder)
        print(("FAIL " if found else "ok   ") + case[0], flush=True)
        problems += found
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
