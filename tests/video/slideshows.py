#!/usr/bin/python3
"""Slideshows with music, made by the built application and read by real players.

A concat file of uneven durations (names quoted and escaped, one in a folder of its own) with
a WAV, in AVI, Matroska and MP4: the picture ffmpeg shows at every frame's time, the pictures'
times in GStreamer, MediaInfo's frame count of the AVI, and the audio decoded by ffmpeg, its
length to the sample (and its samples, in AVI and Matroska, the music's own). A 24-bit FLAC
kept sample for sample in Matroska; music cut with a fade; --fit-to-audio; a save with music
killed part-way, left playable with its audio as long as its frames. --verify with the save's
inputs, a shifted or extra picture and other music found; --framemd5's lines for both streams.

usage: slideshows.py KELVORA_MAKER WORK_FOLDER
"""
import math
import os
import shutil
import subprocess
import sys
import time
import wave
from fractions import Fraction

import numpy
from PIL import Image

WIDTH, HEIGHT, RATE, SAMPLE_RATE = 96, 64, 25, 48000
# Durations that do not fall on frames: the running sum is rounded, not each one.
DURATIONS = ["0.5", "1.25", "0.04", "2", "0.3"]


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, **kwargs).stdout


def pictures(folder):
    """Five pictures no two alike, as 24-bit BMPs; the RGB each shows."""
    os.makedirs(os.path.join(folder, "inner"))
    names = ["a.bmp", "it's b.bmp", "c d.bmp", "inner/e.bmp", "f.bmp"]
    shown = []
    for i, name in enumerate(names):
        rgb = numpy.zeros((HEIGHT, WIDTH, 3), numpy.uint8)
        rgb[:, :] = [(40 * i) % 256, 255 - 50 * i, (90 + 70 * i) % 256]
        rgb[8 * i:8 * i + 8, :] = [255, 255, 255]
        Image.fromarray(rgb).save(os.path.join(folder, name))
        shown.append(rgb)
    return names, shown


def concat_file(folder, names, durations):
    quoted = ["'" + name.replace("'", "'\\''") + "'" for name in names]
    lines = ["ffconcat version 1.0", "# made by the test"]
    for name, duration in zip(quoted, durations):
        lines += [f"file {name}", f"duration {duration}"]
    path = os.path.join(folder, "show.txt")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    return path


def spans(durations, rate=RATE):
    """Each picture's first frame and frames: the running sum rounded once, halves up."""
    out, total, start = [], Fraction(0), 0
    for d in durations:
        total += Fraction(d)
        end = math.floor(total * rate + Fraction(1, 2))
        out.append((start, max(end - start, 1)))
        start += out[-1][1]
    return out


def music(path, seconds, bits=16, channels=2):
    """A chord no two samples of which are alike: 440 Hz left, 660 Hz right."""
    n = int(seconds * SAMPLE_RATE)
    t = numpy.arange(n) / SAMPLE_RATE
    full = 2 ** (bits - 1) - 1
    left = numpy.round(0.5 * full * numpy.sin(2 * math.pi * 440 * t)).astype(numpy.int64)
    right = numpy.round(0.4 * full * numpy.sin(2 * math.pi * 660 * t + 0.3)).astype(numpy.int64)
    samples = numpy.stack([left, right][:channels], axis=1)
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(bits // 8)
        w.setframerate(SAMPLE_RATE)
        w.writeframes(b"".join(int(v).to_bytes(bits // 8, "little", signed=True) for v in samples.reshape(-1))
                      if bits == 24 else samples.astype("<i2").tobytes())
    return samples


def frames_shown(video):
    """The picture ffmpeg shows at each frame's time of the rate."""
    raw = run(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-vf", f"fps={RATE}", "-f", "rawvideo", "-pix_fmt",
               "rgb24", "-"])
    size = WIDTH * HEIGHT * 3
    return [numpy.frombuffer(raw[i:i + size], numpy.uint8).reshape(HEIGHT, WIDTH, 3)
            for i in range(0, len(raw) - size + 1, size)]


def psnr(a, b):
    mse = numpy.mean((a.astype(numpy.float64) - b.astype(numpy.float64)) ** 2)
    return math.inf if mse == 0 else 10 * math.log10(255 * 255 / mse)


def decoded_audio(video, sample_format="s16le", dtype="<i2"):
    raw = run(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-map", "0:a", "-f", sample_format, "-"])
    return numpy.frombuffer(raw, dtype).reshape(-1, 2)


def gstreamer_times(video):
    """The video's and the audio's buffers as GStreamer's sinks take them (each one logged as it
    comes: fakesink's own messages may be dropped under load): the pictures' times, the audio's end."""
    environment = dict(os.environ, GST_DEBUG="basesink:5", GST_DEBUG_NO_COLOR="1")
    log = subprocess.run(["gst-launch-1.0", "filesrc", f"location={video}", "!", "decodebin", "name=d", "d.", "!",
                          "queue", "!", "audioconvert", "!", "fakesink", "name=A", "sync=false", "d.", "!", "queue",
                          "!", "fakesink", "name=V", "sync=false"], capture_output=True, text=True,
                         env=environment).stderr
    seconds = lambda clock: sum(float(x) * 60 ** i for i, x in enumerate(reversed(clock.split(":"))))
    times = {"A": [], "V": []}
    for line in log.splitlines():
        if "gst_base_sink_chain_unlocked" not in line or "got times start: " not in line:
            continue
        sink = "A" if "<A>" in line else "V"
        start, end = line.split("got times start: ")[1].split(", end: ")
        times[sink].append((seconds(start), seconds(end) - seconds(start)))
    return times


def check_container(maker, folder, extension, codec, shown, names, durations):
    problems = []
    name = f"{extension} {codec or ''}".strip()
    video = os.path.join(folder, f"show-{codec or 'default'}.{extension}")
    command = [maker, "-o", video, "--concat", os.path.join(folder, "show.txt"), "--audio",
               os.path.join(folder, "music.wav")]
    if codec:
        command += ["--codec", codec]
    made = subprocess.run(command, capture_output=True, text=True)
    if made.returncode != 0:
        return [f"{name}: exit {made.returncode}: {made.stderr.strip()}"]
    laid = spans(durations)
    total = laid[-1][0] + laid[-1][1]
    if f"5 immagini in {total} fotogrammi" not in made.stderr or "con audio" not in made.stderr:
        problems.append(f"{name}: the summary does not say the pictures, frames and music: {made.stderr.strip()}")
    frames = frames_shown(video)
    if len(frames) != total:
        problems.append(f"{name}: ffmpeg shows {len(frames)} frames, not {total}")
    lossless = extension != "mp4"
    for index, (start, count) in enumerate(laid):
        for slot in range(start, min(start + count, len(frames))):
            quality = psnr(frames[slot], shown[index])
            if (lossless and quality != math.inf) or quality < 35:
                problems.append(f"{name}: at {slot / RATE:.2f} s ffmpeg shows not {names[index]} ({quality:.1f} dB)")
                break
    # GStreamer: each picture at its time (the last again at the end, where the container
    # would otherwise end it a frame after it starts), the audio to the video's end.
    times = gstreamer_times(video)
    starts = [round(pts * RATE) for pts, _ in times["V"]]
    expected = [start for start, _ in laid]
    if extension != "mp4":
        expected.append(total - 1)
    if starts != expected:
        problems.append(f"{name}: GStreamer's pictures start at frames {starts}, not {expected}")
    # AAC's last packet is whole: ffmpeg 5.1 and GStreamer play its padding too (as they do
    # for ffmpeg's own MP4s), though the file says where the music ends.
    slack = 1024 / SAMPLE_RATE if extension == "mp4" else 1e-3
    audio_end = times["A"][-1][0] + times["A"][-1][1] if times["A"] else 0
    if not -1e-3 < audio_end - total / RATE < slack:
        problems.append(f"{name}: GStreamer's audio ends at {audio_end} s, not {total / RATE}")
    samples = decoded_audio(video)
    wanted = total * SAMPLE_RATE // RATE
    if not wanted <= len(samples) < wanted + (1024 if extension == "mp4" else 1):
        problems.append(f"{name}: ffmpeg decodes {len(samples)} samples, not {wanted}")
    if extension == "mp4":
        length = float(run(["ffprobe", "-v", "error", "-select_streams", "a", "-show_entries", "stream=duration",
                            "-of", "csv=p=0", video], text=True))
        if length != total / RATE:
            problems.append(f"{name}: the MP4 says its music lasts {length} s, not {total / RATE}")
    elif lossless:
        source = music_samples[: min(len(music_samples), wanted)]
        padded = numpy.concatenate([source, numpy.zeros((wanted - len(source), 2), numpy.int64)])
        if not numpy.array_equal(samples, padded):
            problems.append(f"{name}: the audio is not the music's samples then silence")
    if extension == "avi" and shutil.which("mediainfo"):
        info = run(["mediainfo", "--Inform=Video;%FrameCount% %Duration%", video], text=True).split()
        if info != [str(total), str(total * 1000 // RATE)]:
            problems.append(f"{name}: MediaInfo says {info}, not {total} frames of {total * 1000 // RATE} ms")
    print(f"{name}: {total} frames, {len(samples)} samples, {os.path.getsize(video)} bytes")
    return problems


def check_flac_exact(maker, folder, names, durations):
    """24-bit music kept sample for sample in Matroska's FLAC; music longer than the video cut
    with a fade, its samples before the fade the music's own."""
    source = os.path.join(folder, "deep.wav")
    deep = music(source, 6, bits=24)
    video = os.path.join(folder, "deep.mkv")
    made = subprocess.run([maker, "-o", video, "--concat", os.path.join(folder, "show.txt"), "--audio", source],
                          capture_output=True, text=True)
    if made.returncode != 0:
        return [f"flac: exit {made.returncode}: {made.stderr.strip()}"]
    problems = []
    stream = run(["ffprobe", "-v", "error", "-select_streams", "a", "-show_entries",
                  "stream=codec_name,bits_per_raw_sample,sample_rate", "-of", "csv=p=0", video], text=True).strip()
    if stream != "flac,48000,24":
        problems.append(f"flac: the stream is {stream!r}, not 24-bit FLAC at 48 kHz")
    got = decoded_audio(video, "s32le", "<i4") >> 8
    laid = spans(durations)
    wanted = (laid[-1][0] + laid[-1][1]) * SAMPLE_RATE // RATE
    fade = SAMPLE_RATE // 2
    if len(got) != wanted:
        return problems + [f"flac: {len(got)} samples, not {wanted}"]
    if not numpy.array_equal(got[:wanted - fade], deep[:wanted - fade]):
        problems.append("flac: the samples before the cut's fade are not the music's")
    gains = numpy.round(deep[wanted - fade:wanted] * ((wanted - numpy.arange(wanted - fade, wanted)) / fade)[:, None])
    if numpy.max(numpy.abs(got[wanted - fade:] - gains)) > 1:
        problems.append("flac: the music is not faded out over the last half second")
    if "tagliata" not in made.stderr:
        problems.append(f"flac: the cut is not said: {made.stderr.strip()}")
    return problems


def check_fit(maker, folder, names):
    """--fit-to-audio: the pictures' durations spread over 3 s of music, in their proportions."""
    video = os.path.join(folder, "fit.mkv")
    made = subprocess.run([maker, "-o", video, "--concat", os.path.join(folder, "show.txt"), "--audio",
                           os.path.join(folder, "music.wav"), "--fit-to-audio"], capture_output=True, text=True)
    if made.returncode != 0:
        return [f"fit: exit {made.returncode}: {made.stderr.strip()}"]
    frames = frames_shown(video)
    total = 3 * RATE
    problems = [] if len(frames) == total else [f"fit: {len(frames)} frames, not {total} (3 s of music)"]
    exact = [Fraction(d) * total / sum(Fraction(x) for x in DURATIONS) for d in DURATIONS]
    laid = spans([e / RATE for e in exact])
    for index, (start, count) in enumerate(laid):
        if start + count <= len(frames) and psnr(frames[start + count - 1], shown_pictures[index]) != math.inf:
            problems.append(f"fit: picture {index + 1} does not last to frame {start + count}")
    samples = decoded_audio(video)
    if len(samples) != 3 * SAMPLE_RATE:
        problems.append(f"fit: {len(samples)} samples, not the music's {3 * SAMPLE_RATE}")
    return problems


def check_killed(maker, folder):
    """A save with music killed part-way: what is left plays, its audio as long as its frames."""
    problems = []
    many = os.path.join(folder, "many")
    os.makedirs(many)
    grain = numpy.random.default_rng(3)
    lines = ["ffconcat version 1.0"]
    for i in range(120):
        Image.fromarray(grain.integers(0, 256, (360, 640, 3), dtype=numpy.uint8)).save(os.path.join(many, f"{i}.bmp"))
        lines += [f"file {i}.bmp", "duration 0.4"]
    with open(os.path.join(many, "show.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    music(os.path.join(many, "long.wav"), 60)
    for extension in ("avi", "mkv", "mp4"):
        output = os.path.join(many, f"cut.{extension}")
        command = [maker, "-o", output, "--concat", os.path.join(many, "show.txt"), "--audio",
                   os.path.join(many, "long.wav")]
        if extension == "avi":
            command += ["--codec", "png"]
        save = subprocess.Popen(command, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and save.poll() is None:
            if os.path.exists(output) and os.path.getsize(output) > 12_000_000:
                break
            time.sleep(0.01)
        save.kill()
        save.wait()
        if save.returncode != -9:
            problems.append(f"killed {extension}: the save ended before it was killed")
            continue
        probed = run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_type:packet=stream_index,pts_time",
                      "-of", "csv=p=0", output], text=True).split()
        video_end = max((float(t) for s, t in (p.split(",") for p in probed if "," in p) if s == "0"), default=0)
        audio = decoded_audio(output)
        audio_end = len(audio) / SAMPLE_RATE
        print(f"killed {extension}: frames to {video_end:.2f} s, audio to {audio_end:.2f} s")
        if video_end < 0.4 or abs(audio_end - video_end) > 1.5:
            problems.append(f"killed {extension}: frames to {video_end} s and audio to {audio_end} s")
    return problems


def check_verify(maker, folder):
    """--verify with the save's inputs: the videos check_container made are their pictures at
    their times and their music (sample for sample in AVI and Matroska, AAC by its SNR); a
    picture shifted by two frames, a picture more in the list, other music: exit 4. --framemd5
    writes ffmpeg's lines for both streams."""
    problems = []
    show, wav = os.path.join(folder, "show.txt"), os.path.join(folder, "music.wav")
    with open(show) as f:
        text = f.read()
    shifted = os.path.join(folder, "shifted.txt")
    with open(shifted, "w") as f:
        f.write(text.replace("duration 1.25", "duration 1.33"))
    longer = os.path.join(folder, "longer.txt")
    with open(longer, "w") as f:
        f.write(text + "file a.bmp\nduration 0.5\n")
    other = os.path.join(folder, "other.wav")
    grain = numpy.random.default_rng(5).integers(-8000, 8000, (3 * SAMPLE_RATE, 2))
    with wave.open(other, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(SAMPLE_RATE)
        w.writeframes(grain.astype("<i2").tobytes())
    for extension, said in (("avi", "audio PCM uguale alla musica campione per campione"),
                            ("mkv", "audio FLAC uguale alla musica campione per campione"),
                            ("mp4", "audio AAC vicino alla musica: SNR minimo")):
        video = os.path.join(folder, f"show-default.{extension}")
        sums = os.path.join(folder, f"sums-{extension}.txt")
        same = subprocess.run([maker, "--verify", video, "--concat", show, "--audio", wav, "--framemd5", sums, "-y"],
                              capture_output=True, text=True)
        if same.returncode != 0 or "5 immagini nei loro tempi" not in same.stderr or said not in same.stderr:
            problems.append(f"verify {extension}: exit {same.returncode}: {same.stderr.strip()}")
        ours = open(sums).read().splitlines() if os.path.exists(sums) else []
        theirs = [line for line in run(["ffmpeg", "-nostdin", "-v", "error", "-i", video, "-f", "framemd5", "-"],
                                       text=True).splitlines() if not line.startswith("#software")]
        if ours != theirs or not any(line.startswith("1,") for line in ours):
            problems.append(f"verify {extension}: the checksums of both streams are not ffmpeg's framemd5")
        for inputs, why in (([shifted, wav], "a picture two frames late"), ([longer, wav], "a picture more"),
                            ([show, other], "other music")):
            differs = subprocess.run([maker, "--verify", video, "--concat", inputs[0], "--audio", inputs[1]],
                                     capture_output=True, text=True)
            if differs.returncode != 4 or "verifica fallita" not in differs.stderr:
                problems.append(f"verify {extension}, {why}: exit {differs.returncode}: {differs.stderr.strip()}")
            elif why == "other music" and extension == "mp4" and "al secondo" not in differs.stderr:
                problems.append(f"verify mp4, other music: the worst second is not named: {differs.stderr.strip()}")
    return problems


def main():
    global music_samples, shown_pictures
    maker, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    names, shown_pictures = pictures(work)
    concat_file(work, names, DURATIONS)
    music_samples = music(os.path.join(work, "music.wav"), 3)
    problems = []
    for extension, codec in (("avi", None), ("avi", "ffv1"), ("mkv", None), ("mp4", None)):
        problems += check_container(maker, work, extension, codec, shown_pictures, names, DURATIONS)
    problems += check_verify(maker, work)
    problems += check_flac_exact(maker, work, names, DURATIONS)
    problems += check_fit(maker, work, names)
    problems += check_killed(maker, work)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
