#!/usr/bin/python3
"""Colour bars saved as MP4 by the built application, played by headless Chromium.

The page draws the video's first frame to a canvas and prints each bar's colour; every bar
must be within a tolerance of the colour its BMP holds. The same bars converted with the
BT.601 matrix but tagged BT.709 (the usual mix-up) must fail the same check: the check sees
the difference it is there for.

usage: browser-colours.py KELVORA_MAKER WORK_FOLDER
"""
import functools
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import threading

import numpy

WIDTH, HEIGHT = 320, 180
BARS = [(255, 255, 255), (255, 255, 0), (0, 255, 255), (0, 255, 0), (255, 0, 255), (255, 0, 0), (0, 0, 255),
        (0, 0, 0), (128, 128, 128), (192, 64, 32)]
# Chromium's own rendering of saturated colours is up to 16 levels off a numerical BT.709
# decode; a BT.601 matrix read as BT.709 puts green 40 levels off.
TOLERANCE = 24

PAGE = """<!doctype html>
<html><body>
<video id="v" src="VIDEO" muted playsinline preload="auto"></video>
<canvas id="c" width="WIDTH" height="HEIGHT"></canvas>
<pre id="out">pending</pre>
<script>
const v = document.getElementById('v');
const out = document.getElementById('out');
v.addEventListener('error', () => { out.textContent = 'error ' + (v.error && v.error.code); });
// A cold browser may fire 'loadeddata' before the frame can be drawn (the canvas stays
// transparent): draw again until it is opaque.
let tries = 0;
function draw() {
  const c = document.getElementById('c').getContext('2d');
  c.clearRect(0, 0, WIDTH, HEIGHT);
  c.drawImage(v, 0, 0);
  const bars = [];
  let drawn = true;
  for (let i = 0; i < COUNT; i++) {
    const x = Math.floor((i + 0.5) * WIDTH / COUNT);
    const pixel = c.getImageData(x, HEIGHT / 2, 1, 1).data;
    drawn = drawn && pixel[3] === 255;
    bars.push(Array.from(pixel.slice(0, 3)));
  }
  if (!drawn && ++tries < 200) {
    setTimeout(draw, 50);
    return;
  }
  out.textContent = (drawn ? 'bars ' : 'undrawn ') + JSON.stringify(bars);
}
v.addEventListener('loadeddata', draw);
</script></body></html>
"""


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, **kwargs).stdout


def bars_picture():
    rgb = numpy.zeros((HEIGHT, WIDTH, 3), numpy.uint8)
    for i, colour in enumerate(BARS):
        rgb[:, i * WIDTH // len(BARS):(i + 1) * WIDTH // len(BARS)] = colour
    return rgb


def chromium():
    for name in ("chromium", "chromium-browser"):
        if shutil.which(name):
            return name
    return None


def colours_shown(browser, url, work):
    page = subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--autoplay-policy=no-user-gesture-required",
                           f"--user-data-dir={os.path.join(work, 'profile')}", "--virtual-time-budget=15000",
                           "--dump-dom", url], capture_output=True, text=True, timeout=120).stdout
    found = re.search(r"bars (\[.*?\]\])", page)
    if not found:
        state = re.search(r'<pre id="out">(.*?)</pre>', page)
        raise RuntimeError(f"Chromium drew no frame: {state.group(1) if state else page[-300:]}")
    return json.loads(found.group(1))


def differences(shown):
    return [max(abs(a - b) for a, b in zip(got, want)) for got, want in zip(shown, BARS)]


def main():
    maker, work = sys.argv[1], sys.argv[2]
    browser = chromium()
    if not browser:
        print("Chromium is not installed (Debian package chromium)", file=sys.stderr)
        return 1
    shutil.rmtree(work, ignore_errors=True)
    frames = os.path.join(work, "frames")
    os.makedirs(frames)
    raw = bars_picture().tobytes()
    for i in range(5):
        run(["ffmpeg", "-nostdin", "-v", "error", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{WIDTH}x{HEIGHT}",
             "-i", "-", "-pix_fmt", "bgr24", os.path.join(frames, f"bar{i}.bmp")], input=raw)
    run([maker, "-o", os.path.join(work, "ours.mp4"), "--fps", "25", frames])
    # The mix-up: the BT.601 matrix, tagged as BT.709.
    run(["ffmpeg", "-nostdin", "-v", "error", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{WIDTH}x{HEIGHT}",
         "-r", "25", "-i", "-", "-vf", "scale=out_color_matrix=bt601:out_range=tv,format=yuv420p", "-c:v", "libx264",
         "-crf", "18", "-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709", "-color_range", "tv",
         "-movflags", "+faststart", os.path.join(work, "mixup.mp4")], input=raw * 5)

    page = PAGE.replace("WIDTH", str(WIDTH)).replace("HEIGHT", str(HEIGHT)).replace("COUNT", str(len(BARS)))
    for name in ("ours", "mixup"):
        with open(os.path.join(work, f"{name}.html"), "w") as f:
            f.write(page.replace("VIDEO", f"{name}.mp4"))
    handler = functools.partial(QuietHandler, directory=work)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    try:
        ours = differences(colours_shown(browser, f"{base}/ours.html", work))
        mixup = differences(colours_shown(browser, f"{base}/mixup.html", work))
    finally:
        server.shutdown()
    print(f"largest difference per bar, ours: {ours}; BT.601 read as BT.709: {mixup}")
    problems = []
    if max(ours) > TOLERANCE:
        problems.append(f"our MP4's bars in Chromium are up to {max(ours)} levels off (tolerance {TOLERANCE})")
    if max(mixup) <= TOLERANCE:
        problems.append("the check does not see a BT.601/BT.709 mix-up")
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
