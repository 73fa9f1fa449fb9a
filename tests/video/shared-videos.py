#!/usr/bin/python3
"""Videos to share and to archive, made by the built application and read by real players.

MP4 (H.264): a table over depths, odd sizes and rates. Each video must say what it is
(High profile, 4:2:0, BT.709 limited range in the stream and in the container, the rate
exactly), hold every frame, and decode, in ffmpeg and in GStreamer, to pictures within a PSNR
floor of the frames' own colours.
Matroska (FFV1): exact to the last pixel by ffmpeg's framemd5, FFV1 version 3 with slice
CRCs, the rate exact.

usage: shared-videos.py KELVORA_MAKER WORK_FOLDER
"""
import hashlib
import json
import math
import os
import shutil
import subprocess
import sys
import time

import numpy
from PIL import Image

FRAMES = 12
# The PSNR floors, for ffmpeg's planes through an exact BT.709 conversion (the encoding itself)
# and for GStreamer's own conversion to RGB, which costs a few dB more. Smooth frames keep about
# 39 dB; frames of few levels (5-bit channels, palettes) have steps that cost some 5 dB. A
# matrix or range mix-up, or frames out of order, fall below 30 dB.
SMOOTH = {"ffmpeg": 38.0, "GStreamer": 35.0}
STEPPED = {"ffmpeg": 32.0, "GStreamer": 31.0}


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, **kwargs).stdout


def picture(width, height, seed):
    """Synthetic frames: smooth waves and gradients, and flat colour bars on even columns and
    rows (as 4:2:0 sees them) that move two pixels a frame."""
    y, x = numpy.mgrid[0:height, 0:width].astype(numpy.float64)
    red = 128 + 100 * numpy.sin(2 * numpy.pi * x / width + seed * 0.3)
    green = 128 + 100 * numpy.cos(2 * numpy.pi * y / height + seed * 0.2)
    blue = 20 + 200 * (x + y) / (width + height)
    rgb = numpy.dstack([red, green, blue]).round().astype(numpy.uint8)
    bars = [(255, 255, 255), (255, 255, 0), (0, 255, 255), (0, 255, 0), (255, 0, 255), (255, 0, 0), (0, 0, 255)]
    top = height // 3 // 2 * 2
    step = width // len(bars) // 2 * 2
    for i, colour in enumerate(bars):
        left = (i * step + 2 * seed) % (step * len(bars))
        rgb[:top, left:left + step] = colour
    return rgb


def write_frames(folder, width, height, pixel_format):
    """The frames as ffmpeg writes BMPs of `pixel_format` (palettes through Pillow, without
    dithering), and the colours each file shows."""
    os.makedirs(folder)
    shown = []
    for seed in range(FRAMES):
        path = os.path.join(folder, f"f{seed:03d}.bmp")
        rgb = picture(width, height, seed)
        if pixel_format in ("pal8", "monob"):
            image = Image.fromarray(rgb)
            if pixel_format == "pal8":
                image.quantize(colors=256, dither=Image.Dither.NONE).save(path)
            else:
                image.convert("L").point(lambda v: 255 if v > 140 else 0).convert("1").save(path)
        else:
            run(["ffmpeg", "-nostdin", "-v", "error", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{width}x{height}",
                 "-i", "-", "-pix_fmt", pixel_format, path], input=rgb.tobytes())
        shown.append(numpy.frombuffer(run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "rawvideo",
                                           "-pix_fmt", "rgb24", "-"]), numpy.uint8).reshape(height, width, 3))
    return shown


def psnr(a, b):
    mse = numpy.mean((a.astype(numpy.float64) - b.astype(numpy.float64)) ** 2)
    return math.inf if mse == 0 else 10 * math.log10(255 * 255 / mse)


def frames_of(raw, width, height, channels, coded_width, coded_height):
    size = coded_width * coded_height * channels
    count = len(raw) // size
    pictures = numpy.frombuffer(raw[:count * size], numpy.uint8).reshape(count, coded_height, coded_width, channels)
    return [p[:height, :width, :3] for p in pictures]


def decode_ffmpeg(video, width, height, coded_width, coded_height):
    """ffmpeg's decoder gives the planes; they become RGB by the matrix and range the stream
    is tagged with (ffmpeg 5.1's own conversion ignores the tags and rounds coarsely)."""
    stream = probe(video)
    assert (stream["color_space"], stream["color_range"]) == ("bt709", "tv"), stream
    raw = numpy.frombuffer(run(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-f", "rawvideo", "-pix_fmt",
                                "yuv420p", "-"]), numpy.uint8)
    luma = coded_width * coded_height
    size = luma * 3 // 2
    frames = []
    for start in range(0, len(raw) - size + 1, size):
        planes = raw[start:start + size].astype(numpy.float64)
        y = (planes[:luma].reshape(coded_height, coded_width) - 16) / 219
        half = (coded_height // 2, coded_width // 2)
        cb = (planes[luma:luma * 5 // 4].reshape(half) - 128) / 224
        cr = (planes[luma * 5 // 4:].reshape(half) - 128) / 224
        cb, cr = (c.repeat(2, 0).repeat(2, 1) for c in (cb, cr))
        red = y + 1.5748 * cr
        blue = y + 1.8556 * cb
        green = (y - 0.2126 * red - 0.0722 * blue) / 0.7152
        rgb = (numpy.dstack([red, green, blue]) * 255).round().clip(0, 255)
        frames.append(rgb[:height, :width])
    return frames


def decode_gstreamer(video, folder, width, height, coded_width, coded_height):
    raw = os.path.join(folder, "gst.rgbx")
    run(["gst-launch-1.0", "-q", "filesrc", f"location={video}", "!", "qtdemux", "!",
         "avdec_h264", "!", "videoconvert", "!", "video/x-raw,format=RGBx", "!", "filesink", f"location={raw}"])
    with open(raw, "rb") as f:
        return frames_of(f.read(), width, height, 4, coded_width, coded_height)


def probe(video):
    out = json.loads(run(["ffprobe", "-v", "error", "-show_streams", "-count_frames", "-of", "json", video]))
    return out["streams"][0]


# name, BMP pixel format, width, height, --fps, the rate ffprobe must show, PSNR floors
MP4_CASES = [
    ("24-bit 30000/1001", "bgr24", 160, 90, "30000/1001", "30000/1001", SMOOTH),
    ("32-bit odd 25", "bgra", 161, 91, "25", "25/1", SMOOTH),
    ("8-bit palette odd width", "pal8", 143, 80, "24000/1001", "24000/1001", STEPPED),
    ("16-bit 5-6-5 odd height", "rgb565le", 128, 73, "0.5", "1/2", SMOOTH),
    ("16-bit 5-5-5", "rgb555le", 96, 64, "60", "60/1", STEPPED),
    ("1-bit", "monob", 99, 61, "12", "12/1", SMOOTH),
]


def check_mp4(case, maker, work):
    name, pixel_format, width, height, fps, rate, floors = case
    folder = os.path.join(work, name.replace(" ", "_").replace("/", "_"))
    shown = write_frames(os.path.join(folder, "frames"), width, height, pixel_format)
    video = os.path.join(folder, "out.mp4")
    made = subprocess.run([maker, "-o", video, "--fps", fps, "--verify", os.path.join(folder, "frames")],
                          capture_output=True, text=True)
    if made.returncode != 0:
        return [f"{name}: exit {made.returncode}: {made.stderr.strip()}"]
    problems = []
    coded_width, coded_height = width + width % 2, height + height % 2
    if (width % 2 or height % 2) and "portati a" not in made.stderr:
        problems.append(f"{name}: the padding to even is not said: {made.stderr.strip()}")
    if "H.264, " not in made.stderr or " volte più " not in made.stderr:
        problems.append(f"{name}: the summary does not name codec, size and ratio: {made.stderr.strip()}")
    if "verificato" not in made.stderr or "PSNR minimo" not in made.stderr:
        problems.append(f"{name}: --verify does not measure the PSNR: {made.stderr.strip()}")
    # A floor no lossy frame reaches fails the check.
    strict = subprocess.run([maker, "--verify", video, "--min-psnr", "99", os.path.join(folder, "frames")],
                            capture_output=True, text=True)
    if strict.returncode != 4 or "sotto 99 dB" not in strict.stderr:
        problems.append(f"{name}: --min-psnr 99 gives {strict.returncode}: {strict.stderr.strip()}")
    stream = probe(video)
    expected = {"codec_name": "h264", "profile": "High", "pix_fmt": "yuv420p", "color_range": "tv",
                "color_space": "bt709", "color_transfer": "bt709", "color_primaries": "bt709",
                "width": coded_width, "height": coded_height, "r_frame_rate": rate, "avg_frame_rate": rate,
                "nb_read_frames": str(FRAMES)}
    for key, value in expected.items():
        if stream.get(key) != value:
            problems.append(f"{name}: {key} is {stream.get(key)!r}, not {value!r}")
    with open(video, "rb") as f:
        data = f.read()
    if b"colrnclx" not in data or b"avcC" not in data:
        problems.append(f"{name}: the container does not tag the colours (colr nclx) or lacks avcC")
    # Written fragmented, finished with its index first and the first frame at 0.
    if not 0 <= data.find(b"moov") < data.find(b"mdat") or b"moof" in data:
        problems.append(f"{name}: the finished MP4 does not have its one index first")
    start = json.loads(run(["ffprobe", "-v", "error", "-show_entries", "format=start_time", "-of", "json", video]))
    if float(start["format"]["start_time"]) != 0:
        problems.append(f"{name}: the first frame is shown at {start['format']['start_time']} s, not 0")
    for player, frames in (("ffmpeg", decode_ffmpeg(video, width, height, coded_width, coded_height)),
                           ("GStreamer", decode_gstreamer(video, folder, width, height, coded_width, coded_height))):
        if len(frames) != FRAMES:
            problems.append(f"{name}: {player} decodes {len(frames)} frames, not {FRAMES}")
            continue
        worst = min(psnr(a, b) for a, b in zip(frames, shown))
        print(f"{name}: {player} PSNR min {worst:.1f} dB")
        if worst < floors[player]:
            problems.append(f"{name}: {player} PSNR {worst:.1f} dB below {floors[player]}")
    return problems


def check_mkv(maker, work):
    """The archive's master: every frame exactly its file's pixels."""
    problems = []
    for pixel_format in ("bgr24", "pal8", "bgra"):
        folder = os.path.join(work, f"mkv-{pixel_format}")
        shown = write_frames(os.path.join(folder, "frames"), 37, 19, pixel_format)
        video = os.path.join(folder, "out.mkv")
        made = subprocess.run([maker, "-o", video, "--fps", "ntsc", "--verify", os.path.join(folder, "frames")],
                              capture_output=True, text=True)
        if made.returncode != 0 or "ogni fotogramma uguale al suo file" not in made.stderr:
            problems.append(f"mkv {pixel_format}: exit {made.returncode}: {made.stderr.strip()}")
            continue
        lines = run(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-pix_fmt", "rgb24", "-f", "framemd5", "-"],
                    text=True)
        hashes = [line.split(",")[-1].strip() for line in lines.splitlines() if not line.startswith("#")]
        expected = [hashlib.md5(picture.tobytes()).hexdigest() for picture in shown]
        if hashes != expected:
            problems.append(f"mkv {pixel_format}: ffmpeg's framemd5 differs from the frames' own")
        stream = probe(video)
        for key, value in {"codec_name": "ffv1", "r_frame_rate": "30000/1001",
                           "nb_read_frames": str(FRAMES)}.items():
            if stream.get(key) != value:
                problems.append(f"mkv {pixel_format}: {key} is {stream.get(key)!r}, not {value!r}")
        debug = subprocess.run(["ffmpeg", "-nostdin", "-v", "debug", "-debug", "pict", "-i", video, "-frames:v", "1", "-f", "null",
                                "-"], capture_output=True, text=True).stderr
        # A frame changed on disk afterwards is named, and the check fails.
        changed = os.path.join(folder, "frames", "f003.bmp")
        run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", os.path.join(folder, "frames", "f004.bmp"), changed])
        check = subprocess.run([maker, "--verify", video, os.path.join(folder, "frames")], capture_output=True,
                               text=True)
        if check.returncode != 4 or "fotogramma 4," not in check.stderr:
            problems.append(f"mkv {pixel_format}: a changed frame gives {check.returncode}: {check.stderr.strip()}")
        if "global: ver:3" not in debug or " ec:1" not in debug or " intra:1" not in debug:
            problems.append(f"mkv {pixel_format}: not FFV1 version 3, intra only, with slice CRCs")
    return problems


def check_killed(maker, work):
    """A save killed part-way leaves a file ffmpeg plays up to the frames written."""
    problems = []
    folder = os.path.join(work, "killed")
    frames = os.path.join(folder, "frames")
    os.makedirs(frames)
    # Grainy frames: slow to encode and large, so the kill comes while frames are being written.
    grain = numpy.random.default_rng(1)
    for i in range(200):
        noisy = picture(640, 360, i).astype(numpy.int16) + grain.integers(-40, 40, (360, 640, 3))
        Image.fromarray(noisy.clip(0, 255).astype(numpy.uint8)).save(os.path.join(frames, f"f{i:03d}.bmp"))
    for extension in ("mp4", "mkv"):
        save = subprocess.Popen([maker, "-o", os.path.join(folder, f"out.{extension}"), "--fps", "5", frames],
                                stderr=subprocess.DEVNULL)
        left = []
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and save.poll() is None:
            left = [os.path.join(folder, f) for f in os.listdir(folder) if f"out.{extension}" in f]
            if left and os.path.getsize(left[0]) > 1_000_000:
                break
            time.sleep(0.01)
        save.kill()
        save.wait()
        if not left or save.returncode != -9:
            problems.append(f"killed {extension}: the save ended before it was killed")
            continue
        probed = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_entries", "stream=nb_read_frames",
                                 "-of", "csv=p=0", left[0]], capture_output=True, text=True).stdout.strip()
        if not probed.isdigit() or int(probed) < 1:
            problems.append(f"killed {extension}: ffmpeg reads no frame of what was left ({probed!r})")
        else:
            print(f"killed {extension}: ffmpeg plays {probed} frames of what was left")
        for f in left:
            os.remove(f)
    return problems


def main():
    maker, work = sys.argv[1], sys.argv[2]
    for element in ("qtdemux", "avdec_h264", "videoconvert"):
        if subprocess.run(["gst-inspect-1.0", "--exists", element]).returncode != 0:
            print(f"GStreamer lacks {element} (gstreamer1.0-plugins-good, gstreamer1.0-libav)",
                  file=sys.stderr)
            return 1
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    problems = check_mkv(maker, work)
    problems += check_killed(maker, work)
    for case in MP4_CASES:
        problems += check_mp4(case, maker, work)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
