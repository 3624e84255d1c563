#!/usr/bin/env python3
"""The shown window as a screen reader reads it over AT-SPI.

Runs inside tests/support/with-desktop.sh, whose private session bus starts the
accessibility bus when the program asks for it. Needs python3-pyatspi.

Usage: test_accessibility.py --program <tavrin-connector>
                             --fast-program <tavrin-connector-testhooks>
                             [--screenshots <dir>] [unittest arguments...]
"""

import argparse
import os
import re
import sys
import unittest

import pyatspi

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_desktop as desktop  # noqa: E402

# Role, name and the label's name for each control; every control also has a
# description of its own.
CONTROLS = [
    ("password text", "Schlüssel:", "Schlüssel:"),
    ("password text", "Schlüssel bestätigen", None),
    ("text", "Sync-Intervall:", "Sync-Intervall:"),
    ("spin button", "Intervall ändern", None),
    ("push button", "OK", None),
    ("text", "Antwort des Dienstes", None),
]
ARROWS = ["Intervall erhöhen", "Intervall verringern"]


def frame_of(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            for child in app:
                if child is not None and child.getRoleName() == "frame":
                    return child
    return None


def answer_area(pid):
    """The answer area's text as a screen reader reads it; None before the window is there."""
    frame = frame_of(pid)
    for child in frame or []:
        if child is not None and child.name == "Antwort des Dienstes":
            text = child.queryText()
            return text.getText(0, text.characterCount)
    return None


def labels(accessible):
    return [relation.getTarget(i).name
            for relation in accessible.getRelationSet()
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
            for i in range(relation.getNTargets())]


class AccessibilityTest(unittest.TestCase):
    def test_every_control_named_described_and_labelled(self):
        # No key yet: the window shows at start.
        program = desktop.Program(self, platform={"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
        program.drawn_window()
        frame = desktop.wait_until(lambda: frame_of(program.process.pid), timeout=15,
                                   what="the window over AT-SPI")
        self.assertRegex(frame.name, desktop.CAPTION)
        desktop.save_screenshot("accessible-window.png", "-window", "root")

        shown = [child for child in frame
                 if child.getState().contains(pyatspi.STATE_SHOWING)]
        controls = {(c.getRoleName(), c.name): c for c in shown if c.getRoleName() != "label"}
        self.assertEqual(sorted(controls), sorted((role, name) for role, name, _ in CONTROLS))
        for role, name, label in CONTROLS:
            with self.subTest(control=name):
                control = controls[(role, name)]
                self.assertTrue(control.description)
                self.assertNotEqual(control.description, name)
                self.assertEqual(labels(control), [label] if label else [])
        descriptions = [c.description for c in controls.values()]
        self.assertEqual(len(set(descriptions)), len(descriptions))

        arrows = controls[("spin button", "Intervall ändern")]
        self.assertEqual([child.name for child in arrows], ARROWS)
        self.assertEqual(arrows.queryValue().currentValue, 5)

        answer = controls[("text", "Antwort des Dienstes")]
        self.assertFalse(answer.getState().contains(pyatspi.STATE_EDITABLE))
        text = answer.queryText()
        # Without a key the area says what to do.
        self.assertTrue(text.getText(0, text.characterCount).startswith("Noch kein Schlüssel"))

    def test_answer_area_tells_time_and_address_then_the_refusal(self):
        server = desktop.RecordingServer()
        self.addCleanup(server.close)
        server.answer(200, "good 203.0.113.7")
        # Half a minute, ten times as fast: a sync every 3 s.
        program = desktop.Program(self, key_url=server.url("e2eStatusKey"), interval="0.5",
                                  time_scale=10,
                                  platform={"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
        program.wait_icon()
        program.show_window()
        pid = program.process.pid

        def area_with(part):
            text = answer_area(pid)
            return text if text and part in text else None
        text = desktop.wait_until(lambda: area_with("Gemeldete Adresse: 203.0.113.7"),
                                  timeout=15, what="the address in the answer area")
        self.assertRegex(text, r"^Zuletzt aktualisiert: heute \d\d:\d\d\n")
        self.assertTrue(text.endswith("\n\ngood 203.0.113.7"), text)
        desktop.save_screenshot("status-good.png", "-window", str(program.main_window()))

        server.answer(200, "badauth")
        text = desktop.wait_until(lambda: area_with("badauth"), timeout=15,
                                  what="the refusal in the answer area")
        self.assertRegex(text, re.compile(
            r"^Aktualisierung fehlgeschlagen: heute \d\d:\d\d\n"
            r"Grund: Vom Dienst abgelehnt \(„badauth“\)\. Der Dienst hat den Schlüssel nicht "
            r"angenommen\. Bitte den Schlüssel prüfen und neu eingeben\.\n"
            r"Nächster Versuch: (heute|morgen) \d\d:\d\d\n"
            r"Zuletzt erfolgreich: heute \d\d:\d\d\n\nbadauth$"))
        desktop.save_screenshot("status-badauth.png", "-window", str(program.main_window()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--fast-program", required=True)
    parser.add_argument("--screenshots")
    options, rest = parser.parse_known_args()
    return desktop.run_suite(options, rest)


if __name__ == "__main__":
    sys.exit(main())
