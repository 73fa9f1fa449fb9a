#!/usr/bin/python3
"""PNG and JPEG frames, made by Pillow, ImageMagick and OpenCV, saved by the built application.

Each row names a writer and how it writes three frames of one PNG colour type and depth or
one JPEG sampling. Every row is saved as the files store the frames (one MPNG or MJPG frame
a file) and compressed by FFV1 and PNG, each with --verify. Then, against the files' own
decoding:
- stored as they are, every chunk is its file byte for byte (ffmpeg's packet hashes), and
  ffmpeg and GStreamer decode every frame to exactly what they decode from the file;
- compressed, a PNG's frames decode in ffmpeg to exactly its pixels (16 bits, grey and alpha
  included) and in GStreamer to the same 8-bit colours (but for 16-bit colour in FFV1, which
  GStreamer 1.22's FFV1 decoder does not take: ffmpeg only); FFV1 of a JPEG decodes to exactly the
  planes libavcodec decodes from the JPEG, PNG of a JPEG to exactly the RGB
  ffmpeg makes of it.

usage: picture-frames.py KELVORA_MAKER WORK_FOLDER [SHARD/SHARDS]
"""
import hashlib
import io
import os
import subprocess
import sys

import cv2
import numpy
from PIL import Image

from case_table import run_table

WIDTH, HEIGHT = 33, 17  # odd: chroma and row padding at every edge
FRAMES = 3


def picture(seed, alpha=False):
    """An RGB(A) picture that differs per frame, with smooth areas and sharp edges."""
    y, x = numpy.mgrid[0:HEIGHT, 0:WIDTH]
    planes = [(x * 7 + seed * 40) % 256, (y * 15 + seed * 70) % 256, ((x + y) * 5 + seed * 100) % 256]
    if alpha:
        planes.append((x * 8 + y * 3 + seed * 20) % 256)
    return numpy.dstack(planes).astype(numpy.uint8)


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, timeout=120, **kwargs).stdout


def pillow(mode, **options):
    def write(seed, path):
        image = Image.fromarray(picture(seed, alpha=mode in ("RGBA", "LA")))
        if mode == "P":
            image = image.quantize(colors=200)
        elif mode == "I;16":
            image = Image.fromarray((numpy.asarray(image.convert("L"), numpy.uint16) * 257 + seed).astype("<u2"), "I;16")
        elif mode != image.mode:
            image = image.convert(mode)
        image.save(path, **options)
    return write


def magick(*options, prefix="", alpha=False):
    def write(seed, path):
        source = path + ".png"
        Image.fromarray(picture(seed, alpha)).save(source)
        run(["convert", source, *options, prefix + path])
        os.remove(source)
    return write


def opencv(sixteen=False, **_):
    def write(seed, path):
        image = cv2.cvtColor(picture(seed), cv2.COLOR_RGB2BGR)
        if sixteen:
            image = image.astype(numpy.uint16) * 257 + seed
        assert cv2.imwrite(path, image)
    return write


# name, writer, extension
CASES = [
    ("pillow-grey-1", pillow("1"), "png"),
    ("magick-grey-2", magick("-colorspace", "Gray", "-depth", "2", "-define", "png:color-type=0"), "png"),
    ("magick-grey-4", magick("-colorspace", "Gray", "-depth", "4", "-define", "png:color-type=0"), "png"),
    ("pillow-grey-8", pillow("L"), "png"),
    ("pillow-grey-16", pillow("I;16"), "png"),
    ("pillow-grey-alpha-8", pillow("LA"), "png"),
    ("magick-grey-alpha-16", magick("-colorspace", "Gray", "-depth", "16", "-define", "png:color-type=4",
                                    alpha=True), "png"),
    ("magick-palette-4", magick("-colors", "12", "-define", "png:bit-depth=4", prefix="PNG8:"), "png"),
    ("pillow-palette-8", pillow("P"), "png"),
    ("pillow-rgb-8", pillow("RGB"), "png"),
    ("opencv-rgb-16", opencv(sixteen=True), "png"),
    ("magick-rgb-16", magick("-depth", "16", prefix="PNG48:"), "png"),
    ("pillow-rgba-8", pillow("RGBA"), "png"),
    ("magick-rgba-16", magick("-depth", "16", prefix="PNG64:", alpha=True), "png"),
    ("pillow-jpeg-420", pillow("RGB", quality=90, subsampling=2), "jpg"),
    ("magick-jpeg-422", magick("-quality", "90", "-sampling-factor", "2x1"), "jpg"),
    ("pillow-jpeg-444", pillow("RGB", quality=90, subsampling=0), "jpg"),
    ("pillow-jpeg-grey", pillow("L", quality=90), "jpg"),
    # Stored as it is: ffmpeg and GStreamer decode a progressive JPEG in an MJPG AVI as the file.
    ("pillow-jpeg-progressive", pillow("RGB", quality=90, progressive=True), "jpg"),
    ("opencv-jpeg", opencv(), "jpg"),
]


def ffmpeg_raw(path, pixel_format=None):
    """The picture(s) of `path` as ffmpeg decodes them, in their own pixel format or the one named."""
    convert = ["-pix_fmt", pixel_format] if pixel_format else []
    return run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, *convert, "-f", "rawvideo", "-"])


def djpeg_rgb(path):
    """The JPEG's pixels as libjpeg-turbo's djpeg decodes them, 8-bit RGB rows."""
    return Image.open(io.BytesIO(run(["djpeg", "-pnm", path]))).convert("RGB").tobytes()


def remembered(decode):
    """`decode` of a frame file, run once per file and arguments: the three videos of a case are
    compared with the same decodes of its files, which do not change between them."""
    done = {}

    def once(*args):
        if args not in done:
            done[args] = decode(*args)
        return done[args]
    return once


files_ffmpeg_raw = remembered(ffmpeg_raw)


def packet_hashes(video):
    lines = run(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-c", "copy", "-f", "framemd5", "-"]).decode()
    return [line.split(",")[-1].strip() for line in lines.splitlines() if line and not line.startswith("#")]


def gstreamer_rgba(path, folder, demux):
    out = os.path.join(folder, "gst.rgba")
    head = ["avidemux", "!"] if demux else []
    run(["gst-launch-1.0", "-q", "filesrc", f"location={path}", "!", *head, "decodebin", "!", "videoconvert", "!",
         "video/x-raw,format=RGBA", "!", "filesink", f"location={out}"])
    with open(out, "rb") as f:
        return numpy.frombuffer(f.read(), numpy.uint8).astype(int)


files_gstreamer_rgba = remembered(gstreamer_rgba)


def channels(rgba, name):
    """The samples that count: alpha only where the frames have it (GStreamer leaves FFV1's unused byte at 0)."""
    return rgba if "alpha" in name or "rgba" in name else rgba.reshape(-1, 4)[:, :3]


def check(case, maker, folder):
    name, write, extension = case
    work = os.path.join(folder, name)
    os.makedirs(work)
    frames = [os.path.join(work, f"frame_{i}.{extension}") for i in range(FRAMES)]
    for seed, path in enumerate(frames):
        write(seed, path)
    jpeg = extension == "jpg"
    problems = []
    for codec in ("raw", "ffv1", "png"):
        label = f"{name} ({codec})"
        video = os.path.join(work, f"{codec}.avi")
        made = subprocess.run([maker, "-o", video, "--codec", codec, "--verify", *frames], capture_output=True,
                              text=True)
        if made.returncode != 0:
            problems.append(f"{label}: exit {made.returncode}: {made.stderr.strip()}")
            continue
        gst_files = numpy.concatenate([files_gstreamer_rgba(path, work, False) for path in frames])
        deep_colour = name.endswith("-16") and "grey-16" not in name
        gst_video = gst_files if codec == "ffv1" and deep_colour else gstreamer_rgba(video, work, True)
        if codec == "raw":
            files = [hashlib.md5(open(path, "rb").read()).hexdigest() for path in frames]
            if packet_hashes(video) != files:
                problems.append(f"{label}: the chunks are not the files' bytes")
            if ffmpeg_raw(video) != b"".join(files_ffmpeg_raw(path) for path in frames):
                problems.append(f"{label}: ffmpeg decodes other pixels than from the files")
            if not numpy.array_equal(gst_video, gst_files):
                problems.append(f"{label}: GStreamer decodes other pixels than from the files")
            continue
        if jpeg and codec == "ffv1":
            # An FFV1 AVI holds a JPEG in RGB as libjpeg-turbo (the browsers' decoder) decodes it,
            # djpeg's pixels exactly: AVI cannot say a JPEG's planes are full range.
            files = b"".join(djpeg_rgb(p) for p in frames)
            same = ffmpeg_raw(video, "rgb24") == files
        elif jpeg:  # in RGB as ffmpeg converts the JPEG's colours
            same = ffmpeg_raw(video, "rgb24") == b"".join(files_ffmpeg_raw(p, "rgb24") for p in frames)
        else:
            # 16-bit frames compared at 16 bits; 8-bit ones at 8 (libswscale widens grey to 16 bits
            # as 0x00ff, not 0xffff).
            common = "rgba64le" if name.endswith("-16") else "rgba"
            same = ffmpeg_raw(video, common) == b"".join(files_ffmpeg_raw(p, common) for p in frames)
        if not same:
            problems.append(f"{label}: ffmpeg decodes other pixels than from the files")
        # GStreamer: every frame, with the files' 8-bit colours where the codec keeps them (a JPEG
        # in FFV1 keeps its planes, which GStreamer takes as limited range: only counted).
        if gst_video.shape != gst_files.shape:
            problems.append(f"{label}: GStreamer decodes {gst_video.size} samples, the files {gst_files.size}")
        elif not jpeg and numpy.abs(channels(gst_video, name) - channels(gst_files, name)).max() > 1:
            problems.append(f"{label}: GStreamer decodes other colours than from the files")
    return problems


def main():
    return run_table(CASES, check, ("avidemux", "avdec_ffv1", "pngdec", "jpegdec"))


if __name__ == "__main__":
    sys.exit(main())
