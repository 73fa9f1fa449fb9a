"""Picture files as headless Chromium draws them: each drawn on a canvas over a colour, its
pixels read back (8-bit RGB, the browser's decoding, orientation and colour management).
"""
import base64
import functools
import http.server
import json
import os
import re
import shutil
import subprocess
import threading
import time
import urllib.parse

import numpy

PAGE = """<!doctype html>
<html><body><pre id="out">pending</pre>
<script>
const names = NAMES;
const drawn = {};
function done() {
  if (Object.keys(drawn).length === names.length)
    document.getElementById('out').textContent = 'pictures ' + JSON.stringify(drawn);
}
for (const name of names) {
  const img = new Image();
  img.onload = () => {
    const c = document.createElement('canvas');
    c.width = img.naturalWidth;
    c.height = img.naturalHeight;
    const g = c.getContext('2d');
    g.fillStyle = 'BACKGROUND';
    g.fillRect(0, 0, c.width, c.height);
    g.drawImage(img, 0, 0);
    const d = g.getImageData(0, 0, c.width, c.height).data;
    let bytes = '';
    for (let i = 0; i < d.length; i += 4)
      bytes += String.fromCharCode(d[i], d[i + 1], d[i + 2]);
    drawn[name] = [c.width, c.height, btoa(bytes)];
    done();
  };
  img.onerror = () => { drawn[name] = 'error'; done(); };
  img.src = name;
}
</script></body></html>
"""


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def chromium():
    for name in ("chromium", "chromium-browser"):
        if shutil.which(name):
            return name
    return None


def drawn_by_chromium(browser, folder, names, background="rgb(0, 0, 0)"):
    with open(os.path.join(folder, "draw.html"), "w") as f:
        f.write(PAGE.replace("NAMES", json.dumps(names)).replace("BACKGROUND", background))
    handler = functools.partial(QuietHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        page = subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu",
                               f"--user-data-dir={os.path.join(folder, 'profile')}", "--virtual-time-budget=15000",
                               "--dump-dom", f"http://127.0.0.1:{server.server_address[1]}/draw.html"],
                              capture_output=True, text=True, timeout=120).stdout
    finally:
        server.shutdown()
    found = re.search(r"pictures (\{.*\})", page)
    if not found:
        raise RuntimeError(f"Chromium drew nothing: {page[-300:]}")
    pictures = {}
    for name, value in json.loads(found.group(1)).items():
        if value == "error":
            raise RuntimeError(f"Chromium does not draw {name}")
        width, height, data = value
        pictures[name] = numpy.frombuffer(base64.b64decode(data), numpy.uint8).reshape(height, width, 3).astype(int)
    return pictures


PLAY_PAGE = """<!doctype html>
<html><body><video id="v" src="VIDEO" muted playsinline autoplay></video>
<script>
const v = document.getElementById('v');
v.defaultPlaybackRate = RATE;
v.playbackRate = RATE;
const shown = new Set();
function count(now, meta) { shown.add(meta.mediaTime.toFixed(3)); v.requestVideoFrameCallback(count); }
v.requestVideoFrameCallback(count);
function report(what) { fetch('/result?' + encodeURIComponent(JSON.stringify(what))); }
v.addEventListener('error', () => report({error: v.error ? v.error.code : -1}));
v.addEventListener('ended', () => {
  const q = v.getVideoPlaybackQuality();
  report({presented: shown.size, total: q.totalVideoFrames, dropped: q.droppedVideoFrames,
          width: v.videoWidth, height: v.videoHeight});
});
</script></body></html>
"""


def played_by_chromium(browser, folder, name, seconds=60, rate=1.0):
    """A video played through by headless Chromium in real time (at `rate` times its speed): the
    frames it presented, those it decoded and dropped, and the size it shows ({"error": code}
    when it refuses the file)."""
    with open(os.path.join(folder, "play.html"), "w") as f:
        f.write(PLAY_PAGE.replace("VIDEO", name).replace("RATE", repr(rate)))
    result = {}

    class Reporting(QuietHandler):
        def do_GET(self):
            if self.path.startswith("/result?"):
                result["played"] = json.loads(urllib.parse.unquote(self.path[len("/result?"):]))
                self.send_response(204)
                self.end_headers()
                return
            super().do_GET()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Reporting, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    # Without --dump-dom the browser stays up while the video plays; the page reports its end.
    player = subprocess.Popen([browser, "--headless", "--no-sandbox", "--disable-gpu",
                               "--autoplay-policy=no-user-gesture-required",
                               f"--user-data-dir={os.path.join(folder, 'play-profile')}",
                               f"http://127.0.0.1:{server.server_address[1]}/play.html"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + seconds
        while "played" not in result and time.monotonic() < deadline and player.poll() is None:
            time.sleep(0.1)
    finally:
        player.kill()
        player.wait()
        server.shutdown()
    if "played" not in result:
        raise RuntimeError(f"Chromium did not play {name} to its end within {seconds} s")
    return result["played"]
