#!/usr/bin/env python3
"""Retries after failed updates, end to end on a real X desktop.

Runs the test build of the program, which reads TAVRIN_TIME_SCALE, ten times as
fast inside tests/support/with-desktop.sh, against the recording loopback server
of test_desktop.py, and checks the tray icon's colour and when the retries reach
the server (by the server's own clock).

Usage: test_retry.py --program <tavrin-connector-testhooks> [--screenshots <dir>]
                     [unittest arguments...]
"""

import argparse
import os
import sys
import time
import unittest
from unittest import mock

# Importing the desktop suite's helpers must not leave __pycache__ in the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_desktop as desktop  # noqa: E402

# Program seconds per real second.
SCALE = 10
# Long enough that no regular sync falls within a case.
INTERVAL_MINUTES = "20"
# Retry delays after the first and the second failure in a row, in program seconds.
FIRST_RETRY_S = 30
SECOND_RETRY_S = 60
# Slack on a gap between two requests, in real seconds. A retry never leaves
# early; late it may be by the wait for the next whole program second (0.1 s
# real) and by whatever a busy desktop adds.
EARLY_S = 0.2
LATE_S = 0.8
# After a success no request may follow within this many real seconds: longer
# than the shortest retry delay, which a retry left pending would take.
QUIET_S = 4.0

GOOD = (200, "good 1.2.3.4")
SERVER_ERROR = (500, "error")


def real_seconds(program_seconds):
    return program_seconds / SCALE


class RetryTest(unittest.TestCase):
    def setUp(self):
        scaled = mock.patch.dict(os.environ, {"TAVRIN_TIME_SCALE": str(SCALE)})
        scaled.start()
        self.addCleanup(scaled.stop)

    def serve(self, *failures):
        """A fresh server that answers with the failures first, then with success."""
        self.server = desktop.RecordingServer()
        self.addCleanup(self.server.close)
        self.server.answer(*GOOD)
        self.server.queue(*failures)

    def start(self, key):
        self.key = key
        return desktop.Program(self, (), self.server.url(key), INTERVAL_MINUTES)

    def wait_requests(self, count, timeout):
        def arrived():
            requests = self.server.requests()
            return requests if len(requests) >= count else None
        requests = desktop.wait_until(arrived, timeout, f"{count} request(s)")
        self.assertEqual([r["target"] for r in requests], [f"/{self.key}"] * len(requests))
        return requests

    def wait_colour(self, icon, colour, what, timeout=8.0):
        """Waits until the icon shows the colour; returns how many requests had come before."""
        def shows():
            # Counted before the grab: the colour seen is the outcome of one of these.
            sent = len(self.server.requests())
            seen = desktop.count_colour(desktop.grab(icon), colour) > desktop.SEEN
            return (sent,) if seen else None
        return desktop.wait_until(shows, timeout, what)[0]

    def assert_gap(self, earlier, later, program_seconds):
        gap = later["time"] - earlier["time"]
        expected = real_seconds(program_seconds)
        message = f"retry {gap:.2f} s after the failure, not {expected} s"
        self.assertGreaterEqual(gap, expected - EARLY_S, message)
        self.assertLessEqual(gap, expected + LATE_S, message)

    def test_retries_climb_the_ladder_until_a_success(self):
        self.serve(SERVER_ERROR, SERVER_ERROR)
        program = self.start("e2eRetryLadder")
        icon = program.wait_icon()
        sent = self.wait_colour(icon, desktop.RED_EMBLEM, "the red icon after the start-up request")
        self.assertEqual(sent, 1, "red only after the first retry: too slow to see the first failure")
        self.assertEqual(desktop.count_colour(desktop.grab(icon), desktop.BLUE_EMBLEM), 0)

        requests = self.wait_requests(
            3, timeout=real_seconds(FIRST_RETRY_S + SECOND_RETRY_S) + 2 * LATE_S + 5)
        self.assert_gap(requests[0], requests[1], FIRST_RETRY_S)
        self.assert_gap(requests[1], requests[2], SECOND_RETRY_S)

        self.wait_colour(icon, desktop.BLUE_EMBLEM, "the blue icon after the success")
        self.assertEqual(desktop.count_colour(desktop.grab(icon), desktop.RED_EMBLEM), 0)
        # A success ends the retries: nothing more until the next sync, 20 minutes away.
        quiet_until = requests[2]["time"] + QUIET_S
        while time.monotonic() < quiet_until:
            self.assertEqual(len(self.server.requests()), 3, "a request after the success")
            time.sleep(0.1)
        self.assertEqual(len(self.server.requests()), 3, "a request after the success")
        self.assertGreater(desktop.count_colour(desktop.grab(icon), desktop.BLUE_EMBLEM),
                           desktop.SEEN)
        self.assertTrue(program.alive())
        self.assertNotIn(self.key, program.output())

    def test_failing_answers_turn_icon_red_and_bring_a_retry(self):
        table = [
            ("badauth in a 200 answer", (200, "badauth")),
            ("error status with a good body", (500, "good")),
        ]
        for number, (name, failure) in enumerate(table):
            with self.subTest(name):
                self.serve(failure)
                program = self.start(f"e2eRetryAnswer{number}")
                icon = program.wait_icon()
                self.wait_colour(icon, desktop.RED_EMBLEM, "the red icon")
                requests = self.wait_requests(
                    2, timeout=real_seconds(FIRST_RETRY_S) + LATE_S + 5)
                self.assert_gap(requests[0], requests[1], FIRST_RETRY_S)
                self.wait_colour(icon, desktop.BLUE_EMBLEM, "the blue icon after the retry")
                program.stop(self)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--screenshots")
    options, rest = parser.parse_known_args()
    options.base_url = None
    return desktop.run_suite(options, rest)


if __name__ == "__main__":
    sys.exit(main())
