"""Wine commands and the registry, as the Windows end-to-end tests read them."""

import re
import subprocess


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
