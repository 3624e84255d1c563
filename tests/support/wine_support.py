"""Wine commands and the registry, as the Windows end-to-end tests read them."""

import os
import re
import subprocess
import sys
import unittest


def wine(*arguments, check=True, timeout=60):
    result = subprocess.run(["wine", *arguments], capture_output=True, text=True, timeout=timeout)
    if check and result.returncode != 0:
        raise AssertionError(f"wine {arguments[0]} failed: {result.stderr.strip()}")
    return result


def registry_values(key):
    """The values under a registry key as {name: text}, or None without the key."""
    result = wine("reg", "query", key, check=False)
    if result.returncode != 0:
        return None
    found = {}
    for line in result.stdout.splitlines():
        match = re.match(r"^\s+(.+?)\s+(REG_\w+)\s+(.*?)\s*$", line)
        if match:
            name, kind, text = match.groups()
            found[name] = int(text, 16) if kind == "REG_DWORD" else text
    return found


def registry_string(key, name):
    """A string value in the registry, or None."""
    value = (registry_values(key) or {}).get(name)
    return value if isinstance(value, str) else None


def local_app_data():
    return wine("cmd", "/c", "echo %LOCALAPPDATA%").stdout.strip()


def run_suite(argv):
    """Runs the calling script's tests, on the desktop and in the Wine prefix it needs."""
    if not os.environ.get("DISPLAY") or not os.environ.get("WINEPREFIX"):
        print("run through tests/support/with-desktop.sh and tests/support/with-wine.sh",
              file=sys.stderr)
        return 1
    program = unittest.main(module="__main__", argv=[sys.argv[0], *argv], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1
