#!/usr/bin/python3
"""A slideshow's fades, made by the built application and read by ffmpeg.

Three pictures with --crossfade, --fade-in and --fade-out (and music) in Matroska FFV1, an FFV1
AVI and MP4: the crossfade's middle frame, decoded by ffmpeg, against a mix in linear light
computed here (equal in FFV1, by PSNR in H.264, nearer the mix than either picture); the fade in's frames
darker than the picture, each as computed; the length the same as without fades (ffprobe).
--verify with the same options passes the faded videos and fails one made without the fades
and one whose crossfade frame was drawn over (exit 4).

usage: fades.py KELVORA_MAKER WORK_FOLDER
"""
import math
import os
import shutil
import subprocess
import sys
import wave

import numpy
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from slideshows import HEIGHT, RATE, WIDTH, frames_shown, psnr, run  # noqa: E402

DURATIONS = ["1", "1.2", "0.8"]
# At 25 a second: 9 frames of crossfade (its middle one half and half), 5 of fade in and out.
CROSSFADE, FADE_IN, FADE_OUT = "0.36", "0.2", "0.2"
FADES = ["--crossfade", CROSSFADE, "--fade-in", FADE_IN, "--fade-out", FADE_OUT]


def pictures(folder):
    """Three pictures of gradients, every value in each channel, as PNGs; the RGB of each."""
    x = numpy.linspace(0, 255, WIDTH)[None, :].repeat(HEIGHT, 0)
    y = numpy.linspace(0, 255, HEIGHT)[:, None].repeat(WIDTH, 1)
    made = [numpy.stack([x, y, 255 - x], 2), numpy.stack([255 - y, (x + y) / 2, y], 2),
            numpy.stack([(x * 3) % 256, 255 - x, (y * 2) % 256], 2)]
    names, shown = [], []
    for i, rgb in enumerate(made):
        rgb = numpy.round(rgb).astype(numpy.uint8)
        names.append(f"p{i}.png")
        Image.fromarray(rgb).save(os.path.join(folder, names[-1]))
        shown.append(rgb)
    lines = ["ffconcat version 1.0"]
    for name, duration in zip(names, DURATIONS):
        lines += [f"file '{name}'", f"duration {duration}"]
    with open(os.path.join(folder, "show.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    return shown


def music(path, seconds=3):
    t = numpy.arange(int(seconds * 48000)) / 48000
    chord = numpy.stack([0.4 * numpy.sin(2 * math.pi * 440 * t), 0.3 * numpy.sin(2 * math.pi * 660 * t)], 1)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(48000)
        w.writeframes(numpy.round(chord * 32767).astype("<i2").tobytes())


def linear(v):
    e = v.astype(numpy.float64) / 255
    return numpy.where(e <= 0.04045, e / 12.92, ((e + 0.055) / 1.055) ** 2.4)


def srgb(light):
    light = numpy.clip(light, 0, 1)
    e = numpy.where(light <= 0.0031308, light * 12.92, 1.055 * light ** (1 / 2.4) - 0.055)
    return numpy.floor(e * 255 + 0.5).astype(numpy.uint8)


def mix(a, b, weight):
    """`b` over `a` by `weight`, in linear light; `b` None: against black."""
    return srgb((1 - weight) * linear(a) + weight * (linear(b) if b is not None else 0))


def duration(video):
    return float(run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", video]))


def save(maker, folder, name, fades=FADES):
    video = os.path.join(folder, name)
    run([maker, "--concat", os.path.join(folder, "show.txt"), "--audio", os.path.join(folder, "music.wav"), *fades,
         "-o", video, "-y"])
    return video


def verify(maker, folder, video):
    return subprocess.run([maker, "--verify", video, "--concat", os.path.join(folder, "show.txt"), "--audio",
                           os.path.join(folder, "music.wav"), *FADES], capture_output=True, text=True)


def main():
    maker, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    shown = pictures(work)
    music(os.path.join(work, "music.wav"))
    problems = []
    # Picture 0 lasts frames 0-24: fading in over 0-4, held 5-15, blending into picture 1 over 16-24.
    middle, half = 20, mix(shown[0], shown[1], 0.5)
    plain = save(maker, work, "plain.mkv", [])
    for extension in ("mkv", "avi", "mp4"):
        video = save(maker, work, f"faded.{extension}", FADES + (["--codec", "ffv1"] if extension == "avi" else []))
        frames = frames_shown(video)
        if len(frames) != 75:
            problems.append(f"{extension}: {len(frames)} frames shown, not 75")
            continue
        if extension != "mp4":
            off = int(numpy.count_nonzero(frames[middle] != half))
            print(f"{extension}: crossfade's middle frame, values off the mix computed here: {off} of {half.size}")
            if off != 0 or not numpy.array_equal(frames[10], shown[0]):
                problems.append(f"{extension}: the crossfade's middle frame is not the mix in linear light ({off} values off)")
            for k in range(5):
                want = mix(shown[0], None, 1 - k / 5)
                if not numpy.array_equal(frames[k], want) or not frames[k].mean() < shown[0].mean():
                    problems.append(f"{extension}: fade in frame {k} is not the picture at {k}/5 of its light, darker")
            if frames[0].max() != 0 or frames[-1].max() != 0:
                problems.append(f"{extension}: the fade in does not start black, or the fade out does not end black")
        else:
            near = psnr(frames[middle], half)
            alone = max(psnr(frames[middle], shown[0]), psnr(frames[middle], shown[1]))
            stored = psnr(frames[middle], ((shown[0].astype(int) + shown[1]) // 2).astype(numpy.uint8))
            print(f"mp4: crossfade's middle frame, PSNR against the mix in linear light {near:.1f} dB, against "
                  f"either picture alone at most {alone:.1f} dB, against a mix of the stored values {stored:.1f} dB")
            if near < 35 or near < alone + 10 or near < stored + 5:
                problems.append(f"mp4: the crossfade's middle frame is {near:.1f} dB from the mix")
        length, without = duration(video), duration(plain)
        if abs(length - 3.0) > 0.001 or abs(without - 3.0) > 0.001:
            problems.append(f"{extension}: lasts {length} s with fades, {without} s without, not 3 s")
        checked = verify(maker, work, video)
        if checked.returncode != 0:
            problems.append(f"verify {extension}: exit {checked.returncode}: {checked.stderr.strip()}")
    checked = verify(maker, work, plain)
    if checked.returncode != 4 or "dissolvenza" not in checked.stderr:
        problems.append(f"verify of a video without fades: exit {checked.returncode}: {checked.stderr.strip()}")
    # The crossfade's middle frame (the file's 11th: 5 of fade in, the held picture, 4 of the
    # crossfade before it) drawn over, every frame at its time: the mix itself is compared.
    drawn = os.path.join(work, "drawn.mkv")
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", os.path.join(work, "faded.mkv"), "-map", "0", "-c:a", "copy",
         "-vf", f"drawbox=x=10:y=10:w=20:h=20:color=white:t=fill:enable='eq(n,10)'", "-c:v", "ffv1",
         "-fps_mode", "passthrough", drawn])
    checked = verify(maker, work, drawn)
    if checked.returncode != 4:
        problems.append(f"verify of a crossfade frame drawn over: exit {checked.returncode}: {checked.stderr.strip()}")
    else:
        print(f"drawn over: {checked.stderr.strip()}")
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
