"""What the desktop suites share: a recording loopback server, waiting,
screenshots and reading colours off an X screen.

The suites run inside tests/support/with-desktop.sh; configure() names the
folder for screenshots (a failed wait saves the whole screen there too).
"""

import http.server
import os
import re
import subprocess
import tempfile
import threading
import time

BLUE_EMBLEM = (82, 110, 150)
RED_EMBLEM = (206, 33, 29)
# A tray-sized emblem covers far more pixels than this.
SEEN = 20

# The window's size at the font the layout was drawn for; a larger default
# font scales it and its controls alike.
WINDOW_SIZE = (373, 160)
# The window's caption: the countdown, or the name and SYNC at a sync.
CAPTION = re.compile(r"^(Count-Down: (\d+)Sec\.|KORLA DNS Conector( SYNC)?)$")

_screenshots = None


def configure(screenshots):
    """Sets the folder screenshots go to; None keeps none."""
    global _screenshots
    _screenshots = screenshots


def centre(rect):
    x, y, w, h = rect
    return x + w // 2, y + h // 2


def wait_until(probe, timeout=8.0, what="condition"):
    """Polls probe() until it returns something truthy; returns that value."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            snapshot = failure_snapshot()
            raise AssertionError(f"timed out after {timeout} s waiting for {what}"
                                 + (f" (screen saved as {snapshot})" if snapshot else ""))
        time.sleep(0.05)


def failure_snapshot():
    """Saves the whole screen next to the screenshots, to see what went wrong."""
    if not _screenshots:
        return None
    os.makedirs(_screenshots, exist_ok=True)
    path = tempfile.mktemp(prefix="failure-", suffix=".png", dir=_screenshots)
    subprocess.run(["import", "-window", "root", path], capture_output=True, timeout=20)
    return path

# --- the loopback server -------------------------------------------------------


class RecordingServer:
    """A threaded HTTP server on 127.0.0.1 that records every request.

    It answers 200 "good" or, after answer(500), 500 "error"; answers queued with
    queue() go out first, one per request. Each request is recorded with its
    arrival time (time.monotonic()). Because it records the raw request target it
    also serves as an HTTP proxy: a proxied request names the real host on its
    request line.
    """

    def __init__(self):
        self._lock = threading.Lock()
        self._requests = []
        self._status = 200
        self._body = None
        self._queued = []
        recorder = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                arrived = time.monotonic()
                with recorder._lock:
                    recorder._requests.append(
                        {
                            "method": self.command,
                            "target": self.path,
                            "headers": {k.lower(): v for k, v in self.headers.items()},
                            "time": arrived,
                        }
                    )
                    if recorder._queued:
                        status, body = recorder._queued.pop(0)
                    else:
                        status, body = recorder._status, recorder._body
                if body is None:
                    body = "good" if status == 200 else "error"
                body = body.encode()
                self.send_response(status)
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Connection", "close")
                self.end_headers()
                self.wfile.write(body)
                self.close_connection = True

            def log_message(self, *args):
                pass

        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self._server.daemon_threads = True
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()

    @property
    def port(self):
        return self._server.server_address[1]

    def url(self, path=""):
        return f"http://127.0.0.1:{self.port}/{path}"

    def answer(self, status, body=None):
        """Sets the standing answer; without a body, "good" for 200 and "error" otherwise."""
        with self._lock:
            self._status = status
            self._body = body

    def queue(self, *answers):
        """Answers (status, body) for the next requests, in order, before the standing one."""
        with self._lock:
            self._queued.extend(answers)

    def requests(self):
        with self._lock:
            return list(self._requests)

    def wait_for(self, match, timeout=8.0, what="a request"):
        return wait_until(lambda: [r for r in self.requests() if match(r)], timeout, what)

    def close(self):
        self._server.shutdown()
        self._server.server_close()
        self._thread.join(5)


# --- the X desktop ---------------------------------------------------------------


def run(*command, check=True):
    result = subprocess.run(command, capture_output=True, text=True, timeout=20)
    if result.returncode != 0:
        if check:
            raise AssertionError(f"{command[0]} failed: {result.stderr.strip()}")
        return ""
    return result.stdout


def xdotool(*arguments):
    return run("xdotool", *arguments)


_TREE_LINE = re.compile(
    r"^(\s*)(0x[0-9a-f]+) (?:\"(.*)\"|\(has no name\)): \((.*)\)\s+"
    r"(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$"
)


def tray_windows(application):
    """The windows of the application that sit inside trayer's panel.

    Returns (id, (x, y, width, height)) in root coordinates for each.
    """
    found = []
    panel_depth = -1
    # A window that goes away during the walk makes xwininfo fail; ask again.
    tree = wait_until(lambda: run("xwininfo", "-root", "-tree", check=False), timeout=5,
                      what="the window tree")
    for line in tree.splitlines():
        match = _TREE_LINE.match(line)
        if not match:
            continue
        depth = len(match.group(1))
        if panel_depth >= 0 and depth <= panel_depth:
            panel_depth = -1
        if match.group(4) == '"panel" "trayer"':
            panel_depth = depth
        elif panel_depth >= 0 and match.group(4).startswith(f'"{application}"'):
            w, h, x, y = (int(match.group(i)) for i in (5, 6, 7, 8))
            found.append((int(match.group(2), 16), (x, y, w, h)))
    return found


def window_info(window):
    """Map state, override-redirect flag and root geometry of a window, or None if gone."""
    result = subprocess.run(
        ["xwininfo", "-id", str(window)], capture_output=True, text=True, timeout=20
    )
    if result.returncode != 0:
        return None
    fields = dict(
        line.strip().split(":", 1) for line in result.stdout.splitlines() if ":" in line
    )
    geometry = tuple(
        int(fields[name].strip())
        for name in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
    )
    return {
        "viewable": fields["Map State"].strip() == "IsViewable",
        "override": fields["Override Redirect State"].strip() == "yes",
        "geometry": geometry,
    }


def window_name(window):
    result = subprocess.run(
        ["xdotool", "getwindowname", str(window)], capture_output=True, text=True, timeout=20
    )
    return result.stdout.rstrip("\n") if result.returncode == 0 else None


def grab(rect):
    """Reads a rectangle of the root window as (width, height, RGB bytes)."""
    x, y, w, h = rect
    data = subprocess.run(
        ["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8",
         "ppm:-"],
        capture_output=True, timeout=20, check=True,
    ).stdout
    return from_ppm(data)


def from_ppm(data):
    """A binary PPM as (width, height, RGB bytes)."""
    # "P6" width height maxval, each followed by one whitespace byte.
    fields = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    width, height = int(fields.group(1)), int(fields.group(2))
    return width, height, data[fields.end():]


def count_colour(image, colour, tolerance=10):
    _, _, pixels = image
    r0, g0, b0 = colour
    count = 0
    for i in range(0, len(pixels) - 2, 3):
        if (abs(pixels[i] - r0) <= tolerance and abs(pixels[i + 1] - g0) <= tolerance
                and abs(pixels[i + 2] - b0) <= tolerance):
            count += 1
    return count

def count_dark(image, limit=60):
    _, _, pixels = image
    return sum(
        1 for i in range(0, len(pixels) - 2, 3)
        if pixels[i] < limit and pixels[i + 1] < limit and pixels[i + 2] < limit
    )


def drawn(rect):
    """Whether a rectangle shows more than the desktop's black background."""
    return count_dark(grab(rect)) < rect[2] * rect[3] // 2

def scaled(geometry, rect):
    """A control's rectangle at the scale of a window of that geometry."""
    scale = geometry[2] / WINDOW_SIZE[0]
    x, y = round(rect[0] * scale), round(rect[1] * scale)
    return x, y, round((rect[0] + rect[2]) * scale) - x, round((rect[1] + rect[3]) * scale) - y


def inner(geometry, rect):
    """A window-relative rectangle in root coordinates, at the window's scale."""
    x, y, w, h = scaled(geometry, rect)
    return geometry[0] + x, geometry[1] + y, w, h


def save_screenshot(name, *command):
    if not _screenshots:
        return
    os.makedirs(_screenshots, exist_ok=True)
    run("import", *command, os.path.join(_screenshots, name))


class ProgramRun:
    """What every suite's run of the program offers once it has started it.

    A subclass sets self.process (the started program), self.log_path (its
    output) and self._main_window = None, and lists the program's X windows in
    windows().
    """

    def windows(self):
        raise NotImplementedError

    def wait_exit(self, timeout=8.0):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the program did not end within {timeout} s") from None

    def alive(self):
        return self.process.poll() is None

    def output(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode("utf-8", "replace")

    def find_main_window(self):
        """The program's window, found by its caption; None while it has none.

        The window may only exist on the X server once it is first shown.
        """
        if self._main_window is None:
            for window in self.windows():
                info = window_info(window)
                name = window_name(window)
                if info and not info["override"] and name and CAPTION.match(name):
                    self._main_window = window
                    break
        return self._main_window

    def main_window(self):
        return wait_until(self.find_main_window, what="the program's window")

    def window_shown(self):
        window = self.find_main_window()
        info = window_info(window) if window else None
        return bool(info and info["viewable"])

    def caption(self):
        return window_name(self.main_window())

    def countdown(self):
        match = CAPTION.match(self.caption() or "")
        return int(match.group(2)) if match and match.group(2) else None

    def drawn_window(self):
        """Root geometry of the shown window once it sits in place and is drawn."""
        def in_place():
            info = window_info(self.main_window())
            if info and info["viewable"] and drawn(info["geometry"]):
                return info["geometry"]
            return None
        return wait_until(in_place, what="the window to be drawn")
