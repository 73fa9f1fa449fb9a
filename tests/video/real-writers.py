#!/usr/bin/python3
"""Frames written by the programs people use, made into videos by the built application.

Each row of the table names a writer, how it writes three frames (each with content of its
own; palette writers give each frame its own colour table where they do so by default), and
how the writer itself reads a BMP back. Every row is made into a video three times: as the
files store the frames, and compressed without loss by FFV1 and by PNG. The video must be
made, and ffmpeg must decode every frame to exactly the pixels the writer reads from its own
file. GStreamer must do the same for every compressed video (with gst-libav's decoders), and
for an uncompressed one at 8, 24 and 32 bits, except where frames carry different colour
tables (GStreamer's AVI reader does not apply palette changes).

usage: real-writers.py KELVORA_MAKER WORK_FOLDER
"""
import os
import subprocess
import sys

import cv2
import numpy
from PIL import Image

from case_table import run_table

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


def top_down(mode):
    """Pillow's frame with its rows stored top-down: the rows reversed, the height negated."""
    def write(seed, path):
        pillow(mode)(seed, path)
        with open(path, "rb") as f:
            data = bytearray(f.read())
        offset = int.from_bytes(data[10:14], "little")
        width, height = int.from_bytes(data[18:22], "little"), int.from_bytes(data[22:26], "little", signed=True)
        depth = int.from_bytes(data[28:30], "little")
        stride = (width * depth + 31) // 32 * 4
        rows = [data[offset + r * stride:offset + (r + 1) * stride] for r in range(height)]
        data[offset:offset + height * stride] = b"".join(reversed(rows))
        data[22:26] = (-height).to_bytes(4, "little", signed=True)
        with open(path, "wb") as f:
            f.write(data)
    return write


def rle4(seed, path):
    """A 16-colour frame stored as RLE4, with runs and literals, as Windows' own encoder writes."""
    image = Image.fromarray(picture(seed)).quantize(colors=16)
    indices = numpy.asarray(image)
    table = image.getpalette()[:48]
    body = bytearray()
    for number, row in enumerate(reversed(indices)):  # bottom-up
        x = 0
        while x < WIDTH:
            run_length = 1
            while x + run_length < WIDTH and run_length < 255 and row[x + run_length] == row[x]:
                run_length += 1
            if run_length >= 3 or WIDTH - x < 3:
                body += bytes([run_length, row[x] << 4 | row[x]])
                x += run_length
                continue
            count = min(WIDTH - x, 6)
            pixels = list(row[x:x + count]) + [0]
            data = bytes(pixels[i] << 4 | pixels[i + 1] for i in range(0, count, 2))
            body += bytes([0, count]) + data + (b"\0" if len(data) % 2 else b"")
            x += count
        body += b"\0\1" if number == HEIGHT - 1 else b"\0\0"  # the last row ends the picture
    colours = b"".join(bytes([table[3 * i + 2], table[3 * i + 1], table[3 * i], 0]) for i in range(16))
    offset = 14 + 40 + len(colours)
    header = (b"BM" + (offset + len(body)).to_bytes(4, "little") + bytes(4) + offset.to_bytes(4, "little") +
              (40).to_bytes(4, "little") + WIDTH.to_bytes(4, "little") + HEIGHT.to_bytes(4, "little") +
              (1).to_bytes(2, "little") + (4).to_bytes(2, "little") + (2).to_bytes(4, "little") +
              len(body).to_bytes(4, "little") + bytes(8) + (16).to_bytes(4, "little") + bytes(4))
    with open(path, "wb") as f:
        f.write(header + colours + body)
    with open(path + ".rgb", "wb") as f:  # what the frame shows, for read_own
        f.write(image.convert("RGB").tobytes())


def read_own(path):
    with open(path + ".rgb", "rb") as f:
        return f.read()


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
    ("rle4-own-tables", rle4, read_own, False),
    ("top-down-24", top_down("RGB"), read_pillow, True),
    ("top-down-8", top_down("P"), read_pillow, False),
    ("ffmpeg-24", ffmpeg_writer("bgr24"), read_ffmpeg, True),
    ("ffmpeg-32", ffmpeg_writer("bgra"), read_ffmpeg, True),
    ("ffmpeg-8", ffmpeg_writer("pal8"), read_ffmpeg, True),
    ("ffmpeg-16-555", ffmpeg_writer("rgb555le"), read_ffmpeg, False),
    ("ffmpeg-16-565", ffmpeg_writer("rgb565le"), read_ffmpeg, False),
]


def decode_ffmpeg(video):
    return run(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"])


CODECS = ["raw", "ffv1", "png"]


def decode_gstreamer(video, folder):
    raw = os.path.join(folder, "gst.rgbx")
    run(["gst-launch-1.0", "-q", "filesrc", f"location={video}", "!", "avidemux", "!", "decodebin", "!",
         "videoconvert", "!", "video/x-raw,format=RGBx", "!", "filesink", f"location={raw}"])
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
    expected = b"".join(read(path) for path in frames)
    if len(expected) != FRAMES * WIDTH * HEIGHT * 3:
        return [f"{name}: the writer's own reading has {len(expected)} bytes"]
    problems = []
    for codec in CODECS:
        video = os.path.join(work, f"{codec}.avi")
        made = subprocess.run([maker, "--output", video, "--fps", "5", "--codec", codec, *frames],
                              capture_output=True, text=True)
        label = f"{name} ({codec})"
        if made.returncode != 0:
            problems.append(f"{label}: no video (exit {made.returncode}): {made.stderr.strip()}")
            continue
        if decode_ffmpeg(video) != expected:
            problems.append(f"{label}: ffmpeg shows other pixels than the writer reads")
        if (gstreamer or codec != "raw") and decode_gstreamer(video, work) != expected:
            problems.append(f"{label}: GStreamer shows other pixels than the writer reads")
    return problems


def main():
    return run_table(CASES, check, ("avidemux", "avdec_ffv1", "pngdec"))


if __name__ == "__main__":
    sys.exit(main())
