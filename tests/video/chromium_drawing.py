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
