#!/usr/bin/env python3
"""The Windows installer under Wine, silent, in a fresh prefix: what it installs
and registers, the start-at-login command it leaves working, an upgrade that
keeps the settings, and an uninstall that takes back all it installed.

Run inside tests/support/with-desktop.sh --fixed-tray and
tests/support/with-wine.sh.

Usage: test_installer.py --installer <setup.exe> --next-installer <setup.exe>
                         --version <x.y.z> [--screenshots <dir>]
"""

import argparse
import ntpath
import os
import re
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import desktop_support  # noqa: E402
from desktop_support import (  # noqa: E402
    BLUE_EMBLEM, SEEN, RecordingServer, count_colour, grab, save_screenshot, tray_windows,
    wait_until, window_info)
from wine_support import local_app_data, registry_values as values, run_suite, wine  # noqa: E402

OPTIONS = None
APP = "tavrin-connector"
NAME = "Tavrin Connector"
UNINSTALL = rf"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\{APP}"
RUN = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
APPROVED = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
SETTINGS = rf"HKCU\Software\VB and VBA Program Settings\{APP}\settings"
FILES = ("tavrin-connector.exe", "uninstall.exe", "LICENSE.txt", "LIESMICH-README.txt")


def unix(windows_path):
    return subprocess.run(["winepath", "-u", windows_path], capture_output=True, text=True,
                          check=True, timeout=30).stdout.strip()


def shortcut():
    folder = wine("cmd", "/c", "echo %APPDATA%").stdout.strip()
    return unix(ntpath.join(folder, r"Microsoft\Windows\Start Menu\Programs", f"{NAME}.lnk"))


def docked_icon():
    for window, geometry in tray_windows("explorer.exe"):
        info = window_info(window)
        if info and info["viewable"] and count_colour(grab(geometry), BLUE_EMBLEM) > SEEN:
            return geometry
    return None


class InstallerTest(unittest.TestCase):
    def install(self, installer):
        # The installer runs in place; its exit status is its verdict. A program
        # it starts would hold captured pipes open.
        result = subprocess.run(["wine", installer, "/S"], stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        self.assertEqual(result.returncode, 0)

    def start_at_login_command(self, exe):
        """Runs the Run value's command as the system would at login."""
        command = values(RUN)[APP]
        match = re.fullmatch(r'"([^"]+)"\s*(.*)', command)
        self.assertIsNotNone(match, command)
        self.assertEqual(match.group(1).lower(), exe.lower())
        process = subprocess.Popen(["wine", match.group(1), *match.group(2).split()],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(process.wait, 10)
        return process

    def test_install_start_upgrade_uninstall(self):
        server = RecordingServer()
        self.addCleanup(server.close)
        folder = ntpath.join(local_app_data(), "Programs", NAME)
        exe = ntpath.join(folder, f"{APP}.exe")

        self.install(OPTIONS.installer)
        for name in FILES:
            self.assertTrue(os.path.isfile(unix(ntpath.join(folder, name))), name)
        for name in ("LICENSE.txt", "LIESMICH-README.txt"):
            with open(unix(ntpath.join(folder, name)), "rb") as text:
                content = text.read()
            self.assertEqual(content.count(b"\n"), content.count(b"\r\n"), name)
        with open(shortcut(), "rb") as link:
            data = link.read()
        self.assertIn(f"{APP}.exe".encode("utf-16-le"), data)
        self.assertIn("/a".encode("utf-16-le"), data)

        entry = values(UNINSTALL)
        size_kb = sum(os.path.getsize(unix(ntpath.join(folder, n))) for n in FILES) // 1024
        self.assertEqual(entry["DisplayName"], NAME)
        self.assertEqual(entry["DisplayVersion"], OPTIONS.version)
        self.assertEqual(entry["Publisher"], "The Tavrin Connector developers")
        self.assertEqual(entry["DisplayIcon"], f"{exe},0")
        self.assertEqual(entry["InstallLocation"], folder)
        self.assertEqual(entry["UninstallString"], f'"{folder}\\uninstall.exe"')
        self.assertEqual(entry["QuietUninstallString"], f'"{folder}\\uninstall.exe" /S')
        self.assertLessEqual(abs(entry["EstimatedSize"] - size_kb), 2)

        # What the program writes: its settings, and on the first OK the
        # start-at-login entry; the log folder is its own too.
        key_url = server.url("update?key")
        wine("reg", "add", SETTINGS, "/v", "TavrinKey", "/d", key_url, "/f")
        wine("reg", "add", SETTINGS, "/v", "TavrinTime", "/d", "7", "/f")
        wine("reg", "add", RUN, "/v", APP, "/d", f'"{exe}" /a', "/f")
        wine("reg", "add", APPROVED, "/v", APP, "/t", "REG_BINARY", "/d", "020000000000000000000000",
             "/f")
        log_folder = unix(ntpath.join(local_app_data(), APP))
        os.makedirs(log_folder, exist_ok=True)
        open(os.path.join(log_folder, f"{APP}.log"), "w").close()

        first = self.start_at_login_command(exe)
        wait_until(docked_icon, timeout=20, what="the icon started at login")
        save_screenshot("installed-tray.png", "-window", "root")

        # The upgrade ends the running program, replaces it and starts it again.
        self.install(OPTIONS.next_installer)
        first.wait(20)
        self.assertEqual(values(UNINSTALL)["DisplayVersion"], OPTIONS.next_version)
        self.assertEqual(values(SETTINGS)["TavrinKey"], key_url)
        self.assertEqual(values(SETTINGS)["TavrinTime"], "7")
        self.assertEqual(values(RUN)[APP], f'"{exe}" /a')
        wait_until(docked_icon, timeout=20, what="the icon after the upgrade")

        # The uninstaller copies itself away and returns at once.
        wine(unix(ntpath.join(folder, "uninstall.exe")), "/S")
        wait_until(lambda: values(UNINSTALL) is None and not os.path.exists(unix(folder)),
                   timeout=30, what="the uninstall to finish")
        wait_until(lambda: docked_icon() is None, timeout=10, what="the program to end")
        self.assertFalse(os.path.exists(shortcut()))
        self.assertNotIn(APP, values(RUN) or {})
        self.assertNotIn(APP, values(APPROVED) or {})
        self.assertFalse(os.path.exists(log_folder))
        # A silent uninstall keeps the key and the interval.
        self.assertEqual(values(SETTINGS)["TavrinKey"], key_url)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--next-installer", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--screenshots")
    OPTIONS, rest = parser.parse_known_args()
    major, minor, patch = OPTIONS.version.split(".")
    OPTIONS.next_version = f"{major}.{minor}.{int(patch) + 1}"
    desktop_support.configure(OPTIONS.screenshots)
    return run_suite(rest)


if __name__ == "__main__":
    sys.exit(main())
