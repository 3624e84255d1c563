#!/usr/bin/env python3
"""Measures the program against the floor program on a running X desktop.

Started by run-bench.sh, which builds both programs and provides DISPLAY (with
a window manager and trayer as tray host). Runs both programs alternately, each
run in a fresh XDG_CONFIG_HOME and XDG_RUNTIME_DIR, against a loopback HTTP
server in this process that records when each request arrives, and prints a
table of medians. Only the scheme and host of the request URL are ever printed:
the path is the stand-in for the user's key.
"""

import argparse
import datetime
import http.server
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

CLK_TCK = os.sysconf("SC_CLK_TCK")
STARTUP_TIMEOUT_S = 30.0  # bound for the tray icon and for the first request
SHOW_TIMEOUT_S = 10.0  # bound for the window to appear after the menu click
STOP_TIMEOUT_S = 5.0  # bound for a program to end after SIGTERM


# ---------------------------------------------------------------- HTTP server


class RequestLog:
    """Arrival times (time.monotonic) of requests, by request path."""

    def __init__(self):
        self._lock = threading.Lock()
        self._times = {}

    def add(self, path, when):
        with self._lock:
            self._times.setdefault(path, []).append(when)

    def times(self, path):
        with self._lock:
            return list(self._times.get(path, []))


def start_server(log):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            log.add(self.path, time.monotonic())
            body = b"good 127.0.0.1\n"
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass  # the request line holds the key

    class Server(http.server.ThreadingHTTPServer):
        def handle_error(self, request, client_address):
            # A start-only run ends the program once its request has arrived,
            # which may cut the answer off; that is no error of the measurement.
            if not isinstance(sys.exc_info()[1], (ConnectionResetError, BrokenPipeError)):
                super().handle_error(request, client_address)

    server = Server(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


# ---------------------------------------------------------------- /proc readings


def read_file(path):
    with open(path, encoding="ascii", errors="replace") as f:
        return f.read()


def cpu_stat_ms(pid):
    """utime + stime of the whole process from /proc/PID/stat, in ms (clock-tick steps)."""
    fields = read_file(f"/proc/{pid}/stat").rsplit(")", 1)[1].split()
    # After the command name: state is field 3, utime field 14, stime field 15.
    return (int(fields[11]) + int(fields[12])) * 1000.0 / CLK_TCK


def cpu_clock_ms(pid):
    """The process's CPU-time clock (all threads, living and ended), in ms."""
    clock_id = (~pid << 3) | 2  # the kernel's process-wide CPUCLOCK_SCHED clock id
    return time.clock_gettime(clock_id) * 1000.0


def context_switches(pid):
    """Voluntary + involuntary context switches of each current thread: {tid: (name, count)}."""
    threads = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            status = read_file(f"/proc/{pid}/task/{tid}/status")
        except OSError:
            continue  # the thread ended meanwhile
        name, count = "?", 0
        for line in status.splitlines():
            if line.startswith("Name:"):
                parts = line.split(None, 1)
                name = parts[1] if len(parts) > 1 else "?"
            elif line.startswith(("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:")):
                count += int(line.split()[1])
        threads[tid] = (name, count)
    return threads


def thread_schedstat(pid):
    """Each current thread's scheduler figures: {tid: (name, run ns, times run)}.

    /proc/PID/task/TID/schedstat holds the time spent on a CPU, the time spent
    waiting for one and how many times the thread was put on a CPU. Each wake-up
    of a sleeping thread puts it on a CPU, so the last figure counts wake-ups
    (and the rare preemption).
    """
    threads = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            run_ns, _, times_run = read_file(f"/proc/{pid}/task/{tid}/schedstat").split()[:3]
            name = read_file(f"/proc/{pid}/task/{tid}/comm").strip() or "?"
        except (OSError, ValueError):
            continue  # the thread ended meanwhile
        threads[tid] = (name, int(run_ns), int(times_run))
    return threads


def memory_kb(pid):
    """Rss, Private_Clean + Private_Dirty and Private_Dirty from /proc/PID/smaps_rollup, in kB.

    A library page counts as private while no other process maps it, so the
    clean part depends on what else runs; the dirty part is the process's own.
    """
    values = {}
    for line in read_file(f"/proc/{pid}/smaps_rollup").splitlines():
        parts = line.split()
        if len(parts) >= 2 and parts[0].endswith(":") and parts[1].isdigit():
            values[parts[0][:-1]] = int(parts[1])
    return (values["Rss"], values["Private_Clean"] + values["Private_Dirty"],
            values["Private_Dirty"])


class Sample:
    def __init__(self, pid):
        self.when = time.monotonic()
        self.cpu_stat = cpu_stat_ms(pid)
        self.cpu_clock = cpu_clock_ms(pid)
        self.threads = context_switches(pid)
        self.sched = thread_schedstat(pid)


def sched_delta(first, last):
    """Per thread between two samples: {"name[tid]": (wake-ups, CPU ms)}.

    Threads that started meanwhile count from zero; those that ended drop out."""
    delta = {}
    for tid, (name, run_ns, times_run) in last.sched.items():
        _, run0, times0 = first.sched.get(tid, (name, 0, 0))
        delta[f"{name}[{tid}]"] = (times_run - times0, (run_ns - run0) / 1e6)
    return delta


def print_minute(label, minute, delta):
    wakeups = sum(w for w, _ in delta.values())
    cpu = sum(c for _, c in delta.values())
    busy = ", ".join(f"{thread} {w}/{c:.3f}" for thread, (w, c) in sorted(delta.items()) if w)
    print(f"{label} minute {minute}: wake-ups {wakeups}, CPU {cpu:.3f} ms"
          + (f" (wake-ups/CPU ms: {busy})" if busy else ""), file=sys.stderr, flush=True)
    return wakeups, cpu


def measure(process, seconds, label):
    """CPU ms/min (stat, clock and schedstat), context switches/min and
    schedstat wake-ups/min over `seconds`, with a schedstat line per minute."""
    first = Sample(process.pid)
    deadline = first.when + seconds
    minute_start = first
    per_minute = []
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise RuntimeError(f"the program ended during the measurement (status {process.returncode})")
        # Sleeps of 1 s at most: this process's own wake-ups do not touch the program's.
        time.sleep(min(1.0, max(0.0, deadline - time.monotonic()),
                       max(0.0, minute_start.when + 60.0 - time.monotonic())))
        if time.monotonic() >= minute_start.when + 60.0 and time.monotonic() < deadline - 1.0:
            sample = Sample(process.pid)
            per_minute.append(print_minute(label, len(per_minute) + 1, sched_delta(minute_start, sample)))
            minute_start = sample
    last = Sample(process.pid)
    if last.when - minute_start.when >= 1.0:
        per_minute.append(print_minute(label, len(per_minute) + 1, sched_delta(minute_start, last)))
    minutes = (last.when - first.when) / 60.0
    sched = sched_delta(first, last)
    # Threads that started meanwhile count from zero; those that ended are not
    # seen at the end and drop out (their last switches are lost, not subtracted).
    per_thread = {
        f"{name}[{tid}]": (count - first.threads.get(tid, (name, 0))[1]) / minutes
        for tid, (name, count) in last.threads.items()
    }
    return {
        "cpu_stat": (last.cpu_stat - first.cpu_stat) / minutes,
        "cpu_clock": (last.cpu_clock - first.cpu_clock) / minutes,
        "wakeups": sum(per_thread.values()),
        "sched_wakeups": sum(w for w, _ in sched.values()) / minutes,
        "sched_cpu": sum(c for _, c in sched.values()) / minutes,
        "threads": len(last.threads),
        "per_thread": per_thread,
        "per_thread_sched": {thread: (w / minutes, c / minutes) for thread, (w, c) in sched.items()},
        "per_minute": per_minute,
    }


# ---------------------------------------------------------------- X desktop


def run_quiet(arguments, timeout=5.0):
    try:
        return subprocess.run(arguments, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def tray_icon_window(class_name):
    """(window id, centre x, centre y) of a window of this class inside trayer's panel."""
    tree = run_quiet(["xwininfo", "-root", "-tree"])
    if tree is None or tree.returncode != 0:
        return None
    ours = f'("{class_name}" "{class_name}")'
    panel_depth = -1
    geometry = re.compile(r"(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)")
    for line in tree.stdout.splitlines():
        stripped = line.lstrip()
        if not stripped:
            continue
        depth = len(line) - len(stripped)
        if panel_depth >= 0 and depth <= panel_depth:
            panel_depth = -1
        if '("panel" "trayer")' in line:
            panel_depth = depth
        elif panel_depth >= 0 and ours in line:
            match = geometry.search(line)
            if not match:
                continue
            width, height, x, y = (int(v) for v in match.groups())
            return stripped.split()[0], x + width // 2, y + height // 2
    return None


def visible_window(pid):
    """Whether a viewable window of the process carries the countdown window's title."""
    found = run_quiet(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid),
                       "--name", "Count-Down|KORLA"])
    return found is not None and found.returncode == 0 and found.stdout.strip() != ""


def desktop_alive():
    found = run_quiet(["xdpyinfo"])
    return found is not None and found.returncode == 0


def wait_until(condition, timeout, step=0.01):
    """Polls condition until it gives a true value or timeout seconds pass."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(step)


# ---------------------------------------------------------------- one run


class Run:
    """One start of one program: its environment, process and figures."""

    def __init__(self, options, server_port, requests, kind, index):
        self.options = options
        self.requests = requests
        self.kind = kind
        # A path of its own per start, so a request is never credited to another run.
        self.path = f"/bench{kind}{index}"
        self.url = f"http://127.0.0.1:{server_port}{self.path}"
        self.home = tempfile.mkdtemp(prefix=f"tavrin-bench-{kind}-")
        self.process = None
        self.watcher = None
        self.log_path = os.path.join(options.out, f"{kind}-{index}.log")

    def environment(self):
        env = dict(os.environ)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)  # the X11 tray, as on the test desktop
        for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
            env.pop(name, None)
        env["no_proxy"] = "127.0.0.1,localhost"
        env["XDG_CONFIG_HOME"] = os.path.join(self.home, "config")
        env["XDG_RUNTIME_DIR"] = os.path.join(self.home, "runtime")
        os.makedirs(env["XDG_CONFIG_HOME"], mode=0o700)
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        return env

    def start(self, arguments, env, class_name):
        if self.options.tray_watch:
            # Listening before the start, so the icon's docking cannot be missed.
            self.watcher = subprocess.Popen(
                [self.options.tray_watch, class_name, str(STARTUP_TIMEOUT_S)],
                stdout=subprocess.PIPE, text=True)
            if self.watcher.stdout.readline().strip() != "ready":
                raise RuntimeError("tray-watch did not start")
        with open(self.log_path, "wb") as log:
            self.started = time.monotonic()
            self.process = subprocess.Popen(arguments, env=env, stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=subprocess.STDOUT)

    def docked_ms(self):
        """When tray-watch saw the icon dock, in ms after the start; None if it did not."""
        try:
            out, _ = self.watcher.communicate(timeout=STARTUP_TIMEOUT_S + 5)
        except subprocess.TimeoutExpired:
            self.watcher.kill()
            self.watcher.communicate()
            return None
        if self.watcher.returncode != 0 or not out.strip():
            return None
        return float(out.split()[0]) - self.started * 1000.0

    def polled_icon_ms(self, class_name):
        """When a poll of the window tree first found the icon, in ms after the start."""
        def icon():
            if self.process.poll() is not None:
                raise RuntimeError(f"{self.kind} ended at start (status {self.process.returncode}); "
                                   f"see {self.log_path}")
            return tray_icon_window(class_name)

        if not wait_until(icon, STARTUP_TIMEOUT_S):
            return None
        return (time.monotonic() - self.started) * 1000.0

    def wait_for_start(self, class_name):
        """Start-to-icon and start-to-first-request, in ms."""
        icon_ms = self.docked_ms() if self.watcher is not None else self.polled_icon_ms(class_name)
        if icon_ms is None:
            raise RuntimeError(f"{self.kind}: no tray icon within {STARTUP_TIMEOUT_S:.0f} s")
        times = wait_until(lambda: self.requests.times(self.path), STARTUP_TIMEOUT_S)
        if not times:
            raise RuntimeError(f"{self.kind}: no request within {STARTUP_TIMEOUT_S:.0f} s")
        return icon_ms, (times[0] - self.started) * 1000.0

    def stop(self):
        if self.watcher is not None and self.watcher.poll() is None:
            self.watcher.kill()
            self.watcher.communicate()
        if self.process is not None and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(STOP_TIMEOUT_S)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(STOP_TIMEOUT_S)
        shutil.rmtree(self.home, ignore_errors=True)

    def request_count(self):
        return len(self.requests.times(self.path))


def measure_hidden(run, class_name, options):
    figures = {}
    figures["icon_ms"], figures["get_ms"] = run.wait_for_start(class_name)
    time.sleep(options.settle)  # start-up's tail (the answer, the icon's first paints)
    if visible_window(run.process.pid):
        raise RuntimeError(f"{run.kind}: its window is shown, not hidden in the tray")
    requests = run.request_count()
    hidden = measure(run.process, options.hidden * 60.0, f"{run.kind} hidden")
    figures.update({f"{name}_hidden": value for name, value in hidden.items()})
    figures["requests_hidden"] = run.request_count() - requests
    figures["rss_kb"], figures["private_kb"], figures["dirty_kb"] = memory_kb(run.process.pid)
    return figures


def measure_shown(run, options):
    if not wait_until(lambda: visible_window(run.process.pid), SHOW_TIMEOUT_S, step=0.1):
        raise RuntimeError(f"{run.kind}: its window did not appear")
    time.sleep(options.settle)
    shown = measure(run.process, options.shown * 60.0, f"{run.kind} shown")
    return {f"{name}_shown": value for name, value in shown.items()}


def visible_window_count(pid):
    found = run_quiet(["xdotool", "search", "--onlyvisible", "--pid", str(pid)])
    return 0 if found is None or found.returncode != 0 else len(found.stdout.split())


def open_window_from_tray(run, class_name):
    """Right click on the icon, then the menu's first entry ("Optionen...")."""
    pid = run.process.pid
    for _ in range(3):
        if visible_window(pid):
            return
        icon = wait_until(lambda: tray_icon_window(class_name), 2.0, step=0.1)
        if icon is None:
            continue
        _, x, y = icon
        before = visible_window_count(pid)
        run_quiet(["xdotool", "mousemove", str(x), str(y), "click", "3"])
        # The menu is one more viewable window of the program.
        if not wait_until(lambda: visible_window_count(pid) > before, 3.0, step=0.05):
            continue
        run_quiet(["xdotool", "key", "Down", "Return"])
        if wait_until(lambda: visible_window(pid), SHOW_TIMEOUT_S, step=0.1):
            return
    raise RuntimeError(f"{run.kind}: the window could not be opened from the tray menu")


def start_ours(run, options):
    env = run.environment()
    name = os.path.basename(options.ours)
    settings = os.path.join(env["XDG_CONFIG_HOME"], name)
    os.makedirs(settings, mode=0o700)
    with open(os.path.join(settings, f"{name}.ini"), "w", encoding="ascii") as f:
        f.write(f"[settings]\nTavrinKey={run.url}\nTavrinTime={options.interval}\n")
    run.start([options.ours], env, name)
    return name


def start_floor(run, options, *extra):
    name = os.path.basename(options.floor)
    run.start([options.floor, run.url, str(options.interval * 60), *extra], run.environment(), name)
    return name


def start_only(kind, options, port, requests, index):
    """One start that is ended as soon as its icon and first request are there."""
    run = Run(options, port, requests, kind, f"start{index}")
    try:
        name = start_ours(run, options) if kind == "ours" else start_floor(run, options)
        icon_ms, get_ms = run.wait_for_start(name)
        return {"icon_ms": icon_ms, "get_ms": get_ms}
    finally:
        run.stop()


def run_ours(options, port, requests, index):
    run = Run(options, port, requests, "ours", index)
    try:
        name = start_ours(run, options)
        figures = measure_hidden(run, name, options)
        if options.shown > 0:
            open_window_from_tray(run, name)
            figures.update(measure_shown(run, options))
        return figures
    finally:
        run.stop()


def run_floor(options, port, requests, index):
    run = Run(options, port, requests, "floor", index)
    try:
        name = start_floor(run, options)
        figures = measure_hidden(run, name, options)
    finally:
        run.stop()
    if options.shown > 0:
        # The floor shows its widget from a command-line flag, in a start of its own.
        run = Run(options, port, requests, "floor", f"{index}-shown")
        try:
            run.wait_for_start(start_floor(run, options, "--show"))
            figures.update(measure_shown(run, options))
        finally:
            run.stop()
    return figures


# ---------------------------------------------------------------- report

ROWS = [
    # (label, key, scale, decimals)
    ("RSS (MiB)", "rss_kb", 1 / 1024, 2),
    ("private RSS (MiB)", "private_kb", 1 / 1024, 2),
    ("private dirty (MiB)", "dirty_kb", 1 / 1024, 2),
    ("CPU hidden, stat (ms/min)", "cpu_stat_hidden", 1, 2),
    ("CPU hidden, clock (ms/min)", "cpu_clock_hidden", 1, 2),
    ("wake-ups hidden (/min)", "wakeups_hidden", 1, 1),
    ("wake-ups hidden, schedstat (/min)", "sched_wakeups_hidden", 1, 2),
    ("CPU hidden, schedstat (ms/min)", "sched_cpu_hidden", 1, 3),
    ("CPU shown, stat (ms/min)", "cpu_stat_shown", 1, 2),
    ("CPU shown, clock (ms/min)", "cpu_clock_shown", 1, 2),
    ("wake-ups shown (/min)", "wakeups_shown", 1, 1),
    ("start to tray icon (ms)", "icon_ms", 1, 0),
    ("start to first GET (ms)", "get_ms", 1, 0),
    ("requests while hidden", "requests_hidden", 1, 0),
    ("threads", "threads_hidden", 1, 0),
]


# Start-up figures also come from the start-only runs.
START_KEYS = ("icon_ms", "get_ms")


def median_of(results, starts, key):
    values = [r[key] for r in results + (starts if key in START_KEYS else []) if key in r]
    return statistics.median(values) if values else None


def format_value(value, scale, decimals):
    return "-" if value is None else f"{value * scale:.{decimals}f}"


def format_ratio(ours, floor):
    if ours is None or floor is None:
        return "-"
    if floor == 0:
        return "-" if ours == 0 else "inf"
    return f"{ours / floor:.2f}"


def report(options, results, starts, failures):
    print(f"Tavrin Connector benchmark, {options.date}")
    print(f"ours:  {options.ours_label}")
    print(f"floor: {options.floor_label}")
    print(f"runs: {len(results['ours'])} ours, {len(results['floor'])} floor "
          f"(failed and repeated: {failures}), hidden {options.hidden:g} min, "
          f"shown {options.shown:g} min, interval {options.interval} min; medians; "
          f"server http://127.0.0.1")
    print(f"start-up figures: the runs' starts and {len(starts['ours'])} ours, "
          f"{len(starts['floor'])} floor start-only runs")
    print(f"{'figure':<34} {'ours':>10} {'floor':>10} {'ratio':>8}")
    for label, key, scale, decimals in ROWS:
        ours = median_of(results["ours"], starts["ours"], key)
        floor = median_of(results["floor"], starts["floor"], key)
        if ours is None and floor is None:
            continue
        print(f"{label:<34} {format_value(ours, scale, decimals):>10} "
              f"{format_value(floor, scale, decimals):>10} {format_ratio(ours, floor):>8}")
    print("hidden, minute by minute (schedstat: wake-ups of all the program's threads, CPU ms):")
    for kind in ("ours", "floor"):
        for index, figures in enumerate(results[kind]):
            minutes = figures.get("per_minute_hidden", [])
            print(f"  {kind} run {index + 1}: wake-ups " + " ".join(str(w) for w, _ in minutes)
                  + "; CPU ms " + " ".join(f"{c:.3f}" for _, c in minutes))


def write_runs(options, results, starts):
    keys = [key for _, key, _, _ in ROWS if not key.startswith("per_")]
    with open(os.path.join(options.out, "runs.tsv"), "w", encoding="ascii") as f:
        f.write("program\trun\t" + "\t".join(keys) + "\n")
        for kind in ("ours", "floor"):
            rows = [(str(i), r) for i, r in enumerate(results[kind])]
            rows += [(f"start{i}", r) for i, r in enumerate(starts[kind])]
            for index, figures in rows:
                f.write(f"{kind}\t{index}\t" + "\t".join(
                    "" if key not in figures else f"{figures[key]:.3f}" for key in keys) + "\n")


def write_threads(options, results):
    """Context switches, schedstat wake-ups and CPU per minute of each thread,
    to see which ones wake up."""
    with open(os.path.join(options.out, "threads.tsv"), "w", encoding="utf-8") as f:
        f.write("program\trun\tphase\tthread\tswitches_per_min\twakeups_per_min\tcpu_ms_per_min\n")
        for kind in ("ours", "floor"):
            for index, figures in enumerate(results[kind]):
                for phase in ("hidden", "shown"):
                    sched = figures.get(f"per_thread_sched_{phase}", {})
                    for thread, rate in sorted(figures.get(f"per_thread_{phase}", {}).items()):
                        wakeups, cpu = sched.get(thread, (0.0, 0.0))
                        f.write(f"{kind}\t{index}\t{phase}\t{thread}\t{rate:.1f}"
                                f"\t{wakeups:.2f}\t{cpu:.3f}\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ours", required=True, help="the program's executable")
    parser.add_argument("--floor", required=True, help="the floor program's executable")
    parser.add_argument("--ours-label", default=None)
    parser.add_argument("--floor-label", default=None)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--hidden", type=float, default=3.0, help="minutes measured hidden")
    parser.add_argument("--shown", type=float, default=0.5, help="minutes measured shown (0: none)")
    parser.add_argument("--interval", type=int, default=5, help="request interval in minutes")
    parser.add_argument("--tray-watch", default=None,
                        help="tray-watch executable: the icon's docking moment instead of polling")
    parser.add_argument("--starts", type=int, default=20,
                        help="extra start-only runs of each program, for the start-up figures")
    parser.add_argument("--settle", type=float, default=5.0, help="seconds before a measurement")
    parser.add_argument("--out", required=True, help="directory for the programs' logs and runs.tsv")
    options = parser.parse_args()
    options.ours = os.path.abspath(options.ours)
    options.floor = os.path.abspath(options.floor)
    options.ours_label = options.ours_label or options.ours
    options.floor_label = options.floor_label or options.floor
    options.date = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    if "DISPLAY" not in os.environ:
        sys.exit("measure.py: no DISPLAY; run it through run-bench.sh")
    os.makedirs(options.out, exist_ok=True)
    # A TERM (from run-bench.sh's cleanup) unwinds, so every started program is ended.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    requests = RequestLog()
    server = start_server(requests)
    port = server.server_address[1]
    results = {"ours": [], "floor": []}
    starts = {"ours": [], "floor": []}
    failures = 0
    try:
        for index in range(options.starts):
            for kind in (("ours", "floor") if index % 2 == 0 else ("floor", "ours")):
                if not desktop_alive():
                    raise RuntimeError("the virtual desktop's X server is gone")
                try:
                    starts[kind].append(start_only(kind, options, port, requests, index + 1))
                except (RuntimeError, OSError) as error:
                    failures += 1
                    print(f"start {index + 1}/{options.starts}: {kind} failed: {error}",
                          file=sys.stderr, flush=True)
        print(f"starts: {len(starts['ours'])} ours, {len(starts['floor'])} floor",
              file=sys.stderr, flush=True)
        for index in range(options.runs):
            # Alternate which program goes first, so a drift of the machine hits both alike.
            order = [("ours", run_ours), ("floor", run_floor)]
            if index % 2:
                order.reverse()
            for kind, function in order:
                figures = None
                for attempt in (1, 2):  # a failed run is tried once more
                    if not desktop_alive():
                        raise RuntimeError("the virtual desktop's X server is gone")
                    print(f"run {index + 1}/{options.runs}: {kind}", file=sys.stderr, flush=True)
                    try:
                        name = f"{index + 1}" if attempt == 1 else f"{index + 1}-again"
                        figures = function(options, port, requests, name)
                        break
                    except (RuntimeError, OSError) as error:
                        failures += 1
                        print(f"run {index + 1}/{options.runs}: {kind} failed: {error}",
                              file=sys.stderr, flush=True)
                if figures is not None:
                    results[kind].append(figures)
                    write_runs(options, results, starts)
                    write_threads(options, results)
    except RuntimeError as error:
        print(f"measure.py: stopped early: {error}", file=sys.stderr)
    finally:
        server.shutdown()
    write_runs(options, results, starts)
    report(options, results, starts, failures)
    if not results["ours"] or not results["floor"]:
        sys.exit(1)

if __name__ == "__main__":
    main()
