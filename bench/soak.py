#!/usr/bin/env python3
"""Runs the program for a long time against a server whose answers keep changing,
and reports how its memory develops.

Started by run-soak.sh on a running X desktop (DISPLAY, a window manager and a
tray host). The program's test build syncs every 4 s (the shortest interval,
half a minute, counted in one-second ticks, run 7.75 times as fast) against a loopback server that cycles through good answers,
server errors, hung requests, connection resets, a large HTML page and a
gzip-compressed answer. The window is shown (a second start hands over to the
running one), so every answer reaches the display area too. RSS and private
dirty memory are sampled every few seconds; the report gives them by minute and
the growth after the first minute. Only scheme and host are ever printed: the
request path stands in for the user's key.
"""

import argparse
import gzip
import http.server
import os
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

INTERVAL_MINUTES = "0.5"
# 31 program seconds from one sync to the next pass in 4 real ones.
TIME_SCALE = 7.75
SETTLE_S = 60.0  # memory is compared from the end of the first minute
SAMPLE_S = 5.0
GROWTH_LIMIT_KB = 2 * 1024


def large_html():
    """About 900 KB of HTML: nested tables, lists, entities and inline styles."""
    row = ("<tr><td class=\"c\">status &amp; host</td><td><b>good</b> 127.0.0.1 &#x2714;</td>"
           "<td><table><tr><td><ul><li>one</li><li>two &lt;three&gt;</li></ul></td></tr></table></td></tr>\n")
    body = "<table>" * 40 + row * 6000 + "</table>" * 40
    return ("<!DOCTYPE html><html><head><title>update</title>"
            "<style>td{padding:1px}</style></head><body>" + body + "</body></html>").encode()


ANSWERS = ["ok", "error", "hang", "reset", "html", "gzip"]


class Counter:
    def __init__(self):
        self.lock = threading.Lock()
        self.served = {name: 0 for name in ANSWERS}
        self.index = 0

    def next(self):
        with self.lock:
            name = ANSWERS[self.index % len(ANSWERS)]
            self.index += 1
            self.served[name] += 1
            return name


def start_server(counter):
    html = large_html()
    good = b"good 127.0.0.1\n"
    zipped = gzip.compress(good * 64)

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def answer(self, status, body, content_type, extra=()):
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Connection", "close")
            for name, value in extra:
                self.send_header(name, value)
            self.end_headers()
            self.wfile.write(body)
            self.close_connection = True

        def do_GET(self):
            kind = counter.next()
            if kind == "ok":
                self.answer(200, good, "text/plain")
            elif kind == "error":
                self.answer(500, b"<html><body><h1>Internal error</h1></body></html>", "text/html")
            elif kind == "hang":
                # Silent until the program gives the request up (or a minute passes).
                select.select([self.connection], [], [], 60.0)
                self.close_connection = True
            elif kind == "reset":
                self.send_response(200)
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", "100000")
                self.end_headers()
                self.wfile.write(b"good " * 1000)
                self.wfile.flush()
                # Linger 0: the close sends a reset instead of a clean end.
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           struct.pack("ii", 1, 0))
                self.close_connection = True
            elif kind == "html":
                self.answer(200, html, "text/html; charset=utf-8")
            else:
                self.answer(200, zipped, "text/plain", [("Content-Encoding", "gzip")])

        def log_message(self, *args):
            pass  # the request line holds the key

    class Server(http.server.ThreadingHTTPServer):
        daemon_threads = True

        def handle_error(self, request, client_address):
            if not isinstance(sys.exc_info()[1], (ConnectionError, BrokenPipeError)):
                super().handle_error(request, client_address)

    server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def memory_kb(pid):
    values = {}
    with open(f"/proc/{pid}/smaps_rollup", encoding="ascii") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[0].endswith(":") and parts[1].isdigit():
                values[parts[0][:-1]] = int(parts[1])
    return values["Rss"], values["Private_Dirty"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--minutes", type=float, default=30.0)
    parser.add_argument("--hidden", action="store_true", help="leave the window in the tray")
    parser.add_argument("--out", required=True, help="folder for the program's log and samples")
    options = parser.parse_args()

    os.makedirs(options.out, exist_ok=True)
    counter = Counter()
    server = start_server(counter)
    home = tempfile.mkdtemp(prefix="tavrin-soak-")
    env = dict(os.environ)
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
        env.pop(name, None)
    env["no_proxy"] = "127.0.0.1,localhost"
    env["TAVRIN_TIME_SCALE"] = str(TIME_SCALE)
    env["XDG_CONFIG_HOME"] = os.path.join(home, "config")
    env["XDG_RUNTIME_DIR"] = os.path.join(home, "runtime")
    name = os.path.basename(options.program)
    settings_dir = os.path.join(env["XDG_CONFIG_HOME"], name)
    os.makedirs(settings_dir, mode=0o700)
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
    settings = os.path.join(settings_dir, name + ".ini")
    url = f"http://127.0.0.1:{server.server_address[1]}/soak-key-Zx81"
    fd = os.open(settings, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "w") as f:
        f.write(f"[settings]\nTavrinKey={url}\nTavrinTime={INTERVAL_MINUTES}\n")

    log_path = os.path.join(options.out, "program.log")
    samples_path = os.path.join(options.out, "samples.tsv")
    with open(log_path, "wb") as log:
        program = subprocess.Popen([options.program], env=env, stdout=log, stderr=subprocess.STDOUT)
        try:
            time.sleep(3.0)
            if not options.hidden:
                # A second start asks the running program to show its window, then ends.
                subprocess.run([options.program], env=env, stdout=log, stderr=subprocess.STDOUT,
                               timeout=10)
            started = time.monotonic()
            samples = []
            with open(samples_path, "w") as out:
                out.write("seconds\trss_kb\tprivate_dirty_kb\n")
                while time.monotonic() - started < options.minutes * 60:
                    if program.poll() is not None:
                        print(f"soak: the program ended early (status {program.returncode})",
                              file=sys.stderr)
                        return 1
                    rss, dirty = memory_kb(program.pid)
                    at = time.monotonic() - started
                    samples.append((at, rss, dirty))
                    out.write(f"{at:.1f}\t{rss}\t{dirty}\n")
                    out.flush()
                    time.sleep(SAMPLE_S)
        finally:
            program.send_signal(signal.SIGTERM)
            try:
                program.wait(5)
            except subprocess.TimeoutExpired:
                program.kill()
                program.wait()
            server.shutdown()
            shutil.rmtree(home, ignore_errors=True)

    with open(log_path, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    succeeded = sum(" succeeded:" in line for line in lines)
    failed = sum(" failed:" in line for line in lines)
    abandoned = sum(" abandoned for a new one" in line for line in lines)

    settled = [s for s in samples if s[0] >= SETTLE_S] or samples
    base_rss, base_dirty = settled[0][1], settled[0][2]
    end_rss, end_dirty = settled[-1][1], settled[-1][2]
    peak_rss = max(s[1] for s in settled)
    print(f"soak: {options.minutes:g} min, window {'hidden' if options.hidden else 'shown'}, "
          f"a sync every 4 s against cycling answers ({', '.join(ANSWERS)})")
    print(f"requests served: {sum(counter.served.values())} "
          f"({', '.join(f'{k} {v}' for k, v in counter.served.items())}); "
          f"log: {succeeded} succeeded, {failed} failed, {abandoned} abandoned")
    print("minute    RSS (MiB)   private dirty (MiB)")
    minute = 0
    for at, rss, dirty in samples:
        if at >= minute * 60:
            print(f"{minute:6d}   {rss / 1024:10.2f}   {dirty / 1024:10.2f}")
            minute += 5 if minute >= 5 else 1
    print(f"after the first minute: RSS {base_rss / 1024:.2f} -> {end_rss / 1024:.2f} MiB "
          f"(growth {(end_rss - base_rss) / 1024:+.2f} MiB, peak {peak_rss / 1024:.2f}), "
          f"private dirty {base_dirty / 1024:.2f} -> {end_dirty / 1024:.2f} MiB "
          f"(growth {(end_dirty - base_dirty) / 1024:+.2f} MiB)")
    growth = end_rss - base_rss
    verdict = "within" if growth <= GROWTH_LIMIT_KB else "OVER"
    print(f"RSS growth {verdict} the {GROWTH_LIMIT_KB // 1024} MiB limit")
    return 0 if growth <= GROWTH_LIMIT_KB else 3


if __name__ == "__main__":
    sys.exit(main())
